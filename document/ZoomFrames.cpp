#include "document/ZoomFrames.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "document/DocumentFiles.h"
#include "document/ImageFiles.h"
#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/Fractal.h"

std::unique_ptr<CFractal> ZoomUnitFractal(const ZoomSource& source, const ZoomPlace& place, std::string& error)
{
    LoadedDocument doc;
    if (!ReadDocumentText(source.document, "the zoom's end document", doc, error))
        return nullptr;
    if (!doc.fractal) {
        error = "the zoom's end document names no kind this version has";
        return nullptr;
    }
    CFractal& f = *doc.fractal;
    f.m_centerX = place.x.value;
    f.m_centerY = place.y.value;
    f.m_centerXDigits = place.x.digits;
    f.m_centerYDigits = place.y.digits;
    f.m_halfSize = place.half;
    f.m_halfSizeDigits = place.halfDigits;
    return std::move(doc.fractal);
}

namespace {

BuildOutcome RenderInto(CFractal& f, const ZoomPlan& plan, ImageSink& sink, const std::stop_token& stop,
                        const MemoryStatus& memory)
{
    // Every unit starts from the document, never from the cells or the
    // choices of the one before: a range renders the bytes whatever came
    // first.
    std::stop_callback passOn(stop, [&f] { f.m_stop = true; });
    f.m_restart = true;
    const OffscreenJob job{plan.UnitWidth(), plan.UnitHeight(), plan.Settings().aa};
    return RenderOffscreen(f, job, sink, memory);
}

} // namespace

BuildOutcome RenderZoomUnit(const ZoomSource& source, const ZoomPlan& plan, unsigned i, ImageSink& sink,
                            std::stop_token stop, const MemoryStatus& memory)
{
    std::string error;
    const std::unique_ptr<CFractal> f = ZoomUnitFractal(source, plan.UnitPlace(i), error);
    if (!f)
        return {BuildOutcome::kRefused, error};
    return RenderInto(*f, plan, sink, stop, memory);
}

BuildOutcome RenderDocumentFile(int fractalType, CFractal& f, const OffscreenJob& job, const std::string& path,
                                std::stop_token stop, const MemoryStatus& memory, const ReplaceGate& gate)
{
    // The view goes in ahead of the pixels, as the document is before its
    // build.
    PngExtras extras;
    extras.document = DocumentFileText(fractalType, f);
    const std::unique_ptr<ImageFileSink> sink = MakeImageFileSink(path, extras);
    if (!sink)
        return {BuildOutcome::kRefused, "Cannot write \"" + path + "\": frames are PNG files."};
    std::stop_callback passOn(stop, [&f] { f.m_stop = true; });
    f.m_restart = true;
    BuildOutcome out = RenderOffscreen(f, job, *sink, memory);
    std::string error;
    if (out.result == BuildOutcome::kDrawn && !sink->Commit(error, gate))
        out = {BuildOutcome::kRefused, error};
    return out;
}

BuildOutcome RenderZoomUnitFile(const ZoomSource& source, const ZoomPlan& plan, unsigned i, const std::string& path,
                                std::stop_token stop, const MemoryStatus& memory, const ReplaceGate& gate)
{
    std::string error;
    const std::unique_ptr<CFractal> f = ZoomUnitFractal(source, plan.UnitPlace(i), error);
    if (!f)
        return {BuildOutcome::kRefused, error};
    const OffscreenJob job{plan.UnitWidth(), plan.UnitHeight(), plan.Settings().aa};
    return RenderDocumentFile(source.fractalType, *f, job, path, stop, memory, gate);
}

namespace {

// The keyframe pixels under each frame pixel along one axis: from `first`,
// `count` weights summing to 1.
struct Taps {
    std::vector<unsigned> first, count;
    std::vector<float> weights; // count[i] per pixel, kMaxTaps apart
    std::vector<float> inside;  // frame pixels from the keyframe's edge
    static constexpr unsigned kMaxTaps = 16;
};

// Frame pixel p (of n) lies at keyframe position origin + (p - n/2) scale
// (the builders' integer halves); the keyframe has `size` pixels.
Taps AxisTaps(unsigned n, double origin, double scale, unsigned size)
{
    Taps t;
    t.first.resize(n);
    t.count.resize(n);
    t.weights.assign(size_t(n) * Taps::kMaxTaps, 0.0f);
    t.inside.resize(n);
    const double half = std::min(std::max(scale, 1.0), double(Taps::kMaxTaps - 2)) / 2;
    for (unsigned p = 0; p < n; ++p) {
        const double c = origin + (double(p) - double(n / 2)) * scale;
        const double lo = c - half, hi = c + half;
        const double from = std::clamp(std::floor(lo + 0.5), 0.0, double(size - 1));
        const double to = std::clamp(std::floor(hi + 0.5), 0.0, double(size - 1));
        double sum = 0;
        float* w = t.weights.data() + size_t(p) * Taps::kMaxTaps;
        unsigned count = 0;
        for (double q = from; q <= to && count < Taps::kMaxTaps; q += 1, ++count) {
            const double overlap = std::max(0.0, std::min(hi, q + 0.5) - std::max(lo, q - 0.5));
            w[count] = float(overlap);
            sum += overlap;
        }
        if (!(sum > 0)) {
            // Wholly outside: the nearest edge pixel.
            count = 1;
            w[0] = 1.0f;
            sum = 1;
        }
        for (unsigned a = 0; a < count; ++a)
            w[a] = float(w[a] / sum);
        t.first[p] = unsigned(from);
        t.count[p] = count;
        t.inside[p] = float(std::min(c + 0.5, double(size) - 0.5 - c) / scale);
    }
    return t;
}

// The keyframe seen through the frame's pixels: three floats a pixel,
// rows bottom first, and each pixel's distance from the keyframe's edge.
struct Filtered {
    std::vector<float> rgb;
    std::vector<float> inside;
};

Filtered Filter(const CCanvas& key, const ZoomPlace& keyPlace, const ZoomPlace& frame, unsigned w, unsigned h)
{
    const unsigned kw = key.m_bufferWidth, kh = key.m_bufferHeight;
    // In FloatExp, which rounds as the doubles do wherever they hold the
    // sizes, so frames below their normal range scale too.
    const FloatExp dk = PixelOfHalf(keyPlace.half, keyPlace.halfDigits, std::min(kw, kh));
    const FloatExp df = PixelOfHalf(frame.half, frame.halfDigits, std::min(w, h));
    const double scale = (df / dk).ToDouble();
    const double ox =
        (WideCoordinateDifference(frame.x.value, frame.x.digits, keyPlace.x.value, keyPlace.x.digits) / dk).ToDouble();
    const double oy =
        (WideCoordinateDifference(frame.y.value, frame.y.digits, keyPlace.y.value, keyPlace.y.digits) / dk).ToDouble();
    const Taps tx = AxisTaps(w, double(kw / 2) + ox, scale, kw);
    const Taps ty = AxisTaps(h, double(kh / 2) + oy, scale, kh);
    // The keyframe rows the frame reads, filtered along x first.
    const unsigned rlo = ty.first.front(), rhi = ty.first.back() + ty.count.back();
    const unsigned rows = rhi - rlo;
    std::vector<float> across(size_t(rows) * w * 3);
    ForEachRange(int(rows), 16, [&](int begin, int end) {
        for (unsigned r = unsigned(begin); r < unsigned(end); ++r) {
            const uint8_t* in = key.Row(rlo + r);
            float* out = across.data() + size_t(r) * w * 3;
            for (unsigned p = 0; p < w; ++p) {
                const float* wt = tx.weights.data() + size_t(p) * Taps::kMaxTaps;
                const uint8_t* px = in + size_t(tx.first[p]) * 3;
                float b = 0, g = 0, rd = 0;
                for (unsigned a = 0; a < tx.count[p]; ++a) {
                    b += wt[a] * px[a * 3];
                    g += wt[a] * px[a * 3 + 1];
                    rd += wt[a] * px[a * 3 + 2];
                }
                out[p * 3] = b;
                out[p * 3 + 1] = g;
                out[p * 3 + 2] = rd;
            }
        }
    });
    Filtered f;
    f.rgb.assign(size_t(w) * h * 3, 0.0f);
    f.inside.resize(size_t(w) * h);
    ForEachRange(int(h), 8, [&](int begin, int end) {
        for (unsigned r = unsigned(begin); r < unsigned(end); ++r) {
            float* out = f.rgb.data() + size_t(r) * w * 3;
            const float* wt = ty.weights.data() + size_t(r) * Taps::kMaxTaps;
            for (unsigned a = 0; a < ty.count[r]; ++a) {
                const float* in = across.data() + size_t(ty.first[r] - rlo + a) * w * 3;
                for (size_t i = 0; i < size_t(w) * 3; ++i)
                    out[i] += wt[a] * in[i];
            }
            for (unsigned p = 0; p < w; ++p)
                f.inside[size_t(r) * w + p] = std::min(tx.inside[p], ty.inside[r]);
        }
    });
    return f;
}

inline uint8_t Level(float v) { return uint8_t(std::clamp(std::floor(v + 0.5f), 0.0f, 255.0f)); }

} // namespace

void ComposeZoomFrame(const ZoomPlan& plan, unsigned k, const CCanvas& outer, const CCanvas* inner, CCanvas& frame)
{
    unsigned j = 0;
    double weight = 0;
    plan.Between(k, j, weight);
    const unsigned w = plan.Settings().width, h = plan.Settings().height;
    const ZoomPlace place = plan.FramePlace(k);
    frame.Resize(w, h, 24);
    const Filtered a = Filter(outer, plan.KeyframePlace(j), place, w, h);
    Filtered b;
    const bool fade = inner && weight > 0;
    if (fade)
        b = Filter(*inner, plan.KeyframePlace(j + 1), place, w, h);
    const float t = float(weight);
    ForEachRange(int(h), 16, [&](int begin, int end) {
        for (unsigned r = unsigned(begin); r < unsigned(end); ++r) {
            uint8_t* out = frame.Row(r);
            for (unsigned p = 0; p < w; ++p) {
                const size_t at = size_t(r) * w + p;
                float mix = 0;
                if (fade)
                    mix = t * std::clamp(b.inside[at] / float(kZoomFeather), 0.0f, 1.0f);
                for (unsigned ch = 0; ch < 3; ++ch) {
                    const float va = a.rgb[at * 3 + ch];
                    const float v = fade ? va + mix * (b.rgb[at * 3 + ch] - va) : va;
                    out[p * 3 + ch] = Level(v);
                }
            }
        }
    });
}

bool IsCompletePng(const std::string& path)
{
    static const unsigned char kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82};
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in || in.tellg() < 8 + 12)
        return false;
    in.seekg(-12, std::ios::end);
    unsigned char tail[12];
    return bool(in.read(reinterpret_cast<char*>(tail), 12)) && std::memcmp(tail, kEnd, 12) == 0;
}

bool ReadPngImage(const std::string& path, CCanvas& canvas, std::string& error)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    auto fail = [&](const std::string& why) {
        error = "Cannot read \"" + path + "\": " + why + ".";
        png_image_free(&image);
        return false;
    };
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return fail(image.message);
    image.format = PNG_FORMAT_BGR;
    try {
        canvas.Resize(image.width, image.height, 24);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory");
    }
    // A negative stride reads the rows bottom first, as the canvas has them.
    const png_int_32 stride = -png_int_32(canvas.m_stride);
    if (!png_image_finish_read(&image, nullptr, canvas.m_bits.data(), stride, nullptr))
        return fail(image.message);
    return true;
}

#include "document/OffscreenRender.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sstream>
#include <vector>

#include "document/DocumentFiles.h"
#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/Fractal.h"
#include "model/FractalKinds.h"

std::string AntiAliasingName(const AntiAliasing& aa)
{
    const std::string n = std::to_string(aa.samples);
    if (aa.adaptive)
        return "Adaptive " + n + "x" + n;
    return aa.samples <= 1 ? std::string("Off") : n + "x" + n;
}

bool CanvasSink::Begin(unsigned width, unsigned height, std::string&)
{
    m_canvas.Resize(width, height, 24);
    return true;
}

bool CanvasSink::Rows(unsigned first, unsigned count, const uint8_t* bits, size_t stride, std::string&)
{
    const size_t bytes = size_t(m_canvas.m_bufferWidth) * 3;
    for (unsigned r = 0; r < count; ++r)
        std::memcpy(m_canvas.Row(first + r), bits + r * stride, bytes);
    if (first + count == m_canvas.m_bufferHeight)
        m_canvas.m_cursor = m_canvas.Row(first + count - 1) + bytes;
    return true;
}

std::unique_ptr<CFractal> CopyOfFractal(CFractal& fractal)
{
    std::stringstream rows(std::ios::in | std::ios::out | std::ios::binary);
    WriteDocumentFile(rows, KindOf(fractal).type, fractal);
    rows.seekg(0);
    return ReadDocumentFile(rows).fractal;
}

namespace {

// The mean of N x N samples, halves rounded up: exact, whatever the order
// the samples are added in.
inline uint8_t Mean(unsigned sum, unsigned count) { return uint8_t((sum + count / 2) / count); }

// `pixels` pixels into `out`, each the mean of N x N samples: the N rows
// `rows`, N samples a pixel along them. N is a constant so the divisions
// are multiplications.
template <unsigned N>
void MeanOfSamplesN(uint8_t* out, const uint8_t* const* rows, unsigned pixels)
{
    for (unsigned j = 0; j < pixels; ++j)
        for (unsigned ch = 0; ch < 3; ++ch) {
            unsigned sum = 0;
            for (unsigned b = 0; b < N; ++b) {
                const uint8_t* in = rows[b] + size_t(j) * N * 3 + ch;
                for (unsigned a = 0; a < N; ++a)
                    sum += in[a * 3];
            }
            out[j * 3 + ch] = Mean(sum, N * N);
        }
}

// The same for the n rows of `samples` from `row` up.
void MeanOfSamples(uint8_t* out, const CCanvas& samples, unsigned row, unsigned pixels, unsigned n)
{
    const uint8_t* rows[kMaxSamples];
    for (unsigned b = 0; b < n; ++b)
        rows[b] = samples.Row(row + b);
    switch (n) {
    case 2: return MeanOfSamplesN<2>(out, rows, pixels);
    case 3: return MeanOfSamplesN<3>(out, rows, pixels);
    case 4: return MeanOfSamplesN<4>(out, rows, pixels);
    case 5: return MeanOfSamplesN<5>(out, rows, pixels);
    case 6: return MeanOfSamplesN<6>(out, rows, pixels);
    case 7: return MeanOfSamplesN<7>(out, rows, pixels);
    case 8: return MeanOfSamplesN<8>(out, rows, pixels);
    default: std::memcpy(out, rows[0], size_t(pixels) * 3);
    }
}

// `pixels` pixels into `out`, each the mean of n x n samples: the n runs
// of `samples` from `start[run]` on, the runs laid one after another in
// its rows (CFractal::BuildRuns), n samples a pixel along each.
void MeanOfRuns(uint8_t* out, const CCanvas& samples, const size_t* start, unsigned pixels, unsigned n)
{
    const unsigned n2 = n * n, width = samples.m_bufferWidth;
    const auto at = [&](size_t cell) { return samples.Row(unsigned(cell / width)) + cell % width * 3; };
    for (unsigned j = 0; j < pixels; ++j) {
        unsigned sum[3] = {0, 0, 0};
        for (unsigned b = 0; b < n; ++b)
            for (unsigned a = 0; a < n; ++a) {
                const uint8_t* in = at(start[b] + size_t(j) * n + a);
                for (unsigned ch = 0; ch < 3; ++ch)
                    sum[ch] += in[ch];
            }
        for (unsigned ch = 0; ch < 3; ++ch)
            out[j * 3 + ch] = Mean(sum[ch], n2);
    }
}

// out[j]: whether pixel j of `a` and of `b` differ by more than the
// adaptive threshold in some channel, for `count` pixels. One pass over
// plain bytes, which the compiler turns into vector lanes.
void FarPixels(const uint8_t* a, const uint8_t* b, unsigned count, uint8_t* out)
{
    for (unsigned j = 0; j < count; ++j) {
        uint8_t far = 0;
        for (unsigned ch = 0; ch < 3; ++ch) {
            const int d = int(a[3 * j + ch]) - int(b[3 * j + ch]);
            far |= uint8_t(d > kAdaptiveThreshold || -d > kAdaptiveThreshold);
        }
        out[j] = far;
    }
}

class Renderer {
public:
    Renderer(CFractal& f, const OffscreenJob& job, ImageSink& sink)
        : m_f(f), m_sink(sink), m_w(job.width), m_h(job.height), m_n(unsigned(job.aa.samples)),
          m_adaptive(job.aa.adaptive && job.aa.samples > 1), m_stride((size_t(job.width) * 3 + 3) / 4 * 4)
    {}

    BuildOutcome Run(const OffscreenJob& job, const MemoryStatus& memory);

private:
    // Rows [first, first + count) of the output into m_out; false when the
    // build was stopped or refused (m_outcome says which).
    bool SampledBand(unsigned first, unsigned count);
    bool AdaptiveBand(unsigned first, unsigned count);
    // Builds rows [first, first + count) of the image `width` wide and
    // `height` tall into `canvas` and draws them.
    bool BuildRows(CCanvas& canvas, unsigned width, unsigned height, unsigned first, unsigned count, unsigned before);
    bool Ended();

    CFractal& m_f;
    ImageSink& m_sink;
    const unsigned m_w, m_h, m_n;
    const bool m_adaptive;
    const size_t m_stride;
    bool m_bands = false;
    unsigned m_done = 0; // output rows finished
    std::vector<uint8_t> m_out;
    // The band's canvas and the adaptive samples' one, kept from band to
    // band with their pixels.
    CCanvas m_band, m_samples;
    BuildOutcome m_outcome{BuildOutcome::kDrawn, {}};
};

bool Renderer::Ended()
{
    if (!m_f.m_refusal.empty()) {
        m_outcome = {BuildOutcome::kRefused, m_f.m_refusal};
        return true;
    }
    if (m_f.m_stop) {
        m_outcome = {BuildOutcome::kStopped, {}};
        return true;
    }
    return false;
}

bool Renderer::BuildRows(CCanvas& canvas, unsigned width, unsigned height, unsigned first, unsigned count,
                         unsigned before)
{
    canvas.SetTargetSize(width, count);
    canvas.m_bandFullHeight = m_bands ? height : 0;
    canvas.m_bandFirst = m_bands ? first : 0;
    canvas.m_bandRowsBefore = m_bands ? before : 0;
    {
        const PaintWhileBuilding drawn(canvas);
        m_f.Build(canvas);
    }
    if (Ended())
        return false;
    m_f.Draw(canvas);
    return !Ended();
}

bool Renderer::SampledBand(unsigned first, unsigned count)
{
    CCanvas& band = m_band;
    const unsigned n = m_n;
    if (!BuildRows(band, m_w * n, m_h * n, first * n, count * n, m_done * n))
        return false;
    if (n == 1) {
        for (unsigned r = 0; r < count; ++r)
            std::memcpy(m_out.data() + r * m_stride, band.Row(r), size_t(m_w) * 3);
        return true;
    }
    ForEachRange(int(count), 4, [&](int begin, int end) {
        for (unsigned r = unsigned(begin); r < unsigned(end); ++r)
            MeanOfSamples(m_out.data() + r * m_stride, band, r * n, m_w, n);
    });
    return true;
}

bool Renderer::AdaptiveBand(unsigned first, unsigned count)
{
    // The plain band, with a row of margin each side for the neighbours.
    const unsigned lo = first > 0 ? first - 1 : 0, hi = std::min(m_h, first + count + 1);
    CCanvas& plain = m_band;
    if (!BuildRows(plain, m_w, m_h, lo, hi - lo, m_done))
        return false;
    auto pixel = [&](unsigned i, unsigned j) { return plain.Row(i - lo) + size_t(j) * 3; };
    // Which pixels of the band differ from a neighbour, row by row on
    // every core. Each pair of rows is compared once, below and across
    // both ways, and serves the rows on either side of it.
    std::vector<uint8_t> edges(size_t(count) * m_w);
    const unsigned w = m_w;
    struct Pair {
        std::vector<uint8_t> down, right, left; // (r, j) against (r+1, j), (r+1, j+1); (r, j+1) against (r+1, j)
    };
    // Rows r and r + 1, none past the plain band's margin (r >= lo).
    const auto compare = [&](unsigned r, Pair& p) {
        p.down.assign(w, 0);
        p.right.assign(w, 0);
        p.left.assign(w, 0);
        if (r + 1 >= hi)
            return;
        const uint8_t *upper = pixel(r, 0), *lower = pixel(r + 1, 0);
        FarPixels(upper, lower, w, p.down.data());
        FarPixels(upper, lower + 3, w - 1, p.right.data());
        FarPixels(upper + 3, lower, w - 1, p.left.data());
    };
    ForEachRange(int(count), 8, [&](int begin, int end) {
        Pair above, below;
        std::vector<uint8_t> across(w, 0);
        const unsigned top = first + unsigned(begin);
        compare(top > lo ? top - 1 : hi, above);
        for (unsigned i = first + unsigned(begin); i < first + unsigned(end); ++i) {
            compare(i, below);
            FarPixels(pixel(i, 0), pixel(i, 0) + 3, w - 1, across.data());
            uint8_t* mark = edges.data() + size_t(i - first) * w;
            mark[0] = across[0] | above.down[0] | below.down[0] | below.right[0] | above.left[0];
            for (unsigned j = 1; j < w; ++j)
                mark[j] = across[j] | above.down[j] | below.down[j] | below.right[j] | above.left[j] | across[j - 1] |
                          above.right[j - 1] | below.left[j - 1];
            std::swap(above, below);
        }
    });
    auto edge = [&](unsigned i, unsigned j) { return edges[size_t(i - first) * m_w + j] != 0; };
    // Runs of neighbouring pixels to refine, row by row, and for each the
    // N rows of samples under it.
    struct Segment {
        unsigned row, from, to, firstRun;
    };
    std::vector<Segment> segments;
    std::vector<CellRun> runs;
    std::vector<size_t> starts;
    size_t cells = 0;
    const unsigned n = m_n;
    for (unsigned i = first; i < first + count; ++i) {
        std::memcpy(m_out.data() + (i - first) * m_stride, pixel(i, 0), size_t(m_w) * 3);
        for (unsigned j = 0; j < m_w; ++j) {
            if (!edge(i, j))
                continue;
            const unsigned from = j;
            while (j + 1 < m_w && edge(i, j + 1))
                ++j;
            ++j;
            segments.push_back({i, from, j, unsigned(runs.size())});
            for (unsigned b = 0; b < n; ++b) {
                runs.push_back({i * n + b, from * n, (j - from) * n});
                starts.push_back(cells);
                cells += runs.back().count;
            }
        }
    }
    if (runs.empty())
        return true;
    CCanvas& samples = m_samples;
    samples.SetTargetSize(m_w * n, 1);
    samples.m_bandFullHeight = m_h * n;
    samples.m_bandRowsBefore = m_done * n;
    if (!m_f.BuildRuns(samples, runs)) {
        if (!Ended())
            m_outcome = {BuildOutcome::kRefused, "The samples of the refined pixels could not be built"};
        return false;
    }
    m_f.Draw(samples);
    if (Ended())
        return false;
    for (const Segment& s : segments)
        MeanOfRuns(m_out.data() + (s.row - first) * m_stride + size_t(s.from) * 3, samples,
                   starts.data() + s.firstRun, s.to - s.from, n);
    return true;
}

BuildOutcome Renderer::Run(const OffscreenJob& job, const MemoryStatus& memory)
{
    if (m_w == 0 || m_h == 0 || m_n < 1 || m_n > unsigned(kMaxSamples))
        return {BuildOutcome::kRefused, "An image needs a size of at least 1 x 1 and 1 to 8 samples a side"};
    const unsigned sw = m_w * m_n, sh = m_h * m_n;
    const bool runs = m_adaptive && m_f.BuildsRuns(sw, sh) && m_f.BuildsInBands(m_w, m_h);
    m_bands = m_f.BuildsInBands(sw, sh);
    // Views that build no runs build at the size the samples need, and
    // adaptive sampling then samples every pixel.
    const bool adaptive = m_adaptive && m_bands && runs;
    unsigned rows = m_h;
    if (m_bands) {
        const uint64_t rowBytes = uint64_t(sw) * sizeof(PixelRecord) * m_n;
        const uint64_t bandBytes = m_n > 1 ? std::min(job.bandBytes, kSampledBandCellBytes) : job.bandBytes;
        rows = job.bandRows ? job.bandRows : unsigned(std::clamp<uint64_t>(bandBytes / rowBytes, 1, m_h));
        rows = std::min(rows, m_h);
    } else {
        const uint64_t need = m_f.MemoryNeed(sw, sh) + uint64_t(sw) * sh * 3;
        if (JudgeMemory(need, memory) != MemoryVerdict::kFits)
            return {BuildOutcome::kRefused, std::string("The ") + KindOf(m_f).name +
                                                " builds its whole image at once, and " +
                                                MemoryShortage(sw, sh, need, memory)};
    }
    std::string error;
    m_f.m_refusal.clear();
    m_f.m_buildNote.clear();
    m_f.m_progress = 0.0;
    try {
        if (!m_sink.Begin(m_w, m_h, error))
            return {BuildOutcome::kRefused, error};
        m_out.resize(m_stride * rows);
        const unsigned bandCount = (m_h + rows - 1) / rows;
        for (unsigned b = 0; b < bandCount; ++b) {
            if (m_f.m_stop)
                return {BuildOutcome::kStopped, {}};
            const unsigned k = bandCount - 1 - b;
            const unsigned first = k * rows, count = std::min(rows, m_h - first);
            if (!(adaptive ? AdaptiveBand(first, count) : SampledBand(first, count)))
                return m_outcome;
            if (!m_sink.Rows(first, count, m_out.data(), m_stride, error))
                return {BuildOutcome::kRefused, error};
            m_done += count;
        }
    } catch (const std::bad_alloc&) {
        return {BuildOutcome::kRefused, NoMemoryStatus(m_w, m_h)};
    }
    m_f.m_progress = 100.0;
    return {BuildOutcome::kDrawn, {}};
}

} // namespace

BuildOutcome RenderOffscreen(CFractal& fractal, const OffscreenJob& job, ImageSink& sink, const MemoryStatus& memory)
{
    Renderer renderer(fractal, job, sink);
    return renderer.Run(job, memory);
}

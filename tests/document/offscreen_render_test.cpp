// The off-screen render against single builds of the whole image: bands of
// any height give the whole build's bytes, N x N samples give the mean of
// the whole build at N times the size, and the adaptive mode gives, pixel
// by pixel, either the plain pixel or the fully sampled one, the latter
// wherever the plain image has an edge.

#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "document/BuildSteps.h"
#include "document/DocumentFiles.h"
#include "document/ImageFiles.h"
#include "document/OffscreenRender.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/selfaffine/SelfAffineSet.h"

namespace {

using Maker = std::function<std::unique_ptr<CFractal>()>;

// Rows bottom first, 3 bytes a pixel, no padding.
struct Image {
    unsigned w = 0, h = 0;
    std::vector<uint8_t> bgr;
    const uint8_t* At(unsigned i, unsigned j) const { return bgr.data() + (size_t(i) * w + j) * 3; }
};

Image FromCanvas(const CCanvas& c)
{
    Image im{c.m_bufferWidth, c.m_bufferHeight, {}};
    for (unsigned i = 0; i < im.h; ++i)
        im.bgr.insert(im.bgr.end(), c.Row(i), c.Row(i) + size_t(im.w) * 3);
    return im;
}

// One build of the whole image, as a window builds it.
Image WholeBuild(const Maker& make, unsigned w, unsigned h)
{
    std::unique_ptr<CFractal> f = make();
    CCanvas canvas;
    canvas.SetTargetSize(w, h);
    EXPECT_EQ(RunBuildSteps(*f, canvas, kCmdRebuild).result, BuildOutcome::kDrawn);
    return FromCanvas(canvas);
}

Image Offscreen(const Maker& make, unsigned w, unsigned h, AntiAliasing aa, unsigned bandRows = 0,
                BuildOutcome* outcome = nullptr)
{
    std::unique_ptr<CFractal> f = make();
    CCanvas canvas;
    CanvasSink sink(canvas);
    OffscreenJob job{w, h, aa, bandRows};
    const BuildOutcome out = RenderOffscreen(*f, job, sink, QueryMemoryStatus());
    if (outcome)
        *outcome = out;
    else
        EXPECT_EQ(out.result, BuildOutcome::kDrawn) << out.refusal;
    return FromCanvas(canvas);
}

// The box filter written out: each pixel the mean of its n x n samples,
// halves rounded up.
Image BoxFilter(const Image& big, unsigned n)
{
    Image out{big.w / n, big.h / n, {}};
    out.bgr.resize(size_t(out.w) * out.h * 3);
    for (unsigned i = 0; i < out.h; ++i)
        for (unsigned j = 0; j < out.w; ++j)
            for (unsigned ch = 0; ch < 3; ++ch) {
                unsigned sum = 0;
                for (unsigned b = 0; b < n; ++b)
                    for (unsigned a = 0; a < n; ++a)
                        sum += big.At(i * n + b, j * n + a)[ch];
                out.bgr[(size_t(i) * out.w + j) * 3 + ch] = uint8_t((2 * sum + n * n) / (2 * n * n));
            }
    return out;
}

// `iterations` 0: the count the view chooses.
Maker Mandelbrot(double x, double y, double radius, int type = 0, int coloring = kColoringAngle, int iterations = 0)
{
    return [=] {
        auto m = std::make_unique<CMandelbrotSet>();
        m->m_colorMap.m_coloring = coloring;
        m->m_type = m->m_builtType = type;
        m->m_cRe = -0.8;
        m->m_cIm = 0.156;
        m->m_centerX = x;
        m->m_centerY = y;
        m->m_halfSize = radius;
        if (iterations > 0) {
            m->m_maxIterations = iterations;
            m->m_iterationsSet = true;
        }
        return std::unique_ptr<CFractal>(std::move(m));
    };
}

Maker Appolony()
{
    return [] { return CreateFractalOfType(kTypeAppolony); };
}

// The self-affine set's sample, as a field (2-D) or marched (3-D).
Maker SelfAffine(bool solid)
{
    return [=] {
        std::unique_ptr<CFractal> f = CreateFractalOfType(kTypeSelfAffine);
        static_cast<CSelfAffineSet&>(*f).m_threeD = solid ? 1 : 0;
        return f;
    };
}

struct View {
    const char* name;
    Maker make;
    // Deep views and the self-affine set take far longer per pixel: their
    // checks take fewer sizes.
    bool slow = false;
};

const std::vector<View>& Views()
{
    static const std::vector<View> views = {
        {"default Mandelbrot", Mandelbrot(-0.5, 0, 2)},
        {"seahorse valley", Mandelbrot(-0.7453, 0.1127, 0.0065)},
        {"Julia", Mandelbrot(0, 0, 1.6, 1)},
        {"seahorse valley by its distance", Mandelbrot(-0.7453, 0.1127, 0.0065, 0, kColoringDistance)},
        // Past a double's resolution, where some pixels need their second
        // try or an orbit of their own; the Julia view chooses its count.
        {"deep seahorse", Mandelbrot(-0.7436438870371587, 0.1318259042053119, 2e-13, 0, kColoringAngle, 5000), true},
        {"deep seahorse by its distance",
         Mandelbrot(-0.7436438870371587, 0.1318259042053119, 2e-13, 0, kColoringDistance, 5000), true},
        // About the repelling fixed point (1 + sqrt(1 - 4c)) / 2 of z^2 + c,
        // which lies on the Julia set, so the view shows its spirals.
        {"deep Julia", Mandelbrot(1.5275031186435346, -0.07591217835228786, 4e-14, 1), true},
        {"Appolony", Appolony()},
        {"self-affine field", SelfAffine(false), true},
        {"self-affine march", SelfAffine(true), true},
    };
    return views;
}

// An image of one colour would match whatever the bands got wrong.
size_t Colors(const Image& im)
{
    std::set<uint32_t> colors;
    for (size_t k = 0; k + 2 < im.bgr.size(); k += 3)
        colors.insert(uint32_t(im.bgr[k]) | uint32_t(im.bgr[k + 1]) << 8 | uint32_t(im.bgr[k + 2]) << 16);
    return colors.size();
}

TEST(OffscreenRender, BandsOfAnyHeightGiveTheWholeBuildsBytes)
{
    const unsigned w = 83, h = 61;
    for (const View& v : Views()) {
        ASSERT_TRUE(v.make()->BuildsInBands(w, h)) << v.name;
        const Image whole = WholeBuild(v.make, w, h);
        EXPECT_GT(Colors(whole), 20u) << v.name;
        for (unsigned rows : {1u, 7u, 13u, 60u, 0u})
            if (!v.slow || rows == 1 || rows == 13) {
                EXPECT_EQ(Offscreen(v.make, w, h, {}, rows).bgr, whole.bgr) << v.name << ", bands of " << rows;
            }
    }
}

TEST(OffscreenRender, SamplesAreTheMeanOfTheWholeBuildAtNTimesTheSize)
{
    const unsigned w = 41, h = 29;
    for (const View& v : Views())
        for (unsigned n : {2u, 3u, 5u}) {
            if (v.slow && n != 3)
                continue;
            const Image expected = BoxFilter(WholeBuild(v.make, w * n, h * n), n);
            EXPECT_EQ(Offscreen(v.make, w, h, {int(n), false}, 4).bgr, expected.bgr) << v.name << ", " << n;
        }
}

TEST(OffscreenRender, AdaptiveRefinesEveryEdgeAsFullSamplingDoes)
{
    const unsigned n = 3;
    for (const View& v : Views()) {
        const unsigned w = v.slow ? 48 : 90, h = v.slow ? 36 : 70;
        const Image full = BoxFilter(WholeBuild(v.make, w * n, h * n), n);
        const Image adaptive = Offscreen(v.make, w, h, {int(n), true}, 9);
        // Kinds that build no runs sample every pixel.
        if (!v.make()->BuildsRuns(w * n, h * n)) {
            EXPECT_EQ(adaptive.bgr, full.bgr) << v.name;
            continue;
        }
        const Image plain = WholeBuild(v.make, w, h);
        ASSERT_EQ(adaptive.bgr.size(), plain.bgr.size());
        int edges = 0;
        for (unsigned i = 0; i < h; ++i)
            for (unsigned j = 0; j < w; ++j) {
                bool edge = false;
                for (unsigned y = i ? i - 1 : 0; y <= std::min(i + 1, h - 1); ++y)
                    for (unsigned x = j ? j - 1 : 0; x <= std::min(j + 1, w - 1); ++x)
                        for (int ch = 0; ch < 3; ++ch)
                            edge |= std::abs(plain.At(i, j)[ch] - plain.At(y, x)[ch]) > kAdaptiveThreshold;
                const bool isFull = std::equal(full.At(i, j), full.At(i, j) + 3, adaptive.At(i, j));
                const bool isPlain = std::equal(plain.At(i, j), plain.At(i, j) + 3, adaptive.At(i, j));
                edges += edge;
                if (edge)
                    EXPECT_TRUE(isFull) << v.name << " at " << i << ", " << j;
                else
                    EXPECT_TRUE(isPlain) << v.name << " at " << i << ", " << j;
            }
        EXPECT_GT(edges, 0) << v.name;
    }
}

TEST(OffscreenRender, AKindBuiltWholeIsRefusedBeyondTheMemory)
{
    std::unique_ptr<CFractal> f = CreateFractalOfType(kTypeTile);
    ASSERT_FALSE(f->BuildsInBands(1600, 1200));
    CCanvas canvas;
    CanvasSink sink(canvas);
    MemoryStatus little;
    little.totalPhysical = little.availablePhysical = little.totalVirtual = little.availableVirtual = 1 << 20;
    little.addressSpaceLeft = 1 << 20;
    const BuildOutcome out = RenderOffscreen(*f, {400, 300, {4, false}}, sink, little);
    EXPECT_EQ(out.result, BuildOutcome::kRefused);
    EXPECT_NE(out.refusal.find("builds its whole image at once"), std::string::npos) << out.refusal;
    EXPECT_NE(out.refusal.find("1600x1200"), std::string::npos) << out.refusal;
    EXPECT_FALSE(canvas.HasBuffer());
}

TEST(OffscreenRender, AStoppedRenderSaysSo)
{
    std::unique_ptr<CFractal> f = Mandelbrot(-0.5, 0, 2)();
    f->m_stop = true;
    CCanvas canvas;
    CanvasSink sink(canvas);
    EXPECT_EQ(RenderOffscreen(*f, {64, 64, {2, false}, 8}, sink, QueryMemoryStatus()).result, BuildOutcome::kStopped);
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(OffscreenRender, FilesWrittenInBandsHoldTheWholeImage)
{
    const std::string dir = testing::TempDir();
    const unsigned w = 77, h = 45;
    const Maker make = Mandelbrot(-0.7453, 0.1127, 0.0065);
    CCanvas canvas;
    canvas.SetTargetSize(w, h);
    std::unique_ptr<CFractal> whole = make();
    ASSERT_EQ(RunBuildSteps(*whole, canvas, kCmdRebuild).result, BuildOutcome::kDrawn);
    std::string error;
    ASSERT_TRUE(SaveBitmapFile(dir + "/whole.bmp", canvas, error)) << error;

    for (const char* name : {"/bands.bmp", "/bands.png"}) {
        std::unique_ptr<CFractal> f = make();
        const BuildOutcome out = SaveImageInBands(dir + name, *f, {w, h, {}, 6}, QueryMemoryStatus());
        ASSERT_EQ(out.result, BuildOutcome::kDrawn) << out.refusal;
    }
    EXPECT_EQ(Slurp(dir + "/bands.bmp"), Slurp(dir + "/whole.bmp"));
    // The PNG, read by Qt's own reader, top row first.
    QImage png(QString::fromStdString(dir + "/bands.png"));
    ASSERT_FALSE(png.isNull());
    ASSERT_EQ(png.width(), int(w));
    ASSERT_EQ(png.height(), int(h));
    int wrong = 0;
    for (unsigned i = 0; i < h; ++i)
        for (unsigned j = 0; j < w; ++j) {
            const QRgb p = png.pixel(int(j), int(h - 1 - i));
            const uint8_t* q = canvas.Row(i) + j * 3;
            wrong += qBlue(p) != q[0] || qGreen(p) != q[1] || qRed(p) != q[2];
        }
    EXPECT_EQ(wrong, 0);
    std::filesystem::remove(dir + "/whole.bmp");
    std::filesystem::remove(dir + "/bands.bmp");
    std::filesystem::remove(dir + "/bands.png");
}

} // namespace

// The deep views' vector lanes against plain scalar code: the lanes alone
// against the ordinary step written out below, every field of every pixel
// they hand back; then whole images with each instruction set forced
// against the scalar path's cells, counts and outcome counters, bit for bit.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/Parallel.h"
#include "model/deep/DeepLanes.h"
#include "model/kernels/MandelbrotKernel.h"
#include "model/kernels/MandelbrotPoint.h"
#include "tests/model/DeepImage.h"
#include "tests/model/OneIsa.h"

namespace {

using namespace deep_test;

using DeepLaneVariant = OneIsa;

struct IsaGuard {
    ~IsaGuard()
    {
        ClearKernelIsaOverride();
        SetExecutionPath(ExecutionPath::kFast);
    }
};

struct Built {
    DeepOutcome outcome;
    std::vector<float> cells; // nx, ny, value (and step with the distance) of every pixel, row by row
    std::vector<int32_t> counts;
};

// The ordinary step as the scalar loop takes it, written out plainly: the
// independent check of the one step that DeepStep.h shares between both.
void PlainStep(const DeepLaneView& v, DeepLanePixel& p)
{
    double &zr = p.v.zr, &zi = p.v.zi, &m2 = p.v.m2, &dr = p.v.dr, &di = p.v.di, &err = p.v.err;
    double &pr = p.v.p.re, &pi = p.v.p.im;
    const double dcr = p.v.dcr, dci = p.v.dci, dcAbs = p.v.dcAbs;
    const double magnitude = std::sqrt(m2);
    double d2 = dr * dr + di * di;
    if (!p.doubtful && err > 0 && !(std::fabs(magnitude - v.radius) > err + 8 * 0x1p-53 * magnitude))
        p.doubtful = true;
    if (p.doubtful)
        err = 0;
    const double t = pr * zr - pi * zi;
    pi = pr * zi + pi * zr;
    pr = t;
    if (mandelbrot_point::NeedsScaling(pr, pi))
        mandelbrot_point::Scale(pr, pi);
    if (m2 < d2 || p.i + 1 >= v.size[p.orbit]) {
        dr = zr;
        di = zi;
        d2 = m2;
        p.orbit = 1;
        p.i = 0;
        if (!p.doubtful)
            err = err + v.eps * magnitude;
    }
    if (!p.doubtful)
        err = (magnitude + magnitude + err) * err + v.eps * ((magnitude + magnitude) * std::sqrt(d2) + dcAbs);
    const double* re = v.re[p.orbit];
    const double* im = v.im[p.orbit];
    const double tr = re[p.i] + re[p.i] + dr, ti = im[p.i] + im[p.i] + di;
    const double nr = tr * dr - ti * di + dcr;
    di = tr * di + ti * dr + dci;
    dr = nr;
    ++p.i;
    zr = re[p.i] + dr;
    zi = im[p.i] + di;
    m2 = zr * zr + zi * zi;
    ++p.k;
}

// Whether the scalar loop must take the pixel's next step itself.
bool PlainNeedsScalar(const DeepLaneView& v, const DeepLanePixel& p)
{
    const double d2 = p.v.dr * p.v.dr + p.v.di * p.v.di;
    return p.v.m2 > v.radius2 || p.k >= p.limit || mandelbrot_point::NeedsScaling(p.v.zr, p.v.zi) ||
           (v.skips[p.orbit] && d2 < 0x1p-98 * p.v.m2);
}

// Hands out `pixels`; takes each back once more with a longer limit, then
// keeps what it gets.
struct ListFeed : DeepLaneFeed {
    std::vector<DeepLanePixel> pixels, back;
    std::vector<int> handed;
    size_t next = 0;
    bool Next(DeepLanePixel& px) override
    {
        if (next == pixels.size())
            return false;
        px = pixels[next++];
        return true;
    }
    bool Back(DeepLanePixel& px) override
    {
        if (handed[size_t(px.slot)]++ == 0 && px.k >= px.limit) {
            px.limit += 37;
            return true;
        }
        back[size_t(px.slot)] = px;
        return false;
    }
};

std::vector<DeepLanePixel> Expected(const DeepLaneView& v, std::vector<DeepLanePixel> pixels, int64_t& steps)
{
    steps = 0;
    for (DeepLanePixel& p : pixels)
        for (bool again = true;;) {
            while (!PlainNeedsScalar(v, p)) {
                PlainStep(v, p);
                ++steps;
            }
            if (!again || p.k < p.limit)
                break;
            p.limit += 37;
            again = false;
        }
    return pixels;
}

std::string Differences(const DeepLanePixel& a, const DeepLanePixel& b)
{
    std::string out;
    const auto field = [&](const char* name, double x, double y) {
        if (std::bit_cast<uint64_t>(x) != std::bit_cast<uint64_t>(y))
            out += std::string(" ") + name;
    };
    field("zr", a.v.zr, b.v.zr);
    field("zi", a.v.zi, b.v.zi);
    field("m2", a.v.m2, b.v.m2);
    field("dr", a.v.dr, b.v.dr);
    field("di", a.v.di, b.v.di);
    field("err", a.v.err, b.v.err);
    field("pr", a.v.p.re, b.v.p.re);
    field("pi", a.v.p.im, b.v.p.im);
    if (a.k != b.k || a.i != b.i || a.orbit != b.orbit || a.doubtful != b.doubtful || a.limit != b.limit)
        out += " k/i/orbit/doubt/limit";
    return out;
}

TEST_P(DeepLaneVariant, LanesStepAsThePlainStepDoes)
{
    // Two orbits of z^2 + c from 0 near the boundary of the set, kept short
    // so that pixels also rebase for running off their end.
    std::vector<double> re[2], im[2];
    const double cs[2][2] = {{-0.7436, 0.1318}, {-0.75, 0.05}};
    for (int o = 0; o < 2; ++o) {
        double zr = 0, zi = 0;
        for (int n = 0; n < 150 + 100 * o; ++n) {
            re[o].push_back(zr);
            im[o].push_back(zi);
            const double t = zr * zr - zi * zi + cs[o][0];
            zi = 2 * zr * zi + cs[o][1];
            zr = t;
        }
    }
    DeepLaneView v;
    for (int o = 0; o < 2; ++o) {
        v.re[o] = re[o].data();
        v.im[o] = im[o].data();
        v.size[o] = re[o].size();
    }
    v.skips[0] = true;
    v.radius2 = 16;
    v.radius = 4;
    v.eps = 8 * 0x1p-53;
    ListFeed feed;
    for (int n = 0; n < 61; ++n) {
        DeepLanePixel p;
        p.slot = n;
        p.orbit = n % 5 == 4 ? 1 : 0;
        p.i = size_t(1 + (n * 7) % 140);
        p.k = n;
        p.limit = n + 20 + (n * 13) % 300;
        // Differences from far beside the orbit down to one that needs a skip.
        const double scale = n == 60 ? 1e-40 : std::ldexp(1.0, -(n % 30));
        p.v.dr = scale * std::cos(n);
        p.v.di = scale * std::sin(n);
        p.v.dcr = n % 3 == 0 ? 0.0 : p.v.dr * 0.5;
        p.v.dci = n % 3 == 0 ? 0.0 : p.v.di * 0.25;
        p.v.dcAbs = std::sqrt(p.v.dcr * p.v.dcr + p.v.dci * p.v.dci);
        p.v.zr = v.re[p.orbit][p.i] + p.v.dr;
        p.v.zi = v.im[p.orbit][p.i] + p.v.di;
        p.v.m2 = p.v.zr * p.v.zr + p.v.zi * p.v.zi;
        // Bounds from none to wide enough to meet the escape radius; a
        // product that rescales.
        p.v.err = n % 4 == 0 ? 0.0 : std::ldexp(v.eps, n % 40);
        p.doubtful = n % 11 == 5;
        p.v.p.re = n % 6 == 1 ? 0x1p-499 : 1.0;
        p.v.p.im = n % 6 == 1 ? 0x1p-499 : 0.5;
        feed.pixels.push_back(p);
    }
    int64_t steps = 0;
    const std::vector<DeepLanePixel> expected = Expected(v, feed.pixels, steps);
    int rebased = 0, doubted = 0, escaped = 0;
    for (size_t n = 0; n < expected.size(); ++n) {
        rebased += expected[n].orbit != feed.pixels[n].orbit || expected[n].i < feed.pixels[n].i;
        doubted += expected[n].doubtful && !feed.pixels[n].doubtful;
        escaped += expected[n].v.m2 > v.radius2;
    }
    EXPECT_GT(rebased, 5);
    EXPECT_GT(doubted, 5);
    EXPECT_GT(escaped, 5);
    feed.next = 0;
    feed.back.assign(feed.pixels.size(), DeepLanePixel());
    feed.handed.assign(feed.pixels.size(), 0);
    EXPECT_EQ(RunDeepLanes(Isa(), v, feed), steps);
    for (size_t n = 0; n < expected.size(); ++n)
        EXPECT_EQ(Differences(feed.back[n], expected[n]), "") << "pixel " << n;
}

// Wide pixels in the lanes' doubles: a step whose doubles would round
// otherwise than FloatExp is handed back untaken, each case here for one
// reason, beside pixels that the lanes do step.
TEST_P(DeepLaneVariant, WideLanesRefuseStepsTheDoublesWouldRound)
{
    std::vector<double> re(200, 0.3), im(200, 0.4);
    re[7] = im[7] = 0.3;
    re[8] = std::nan("");
    DeepLaneView v;
    for (int o = 0; o < 2; ++o) {
        v.re[o] = re.data();
        v.im[o] = im.data();
        v.size[o] = re.size();
    }
    v.skips[1] = true;
    v.radius2 = 16;
    v.radius = 4;
    v.eps = 8 * 0x1p-53;
    v.wide = true;
    // Unscaled: d of 2^-300 beside z = w + d, and scaled: d of 2^-401 (a
    // FloatExp d 2^s times smaller) with z = w.
    const auto pixel = [&](bool scaled, int i) {
        DeepLanePixel p;
        p.i = size_t(i);
        p.k = 10;
        p.limit = 60;
        p.scaled = scaled;
        p.v.dr = std::ldexp(0.7, scaled ? -400 : -300);
        p.v.di = std::ldexp(-0.6, scaled ? -400 : -300);
        p.v.dcr = p.v.dr / 2;
        p.v.dci = p.v.di / 2;
        p.v.dcAbs = std::hypot(p.v.dcr, p.v.dci);
        p.v.zr = re[size_t(i)] + p.v.dr;
        p.v.zi = im[size_t(i)] + p.v.di;
        p.v.m2 = p.v.zr * p.v.zr + p.v.zi * p.v.zi;
        p.v.err = std::ldexp(1.0, scaled ? -460 : -360);
        p.v.p.re = 1;
        p.v.p.im = 0.5;
        return p;
    };
    std::vector<std::pair<std::string, DeepLanePixel>> refused;
    const auto refuse = [&](const std::string& why, DeepLanePixel p) { refused.push_back({why, p}); };
    DeepLanePixel p = pixel(false, 3);
    p.v.zr = 0x1p-460; // |z|^2 below 2^-900: its squares may have lost bits
    p.v.zi = 0;
    p.v.m2 = 0x1p-920;
    refuse("small z", p);
    p = pixel(false, 3);
    p.v.dr = 0x1p-460; // |d|^2 below 2^-900
    p.v.di = 0;
    refuse("small d", p);
    // (2 w + d) d cancels to 0, where the dc below the doubles (0 here) is
    // all that FloatExp's new d has.
    p = pixel(false, 7);
    p.v.di = p.v.dr;
    p.v.dcr = p.v.dci = p.v.dcAbs = 0;
    refuse("cancelling d", p);
    p = pixel(false, 3);
    p.v.zr = 0x1p-320; // |z| < |d|: the scalar loop rebases
    p.v.zi = 0;
    p.v.m2 = 0x1p-640;
    refuse("rebase", p);
    // P z with z real: P's imaginary part times 0.3 falls below the normal
    // doubles and loses its last bit.
    p = pixel(false, 3);
    p.v.p.im = 0x1.0000000000001p-1021;
    p.v.zi = 0;
    p.v.m2 = p.v.zr * p.v.zr;
    refuse("small part of P", p);
    // P z passes 2^500 and is scaled down, its small part past the doubles.
    p = pixel(false, 3);
    p.v.p.re = 0x1p530;
    p.v.p.im = 0x1.0000000000001p-511;
    p.v.zr = 0x1.8p-20;
    p.v.zi = 0;
    p.v.m2 = p.v.zr * p.v.zr;
    refuse("large P", p);
    refuse("orbit value no double holds", pixel(false, 8));
    p = pixel(true, 3);
    p.v.dr = p.v.di = 0x1p-30; // 2 w + d is not 2 w
    refuse("scaled d meets w", p);
    p = pixel(true, 3);
    p.v.zr += 0x1p-40; // z is not w
    refuse("scaled d in z", p);
    p = pixel(true, 3);
    p.v.err = 0x1p-60; // the bound moves the escape test's margin
    refuse("scaled bound", p);
    p = pixel(true, 3);
    p.orbit = 1; // the scalar loop looks for a skip
    refuse("scaled on an orbit with skips", p);
    ListFeed feed;
    feed.pixels = {pixel(false, 100), pixel(true, 100)};
    for (const auto& r : refused)
        feed.pixels.push_back(r.second);
    for (size_t n = 0; n < feed.pixels.size(); ++n)
        feed.pixels[n].slot = int(n);
    feed.back.assign(feed.pixels.size(), DeepLanePixel());
    feed.handed.assign(feed.pixels.size(), 0);
    RunDeepLanes(Isa(), v, feed);
    EXPECT_GT(feed.back[0].k, 20);
    EXPECT_GT(feed.back[1].k, 20);
    for (size_t n = 0; n < refused.size(); ++n)
        EXPECT_EQ(feed.back[n + 2].k, 10) << refused[n].first;
}

Built Build(const DeepJob& job, KernelIsa isa)
{
    OverrideKernelIsa(isa);
    Image image(job.width, job.height);
    Built b;
    b.outcome = BuildDeep(job, image);
    ClearKernelIsaOverride();
    for (int i = 0; i < job.height; ++i)
        for (int j = 0; j < job.width; ++j) {
            const PixelRecord& c = image.Cell(i, j);
            b.cells.insert(b.cells.end(), {c.nx, c.ny, c.value});
            if (job.distance)
                b.cells.push_back(c.step);
        }
    b.counts = image.counts;
    return b;
}

DeepJob JuliaJob(double halfSize, int w, int h)
{
    const double cRe = -0.4, cIm = 0.6, g = 1.8;
    DeepJob job = Job(FixedPointCenter(cRe, cIm, g, false), FixedPointCenter(cRe, cIm, g, true), halfSize, w, h, 2000);
    job.julia = true;
    job.cRe = cRe;
    job.cIm = cIm;
    job.g = g;
    return job;
}

// Every view once with skips and once without.
std::vector<std::pair<std::string, DeepJob>> Views()
{
    // A point of the seahorse valley whose pixels escape after some
    // 5,000 (at 1e-14) and 8,500 (at 1e-30) iterations.
    const std::string sx = "-0.74364451097328589583078559144868670983576730650589208411455588828",
                      sy = "0.13184706888048892710011735291650820381215323924216586750741737912";
    const std::string x = "-0.7436438870371587", y = "0.1318259042053119";
    std::vector<std::pair<std::string, DeepJob>> views = {
        {"seahorse 1e-14", Job(sx, sy, 1e-14, 41, 29, 7000)},
        {"seahorse 1e-30", Job(sx, sy, 1e-30, 33, 25, 10000)},
        // Pixels about the point i leave the reference and rebase.
        {"rebasing 1e-30", Job("0", "1", 1e-30, 45, 33, 1000)},
        {"Julia 1e-25", JuliaJob(1e-25, 47, 35)},
        // Doubtful pixels: some get their own reference, ...
        {"doubtful 1e-12", Job(x, y, 1e-12, 63, 47, 5000)},
    };
    // ... and here all keep their difference iteration's result, or those
    // the budget, charged in row and column order, leaves out.
    views.push_back({"doubtful kept", views.back().second});
    views.back().second.ownReferenceBudget = 0;
    views.back().second.secondTry = false;
    views.push_back({"doubtful in part", views.back().second});
    views.back().second.ownReferenceBudget = 12 * 5000;
    // The derivative for the Distance colouring, carried through the hand-
    // overs; about i at 1e-170 it passes 2^500 and is rescaled.
    for (const size_t v : {size_t(1), size_t(3), size_t(4)}) {
        views.push_back({views[v].first + " distance", views[v].second});
        views.back().second.distance = true;
    }
    views.push_back({"rebasing 1e-170 distance", Job("0", "1", 1e-170, 25, 19, 1000)});
    views.back().second.distance = true;
    // Wide pixels, which the lanes take in doubles times a power of two
    // while they round as FloatExp does: about i with pixels of 1e-323, and
    // about the tip -2 on the real axis, whose centre row has no imaginary
    // part, at 1e-400; the Julia set with its two orbits in the wide form.
    views.push_back({"rebasing 1e-323 wide", Job("0", "1", 1, 32, 24, 3000)});
    views.back().second.pixelSize = FloatExp::Normal(1, -1070) * FloatExp(2.0 / 24);
    views.push_back({"tip 1e-400 wide", Job("-2", "0", 1, 30, 20, 800)});
    views.back().second.pixelSize = FloatExp::Normal(1, -1330) * FloatExp(3.0 / 20);
    views.push_back({"Julia 1e-25 wide", views[3].second});
    views.back().second.forceWide = true;
    views.back().second.secondTry = false;
    const size_t n = views.size();
    for (size_t v = 0; v < n; ++v) {
        views.push_back({views[v].first + " plain", views[v].second});
        views.back().second.linearSkips = false;
    }
    return views;
}

void ExpectSame(const Built& a, const Built& b, const std::string& what)
{
    ASSERT_EQ(a.cells.size(), b.cells.size()) << what;
    EXPECT_EQ(std::memcmp(a.cells.data(), b.cells.data(), a.cells.size() * sizeof(float)), 0) << what;
    EXPECT_EQ(a.counts, b.counts) << what;
    EXPECT_EQ(a.outcome.error, b.outcome.error) << what;
    EXPECT_EQ(a.outcome.stopped, b.outcome.stopped) << what;
    EXPECT_EQ(a.outcome.totalIterations, b.outcome.totalIterations) << what;
    EXPECT_EQ(a.outcome.skippedIterations, b.outcome.skippedIterations) << what;
    EXPECT_EQ(a.outcome.ownReferences, b.outcome.ownReferences) << what;
    EXPECT_EQ(a.outcome.doubtfulKept, b.outcome.doubtfulKept) << what;
    EXPECT_EQ(a.outcome.settledInDoubleDouble, b.outcome.settledInDoubleDouble) << what;
}

// The scalar builds of the views, made once for every instruction set's test.
const std::vector<Built>& ScalarBuilds()
{
    static const std::vector<Built> builds = [] {
        IsaGuard guard;
        std::vector<Built> b;
        for (const auto& view : Views())
            b.push_back(Build(view.second, KernelIsa::kScalar));
        return b;
    }();
    return builds;
}

TEST(DeepLanes, TheScalarPathsViewsReachOwnOrbitsAndKeptPixels)
{
    bool sawOwn = false, sawKept = false, sawBoth = false, sawSecondTry = false;
    const auto views = Views();
    for (size_t n = 0; n < views.size(); ++n) {
        const std::string& name = views[n].first;
        const Built& scalar = ScalarBuilds()[n];
        ASSERT_EQ(scalar.outcome.error, "") << name;
        ASSERT_FALSE(scalar.outcome.stopped) << name;
        EXPECT_EQ(scalar.outcome.laneIterations, 0) << name;
        sawOwn = sawOwn || scalar.outcome.ownReferences > 0;
        sawSecondTry = sawSecondTry || scalar.outcome.settledInDoubleDouble > 0;
        sawKept = sawKept || scalar.outcome.doubtfulKept > 0;
        sawBoth = sawBoth || (scalar.outcome.doubtfulKept > 0 && scalar.outcome.ownReferences > 0);
        // Not a blank view: both escaped and inside pixels.
        int escaped = 0;
        for (int32_t c : scalar.counts)
            escaped += c >= 0;
        EXPECT_GT(escaped, 0) << name;
    }
    EXPECT_TRUE(sawOwn);
    EXPECT_TRUE(sawKept);
    EXPECT_TRUE(sawBoth);
    EXPECT_TRUE(sawSecondTry);
}

TEST_P(DeepLaneVariant, GivesTheScalarPathsImage)
{
    IsaGuard guard;
    const auto views = Views();
    for (size_t n = 0; n < views.size(); ++n) {
        const std::string& what = views[n].first;
        const Built lanes = Build(views[n].second, Isa());
        ExpectSame(ScalarBuilds()[n], lanes, what);
        // The lanes took a real part of the steps not skipped.
        const int64_t taken = lanes.outcome.totalIterations - lanes.outcome.skippedIterations;
        EXPECT_GT(lanes.outcome.laneIterations, taken / 5) << what;
        EXPECT_LE(lanes.outcome.laneIterations, taken) << what;
    }
}

// Wide pixels stepped in BlockExp, handed to the lanes and back, give the
// bits of FloatExp's scalar loop: the suite's wide views and, forced into
// the wide form, its doubtful, rebasing and skipless pixels.
TEST(DeepLanes, WidePixelsInBlocksGiveFloatExpsBits)
{
    IsaGuard guard;
    int wideSkips = 0, views = 0;
    for (auto [what, job] : Views()) {
        const bool wide = what.find("wide") != std::string::npos;
        if (job.distance || !(wide || what == "doubtful 1e-12" || what == "rebasing 1e-30" ||
                              what == "rebasing 1e-30 plain" || what == "seahorse 1e-14"))
            continue;
        job.forceWide = true;
        const Built blocks = Build(job, ChosenKernelIsa());
        job.wideInBlocks = false;
        ExpectSame(Build(job, KernelIsa::kScalar), blocks, what);
        wideSkips += blocks.outcome.skippedIterations > 0;
        ++views;
    }
    EXPECT_EQ(views, 10);
    EXPECT_GE(wideSkips, 4);
}

// The plain path is the scalar loop whatever the processor offers.
TEST(DeepLanes, PlainPathStepsNoLanes)
{
    IsaGuard guard;
    const DeepJob job = Job("0", "1", 1e-30, 21, 15, 1000);
    const Built fast = Build(job, ChosenKernelIsa());
    SetExecutionPath(ExecutionPath::kPlain);
    const Built plain = Build(job, ChosenKernelIsa());
    EXPECT_EQ(plain.outcome.laneIterations, 0);
    EXPECT_GT(fast.outcome.laneIterations, 0);
    ExpectSame(plain, fast, "plain against fast");
}

INSTANTIATE_ISA_TESTS(DeepLaneVariant, KernelIsa::kSse2, KernelIsa::kAvx2, KernelIsa::kAvx512);

} // namespace

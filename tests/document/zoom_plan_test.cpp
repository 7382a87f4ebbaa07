// The zoom plan's views and the frames made from its keyframes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "document/DocumentFiles.h"
#include "document/OffscreenRender.h"
#include "document/ZoomFrames.h"
#include "document/ZoomPlan.h"
#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/Fractal.h"
#include "model/FractalFactory.h"
#include "model/FractalKinds.h"

namespace {

FloatExp Extent(FloatExp half, unsigned side, unsigned w, unsigned h)
{
    return half * FloatExp(double(side)) / FloatExp(double(std::min(w, h)));
}

// 10^p and ln a, for sizes of any exponent.
FloatExp Power10(double p)
{
    const double b = p * std::log2(10.0), whole = std::floor(b);
    return FloatExp::Normal(std::exp2(b - whole), int64_t(whole));
}

double Ln(FloatExp a) { return std::log(a.m) + double(a.e) * std::log(2.0); }

// Over many plans, zooming in and out, shallow, past the resolution of
// doubles and past their range (to 1e-1100): the half size of frame k is
// start x ratio^k, the last frame is the end view to the digit, and every
// frame lies inside the keyframe it is scaled from, whose pixels are no
// larger than the frame's.
TEST(ZoomPlan, FramesKeepTheSpeedAndLieInsideTheirKeyframes)
{
    std::mt19937 random(28);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int trial = 0; trial < 40; ++trial) {
        // Every other trial starts past the normal doubles, or ends there,
        // with fewer frames: each is worked in MPFR at thousands of bits.
        const double depth = trial % 2 == 0 ? 0 : -250 - unit(random) * 800;
        ZoomSettings s;
        s.frames = 2 + unsigned(unit(random) * (depth < 0 ? 40 : 300));
        s.width = 16 + unsigned(unit(random) * 200);
        s.height = 16 + unsigned(unit(random) * 200);
        s.start.x.value = unit(random) - 0.5;
        s.start.y.value = unit(random) - 0.5;
        const FloatExp h0 = Power10(unit(random) * 2 - 1 + depth);
        const FloatExp end = h0 * Power10(-0.5 - unit(random) * 40);
        // The end point anywhere in the start view.
        const FloatExp px = FloatExp(2.0) * h0 / FloatExp(double(std::min(s.width, s.height)));
        const double fx = (unit(random) - 0.5) * 0.98 * s.width, fy = (unit(random) - 0.5) * 0.98 * s.height;
        // A start past the doubles' resolution has digits of its own.
        if (depth < 0)
            s.start.x = MoveCoordinate(s.start.x.value, "", {{unit(random), px}}, px / FloatExp(1000.0));
        s.end.x = MoveCoordinate(s.start.x.value, s.start.x.digits, {{fx, px}, {unit(random), end}},
                                 end / FloatExp(1000.0));
        s.end.y = MoveCoordinate(s.start.y.value, "", {{fy, px}, {unit(random), end}}, end / FloatExp(1000.0));
        s.start.SetHalf(h0);
        s.end.SetHalf(end);
        if (trial % 3 == 0)
            std::swap(s.start, s.end); // zooming out
        ZoomPlan plan;
        std::string error;
        ASSERT_TRUE(ZoomPlan::Make(s, plan, error)) << error << " trial " << trial;
        const unsigned n = s.frames;
        const FloatExp start = s.start.Half();
        const double lnRatio = Ln(s.end.Half() / start) / (n - 1);
        const ZoomPlace last = plan.FramePlace(n - 1);
        EXPECT_EQ(last.x.value, s.end.x.value);
        EXPECT_EQ(last.x.digits, s.end.x.digits);
        EXPECT_EQ(last.y.digits, s.end.y.digits);
        EXPECT_EQ(last.halfDigits, s.end.halfDigits);
        unsigned lastKey = 0;
        for (unsigned k = 0; k < n; ++k) {
            const ZoomPlace f = plan.FramePlace(k);
            const FloatExp fh = f.Half();
            ASSERT_NEAR(Ln(fh / start), lnRatio * k, 1e-9) << "trial " << trial << " frame " << k;
            unsigned j = 0;
            double weight = -1;
            plan.Between(k, j, weight);
            ASSERT_GE(weight, 0.0);
            ASSERT_LE(weight, 1.0);
            ASSERT_LT(j + 1, plan.Keyframes());
            // In zoom order the keyframes run from the larger view.
            ASSERT_TRUE(s.end.Half() < start ? j >= lastKey : j <= lastKey || k == 0);
            lastKey = j;
            const ZoomPlace key = plan.KeyframePlace(j);
            const FloatExp kh = key.Half();
            const FloatExp dk = FloatExp(2.0) * kh / FloatExp(double(std::min(plan.KeyWidth(), plan.KeyHeight())));
            const FloatExp df = FloatExp(2.0) * fh / FloatExp(double(std::min(s.width, s.height)));
            ASSERT_LE(dk, df * FloatExp(1 + 1e-9)) << "a keyframe pixel larger than the frame's";
            const FloatExp dx = Abs(WideCoordinateDifference(f.x.value, f.x.digits, key.x.value, key.x.digits));
            const FloatExp dy = Abs(WideCoordinateDifference(f.y.value, f.y.digits, key.y.value, key.y.digits));
            const FloatExp slack = df * FloatExp(1e-3);
            ASSERT_LE(dx + Extent(fh, s.width, s.width, s.height),
                      Extent(kh, plan.KeyWidth(), plan.KeyWidth(), plan.KeyHeight()) + slack)
                << "trial " << trial << " frame " << k << " outside keyframe " << j;
            ASSERT_LE(dy + Extent(fh, s.height, s.width, s.height),
                      Extent(kh, plan.KeyHeight(), plan.KeyWidth(), plan.KeyHeight()) + slack);
        }
    }
}

// Past the normal doubles, by hand: from 1e-300 to 1e-1000 in 71 frames
// frame k is 1e-(300 + 10k) and holds its digits; keyframes halve the size
// 700 log2(10) = 2325.3 times, in 2326 intervals; the plan's text carries
// the radius and reads back to the same views; past the deepest radius a
// plan is refused.
TEST(ZoomPlan, DeepPlansCarryTheirRadii)
{
    ZoomSettings s;
    s.frames = 71;
    s.width = 64;
    s.height = 48;
    s.start.x = {-0.75, ""};
    s.start.y = {0.1, ""};
    s.start.half = 1e-300;
    s.end = s.start;
    FloatExp end;
    ASSERT_EQ(ReadSize("1e-1000", end), SizeRead::kRead);
    s.end.SetHalf(end);
    s.end.x = MoveCoordinate(-0.75, "", {{3, end}}, end / FloatExp(1000.0));
    ZoomPlan plan, back;
    std::string error;
    ASSERT_TRUE(ZoomPlan::Make(s, plan, error)) << error;
    EXPECT_EQ(plan.Keyframes(), 2327u);
    for (unsigned k = 0; k < s.frames; ++k) {
        FloatExp hand;
        ASSERT_EQ(ReadSize("1e-" + std::to_string(300 + 10 * k), hand), SizeRead::kRead);
        const ZoomPlace f = plan.FramePlace(k);
        EXPECT_NEAR(Ln(f.Half() / hand), 0, 1e-10) << "frame " << k;
        EXPECT_EQ(f.halfDigits.empty(), k == 0) << "frame " << k;
    }
    const std::string text = plan.Text();
    EXPECT_NE(text.find("\nend radius=1e-1000\n"), std::string::npos) << text;
    ASSERT_TRUE(ZoomPlan::Read(text, back, error)) << error;
    EXPECT_EQ(back.Text(), text);
    for (unsigned k : {1u, 35u, 69u}) {
        EXPECT_EQ(back.FramePlace(k).halfDigits, plan.FramePlace(k).halfDigits);
        EXPECT_EQ(back.FramePlace(k).x.digits, plan.FramePlace(k).x.digits);
    }
    std::string deeper = text;
    deeper.replace(deeper.find("1e-1000"), 7, "1e-100001");
    EXPECT_FALSE(ZoomPlan::Read(deeper, back, error));
    EXPECT_NE(error.find("1e-100000"), std::string::npos) << error;
}

// Plans whose sizes are normal doubles keep the views and the text they
// had before sizes were kept past that range: their digest, over shallow
// and deep-centred plans in both modes, is the one the doubles' plan made.
TEST(ZoomPlan, ShallowPlansKeepTheirViews)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0, 1);
    uint64_t digest = 14695981039346656037u;
    auto add = [&digest](const std::string& bytes) {
        for (const char c : bytes)
            digest = (digest ^ uint8_t(c)) * 1099511628211u;
    };
    auto addPlace = [&](const ZoomPlace& p) {
        char half[32];
        std::snprintf(half, sizeof half, "%a", p.half);
        add(CoordinateText(p.x.value, p.x.digits) + " " + CoordinateText(p.y.value, p.y.digits) + " " + half);
    };
    for (int trial = 0; trial < 30; ++trial) {
        ZoomSettings s;
        s.frames = 2 + unsigned(unit(random) * 60);
        s.width = 16 + unsigned(unit(random) * 100);
        s.height = 16 + unsigned(unit(random) * 100);
        s.exact = trial % 4 == 3;
        s.start.x.value = unit(random) - 0.5;
        s.start.y.value = unit(random) - 0.5;
        s.start.half = std::pow(10, unit(random) * 2 - 1);
        const double end = s.start.half * std::pow(10, -0.5 - unit(random) * 300);
        const double px = 2 * s.start.half / std::min(s.width, s.height);
        const double fx = (unit(random) - 0.5) * 0.9 * s.width, fy = (unit(random) - 0.5) * 0.9 * s.height;
        s.end.x = MoveCoordinate(s.start.x.value, "", {{fx, px}, {unit(random), end}}, end / 1000);
        s.end.y = MoveCoordinate(s.start.y.value, "", {{fy, px}, {unit(random), end}}, end / 1000);
        s.end.half = end;
        if (trial % 3 == 0)
            std::swap(s.start, s.end);
        ZoomPlan plan;
        std::string error;
        ASSERT_TRUE(ZoomPlan::Make(s, plan, error)) << error;
        add(plan.Text());
        for (unsigned k = 0; k < plan.Frames(); ++k) {
            addPlace(plan.FramePlace(k));
            if (s.exact)
                continue;
            unsigned j = 0;
            double weight = 0;
            plan.Between(k, j, weight);
            char at[48];
            std::snprintf(at, sizeof at, "%u %a", j, weight);
            add(at);
        }
        for (unsigned j = 0; j < plan.Keyframes(); ++j)
            addPlace(plan.KeyframePlace(j));
        add(std::to_string(plan.KeyWidth()) + "x" + std::to_string(plan.KeyHeight()));
    }
    EXPECT_EQ(digest, 0xd76bb56a791b5ac6u);
}

// Keyframes holding a ramp of a frame's own world coordinates (blue along
// x, green along y) make that frame's ramp: the scaling puts each keyframe
// pixel where its world point lies, also 1e-30 deep, where only the whole
// digits tell the centres apart, and 1e-330 deep, past the doubles' range.
TEST(ZoomFrames, KeyframesAreScaledToTheirWorldPoints)
{
    for (const char* radius : {"1e-30", "1e-330"}) {
        SCOPED_TRACE(radius);
        ZoomSettings s;
        s.frames = 200;
        s.width = 64;
        s.height = 48;
        s.start = {{-0.5, ""}, {0, ""}, 2};
        s.end.x = {-0.743644510973285895830785591448686709835767306505892084114555888279978939966208371804487145,
                   "-0.743644510973285895830785591448686709835767306505892084114555888279978939966208371804487145"};
        s.end.y = {0.131847068880488927100117352916508203812153239242165867507417379120461872334112709929169900,
                   "0.131847068880488927100117352916508203812153239242165867507417379120461872334112709929169900"};
        FloatExp end;
        ASSERT_EQ(ReadSize(radius, end), SizeRead::kRead);
        s.end.SetHalf(end);
        ZoomPlan plan;
        std::string error;
        ASSERT_TRUE(ZoomPlan::Make(s, plan, error)) << error;
        for (unsigned k : {0u, 1u, 37u, 120u, 163u, 198u, 199u}) {
            const ZoomPlace f = plan.FramePlace(k);
            const FloatExp df = PixelOfHalf(f.half, f.halfDigits, std::min(s.width, s.height));
            unsigned j = 0;
            double weight = 0;
            plan.Between(k, j, weight);
            CCanvas keys[2];
            for (unsigned a = 0; a < 2; ++a) {
                const ZoomPlace key = plan.KeyframePlace(j + a);
                const unsigned kw = plan.KeyWidth(), kh = plan.KeyHeight();
                const double dk = (PixelOfHalf(key.half, key.halfDigits, std::min(kw, kh)) / df).ToDouble();
                const double ox = (WideCoordinateDifference(key.x.value, key.x.digits, f.x.value, f.x.digits) / df)
                                      .ToDouble();
                const double oy = (WideCoordinateDifference(key.y.value, key.y.digits, f.y.value, f.y.digits) / df)
                                      .ToDouble();
                keys[a].Resize(kw, kh, 24);
                for (unsigned r = 0; r < kh; ++r)
                    for (unsigned c = 0; c < kw; ++c) {
                        const double u = ox + (double(c) - kw / 2) * dk, v = oy + (double(r) - kh / 2) * dk;
                        uint8_t* p = keys[a].Row(r) + size_t(c) * 3;
                        p[0] = uint8_t(std::clamp(std::lround(128 + 2 * u), 0L, 255L));
                        p[1] = uint8_t(std::clamp(std::lround(128 + 2 * v), 0L, 255L));
                        p[2] = 0;
                    }
            }
            CCanvas frame;
            ComposeZoomFrame(plan, k, keys[0], &keys[1], frame);
            ASSERT_EQ(frame.m_bufferWidth, s.width);
            for (unsigned r = 0; r < s.height; ++r)
                for (unsigned c = 0; c < s.width; ++c) {
                    const uint8_t* p = frame.Row(r) + size_t(c) * 3;
                    ASSERT_NEAR(p[0], 128 + 2 * (int(c) - int(s.width / 2)), 1)
                        << "frame " << k << " at " << c << "," << r;
                    ASSERT_NEAR(p[1], 128 + 2 * (int(r) - int(s.height / 2)), 1)
                        << "frame " << k << " at " << c << "," << r;
                }
        }
    }
}

double Psnr(const CCanvas& a, const CCanvas& b)
{
    double sum = 0;
    for (unsigned r = 0; r < a.m_bufferHeight; ++r)
        for (unsigned i = 0; i < a.m_bufferWidth * 3; ++i) {
            const double d = double(a.Row(r)[i]) - b.Row(r)[i];
            sum += d * d;
        }
    const double mse = sum / (double(a.m_bufferWidth) * a.m_bufferHeight * 3);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// A real zoom of fine detail at a small size: measured against frames
// rendered exactly at 2 x 2 samples, the frames made from keyframes (1 to
// 4 keyframe pixels a side per frame pixel) are within 25 dB on average
// and each as close as the exact frame of one sample, or closer. Made on
// every core, each frame has the bytes one thread makes.
TEST(ZoomFrames, KeyframeFramesAreCloseToExactOnes)
{
    std::unique_ptr<CFractal> m = CreateFractalOfType(kTypeMandelbrot);
    m->m_centerX = -0.7436447;
    m->m_centerY = 0.1318471;
    m->m_halfSize = 1e-4;
    const ZoomSource source{kTypeMandelbrot, DocumentFileText(kTypeMandelbrot, *m) +
                                                 "coloring=Smooth count\r\ngradient repetitions=0.02\r\n"};
    ZoomSettings s;
    s.frames = 40;
    s.width = 64;
    s.height = 48;
    const CFractal::Place home = m->Overview();
    s.start = {{home.x, ""}, {home.y, ""}, home.half};
    s.end = {{m->m_centerX, ""}, {m->m_centerY, ""}, m->m_halfSize};
    ZoomPlan keyed, exact, sampled;
    std::string error;
    ASSERT_TRUE(ZoomPlan::Make(s, keyed, error)) << error;
    s.exact = true;
    ASSERT_TRUE(ZoomPlan::Make(s, exact, error));
    s.aa.samples = 2;
    ASSERT_TRUE(ZoomPlan::Make(s, sampled, error));
    std::vector<CCanvas> keys(keyed.Keyframes());
    const MemoryStatus memory = QueryMemoryStatus();
    for (unsigned j = 0; j < keyed.Keyframes(); ++j) {
        CanvasSink sink(keys[j]);
        ASSERT_EQ(RenderZoomUnit(source, keyed, j, sink, {}, memory).result, BuildOutcome::kDrawn);
    }
    double worst = 99, sum = 0, plainSum = 0, direct = 0;
    for (unsigned k = 0; k < s.frames; ++k) {
        unsigned j = 0;
        double weight = 0;
        keyed.Between(k, j, weight);
        CCanvas made, reference, plain, single;
        ComposeZoomFrame(keyed, k, keys[j], &keys[j + 1], made);
        // Spread over the cores, the bytes of one thread.
        SetExecutionPath(ExecutionPath::kPlain);
        ComposeZoomFrame(keyed, k, keys[j], &keys[j + 1], single);
        SetExecutionPath(ExecutionPath::kFast);
        ASSERT_TRUE(made.m_bits == single.m_bits) << "frame " << k;
        CanvasSink toReference(reference), toPlain(plain);
        ASSERT_EQ(RenderZoomUnit(source, sampled, k, toReference, {}, memory).result, BuildOutcome::kDrawn);
        ASSERT_EQ(RenderZoomUnit(source, exact, k, toPlain, {}, memory).result, BuildOutcome::kDrawn);
        const double p = Psnr(made, reference), plainP = Psnr(plain, reference);
        EXPECT_GE(p, plainP - 0.5) << "frame " << k;
        worst = std::min(worst, p);
        sum += p;
        plainSum += plainP;
        direct += Psnr(made, plain);
    }
    std::printf("keyframe frames against 2x2 exact: %.1f dB mean, %.1f dB worst; 1x1 exact: %.1f dB mean; "
                "keyframe frames against 1x1 exact: %.1f dB mean\n",
                sum / s.frames, worst, plainSum / s.frames, direct / s.frames);
    EXPECT_GE(sum / s.frames, 25.0);
}

} // namespace

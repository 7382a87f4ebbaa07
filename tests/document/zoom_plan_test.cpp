// The zoom plan's views and the frames made from its keyframes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

double Extent(double half, unsigned side, unsigned w, unsigned h) { return half * side / std::min(w, h); }

// Over many plans, zooming in and out, shallow and past doubles: the half
// size of frame k is start x ratio^k, the last frame is the end view to the
// digit, and every frame lies inside the keyframe it is scaled from, whose
// pixels are no larger than the frame's.
TEST(ZoomPlan, FramesKeepTheSpeedAndLieInsideTheirKeyframes)
{
    std::mt19937 random(28);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int trial = 0; trial < 40; ++trial) {
        ZoomSettings s;
        s.frames = 2 + unsigned(unit(random) * 300);
        s.width = 16 + unsigned(unit(random) * 200);
        s.height = 16 + unsigned(unit(random) * 200);
        s.start.x.value = unit(random) - 0.5;
        s.start.y.value = unit(random) - 0.5;
        s.start.half = std::pow(10, unit(random) * 2 - 1);
        const double end = s.start.half * std::pow(10, -0.5 - unit(random) * 40);
        // The end point anywhere in the start view.
        const double px = 2 * s.start.half / std::min(s.width, s.height);
        const double fx = (unit(random) - 0.5) * 0.98 * s.width, fy = (unit(random) - 0.5) * 0.98 * s.height;
        s.end.x = MoveCoordinate(s.start.x.value, "", {{fx, px}, {unit(random), end}}, end / 1000);
        s.end.y = MoveCoordinate(s.start.y.value, "", {{fy, px}, {unit(random), end}}, end / 1000);
        s.end.half = end;
        if (trial % 3 == 0)
            std::swap(s.start, s.end); // zooming out
        ZoomPlan plan;
        std::string error;
        ASSERT_TRUE(ZoomPlan::Make(s, plan, error)) << error;
        const unsigned n = s.frames;
        const double ratio = std::pow(s.end.half / s.start.half, 1.0 / (n - 1));
        const ZoomPlace last = plan.FramePlace(n - 1);
        EXPECT_EQ(last.x.value, s.end.x.value);
        EXPECT_EQ(last.x.digits, s.end.x.digits);
        EXPECT_EQ(last.y.digits, s.end.y.digits);
        unsigned lastKey = 0;
        for (unsigned k = 0; k < n; ++k) {
            const ZoomPlace f = plan.FramePlace(k);
            ASSERT_NEAR(f.half / (s.start.half * std::pow(ratio, k)), 1.0, 1e-9) << "trial " << trial << " frame " << k;
            unsigned j = 0;
            double weight = -1;
            plan.Between(k, j, weight);
            ASSERT_GE(weight, 0.0);
            ASSERT_LE(weight, 1.0);
            ASSERT_LT(j + 1, plan.Keyframes());
            // In zoom order the keyframes run from the larger view.
            ASSERT_TRUE(s.end.half < s.start.half ? j >= lastKey : j <= lastKey || k == 0);
            lastKey = j;
            const ZoomPlace key = plan.KeyframePlace(j);
            const double dk = 2 * key.half / std::min(plan.KeyWidth(), plan.KeyHeight());
            const double df = 2 * f.half / std::min(s.width, s.height);
            ASSERT_LE(dk, df * (1 + 1e-9)) << "a keyframe pixel larger than the frame's";
            const double dx = std::fabs(CoordinateDifference(f.x.value, f.x.digits, key.x.value, key.x.digits));
            const double dy = std::fabs(CoordinateDifference(f.y.value, f.y.digits, key.y.value, key.y.digits));
            const double slack = df * 1e-3;
            ASSERT_LE(dx + Extent(f.half, s.width, s.width, s.height),
                      Extent(key.half, plan.KeyWidth(), plan.KeyWidth(), plan.KeyHeight()) + slack)
                << "trial " << trial << " frame " << k << " outside keyframe " << j;
            ASSERT_LE(dy + Extent(f.half, s.height, s.width, s.height),
                      Extent(key.half, plan.KeyHeight(), plan.KeyWidth(), plan.KeyHeight()) + slack);
        }
    }
}

// Keyframes holding a ramp of a frame's own world coordinates (blue along
// x, green along y) make that frame's ramp: the scaling puts each keyframe
// pixel where its world point lies, also 1e-30 deep, where only the whole
// digits tell the centres apart.
TEST(ZoomFrames, KeyframesAreScaledToTheirWorldPoints)
{
    ZoomSettings s;
    s.frames = 200;
    s.width = 64;
    s.height = 48;
    s.start = {{-0.5, ""}, {0, ""}, 2};
    s.end.x = {-0.743644510973285895830785591448686709835767306505892084114555888279978939966208371804487145,
               "-0.743644510973285895830785591448686709835767306505892084114555888279978939966208371804487145"};
    s.end.y = {0.131847068880488927100117352916508203812153239242165867507417379120461872334112709929169900,
               "0.131847068880488927100117352916508203812153239242165867507417379120461872334112709929169900"};
    s.end.half = 1e-30;
    ZoomPlan plan;
    std::string error;
    ASSERT_TRUE(ZoomPlan::Make(s, plan, error)) << error;
    for (unsigned k : {0u, 1u, 37u, 120u, 163u, 198u, 199u}) {
        const ZoomPlace f = plan.FramePlace(k);
        const double df = 2 * f.half / std::min(s.width, s.height);
        unsigned j = 0;
        double weight = 0;
        plan.Between(k, j, weight);
        CCanvas keys[2];
        for (unsigned a = 0; a < 2; ++a) {
            const ZoomPlace key = plan.KeyframePlace(j + a);
            const unsigned kw = plan.KeyWidth(), kh = plan.KeyHeight();
            const double dk = 2 * key.half / std::min(kw, kh);
            const double ox = CoordinateDifference(key.x.value, key.x.digits, f.x.value, f.x.digits);
            const double oy = CoordinateDifference(key.y.value, key.y.digits, f.y.value, f.y.digits);
            keys[a].Resize(kw, kh, 24);
            for (unsigned r = 0; r < kh; ++r)
                for (unsigned c = 0; c < kw; ++c) {
                    const double u = (ox + (double(c) - kw / 2) * dk) / df;
                    const double v = (oy + (double(r) - kh / 2) * dk) / df;
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
                ASSERT_NEAR(p[0], 128 + 2 * (int(c) - int(s.width / 2)), 1) << "frame " << k << " at " << c << "," << r;
                ASSERT_NEAR(p[1], 128 + 2 * (int(r) - int(s.height / 2)), 1) << "frame " << k << " at " << c << "," << r;
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

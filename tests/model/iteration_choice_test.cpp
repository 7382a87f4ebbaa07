// The count a view chooses while the user has set none: along a walk of
// zooms into the seahorse valley, each view's count leaves few pixels black
// that four times as many steps would let escape, and is not many times
// what the view needs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/Canvas.h"
#include "model/mandelbrot/IterationChoice.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

struct Target : CCanvas {
    Target(unsigned w, unsigned h)
    {
        m_targetWidth = w;
        m_targetHeight = h;
    }
};

// A point of the valley that stays on the boundary at every depth (it
// lands on a 2-cycle after 30 steps): views about it show spirals, and the
// minibrots beside it need some 32 more steps per decade of depth.
struct Point {
    std::string x, y;
};
const Point kSpiral{"-0.7432918908524302029316243259725107571763485581207765818323304541609283",
                    "0.1312405523087976047708459065814781430771141511585840067313339426441224"};
// The nucleus of the period-553 minibrot beside it, some 1.7e-40 in size:
// the walk ends on the copy, the count it needs growing on the way.
const Point kMinibrot{"-0.74329189085243020277740447717166040614740123769855005598601166071925515",
                      "0.13124055230879760489545717745695508768178108851237312618452294463097018"};

struct Built {
    std::vector<int32_t> counts; // -1 inside
    int chosen = 0;
};

Built Build(const Point& at, double halfSize, int iterations, bool set, bool again = false)
{
    CMandelbrotSet m;
    m.m_centerX = std::strtod(at.x.c_str(), nullptr);
    m.m_centerY = std::strtod(at.y.c_str(), nullptr);
    m.m_centerXDigits = at.x;
    m.m_centerYDigits = at.y;
    m.m_halfSize = halfSize;
    m.m_maxIterations = iterations;
    m.m_iterationsSet = set;
    constexpr int kW = 24, kH = 18;
    Target canvas(kW, kH);
    m.Build(canvas);
    EXPECT_TRUE(m.m_refusal.empty()) << m.m_refusal;
    Built b;
    b.chosen = m.m_raisedIterations.load() ? m.m_raisedIterations.load() : iterations;
    if (again) {
        // The same view chooses the same count again, whatever the row had.
        m.AdoptBuildChoices();
        EXPECT_EQ(m.m_maxIterations, b.chosen);
        m.Build(canvas);
        EXPECT_EQ(m.m_raisedIterations.load(), 0) << halfSize;
    }
    for (int i = 0; i < kH; ++i)
        for (int j = 0; j < kW; ++j) {
            const PixelRecord* cell = m.m_colorMap.Cell(i, j);
            b.counts.push_back(cell->value >= float(CColorMap::kBackgroundValue) ? -1 : cell->state);
        }
    return b;
}

} // namespace

TEST(IterationChoice, RoundCountsPastTheLatestEscapesOfTheProbe)
{
    using namespace iteration_choice;
    // 1000 pixels: 3 may escape late (kLateShare), so the 4th latest decides.
    std::vector<int32_t> counts(1000, -1);
    for (int k = 0; k < 500; ++k)
        counts[size_t(k)] = 10 + k;
    counts[500] = 12345;
    counts[501] = 20000;
    counts[502] = 30000;
    EXPECT_EQ(CountForProbe(counts, 100), 510);
    counts[503] = 4321;
    EXPECT_EQ(CountForProbe(counts, 100), 4400);
    EXPECT_EQ(CountForProbe(counts, 5000), 5000);
    EXPECT_EQ(CountForProbe(std::vector<int32_t>(64, -1), 1000), 1000);

    // Probes that keep escaping later raise the cap until the count's
    // fourfold lies within it; the most bounds it.
    std::vector<int> caps;
    const auto late = [&](int cap, std::vector<int32_t>& out) {
        caps.push_back(cap);
        out.assign(100, -1);
        for (int k = 0; k < 100; ++k)
            out[size_t(k)] = std::min(cap, 30000) * k / 100;
        return true;
    };
    EXPECT_EQ(ChooseIterations(1000, 256000, false, late), 30000);
    EXPECT_EQ(caps, (std::vector<int>{4000, 16000, 64000, 128000}));
    caps.clear();
    EXPECT_EQ(ChooseIterations(1000, 20000, false, late), 20000);
    const auto inside = [](int, std::vector<int32_t>& out) {
        out.assign(10, -1);
        return true;
    };
    EXPECT_EQ(ChooseIterations(1000, 256000, false, inside), 1000);
    EXPECT_EQ(ChooseIterations(1000, 256000, true, inside), 256000);
    EXPECT_EQ(ChooseIterations(1000, 256000, true, [](int, std::vector<int32_t>&) { return false; }), 0);
}

TEST(IterationChoice, WalksIntoTheSeahorseValleyFitEveryView)
{
    for (const Point& at : {kSpiral, kMinibrot})
        for (int depth = 3; depth <= 40; depth += depth < 12 ? 1 : 4) {
            const double half = std::pow(10.0, -depth);
            const Built chosen = Build(at, half, CMandelbrotSet::kDefaultIterations, false, depth == 36);
            const Built more = Build(at, half, 4 * chosen.chosen, true);
            // Black at the chosen count, escaped at four times it.
            int late = 0;
            for (size_t k = 0; k < chosen.counts.size(); ++k)
                late += chosen.counts[k] < 0 && more.counts[k] >= 0;
            const double share = double(late) / double(chosen.counts.size());
            // What the view needs: the count past which at most 1 % of its
            // pixels escape, seen at four times the chosen count.
            std::vector<int32_t> escaped;
            for (const int32_t c : more.counts)
                if (c >= 0)
                    escaped.push_back(c);
            std::sort(escaped.begin(), escaped.end());
            const size_t allowed = more.counts.size() / 100;
            const int needed = escaped.size() > allowed ? escaped[escaped.size() - 1 - allowed] : 0;
            std::printf("radius 1e-%d: %d iterations chosen (%.1f %% black that 4x lets escape; %d needed)\n", depth,
                        chosen.chosen, 100 * share, needed);
            EXPECT_LE(share, 0.02) << "1e-" << depth << " at " << chosen.chosen;
            EXPECT_LE(chosen.chosen, 4 * std::max(needed, CMandelbrotSet::kDefaultIterations)) << "1e-" << depth;
        }
}

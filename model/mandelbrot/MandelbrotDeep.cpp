// The Mandelbrot and Julia views past the resolution of doubles: the centre
// read whole from its digits, every pixel built as its difference from a
// reference orbit (model/deep).

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/Canvas.h"
#include "model/deep/DeepView.h"
#include "model/deep/ReferenceCache.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "numbers/Coordinate.h"

namespace {

// The border of a small image of the view tells whether the count is too
// low: near the set's boundary, where deep views are made, a border mostly
// inside the set is one whose points had no time to escape.
constexpr int kProbeColumns = 64;
constexpr double kInsideShare = 0.5;
constexpr int kRaise = 4;

// Whichever way the build ends, its pass is over.
struct PassEnd {
    PassProgress& progress;
    ~PassEnd() { progress.End(); }
};

// The share of the probe's border cells that stayed inside; -1 when stopped
// or refused.
double InsideShareOfBorder(DeepJob probe)
{
    std::vector<PixelRecord> cells(size_t(probe.width) * size_t(probe.height));
    std::vector<PixelRecord*> rows(size_t(probe.height));
    for (int i = 0; i < probe.height; ++i)
        rows[size_t(i)] = cells.data() + size_t(i) * size_t(probe.width);
    std::vector<int32_t> counts(cells.size(), 0);
    probe.progress = nullptr;
    const DeepOutcome out = BuildDeepView(probe, rows.data(), counts.data());
    if (out.stopped || !out.error.empty())
        return -1;
    int border = 0, inside = 0;
    for (int i = 0; i < probe.height; ++i)
        for (int j = 0; j < probe.width; ++j) {
            if (i != 0 && i != probe.height - 1 && j != 0 && j != probe.width - 1)
                continue;
            ++border;
            inside += counts[size_t(i) * size_t(probe.width) + size_t(j)] < 0;
        }
    return border > 0 ? double(inside) / border : 0;
}

// A doubtful pixel is one whose escape a double's rounding may decide, as
// it does in every double build; the few that double-double does not settle
// either get an orbit of their own in MPFR, at the cost of their whole orbit
// again. Up to 16 orbits' worth of the count per 256 x 256 pixels is spent
// on them, so the share they may take grows with the image.
int64_t DoubtfulBudget(const DeepJob& job)
{
    const int64_t blocks = std::max<int64_t>(1, (int64_t(job.width) * job.height + 65535) / 65536);
    constexpr int64_t kDoubtfulOrbits = 16;
    return kDoubtfulOrbits * blocks * int64_t(job.maxIterations);
}

} // namespace

// The rule: while the user has not set the count, a deep view whose border
// is more than half inside the set at the count it has gets four times as
// many, again and again up to kAutoIterationsCap. A count the user typed is
// kept as it is, and the rule never lowers one.
int CMandelbrotSet::DeepIterations(const DeepJob& view, int iterations)
{
    if (m_iterationsSet || iterations >= kAutoIterationsCap)
        return iterations;
    DeepJob probe = view;
    probe.distance = false; // only the count is read
    probe.width = std::min(view.width, kProbeColumns);
    probe.height = std::max(1, int(std::lround(double(view.height) * probe.width / view.width)));
    probe.pixelSize = view.pixelSize * FloatExp(double(view.width) / probe.width);
    for (;;) {
        probe.maxIterations = iterations;
        const double share = InsideShareOfBorder(probe);
        if (share < 0)
            return m_stop.load() ? 0 : iterations;
        if (share <= kInsideShare || iterations >= kAutoIterationsCap)
            return iterations;
        iterations = int(std::min<int64_t>(int64_t(iterations) * kRaise, kAutoIterationsCap));
    }
}

DeepJob CMandelbrotSet::DeepViewJob(unsigned width, unsigned height, double pixelSize, int iterations)
{
    DeepJob job;
    job.centerRe = CoordinateText(m_centerX, m_centerXDigits);
    job.centerIm = CoordinateText(m_centerY, m_centerYDigits);
    job.pixelSize = FloatExp(pixelSize);
    job.width = int(width);
    job.height = int(height);
    job.julia = m_type == 1;
    job.cRe = m_cRe;
    job.cIm = m_cIm;
    job.g = std::sqrt(std::sqrt(m_cRe * m_cRe + m_cIm * m_cIm)) + 1;
    job.radius2 = m_precision * m_precision;
    job.maxIterations = iterations;
    job.stop = &m_stop;
    job.ownReferenceBudget = DoubtfulBudget(job);
    return job;
}

void CMandelbrotSet::BuildDeep(CCanvas& canvas, double pixelSize, int iterations)
{
    CColorMap& map = m_colorMap;
    DeepJob job = DeepViewJob(unsigned(map.m_gridWidth), unsigned(map.m_gridHeight), pixelSize, iterations);

    if (!m_deepOrbits)
        m_deepOrbits = std::make_shared<ReferenceCache>();
    m_deepOrbits->BeginBuild();
    job.orbits = m_deepOrbits.get();

    m_progress = 0.0;
    job.maxIterations = DeepIterations(job, iterations);
    if (job.maxIterations == 0)
        return; // stopped
    if (job.maxIterations > iterations)
        m_raisedIterations = job.maxIterations;
    job.ownReferenceBudget = DoubtfulBudget(job);
    // As in the double build, only the colouring that paints the
    // derivative pays for it.
    job.distance = map.m_coloring == kColoringDistance;

    m_passProgress.Begin(1, job.height);
    const PassEnd passEnd{m_passProgress};
    const std::string label = "Deep view, " + std::to_string(job.maxIterations) + " iterations";
    m_passProgress.StartPass(label);
    canvas.SetStatus(label);
    job.progress = &m_passProgress;
    const DeepOutcome out = BuildDeepView(job, map.m_gridRows.data(), nullptr);
    if (!out.error.empty())
        Refuse(canvas, out.error);
    else if (!out.stopped) {
        m_buildNote = DoubtfulNote(out);
        map.m_cellsHaveDistance = job.distance;
    }
}

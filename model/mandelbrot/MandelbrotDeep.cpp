// The Mandelbrot and Julia views past the resolution of doubles: the centre
// read whole from its digits, every pixel built as its difference from a
// reference orbit (model/deep).

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/Canvas.h"
#include "model/deep/DeepView.h"
#include "model/deep/ReferenceCache.h"
#include "model/mandelbrot/IterationChoice.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "numbers/Coordinate.h"

namespace {

// Whichever way the build ends, its pass is over.
struct PassEnd {
    PassProgress& progress;
    ~PassEnd() { progress.End(); }
};

// The probe's escape counts built with its count; false when stopped or
// refused.
bool ProbeCounts(DeepJob probe, std::vector<int32_t>& counts)
{
    std::vector<PixelRecord> cells(size_t(probe.width) * size_t(probe.height));
    std::vector<PixelRecord*> rows(size_t(probe.height));
    for (int i = 0; i < probe.height; ++i)
        rows[size_t(i)] = cells.data() + size_t(i) * size_t(probe.width);
    counts.assign(cells.size(), 0);
    probe.progress = nullptr;
    const DeepOutcome out = BuildDeepView(probe, rows.data(), counts.data());
    return !out.stopped && out.error.empty();
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

// While the user has not set the count, the probe's escape counts choose
// it (IterationChoice.h); a count the user typed is kept as it is.
int CMandelbrotSet::DeepIterations(const DeepJob& view, int iterations)
{
    if (m_iterationsSet)
        return iterations;
    DeepJob probe = view;
    probe.distance = false; // only the count is read
    probe.width = std::min(view.width, iteration_choice::kProbeColumns);
    probe.height = std::max(1, int(std::lround(double(view.height) * probe.width / view.width)));
    probe.pixelSize = view.pixelSize * FloatExp(double(view.width) / probe.width);
    const int chosen = iteration_choice::ChooseIterations(kDefaultIterations, kAutoIterationsCap, true,
                                                          [&](int cap, std::vector<int32_t>& counts) {
                                                              probe.maxIterations = cap;
                                                              return ProbeCounts(probe, counts);
                                                          });
    if (chosen == 0)
        return m_stop.load() ? 0 : iterations;
    return chosen;
}

DeepJob CMandelbrotSet::DeepViewJob(unsigned width, unsigned height, FloatExp pixelSize, int iterations)
{
    DeepJob job;
    job.centerRe = CoordinateText(m_centerX, m_centerXDigits);
    job.centerIm = CoordinateText(m_centerY, m_centerYDigits);
    job.pixelSize = pixelSize;
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

void CMandelbrotSet::BuildDeep(CCanvas& canvas, FloatExp pixelSize, int iterations)
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
    if (job.maxIterations != iterations)
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

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
    // Everything the probe reads.
    const std::string key = view.centerRe + ' ' + view.centerIm + ' ' + std::to_string(view.pixelSize.m) + 'p' +
                            std::to_string(view.pixelSize.e) + ' ' + std::to_string(view.width) + 'x' +
                            std::to_string(view.height) + ' ' + std::to_string(view.julia) + ' ' +
                            std::to_string(view.cRe) + ' ' + std::to_string(view.cIm) + ' ' +
                            std::to_string(view.radius2) + ' ' + std::to_string(iterations);
    if (m_deepChoices[1].count != 0 && m_deepChoices[1].key == key)
        std::swap(m_deepChoices[0], m_deepChoices[1]);
    if (m_deepChoices[0].count != 0 && m_deepChoices[0].key == key)
        return m_deepChoices[0].count;
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
    m_deepChoices[1] = std::move(m_deepChoices[0]);
    m_deepChoices[0] = {key, chosen};
    return chosen;
}

DeepBudget& CMandelbrotSet::BudgetOfBands(unsigned width, unsigned height, bool fresh)
{
    if (m_bandBudgets[1].budget && m_bandBudgets[1].width == width && m_bandBudgets[1].height == height)
        std::swap(m_bandBudgets[0], m_bandBudgets[1]);
    BandBudget& first = m_bandBudgets[0];
    if (!first.budget || first.width != width || first.height != height) {
        m_bandBudgets[1] = std::move(first);
        first = {width, height, nullptr};
        fresh = true;
    }
    if (fresh)
        first.budget = std::make_shared<DeepBudget>();
    return *first.budget;
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

bool CMandelbrotSet::BuildDeep(CCanvas& canvas, FloatExp pixelSize, int iterations, const std::vector<CellRun>* runs)
{
    CColorMap& map = m_colorMap;
    // The view is the whole image's; a band builds its rows of it.
    const unsigned w = canvas.m_targetWidth, h = canvas.FullHeight();
    const bool part = runs || canvas.m_bandFullHeight != 0;
    DeepJob job = DeepViewJob(w, h, pixelSize, iterations);

    if (!m_deepOrbits)
        m_deepOrbits = std::make_shared<ReferenceCache>();
    // The parts of one image compute its orbits, however large, once.
    m_deepOrbits->KeepAll(part);
    m_deepOrbits->BeginBuild();
    job.orbits = m_deepOrbits.get();
    // The orbits, the count's probes' too, show their own progress where
    // the rows do.
    m_deepOrbits->ShowProgress(runs ? nullptr : &m_passProgress);

    const bool firstPart = canvas.m_bandRowsBefore == 0;
    if (!part || firstPart)
        m_progress = 0.0;
    job.maxIterations = DeepIterations(job, iterations);
    if (job.maxIterations == 0)
        return false; // stopped
    if (job.maxIterations != iterations)
        m_raisedIterations = job.maxIterations;
    job.ownReferenceBudget = DoubtfulBudget(job);
    // As in the double build, only the colouring that paints the
    // derivative pays for it.
    job.distance = map.m_coloring == kColoringDistance;

    std::vector<DeepRun> parts;
    if (runs) {
        size_t cell = 0;
        PixelRecord* const cells = map.m_grid.data();
        for (const CellRun& r : *runs) {
            parts.push_back({int(r.row), int(r.column), int(r.column + r.count), cells + cell, nullptr});
            cell += r.count;
        }
    } else {
        const unsigned first = canvas.m_bandFirst;
        for (int i = 0; i < map.m_gridHeight; ++i)
            parts.push_back({int(first) + i, 0, int(w), map.m_gridRows[size_t(i)], nullptr});
    }
    DeepBudget whole;
    DeepBudget& budget = part ? BudgetOfBands(w, h, firstPart) : whole;

    // One pass over the image, its rows counted over all its bands: the
    // first band begins it and the last ends it, as a stop or refusal does.
    const std::string label = "Deep view, " + std::to_string(job.maxIterations) + " iterations";
    const bool rows = !runs;
    if (rows && (!part || firstPart || !m_passProgress.Read().running)) {
        m_passProgress.Begin(1, job.height);
        m_passProgress.StartPass(label);
        if (part)
            m_passProgress.AddRows(canvas.m_bandRowsBefore);
    }
    canvas.SetStatus(label);
    job.progress = rows ? &m_passProgress : nullptr;
    // Whichever way the build ends, the pass is over, unless more bands
    // of the image follow.
    struct PassEnd {
        PassProgress& progress;
        bool end;
        ~PassEnd()
        {
            if (end)
                progress.End();
        }
    } passEnd{m_passProgress, rows};
    const DeepOutcome out = BuildDeepRuns(job, parts, budget);
    passEnd.end = rows && (!part || canvas.m_bandFirst == 0 || out.stopped || !out.error.empty());
    if (!out.error.empty()) {
        Refuse(canvas, out.error);
        return false;
    }
    if (out.stopped)
        return false;
    m_buildNote = DoubtfulNote(out);
    map.m_cellsHaveDistance = job.distance;
    return true;
}

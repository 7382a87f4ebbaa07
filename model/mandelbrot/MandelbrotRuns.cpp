// The shallow Mandelbrot and Julia views in pieces: bands of rows, and runs
// of pixels here and there (the anti-aliasing's samples of the pixels it
// refines), each with the bits the whole image's build gives it.

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/kernels/MandelbrotPoint.h"
#include "model/mandelbrot/IterationChoice.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "numbers/Coordinate.h"

MandelbrotRowJob CMandelbrotSet::RowJob(unsigned width, double pixelSize, int iterations) const
{
    MandelbrotRowJob job;
    job.radius2 = m_precision * m_precision;
    job.maxIterations = iterations;
    job.g = std::sqrt(std::sqrt(m_cRe * m_cRe + m_cIm * m_cIm)) + 1;
    job.x0 = m_centerX - int(width / 2) * pixelSize;
    job.d = pixelSize;
    job.julia = m_type == 1;
    job.cRe = m_cRe;
    job.cIm = m_cIm;
    job.stop = &m_stop;
    return job;
}

int CMandelbrotSet::ShallowIterations(unsigned width, unsigned height, double pixelSize)
{
    const int iterations = std::clamp(m_maxIterations, 1, kMaxIterations);
    if (m_iterationsSet)
        return iterations;
    const ChoiceKey key{m_centerX, m_centerY, m_halfSize, m_cRe, m_cIm, m_precision, width, height, m_type};
    if (m_choices[1].count != 0 && m_choices[1].key == key)
        std::swap(m_choices[0], m_choices[1]);
    if (m_choices[0].count == 0 || !(m_choices[0].key == key)) {
        // The probe's pixels lie where the view's would at its coarser size.
        const int columns = int(std::min<unsigned>(width, iteration_choice::kProbeColumns));
        const int rows = std::max(1, int(std::lround(double(height) * columns / width)));
        const double d = pixelSize * double(width) / columns;
        const double y0 = m_centerY - (rows / 2) * d;
        const KernelIsa isa = PlainPath() ? KernelIsa::kScalar : ChosenKernelIsa();
        const int chosen = iteration_choice::ChooseIterations(
            kDefaultIterations, kAutoIterationsCap, false, [&](int cap, std::vector<int32_t>& counts) {
                std::vector<PixelRecord> cells(size_t(columns) * size_t(rows));
                std::atomic<bool> stopped{false};
                ForEachRange(rows, 1, [&](int begin, int end) {
                    for (int i = begin; i < end; ++i) {
                        MandelbrotRowJob row = RowJob(unsigned(columns), d, cap);
                        row.y = y0 + i * d;
                        if (!IterateMandelbrotRow(isa, row, 0, columns, cells.data() + size_t(i) * size_t(columns)))
                            stopped = true;
                    }
                });
                counts.resize(cells.size());
                for (size_t k = 0; k < cells.size(); ++k)
                    counts[k] =
                        cells[k].state == 0 && cells[k].value == mandelbrot_point::kInsideValue ? -1 : cells[k].state;
                return !stopped.load();
            });
        if (chosen == 0)
            return m_stop.load() ? 0 : iterations;
        m_choices[1] = m_choices[0];
        m_choices[0] = {key, chosen};
    }
    if (m_choices[0].count != iterations)
        m_raisedIterations = m_choices[0].count;
    return m_choices[0].count;
}

bool CMandelbrotSet::BuildsInBands(unsigned width, unsigned height) const
{
    // A switch of type moves the view in the build, before any row.
    if (m_type != m_builtType || width == 0 || height == 0)
        return false;
    // Deep views too: their bands come from the top down (OffscreenRender),
    // the order their budget of own references is spent in.
    return UnbuildableView().empty();
}

bool CMandelbrotSet::BuildRuns(CCanvas& canvas, const std::vector<CellRun>& runs)
{
    const unsigned w = canvas.m_targetWidth, h = canvas.FullHeight();
    if (!BuildsInBands(w, h))
        return false;
    // Where each run's cells start in the grid, one run after another.
    std::vector<size_t> starts(runs.size());
    size_t total = 0;
    for (size_t k = 0; k < runs.size(); ++k) {
        const CellRun& run = runs[k];
        if (run.row >= h || run.column > w || run.count > w - run.column)
            return false;
        starts[k] = total;
        total += run.count;
    }
    const FloatExp pixel = PixelOf(w, h);
    const double d = pixel.ToDouble();
    CColorMap& map = m_colorMap;
    // Over the cells the last build left when they are enough: a band's
    // grid, so neither this grid nor the next band's is a fresh one.
    map.ReshapeGrid(int(w), int((total + w - 1) / w));
    if (NeedsDeepView(m_centerX, m_centerY, pixel)) {
        map.m_pixelSize = d;
        map.m_centerX = m_centerX;
        map.m_centerY = m_centerY;
        map.m_cellsHaveDistance = false;
        // The runs' cells start at zero, as a whole build's do after ResetGrid(0).
        std::fill(map.m_grid.begin(), map.m_grid.begin() + std::ptrdiff_t(total), PixelRecord{});
        return BuildDeep(canvas, pixel, std::clamp(m_maxIterations, 1, kMaxIterations), &runs);
    }
    map.m_pixelSize = d;
    map.m_centerX = m_centerX;
    map.m_centerY = m_centerY;
    map.m_cellsHaveDistance = false;
    const bool distance = map.m_coloring == kColoringDistance;
    const int iterations = ShallowIterations(w, h, d);
    if (iterations == 0)
        return false;
    const MandelbrotRowJob job = RowJob(w, d, iterations);
    const double y0 = m_centerY - int(h / 2) * d;
    const KernelIsa isa = PlainPath() ? KernelIsa::kScalar : ChosenKernelIsa();
    PixelRecord* const cells = map.m_grid.data();
    // The kernels place pixel j at x0 + j d and write cell j, so each run is
    // iterated in a row as wide as the image's, whose other cells stay
    // untouched (and unfaulted: the storage is a fresh zero mapping), then
    // moved into the grid whole. Its cells start at zero, as a whole build's
    // fresh cells do after ResetGrid(0), and go back to zero.
    ForEachRange(int(runs.size()), 16, [&](int begin, int end) {
        CellGrid row;
        row.Allocate(w);
        for (int k = begin; k < end; ++k) {
            if (m_stop.load(std::memory_order_relaxed))
                return;
            const CellRun& run = runs[size_t(k)];
            MandelbrotRowJob line = job;
            line.y = y0 + run.row * d;
            const int from = int(run.column), to = int(run.column + run.count);
            if (!(distance ? IterateMandelbrotRowDistance(line, from, to, row.data())
                           : IterateMandelbrotRow(isa, line, from, to, row.data())))
                return;
            std::copy(row.begin() + from, row.begin() + to, cells + starts[size_t(k)]);
            std::fill(row.begin() + from, row.begin() + to, PixelRecord{});
        }
    });
    map.m_cellsHaveDistance = distance && !m_stop;
    return !m_stop;
}

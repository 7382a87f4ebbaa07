#include "model/mandelbrot/MandelbrotSet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/deep/DeepView.h"
#include "numbers/Coordinate.h"

const char* const kMandelbrotTypeNames[2] = {"Mandebrot Set", "Julia Set"};

const FractalKind kMandelbrotKind{CFractal::kMandelbrot,
                                  kTypeMandelbrot,
                                  "Mandelbrot Set",
                                  [] { return std::unique_ptr<CFractal>(std::make_unique<CMandelbrotSet>()); },
                                  {.zoomAndPan = true, .deepViews = true, .escapeCounts = true}};

namespace {
// Columns of a row between two looks at m_stop.
constexpr unsigned kStopColumns = 4096;
} // namespace

CMandelbrotSet::CMandelbrotSet()
{
    m_name = "Mandelbrot Set";
    m_kind = kMandelbrot;
    m_centerX = -0.5;
    m_halfSize = 2.0;
}

void CMandelbrotSet::Build(CCanvas& canvas)
{
    if (m_type != m_builtType) {
        // A point picked in the Mandelbrot set becomes the Julia constant.
        // Going back to the Mandelbrot set leaves the constant alone.
        if (m_type == 1) {
            m_cRe = m_centerX;
            m_cIm = m_centerY;
        }
        m_builtType = m_type;
        m_centerX = m_type == 0 ? -0.5 : 0.0;
        m_centerY = 0;
        m_centerZ = 0;
        m_centerXDigits.clear();
        m_centerYDigits.clear();
        m_halfSize = 2.0;
        m_halfSizeDigits.clear();
    }
    // m_stop is cleared by whoever starts the build, before the worker
    // runs: clearing it here would lose a Stop pressed in between.

    // A band's rows lie where the whole image has them, so the view and
    // its pixel size are the whole image's.
    const unsigned w = canvas.m_targetWidth, rows = canvas.m_targetHeight;
    const unsigned h = canvas.FullHeight(), first = canvas.m_bandFirst;
    CColorMap& map = m_colorMap;
    // The bands of one image take the first band's grid, the last one
    // shorter: fresh pages for every band would cost their faults again.
    if (rows != h)
        map.ReshapeGrid(int(w), int(rows));
    else
        map.AllocateGrid(int(w), int(rows));
    // The doubles' pixel wherever they hold it, so those views keep their
    // bytes; deeper, only the wide one is read.
    const FloatExp pixel = PixelOf(w, h);
    const double d = pixel.ToDouble();
    map.m_pixelSize = d;
    map.m_centerX = m_centerX;
    map.m_centerY = m_centerY;
    map.m_escapeRadius = std::fabs(m_precision);
    map.m_cellsHaveDistance = false;
    const int iterations = std::clamp(m_maxIterations, 1, kMaxIterations);
    // Views no build can show. A zero or negative radius about a centre of
    // doubles keeps the image it always gave.
    const std::string refusal = UnbuildableView();
    const bool deep = refusal.empty() && NeedsDeepView(m_centerX, m_centerY, pixel);
    const int chosen = refusal.empty() && !deep ? ShallowIterations(w, h, d) : 0;
    if (chosen == 0) {
        map.ResetGrid(0);
        if (!refusal.empty())
            Refuse(canvas, refusal);
        else if (deep)
            BuildDeep(canvas, pixel, iterations);
        return; // or stopped
    }
    const MandelbrotRowJob job = RowJob(w, d, chosen);
    const double y0 = m_centerY - int(h / 2) * d;
    const KernelIsa isa = PlainPath() ? KernelIsa::kScalar : ChosenKernelIsa();
    // The derivative costs every point more work: only the colouring that
    // paints it pays for it.
    const bool distance = map.m_coloring == kColoringDistance;

    // Rows are spread over the cores; each writes only its own cells. The
    // percentage counts finished rows, so it rises however they are dealt.
    m_progress = double(canvas.m_bandRowsBefore) * 100 / h;
    std::atomic<unsigned> finished{canvas.m_bandRowsBefore};
    // Each row painted on the core that built it, while its cells are in
    // cache, rather than read again from memory by a pass of its own.
    const bool ahead = map.BeginRowsAhead(canvas);
    // Every cell a stretch of a row holds is written when the stretch is
    // built, so no pass clears the grid first; after a Stop, the stretches
    // not finished are cleared instead (a partly built one as a whole).
    std::vector<unsigned> built(rows, 0);
    ForEachRange(int(rows), 1, [&](int begin, int end) {
        for (int i = begin; i < end; ++i) {
            if (m_stop.load(std::memory_order_relaxed))
                return;
            MandelbrotRowJob row = job;
            row.y = y0 + (unsigned(i) + first) * d;
            // A row of a very wide image, or of points iterated very many
            // times, takes longer than a Stop may wait; other rows are
            // finished.
            for (unsigned j = 0; j < w; j += kStopColumns) {
                if (j > 0 && m_stop.load(std::memory_order_relaxed))
                    return;
                const int end = int(std::min(w, j + kStopColumns));
                PixelRecord* cells = map.m_gridRows[size_t(i)];
                if (!(distance ? IterateMandelbrotRowDistance(row, int(j), end, cells)
                               : IterateMandelbrotRow(isa, row, int(j), end, cells)))
                    return;
                built[size_t(i)] = unsigned(end);
            }
            if (ahead)
                map.PaintRowsAhead(canvas, i, i + 1);
            const double progress = double(finished.fetch_add(1) + 1) * 100 / h;
            double shown = m_progress.load(std::memory_order_relaxed);
            while (shown < progress && !m_progress.compare_exchange_weak(shown, progress)) {}
        }
    });
    if (m_stop.load())
        for (unsigned i = 0; i < rows; ++i)
            map.ResetCells(int(i), int(built[i]), int(w), 0);
    map.m_cellsHaveDistance = distance && !m_stop.load(std::memory_order_relaxed);
    if (ahead && finished.load() == canvas.m_bandRowsBefore + rows)
        map.EndRowsAhead(canvas);
}

std::string CMandelbrotSet::UnbuildableView() const
{
    char radius[32];
    *std::to_chars(radius, radius + sizeof radius - 1, m_halfSize).ptr = 0;
    // Zooms may go past the deepest radius a file may hold.
    const FloatExp half = WideHalfSize();
    if (half.m > 0 && half.e < kDeepestBinaryExponent)
        return "The radius " + SizeText(half) + " is below the deepest radius, 1e-" +
               std::to_string(kDeepestSizeExponent);
    const bool wholeCenter = DigitsHold(m_centerXDigits, m_centerX) || DigitsHold(m_centerYDigits, m_centerY);
    // The double of a radius past its range is 0: the wide one decides.
    if (!(half.m > 0) && wholeCenter)
        return std::string("A centre with more digits than a double holds needs a radius above 0, not ") + radius;
    return {};
}

int CMandelbrotSet::Draw(CCanvas& canvas)
{
    m_colorMap.Draw(canvas);
    return 1;
}

uint64_t CMandelbrotSet::MemoryNeed(unsigned width, unsigned height)
{
    const uint64_t cells = CellMemoryNeed(width, height);
    const FloatExp d = PixelOf(std::max(1u, width), std::max(1u, height));
    if (!NeedsDeepView(m_centerX, m_centerY, d))
        return cells;
    // The count may rise to the cap before the orbits are made.
    const int iterations = std::clamp(m_maxIterations, 1, kMaxIterations);
    const int most = m_iterationsSet ? iterations : std::max(iterations, int(kAutoIterationsCap));
    return cells + DeepMemoryNeed(DeepViewJob(width, height, d, most));
}

bool CMandelbrotSet::ValueChanged(int, PropertyItem& row)
{
    // The user's count wins over the one deep views would choose.
    if (row.value == &m_maxIterations)
        m_iterationsSet = true;
    return false;
}

bool CMandelbrotSet::AdoptBuildChoices()
{
    const int raised = m_raisedIterations.exchange(0);
    if (raised == 0 || raised == m_maxIterations || m_iterationsSet)
        return false;
    m_maxIterations = raised;
    return true;
}

int CMandelbrotSet::FillProperties(PropertyList& list)
{
    list.BeginGroup("Main");
    list.AddRow("Name", &m_name, kRowString);
    list.AddRow("type", &m_type, 2, kMandelbrotTypeNames);
    list.AddCoordinateRow("x", &m_centerX, &m_centerXDigits);
    list.AddCoordinateRow("y", &m_centerY, &m_centerYDigits);
    list.AddSizeRow("radius", &m_halfSize, &m_halfSizeDigits);
    list.AddRow("precision", &m_precision, kRowDouble);
    // "type" has been read by now, so a Julia file brings its constant.
    if (m_type == 1) {
        list.AddRow("Re c", &m_cRe, kRowDouble);
        list.AddRow("Im c", &m_cIm, kRowDouble);
    }
    list.EndGroup();
    list.BeginGroup("Colors");
    m_colorMap.ListColorRows(list);
    list.EndGroup();
    // Deep views need more than the thousand steps every file before this
    // row was drawn with; those files lack it and keep that count. A count
    // a file holds is the user's, as a typed one is, so deep views keep it;
    // and a typed count is filed even at the default, to stay the user's.
    bool inFile = false;
    const bool filed = m_iterationsSet && list.m_writing;
    list.AddIntegerRow("iterations", &m_maxIterations, 1, kMaxIterations, filed ? "" : "1000", &inFile);
    if (list.m_loading)
        m_iterationsSet = inFile;
    // Only a read may write: the parameters window lists the rows while a
    // build reads them. The build clamps an edited value for itself.
    if (list.m_loading)
        m_maxIterations = std::clamp(m_maxIterations, 1, kMaxIterations);
    m_colorMap.ListColoringRows(list, true);
    // A loaded Julia set keeps the constant and the view it was saved with,
    // rather than taking them from the centre as a type switch would.
    if (list.m_loading)
        m_builtType = m_type;
    return list.m_level;
}

// The build of the Appolony set: a depth-first walk over the gaps of the
// packing with an explicit stack, summing the field of every circle
// (FieldSum keeps each cell's terms in the walk's order on every core).

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/FieldSum.h"
#include "model/appolony/AppolonySet.h"

namespace {

struct GapFrame {
    int box[4]; // first column, end column, first row, end row
    double measure;
    Circle newest;
    const Circle* other[2];
    int count; // children still to make
};

// Truncates toward zero after keeping the value in int range, then clips.
int ClipIndex(double v, int lo, int hi)
{
    if (std::isnan(v))
        return lo;
    v = std::clamp(v, -2e9, 2e9);
    return std::clamp(int(v), lo, hi);
}

} // namespace

void CAppolonySet::Build(CCanvas& canvas)
{
    // m_stop is cleared by whoever starts the build (see CFractal_Doc::OnBuild).
    m_deepestLevel = 0;
    m_childCount = 0;
    // A band's rows lie where the whole image has them: the view, the
    // walk and its boxes are the whole image's.
    const unsigned w = canvas.m_targetWidth, rows = canvas.m_targetHeight, h = canvas.FullHeight();
    const int first = int(canvas.m_bandFirst), end = first + int(rows);
    CColorMap& map = m_colorMap;
    if (rows != h)
        map.ReshapeGrid(int(w), int(rows));
    else
        map.AllocateGrid(int(w), int(rows));
    const double d = 2 * m_halfSize / std::max(1u, std::min(w, h));
    map.m_pixelSize = d;
    map.m_centerX = m_centerX;
    map.m_centerY = m_centerY;
    const double x0 = m_centerX - int(w / 2) * d;
    const double y0 = m_centerY - int(h / 2) * d;
    ForEachRange(int(rows), 16, [&](int begin, int last) {
        for (int r = begin; r < last; ++r) {
            PixelRecord* row = map.m_gridRows[size_t(r)];
            for (unsigned c = 0; c < w; ++c) {
                row[c].nx = row[c].ny = row[c].nz = 0;
                row[c].value = 0;
            }
        }
    });
    // A view of zero, negative or non-finite size would divide by zero in
    // the boxes and send NaN into the cells.
    if (!(std::isfinite(d) && d > 0 && std::isfinite(x0) && std::isfinite(y0))) {
        for (PixelRecord& cell : map.m_grid)
            cell.value = float(CColorMap::kBackgroundValue);
        Refuse(canvas, "The view is not finite");
        return;
    }
    if (w == 0 || rows == 0)
        return;
    const double precision = ClampPrecision(m_precision);
    const int depth = std::clamp(m_stackDepth, 0, kMaxDepth);

    std::vector<GapFrame> stack(kStackFrames);
    GapFrame& root = stack[0];
    root.box[0] = 0;
    root.box[1] = int(w);
    root.box[2] = 0;
    root.box[3] = int(h);
    root.measure = 1.0;
    root.newest = kAppolonyStart[2];
    root.other[0] = &kAppolonyStart[0];
    root.other[1] = &kAppolonyStart[1];
    root.count = 3;
    if (m_stop)
        return;

    FieldSum field(map, x0, y0, d, false, m_stop, first);
    const double before = canvas.m_bandRowsBefore;
    int top = 0;
    while (top >= 0) {
        GapFrame& frame = stack[size_t(top)];
        if (frame.count == 0) {
            --top;
            continue;
        }
        --frame.count;
        const int index = 2 - frame.count;
        if (top <= 6) {
            double sum = 0, weight = 1.0 / 3;
            for (int k = 0; k <= top; ++k, weight /= 3)
                sum += (2 - stack[size_t(k)].count) * weight;
            m_progress = 100 * (before + sum * rows) / h;
        }
        ++m_childCount;
        const Circle* p = frame.other[0];
        const Circle* q = frame.other[1];
        Circle circle;
        if (!TangentCircle(*p, *q, frame.newest, circle)) {
            if (m_stop) {
                field.Finish();
                return;
            }
            continue;
        }
        const double mu = frame.measure / 3;
        const double X = circle.x, Y = circle.y;
        const double s = 2 * circle.r * precision;
        const int* box = frame.box;
        int c0 = 0, c1 = 0, r0 = 0, r1 = 0;
        if (!(s >= d)) {
            // Smaller than a pixel: marked, not descended.
            const int c = box[1] > 0 ? box[1] - 1 : 0, r = box[3] > 0 ? box[3] - 1 : 0;
            if (r >= first && r < end)
                map.Cell(r - first, c)->value = float(CColorMap::kBackgroundValue);
        } else {
            c0 = ClipIndex((-X - x0 - s) / d + 0.5, box[0], box[1]);
            c1 = ClipIndex((s - X - x0) / d + 0.5, box[0], box[1]);
            r0 = ClipIndex((-Y - y0 - s) / d + 0.5, box[2], box[3]);
            r1 = ClipIndex((s - Y - y0) / d + 0.5, box[2], box[3]);
        }
        // A child too deep for the stack still leaves its box out: neither
        // its field nor its children's reach those cells.
        const bool hasBox = c0 < c1 && r0 < r1;
        // Below a circle whose box misses the band, every field and mark
        // lies in that box.
        const bool descend = hasBox && top < depth && r0 < end && r1 > first;

        const FieldMass mass{{box[0], box[1], box[2], box[3]}, {c0, c1, r0, r1}, X, Y, mu, 0.0};
        if (!field.Add(mass))
            return;

        if (descend) {
            GapFrame& child = stack[size_t(top + 1)];
            child.box[0] = c0;
            child.box[1] = c1;
            child.box[2] = r0;
            child.box[3] = r1;
            child.measure = mu;
            child.newest = circle;
            child.other[0] = index == 2 ? p : &frame.newest;
            child.other[1] = index == 0 ? p : q;
            child.count = 3;
            ++top;
            m_deepestLevel = std::max(m_deepestLevel, top);
        }
        if (m_stop) {
            field.Finish();
            return;
        }
    }
    field.Finish();
}

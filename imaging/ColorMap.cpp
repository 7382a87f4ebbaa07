#include "imaging/ColorMap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "imaging/kernels/AngleKernel.h"
#include "rows/PropertyList.h"

const char* const kBackgroundNames[2] = {"Black", "White"};
const char* const kColoringNames[kColoringCount] = {"Angle", "Angle through a gradient", "Smooth count", "Bands",
                                                    "Distance"};

CColorMap::CColorMap()
{
    std::memset(m_lights, 0, sizeof m_lights);
    std::memset(m_attachment, 0, sizeof m_attachment);
    std::memset(m_lightType, 0, sizeof m_lightType);
    // The three default lights: a strong cyan one up to the right, a red one
    // and a faint blue one at the origin, all fixed to the observer.
    m_lights[0].x = 2;
    m_lights[0].y = 0;
    m_lights[0].z = -4;
    m_lights[0].green = 1;
    m_lights[0].blue = 1;
    m_lights[0].luminescence = 3;
    m_lights[1].x = 1;
    m_lights[1].y = -2;
    m_lights[1].z = -2;
    m_lights[1].red = 1;
    m_lights[1].luminescence = 1;
    m_lights[2].blue = 1;
    m_lights[2].luminescence = 0.02;
    for (int i = 0; i < 3; ++i)
        m_attachment[i] = 1;
}

void CColorMap::AllocateGrid(int width, int height)
{
    m_aheadCanvas = nullptr;
    if (width < 0)
        width = 0;
    if (height < 0)
        height = 0;
    if (width == m_allocatedWidth && height == m_allocatedHeight && !m_grid.empty()) {
        if (width != m_gridWidth || height != m_gridHeight)
            PointRows(width, height);
        return;
    }
    m_grid.Release();
    m_gridRows.clear();
    m_gridRows.shrink_to_fit();
    m_gridWidth = m_gridHeight = 0;
    m_allocatedWidth = m_allocatedHeight = 0;
    // A grid that cannot be had leaves an empty one, which every painter
    // and builder takes as it is, and tells the caller.
    const size_t cells = size_t(width) * size_t(height);
    if (height != 0 && cells / size_t(height) != size_t(width))
        throw std::bad_alloc();
    try {
        m_grid.Allocate(cells);
        m_gridRows.resize(size_t(height));
    } catch (const std::bad_alloc&) {
        m_grid.Release();
        m_gridRows = {};
        throw;
    }
    m_allocatedWidth = width;
    m_allocatedHeight = height;
    PointRows(width, height);
}

void CColorMap::ReshapeGrid(int width, int height)
{
    m_aheadCanvas = nullptr;
    const size_t cells = size_t(std::max(width, 0)) * size_t(std::max(height, 0));
    if (m_grid.empty() || cells > m_grid.size()) {
        AllocateGrid(width, height);
        return;
    }
    PointRows(width, height);
}

void CColorMap::PointRows(int width, int height)
{
    m_gridRows.resize(size_t(height));
    m_gridWidth = width;
    m_gridHeight = height;
    for (int i = 0; i < height; ++i)
        m_gridRows[size_t(i)] = m_grid.data() + size_t(i) * size_t(width);
}

void CColorMap::ResetGrid(float value)
{
    m_aheadCanvas = nullptr;
    // Spread over the cores: on a fresh grid this is the first touch of
    // every page, and the faults cost more than the writes.
    ForEachRange(m_gridHeight, 16, [&](int begin, int end) {
        for (int i = begin; i < end; ++i)
            ResetCells(i, 0, m_gridWidth, value);
    });
}

void CColorMap::ResetCells(int row, int begin, int end, float value)
{
    PixelRecord* const cells = m_gridRows[size_t(row)];
    for (int j = begin; j < end; ++j) {
        PixelRecord& r = cells[j];
        r.z = value;
        r.nx = r.ny = r.nz = 0;
        r.value = 0;
    }
}

void CColorMap::Draw(CCanvas& canvas) const
{
    canvas.SetStatus("Drawing...");
    // Rows painted ahead serve one Draw at most, whichever colouring it paints.
    const bool taken = EffectiveColoring() == kColoringAngle && TakeRowsAhead(canvas);
    m_aheadCanvas = nullptr;
    if (taken)
        return;
    canvas.Resize(unsigned(m_gridWidth), unsigned(m_gridHeight), 24);
    if (EffectiveColoring() != kColoringAngle) {
        DrawThroughGradient(canvas);
        if (m_gridHeight > 0)
            canvas.m_cursor = canvas.Row(unsigned(m_gridHeight - 1)) + size_t(m_gridWidth) * 3;
        return;
    }
    const uint8_t back = m_background == 1 ? 255 : 0;
    const AnglePlan plan = MakeAnglePlan(m_red, m_green, m_blue, m_redShift, m_greenShift, m_blueShift);
    const KernelIsa isa = PlainPath() ? KernelIsa::kScalar : ChosenKernelIsa();
    // Rows are spread over the cores; each writes only its own pixels.
    ForEachRange(m_gridHeight, 8, [&](int begin, int end) {
        for (int i = begin; i < end; ++i)
            PaintAngleRow(isa, plan, m_gridRows[size_t(i)], m_gridWidth, back, canvas.Row(unsigned(i)));
    });
    if (m_gridHeight > 0)
        canvas.m_cursor = canvas.Row(unsigned(m_gridHeight - 1)) + size_t(m_gridWidth) * 3;
}

bool CColorMap::BeginRowsAhead(CCanvas& canvas)
{
    m_aheadCanvas = nullptr;
    // The plain path keeps its one pass after the build, the twin the
    // painted-ahead rows are proven against.
    if (!canvas.m_paintWhileBuilding || PlainPath() || EffectiveColoring() != kColoringAngle || m_gridWidth <= 0 ||
        m_gridHeight <= 0)
        return false;
    canvas.ResizeBack(unsigned(m_gridWidth), unsigned(m_gridHeight));
    m_ahead.back = m_background == 1 ? 255 : 0;
    m_ahead.plan = MakeAnglePlan(m_red, m_green, m_blue, m_redShift, m_greenShift, m_blueShift);
    m_ahead.isa = ChosenKernelIsa();
    const double colors[6] = {m_red, m_green, m_blue, m_redShift, m_greenShift, m_blueShift};
    std::copy(colors, colors + 6, m_ahead.colors);
    return true;
}

void CColorMap::PaintRowsAhead(CCanvas& canvas, int begin, int end) const
{
    for (int i = begin; i < end; ++i)
        PaintAngleRow(m_ahead.isa, m_ahead.plan, m_gridRows[size_t(i)], m_gridWidth, m_ahead.back,
                      canvas.BackRow(unsigned(i)));
}

void CColorMap::EndRowsAhead(const CCanvas& canvas) { m_aheadCanvas = &canvas; }

bool CColorMap::TakeRowsAhead(CCanvas& canvas) const
{
    const bool offered = m_aheadCanvas == &canvas;
    m_aheadCanvas = nullptr;
    // Only rows Draw would paint the same: the same colours, set and size.
    const double colors[6] = {m_red, m_green, m_blue, m_redShift, m_greenShift, m_blueShift};
    if (!offered || !std::equal(colors, colors + 6, m_ahead.colors) ||
        m_ahead.back != (m_background == 1 ? 255 : 0) || PlainPath() || m_ahead.isa != ChosenKernelIsa() ||
        !canvas.BackHolds(unsigned(m_gridWidth), unsigned(m_gridHeight)))
        return false;
    canvas.TakeBack();
    return true;
}

void CColorMap::ListColorRows(PropertyList& list)
{
    list.AddRow("Red", &m_red, kRowDouble);
    list.AddRow("Green", &m_green, kRowDouble);
    list.AddRow("Blue", &m_blue, kRowDouble);
    list.AddRow("Red   Shift", &m_redShift, kRowDouble);
    list.AddRow("Green Shift", &m_greenShift, kRowDouble);
    list.AddRow("Blue  Shift", &m_blueShift, kRowDouble);
    list.AddRow("Background", &m_background, 2, kBackgroundNames);
}

void CColorMap::ListLightingRows(PropertyList& list)
{
    list.AddRow("Surface Red", &m_red, kRowDouble);
    list.AddRow("Surface Green", &m_green, kRowDouble);
    list.AddRow("Surface Blue", &m_blue, kRowDouble);
    list.AddRow("Ambient Red", &AmbientRed(), kRowDouble);
    list.AddRow("Ambient Green", &AmbientGreen(), kRowDouble);
    list.AddRow("Ambient Blue", &AmbientBlue(), kRowDouble);
    list.AddRow("Ambient coefficient", &m_ambient, kRowDouble);
    list.AddRow("Diffuse coefficient", &m_diffuse, kRowDouble);
    list.AddRow("Specular coefficient", &m_specular, kRowDouble);
    list.AddRow("Shininess", &m_shininess, kRowDouble);
    list.AddRow("Background", &m_background, 2, kBackgroundNames);
}

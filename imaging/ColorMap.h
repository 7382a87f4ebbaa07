#pragma once
// The grid of per-pixel results that a build fills, and the painters and
// colour parameters that turn it into the canvas's pixels.

#include "imaging/CellGrid.h"
#include "imaging/Colorings.h"
#include "imaging/Gradient.h"
#include "imaging/kernels/AngleKernel.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CCanvas;
class PropertyList;

// How a plane kind's cells become colours. kAngle is the direction of the
// cell's vector through three cosines, as every document drew before the
// choice existed; the others go through the document's gradient.
enum Coloring : int32_t {
    kColoringAngle,
    kColoringAngleGradient,
    kColoringSmooth,
    kColoringBands,
    kColoringDistance,
    kColoringCount
};
// The names of the "coloring" enumeration, in that order.
extern const char* const kColoringNames[kColoringCount];

struct Light {
    double x, y, z;
    double red, green, blue;
    double luminescence;
    double dirX, dirY, dirZ;
    double cone;
    double endCone;
    double beam;
};
static_assert(sizeof(Light) == 13 * sizeof(double));

class CColorMap {
public:
    static constexpr int kMaxLights = 20;
    // Cells at or above this value are painted in the background colour.
    static constexpr double kBackgroundValue = 1e10;

    CColorMap();
    virtual ~CColorMap() = default;

    // Keeps the grid and its contents when the size is unchanged (the size
    // it was allocated at, whatever ReshapeGrid made of it since). Throws
    // std::bad_alloc when the grid cannot be had, leaving it empty (0 x 0).
    void AllocateGrid(int width, int height);
    // The grid as width x height over the cells it holds, when they are
    // enough, with whatever they hold; else as AllocateGrid. A builder of
    // scattered pieces lays them out here without a fresh allocation.
    void ReshapeGrid(int width, int height);
    void ResetGrid(float value);
    // ResetGrid's values in cells [begin, end) of one row.
    void ResetCells(int row, int begin, int end, float value);
    // The two-dimensional painter ("Drawing..."). Rows painted ahead for
    // these very cells and colours are taken as they are.
    void Draw(CCanvas& canvas) const;
    // Painting while building. A builder may paint each row right after
    // building it, while its cells are still in cache, when the canvas
    // asks (m_paintWhileBuilding) and the colouring paints a row from its
    // own cells alone (the angle's): BeginRowsAhead says whether, after the
    // grid has its size, and readies the canvas's back buffer;
    // PaintRowsAhead paints rows [begin, end) there, from any thread;
    // EndRowsAhead, once every row has been built and painted, offers them
    // to the next Draw of that canvas. A grid allocated, reshaped or reset
    // meanwhile withdraws them.
    bool BeginRowsAhead(CCanvas& canvas);
    void PaintRowsAhead(CCanvas& canvas, int begin, int end) const;
    void EndRowsAhead(const CCanvas& canvas);
    // The lit painter of three-dimensional cells ("Rendering..."). The
    // angles are the fractal's view rotation, which turns the lights
    // attached to the object.
    void Render(CCanvas& canvas, double polar, double axial, double angle) const;
    void ListColorRows(PropertyList& list);
    // The rows of the gradient colourings, optional, after all others. An
    // escape-time kind offers the colourings of counts and distance too.
    void ListColoringRows(PropertyList& list, bool escapeTime);
    // Whether a row's value is one of those rows': an edit repaints.
    bool IsColoringValue(const void* value) const;
    // The colouring chosen needs what only a build puts in the cells.
    bool ColoringNeedsBuild() const;
    // The colouring Draw paints: the chosen one, or the nearest the cells
    // can give.
    int EffectiveColoring() const;
    void ListLightingRows(PropertyList& list);

    PixelRecord* Cell(int row, int column) { return m_gridRows[size_t(row)] + column; }
    const PixelRecord* Cell(int row, int column) const { return m_gridRows[size_t(row)] + column; }

    int32_t m_lightCount = 3;
    Light m_lights[kMaxLights];
    int32_t m_attachment[kMaxLights]; // 0 object, 1 observer
    int32_t m_lightType[kMaxLights];  // 0 point light, 1 spot light
    int32_t m_background = 0;         // 0 black, 1 white
    double m_red = 1.0, m_green = 1.0, m_blue = 1.0;
    // The plane colouring's phase of each channel. A solid set lights its
    // surface with an ambient colour held in the same three numbers (the
    // Ambient accessors), so a switch between plane and solid keeps them.
    double m_redShift = 1.0, m_greenShift = 1.0, m_blueShift = 1.0;
    double& AmbientRed() { return m_redShift; }
    double& AmbientGreen() { return m_greenShift; }
    double& AmbientBlue() { return m_blueShift; }
    double AmbientRed() const { return m_redShift; }
    double AmbientGreen() const { return m_greenShift; }
    double AmbientBlue() const { return m_blueShift; }
    double m_ambient = 0.1;
    double m_diffuse = 0.7;
    double m_specular = 3.0;
    double m_shininess = 100.0;
    double m_observerX = 0, m_observerY = 0, m_observerZ = -2;
    // The plane colourings beyond the angle's. The gradient is read from
    // t = offset + repetitions * (the colouring's value), wrapped into 0..1.
    int32_t m_coloring = kColoringAngle;
    Gradient m_gradient = DefaultColoringGradient();
    double m_gradientOffset = 0;
    double m_gradientRepetitions = 1;
    // "#rrggbb" for points inside the set in the gradient colourings; empty
    // gives the "Background" row's colour.
    std::string m_insideColor;
    int32_t m_gridWidth = 0, m_gridHeight = 0;
    double m_pixelSize = 0;
    double m_centerX = 0, m_centerY = 0;
    // Set by an escape-time builder: its escape radius (0: the cells hold
    // no escape counts) and whether the cells hold the distance estimate
    // in pixels (`step`). The count is in `state`, 0 for inside points.
    double m_escapeRadius = 0;
    bool m_cellsHaveDistance = false;
    // The cells, row after row in one block.
    CellGrid m_grid;
    std::vector<PixelRecord*> m_gridRows;

private:
    void PointRows(int width, int height);
    // What rows painted ahead were painted with; `canvas` is set only
    // while they await the Draw that takes them.
    struct RowsAhead {
        AnglePlan plan;
        KernelIsa isa = KernelIsa::kScalar;
        uint8_t back = 0;
        double colors[6] = {};
    };
    RowsAhead m_ahead;
    mutable const CCanvas* m_aheadCanvas = nullptr;
    bool TakeRowsAhead(CCanvas& canvas) const;
    int32_t m_allocatedWidth = 0, m_allocatedHeight = 0;
    void DrawThroughGradient(CCanvas& canvas) const;
};

// The names of the "Background" enumeration.
extern const char* const kBackgroundNames[2];

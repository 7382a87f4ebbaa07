#pragma once
// The attractor of up to 25 affine maps: a direction field in the plane, or
// a ray-marched, lit surface in space.

#include <atomic>
#include <cstdint>
#include <iosfwd>

#include "imaging/AffineMap.h"
#include "model/Fractal.h"
#include "model/FractalKinds.h"

class CSelfAffineSet : public CFractal {
public:
    static constexpr int kMaxStack = 1001; // the root and 1000 levels

    CSelfAffineSet();

    void Build(CCanvas& canvas) override;
    int Draw(CCanvas& canvas) override;
    bool ValueChanged(int index, PropertyItem& row) override;
    // Every cell of the field and of the march is the image's own, placed
    // by its row in the whole image; a band marches afresh.
    bool BuildsInBands(unsigned width, unsigned height) const override { return width > 0 && height > 0; }
    bool ContinuesCells() const override { return m_threeD == 1 && !m_restart && !m_colorMap.m_grid.empty(); }
    uint64_t MemoryNeed(unsigned width, unsigned height) override;
    int FillProperties(PropertyList& list) override;
    int PassCount() override;
    std::vector<int> RowLayout() const override { return {m_threeD, m_maps.count, m_colorMap.m_lightCount}; }
    bool PeekTextRows(std::istream& rows) override;
    bool HasDepth() const override { return m_threeD == 1; }
    bool TurnBy(double degrees) override;

    // Whether the text rows of a document file (the lines after "Fractal
    // Type") were written by a 3-D set: only the 3-D list has a row after
    // "Number of maps" in the "Main" group.
    static bool TextRowsAreThreeD(std::istream& rows);

    // Keeps the map and light counts within their arrays.
    void ClampCounts();

    double m_dimension = 0;
    double m_power = 2.0;
    double m_piecePrecision = 1.2;
    double m_levelValue = 6.0;
    double m_polarAngle = 0, m_axialAngle = 0, m_rotationAngle = 0;
    int32_t m_iterations = 10;
    int32_t m_threeD = 1;
    MapSet m_work;
    MapSet m_maps;

    // A cell waiting for the last evaluation of the march. A march ends
    // its passes at a stop and leaves its cells in this state, looking like
    // misses: Draw (Paint) finishes them first, Continue marches them on.
    static constexpr int32_t kAwaitingNormal = 2;

    // The two builds, on the prepared working maps.
    void FieldBuild(CCanvas& canvas, double d);
    void RayMarch(CCanvas& canvas, double d);
    // The evaluation step of the ray march: `reach` 1 marks the live cells
    // whose next step reaches the set, 0 gives the cells awaiting it their
    // hit or miss and normal. False when a stop ended it.
    bool Evaluate(int reach);
    // Finishes the last evaluation of a stopped march, if one is left;
    // false when a stop ends it first (the cells not reached still wait).
    bool FinishLastEvaluation(CCanvas& canvas);
    // The last evaluation as a pass of its own, named on the status.
    bool LastEvaluation(CCanvas& canvas);

    // What the march evaluates in, taken when it starts, so that a stopped
    // march is finished as it began whatever is edited meanwhile.
    struct MarchView {
        double d = 0, x0 = 0, y0 = 0, z = 0;
        // The image's row of the grid's first (a band's, CCanvas::m_bandFirst).
        int firstRow = 0;
        double eyeX = 0, eyeY = 0, eyeZ = 0;
        double precision = 1.2, power = 2.0;
    };
    MarchView m_marchView;
    MapSet m_marchMaps;
    // Pieces of the tree the march's evaluations visited since it began:
    // the work of the walk, whatever the machine.
    std::atomic<uint64_t> m_piecesVisited{0};
};

// The kind's row in FractalKinds.
extern const FractalKind kSelfAffineKind;

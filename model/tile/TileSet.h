#pragma once
// The self-affine lattice tile of an integer matrix with a digit set.

#include <cstdint>
#include <vector>

#include "model/Fractal.h"
#include "model/FractalKinds.h"
#include "model/tile/TileNormalForm.h"

constexpr int kMaxTileDigits = 100;
constexpr int kMinTileDeep = 1;
constexpr int kMaxTileDeep = 99;

struct TilePoint {
    int64_t x = 0, y = 0;
    bool operator==(const TilePoint&) const = default;
};

// One lattice point of each residue class of Z^2 modulo A, the origin's
// class first, each moved to its shortest representative near the origin.
std::vector<TilePoint> CanonicalResidues(const TileMatrix& A);

// The symmetry group in the order the digits' indices refer to.
std::vector<TileMatrix> SymmetryGroup(const TileNormalForm& form);

class CTileSet : public CFractal {
public:
    CTileSet();

    void Build(CCanvas& canvas) override;
    int Draw(CCanvas& canvas) override;
    bool ValueChanged(int index, PropertyItem& row) override;
    void Click(int x, int y, ClickButton button) override;
    uint64_t MemoryNeed(unsigned width, unsigned height) override;
    int FillProperties(PropertyList& list) override;
    int PassCount() override;
    std::vector<int> RowLayout() const override { return {DigitCount()}; }

    // Digits the rows and the drawing use: |determinant|, at most 100.
    int DigitCount() const;

    int32_t m_determinant = 3;
    int32_t m_track = 3;
    int32_t m_digitX[kMaxTileDigits] = {};
    int32_t m_digitY[kMaxTileDigits] = {};
    int32_t m_digitSymmetry[kMaxTileDigits] = {};
    int32_t m_deep = 10;
    bool m_grid = true;
    // The pending click, set on the interface thread and taken by Draw.
    std::atomic<int32_t> m_clickX{-1};
    std::atomic<int32_t> m_clickY{0};
    std::atomic<bool> m_clickRight{false};

    // Points the last Draw wrote or skipped as off-screen (for measuring).
    uint64_t m_pointsVisited = 0;

private:
    void ClampLimits();
};

// The kind's row in FractalKinds.
extern const FractalKind kTileKind;

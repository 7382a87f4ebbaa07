#pragma once
// The normal form of an expanding 2x2 integer matrix given by its
// determinant and trace, with the symmetry group its tile may use.

#include <cstdint>

// [[a, b], [c, e]] acting on column vectors.
struct TileMatrix {
    int a = 1, b = 0, c = 0, e = 1;
    bool operator==(const TileMatrix&) const = default;
};

TileMatrix Multiply(const TileMatrix& l, const TileMatrix& r);
inline int Determinant(const TileMatrix& m) { return m.a * m.e - m.b * m.c; }
inline TileMatrix Adjugate(const TileMatrix& m) { return {m.e, -m.b, -m.c, m.a}; }

struct TileNormalForm {
    TileMatrix A;
    TileMatrix rot{-1, 0, 0, -1};
    TileMatrix ref;
    // 0 no tile; |code| is the order of rot; negative when ref is in the group.
    int code = 0;
};

// Never fails on any input: out-of-range values simply give code 0.
TileNormalForm NormalForm(int determinant, int trace);

// The tile chart: 40 columns x 20 rows. Column 0..19 is determinant -row
// with trace 19 - column; 20..39 determinant row with trace column - 20.
constexpr int kTileChartColumns = 40;
constexpr int kTileChartRows = 20;
void TileChartSquare(int column, int row, int& determinant, int& trace);
// The square's colour as 0x00RRGGBB, chosen by the normal form's code.
uint32_t TileChartColor(int determinant, int trace);

#include "model/tile/TileSet.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

const FractalKind kTileKind{CFractal::kTile,
                            kTypeTile,
                            "Tile Set",
                            [] { return std::unique_ptr<CFractal>(std::make_unique<CTileSet>()); },
                            {.clicks = true, .tileChart = true}};

CTileSet::CTileSet()
{
    m_name = "Tile";
    m_kind = kTile;
}

int CTileSet::DigitCount() const
{
    const long long n = std::llabs((long long)m_determinant);
    return int(std::min<long long>(n, kMaxTileDigits));
}

void CTileSet::ClampLimits()
{
    // Draw clamps too, on the build's thread, while the parameters window
    // may list the rows: a value already in range is only read.
    const int32_t determinant = std::clamp<int32_t>(m_determinant, -kMaxTileDigits, kMaxTileDigits);
    const int32_t deep = std::clamp<int32_t>(m_deep, kMinTileDeep, kMaxTileDeep);
    if (determinant != m_determinant)
        m_determinant = determinant;
    if (deep != m_deep)
        m_deep = deep;
}

// The tile set builds nothing ahead: Draw walks and paints it.
void CTileSet::Build(CCanvas&) {}

bool CTileSet::ValueChanged(int, PropertyItem& row)
{
    if (row.value == &m_determinant || row.value == &m_track) {
        ClampLimits();
        const int n = DigitCount();
        for (int k = 0; k < n; ++k)
            m_digitX[k] = m_digitY[k] = m_digitSymmetry[k] = 0;
        return true;
    }
    if (row.value == &m_deep) {
        const int32_t before = m_deep;
        ClampLimits();
        return m_deep != before; // show the clamped value
    }
    return false;
}

void CTileSet::Click(int x, int y, ClickButton button)
{
    // x last: Draw takes a click when it sees m_clickX set.
    m_clickY = y;
    m_clickRight = button == ClickButton::kRight;
    m_clickX = x;
}

uint64_t CTileSet::MemoryNeed(unsigned, unsigned) { return 0; }

int CTileSet::PassCount() { return m_determinant; }

namespace {

const char* DigitLabel(char axis, int k)
{
    static const auto labels = [] {
        std::array<std::array<std::string, kMaxTileDigits>, 3> t;
        for (int i = 0; i < kMaxTileDigits; ++i) {
            t[0][size_t(i)] = std::string(1, 'x').append(std::to_string(i));
            t[1][size_t(i)] = std::string(1, 'y').append(std::to_string(i));
            t[2][size_t(i)] = std::string(1, 's').append(std::to_string(i));
        }
        return t;
    }();
    const size_t a = axis == 'x' ? 0 : axis == 'y' ? 1 : 2;
    return labels[a][size_t(k)].c_str();
}

const char* const kYesNo[2] = {"yes", "no"};

} // namespace

int CTileSet::FillProperties(PropertyList& list)
{
    list.AddRow("Name", &m_name, kRowString);
    list.AddRow("Determinant", &m_determinant, kRowInteger);
    // A loaded determinant decides how many digit rows follow.
    if (list.m_loading)
        ClampLimits();
    list.AddRow("Track", &m_track, kRowInteger);
    list.AddRow("Deep", &m_deep, kRowInteger);
    if (list.m_loading)
        ClampLimits();
    list.AddRow("Grid", &m_grid, kRowBoolean, kYesNo);
    list.BeginGroup("Maps");
    // A negative determinant draws |d| digits, so it lists that many rows.
    const int n = DigitCount();
    for (int k = 0; k < n; ++k) {
        list.AddRow(DigitLabel('x', k), &m_digitX[k], kRowInteger);
        list.AddRow(DigitLabel('y', k), &m_digitY[k], kRowInteger);
        list.AddRow(DigitLabel('s', k), &m_digitSymmetry[k], kRowInteger);
    }
    list.EndGroup();
    return list.m_level;
}

#include "imaging/Colorings.h"

#include <cmath>
#include <numbers>

#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "imaging/Parallel.h"
#include "rows/PropertyList.h"

const Gradient& DefaultColoringGradient()
{
    static const Gradient classic({{0.0, {0, 7, 100}},
                                   {0.16, {32, 107, 203}},
                                   {0.42, {237, 255, 255}},
                                   {0.6425, {255, 170, 0}},
                                   {0.8575, {0, 2, 0}},
                                   {1.0, {0, 7, 100}}});
    return classic;
}

double SmoothCount(int32_t count, double norm, double radius)
{
    const double logRadius2 = std::log(radius * radius);
    if (!(logRadius2 > 0) || !(norm > 1))
        return count;
    // log|z| / log R as the logs of the squares; never below 1 for an
    // escaped point but for the rounding of the stored float.
    const double ratio = std::log(norm) / logRadius2;
    return count + 1 - std::log2(ratio > 1 ? ratio : 1.0);
}

GradientTable::GradientTable(const Gradient& gradient)
{
    for (int i = 0; i < kSteps; ++i)
        m_colors[size_t(i)] = gradient.At((i + 0.5) / kSteps);
}

const Rgb& GradientTable::At(double t) const
{
    t -= std::floor(t);
    int i = std::isfinite(t) ? int(t * kSteps) : 0;
    if (i < 0)
        i = 0;
    if (i >= kSteps)
        i = kSteps - 1;
    return m_colors[size_t(i)];
}

bool ParseColorText(std::string_view text, Rgb& color)
{
    // A gradient of one stop reads the colour as a stop's colour.
    Gradient one;
    if (text.find(';') != std::string_view::npos || !one.SetText("0 " + std::string(text)))
        return false;
    color = one.Stops().front().color;
    return true;
}

namespace {

// The value a gradient colouring takes from an outside cell; the painter
// reads the gradient at offset + repetitions * value.
double ColoringValue(int coloring, const PixelRecord& cell, double radius)
{
    switch (coloring) {
    case kColoringSmooth: return SmoothCount(cell.state, double(cell.value), radius) / kCountCycle;
    case kColoringBands: return cell.state / kCountCycle;
    case kColoringDistance: {
        const double d = cell.step > 0 ? double(cell.step) : 0;
        return d / (d + kDistanceHalf);
    }
    default: return (std::atan2(double(cell.ny), double(cell.nx)) + std::numbers::pi) / (2 * std::numbers::pi);
    }
}

std::string GradientText(const void* value) { return static_cast<const Gradient*>(value)->Text(); }

ParseResult ParseGradient(void* value, std::string_view text)
{
    std::string why;
    if (static_cast<Gradient*>(value)->SetText(text, &why))
        return {};
    return {ParseResult::kRefused, "is not a gradient: " + why};
}

std::string InsideText(const void* value) { return *static_cast<const std::string*>(value); }

ParseResult ParseInside(void* value, std::string_view text)
{
    Rgb color;
    if (!text.empty() && !ParseColorText(text, color))
        return {ParseResult::kRefused, "is not a colour written #rrggbb, nor empty for the background's"};
    *static_cast<std::string*>(value) = std::string(text);
    return {};
}

const TextCodec kGradientCodec{GradientText, ParseGradient};
const TextCodec kInsideCodec{InsideText, ParseInside};

// Names of the colourings that need no escape count.
constexpr int kFieldColorings = 2;

} // namespace

int CColorMap::EffectiveColoring() const
{
    if (m_coloring < 0 || m_coloring >= kColoringCount)
        return kColoringAngle;
    // Cells without counts take the angle through the gradient; without
    // the derivative, Distance shows the smooth count until a build.
    if (m_coloring >= kFieldColorings && !(m_escapeRadius > 0))
        return kColoringAngleGradient;
    if (m_coloring == kColoringDistance && !m_cellsHaveDistance)
        return kColoringSmooth;
    return m_coloring;
}

bool CColorMap::ColoringNeedsBuild() const
{
    // Every escape-time build can carry the derivative, at every depth.
    return m_coloring == kColoringDistance && m_escapeRadius > 0 && !m_cellsHaveDistance;
}

bool CColorMap::IsColoringValue(const void* value) const
{
    return value == &m_coloring || value == &m_gradient || value == &m_gradientOffset ||
           value == &m_gradientRepetitions || value == &m_insideColor;
}

void CColorMap::ListColoringRows(PropertyList& list, bool escapeTime)
{
    static const std::string defaultGradient = DefaultColoringGradient().Text();
    list.BeginShownGroup("Coloring");
    list.AddOptionalRow("coloring", &m_coloring, escapeTime ? kColoringCount : kFieldColorings,
                        kColoringNames[kColoringAngle], nullptr, kColoringNames);
    // A 1024-stop gradient with the longest positions fits.
    list.AddOptionalTextRow("gradient", &m_gradient, &kGradientCodec, defaultGradient.c_str(), 40000);
    list.AddOptionalRow("gradient offset", &m_gradientOffset, kRowDouble, "0");
    list.AddOptionalRow("gradient repetitions", &m_gradientRepetitions, kRowDouble, "1");
    list.AddOptionalTextRow("inside color", &m_insideColor, &kInsideCodec, "");
    list.EndGroup();
}

void CColorMap::DrawThroughGradient(CCanvas& canvas) const
{
    const int coloring = EffectiveColoring();
    const GradientTable table(m_gradient);
    Rgb inside;
    if (m_insideColor.empty() || !ParseColorText(m_insideColor, inside)) {
        const uint8_t back = m_background == 1 ? 255 : 0;
        inside = {back, back, back};
    }
    const float limit = float(kBackgroundValue);
    const double offset = m_gradientOffset, repetitions = m_gradientRepetitions, radius = m_escapeRadius;
    // Rows are spread over the cores; each writes only its own pixels, from
    // the one table, so the bytes do not depend on how rows are dealt.
    ForEachRange(m_gridHeight, 8, [&](int begin, int end) {
        for (int i = begin; i < end; ++i) {
            uint8_t* out = canvas.Row(unsigned(i));
            const PixelRecord* cell = m_gridRows[size_t(i)];
            for (int j = 0; j < m_gridWidth; ++j, ++cell, out += 3) {
                const Rgb& c = cell->value >= limit
                                   ? inside
                                   : table.At(offset + repetitions * ColoringValue(coloring, *cell, radius));
                out[0] = c.blue;
                out[1] = c.green;
                out[2] = c.red;
            }
        }
    });
}

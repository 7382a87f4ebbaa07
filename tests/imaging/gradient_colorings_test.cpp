// The gradient colourings' painter on cells set by hand: each colouring's
// value read through a black-to-white gradient, whose grey level is 255 t.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "imaging/Colorings.h"
#include "rows/PropertyList.h"

namespace {

// One row of cells, painted; the blue-green-red bytes of each.
struct Strip {
    CColorMap map;
    CCanvas canvas;

    explicit Strip(int n)
    {
        map.AllocateGrid(n, 1);
        map.ResetGrid(0);
        map.m_gradient = Gradient({{0, {0, 0, 0}}, {1, {255, 255, 255}}});
        map.m_escapeRadius = 100;
    }
    PixelRecord& operator[](int j) { return *map.Cell(0, j); }
    const uint8_t* Paint()
    {
        map.Draw(canvas);
        return canvas.Row(0);
    }
};

// The grey level t gives, give or take the table's step.
void ExpectGrey(const uint8_t* px, double t, const char* what)
{
    const double level = 255 * (t - std::floor(t));
    EXPECT_EQ(px[0], px[1]) << what;
    EXPECT_EQ(px[1], px[2]) << what;
    EXPECT_NEAR(px[0], level, 1.0) << what << " at t " << t;
}

TEST(GradientColorings, TheAngleRunsOnceRoundTheGradientFromMinusPi)
{
    Strip s(5);
    const double angles[5] = {-3.0, -1.5, 0.0, 1.5, 3.0};
    for (int j = 0; j < 5; ++j) {
        s[j].nx = float(std::cos(angles[j]));
        s[j].ny = float(std::sin(angles[j]));
        s[j].value = 5;
    }
    s.map.m_coloring = kColoringAngleGradient;
    const uint8_t* px = s.Paint();
    for (int j = 0; j < 5; ++j)
        ExpectGrey(px + 3 * j, (angles[j] + std::numbers::pi) / (2 * std::numbers::pi), "angle");
}

TEST(GradientColorings, OffsetAndRepetitionsMoveAndStretchTheCountsWrappedIntoOneCycle)
{
    Strip s(4);
    const int counts[4] = {1, 8, 16, 31};
    for (int j = 0; j < 4; ++j) {
        s[j].state = counts[j];
        s[j].value = 1e4f; // |z|^2 = R^2: the smooth count is the count + 1
    }
    for (double offset : {0.0, 0.3, -0.45})
        for (double repetitions : {1.0, 2.0, -0.5}) {
            s.map.m_gradientOffset = offset;
            s.map.m_gradientRepetitions = repetitions;
            s.map.m_coloring = kColoringBands;
            const uint8_t* px = s.Paint();
            for (int j = 0; j < 4; ++j)
                ExpectGrey(px + 3 * j, offset + repetitions * counts[j] / 32.0, "bands");
            s.map.m_coloring = kColoringSmooth;
            px = s.Paint();
            for (int j = 0; j < 4; ++j)
                ExpectGrey(px + 3 * j, offset + repetitions * (counts[j] + 1) / 32.0, "smooth");
        }
}

TEST(GradientColorings, DistanceDarkensTowardTheBoundary)
{
    Strip s(4);
    const float pixels[4] = {0, 0.5f, 2, 50};
    for (int j = 0; j < 4; ++j)
        s[j].step = pixels[j];
    s.map.m_cellsHaveDistance = true;
    s.map.m_coloring = kColoringDistance;
    const uint8_t* px = s.Paint();
    for (int j = 0; j < 4; ++j)
        ExpectGrey(px + 3 * j, pixels[j] / (pixels[j] + 2.0), "distance");
}

TEST(GradientColorings, InsidePointsTakeTheInsideColourOrTheBackground)
{
    Strip s(2);
    s[0].value = 1e10f;
    s[1].value = 5;
    s.map.m_coloring = kColoringSmooth;
    s.map.m_background = 1;
    EXPECT_EQ(s.Paint()[0], 255);
    s.map.m_insideColor = "#ff8000";
    const uint8_t* px = s.Paint();
    EXPECT_EQ(px[0], 0x00);
    EXPECT_EQ(px[1], 0x80);
    EXPECT_EQ(px[2], 0xff);
}

TEST(GradientColorings, CellsWithoutCountsTakeTheAngleThroughTheGradient)
{
    // A kind that keeps no escape count (no escape radius) offers only the
    // angle colourings; any other choice falls back to the gradient angle.
    Strip s(1);
    s[0].nx = 1;
    s.map.m_escapeRadius = 0;
    for (int coloring = kColoringAngleGradient; coloring < kColoringCount; ++coloring) {
        s.map.m_coloring = coloring;
        ExpectGrey(s.Paint(), 0.5, kColoringNames[coloring]);
    }
}

TEST(GradientColorings, TheTableWrapsEveryNumberIntoItsSteps)
{
    const GradientTable table(Gradient({{0, {0, 0, 0}}, {1, {255, 255, 255}}}));
    EXPECT_EQ(&table.At(0.25), &table.At(1.25));
    EXPECT_EQ(&table.At(0.25), &table.At(-0.75));
    EXPECT_EQ(&table.At(1e300), &table.At(0));
    EXPECT_EQ(&table.At(std::nan("")), &table.At(0));
    EXPECT_EQ(&table.At(INFINITY), &table.At(0));
    EXPECT_EQ(table.At(0.9999999999).red, 255);
    EXPECT_EQ(table.At(0).red, 0);
}

// The rows a colour map lists, kept.
struct Rows : PropertyList {
    std::vector<PropertyItem> rows;
    int InsertRow(PropertyItem& row) override
    {
        rows.push_back(row);
        return 0;
    }
    PropertyItem& Named(const std::string& label)
    {
        for (PropertyItem& r : rows)
            if (label == r.label)
                return r;
        ADD_FAILURE() << label;
        return rows.front();
    }
};

TEST(GradientColorings, ARefusedGradientKeepsItsValueAndAShortNote)
{
    CColorMap map;
    std::vector<GradientStop> stops;
    for (int i = 0; i < 256; ++i)
        stops.push_back({i / 255.0, {uint8_t(i), 0, 0}});
    map.m_gradient = Gradient(stops);
    const Gradient kept = map.m_gradient;
    Rows list;
    map.ListColoringRows(list, true);
    PropertyItem& row = list.Named("gradient");
    for (const char* bad : {"", "0.5", "0 #12345", "2 #000000", "0 #000000;;0.5 red"}) {
        const ParseResult r = ParseValue(row, bad);
        EXPECT_EQ(r.kind, ParseResult::kRefused) << bad;
        EXPECT_EQ(map.m_gradient, kept) << bad;
        const std::string note = ParseNoteText(row, bad, r);
        EXPECT_EQ(note.rfind("\"gradient\": ", 0), 0u) << note;
        EXPECT_LT(note.size(), 300u) << note;
    }
    EXPECT_EQ(ParseValue(row, "0 #ff0000; 1 #0000ff").kind, ParseResult::kTaken);
    EXPECT_EQ(map.m_gradient.Stops().size(), 2u);
    PropertyItem& inside = list.Named("inside color");
    EXPECT_EQ(ParseValue(inside, "#12345g").kind, ParseResult::kRefused);
    EXPECT_EQ(ParseValue(inside, "#a0b0c0").kind, ParseResult::kTaken);
    EXPECT_EQ(map.m_insideColor, "#a0b0c0");
    EXPECT_EQ(ParseValue(inside, "").kind, ParseResult::kTaken);
    EXPECT_EQ(map.m_insideColor, "");
}

} // namespace

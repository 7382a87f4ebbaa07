// The "iterations" row of the Mandelbrot and Julia sets: listed always,
// carried by a document file only when it is not 1000, read back whole,
// kept within 1 to 100000000, and used by the build.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "document/DocumentFiles.h"
#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "rows/PropertyList.h"

namespace {

std::string Text(CMandelbrotSet& m)
{
    std::ostringstream out(std::ios::binary);
    WriteDocumentFile(out, kTypeMandelbrot, m);
    return out.str();
}

LoadedDocument Read(const std::string& text)
{
    std::istringstream in(text);
    return ReadDocumentFile(in);
}

int IterationsOf(const LoadedDocument& doc) { return static_cast<const CMandelbrotSet&>(*doc.fractal).m_maxIterations; }

struct Labels : PropertyList {
    std::vector<std::string> labels;
    int InsertRow(PropertyItem& row) override
    {
        labels.emplace_back(row.label);
        return 0;
    }
};

TEST(IterationsRow, ListedLastButTheColoringsForBothKindsButFiledOnlyWhenNotTheDefault)
{
    for (const int type : {0, 1}) {
        CMandelbrotSet m;
        m.m_type = type;
        Labels rows;
        m.FillProperties(rows);
        // After it only the colouring rows, which a default file lacks too.
        const auto at = std::find(rows.labels.begin(), rows.labels.end(), "iterations");
        ASSERT_NE(at, rows.labels.end());
        ASSERT_NE(at + 1, rows.labels.end());
        EXPECT_EQ(*(at + 1), "Coloring") << type;
        EXPECT_EQ(Text(m).find("iterations"), std::string::npos) << "a default view's file keeps its bytes";

        m.m_maxIterations = 5000;
        const std::string text = Text(m);
        const std::string tail = "Background=Black\r\niterations=5000\r\n";
        ASSERT_GE(text.size(), tail.size());
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << type;
        const LoadedDocument doc = Read(text);
        ASSERT_TRUE(doc.fractal);
        EXPECT_FALSE(doc.truncated);
        EXPECT_EQ(IterationsOf(doc), 5000);
        EXPECT_EQ(static_cast<const CMandelbrotSet&>(*doc.fractal).m_type, type);
    }
}

TEST(IterationsRow, FilesWithoutItLoadAsBeforeAndCutFilesStillSaySo)
{
    CMandelbrotSet m;
    const std::string whole = Text(m);
    LoadedDocument doc = Read(whole);
    ASSERT_TRUE(doc.fractal);
    EXPECT_FALSE(doc.truncated) << "the row is not missing when the file never had it";
    EXPECT_EQ(IterationsOf(doc), 1000);

    // Cut before "Background": a short file, whose missing rows keep defaults.
    const std::string cut = whole.substr(0, whole.find("Background="));
    doc = Read(cut);
    ASSERT_TRUE(doc.fractal);
    EXPECT_TRUE(doc.truncated);
    EXPECT_EQ(IterationsOf(doc), 1000);

    // Another line where the row would stand is not taken for it.
    doc = Read(whole + "radius=7\r\n");
    EXPECT_EQ(IterationsOf(doc), 1000);
    EXPECT_FALSE(doc.truncated);
}

TEST(IterationsRow, ValuesOutsideTheRangeAreBroughtIntoIt)
{
    CMandelbrotSet m;
    const std::string base = Text(m);
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"0", 1},
        {"-40", 1},
        {"100000000", 100000000},
        {"100000001", 100000000},
        {"2147483647", 100000000},
        {"many", 1000},
        {"", 1000},
        {"1", 1},
    };
    for (const auto& c : cases) {
        const LoadedDocument doc = Read(base + "iterations=" + c.text + "\r\n");
        ASSERT_TRUE(doc.fractal);
        EXPECT_EQ(IterationsOf(doc), c.expected) << c.text;
    }
}

// c = 1/4 + e lies just outside the cusp of the main cardioid; its orbit
// creeps through the narrow gap near z = 1/2 and escapes after about
// pi / sqrt(e) steps: about 3100 for e = 1e-6.
float CenterCellValue(int iterations)
{
    CMandelbrotSet m;
    m.m_centerX = 0.25 + 1e-6;
    m.m_centerY = 0;
    m.m_halfSize = 1e-9;
    m.m_maxIterations = iterations;
    m.m_iterationsSet = true;
    CCanvas canvas;
    canvas.m_targetWidth = 1;
    canvas.m_targetHeight = 1;
    m.Build(canvas);
    return m.m_colorMap.Cell(0, 0)->value;
}

TEST(IterationsRow, TheBuildRunsAsManyStepsAsTheRowSays)
{
    const float inside = float(CColorMap::kBackgroundValue);
    EXPECT_EQ(CenterCellValue(1000), inside);
    EXPECT_EQ(CenterCellValue(2500), inside);
    EXPECT_LT(CenterCellValue(4000), inside);
    EXPECT_LT(CenterCellValue(100000), inside);
    // An edited count out of range builds as the nearest one in range.
    EXPECT_EQ(CenterCellValue(0), inside);
    EXPECT_EQ(CenterCellValue(-7), inside);
}

TEST(IterationsRow, ListingTheRowsLeavesAnEditedValueAlone)
{
    // The parameters window lists the rows while a build may be reading
    // them, so listing must not write; only reading a file clamps.
    CMandelbrotSet m;
    m.m_maxIterations = -3;
    Labels rows;
    m.FillProperties(rows);
    EXPECT_EQ(m.m_maxIterations, -3);
    EXPECT_NE(Text(m).find("iterations=-3\r\n"), std::string::npos);
    EXPECT_EQ(m.m_maxIterations, -3);
    EXPECT_EQ(IterationsOf(Read(Text(m))), 1);
}

// Just right of the cusp at c = 1/4 + e every point escapes after about
// pi / sqrt(e) steps: some 9,930 at e = 1e-7, 3 million at 1e-12. A deep
// view opened from a file builds and saves with the file's count, though a
// view that chose would raise it; only a file without the row lets it
// choose, and a count typed at the default is filed, to stay the user's.
TEST(IterationsRow, ADeepViewKeepsTheCountItsFileHolds)
{
    struct Case {
        double x, halfSize;
        int filed, built; // the file's count (0: none), the one built
    };
    for (const Case c : {Case{0.2500001, 1e-20, 2000, 2000}, Case{0.250000000001, 1e-24, 100000, 100000},
                         Case{0.2500001, 1e-20, 0, 10000}}) {
        CMandelbrotSet m;
        m.m_centerX = c.x;
        m.m_halfSize = c.halfSize;
        if (c.filed)
            m.m_maxIterations = c.filed;
        const LoadedDocument doc = Read(Text(m));
        ASSERT_TRUE(doc.fractal);
        auto& read = static_cast<CMandelbrotSet&>(*doc.fractal);
        CCanvas canvas;
        canvas.m_targetWidth = 12;
        canvas.m_targetHeight = 9;
        read.Build(canvas);
        EXPECT_EQ(read.AdoptBuildChoices(), !c.filed) << c.x << " " << c.filed;
        EXPECT_EQ(read.m_maxIterations, c.built);
        EXPECT_NE(Text(read).find("\r\niterations=" + std::to_string(c.built) + "\r\n"), std::string::npos);
        // Inside at the file's count, escaped at the chosen one.
        EXPECT_EQ(read.m_colorMap.Cell(4, 6)->value < CColorMap::kBackgroundValue, !c.filed) << c.x;
    }

    CMandelbrotSet typed;
    typed.m_centerX = 0.2500001;
    typed.m_halfSize = 1e-20;
    PropertyItem row;
    row.value = &typed.m_maxIterations;
    typed.ValueChanged(0, row);
    const std::string text = Text(typed);
    EXPECT_NE(text.find("\r\niterations=1000\r\n"), std::string::npos);
    const LoadedDocument doc = Read(text);
    auto& read = static_cast<CMandelbrotSet&>(*doc.fractal);
    CCanvas canvas;
    canvas.m_targetWidth = 12;
    canvas.m_targetHeight = 9;
    read.Build(canvas);
    EXPECT_FALSE(read.AdoptBuildChoices());
    EXPECT_EQ(read.m_maxIterations, 1000);
    EXPECT_EQ(Text(read), text);
}

} // namespace

// Views past the resolution of doubles in the real window: the count a deep
// view chooses reaches the Properties bar and the undo step, and a count the
// user typed is kept.
#include <gtest/gtest.h>

#include <QApplication>
#include <QUndoStack>

#include <sstream>

#include "document/DocumentFiles.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "parameters/ParametersBar.h"
#include "parameters/PropertyGrid.h"
#include "tests/app/GridClick.h"
#include "tests/app/WindowFixture.h"

namespace {

QString Rows(CFractal& f)
{
    std::ostringstream out;
    WriteDocumentFile(out, kTypeMandelbrot, f);
    return QString::fromStdString(out.str());
}

CMandelbrotSet& Mandelbrot(CFractal_Doc* doc) { return static_cast<CMandelbrotSet&>(*doc->m_fractal); }

QString Cell(CParametersBar* bar, const QString& label) { return bar->Grid().GetCellText(bar->FindItem(label), 1); }

// Just right of the cusp at c = 1/4 + 1e-7 every point of the view escapes
// after some 9,930 steps: the count rises from 1000 to 10000.
TEST(DeepWindow, TheCountADeepViewChoseIsShownAndAnEditedCountWins)
{
    Window w(kTypeMandelbrot, 64, 48);
    ASSERT_TRUE(WaitIdle(w.doc));
    CParametersBar* bar = w.frame.ParametersBar();
    EXPECT_EQ(Cell(bar, "iterations"), "1000");
    {
        CMandelbrotSet& m = Mandelbrot(w.doc);
        m.m_centerX = 0.2500001;
        m.m_halfSize = 1e-20;
        w.doc->History().RestoreRows(Rows(m));
    }
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(Mandelbrot(w.doc).m_maxIterations, 10000);
    EXPECT_EQ(Cell(bar, "iterations"), "10000");
    EXPECT_NE(Mandelbrot(w.doc).m_colorMap.Cell(24, 32)->value, 1e10f);

    // The user's count: typed in the bar, then built with, and kept.
    CPropertyGrid& grid = bar->Grid();
    auto click = [&](const QString& label) { ClickValue(bar, label); };
    click("iterations");
    ASSERT_NE(grid.Editor(), nullptr);
    QTest::keySequence(grid.Editor(), QKeySequence::SelectAll);
    QTest::keyClicks(grid.Editor(), "2000");
    click("precision");
    EXPECT_EQ(Mandelbrot(w.doc).m_maxIterations, 2000);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(Mandelbrot(w.doc).m_maxIterations, 2000);
    EXPECT_EQ(Cell(bar, "iterations"), "2000");
    EXPECT_EQ(Mandelbrot(w.doc).m_colorMap.Cell(24, 32)->value, 1e10f);
}

} // namespace

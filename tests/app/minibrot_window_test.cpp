// View, Zoom to Nearest Minibrot through the real window: the view moves to
// the nucleus in one undoable step, count and all, and Undo puts back the
// very rows it left.
#include <gtest/gtest.h>

#include <QMenuBar>
#include <QStatusBar>
#include <QUndoStack>

#include <sstream>

#include "document/DocumentFiles.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "numbers/Coordinate.h"
#include "tests/app/WindowFixture.h"

namespace {

QString Rows(CFractal& f)
{
    std::ostringstream out;
    WriteDocumentFile(out, kTypeMandelbrot, f);
    return QString::fromStdString(out.str());
}

QAction* ViewAction(CMainFrame& frame, const QString& text)
{
    for (QAction* menu : frame.menuBar()->actions())
        if (menu->text() == "&View")
            for (QAction* a : menu->menu()->actions())
                if (a->text() == text)
                    return a;
    return nullptr;
}

struct MinibrotWindow : Window {
    MinibrotWindow(const std::string& x, const std::string& y, double radius) : Window(kTypeMandelbrot)
    {
        auto& m = static_cast<CMandelbrotSet&>(*doc->m_fractal);
        m.m_maxIterations = 40;
        m.m_centerX = std::strtod(x.c_str(), nullptr);
        m.m_centerY = std::strtod(y.c_str(), nullptr);
        m.m_centerXDigits = DigitsHold(x, m.m_centerX) ? WholeDigits(x, m.m_centerX) : "";
        m.m_centerYDigits = DigitsHold(y, m.m_centerY) ? WholeDigits(y, m.m_centerY) : "";
        m.m_halfSize = radius;
        doc->History().RestoreRows(Rows(m));
        EXPECT_TRUE(WaitIdle(doc));
        doc->History().MarkSaved();
    }
    CMandelbrotSet& Set() { return static_cast<CMandelbrotSet&>(*doc->m_fractal); }
};

} // namespace

TEST(MinibrotWindow, TheCommandMovesToTheNucleusAndUndoComesBack)
{
    MinibrotWindow w("-1.75", "0", 0.01);
    QAction* zoom = ViewAction(w.frame, "Zoom to Nearest &Minibrot");
    ASSERT_NE(zoom, nullptr);
    w.frame.UpdateCommands();
    ASSERT_TRUE(zoom->isEnabled());
    const QString before = w.doc->History().RowsText();
    const int steps = w.doc->History().UndoStack()->index();

    zoom->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    // The period-3 nucleus, the real root of c^3 + 2c^2 + c + 1, to well
    // within a pixel of any image of the new view.
    EXPECT_NEAR(w.Set().m_centerX, -1.7548776662466927, w.Set().m_halfSize * 1e-9);
    EXPECT_EQ(w.Set().m_centerY, 0.0);
    EXPECT_GT(w.Set().m_halfSize, 0.01);
    EXPECT_LT(w.Set().m_halfSize, 0.2);
    EXPECT_EQ(w.Set().m_maxIterations, 3 * CMandelbrotSet::kIterationsPerPeriod);
    EXPECT_EQ(w.doc->History().UndoStack()->index(), steps + 1);
    EXPECT_EQ(w.doc->History().UndoStack()->undoText(), "Zoom to Nearest Minibrot");

    w.view->setFocus();
    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), before);
    EXPECT_EQ(w.Set().m_halfSize, 0.01);
    EXPECT_EQ(w.Set().m_maxIterations, 40);

    // A Julia set has no minibrots: the command is off.
    w.Set().m_type = 1;
    w.frame.UpdateCommands();
    EXPECT_FALSE(zoom->isEnabled());
}

TEST(MinibrotWindow, ADeepViewKeepsTheNucleusWhole)
{
    const std::string x = "0.000000000000000000000000000000123", y = "1.000000000000000000000000000000456";
    MinibrotWindow w(x, y, 1e-30);
    const QString before = w.doc->History().RowsText();
    QAction* zoom = ViewAction(w.frame, "Zoom to Nearest &Minibrot");
    ASSERT_NE(zoom, nullptr);
    zoom->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_LT(w.Set().m_halfSize, 1e-30);
    EXPECT_TRUE(DigitsHold(w.Set().m_centerYDigits, w.Set().m_centerY)) << w.Set().m_centerYDigits;
    EXPECT_TRUE(DigitsHold(w.Set().m_centerXDigits, w.Set().m_centerX)) << w.Set().m_centerXDigits;
    EXPECT_GT(w.Set().m_maxIterations, 40);
    EXPECT_TRUE(w.Set().m_colorMap.m_gridWidth > 0);
    w.view->setFocus();
    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), before);
}

TEST(MinibrotWindow, AViewWithoutOneSaysSoAndStays)
{
    // Far outside the set: the reason on the status bar, the view as it was.
    MinibrotWindow outside("1", "1", 0.01);
    const QString rows = outside.doc->History().RowsText();
    ViewAction(outside.frame, "Zoom to Nearest &Minibrot")->trigger();
    ASSERT_TRUE(WaitIdle(outside.doc));
    EXPECT_EQ(outside.doc->History().RowsText(), rows);
    const QString message = outside.frame.statusBar()->currentMessage();
    EXPECT_TRUE(message.contains("no point")) << message.toStdString();
}

TEST(MinibrotWindow, TheSearchRunsBesideTheWindowAndEscapeStopsIt)
{
    // At the cusp of the cardioid 1e-3000 wide no period is found for a
    // million laps at the bits that size needs: seconds, unless stopped.
    MinibrotWindow w("0.25", "0", 0.1);
    w.Set().SetHalfSize(FloatExp::Normal(0.5, -9966));
    w.doc->History().RecordChange("Radius");
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QString rows = w.doc->History().RowsText();
    const int steps = w.doc->History().UndoStack()->index();
    ViewAction(w.frame, "Zoom to Nearest &Minibrot")->trigger();
    // The window is back while the worker looks, and says what it does.
    EXPECT_TRUE(w.doc->IsBuilding());
    EXPECT_EQ(w.frame.statusBar()->currentMessage(), "Finding the nearest minibrot...");
    w.view->setFocus();
    QTest::keyClick(w.view, Qt::Key_Escape);
    ASSERT_TRUE(WaitIdle(w.doc, 2000));
    EXPECT_TRUE(w.frame.statusBar()->currentMessage().contains("Stopped"))
        << w.frame.statusBar()->currentMessage().toStdString();
    EXPECT_EQ(w.doc->History().RowsText(), rows);
    EXPECT_EQ(w.doc->History().UndoStack()->index(), steps);
}

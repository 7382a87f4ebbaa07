// The Properties bar while documents build: values kept and greyed, a note
// in the status bar, rows relisted when a build changes them, open groups
// kept across windows, Enter in the editor committing and nothing else, and
// an edit of a colouring row painting the cells there are.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QStatusBar>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/MainFrame.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "parameters/ParametersBar.h"

namespace {

bool WaitIdle(CFractal_Doc* doc, int ms = 60000)
{
    return QTest::qWaitFor([&] { return !doc->IsBuilding(); }, ms);
}

struct Window {
    CMainFrame frame;
    CParametersBar* bar = frame.ParametersBar();
    CPropertyGrid& grid = bar->Grid();
    CFractal_Doc* doc = nullptr;

    explicit Window(int type)
    {
        frame.show();
        frame.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
        doc = frame.NewFractalDocument(type);
        QApplication::processEvents();
    }
    QString Cell(const QString& label) { return grid.GetCellText(bar->FindItem(label), 1); }
    QStringList Cells()
    {
        QStringList cells;
        for (int i = 0; i < bar->RowCount(); ++i)
            cells << grid.GetCellText(bar->ItemAt(i), 1);
        return cells;
    }
    void ClickValue(const QString& label)
    {
        QTreeWidgetItem* item = bar->FindItem(label);
        ASSERT_NE(item, nullptr) << label.toStdString();
        for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
            p->setExpanded(true);
        grid.scrollToItem(item);
        QApplication::processEvents();
        const QRect r = grid.visualItemRect(item);
        ASSERT_FALSE(r.isEmpty());
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(grid.GetColumnWidth(0) + 5, r.center().y()));
    }
};

} // namespace

TEST(ParametersDuringBuilds, EnterInTheEditorCommitsAndStartsNoBuild)
{
    Window w(kTypeMandelbrot);
    ASSERT_TRUE(w.frame.Command(Cmd::kPaint)->isEnabled()) << "Enter would paint";
    w.ClickValue("precision");
    ASSERT_NE(w.grid.Editor(), nullptr);
    QTest::keyClicks(w.grid.Editor(), "7.5");
    QTest::keyClick(w.grid.Editor(), Qt::Key_Return);
    EXPECT_FALSE(w.doc->IsBuilding());
    QApplication::processEvents();
    EXPECT_EQ(w.grid.Editor(), nullptr);
    EXPECT_DOUBLE_EQ(static_cast<CMandelbrotSet&>(*w.doc->m_fractal).m_precision, 7.5);
    EXPECT_FALSE(w.doc->m_deviceBitmap.HasBitmap()) << "nothing was built";
    // Outside the editor Enter still paints.
    w.frame.ActiveView()->setFocus();
    QTest::keyClick(w.frame.ActiveView(), Qt::Key_Return);
    EXPECT_TRUE(w.doc->IsBuilding());
    ASSERT_TRUE(WaitIdle(w.doc));
}

TEST(ParametersDuringBuilds, ValuesStayGreyedAndTheGroupsOpenWhileTheShownDocumentBuilds)
{
    Window w(kTypeMandelbrot);
    QMdiSubWindow* a = w.frame.MdiArea()->activeSubWindow();
    // A slow 3-D sample, so the build is still running during the switches.
    w.doc->OnSample(5);
    QApplication::processEvents();
    QTreeWidgetItem* group = w.grid.topLevelItem(0);
    ASSERT_NE(group, nullptr);
    group->setExpanded(true);
    const QString groupLabel = w.grid.GetCellText(group, 0);
    const QStringList before = w.Cells();
    ASSERT_FALSE(before.join("").isEmpty());
    ASSERT_NE(w.bar->WaitNote(), nullptr);
    EXPECT_FALSE(w.bar->WaitNote()->isVisible());

    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(w.doc->IsBuilding());
    EXPECT_TRUE(w.grid.IsReadOnly());
    EXPECT_TRUE(w.bar->WaitNote()->isVisible());
    EXPECT_EQ(w.Cells(), before);

    // Another window, and back while the build runs.
    CFractal_Doc* other = w.frame.NewFractalDocument(kTypeMandelbrot);
    QApplication::processEvents();
    ASSERT_EQ(w.bar->Document(), other);
    EXPECT_FALSE(w.grid.IsReadOnly());
    EXPECT_FALSE(w.bar->WaitNote()->isVisible());
    w.frame.MdiArea()->setActiveSubWindow(a);
    QApplication::processEvents();
    ASSERT_EQ(w.bar->Document(), w.doc);
    const bool stillBuilding = w.doc->IsBuilding();
    const QStringList during = w.Cells();
    const bool readOnly = w.grid.IsReadOnly();
    const bool open = w.grid.topLevelItem(0)->isExpanded();
    w.ClickValue("Name");
    const bool edited = w.grid.Editor() != nullptr;
    w.doc->OnStop();
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    if (!stillBuilding)
        GTEST_SKIP() << "the build ended before the switch";
    EXPECT_EQ(during, before) << "the values read before the build";
    EXPECT_TRUE(readOnly);
    EXPECT_FALSE(edited);
    EXPECT_EQ(w.grid.GetCellText(w.grid.topLevelItem(0), 0), groupLabel);
    EXPECT_TRUE(open) << "the group opened before stays open";

    // After the build: editable again, the note gone, the values live.
    EXPECT_FALSE(w.grid.IsReadOnly());
    EXPECT_FALSE(w.bar->WaitNote()->isVisible());
    for (int i = 0; i < w.bar->RowCount(); ++i)
        EXPECT_EQ(w.grid.GetCellText(w.bar->ItemAt(i), 1).toStdString(), ValueText(w.bar->RowAt(i)));
}

TEST(ParametersDuringBuilds, ABuildThatChangesTheRowsListsThemAtOnce)
{
    Window w(kTypeMandelbrot);
    QTreeWidgetItem* main = w.bar->FindItem("Main");
    ASSERT_NE(main, nullptr);
    main->setExpanded(true);
    EXPECT_EQ(w.bar->FindItem("Re c"), nullptr);
    w.ClickValue("type");
    EXPECT_EQ(w.Cell("type"), "Julia Set");
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    // The point in view became the constant.
    ASSERT_NE(w.bar->FindItem("Re c"), nullptr);
    EXPECT_EQ(w.Cell("Re c"), "-0.5");
    EXPECT_EQ(w.Cell("Im c"), "0");
    EXPECT_EQ(w.Cell("x"), "0");
    EXPECT_TRUE(w.bar->FindItem("Main")->isExpanded());
}

TEST(ParametersDuringBuilds, AColoringEditRepaintsTheCellsThereAreWithoutABuild)
{
    Window w(kTypeMandelbrot);
    auto& set = static_cast<CMandelbrotSet&>(*w.doc->m_fractal);
    set.m_colorMap.m_coloring = kColoringSmooth;
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const CColorMap& map = set.m_colorMap;
    const std::vector<PixelRecord> cells(map.m_grid.begin(), map.m_grid.end());
    const std::vector<uint8_t> before = w.doc->m_canvas->m_bits;
    ASSERT_FALSE(cells.empty());
    // A build would see this and change every escaped cell.
    set.m_precision = 3;

    w.ClickValue("gradient offset");
    ASSERT_NE(w.grid.Editor(), nullptr);
    QTest::keyClicks(w.grid.Editor(), "0.5");
    QTest::keyClick(w.grid.Editor(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.doc->IsBuilding() && w.doc->m_canvas->m_bits != before; }, 10000));
    EXPECT_EQ(map.m_gradientOffset, 0.5);
    ASSERT_EQ(map.m_grid.size(), cells.size());
    EXPECT_TRUE(
        std::equal(cells.begin(), cells.end(), map.m_grid.begin(),
                   [](const PixelRecord& a, const PixelRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }))
        << "the cells were built again";
    CCanvas fresh;
    map.Draw(fresh);
    EXPECT_EQ(w.doc->m_canvas->m_bits, fresh.m_bits);
}

TEST(ParametersDuringBuilds, ChoosingDistanceSaysThatABuildIsNeededAndF9GivesIt)
{
    Window w(kTypeMandelbrot);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const CColorMap& map = w.doc->m_fractal->m_colorMap;
    // Angle, through a gradient, smooth count, bands, distance: each step
    // a paint of its own, which starts and ends.
    int started = 0, ended = 0;
    QObject::connect(w.doc, &CFractal_Doc::buildStateChanged, [&] {
        if (w.doc->IsBuilding())
            ++started;
        else if (ended < started)
            ++ended;
    });
    for (int step = 1; step < kColoringCount; ++step) {
        w.ClickValue("coloring");
        EXPECT_EQ(map.m_coloring, step);
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended >= step && !w.doc->IsBuilding(); }, 10000)) << step;
    }
    EXPECT_EQ(w.Cell("coloring"), "Distance");
    EXPECT_FALSE(map.m_cellsHaveDistance);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w.frame.statusBar()->currentMessage().contains("Changed: F9 builds"); }, 10000))
        << w.frame.statusBar()->currentMessage().toStdString();
    w.frame.ActiveView()->setFocus();
    QTest::keyClick(w.frame.ActiveView(), Qt::Key_F9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.doc->IsBuilding() && map.m_cellsHaveDistance; }, 20000));
}

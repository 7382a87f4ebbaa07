// Documents and their views, driven through the real widgets on the
// offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>

#include <future>

#include "animation/AnimationDlg.h"
#include "app/AboutDlg.h"
#include "app/DesktopRegistration.h"
#include "app/MainFrame.h"
#include "app/NewFractalDlg.h"
#include "app/TileBar.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/ProgressText.h"
#include "document/SizeDialog.h"
#include "model/FractalFactory.h"
#include "model/Samples.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "parameters/ParametersBar.h"
#include "parameters/PropertyGrid.h"
#include "tests/app/WindowFixture.h"

namespace {

uint32_t Pixel(const CFractal_Doc* doc, int x, int y) { return doc->m_deviceBitmap.Image().pixel(x, y); }

} // namespace

TEST(DocumentWindow, RebuildFillsTheViewAndSaysReady)
{
    Window w(kTypeMandelbrot);
    ASSERT_EQ(w.view->ClientArea(), QSize(320, 200));
    w.doc->OnBuild(kCmdRebuild);
    EXPECT_TRUE(w.doc->IsBuilding());
    EXPECT_FALSE(w.frame.Command(Cmd::kRebuild)->isEnabled());
    EXPECT_TRUE(w.frame.Command(Cmd::kStop)->isEnabled());
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->Worker().m_exitCode, 0);
    EXPECT_EQ(w.doc->m_canvas->Status(), "Ready");
    EXPECT_TRUE(w.view->LastStatus().endsWith("Ready")) << w.view->LastStatus().toStdString();
    ASSERT_TRUE(w.doc->m_deviceBitmap.HasBitmap());
    EXPECT_EQ(w.doc->m_deviceBitmap.Image().size(), QSize(320, 200));
    // (-0.5, 0) lies inside the set and the corner far outside: they differ.
    EXPECT_NE(Pixel(w.doc, 160, 100), Pixel(w.doc, 0, 0));
    EXPECT_TRUE(w.frame.Command(Cmd::kRebuild)->isEnabled());
    EXPECT_FALSE(w.frame.Command(Cmd::kStop)->isEnabled());
}

TEST(DocumentWindow, StopKeepsThePreviousImageAndPaintDrawsWhatWasComputed)
{
    Window w(kTypeMandelbrot);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QImage before = w.doc->m_deviceBitmap.Image();

    // A slow 3-D set, stopped as soon as it starts.
    w.doc->OnSample(5);
    w.doc->OnBuild(kCmdRebuild);
    w.doc->OnStop();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->m_canvas->Status(), "Terminated by user!");
    EXPECT_EQ(w.doc->m_deviceBitmap.Image(), before);

    w.doc->OnBuild(kCmdPaint);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_NE(w.doc->m_deviceBitmap.Image(), before);
}

TEST(DocumentWindow, ZoomInThenOutRestoresTheRadius)
{
    Window w(kTypeMandelbrot, 800, 600);
    // The arithmetic is the point, not the set: few iterations keep the
    // 800x600 builds quick under the thread sanitizer.
    static_cast<CMandelbrotSet&>(*w.doc->m_fractal).m_maxIterations = 50;
    static_cast<CMandelbrotSet&>(*w.doc->m_fractal).m_iterationsSet = true;
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    CCanvas& c = *w.doc->m_canvas;
    ASSERT_TRUE(c.m_zoomEnabled);
    w.doc->m_fractal->m_halfSize = 2;
    w.doc->m_fractal->m_centerX = 0;
    c.m_anchorX = 500;
    c.m_anchorY = 300;
    c.m_halfWidth = 100;
    c.m_selectionVisible = true;
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_halfSize, 0.5);
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_centerX, 100.0 * 4 / 600);
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_centerY, 0.0);

    c.m_anchorX = 500;
    c.m_anchorY = 300;
    c.m_halfWidth = 100;
    c.m_selectionVisible = true;
    w.doc->OnBuild(kCmdZoomOut);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_halfSize, 2.0);
    EXPECT_NEAR(w.doc->m_fractal->m_centerX, 0.0, 1e-12);
}

TEST(DocumentWindow, ClosingABuildingWindowAsksAndWaitsForTheBuild)
{
    Window w(kTypeSelfAffine);
    w.doc->OnSample(5);
    QPointer<QMdiSubWindow> child = w.frame.MdiArea()->activeSubWindow();
    QPointer<CFractal_Doc> doc = w.doc;
    QString asked;
    bool answer = false;
    w.doc->m_ask = [&](const QString& text) {
        asked = text;
        return answer;
    };

    w.doc->OnBuild(kCmdRebuild);
    child->close();
    EXPECT_EQ(asked, "Fractal is building!\nTerminate it?");
    EXPECT_TRUE(child);
    EXPECT_TRUE(w.doc->IsBuilding()) << "No keeps the build";

    answer = true;
    asked.clear();
    child->close();
    EXPECT_FALSE(asked.isEmpty());
    EXPECT_TRUE(child) << "the window stays until the thread ends";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !child; }, 60000));
    QTest::qWait(10); // the document goes with its last window
    EXPECT_FALSE(doc);
}

TEST(DocumentWindow, SecondWindowShowsTheSameImage)
{
    Window w(kTypeMandelbrot);
    CChildFrame* second = w.frame.NewWindow();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(w.doc->Views().size(), 2u);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    second->close();
    QApplication::processEvents();
    EXPECT_EQ(w.doc->Views().size(), 1u);
    EXPECT_TRUE(w.doc->m_deviceBitmap.HasBitmap());
}

TEST(DocumentWindow, BitmapSizeCommandsAndTheSizeDialog)
{
    Window w(kTypeMandelbrot);
    w.view->OnBitmapSize(BitmapSize::k640x480);
    QApplication::processEvents();
    EXPECT_EQ(w.view->ClientArea(), QSize(640, 480));
    EXPECT_TRUE(w.doc->m_canvas->m_fixedSize);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->m_deviceBitmap.Image().size(), QSize(640, 480));

    w.view->m_askSize = [](unsigned&, unsigned&) { return false; };
    w.view->OnBitmapSize(BitmapSize::kCustom);
    EXPECT_EQ(w.view->ClientArea(), QSize(640, 480)) << "cancel changes nothing";

    CSizeDialog dialog(nullptr, 640, 480);
    QString complaint;
    dialog.m_complain = [&](const QString& t) { complaint = t; };
    dialog.show();
    dialog.m_widthEdit->setText("5000");
    dialog.accept();
    EXPECT_EQ(complaint, "Please enter an integer between 0 and 4096.");
    EXPECT_TRUE(dialog.isVisible());
    dialog.m_widthEdit->setText("wide");
    dialog.accept();
    EXPECT_EQ(complaint, "Please enter a positive integer.");
    dialog.m_widthEdit->setText("0");
    dialog.m_heightEdit->setText("4096");
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.m_width, 0u);
    EXPECT_EQ(dialog.m_height, 4096u);
}

TEST(DocumentWindow, SavedDocumentOpensWithTheSameRows)
{
    Window w(kTypeMandelbrot);
    auto& m = static_cast<CMandelbrotSet&>(*w.doc->m_fractal);
    m.m_name = "Valley";
    m.m_centerX = -0.75;
    m.m_halfSize = 0.125;
    QTemporaryDir dir;
    const QString path = dir.filePath("valley.frc");
    QString error;
    ASSERT_TRUE(w.doc->OnSaveDocument(path, error)) << error.toStdString();

    ASSERT_TRUE(w.frame.OpenDocumentFile(path));
    CFractal_Doc* opened = w.frame.ActiveDocument();
    ASSERT_NE(opened, w.doc);
    EXPECT_EQ(opened->Title(), "Valley");
    EXPECT_EQ(opened->m_fractalType, kTypeMandelbrot);
    EXPECT_EQ(opened->m_fractal->m_centerX, -0.75);
    EXPECT_EQ(opened->m_fractal->m_halfSize, 0.125);

    const int windows = int(w.frame.MdiArea()->subWindowList().size());
    w.frame.m_askPath = {};
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(".*"));
    EXPECT_FALSE(opened->OnOpenDocument(dir.filePath("missing.frc"), error));
    EXPECT_TRUE(error.contains("missing.frc")) << error.toStdString();
    EXPECT_EQ(int(w.frame.MdiArea()->subWindowList().size()), windows);
}

TEST(DocumentWindow, ATileSetBuildsAtOnceAndClicksRebuild)
{
    Window w(kTypeTile);
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_TRUE(w.doc->m_deviceBitmap.HasBitmap());
    EXPECT_FALSE(w.doc->m_canvas->m_zoomEnabled) << "a tile set is not zoomed";
    const QImage before = w.doc->m_deviceBitmap.Image();
    QTest::mouseClick(w.view->viewport(), Qt::LeftButton, {}, QPoint(100, 60));
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_NE(w.doc->m_deviceBitmap.Image(), before);
}

TEST(DocumentWindow, ComputedDataReopensAsTheSameImage)
{
    Window w(kTypeSelfAffine, 96, 64);
    w.doc->OnSample(4);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    QTemporaryDir dir;
    const QString path = dir.filePath("tetra.fdt");
    QString error;
    ASSERT_TRUE(w.doc->SaveDataTo(path, error)) << error.toStdString();

    // Opened from a Mandelbrot start, it still becomes a self-affine set.
    w.frame.m_defaultFractalType = kTypeMandelbrot;
    ASSERT_TRUE(w.frame.OpenDocumentFile(path));
    CFractal_Doc* opened = w.frame.ActiveDocument();
    ASSERT_NE(opened, w.doc);
    EXPECT_EQ(opened->m_fractal->m_kind, CFractal::kSelfAffine);
    EXPECT_EQ(w.frame.ActiveView()->ClientArea(), QSize(96, 64));
    ASSERT_TRUE(opened->m_deviceBitmap.HasBitmap());
    EXPECT_EQ(opened->m_deviceBitmap.Image().size(), QSize(96, 64));
    // Hit pixels came back lit: the centre of the tetrahedron is not the
    // background of the corner.
    EXPECT_NE(Pixel(opened, 48, 32), Pixel(opened, 0, 0));
}

TEST(DocumentWindow, QuittingDuringABuildAsksThenWaitsForIt)
{
    Window w(kTypeSelfAffine);
    w.doc->OnSample(5);
    int asked = 0;
    w.doc->m_ask = [&](const QString&) {
        ++asked;
        return true;
    };
    w.doc->OnBuild(kCmdRebuild);
    w.frame.close();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(w.frame.isVisible()) << "the window waits for the build";
    w.frame.close();
    EXPECT_EQ(asked, 1) << "asked once";
    QPointer<CFractal_Doc> doc = w.doc;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.frame.isVisible(); }, 60000));
    // Its windows closed with the program, and the document went with them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !doc; }, 1000));
}

TEST(DocumentWindow, AQuitConfirmedAfterAWindowCloseStillQuits)
{
    // Close the window (Yes), then quit (Yes): the program goes, not only
    // the window.
    {
        Window w(kTypeSelfAffine);
        w.doc->OnSample(5);
        QPointer<QMdiSubWindow> child = w.frame.MdiArea()->activeSubWindow();
        QPointer<CFractal_Doc> doc = w.doc;
        int asked = 0;
        w.doc->m_ask = [&](const QString&) {
            ++asked;
            return true;
        };
        w.doc->OnBuild(kCmdRebuild);
        child->close();
        EXPECT_TRUE(child) << "the window waits for the build";
        w.frame.close();
        EXPECT_EQ(asked, 2);
        EXPECT_TRUE(w.frame.isVisible());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !doc; }, 60000));
        EXPECT_FALSE(w.frame.isVisible()) << "the confirmed quit was lost";
    }
    // The same with No to the quit: only the window goes.
    {
        Window w(kTypeSelfAffine);
        w.doc->OnSample(5);
        QPointer<QMdiSubWindow> child = w.frame.MdiArea()->activeSubWindow();
        QPointer<CFractal_Doc> doc = w.doc;
        int asked = 0;
        w.doc->m_ask = [&](const QString&) { return ++asked == 1; };
        w.doc->OnBuild(kCmdRebuild);
        child->close();
        w.frame.close();
        EXPECT_EQ(asked, 2);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !doc; }, 60000));
        EXPECT_FALSE(child);
        EXPECT_TRUE(w.frame.isVisible());
    }
    // No to the quit alone keeps the build, the window and the program.
    {
        Window w(kTypeSelfAffine);
        w.doc->OnSample(5);
        QPointer<QMdiSubWindow> child = w.frame.MdiArea()->activeSubWindow();
        int asked = 0;
        w.doc->m_ask = [&](const QString&) {
            ++asked;
            return false;
        };
        w.doc->OnBuild(kCmdRebuild);
        w.frame.close();
        EXPECT_EQ(asked, 1);
        EXPECT_TRUE(w.doc->IsBuilding());
        EXPECT_FALSE(w.doc->m_fractal->m_stop) << "No leaves the build running";
        w.doc->OnStop();
        ASSERT_TRUE(WaitIdle(w.doc));
        QApplication::processEvents();
        EXPECT_TRUE(child);
        EXPECT_TRUE(w.frame.isVisible());
    }
}

namespace {
// A fractal that claims more memory than any machine has.
class Greedy : public CMandelbrotSet {
public:
    uint64_t MemoryNeed(unsigned, unsigned) override { return ~uint64_t(0); }
};
} // namespace

TEST(DocumentWindow, DecliningTheMemoryQuestionLeavesTheDocumentIdle)
{
    Window w(kTypeMandelbrot);
    w.doc->SetFractal(std::make_unique<Greedy>());
    QString asked;
    w.doc->m_ask = [&](const QString& text) {
        asked = text;
        return false;
    };
    w.doc->m_canvas->SetStatus("before");
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->Worker().m_exitCode, 1);
    EXPECT_TRUE(asked.startsWith("Algorithm requared ")) << asked.toStdString();
    EXPECT_TRUE(asked.endsWith("\nAre you sure to start algorithm?"));
    EXPECT_EQ(w.doc->m_canvas->Status(), "before");
    EXPECT_FALSE(w.doc->m_deviceBitmap.HasBitmap());

    asked.clear();
    w.doc->m_ask = [&](const QString& text) {
        asked = text;
        return true;
    };
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_FALSE(asked.isEmpty()) << "a second Rebuild asks again";
    EXPECT_EQ(w.doc->Worker().m_exitCode, 0);
    EXPECT_TRUE(w.doc->m_deviceBitmap.HasBitmap());
}

TEST(DocumentWindow, TwoDocumentsBuildAtOnce)
{
    Window w(kTypeSelfAffine);
    CFractal_Doc* a = w.doc;
    a->OnSample(5);
    CFractal_Doc* b = w.frame.NewFractalDocument(kTypeSelfAffine);
    b->OnSample(4);
    a->OnBuild(kCmdRebuild);
    b->OnBuild(kCmdRebuild);
    EXPECT_TRUE(a->IsBuilding());
    EXPECT_TRUE(b->IsBuilding());
    b->OnSample(0);
    EXPECT_EQ(b->m_fractal->m_name, "Sierpinsky Pyramid") << "samples wait for the build";
    ASSERT_TRUE(WaitIdle(a));
    ASSERT_TRUE(WaitIdle(b));
    EXPECT_EQ(a->m_canvas->Status(), "Ready");
    EXPECT_EQ(b->m_canvas->Status(), "Ready");
}

TEST(DocumentWindow, TheDepthUnderThePointerOfA3DSet)
{
    Window w(kTypeSelfAffine, 96, 64);
    w.doc->OnSample(4);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    QTest::mouseMove(w.view->viewport(), QPoint(48, 32));
    bool ok = false;
    const double z = w.view->LastStatus().toDouble(&ok);
    ASSERT_TRUE(ok) << w.view->LastStatus().toStdString();
    EXPECT_GT(z, w.doc->m_fractal->m_centerZ) << "a hit lies beyond the screen";
    // A wider window: points right of the 96-column grid show nothing.
    w.view->ResizeToBitmap(200, 64);
    QApplication::processEvents();
    ASSERT_EQ(w.view->ClientArea().width(), 200);
    const QString shown = w.view->LastStatus();
    QTest::mouseMove(w.view->viewport(), QPoint(150, 32));
    EXPECT_EQ(w.view->LastStatus(), shown);
}

namespace {

// Types `text` into the value cell of the Properties row `label` and
// commits it by clicking the row `next`, as a user does.
void EditRow(CMainFrame& frame, const QString& label, const QString& text, const QString& next)
{
    CParametersBar* bar = frame.ParametersBar();
    CPropertyGrid& grid = bar->Grid();
    auto click = [&](const QString& row) {
        grid.expandAll();
        QTreeWidgetItem* item = bar->FindItem(row);
        ASSERT_NE(item, nullptr) << row.toStdString();
        grid.scrollToItem(item);
        QApplication::processEvents();
        const QRect r = grid.visualItemRect(item);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(grid.GetColumnWidth(0) + 5, r.center().y()));
    };
    click(label);
    ASSERT_NE(grid.Editor(), nullptr);
    grid.Editor()->selectAll();
    QTest::keyClicks(grid.Editor(), text);
    click(next);
}

} // namespace

TEST(DocumentWindow, ARefusedBuildSaysWhyAndKeepsTheLastImage)
{
    Window w(kTypeSelfAffine, 64, 48);
    w.doc->OnSample(0); // a two-dimensional set of three maps
    w.frame.Command(Cmd::kRebuild)->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_EQ(w.doc->m_canvas->Status(), "Ready");
    const QImage before = w.doc->m_deviceBitmap.Image();
    ASSERT_FALSE(before.isNull());

    // One map more brings in the blank map, which does not shrink.
    EditRow(w.frame, "Number of maps", "4", "Level");
    ASSERT_EQ(static_cast<CSelfAffineSet&>(*w.doc->m_fractal).m_maps.count, 4);
    w.frame.Command(Cmd::kRebuild)->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    const QString shown = w.frame.statusBar()->currentMessage();
    EXPECT_TRUE(shown.startsWith("The maps do not contract: map 4 ")) << shown.toStdString();
    EXPECT_EQ(w.view->LastStatus(), shown);
    EXPECT_EQ(w.doc->m_deviceBitmap.Image(), before) << "the last image stays";
    EXPECT_TRUE(w.doc->m_fractal->m_viewValid);
    // Paint has nothing of it to draw either.
    w.frame.Command(Cmd::kPaint)->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    EXPECT_EQ(w.frame.statusBar()->currentMessage(), shown);
    EXPECT_EQ(w.doc->m_deviceBitmap.Image(), before);

    // Back to three maps, the set builds again.
    EditRow(w.frame, "Number of maps", "3", "Level");
    w.frame.Command(Cmd::kRebuild)->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    EXPECT_EQ(w.frame.statusBar()->currentMessage(), "Ready");
}

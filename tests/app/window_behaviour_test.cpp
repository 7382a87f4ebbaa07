// How document windows sit in the main window, zoom by rectangle, stop on
// the keyboard, and how the main window and dialogs present themselves;
// real mouse and key events on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMessageBox>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "animation/AnimationDlg.h"
#include "app/MainFrame.h"
#include "document/BuildSteps.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/SizeDialog.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "parameters/PropertyGrid.h"
#include "tests/app/GridClick.h"
#include "tests/app/WindowFixture.h"

namespace {

// A left-button drag on the view's visible area, from `from` to `to`.
void Drag(CFractal_View* view, QPoint from, QPoint to)
{
    QWidget* port = view->viewport();
    QTest::mousePress(port, Qt::LeftButton, {}, from);
    QTest::mouseMove(port, (from + to) / 2);
    QTest::mouseMove(port, to);
    QTest::mouseRelease(port, Qt::LeftButton, {}, to);
}

// Pixels of the shown image that are not black.
int LitPixels(const QImage& image)
{
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            lit += (image.pixel(x, y) & 0xFFFFFF) != 0;
    return lit;
}

std::vector<char> CellBytes(const CFractal& f)
{
    const CellGrid& grid = f.m_colorMap.m_grid;
    const char* first = reinterpret_cast<const char*>(grid.data());
    return std::vector<char>(first, first + grid.size() * sizeof(PixelRecord));
}

} // namespace

TEST(WindowBehaviour, ARectangleZoomsOnThePartOfTheImageItWasDrawnOn)
{
    Window w(kTypeMandelbrot, 320, 200);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    CFractal& f = *w.doc->m_fractal;
    ASSERT_EQ(f.m_centerX, -0.5);
    ASSERT_EQ(f.m_halfSize, 2.0);

    // The window grows past its 320x200 image, which stays at the top left.
    w.view->ResizeToBitmap(500, 400);
    QApplication::processEvents();
    ASSERT_EQ(w.view->ClientArea(), QSize(500, 400));
    Drag(w.view, QPoint(80, 60), QPoint(120, 60));
    ASSERT_EQ(w.doc->m_canvas->m_halfWidth, 40);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    // One pixel of the image was 4 / 200 = 0.02; the anchor lay 80 pixels
    // left of its centre (160, 100) and 40 above; the rectangle spanned 80
    // of its 320 columns.
    EXPECT_DOUBLE_EQ(f.m_centerX, -0.5 - 80 * 0.02);
    EXPECT_DOUBLE_EQ(f.m_centerY, 40 * 0.02);
    EXPECT_DOUBLE_EQ(f.m_halfSize, 2.0 * 80 / 320);
    ASSERT_EQ(w.doc->m_deviceBitmap.Image().size(), QSize(500, 400));

    // A second, smaller window on the same document, scrolled.
    CChildFrame* second = w.frame.NewWindow();
    ASSERT_NE(second, nullptr);
    CFractal_View* small = second->View();
    small->ResizeToBitmap(200, 150);
    QApplication::processEvents();
    ASSERT_EQ(w.doc->ActiveView(), small);
    small->horizontalScrollBar()->setValue(150);
    small->verticalScrollBar()->setValue(100);
    ASSERT_EQ(small->horizontalScrollBar()->value(), 150);
    ASSERT_EQ(small->verticalScrollBar()->value(), 100);
    // Image point (200, 150), 30 columns wide each side.
    Drag(small, QPoint(50, 50), QPoint(80, 50));
    ASSERT_EQ(w.doc->m_canvas->m_anchorX, 200);
    ASSERT_EQ(w.doc->m_canvas->m_halfWidth, 30);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    // The 500x400 image: one pixel 1 / 400, its centre (250, 200).
    EXPECT_DOUBLE_EQ(f.m_centerX, -2.1 - 50 * 0.0025);
    EXPECT_DOUBLE_EQ(f.m_centerY, 0.8 + 50 * 0.0025);
    EXPECT_DOUBLE_EQ(f.m_halfSize, 0.5 * 60 / 500);
}

TEST(WindowBehaviour, StopKeysStopALongBuild)
{
    Window w(kTypeSelfAffine, 240, 160);
    w.doc->OnSample(5);
    QAction* stop = w.frame.Command(Cmd::kStop);
    // The menu shows the key that every keyboard has, and every key parses.
    EXPECT_FALSE(stop->text().contains('\t'));
    EXPECT_EQ(stop->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F9));
    for (const QKeySequence& key : stop->shortcuts())
        EXPECT_NE(key[0].key(), Qt::Key_unknown) << key.toString().toStdString();

    QTest::mouseClick(w.view->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(QApplication::focusWidget(), w.view);
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } keys[] = {{Qt::Key_Pause, Qt::ControlModifier}, {Qt::Key_F9, Qt::ShiftModifier}, {Qt::Key_Escape, {}}};
    for (const auto& k : keys) {
        w.doc->OnBuild(kCmdRebuild);
        ASSERT_TRUE(w.doc->IsBuilding());
        QTest::keyClick(QApplication::focusWidget(), k.key, k.modifiers);
        ASSERT_TRUE(WaitIdle(w.doc));
        EXPECT_EQ(w.doc->m_canvas->Status(), "Terminated by user!")
            << QKeySequence(k.key | k.modifiers).toString().toStdString();
    }
}

TEST(WindowBehaviour, WindowsStayInsideTheWorkArea)
{
    CMainFrame frame;
    frame.resize(1000, 760);
    frame.show();
    QApplication::processEvents();
    const QRect area = frame.MdiArea()->viewport()->rect();
    ASSERT_LT(area.width(), 1024) << "the test needs a work area narrower than the largest bitmap";
    for (int i = 0; i < 6; ++i) {
        frame.NewFractalDocument(kTypeMandelbrot);
        QApplication::processEvents();
        const QRect r = frame.MdiArea()->activeSubWindow()->geometry();
        EXPECT_TRUE(area.contains(r)) << i << ": " << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
    }

    // 1024x768 in a smaller area: the window fits and scrolls, and the build
    // still has the chosen size.
    CFractal_View* view = frame.ActiveView();
    frame.Command(Cmd::kSize1024x768)->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(area.contains(frame.MdiArea()->activeSubWindow()->geometry()));
    EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_TRUE(view->horizontalScrollBar()->isVisible());
    EXPECT_EQ(view->ClientArea(), QSize(1024, 768));
    CFractal_Doc* doc = frame.ActiveDocument();
    doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(doc));
    EXPECT_EQ(doc->m_deviceBitmap.Image().size(), QSize(1024, 768));
    // Back to the window's size.
    frame.Command(Cmd::kSizeVariable)->trigger();
    EXPECT_EQ(view->ClientArea(), view->maximumViewportSize());
    // A maximized window given a size becomes a normal one of that size.
    frame.MdiArea()->activeSubWindow()->showMaximized();
    QApplication::processEvents();
    frame.Command(Cmd::kSize100x100)->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(frame.MdiArea()->activeSubWindow()->isMaximized());
    EXPECT_EQ(view->maximumViewportSize(), QSize(100, 100));
}

TEST(WindowBehaviour, AMaximisedMainWindowComesBackMaximised)
{
    {
        CMainFrame frame;
        frame.setGeometry(100, 120, 700, 500);
        frame.showMaximized();
        QApplication::processEvents();
        frame.SavePlacement();
    }
    QSettings settings;
    EXPECT_EQ(settings.value("WindowPlacement/Main Window").toString(), "2,3,100,120,800,620");
    {
        CMainFrame frame;
        EXPECT_TRUE(frame.windowState() & Qt::WindowMaximized);
        frame.show();
        QApplication::processEvents();
        EXPECT_TRUE(frame.isMaximized());
        EXPECT_EQ(frame.normalGeometry(), QRect(100, 120, 700, 500));
    }
    settings.setValue("WindowPlacement/Main Window", "0,1,100,120,800,620");
    {
        CMainFrame frame;
        EXPECT_FALSE(frame.windowState() & Qt::WindowMaximized);
    }
    settings.remove("WindowPlacement");
}

TEST(WindowBehaviour, DialogsAreTitledByTheirPurpose)
{
    CSizeDialog size(nullptr, 640, 480);
    EXPECT_EQ(size.windowTitle(), "Bitmap Size");
    EXPECT_EQ(size.m_widthLabel->text(), "&Width");
    EXPECT_EQ(size.m_widthLabel->buddy(), size.m_widthEdit);
    EXPECT_EQ(size.m_heightLabel->text(), "&Height");
    EXPECT_EQ(size.m_heightLabel->buddy(), size.m_heightEdit);
    // Its refusals are titled by it too.
    QString boxTitle;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxTitle = box->windowTitle();
            box->close();
        }
    });
    size.m_widthEdit->setText("5000");
    size.accept();
    EXPECT_EQ(boxTitle, "Bitmap Size");

    Window w(kTypeSelfAffine, 64, 48);
    CAnimationDlg animation(w.view);
    EXPECT_EQ(animation.windowTitle(), "Build Animation");
}

// The build reads the size it started with; Bitmap Size, a second window
// and activation meanwhile leave it alone, and Bitmap Size works again
// once the build has ended.
TEST(WindowBehaviour, BitmapSizeWaitsForTheBuildToEnd)
{
    Window w(kTypeSelfAffine, 240, 160);
    w.doc->OnSample(5);
    w.view->m_askSize = [](unsigned& width, unsigned& height) {
        width = 500;
        height = 300;
        return true;
    };
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(w.doc->IsBuilding());
    const CCanvas& c = *w.doc->m_canvas;
    const unsigned width = c.m_targetWidth, height = c.m_targetHeight;
    for (int k = 0; k <= int(BitmapSize::kVariable); ++k) {
        const Cmd id = BitmapSizeCommand(BitmapSize(k));
        EXPECT_FALSE(w.frame.Command(id)->isEnabled()) << id;
        w.frame.Command(id)->trigger();
        w.view->OnBitmapSize(BitmapSize(k)); // as a key or a script would reach it
    }
    CChildFrame* second = w.frame.NewWindow();
    ASSERT_NE(second, nullptr);
    second->resize(600, 450);
    w.frame.MdiArea()->setActiveSubWindow(second);
    QApplication::processEvents();
    EXPECT_EQ(w.doc->ActiveView(), second->View());
    EXPECT_EQ(c.m_targetWidth, width);
    EXPECT_EQ(c.m_targetHeight, height);
    EXPECT_FALSE(c.m_fixedSize);

    w.doc->OnStop();
    ASSERT_TRUE(WaitIdle(w.doc));
    for (int k = 0; k <= int(BitmapSize::kVariable); ++k)
        EXPECT_TRUE(w.frame.Command(BitmapSizeCommand(BitmapSize(k)))->isEnabled()) << k;
    w.frame.Command(Cmd::kSize100x100)->trigger();
    EXPECT_EQ(c.m_targetWidth, 100u);
    EXPECT_EQ(c.m_targetHeight, 100u);
    EXPECT_TRUE(c.m_fixedSize);
}

// F9 on a 3-D set whose window was resized since its cells were computed:
// the march goes on at the cells' size, exactly as it would have without
// the resize, the status says so, and Rebuild takes the new size.
TEST(WindowBehaviour, ContinueAfterAResizeGoesOnAtTheComputedSize)
{
    Window w(kTypeSelfAffine, 120, 90);
    w.doc->OnSample(5); // Sierpinsky Cube
    w.view->setFocus();
    QTest::keyClick(w.view, Qt::Key_F9);
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_EQ(w.doc->m_canvas->Status(), "Ready");
    const QImage first = w.doc->m_deviceBitmap.Image();
    ASSERT_EQ(first.size(), QSize(120, 90));
    ASSERT_GT(LitPixels(first), 120 * 90 / 10);

    // A small main window keeps the builds at the maximised size short.
    w.frame.resize(620, 460);
    QMdiSubWindow* child = w.frame.MdiArea()->activeSubWindow();
    child->showMaximized();
    QApplication::processEvents();
    const QSize maximised = w.view->ClientArea();
    ASSERT_GT(maximised.width(), 120);
    QTest::keyClick(w.view, Qt::Key_F9);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->m_canvas->Status(), "Ready: continued at 120x90, the size of the computed cells; "
                                         "Rebuild fractal builds " +
                                             std::to_string(maximised.width()) + "x" +
                                             std::to_string(maximised.height()));
    EXPECT_TRUE(w.view->LastStatus().contains("continued at 120x90")) << w.view->LastStatus().toStdString();
    const QImage continued = w.doc->m_deviceBitmap.Image();
    ASSERT_EQ(continued.size(), QSize(120, 90));
    EXPECT_GT(LitPixels(continued), 120 * 90 / 10);

    // The same two builds with no window in between.
    std::unique_ptr<CFractal> plain = CreateSample(5);
    CCanvas canvas;
    canvas.SetTargetSize(120, 90);
    ASSERT_EQ(RunBuildSteps(*plain, canvas, kCmdContinue).result, BuildOutcome::kDrawn);
    ASSERT_EQ(RunBuildSteps(*plain, canvas, kCmdContinue).result, BuildOutcome::kDrawn);
    EXPECT_TRUE(CellBytes(*plain) == CellBytes(*w.doc->m_fractal));

    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->m_canvas->Status(), "Ready");
    EXPECT_EQ(w.doc->m_deviceBitmap.Image().size(), maximised);
    EXPECT_GT(LitPixels(w.doc->m_deviceBitmap.Image()), maximised.width() * maximised.height() / 10);
}

// Escape stops the active window's build from anywhere in the main window;
// in an open property editor it only cancels the edit.
TEST(WindowBehaviour, EscapeStopsTheActiveBuildWhereverTheFocusIs)
{
    Window w(kTypeSelfAffine, 240, 160);
    w.doc->OnSample(5);
    CParametersBar* bar = w.frame.ParametersBar();
    CPropertyGrid& grid = bar->Grid();
    CFractal_Doc* cube = w.doc;
    QMdiSubWindow* cubeWindow = w.frame.MdiArea()->activeSubWindow();

    // A second window, idle, with an editor open on its Properties row.
    CFractal_Doc* other = w.frame.NewFractalDocument(kTypeMandelbrot);
    QMdiSubWindow* otherWindow = w.frame.MdiArea()->activeSubWindow();
    QApplication::processEvents();
    w.frame.MdiArea()->setActiveSubWindow(cubeWindow);
    QApplication::processEvents();
    cube->OnBuild(kCmdRebuild);
    ASSERT_TRUE(cube->IsBuilding());
    w.frame.MdiArea()->setActiveSubWindow(otherWindow);
    QApplication::processEvents();
    ASSERT_EQ(w.frame.ActiveDocument(), other);
    const double precision = static_cast<CMandelbrotSet&>(*other->m_fractal).m_precision;
    ClickValue(bar, "precision");
    ASSERT_NE(grid.Editor(), nullptr);
    QTest::keyClicks(grid.Editor(), "77");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(grid.Editor(), nullptr) << "Escape cancels the edit";
    EXPECT_EQ(static_cast<CMandelbrotSet&>(*other->m_fractal).m_precision, precision);
    EXPECT_EQ(grid.GetCellText(bar->FindItem("precision"), 1), QString::number(precision));
    EXPECT_TRUE(cube->IsBuilding()) << "the edit's Escape stops nothing";

    // Back on the building window, the focus in its Properties bar.
    w.frame.MdiArea()->setActiveSubWindow(cubeWindow);
    QApplication::processEvents();
    ASSERT_EQ(w.frame.ActiveDocument(), cube);
    grid.setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(QApplication::focusWidget() == &grid || grid.isAncestorOf(QApplication::focusWidget()));
    ASSERT_TRUE(cube->IsBuilding());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    ASSERT_TRUE(WaitIdle(cube, 5000));
    EXPECT_EQ(cube->m_canvas->Status(), "Terminated by user!");
}

// New windows step down and right from the last one and start again at the
// top left before they would reach past the work area; a window that opens
// maximized, as new ones do while the active one is, comes back inside it.
TEST(WindowBehaviour, NewWindowsCascadeInsideTheWorkArea)
{
    CMainFrame frame;
    frame.resize(1000, 760);
    frame.show();
    QApplication::processEvents();
    QMdiArea* mdi = frame.MdiArea();
    const QRect area = mdi->viewport()->rect();
    auto describe = [](const QRect& r) {
        return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
               std::to_string(r.height());
    };
    QPoint last(-1, -1);
    int wraps = 0;
    for (int i = 0; i < 12; ++i) {
        frame.NewFractalDocument(kTypeMandelbrot);
        QApplication::processEvents();
        const QRect r = mdi->activeSubWindow()->geometry();
        EXPECT_TRUE(area.contains(r)) << i << ": " << describe(r);
        // The first one fills the area; it goes on filling it when the
        // main window grows, until there is a second.
        if (i == 0) {
            EXPECT_EQ(r, area);
            QMdiSubWindow* first = mdi->subWindowList().front();
            frame.resize(1200, 900);
            QApplication::processEvents();
            EXPECT_EQ(first->geometry(), mdi->viewport()->rect());
            frame.resize(1000, 760);
            QApplication::processEvents();
            EXPECT_EQ(first->geometry(), area);
        }
        if (i > 0) {
            // One step down and right, or back at the corner.
            const QPoint moved = r.topLeft() - last;
            if (r.topLeft() == area.topLeft())
                ++wraps;
            else
                EXPECT_TRUE(moved.x() > 0 && moved.x() == moved.y()) << i << ": " << describe(r);
        }
        last = r.topLeft();
    }
    EXPECT_GE(wraps, 1) << "twelve windows reach the edge of the area";

    mdi->activeSubWindow()->showMaximized();
    QApplication::processEvents();
    for (int i = 0; i < 8; ++i) {
        frame.NewFractalDocument(kTypeMandelbrot);
        QApplication::processEvents();
        EXPECT_TRUE(mdi->activeSubWindow()->isMaximized());
    }
    for (QMdiSubWindow* w : mdi->subWindowList()) {
        w->showNormal();
        QApplication::processEvents();
        EXPECT_TRUE(area.contains(w->geometry())) << describe(w->geometry());
    }
}

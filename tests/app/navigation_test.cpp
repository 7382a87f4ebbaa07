// Exploring a document through the real widgets: wheel zoom about the
// pointer, panning, the view history, undo, the Edit menu's clipboard
// commands and the pointer's coordinates.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QWheelEvent>

#include <sstream>

#include "app/JuliaPreview.h"
#include "app/TileBar.h"
#include "document/BuildSteps.h"
#include "document/CanvasImage.h"
#include "document/DocumentFiles.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/Samples.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/tile/TileSet.h"
#include "parameters/ParametersBar.h"
#include "parameters/PropertyGrid.h"
#include "tests/app/GridClick.h"
#include "tests/app/WindowFixture.h"

namespace {

void Wheel(CFractal_View* view, QPoint at, int angle, QPoint pixels = {})
{
    QWidget* port = view->viewport();
    QWheelEvent e(at, port->mapToGlobal(at), pixels, QPoint(0, angle), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(port, &e);
}

// The world point the 2-D self-affine build stored in the cell under a
// screen pixel (the grid's rows run upwards).
QPointF CellPoint(CFractal_Doc* doc, QPoint p)
{
    const CColorMap& map = doc->m_fractal->m_colorMap;
    const PixelRecord* cell = map.Cell(map.m_gridHeight - 1 - p.y(), p.x());
    return {cell->x, cell->y};
}

QAction* EditAction(CMainFrame& frame, const QString& prefix)
{
    for (QAction* menu : frame.menuBar()->actions())
        if (menu->text() == "&Edit")
            for (QAction* a : menu->menu()->actions())
                if (a->text().startsWith(prefix))
                    return a;
    return nullptr;
}

QString Rows(CFractal& f, int type = kTypeMandelbrot)
{
    std::ostringstream out;
    WriteDocumentFile(out, type, f);
    return QString::fromStdString(out.str());
}

// A Mandelbrot window whose builds are quick.
struct QuickWindow : Window {
    QuickWindow() : Window(kTypeMandelbrot)
    {
        // The count is a row: loaded as the document's rows, it starts the
        // history rather than being the first change in it.
        auto& m = static_cast<CMandelbrotSet&>(*doc->m_fractal);
        m.m_maxIterations = 40;
        doc->History().RestoreRows(Rows(m));
        EXPECT_TRUE(WaitIdle(doc));
        doc->History().MarkSaved();
    }
};

} // namespace

TEST(Navigation, AWheelNotchKeepsThePointUnderThePointer)
{
    Window w(kTypeSelfAffine);
    w.doc->OnSample(1); // the Koch curve, a 2-D set
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QPoint p(250, 40);
    const QPointF before = CellPoint(w.doc, p);
    const double half = w.doc->m_fractal->m_halfSize;

    Wheel(w.view, p, 120);
    ASSERT_TRUE(w.doc->IsBuilding()) << "the build starts at once";
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_halfSize, half / 1.5);
    const QPointF in = CellPoint(w.doc, p);
    EXPECT_NEAR(in.x(), before.x(), 1e-6);
    EXPECT_NEAR(in.y(), before.y(), 1e-6);
    // A neighbouring cell is now a pixel of the smaller size away.
    EXPECT_NEAR(CellPoint(w.doc, p + QPoint(1, 0)).x() - in.x(), 2 * half / 1.5 / 200, 1e-6);

    Wheel(w.view, p, -120);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_NEAR(w.doc->m_fractal->m_halfSize, half, 1e-15);
    EXPECT_NEAR(CellPoint(w.doc, p).x(), before.x(), 1e-6);
    EXPECT_NEAR(CellPoint(w.doc, p).y(), before.y(), 1e-6);

    // A touchpad's pixels zoom by the matching fraction of a notch.
    Wheel(w.view, p, 12, QPoint(0, 60));
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_NEAR(w.doc->m_fractal->m_halfSize, half / std::sqrt(1.5), 1e-12);
}

TEST(Navigation, QuickNotchesCoalesceAndThePreviewIsTheOldImageScaled)
{
    Window w(kTypeMandelbrot);
    auto& m = static_cast<CMandelbrotSet&>(*w.doc->m_fractal);
    m.m_maxIterations = 40;
    m.m_iterationsSet = true;
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QImage old = w.doc->m_deviceBitmap.Image();
    // Slow builds while the set is in view, so that the notches come while
    // one runs; three notches about the top left corner leave the set out
    // of view, and the last build is quick.
    m.m_maxIterations = 2000000;
    const QPoint p(5, 5);
    Wheel(w.view, p, 120);
    ASSERT_TRUE(w.doc->IsBuilding());
    // The pointer's pixel shows what it showed; the image is 1.5 times larger.
    const QTransform t = w.doc->PreviewTransform(w.view->ClientArea());
    EXPECT_DOUBLE_EQ(t.m11(), 1.5);
    EXPECT_NEAR(t.map(QPointF(p)).x(), p.x(), 1e-9);
    EXPECT_NEAR(t.map(QPointF(p)).y(), p.y(), 1e-9);
    const QImage shown = w.view->viewport()->grab().toImage();
    EXPECT_EQ(shown.pixel(p), old.pixel(p));
    EXPECT_EQ(shown.pixel(p + QPoint(30, 60)), old.pixel(p + QPoint(20, 40)));

    Wheel(w.view, p, 120);
    Wheel(w.view, p, 120);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.doc->IsBuilding() && w.doc->m_canvas->Status() == "Ready"; }, 60000));
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_halfSize, 2.0 / 1.5 / 1.5 / 1.5);
    EXPECT_TRUE(w.doc->PreviewTransform(w.view->ClientArea()).isIdentity()) << "the new image is in place";
}

TEST(Navigation, APanMovesTheCenterByThePixelsDragged)
{
    QuickWindow w;
    // 320x200 at radius 2: a pixel is 4 / 200 = 0.02 wide.
    QTest::mousePress(w.view->viewport(), Qt::MiddleButton, {}, QPoint(100, 100));
    QTest::mouseMove(w.view->viewport(), QPoint(115, 90));
    EXPECT_FALSE(w.doc->IsBuilding()) << "the build waits for the release";
    QTest::mouseMove(w.view->viewport(), QPoint(130, 80));
    QTest::mouseRelease(w.view->viewport(), Qt::MiddleButton, {}, QPoint(130, 80));
    EXPECT_TRUE(w.doc->IsBuilding());
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_NEAR(w.doc->m_fractal->m_centerX, -0.5 - 30 * 0.02, 1e-12);
    EXPECT_NEAR(w.doc->m_fractal->m_centerY, 0.0 - 20 * 0.02, 1e-12);
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_halfSize, 2.0);

    // The left button drags while Space is held, and marks a rectangle
    // otherwise.
    w.view->setFocus();
    QTest::keyPress(w.view, Qt::Key_Space);
    QTest::mousePress(w.view->viewport(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(w.view->viewport(), QPoint(90, 110));
    QTest::mouseRelease(w.view->viewport(), Qt::LeftButton, {}, QPoint(90, 110));
    QTest::keyRelease(w.view, Qt::Key_Space);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_NEAR(w.doc->m_fractal->m_centerX, -1.1 + 10 * 0.02, 1e-12);
    EXPECT_NEAR(w.doc->m_fractal->m_centerY, -0.4 + 10 * 0.02, 1e-12);
    const double x = w.doc->m_fractal->m_centerX;
    QTest::mousePress(w.view->viewport(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseRelease(w.view->viewport(), Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_FALSE(w.doc->IsBuilding());
    EXPECT_EQ(w.doc->m_fractal->m_centerX, x);
}

TEST(Navigation, BackAndForwardStepThroughTheViews)
{
    QuickWindow w;
    const QString first = w.doc->History().RowsText();
    EXPECT_FALSE(w.frame.BackAction()->isEnabled());
    Wheel(w.view, QPoint(40, 30), 120);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QString second = w.doc->History().RowsText();
    Wheel(w.view, QPoint(200, 150), 240);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QString third = w.doc->History().RowsText();
    ASSERT_NE(second, first);
    ASSERT_NE(third, second);
    EXPECT_TRUE(w.frame.BackAction()->isEnabled());

    w.view->setFocus();
    QTest::keyClick(w.view, Qt::Key_Left, Qt::AltModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), second);
    QTest::mouseClick(w.view->viewport(), Qt::BackButton, {}, QPoint(10, 10));
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), first);
    EXPECT_FALSE(w.frame.BackAction()->isEnabled());
    QTest::mouseClick(w.view->viewport(), Qt::ForwardButton, {}, QPoint(10, 10));
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), second);
    QTest::keyClick(w.view, Qt::Key_Right, Qt::AltModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), third);
    EXPECT_FALSE(w.frame.ForwardAction()->isEnabled());
}

// The keyboard: + and - by the wheel's factor about the centre, the arrows
// by a tenth of the view, Home to the overview; each undoable, and a step
// straight back gives the very rows it left, at every depth.
TEST(Navigation, KeysStepTheViewAndStraightBackIsExact)
{
    QuickWindow w;
    w.view->setFocus();
    const QString start = w.doc->History().RowsText();
    auto key = [&](Qt::Key k) {
        QTest::keyClick(w.view, k);
        EXPECT_TRUE(WaitIdle(w.doc));
    };
    key(Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_halfSize, 2.0 / 1.5);
    EXPECT_EQ(w.doc->m_fractal->m_centerX, -0.5);
    key(Qt::Key_Equal);
    key(Qt::Key_Minus);
    key(Qt::Key_Minus);
    EXPECT_EQ(w.doc->History().RowsText(), start);
    // 320x200 at radius 2: a tenth of the width is 32 pixels of 0.02.
    key(Qt::Key_Left);
    EXPECT_NEAR(w.doc->m_fractal->m_centerX, -0.5 - 32 * 0.02, 1e-12);
    key(Qt::Key_Up);
    EXPECT_NEAR(w.doc->m_fractal->m_centerY, 20 * 0.02, 1e-12);
    key(Qt::Key_Down);
    key(Qt::Key_Right);
    EXPECT_EQ(w.doc->History().RowsText(), start);

    // At a depth where the centre is whole digits, and after steps of the
    // other kind in between.
    w.doc->m_fractal->m_centerX = -0.75;
    w.doc->m_fractal->m_centerXDigits = "-0.7500000000000000000000000000012345";
    w.doc->m_fractal->m_halfSize = 1e-25;
    w.doc->History().MoveTo(w.doc->History().CurrentPlace(), "Deep");
    ASSERT_TRUE(WaitIdle(w.doc));
    const QString deep = w.doc->History().RowsText();
    for (Qt::Key k : {Qt::Key_Right, Qt::Key_Plus, Qt::Key_Up, Qt::Key_Plus})
        key(k);
    EXPECT_NE(w.doc->m_fractal->m_centerXDigits, "-0.7500000000000000000000000000012345");
    for (Qt::Key k : {Qt::Key_Minus, Qt::Key_Down, Qt::Key_Minus, Qt::Key_Left})
        key(k);
    EXPECT_EQ(w.doc->History().RowsText(), deep);

    // Home is the overview, and Ctrl+Z comes back from it.
    key(Qt::Key_Home);
    EXPECT_EQ(w.doc->m_fractal->m_centerX, -0.5);
    EXPECT_EQ(w.doc->m_fractal->m_halfSize, 2.0);
    EXPECT_EQ(w.doc->m_fractal->m_centerXDigits, "");
    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), deep);

    // The Properties bar keeps its own arrows.
    CPropertyGrid& grid = w.frame.ParametersBar()->Grid();
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Down);
    QTest::keyClick(&grid, Qt::Key_Home);
    EXPECT_FALSE(w.doc->IsBuilding());
    EXPECT_EQ(w.doc->History().RowsText(), deep);
}

TEST(Navigation, UndoAndRedoOfAPropertiesEditAndOfAZoom)
{
    QuickWindow w;
    CParametersBar* bar = w.frame.ParametersBar();
    CPropertyGrid& grid = bar->Grid();
    auto click = [&](const QString& label) { ClickValue(bar, label); };
    auto& m = static_cast<CMandelbrotSet&>(*w.doc->m_fractal);
    const double precision = m.m_precision;
    click("precision");
    ASSERT_NE(grid.Editor(), nullptr);
    QTest::keyClicks(grid.Editor(), "12.5");
    click("y");
    EXPECT_DOUBLE_EQ(m.m_precision, 12.5);
    EXPECT_TRUE(w.doc->History().IsModified());
    EXPECT_EQ(w.doc->History().UndoStack()->undoText(), "Edit precision");

    w.view->setFocus();
    const int steps = w.doc->History().UndoStack()->index();
    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w.doc->History().UndoStack()->index(), steps - 1);
    ASSERT_TRUE(WaitIdle(w.doc));
    auto* now = static_cast<CMandelbrotSet*>(w.doc->m_fractal.get());
    EXPECT_DOUBLE_EQ(now->m_precision, precision);
    EXPECT_FALSE(w.doc->History().IsModified()) << "back to what the file holds";
    EXPECT_EQ(grid.GetCellText(bar->FindItem("precision"), 1), QString::number(precision));

    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_DOUBLE_EQ(static_cast<CMandelbrotSet&>(*w.doc->m_fractal).m_precision, 12.5);
    EXPECT_EQ(grid.GetCellText(bar->FindItem("precision"), 1), "12.5");

    // A zoom, undone by Ctrl+Z and redone by Ctrl+Y.
    Wheel(w.view, QPoint(10, 10), 120);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QString zoomed = w.doc->History().RowsText();
    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_halfSize, 2.0);
    EXPECT_DOUBLE_EQ(static_cast<CMandelbrotSet&>(*w.doc->m_fractal).m_precision, 12.5);
    QTest::keyClick(w.view, Qt::Key_Y, Qt::ControlModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), zoomed);

    // Undo from the menu while a value is being typed: one step back, and
    // the redo stays.
    const int count = w.doc->History().UndoStack()->count();
    click("precision");
    ASSERT_NE(grid.Editor(), nullptr);
    QTest::keyClicks(grid.Editor(), "7");
    EditAction(w.frame, "&Undo")->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().UndoStack()->count(), count);
    EXPECT_TRUE(w.doc->History().UndoStack()->canRedo());
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_halfSize, 2.0);
}

TEST(Navigation, ASampleChosenIsUndoneAndAnUndoDuringABuildWaitsForIt)
{
    QuickWindow w;
    const QString mandelbrot = w.doc->History().RowsText();
    w.doc->OnSample(5); // a slow 3-D set
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(w.doc->IsBuilding());
    w.doc->History().UndoStack()->undo();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.doc->m_fractal->m_kind == CFractal::kMandelbrot; }, 60000));
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), mandelbrot);
    EXPECT_EQ(w.doc->Title(), "Mandelbrot Set");
    EXPECT_EQ(w.doc->m_canvas->Status(), "Ready");
}

TEST(Navigation, ClosingAChangedDocumentAsksAndCancelKeepsIt)
{
    QuickWindow w;
    QStringList asked;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    w.frame.m_askSave = [&](const QString& text) {
        asked << text;
        return answer;
    };
    QPointer<QMdiSubWindow> child = w.frame.MdiArea()->activeSubWindow();
    // Unchanged since the build (marked saved): no question.
    ASSERT_FALSE(w.doc->History().IsModified());
    Wheel(w.view, QPoint(10, 10), 120);
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_TRUE(w.doc->History().IsModified());

    child->close();
    QApplication::processEvents();
    EXPECT_EQ(asked, QStringList({"Save changes to \"Mandelbrot Set\"?"}));
    ASSERT_TRUE(child) << "Cancel keeps the window";
    w.frame.close();
    EXPECT_EQ(asked.size(), 2);
    EXPECT_TRUE(w.frame.isVisible()) << "Cancel keeps the program";

    // Save writes the file the document came from, or asks for one.
    QTemporaryDir dir;
    const QString path = dir.filePath("view.frc");
    w.frame.m_askPath = [&](const QString&, bool) { return path; };
    answer = QMessageBox::Save;
    QPointer<CFractal_Doc> doc = w.doc;
    const QString rows = w.doc->History().RowsText();
    child->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !doc; }, 5000));
    LoadedDocument saved;
    std::string error;
    ASSERT_TRUE(OpenDocumentFile(path.toStdString(), saved, error)) << error;
    EXPECT_EQ(Rows(*saved.fractal), rows);
}

TEST(Navigation, AnUnchangedOrSavedDocumentClosesWithoutAsking)
{
    QuickWindow w;
    int asked = 0;
    w.frame.m_askSave = [&](const QString&) {
        ++asked;
        return QMessageBox::Cancel;
    };
    QTemporaryDir dir;
    w.frame.m_askPath = [&](const QString&, bool) { return dir.filePath("a.frc"); };
    Wheel(w.view, QPoint(10, 10), 120);
    ASSERT_TRUE(WaitIdle(w.doc));
    w.frame.Command(Cmd::kSave)->trigger(); // Save
    EXPECT_FALSE(w.doc->History().IsModified());
    w.frame.close();
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(w.frame.isVisible());
}

TEST(Navigation, CopyImageAndCopyAndPasteParameters)
{
    QuickWindow w;
    w.view->setFocus();
    QTest::keyClick(w.view, Qt::Key_C, Qt::ControlModifier);
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(int(w.doc->m_canvas->m_bufferWidth), int(w.doc->m_canvas->m_bufferHeight)));
    EXPECT_EQ(copied.size(), QSize(320, 200));
    EXPECT_EQ(copied.pixel(5, 7), w.doc->m_deviceBitmap.Image().pixel(5, 7));

    const QString mandelbrot = w.doc->History().RowsText();
    EditAction(w.frame, "Copy &Parameters")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), mandelbrot);

    // Text that is not a document is refused and changes nothing.
    QStringList complaints;
    w.frame.m_complain = [&](const QString&, const QString& text) { complaints << text; };
    QApplication::clipboard()->setText("x=1\r\ny=2\r\n");
    QTest::keyClick(w.view, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(complaints.size(), 1);
    EXPECT_TRUE(complaints[0].contains(".frc")) << complaints[0].toStdString();
    EXPECT_EQ(w.doc->History().RowsText(), mandelbrot);
    EXPECT_EQ(w.doc->History().UndoStack()->count(), 0);

    // A Koch curve's document replaces the Mandelbrot set, undoably.
    auto koch = CreateSample(1);
    const QString kochRows = Rows(*koch, kTypeSelfAffine);
    QApplication::clipboard()->setText(kochRows);
    QTest::keyClick(w.view, Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->m_fractal->m_kind, CFractal::kSelfAffine);
    EXPECT_EQ(w.doc->Title(), QString::fromStdString(koch->m_name));
    EXPECT_EQ(w.doc->m_canvas->Status(), "Ready");
    EXPECT_TRUE(w.doc->History().IsModified());
    EXPECT_EQ(w.doc->History().UndoStack()->count(), 1);
    EditAction(w.frame, "&Undo")->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText().toStdString(), mandelbrot.toStdString());
    EXPECT_FALSE(w.doc->History().IsModified());
    EditAction(w.frame, "&Redo")->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->Title(), QString::fromStdString(koch->m_name));
}

TEST(Navigation, TheStatusBarShowsThePointersWorldCoordinates)
{
    QuickWindow w;
    // 320x200 at radius 2 about (-0.5, 0): pixels are 0.02 apart, and the
    // pixel right of and above the middle is the centre.
    QTest::mouseMove(w.view->viewport(), QPoint(160, 99));
    EXPECT_EQ(w.view->LastStatus(), "x = -0.500   y = 0.000");
    QTest::mouseMove(w.view->viewport(), QPoint(170, 89));
    EXPECT_EQ(w.view->LastStatus(), "x = -0.300   y = 0.200");
    // Deeper views need more digits.
    w.doc->m_fractal->m_halfSize = 2e-6;
    QTest::mouseMove(w.view->viewport(), QPoint(161, 99));
    EXPECT_EQ(w.view->LastStatus(), "x = -0.499999980   y = 0.000000000");
}

TEST(Navigation, TileSetsDoNotZoomAndTheirClicksAreUndone)
{
    Window w(kTypeTile);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QString rows = w.doc->History().RowsText();
    Wheel(w.view, QPoint(50, 50), 120);
    EXPECT_FALSE(w.doc->IsBuilding());
    EXPECT_EQ(w.doc->History().RowsText(), rows);
    EXPECT_EQ(w.doc->History().UndoStack()->count(), 0);

    // A right click turns the symmetry of the digit under it.
    QTest::mouseClick(w.view->viewport(), Qt::RightButton, {}, QPoint(100, 60));
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_NE(w.doc->History().RowsText(), rows);
    EXPECT_EQ(w.doc->History().UndoStack()->undoText(), "Tile Click");
    w.doc->History().UndoStack()->undo();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), rows);
    EXPECT_EQ(w.doc->m_canvas->Status(), "Ready");
}

// The "Choose a Tile!" chart: a square's place worked by hand, its tooltip,
// a click that gives the active tile set that square (undoably), and one
// with no tile set active that opens a tile-set window on it.
TEST(Navigation, TheTileChartBuildsTheSquareClicked)
{
    int d = 0, t = 0;
    // Column 22 is trace 2 on the determinants' positive side; row 3 lies
    // at y = 201 - 30.
    ASSERT_TRUE(CTileChart::SquareAt(QPoint(1 + 220 + 3, 171 + 4), d, t));
    EXPECT_EQ(d, 3);
    EXPECT_EQ(t, 2);
    ASSERT_TRUE(CTileChart::SquareAt(QPoint(1 + 50, 201), d, t));
    EXPECT_EQ(d, 0);
    EXPECT_EQ(t, 14);
    EXPECT_FALSE(CTileChart::SquareAt(QPoint(1 + 228, 175), d, t)) << "between two columns";
    EXPECT_FALSE(CTileChart::SquareAt(QPoint(405, 175), d, t));
    EXPECT_TRUE(CTileChart::SquareText(3, 2).startsWith("Determinant 3, trace 2: "));
    EXPECT_TRUE(CTileChart::SquareText(0, 0).endsWith("no tile"));

    Window w(kTypeTile);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QString rows = w.doc->History().RowsText();
    CTileChart* chart = w.frame.TileBar()->Chart();
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(1 + 230 + 2, 161 + 2)); // trace 3, determinant 4
    ASSERT_TRUE(WaitIdle(w.doc));
    auto* tiles = static_cast<CTileSet*>(w.doc->m_fractal.get());
    EXPECT_EQ(tiles->m_determinant, 4);
    EXPECT_EQ(tiles->m_track, 3);
    CParametersBar* bar = w.frame.ParametersBar();
    EXPECT_EQ(bar->Grid().GetCellText(bar->FindItem("Determinant"), 1), "4");
    w.view->setFocus();
    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->History().RowsText(), rows);

    w.frame.NewFractalDocument(kTypeMandelbrot);
    const int windows = int(w.frame.MdiArea()->subWindowList().size());
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(1 + 100 + 2, 181 + 2)); // trace 9, determinant -2
    EXPECT_EQ(int(w.frame.MdiArea()->subWindowList().size()), windows + 1);
    CFractal_Doc* opened = w.frame.ActiveDocument();
    ASSERT_TRUE(WaitIdle(opened));
    ASSERT_EQ(opened->m_fractal->m_kind, CFractal::kTile);
    EXPECT_EQ(static_cast<CTileSet*>(opened->m_fractal.get())->m_determinant, -2);
    EXPECT_EQ(static_cast<CTileSet*>(opened->m_fractal.get())->m_track, 9);
    // Its picture is that tile's from the first build on: built apart, the
    // same rows at the same size give the same bytes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened->m_deviceBitmap.HasBitmap(); }, 10000));
    CTileSet apart;
    apart.m_determinant = -2;
    apart.m_track = 9;
    CCanvas canvas;
    canvas.SetTargetSize(opened->m_canvas->m_targetWidth, opened->m_canvas->m_targetHeight);
    apart.m_restart = true;
    ASSERT_EQ(RunBuildSteps(apart, canvas, kCmdRebuild).result, BuildOutcome::kDrawn);
    EXPECT_EQ(opened->m_deviceBitmap.Image().convertToFormat(QImage::Format_RGB32),
              CanvasImage(canvas).convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(opened->History().UndoStack()->count(), 0) << "its history starts at the square chosen";
}

// The Julia preview follows the pointer over a Mandelbrot window with the
// Julia set of the point under it, and opens that set in a window.
TEST(Navigation, TheJuliaPreviewFollowsThePointerAndOpensItsSet)
{
    QuickWindow w;
    CJuliaPreview* preview = w.frame.JuliaPreview();
    preview->show();
    // It paints as the window does.
    w.doc->m_fractal->m_colorMap.m_coloring = kColoringSmooth;
    w.doc->m_fractal->m_colorMap.m_gradientOffset = 0.3;
    // 320x200 about (-0.5, 0), pixels of 0.02: (170, 50) from the top left
    // is 10 pixels right of the centre and 49 above it.
    QTest::mouseMove(w.view->viewport(), QPoint(170, 50));
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview->Shown().has_value(); }, 10000));
    EXPECT_NEAR(preview->Shown()->first, -0.3, 1e-12);
    EXPECT_NEAR(preview->Shown()->second, 0.98, 1e-12);
    // The picture is that Julia set's, built apart at the dock's size.
    CMandelbrotSet julia;
    julia.m_type = julia.m_builtType = 1;
    julia.m_cRe = preview->Shown()->first;
    julia.m_cIm = preview->Shown()->second;
    julia.m_maxIterations = 40;
    julia.m_iterationsSet = true;
    julia.m_centerX = 0;
    julia.m_colorMap.m_coloring = kColoringSmooth;
    julia.m_colorMap.m_gradientOffset = 0.3;
    CCanvas canvas;
    canvas.SetTargetSize(CJuliaPreview::kSize, CJuliaPreview::kSize);
    julia.Build(canvas);
    julia.Draw(canvas);
    EXPECT_EQ(preview->Picture(), CanvasImage(canvas));

    // A stream of moves: the newest point is the one shown in the end.
    for (int x = 100; x < 140; x += 4)
        QTest::mouseMove(w.view->viewport(), QPoint(x, 120));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return preview->Shown() && std::abs(preview->Shown()->first + 0.98) < 1e-9; }, 10000));
    EXPECT_NEAR(preview->Shown()->second, -0.42, 1e-12);

    const int windows = int(w.frame.MdiArea()->subWindowList().size());
    QTest::mouseClick(preview, Qt::LeftButton, {}, QPoint(20, 40));
    ASSERT_EQ(int(w.frame.MdiArea()->subWindowList().size()), windows + 1);
    CFractal_Doc* opened = w.frame.ActiveDocument();
    ASSERT_TRUE(WaitIdle(opened));
    auto& set = static_cast<CMandelbrotSet&>(*opened->m_fractal);
    EXPECT_EQ(set.m_type, 1);
    EXPECT_NEAR(set.m_cRe, -0.98, 1e-9);
    EXPECT_NEAR(set.m_cIm, -0.42, 1e-12);
    EXPECT_EQ(set.m_centerX, 0.0);
    EXPECT_EQ(set.m_halfSize, 2.0);
    EXPECT_TRUE(opened->m_deviceBitmap.HasBitmap());
    EXPECT_EQ(opened->History().UndoStack()->count(), 0) << "its history starts at the Julia set";
}

// A Mandelbrot view past the resolution of doubles, through the real
// widgets: the wheel, a drag, undo, Back, the pointer's readout and the
// Properties bar carry the centre's whole digits.
#include <gtest/gtest.h>

#include <QUndoStack>
#include <QWheelEvent>

#include <set>
#include <sstream>

#include "document/CanvasImage.h"
#include "document/DocumentFiles.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "numbers/Coordinate.h"
#include "parameters/ParametersBar.h"
#include "parameters/PropertyGrid.h"
#include "tests/app/GridClick.h"
#include "tests/app/WindowFixture.h"

namespace {

const std::string kDeepX = "-0.75000000000000000000000000000000000000001";
const std::string kDeepY = "0.10000000000000000000000000000000000000002";

QString Rows(CFractal& f)
{
    std::ostringstream out;
    WriteDocumentFile(out, kTypeMandelbrot, f);
    return QString::fromStdString(out.str());
}

// 320 x 200 at a radius of 1e-38: pixels of 1e-40 about a centre no double
// holds. Few iterations keep the builds quick.
struct DeepWindow : Window {
    DeepWindow() : Window(kTypeMandelbrot)
    {
        auto& m = static_cast<CMandelbrotSet&>(*doc->m_fractal);
        m.m_maxIterations = 40;
        m.m_centerX = -0.75;
        m.m_centerY = 0.1;
        m.m_centerXDigits = kDeepX;
        m.m_centerYDigits = kDeepY;
        m.m_halfSize = 1e-38;
        doc->History().RestoreRows(Rows(m));
        EXPECT_TRUE(WaitIdle(doc));
        doc->History().MarkSaved();
    }
    CFractal& Fractal() { return *doc->m_fractal; }
};

void Wheel(CFractal_View* view, QPoint at, int angle)
{
    QWidget* port = view->viewport();
    QWheelEvent e(at, port->mapToGlobal(at), {}, QPoint(0, angle), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(port, &e);
}

} // namespace

TEST(DeepNavigation, TwelveWheelNotchesAreUndoneToTheSameDigits)
{
    DeepWindow w;
    ASSERT_EQ(w.Fractal().m_centerXDigits, kDeepX);
    const QString start = w.doc->History().RowsText();
    ASSERT_TRUE(start.contains(QString::fromStdString("x=" + kDeepX + "\r\n")));
    const int index = w.doc->History().UndoStack()->index();
    // Enough notches for the centre to need more digits than it came with.
    constexpr int kNotches = 12;
    for (int notch = 0; notch < kNotches; ++notch) {
        Wheel(w.view, QPoint(250, 40), 120);
        ASSERT_TRUE(WaitIdle(w.doc));
    }
    // 1.5^12 deeper, the centre moved towards the pointer, digits and all.
    EXPECT_NEAR(w.Fractal().m_halfSize, 1e-38 / std::pow(1.5, kNotches), 1e-52);
    EXPECT_NE(w.Fractal().m_centerXDigits, kDeepX);
    EXPECT_TRUE(DigitsHold(w.Fractal().m_centerXDigits, w.Fractal().m_centerX));
    EXPECT_TRUE(DigitsHold(w.Fractal().m_centerYDigits, w.Fractal().m_centerY));
    EXPECT_GT(w.Fractal().m_centerXDigits.size(), kDeepX.size());
    const QString deepest = w.doc->History().RowsText();

    // Back through the view history, then forward again.
    for (int step = 0; step < kNotches && w.frame.BackAction()->isEnabled(); ++step) {
        w.doc->History().GoBack();
        ASSERT_TRUE(WaitIdle(w.doc));
    }
    EXPECT_EQ(w.Fractal().m_centerXDigits, kDeepX);
    EXPECT_EQ(w.Fractal().m_centerYDigits, kDeepY);
    while (w.frame.ForwardAction()->isEnabled()) {
        w.doc->History().GoForward();
        ASSERT_TRUE(WaitIdle(w.doc));
    }
    EXPECT_EQ(w.doc->History().RowsText(), deepest);

    // And undo all the way: the very digits the view started from.
    w.view->setFocus();
    while (w.doc->History().UndoStack()->index() > index) {
        QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
        ASSERT_TRUE(WaitIdle(w.doc));
    }
    EXPECT_EQ(w.Fractal().m_centerXDigits, kDeepX);
    EXPECT_EQ(w.Fractal().m_centerYDigits, kDeepY);
    EXPECT_EQ(w.Fractal().m_halfSize, 1e-38);
    EXPECT_EQ(w.doc->History().RowsText(), start);
}

TEST(DeepNavigation, ADragOfOnePixelAndTheReadout)
{
    DeepWindow w;
    // The pixel right of and above the middle is the centre: its readout
    // has the 41 places a pixel of 1e-40 needs.
    QTest::mouseMove(w.view->viewport(), QPoint(160, 99));
    EXPECT_EQ(w.view->LastStatus(), QString::fromStdString("x = " + kDeepX + "   y = " + kDeepY));
    QTest::mouseMove(w.view->viewport(), QPoint(161, 98));
    EXPECT_EQ(w.view->LastStatus(),
              "x = -0.74999999999999999999999999999999999999991   y = 0.10000000000000000000000000000000000000012");

    // The picture dragged one pixel left and one down: the centre moves
    // one pixel right and one up, exactly.
    QTest::mousePress(w.view->viewport(), Qt::MiddleButton, {}, QPoint(100, 100));
    QTest::mouseMove(w.view->viewport(), QPoint(99, 101));
    QTest::mouseRelease(w.view->viewport(), Qt::MiddleButton, {}, QPoint(99, 101));
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.Fractal().m_centerXDigits, "-0.74999999999999999999999999999999999999991");
    EXPECT_EQ(w.Fractal().m_centerYDigits, "0.10000000000000000000000000000000000000012");
    EXPECT_EQ(w.Fractal().m_centerX, -0.75);
}

TEST(DeepNavigation, TheRowXTakesSixtyDigitsAndBuildsThere)
{
    DeepWindow w;
    CParametersBar* bar = w.frame.ParametersBar();
    CPropertyGrid& grid = bar->Grid();
    auto click = [&](const QString& label) { ClickValue(bar, label); };
    EXPECT_EQ(grid.GetCellText(bar->FindItem("x"), 1), QString::fromStdString(kDeepX));

    const QString sixty = "-1.749999999999999999999999999999999999999999999999999999999987";
    click("x");
    ASSERT_NE(grid.Editor(), nullptr);
    grid.Editor()->selectAll();
    QTest::keyClicks(grid.Editor(), sixty);
    click("y");
    EXPECT_EQ(w.Fractal().m_centerX, -1.75);
    EXPECT_EQ(QString::fromStdString(w.Fractal().m_centerXDigits), sixty);
    EXPECT_EQ(grid.GetCellText(bar->FindItem("x"), 1), sixty);
    EXPECT_EQ(w.doc->History().UndoStack()->undoText(), "Edit x");

    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(QString::fromStdString(w.Fractal().m_centerXDigits), sixty);
    EXPECT_TRUE(w.doc->History().RowsText().contains("\r\nx=" + sixty + "\r\n"));
    // The readout at the centre: -1.75 + 1.3e-59 to 41 places.
    QTest::mouseMove(w.view->viewport(), QPoint(160, 99));
    EXPECT_TRUE(w.view->LastStatus().startsWith("x = -1.75000000000000000000000000000000000000000   y = "))
        << w.view->LastStatus().toStdString();
}

namespace {

// Colours the window's image shows: a flat picture has one.
size_t Colors(CFractal_Doc* doc)
{
    const QImage image = CanvasImage(*doc->m_canvas).convertToFormat(QImage::Format_RGB32);
    std::set<QRgb> colors;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colors.insert(image.pixel(x, y));
    return colors.size();
}

} // namespace

// About the tip c = -2 at a radius of 1e-1000: typed into the Properties
// bar, zoomed by a wheel notch and the + key, undone and walked back, the
// radius row shows the size at every step and the image is never flat.
TEST(DeepNavigation, ARadiusOf1e1000IsTypedZoomedUndoneAndWalkedBack)
{
    // A small image: each view at this depth costs some 1700 steps a pixel.
    Window w(kTypeMandelbrot, 96, 64);
    auto& m = static_cast<CMandelbrotSet&>(*w.doc->m_fractal);
    m.m_maxIterations = 1680;
    m.m_centerX = -2;
    m.m_centerY = 0;
    m.m_centerXDigits.clear();
    m.m_centerYDigits.clear();
    w.doc->History().RestoreRows(Rows(m));
    ASSERT_TRUE(WaitIdle(w.doc));
    CParametersBar* bar = w.frame.ParametersBar();
    CPropertyGrid& grid = bar->Grid();
    const auto radius = [&] { return grid.GetCellText(bar->FindItem("radius"), 1).toStdString(); };

    ClickValue(bar, "radius");
    ASSERT_NE(grid.Editor(), nullptr);
    grid.Editor()->selectAll();
    QTest::keyClicks(grid.Editor(), "1e-1000");
    ClickValue(bar, "x");
    EXPECT_EQ(radius(), "1e-1000");
    EXPECT_EQ(w.doc->m_fractal->m_halfSize, 0.0);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_TRUE(w.doc->m_canvas->Status().starts_with("Ready")) << w.doc->m_canvas->Status();
    EXPECT_GT(Colors(w.doc), 3u);
    EXPECT_TRUE(w.doc->History().RowsText().contains("\r\nradius=1e-1000\r\n"));

    // 1e-1000 / 1.5, then / 1.5 again, to 16 digits.
    Wheel(w.view, QPoint(48, 31), 120);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(radius(), "6.666666666666667e-1001");
    EXPECT_GT(Colors(w.doc), 3u);
    w.view->setFocus();
    QTest::keyClick(w.view, Qt::Key_Plus);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(radius(), "4.444444444444445e-1001");
    EXPECT_GT(Colors(w.doc), 3u);

    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(radius(), "6.666666666666667e-1001");
    // Back past the views the zooms made, to the one typed.
    for (int step = 0; step < 3 && radius() != "1e-1000"; ++step) {
        w.doc->History().GoBack();
        ASSERT_TRUE(WaitIdle(w.doc));
    }
    EXPECT_EQ(radius(), "1e-1000");
    EXPECT_TRUE(w.doc->m_canvas->Status().starts_with("Ready")) << w.doc->m_canvas->Status();
    EXPECT_GT(Colors(w.doc), 3u);
}

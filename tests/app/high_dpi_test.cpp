// The windows on a dense screen (two device pixels to a window pixel): the
// window's own size is built at device pixels and shown pixel for pixel,
// while the pointer, the wheel, the drag and the zoom rectangle still land
// on the world points under them. A chosen Bitmap Size keeps its pixels.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>

#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "tests/app/WindowFixture.h"

namespace {

void Wheel(CFractal_View* view, QPoint at, int angle)
{
    QWidget* port = view->viewport();
    QWheelEvent e(at, port->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(port, &e);
}

// The pointer moved over the view with no button held, delivered as the
// view gets it (QTest's own moves go through the screen's coordinates,
// which a scaled test screen may round a window pixel off).
void Move(CFractal_View* view, QPoint at)
{
    QWidget* port = view->viewport();
    QMouseEvent e(QEvent::MouseMove, at, port->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(port, &e);
}

// The world point the 2-D self-affine build stored in the cell under an
// image pixel (the grid's rows run upwards).
QPointF CellPoint(CFractal_Doc* doc, QPoint p)
{
    const CColorMap& map = doc->m_fractal->m_colorMap;
    const PixelRecord* cell = map.Cell(map.m_gridHeight - 1 - p.y(), p.x());
    return {cell->x, cell->y};
}

// What the view shows, one QImage pixel per device pixel.
QImage Shown(CFractal_View* view) { return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

// A Mandelbrot window of 160x100 window pixels whose builds are quick.
struct QuickWindow : Window {
    QuickWindow() : Window(kTypeMandelbrot, 160, 100)
    {
        static_cast<CMandelbrotSet&>(*doc->m_fractal).m_maxIterations = 40;
        static_cast<CMandelbrotSet&>(*doc->m_fractal).m_iterationsSet = true;
        doc->OnBuild(kCmdRebuild);
        EXPECT_TRUE(WaitIdle(doc));
    }
};

} // namespace

TEST(HighDpi, TheWindowsSizeIsBuiltAtDevicePixelsAndShownPixelForPixel)
{
    QuickWindow w;
    ASSERT_EQ(w.view->devicePixelRatio(), 2.0) << "the test screen is not dense";
    ASSERT_EQ(w.view->LogicalClientArea(), QSize(160, 100));
    const QImage image = w.doc->m_deviceBitmap.Image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.size(), QSize(320, 200));
    EXPECT_EQ(w.doc->m_canvas->m_targetWidth, 320u);
    EXPECT_EQ(w.doc->m_canvas->m_targetHeight, 200u);
    // Nothing to scroll: the image covers the window exactly.
    EXPECT_EQ(w.view->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(w.view->verticalScrollBar()->maximum(), 0);
    // Sharp: every device pixel on the screen is the image's own pixel.
    const QImage shown = Shown(w.view);
    ASSERT_EQ(shown.size(), QSize(320, 200));
    EXPECT_EQ(shown, image);
}

TEST(HighDpi, AChosenBitmapSizeKeepsItsPixelsAndTheWindowItsSize)
{
    QuickWindow w;
    // 320x200 chosen: a 320x200 image in a window of 320x200 window
    // pixels, each image pixel shown on two by two device pixels.
    w.view->OnBitmapSize(BitmapSize::k320x200);
    QApplication::processEvents();
    EXPECT_EQ(w.view->LogicalClientArea(), QSize(320, 200));
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QImage image = w.doc->m_deviceBitmap.Image().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(320, 200));
    const QImage shown = Shown(w.view);
    ASSERT_EQ(shown.size(), QSize(640, 400));
    int differ = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x)
            differ += shown.pixel(x, y) != image.pixel(x / 2, y / 2);
    EXPECT_EQ(differ, 0);

    // The custom size starts from the size in force; back to the window's
    // size, the next build has the window's device pixels again.
    unsigned asked = 0;
    w.view->m_askSize = [&](unsigned& width, unsigned&) {
        asked = width;
        return false;
    };
    w.view->OnBitmapSize(BitmapSize::kCustom);
    EXPECT_EQ(asked, 320u);
    w.view->OnBitmapSize(BitmapSize::kVariable);
    w.view->OnBitmapSize(BitmapSize::kCustom);
    EXPECT_EQ(asked, 320u) << "the window's own size, not its device pixels";
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->m_deviceBitmap.Image().size(), QSize(640, 400));
    EXPECT_EQ(Shown(w.view).size(), QSize(640, 400));
}

TEST(HighDpi, AWheelNotchKeepsTheWorldPointUnderThePointer)
{
    Window w(kTypeSelfAffine);
    w.doc->OnSample(1); // the Koch curve, a 2-D set
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_EQ(w.doc->m_deviceBitmap.Image().size(), QSize(640, 400));
    // The pointer at window pixel (125, 20) is on image pixel (250, 40).
    const QPoint p(125, 20), under(250, 40);
    const QPointF before = CellPoint(w.doc, under);
    const double half = w.doc->m_fractal->m_halfSize;

    Wheel(w.view, p, 120);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_halfSize, half / 1.5);
    const QPointF in = CellPoint(w.doc, under);
    EXPECT_NEAR(in.x(), before.x(), 1e-6);
    EXPECT_NEAR(in.y(), before.y(), 1e-6);
    // Its neighbour is one image pixel of the new size away: 400 of them
    // span the new radius twice.
    EXPECT_NEAR(CellPoint(w.doc, under + QPoint(1, 0)).x() - in.x(), 2 * half / 1.5 / 400, 1e-6);
}

TEST(HighDpi, CoordinatesPanAndTheZoomRectangleCountWindowPixels)
{
    QuickWindow w;
    // 320x200 image pixels at radius 2 about (-0.5, 0): an image pixel is
    // 4 / 200 = 0.02 wide, a window pixel 0.04. Window pixel (80, 49) is
    // image pixel (160, 98): the centre column, one row above the centre
    // row (99).
    Move(w.view, QPoint(80, 49));
    EXPECT_EQ(w.view->LastStatus(), "x = -0.500   y = 0.020");
    Move(w.view, QPoint(85, 44));
    EXPECT_EQ(w.view->LastStatus(), "x = -0.300   y = 0.220");

    // A drag by (15, -10) window pixels moves the centre by as many window
    // pixels: 0.6 to the left, 0.4 down.
    QTest::mousePress(w.view->viewport(), Qt::MiddleButton, {}, QPoint(50, 50));
    QTest::mouseMove(w.view->viewport(), QPoint(65, 40));
    QTest::mouseRelease(w.view->viewport(), Qt::MiddleButton, {}, QPoint(65, 40));
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_NEAR(w.doc->m_fractal->m_centerX, -1.1, 1e-12);
    EXPECT_NEAR(w.doc->m_fractal->m_centerY, -0.4, 1e-12);

    // A rectangle about window pixel (120, 50), 20 window pixels to each
    // side: 40 right of the centre (1.6 in x), on the centre row, an
    // eighth of the width (radius 2 / 4).
    QWidget* port = w.view->viewport();
    QTest::mousePress(port, Qt::LeftButton, {}, QPoint(120, 50));
    QTest::mouseMove(port, QPoint(130, 50));
    QTest::mouseMove(port, QPoint(140, 50));
    QTest::mouseRelease(port, Qt::LeftButton, {}, QPoint(140, 50));
    // Drawn in the image's pixels, where the pointer went.
    const CanvasRect r = w.doc->m_canvas->Selection();
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.right, 280);
    EXPECT_EQ(r.top, 75);
    EXPECT_EQ(r.bottom, 125);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_NEAR(w.doc->m_fractal->m_centerX, -1.1 + 1.6, 1e-12);
    EXPECT_NEAR(w.doc->m_fractal->m_centerY, -0.4, 1e-12);
    EXPECT_DOUBLE_EQ(w.doc->m_fractal->m_halfSize, 0.5);
}

TEST(HighDpi, ComputedDataReopensAtItsOwnPixels)
{
    // Built at the window's device pixels: 320x200 of them.
    Window w(kTypeSelfAffine, 160, 100);
    w.doc->OnSample(4); // a set in space
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_EQ(w.doc->m_deviceBitmap.Image().size(), QSize(320, 200));
    QTemporaryDir dir;
    const QString path = dir.filePath("set.fdt");
    QString error;
    ASSERT_TRUE(w.doc->SaveDataTo(path, error)) << error.toStdString();

    // Read back, its grid has the file's 320x200 cells a build's pixel
    // apart (radius twice over 200 rows), and the window shows each one on
    // a window pixel, as it does any image of a size of its own.
    ASSERT_TRUE(w.doc->OnOpenDocument(path, error)) << error.toStdString();
    w.doc->UpdateAllViews();
    QApplication::processEvents();
    const CColorMap& map = w.doc->m_fractal->m_colorMap;
    ASSERT_EQ(map.m_gridWidth, 320);
    ASSERT_EQ(map.m_gridHeight, 200);
    // The file holds the hits; their neighbours on the set are a pixel apart.
    const double pixel = 2 * w.doc->m_fractal->m_halfSize / 200;
    // Each hit lies on the ray through its pixel: where that ray meets the
    // screen plane is what is a pixel apart.
    const double zc = w.doc->m_fractal->m_centerZ;
    auto screen = [&](const PixelRecord* p, double PixelRecord::*, float eye, float at) {
        const double t = (double(p->z) - zc) / (zc - map.m_observerZ);
        return (double(at) + t * eye) / (1 + t);
    };
    auto sx = [&](const PixelRecord* p) { return screen(p, nullptr, float(map.m_observerX), p->x); };
    auto sy = [&](const PixelRecord* p) { return screen(p, nullptr, float(map.m_observerY), p->y); };
    int pairs = 0;
    for (int r = 0; r + 1 < 200; ++r)
        for (int c = 0; c + 1 < 320; ++c) {
            const PixelRecord* a = map.Cell(r, c);
            if (a->value == 0 || map.Cell(r, c + 1)->value == 0 || map.Cell(r + 1, c)->value == 0)
                continue;
            ++pairs;
            ASSERT_NEAR(sx(map.Cell(r, c + 1)) - sx(a), pixel, 1e-5);
            ASSERT_NEAR(sy(map.Cell(r + 1, c)) - sy(a), pixel, 1e-5);
        }
    EXPECT_GT(pairs, 100);
    EXPECT_EQ(w.doc->m_deviceBitmap.Image().size(), QSize(320, 200));
    EXPECT_EQ(w.view->LogicalClientArea(), QSize(320, 200));
    EXPECT_EQ(w.doc->ImageScale(), 1.0);
    EXPECT_EQ(Shown(w.view).size(), QSize(640, 400));
}

// Moving a centre past the resolution of doubles: pans, zooms, the zoom
// rectangle, the preview and the pointer's readout work from its digits.
#include <gtest/gtest.h>

#include <string>

#include "document/BuildSteps.h"
#include "document/ViewPlace.h"
#include "imaging/Canvas.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "numbers/Coordinate.h"
#include "numbers/Mpfr.h"

namespace {

// -0.75 - 1e-41: a double holds only -0.75.
const std::string kDeepX = "-0.75000000000000000000000000000000000000001";
const std::string kDeepY = "0.10000000000000000000000000000000000000002";

// A place whose pixel is 1e-40 on a 200 x 100 image.
ViewPlace DeepPlace()
{
    ViewPlace p{-0.75, 0.1, 5e-39};
    p.xDigits = kDeepX;
    p.yDigits = kDeepY;
    return p;
}

// a - b exactly, as far as the places kept tell.
double Difference(const std::string& a, const std::string& b)
{
    MpfrReal x(1024), y(1024);
    EXPECT_TRUE(x.Parse(a) && y.Parse(b)) << a << " " << b;
    mpfr_sub(x.get(), x.get(), y.get(), MPFR_RNDN);
    return mpfr_get_d(x.get(), MPFR_RNDN);
}

} // namespace

TEST(WholeCenter, APanOfOnePixelMovesTheDigitsByOnePixel)
{
    const QSize image(200, 100);
    const ViewPlace start = DeepPlace();
    const double d = PixelSize(start, image);
    ASSERT_NEAR(d, 1e-40, 1e-55);
    // The picture dragged one pixel left and one down: the centre goes one
    // pixel right and one up. -0.75 - 1e-41 + 1e-40, 0.1 + 2e-41 + 1e-40.
    const ViewPlace moved = PanBy(start, image, QPointF(-1, 1));
    EXPECT_EQ(moved.xDigits, "-0.74999999999999999999999999999999999999991");
    EXPECT_EQ(moved.yDigits, "0.10000000000000000000000000000000000000012");
    EXPECT_EQ(moved.x, -0.75);
    EXPECT_EQ(moved.y, 0.1);
    // Fifty single pixels add up to fifty pixels, not to fifty roundings.
    ViewPlace walk = start;
    for (int i = 0; i < 50; ++i)
        walk = PanBy(walk, image, QPointF(1, 0));
    EXPECT_NEAR(Difference(walk.xDigits, kDeepX), -50 * d, 1e-43);
    EXPECT_EQ(walk.yDigits, kDeepY);
}

TEST(WholeCenter, AWheelZoomKeepsThePointUnderThePointer)
{
    const QSize image(200, 100);
    ViewPlace place = DeepPlace();
    const QPointF pointer(170, 20);
    const auto before = WorldTextAt(place, image, pointer);
    for (int notch = 0; notch < 20; ++notch) {
        const ViewPlace next = ZoomAbout(place, image, pointer, kWheelZoom);
        const double e = PixelSize(next, image);
        ASSERT_FALSE(next.xDigits.empty());
        // The world point under the pointer moves by far less than a pixel.
        const auto a = WorldTextAt(place, image, pointer), b = WorldTextAt(next, image, pointer);
        EXPECT_LT(std::abs(Difference(b.first.toStdString(), a.first.toStdString())), e);
        EXPECT_LT(std::abs(Difference(b.second.toStdString(), a.second.toStdString())), e);
        place = next;
    }
    // After twenty notches the point is still the one first pointed at.
    const auto after = WorldTextAt(place, image, pointer);
    EXPECT_LT(std::abs(Difference(after.first.toStdString(), before.first.toStdString())), 1e-40);
    // A zoom about the centre pixel leaves the centre's digits alone.
    const ViewPlace still = ZoomAbout(DeepPlace(), image, QPointF(100, 49), kWheelZoom);
    EXPECT_EQ(still.xDigits, kDeepX);
    EXPECT_EQ(still.yDigits, kDeepY);
}

TEST(WholeCenter, ThePreviewAndTheReadoutSeeTheDigits)
{
    const QSize image(200, 100);
    const ViewPlace start = DeepPlace();
    // The two doubles are equal; the picture still moves by 3 and 2 pixels.
    const ViewPlace moved = PanBy(start, image, QPointF(3, -2));
    ASSERT_EQ(moved.x, start.x);
    ASSERT_EQ(moved.y, start.y);
    const QTransform t = PreviewTransform(start, image, moved, image);
    EXPECT_NEAR(t.dx(), 3, 1e-9);
    EXPECT_NEAR(t.dy(), -2, 1e-9);
    EXPECT_NEAR(t.m11(), 1, 1e-15);

    // The centre pixel reads the centre, with the 41 places a pixel of
    // 1e-40 needs; a pixel to its right one pixel more.
    EXPECT_EQ(WorldTextAt(start, image, QPointF(100, 49)),
              std::make_pair(QString::fromStdString(kDeepX), QString::fromStdString(kDeepY)));
    EXPECT_EQ(WorldTextAt(start, image, QPointF(101, 49)).first, "-0.74999999999999999999999999999999999999991");
    EXPECT_EQ(CoordinateDecimals(1e-40), 41);
    // The world point itself, as a double, is the digits' nearest.
    EXPECT_EQ(WorldAt(start, image, QPointF(100, 49)), QPointF(-0.75, 0.1));
}

TEST(WholeCenter, AZoomRectangleAtDepthMovesTheDigits)
{
    CMandelbrotSet f;
    CCanvas c;
    c.m_targetWidth = 200;
    c.m_targetHeight = 100;
    c.m_anchorX = 110; // ten pixels right of the centre column
    c.m_anchorY = 45;  // five pixels up
    c.m_halfWidth = 50;
    f.m_centerX = -0.75;
    f.m_centerY = 0.1;
    f.m_centerXDigits = kDeepX;
    f.m_centerYDigits = kDeepY;
    f.m_halfSize = 5e-39; // a pixel of 1e-40
    ApplyZoom(f, c, false);
    EXPECT_EQ(f.m_halfSize, 5e-39 / 2);
    EXPECT_EQ(f.m_centerXDigits, "-0.74999999999999999999999999999999999999901"); // + 10 pixels
    EXPECT_EQ(f.m_centerYDigits, "0.10000000000000000000000000000000000000052");  // + 5 pixels
    // Out again by the same rectangle: back where it started.
    ApplyZoom(f, c, true);
    EXPECT_EQ(f.m_centerXDigits, kDeepX);
    EXPECT_EQ(f.m_centerYDigits, kDeepY);
    EXPECT_EQ(f.m_centerX, -0.75);

    // A shallow view keeps the doubles' arithmetic and carries no digits.
    f.m_halfSize = 1;
    f.m_centerXDigits = "-0.7500000000000000000001";
    ApplyZoom(f, c, false);
    EXPECT_EQ(f.m_centerX, -0.75 + 2.0 / 100 * 10);
    EXPECT_EQ(f.m_centerXDigits, "");
}

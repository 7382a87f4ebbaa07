#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <unistd.h>

#include "document/CanvasBitmap.h"
#include "imaging/Canvas.h"
#include "tests/AddressLimit.h"

TEST(CanvasBitmap, PrintedWidthIsHorzResTimesWidthOver1024)
{
    EXPECT_EQ(CCanvasBitmap::PrintedSize(4800, 512), 2400u);
    EXPECT_EQ(CCanvasBitmap::PrintedSize(4800, 1024), 4800u);
    CCanvas canvas;
    canvas.Resize(512, 256, 24);
    canvas.Clear();
    CCanvasBitmap bitmap;
    bitmap.Upload(canvas);
    ASSERT_TRUE(bitmap.HasBitmap());
    QImage page(4800, 3000, QImage::Format_RGB32);
    QPainter p(&page);
    const QRect r = bitmap.Paint(p, unsigned(page.width()));
    EXPECT_EQ(r, QRect(0, 0, 2400, 1200));
    EXPECT_EQ(bitmap.Paint(p), QRect(0, 0, 512, 256));
}

TEST(CanvasBitmap, UploadTurnsBottomRowDownAndFillsWhite)
{
    CCanvas canvas;
    canvas.Resize(3, 2, 24);
    canvas.Clear();
    canvas.Row(0)[2] = 255; // bottom-left pixel red (B, G, R)
    CCanvasBitmap bitmap;
    EXPECT_EQ(bitmap.Paint(*std::make_unique<QPainter>().get()), QRect()); // no bitmap yet
    bitmap.Upload(canvas);
    EXPECT_EQ(bitmap.m_bitmapWidth, 3);
    EXPECT_EQ(bitmap.Image().pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap.Image().pixel(0, 0), qRgb(0, 0, 0));
    bitmap.FillBitmap(0x0000FF); // red in the low byte
    EXPECT_EQ(bitmap.Image().pixel(2, 0), qRgb(255, 0, 0));
}

TEST(CanvasBitmap, AnImageThatCannotBeHadKeepsTheLastOne)
{
    // The child starts afresh rather than forked from a process with threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CCanvas small;
    small.Resize(3, 2, 24);
    small.Clear();
    small.Row(0)[2] = 255; // bottom-left pixel red
    CCanvasBitmap bitmap;
    ASSERT_TRUE(bitmap.Upload(small));
    EXPECT_FALSE(bitmap.Upload(CCanvas())) << "no buffer, nothing uploaded";
    EXPECT_EQ(bitmap.Image().size(), QSize(3, 2));
    if (!kAddressLimitWorks)
        GTEST_SKIP() << "an address-space limit and a sanitizer do not mix";
    // 75 MB; its two images need 175 MB more, more than any free heap.
    CCanvas large;
    large.Resize(5000, 5000, 24);
    EXPECT_EXIT(
        {
            alarm(60); // a wrong outcome must not hang the suite
            if (!LimitAddressSpace(8u << 20))
                std::_Exit(3);
            const bool uploaded = bitmap.Upload(large);
            const bool kept = bitmap.m_bitmapWidth == 3 && bitmap.m_bitmapHeight == 2 &&
                              bitmap.Image().size() == QSize(3, 2) && bitmap.Image().pixel(0, 1) == qRgb(255, 0, 0);
            std::_Exit(!uploaded && kept ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

#pragma once
// The device side of the canvas: the image a window paints from, filled
// from the canvas's pixel buffer on the GUI thread after a build, painted
// one to one on screen and scaled on a printer.

#include <QImage>
#include <QRect>
#include <cstdint>

class QPainter;
class CCanvas;
struct CanvasRect;

class CCanvasBitmap {
public:
    // Copies the canvas's buffer into the bitmap, replacing the bitmap when
    // the sizes differ. False when there is no buffer, or when memory for
    // the images cannot be had: the bitmap is then the one it was. GUI
    // thread only, never while a painter writes.
    bool Upload(const CCanvas& canvas);
    // Fills the whole bitmap; `colour` is 0x00BBGGRR (red in the low byte).
    void FillBitmap(uint32_t color);
    // Draws the bitmap at (0, 0). `horzRes` > 0 means a printer whose
    // printable width is that many device pixels: the image is stretched to
    // horzRes * size / 1024. Returns the device rectangle drawn (empty when
    // nothing was drawn).
    QRect Paint(QPainter& painter, unsigned horzRes = 0) const;
    // Draws the zoom rectangle as a dotted, pixel-inverting frame.
    static void DrawSelection(QPainter& painter, const CanvasRect& selection);

    // The printed size of `size` pixels on a device `horzRes` pixels wide.
    static unsigned PrintedSize(unsigned horzRes, int size)
    {
        return unsigned((uint64_t(horzRes) * unsigned(size)) >> 10);
    }

    bool HasBitmap() const { return !m_bitmap.isNull(); }
    const QImage& Image() const { return m_bitmap; }

    int m_bitmapWidth = 1;
    int m_bitmapHeight = 1;

private:
    QImage m_bitmap;
};

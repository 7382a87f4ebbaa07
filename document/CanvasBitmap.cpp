#include "document/CanvasBitmap.h"

#include <QPainter>
#include <QPen>

#include "document/CanvasImage.h"
#include "imaging/Canvas.h"

bool CCanvasBitmap::Upload(const CCanvas& canvas)
{
    if (!canvas.HasBuffer())
        return false;
    // Both images are had before the old bitmap is given up, so a failed
    // allocation (a null image) leaves the picture the window showed.
    const QImage picture = CanvasImage(canvas);
    if (picture.isNull())
        return false;
    const int w = int(canvas.m_bufferWidth), h = int(canvas.m_bufferHeight);
    if (m_bitmap.isNull() || m_bitmapWidth != w || m_bitmapHeight != h) {
        QImage fresh(w, h, QImage::Format_RGB32);
        if (fresh.isNull())
            return false;
        m_bitmap = std::move(fresh);
        m_bitmapWidth = w;
        m_bitmapHeight = h;
    }
    FillBitmap(0xFFFFFF);
    QPainter p(&m_bitmap);
    p.drawImage(0, 0, picture);
    return true;
}

void CCanvasBitmap::FillBitmap(uint32_t color)
{
    if (m_bitmap.isNull())
        return;
    m_bitmap.fill(QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF)));
}

QRect CCanvasBitmap::Paint(QPainter& painter, unsigned horzRes) const
{
    if (m_bitmap.isNull())
        return {};
    if (horzRes == 0) {
        painter.drawImage(0, 0, m_bitmap);
        return QRect(0, 0, m_bitmapWidth, m_bitmapHeight);
    }
    const QRect target(0, 0, int(PrintedSize(horzRes, m_bitmapWidth)), int(PrintedSize(horzRes, m_bitmapHeight)));
    if (target.isEmpty())
        return {};
    painter.drawImage(target, m_bitmap);
    return target;
}

void CCanvasBitmap::DrawSelection(QPainter& painter, const CanvasRect& s)
{
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    QPen pen(Qt::white);
    pen.setStyle(Qt::DotLine);
    pen.setWidth(1);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(QPoint(s.left, s.top), QPoint(s.right - 1, s.bottom - 1)));
    painter.restore();
}

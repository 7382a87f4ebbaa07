#include "document/CanvasImage.h"

#include <QBuffer>
#include <QImageWriter>

#include "document/DocumentFiles.h"
#include "imaging/Canvas.h"

QImage CanvasImage(const CCanvas& canvas)
{
    if (!canvas.HasBuffer() || canvas.m_bufferWidth == 0 || canvas.m_bufferHeight == 0)
        return {};
    const QImage::Format format = canvas.m_bitsPerPixel == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32;
    // Wraps the buffer without copying, then flips it into a detached copy.
    QImage wrapped(canvas.m_bits.data(), int(canvas.m_bufferWidth), int(canvas.m_bufferHeight),
                   qsizetype(canvas.m_stride), format);
    return wrapped.mirrored(false, true);
}

bool SaveImageFile(const std::string& path, const CCanvas& canvas, std::string& error, const ReplaceGate& gate)
{
    if (!QString::fromStdString(path).endsWith(".png", Qt::CaseInsensitive))
        return SaveBitmapFile(path, canvas, error, gate);
    if (!canvas.HasBuffer()) {
        error = "Cannot write \"" + path + "\": there is no image yet.";
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(CanvasImage(canvas))) {
        error = "Cannot write \"" + path + "\": " + writer.errorString().toStdString() + ".";
        return false;
    }
    return WriteFileAtomically(path, bytes.toStdString(), error, gate);
}

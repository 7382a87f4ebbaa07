#include "document/CanvasImage.h"

#include <QBuffer>
#include <QImageReader>
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

bool SaveImageFile(const std::string& path, const CCanvas& canvas, std::string& error, const ReplaceGate& gate,
                   const PngExtras& extras)
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
    QImage image = CanvasImage(canvas);
    // The image's own text, not the writer's: the writer folds its keys
    // and their lines into one "Description".
    if (!extras.document.empty())
        image.setText(kPngDocumentKey, QString::fromStdString(extras.document));
    if (extras.sixteenBits)
        image.convertTo(QImage::Format_RGBX64);
    if (!writer.write(image)) {
        error = "Cannot write \"" + path + "\": " + writer.errorString().toStdString() + ".";
        return false;
    }
    return WriteFileAtomically(path, bytes.toStdString(), error, gate);
}

bool ReadPngDocument(const std::string& path, std::string& text, std::string& error)
{
    // A pipe or a device would keep the reader waiting.
    if (const std::string why = NotARegularFile(path); !why.empty()) {
        error = "Cannot open \"" + path + "\": " + why + ".";
        return false;
    }
    QImageReader reader(QString::fromStdString(path), "png");
    if (!reader.canRead()) {
        error = "Cannot open \"" + path + "\": it is not a PNG image (" + reader.errorString().toStdString() + ").";
        return false;
    }
    // The reader gives an image's text only with its pixels, and another
    // program may have put the text after them. Shrunk to one pixel as
    // they are read, a poster-sized image costs no memory.
    reader.setScaledSize(QSize(1, 1));
    const QImage image = reader.read();
    if (image.isNull()) {
        error = "Cannot open \"" + path + "\": " + reader.errorString().toStdString() + ".";
        return false;
    }
    const QString found = image.text(kPngDocumentKey);
    if (found.isEmpty()) {
        error = "Cannot open \"" + path +
                "\": the image holds no fractal document (only PNG images this program "
                "wrote with a document, or copies that kept their \"" +
                std::string(kPngDocumentKey) + "\" text, open as one).";
        return false;
    }
    text = found.toStdString();
    return true;
}

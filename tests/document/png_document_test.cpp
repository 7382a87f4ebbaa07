// A PNG the program writes holds its document: the text read back is the
// ".frc" file's, opening it gives the view, 16 bits widen every level
// exactly, and a chunk that is no document gets the ".frc" reader's answer.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>

#include "document/CanvasImage.h"
#include "document/DocumentFiles.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

std::string Bytes(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A zoomed Julia set with its own colours, built and drawn.
struct Picture {
    CMandelbrotSet set;
    CCanvas canvas;
    Picture()
    {
        set.m_type = 1;
        set.m_cRe = -0.8;
        set.m_cIm = 0.156;
        set.m_colorMap.m_green = 2.5;
        set.m_colorMap.m_blueShift = -0.25;
        canvas.m_targetWidth = 40;
        canvas.m_targetHeight = 30;
        set.Build(canvas);
        set.m_centerX = 0.125;
        set.m_centerY = -0.0625;
        set.m_halfSize = 0.5;
        set.Build(canvas);
        set.Draw(canvas);
    }
};

void WritePng(const QString& path, QImage image, const char* key, const QString& text)
{
    if (key)
        image.setText(key, text);
    QImageWriter writer(path, "png");
    ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
}

TEST(PngDocument, TheTextReadBackIsTheDocumentFileAndOpensItsView)
{
    QTemporaryDir dir;
    Picture p;
    const QString frc = dir.filePath("julia.frc"), png = dir.filePath("julia.png");
    std::string error;
    ASSERT_TRUE(SaveDocumentFile(frc.toStdString(), kTypeMandelbrot, p.set, error)) << error;
    ASSERT_TRUE(SaveImageFile(png.toStdString(), p.canvas, error, {},
                              PngExtras{DocumentFileText(kTypeMandelbrot, p.set), false}))
        << error;
    std::string text;
    ASSERT_TRUE(ReadPngDocument(png.toStdString(), text, error)) << error;
    EXPECT_EQ(text, Bytes(frc));

    LoadedDocument doc;
    ASSERT_TRUE(ReadDocumentText(text, png.toStdString(), doc, error)) << error;
    EXPECT_EQ(doc.fractalType, kTypeMandelbrot);
    EXPECT_EQ(doc.fractal->m_centerX, 0.125);
    EXPECT_EQ(doc.fractal->m_centerY, -0.0625);
    EXPECT_EQ(doc.fractal->m_halfSize, 0.5);
    // Built again, the opened document paints the pixels the image holds.
    CCanvas again;
    again.m_targetWidth = 40;
    again.m_targetHeight = 30;
    doc.fractal->Build(again);
    doc.fractal->Draw(again);
    const QImage read(png);
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), CanvasImage(again).convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), CanvasImage(p.canvas).convertToFormat(QImage::Format_RGB32));
}

TEST(PngDocument, SixteenBitsWidenEveryLevelExactlyAndKeepTheDocument)
{
    QTemporaryDir dir;
    Picture p;
    const QString png = dir.filePath("deep.png");
    const std::string frc = DocumentFileText(kTypeMandelbrot, p.set);
    std::string error;
    ASSERT_TRUE(SaveImageFile(png.toStdString(), p.canvas, error, {}, PngExtras{frc, true})) << error;
    const std::string bytes = Bytes(png);
    // The header chunk follows the 8-byte signature: length, "IHDR", width,
    // height, then the bit depth.
    ASSERT_GT(bytes.size(), 25u);
    EXPECT_EQ(bytes.substr(12, 4), "IHDR");
    EXPECT_EQ(int(uint8_t(bytes[24])), 16);
    const QImage wide = QImage(png).convertToFormat(QImage::Format_RGBX64);
    const QImage narrow = CanvasImage(p.canvas).convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(wide.size(), narrow.size());
    for (int y = 0; y < wide.height(); ++y) {
        const auto* w = reinterpret_cast<const uint16_t*>(wide.constScanLine(y));
        const uint8_t* n = narrow.constScanLine(y);
        for (int x = 0; x < wide.width(); ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(w[4 * x + c], n[3 * x + c] * 257) << x << "," << y << " channel " << c;
    }
    std::string text;
    ASSERT_TRUE(ReadPngDocument(png.toStdString(), text, error)) << error;
    EXPECT_EQ(text, frc);
}

// Whatever the chunk holds, the PNG opens as a ".frc" file of that text
// would: the same answer and the same sentence, never a crash.
TEST(PngDocument, AChunkThatIsNoDocumentGetsTheDocumentReadersAnswer)
{
    QTemporaryDir dir;
    Picture p;
    const std::string good = DocumentFileText(kTypeMandelbrot, p.set);
    std::vector<std::string> texts = {"not a document\nat all", "Fractal Type=Nothing Known\r\n",
                                      "Fractal Type=Mandelbrot Set\r\n", good.substr(0, good.size() / 2)};
    for (size_t cut = 7; cut < good.size(); cut += 97) {
        std::string t = good;
        t[cut] = char(t[cut] ^ 0x15);
        texts.push_back(t);
        texts.push_back(good.substr(0, cut));
    }
    const QImage image = CanvasImage(p.canvas);
    for (size_t i = 0; i < texts.size(); ++i) {
        const QString png = dir.filePath(QString("doc%1.png").arg(i)), frc = dir.filePath(QString("doc%1.frc").arg(i));
        WritePng(png, image, kPngDocumentKey, QString::fromStdString(texts[i]));
        {
            std::ofstream(frc.toStdString(), std::ios::binary) << texts[i];
        }
        std::string text, pngError, frcError;
        ASSERT_TRUE(ReadPngDocument(png.toStdString(), text, pngError)) << pngError;
        ASSERT_EQ(text, texts[i]);
        LoadedDocument fromPng, fromFrc;
        const bool pngRead = ReadDocumentText(text, "the file", fromPng, pngError);
        const bool frcRead = OpenDocumentFile(frc.toStdString(), fromFrc, frcError);
        QString frcMessage = QString::fromStdString(frcError);
        frcMessage.replace(frc, "the file");
        EXPECT_EQ(pngRead, frcRead) << texts[i];
        EXPECT_EQ(pngError, frcMessage.toStdString()) << texts[i];
        if (pngRead) {
            EXPECT_EQ(DocumentFileText(fromPng.fractalType, *fromPng.fractal),
                      DocumentFileText(fromFrc.fractalType, *fromFrc.fractal));
        }
    }
}

TEST(PngDocument, AnImageWithoutADocumentOrNoImageAtAllIsSaidSo)
{
    QTemporaryDir dir;
    Picture p;
    std::string text, error;
    const QString plain = dir.filePath("plain.png");
    WritePng(plain, CanvasImage(p.canvas), nullptr, {});
    EXPECT_FALSE(ReadPngDocument(plain.toStdString(), text, error));
    EXPECT_NE(error.find(plain.toStdString()), std::string::npos) << error;
    EXPECT_NE(error.find("holds no fractal document"), std::string::npos) << error;

    const QString other = dir.filePath("other.png");
    WritePng(other, CanvasImage(p.canvas), "Comment", "Fractal Type=Mandelbrot Set");
    EXPECT_FALSE(ReadPngDocument(other.toStdString(), text, error));
    EXPECT_NE(error.find("holds no fractal document"), std::string::npos) << error;

    const QString fake = dir.filePath("fake.png");
    {
        std::ofstream(fake.toStdString()) << "Fractal Type=Mandelbrot Set\r\n";
    }
    EXPECT_FALSE(ReadPngDocument(fake.toStdString(), text, error));
    EXPECT_NE(error.find("not a PNG image"), std::string::npos) << error;

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.png"));
    EXPECT_FALSE(ReadPngDocument(dir.filePath("folder.png").toStdString(), text, error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;

    // Every byte of a real one changed in turn, a few at a time: an answer
    // each time, never a crash, and a document only when it is one.
    const QString png = dir.filePath("real.png");
    ASSERT_TRUE(SaveImageFile(png.toStdString(), p.canvas, error, {},
                              PngExtras{DocumentFileText(kTypeMandelbrot, p.set), false}));
    const std::string bytes = Bytes(png);
    const QString broken = dir.filePath("broken.png");
    for (size_t at = 8; at < bytes.size(); at += 13) {
        std::string b = bytes;
        b[at] = char(b[at] ^ 0xA5);
        {
            std::ofstream(broken.toStdString(), std::ios::binary) << b;
        }
        error.clear();
        if (ReadPngDocument(broken.toStdString(), text, error)) {
            LoadedDocument doc;
            ReadDocumentText(text, "broken", doc, error);
        } else {
            EXPECT_NE(error.find(broken.toStdString()), std::string::npos) << at << ": " << error;
        }
    }
}

} // namespace

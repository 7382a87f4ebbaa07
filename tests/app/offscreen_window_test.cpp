// The window's anti-aliasing, Save Image As and printing, each against a
// render of its own: the menu's choice builds the window's image from
// samples, an image saved at another size leaves the window's image alone,
// and a print embeds an image of the printer's pixels, not the window's.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>
#include <optional>

#include "WindowFixture.h"
#include "app/Commands.h"
#include "document/CanvasImage.h"
#include "document/DocumentFiles.h"
#include "document/OffscreenRender.h"
#include "model/FractalFactory.h"

namespace {

QImage AsRgb32(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

// The view's image rendered apart, from the same rows.
QImage Rendered(CFractal_Doc* doc, unsigned w, unsigned h, AntiAliasing aa)
{
    std::unique_ptr<CFractal> copy = CopyOfFractal(*doc->m_fractal);
    CCanvas canvas;
    CanvasSink sink(canvas);
    EXPECT_EQ(RenderOffscreen(*copy, {w, h, aa}, sink, QueryMemoryStatus()).result, BuildOutcome::kDrawn);
    return AsRgb32(CanvasImage(canvas));
}

// The largest image a PDF file embeds, by its dictionary's /Width and
// /Height.
QSize LargestPdfImage(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray pdf = f.readAll();
    QSize largest;
    for (qsizetype at = pdf.indexOf("/Subtype /Image"); at >= 0; at = pdf.indexOf("/Subtype /Image", at + 1)) {
        const qsizetype open = pdf.lastIndexOf("<<", at), close = pdf.indexOf(">>", at);
        const QString dict = QString::fromLatin1(pdf.mid(open, close - open));
        const QRegularExpressionMatch w = QRegularExpression("/Width (\\d+)").match(dict);
        const QRegularExpressionMatch h = QRegularExpression("/Height (\\d+)").match(dict);
        if (w.hasMatch() && h.hasMatch() && w.captured(1).toInt() > largest.width())
            largest = QSize(w.captured(1).toInt(), h.captured(1).toInt());
    }
    return largest;
}

} // namespace

TEST(WindowAntiAliasing, TheMenusChoiceBuildsTheImageFromSamples)
{
    Window w(kTypeMandelbrot, 160, 120);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QImage plain = AsRgb32(w.doc->m_deviceBitmap.Image());
    ASSERT_EQ(plain.size(), QSize(160, 120));

    w.frame.Command(Cmd::kAntiAlias3x3)->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.doc->m_antiAliasing, (AntiAliasing{3, false}));
    const QImage sampled = AsRgb32(w.doc->m_deviceBitmap.Image());
    EXPECT_EQ(sampled, Rendered(w.doc, 160, 120, {3, false}));
    EXPECT_NE(sampled, plain);
    // Paint, too, samples: the cells are not the image's.
    w.doc->OnBuild(kCmdPaint);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(AsRgb32(w.doc->m_deviceBitmap.Image()), sampled);

    w.frame.Command(Cmd::kAntiAliasAdaptive)->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(AsRgb32(w.doc->m_deviceBitmap.Image()), Rendered(w.doc, 160, 120, {3, true}));

    w.frame.Command(Cmd::kAntiAliasOff)->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(AsRgb32(w.doc->m_deviceBitmap.Image()), plain);
    EXPECT_TRUE(w.doc->m_canvas->Status().starts_with("Ready")) << w.doc->m_canvas->Status();
}

TEST(SaveImageAs, AnImageOfItsOwnSizeLeavesTheWindowsImage)
{
    Window w(kTypeMandelbrot, 160, 120);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QImage shown = w.doc->m_deviceBitmap.Image();
    const std::vector<uint8_t> pixels = w.doc->m_canvas->m_bits;

    QTemporaryDir dir;
    const QString path = dir.filePath("poster.png");
    std::optional<BuildOutcome> ended;
    ASSERT_TRUE(w.doc->StartImageExport(
        path, {500, 300, {2, false}}, [&](const BuildOutcome& out) { ended = out; }, true));
    EXPECT_TRUE(w.doc->IsBuilding()) << "the export runs as the document's job";
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.has_value() && !w.doc->IsBuilding(); }, 30000));
    ASSERT_EQ(ended->result, BuildOutcome::kDrawn) << ended->refusal;

    // 16 bits per channel, every level v as v * 257, which narrows back
    // to v exactly.
    const QImage saved(path);
    ASSERT_EQ(saved.size(), QSize(500, 300));
    EXPECT_EQ(saved.depth(), 64);
    EXPECT_EQ(AsRgb32(saved), Rendered(w.doc, 500, 300, {2, false}));
    EXPECT_EQ(w.doc->m_deviceBitmap.Image(), shown);
    EXPECT_EQ(w.doc->m_canvas->m_bits, pixels);
    EXPECT_EQ(w.doc->m_fractal->m_colorMap.m_gridWidth, 160) << "the window's cells were used";

    // The image opens as the document it shows.
    const std::string document = DocumentFileText(w.doc->m_fractalType, *w.doc->m_fractal);
    ASSERT_TRUE(w.frame.OpenDocumentFile(path));
    CFractal_Doc* opened = w.frame.ActiveDocument();
    ASSERT_TRUE(opened && opened != w.doc);
    EXPECT_EQ(DocumentFileText(opened->m_fractalType, *opened->m_fractal), document);
}

TEST(SaveImageAs, StopEndsItAndWritesNothing)
{
    Window w(kTypeMandelbrot, 160, 120);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    QTemporaryDir dir;
    const QString path = dir.filePath("big.bmp");
    std::optional<BuildOutcome> ended;
    ASSERT_TRUE(w.doc->StartImageExport(path, {8000, 8000, {4, false}}, [&](const BuildOutcome& out) { ended = out; }));
    w.doc->OnStop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.has_value() && !w.doc->IsBuilding(); }, 10000));
    EXPECT_EQ(ended->result, BuildOutcome::kStopped);
    EXPECT_FALSE(QFile::exists(path));
}

TEST(Printing, ThePrintIsBuiltAtThePrintersPixels)
{
    Window w(kTypeMandelbrot, 320, 200);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("print.pdf"));
    printer.setResolution(300);
    const QRect drawn = w.view->PrintTo(printer);
    ASSERT_GT(drawn.width(), 2000) << "an A4 or Letter page at 300 dpi";
    EXPECT_EQ(LargestPdfImage(dir.filePath("print.pdf")), drawn.size());
    EXPECT_EQ(w.doc->m_deviceBitmap.Image().size(), QSize(320, 200));
}

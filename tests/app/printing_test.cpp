// Printing, to PDF files on the offscreen platform: the image fills the
// printable area in one direction, keeps its shape and sits in the middle,
// and the file is titled after the document.
#include <gtest/gtest.h>

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>

#include "WindowFixture.h"
#include "model/FractalFactory.h"

namespace {

// The /Title of a PDF file's information dictionary, read as the format
// defines a literal string: backslash escapes, nested parentheses, and
// UTF-16BE text after a byte-order mark (else one byte a character).
QString PdfTitle(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<unreadable>";
    const QByteArray pdf = f.readAll();
    qsizetype i = pdf.indexOf("/Title");
    if (i < 0)
        return "<no title>";
    i = pdf.indexOf('(', i);
    if (i < 0)
        return "<not a literal string>";
    QByteArray bytes;
    int depth = 1;
    for (++i; i < pdf.size(); ++i) {
        char c = pdf[i];
        if (c == '\\') {
            c = pdf[++i];
            if (c >= '0' && c <= '7') {
                int v = 0;
                for (int k = 0; k < 3 && pdf[i] >= '0' && pdf[i] <= '7'; ++k, ++i)
                    v = v * 8 + (pdf[i] - '0');
                --i;
                c = char(v);
            } else if (c == 'n') {
                c = '\n';
            } else if (c == 'r') {
                c = '\r';
            } else if (c == 't') {
                c = '\t';
            }
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            break;
        }
        bytes += c;
    }
    if (bytes.startsWith("\xfe\xff")) {
        QString text;
        for (qsizetype k = 2; k + 1 < bytes.size(); k += 2)
            text += QChar(char16_t((uchar(bytes[k]) << 8) | uchar(bytes[k + 1])));
        return text;
    }
    return QString::fromLatin1(bytes);
}

bool HasImage(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.readAll().contains("/Subtype /Image");
}

struct PdfPrinter {
    QTemporaryDir dir;
    QPrinter printer{QPrinter::HighResolution};
    QString path = dir.filePath("out.pdf");
    PdfPrinter()
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        // A print is built at the printer's pixels: 300 dpi keeps it quick.
        printer.setResolution(300);
    }
    // The printable area where the painter draws: from its own corner.
    QRect Page() const
    {
        return QRect(QPoint(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
    }
};

} // namespace

TEST(Printing, PrintedRectFitsAndCentersWorkedByHand)
{
    // 320x200 on 4800x6000: the width fills, 4800 x 200/320 = 3000 high,
    // (6000 - 3000) / 2 = 1500 from the top.
    EXPECT_EQ(PrintedRect(QSize(320, 200), QRect(0, 0, 4800, 6000)), QRect(0, 1500, 4800, 3000));
    // 100x400 on the same page: the height fills, 1500 wide, 1650 in.
    EXPECT_EQ(PrintedRect(QSize(100, 400), QRect(0, 0, 4800, 6000)), QRect(1650, 0, 1500, 6000));
    // A page that does not start at the origin carries its offset.
    EXPECT_EQ(PrintedRect(QSize(3, 1), QRect(50, 60, 10, 10)), QRect(50, 63, 10, 3));
    // A small image grows to the page, not only a large one shrinks.
    EXPECT_EQ(PrintedRect(QSize(10, 10), QRect(0, 0, 4000, 5000)), QRect(0, 500, 4000, 4000));
    EXPECT_TRUE(PrintedRect(QSize(0, 10), QRect(0, 0, 100, 100)).isEmpty());
    EXPECT_TRUE(PrintedRect(QSize(10, 10), QRect()).isEmpty());
}

TEST(Printing, AWideAndATallImageFillThePageCenterdWithTheirShape)
{
    for (const QSize image : {QSize(320, 200), QSize(150, 400)}) {
        SCOPED_TRACE(image.width());
        Window w(kTypeMandelbrot, image.width(), image.height());
        w.doc->OnBuild(kCmdRebuild);
        ASSERT_TRUE(WaitIdle(w.doc));
        ASSERT_EQ(w.doc->m_deviceBitmap.Image().size(), image);

        PdfPrinter pdf;
        const QRect page = pdf.Page();
        ASSERT_GT(page.width(), 1000);
        const QRect drawn = w.view->PrintTo(pdf.printer);
        ASSERT_FALSE(drawn.isEmpty());
        EXPECT_TRUE(page.contains(drawn)) << "the image leaves the printable area";
        // As far from the left edge as from the right, and from top and bottom.
        EXPECT_LE(std::abs((drawn.left() - page.left()) - (page.right() - drawn.right())), 1);
        EXPECT_LE(std::abs((drawn.top() - page.top()) - (page.bottom() - drawn.bottom())), 1);
        // The shape kept to within the one device pixel a size is cut to.
        const double ratio = double(image.width()) / image.height();
        EXPECT_NEAR(double(drawn.width()) / drawn.height(), ratio, ratio / std::min(drawn.width(), drawn.height()));
        // Scaled as large as it goes: two opposite edges are reached.
        const bool wideForPage = double(image.width()) / image.height() > double(page.width()) / page.height();
        if (wideForPage) {
            EXPECT_EQ(drawn.left(), page.left());
            EXPECT_EQ(drawn.right(), page.right());
        } else {
            EXPECT_EQ(drawn.top(), page.top());
            EXPECT_EQ(drawn.bottom(), page.bottom());
        }
        EXPECT_EQ(wideForPage, image.width() > image.height()) << "one of each on a portrait page";
        EXPECT_TRUE(HasImage(pdf.path));
    }
}

TEST(Printing, ThePdfIsTitledAfterTheDocument)
{
    Window w(kTypeMandelbrot);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    // Parentheses and a backslash need escapes in the file; an accent needs
    // more than one byte a character.
    w.doc->SetTitle("Valley (près) \\ 2");
    PdfPrinter pdf;
    ASSERT_FALSE(w.view->PrintTo(pdf.printer).isEmpty());
    EXPECT_EQ(pdf.printer.docName(), "Valley (près) \\ 2") << "the job's name";
    EXPECT_EQ(PdfTitle(pdf.path), "Valley (près) \\ 2");

    // The print dialog's job, too, is named before the dialog opens.
    w.doc->SetTitle("Second");
    CFractal_View::Printer().setDocName("");
    QTimer::singleShot(0, [] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            dialog->close();
    });
    w.view->OnFilePrint();
    EXPECT_EQ(CFractal_View::Printer().docName(), "Second");
}

TEST(Printing, AClearedPictureForANewSamplePrintsNothing)
{
    Window w(kTypeMandelbrot);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    w.doc->OnSample(0);
    ASSERT_TRUE(w.doc->m_imageStale);
    PdfPrinter pdf;
    EXPECT_TRUE(w.view->PrintTo(pdf.printer).isEmpty());
    EXPECT_FALSE(HasImage(pdf.path)) << "the old picture was printed under the new title";
    EXPECT_EQ(PdfTitle(pdf.path), w.doc->Title());

    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    PdfPrinter again;
    EXPECT_FALSE(w.view->PrintTo(again.printer).isEmpty());
    EXPECT_TRUE(HasImage(again.path));
}

// The document's file commands in the main window: what opening a file
// does to the Properties bar, refused computed data, and the names the
// save commands write to.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QMdiArea>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <fstream>
#include <sstream>

#include "app/Commands.h"
#include "app/MainFrame.h"
#include "document/DataFile.h"
#include "document/DocumentFiles.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/Samples.h"
#include "parameters/ParametersBar.h"
#include "tests/SmallDisk.h"
#include "tests/model/RowCollector.h"

namespace {

// The bar must list exactly the rows of the document's fractal as it is
// now: the same labels, pointing into it, showing its values.
void ExpectBarListsTheFractal(CMainFrame& frame, CFractal_Doc* doc)
{
    CParametersBar* bar = frame.ParametersBar();
    ASSERT_EQ(bar->Document(), doc);
    ASSERT_EQ(bar->Fractal(), doc->m_fractal.get());
    RowCollector rows;
    doc->m_fractal->FillProperties(rows);
    ASSERT_EQ(bar->RowCount(), int(rows.rows.size()));
    for (int i = 0; i < bar->RowCount(); ++i) {
        const PropertyItem& want = rows.rows[size_t(i)];
        EXPECT_EQ(std::string(bar->RowAt(i).label), want.label) << i;
        EXPECT_EQ(bar->RowAt(i).value, want.value) << want.label;
        EXPECT_EQ(bar->Grid().GetCellText(bar->ItemAt(i), 1).toStdString(), ValueText(want)) << want.label;
    }
}

// Computed data of a small 3-D sample, written the way Save Data As does.
std::string PyramidData(const std::string& name = {})
{
    std::unique_ptr<CFractal> f = MakeSample(4);
    if (!name.empty())
        f->m_name = name;
    CCanvas canvas;
    canvas.m_targetWidth = 24;
    canvas.m_targetHeight = 16;
    f->Build(canvas);
    std::ostringstream out;
    EXPECT_TRUE(WriteDataFile(out, *f));
    return out.str();
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const std::string& bytes)
{
    const QString path = dir.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
    return path;
}

struct Frame {
    CMainFrame frame;
    QStringList complaints;
    Frame()
    {
        frame.m_complain = [this](const QString&, const QString& text) { complaints << text; };
        frame.show();
    }
    int Windows() { return int(frame.MdiArea()->subWindowList().size()); }
};

} // namespace

TEST(FileCommands, EveryNewFractalIsListedInTheBar)
{
    Frame w;
    QTemporaryDir dir;
    const QString pyramid = WriteFile(dir, "pyramid.fdt", PyramidData());

    // A Mandelbrot window listed in the bar, then computed data opened:
    // the new window's fractal replaces its first one.
    CFractal_Doc* mandel = w.frame.NewFractalDocument(kTypeMandelbrot);
    QApplication::processEvents();
    ExpectBarListsTheFractal(w.frame, mandel);
    ASSERT_TRUE(w.frame.OpenDocumentFile(pyramid));
    QApplication::processEvents();
    CFractal_Doc* opened = w.frame.ActiveDocument();
    ASSERT_NE(opened, mandel);
    ExpectBarListsTheFractal(w.frame, opened);
    EXPECT_EQ(opened->Title().toStdString(), "Sierpinsky Pyramid");

    // Sample 0 in the bar, then the 3-D data read into the same document.
    CFractal_Doc* flat = w.frame.NewFractalDocument(kTypeSelfAffine);
    flat->ShowInParameters();
    ExpectBarListsTheFractal(w.frame, flat);
    QString error;
    ASSERT_TRUE(flat->OnOpenDocument(pyramid, error)) << error.toStdString();
    ExpectBarListsTheFractal(w.frame, flat);
    EXPECT_EQ(flat->Title().toStdString(), "Sierpinsky Pyramid");

    // A document file of another kind read into it.
    const QString mandelFile = dir.filePath("mandel.frc");
    ASSERT_TRUE(mandel->OnSaveDocument(mandelFile, error)) << error.toStdString();
    ASSERT_TRUE(flat->OnOpenDocument(mandelFile, error)) << error.toStdString();
    ExpectBarListsTheFractal(w.frame, flat);

    // A new fractal by type, and a sample.
    flat->CreateFractal(kTypeAppolony);
    ExpectBarListsTheFractal(w.frame, flat);
    flat->OnSample(10);
    ExpectBarListsTheFractal(w.frame, flat);
}

TEST(FileCommands, ComputedDataWithCountsPastTheArraysIsRefused)
{
    Frame w;
    QTemporaryDir dir;
    std::string bytes = PyramidData();
    // The counts of the first pass: after the size, "Power", "Precision",
    // "Level" and "Iterations".
    const uint32_t thousand = 1000;
    std::string maps = bytes, lights = bytes;
    std::memcpy(&maps[8 + 28], &thousand, 4);
    std::memcpy(&lights[8 + 32], &thousand, 4);
    const QString badMaps = WriteFile(dir, "maps.fdt", maps);
    const QString badLights = WriteFile(dir, "lights.fdt", lights);

    CFractal_Doc* doc = w.frame.NewFractalDocument(kTypeMandelbrot);
    doc->ShowInParameters();
    const CFractal* before = doc->m_fractal.get();
    const QString title = doc->Title();
    const int windows = w.Windows();

    QString error;
    EXPECT_FALSE(doc->OnOpenDocument(badMaps, error));
    EXPECT_TRUE(error.contains(badMaps)) << error.toStdString();
    EXPECT_TRUE(error.contains("1000 maps")) << error.toStdString();
    EXPECT_FALSE(doc->OnOpenDocument(badLights, error));
    EXPECT_TRUE(error.contains("1000 lights")) << error.toStdString();
    // The document is as it was, and so is the bar.
    EXPECT_EQ(doc->m_fractal.get(), before);
    EXPECT_EQ(doc->Title().toStdString(), title.toStdString());
    ExpectBarListsTheFractal(w.frame, doc);

    // From the Open command: a message naming the file, no new window.
    EXPECT_FALSE(w.frame.OpenDocumentFile(badMaps));
    QApplication::processEvents();
    ASSERT_EQ(w.complaints.size(), 1);
    EXPECT_TRUE(w.complaints[0].contains("maps.fdt")) << w.complaints[0].toStdString();
    EXPECT_EQ(w.Windows(), windows);
}

TEST(FileCommands, AFileThatIsNotADocumentOpensNoWindowAndSaysWhy)
{
    Frame w;
    QTemporaryDir dir;
    const int windows = w.Windows();
    const QString hello = WriteFile(dir, "hello.frc", "hello\n");
    const QString data = WriteFile(dir, "pyramid.frc", PyramidData()); // computed data, renamed
    EXPECT_FALSE(w.frame.OpenDocumentFile(hello));
    EXPECT_FALSE(w.frame.OpenDocumentFile(data));
    QApplication::processEvents();
    ASSERT_EQ(w.complaints.size(), 2);
    EXPECT_TRUE(w.complaints[0].contains(hello)) << w.complaints[0].toStdString();
    EXPECT_TRUE(w.complaints[1].contains(data)) << w.complaints[1].toStdString();
    for (const QString& text : w.complaints)
        EXPECT_TRUE(text.contains("not a fractal document")) << text.toStdString();
    EXPECT_EQ(w.Windows(), windows);
}

TEST(FileCommands, ComputedDataReopensUnderItsOwnName)
{
    Frame w;
    QTemporaryDir dir;
    const std::string renamed = PyramidData("Pyramid, second try");
    const QString path = WriteFile(dir, "second.fdt", renamed);
    ASSERT_TRUE(w.frame.OpenDocumentFile(path));
    CFractal_Doc* doc = w.frame.ActiveDocument();
    EXPECT_EQ(doc->Title().toStdString(), "Pyramid, second try");
    EXPECT_EQ(doc->m_fractal->m_name, "Pyramid, second try");

    // Data that carries no name (the name is not among the binary rows) is
    // called after its file.
    const size_t nameBytes = 8 + std::strlen("Pyramid, second try");
    const QString old = WriteFile(dir, "old pyramid.fdt", renamed.substr(0, renamed.size() - nameBytes));
    ASSERT_TRUE(w.frame.OpenDocumentFile(old));
    EXPECT_EQ(w.frame.ActiveDocument()->Title().toStdString(), "old pyramid");
}

TEST(FileCommands, SaveNamesGetTheirExtensionAndAreNotReplacedUnasked)
{
    Frame w;
    CFractal_Doc* doc = w.frame.NewFractalDocument(kTypeMandelbrot);
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("j.doe"));
    const QString folder = dir.filePath("j.doe");
    QStringList asked;
    bool answer = false;
    doc->m_ask = [&](const QString& text) {
        asked << text;
        return answer;
    };

    // A dot in a folder name is no extension.
    EXPECT_EQ(doc->SavePath(folder + "/picture", "bmp"), folder + "/picture.bmp");
    EXPECT_EQ(doc->SavePath(folder + "/picture.png", "bmp"), folder + "/picture.png");
    EXPECT_EQ(doc->SavePath(folder + "/set", "fdt"), folder + "/set.fdt");
    EXPECT_EQ(doc->SavePath(folder + "/set.v2", "frc", true), folder + "/set.v2.frc");
    EXPECT_EQ(doc->SavePath(folder + "/set.frc", "frc", true), folder + "/set.frc");
    EXPECT_EQ(doc->SavePath(QString(), "bmp"), QString());
    EXPECT_TRUE(asked.isEmpty());

    // An existing file the added extension names is asked about; one the
    // dialog showed by its whole name was confirmed there.
    QFile existing(folder + "/picture.bmp");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    EXPECT_EQ(doc->SavePath(folder + "/picture", "bmp"), QString());
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains("picture.bmp")) << asked[0].toStdString();
    answer = true;
    EXPECT_EQ(doc->SavePath(folder + "/picture", "bmp"), folder + "/picture.bmp");
    asked.clear();
    EXPECT_EQ(doc->SavePath(folder + "/picture.bmp", "bmp"), folder + "/picture.bmp");
    EXPECT_TRUE(asked.isEmpty());

    // Save As through the menu command.
    w.frame.m_askPath = [&](const QString&, bool) { return folder + "/valley"; };
    doc->m_fractal->m_centerX = 0.25;
    w.frame.Command(Cmd::kSaveAs)->trigger();
    const QString saved = folder + "/valley.frc";
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_TRUE(asked.isEmpty());
    auto contents = [&] {
        QFile f(saved);
        f.open(QIODevice::ReadOnly);
        return QString::fromLatin1(f.readAll());
    };
    EXPECT_TRUE(contents().contains("\r\nx=0.25\r\n"));

    doc->m_fractal->m_centerX = -1.5;
    answer = false;
    w.frame.Command(Cmd::kSaveAs)->trigger();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(contents().contains("\r\nx=0.25\r\n")) << "declined: the file stays";
    answer = true;
    w.frame.Command(Cmd::kSaveAs)->trigger();
    EXPECT_TRUE(contents().contains("\r\nx=-1.5\r\n"));
    EXPECT_TRUE(w.complaints.isEmpty());
}

// Windows are titled as the desktop titles files: by the file's name once
// there is one, with the mark of unsaved changes; the Name row is only the
// title of a document that has no file yet.
TEST(FileCommands, WindowsAreTitledByTheirFileWithTheChangedMark)
{
    Frame w;
    CFractal_Doc* doc = w.frame.NewFractalDocument(kTypeMandelbrot);
    CChildFrame* first = w.frame.ActiveChild();
    auto shown = [](const QWidget* widget) {
        QString title = widget->windowTitle();
        return title.replace("[*]", widget->isWindowModified() ? "*" : "");
    };
    EXPECT_EQ(shown(first), "Mandelbrot Set");
    EXPECT_EQ(shown(&w.frame), "Quillion - Mandelbrot Set");

    doc->m_fractal->m_centerX = 0.25;
    doc->History().RecordChange("Edit x");
    EXPECT_EQ(shown(first), "Mandelbrot Set*");

    QTemporaryDir dir;
    const QString saved = dir.filePath("valley.frc");
    w.frame.m_askPath = [&](const QString&, bool) { return saved; };
    w.frame.Command(Cmd::kSaveAs)->trigger();
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(shown(first), "valley.frc");
    EXPECT_EQ(first->windowFilePath(), saved);
    EXPECT_EQ(shown(&w.frame), "Quillion - valley.frc");

    // A second window on it, a new name and a change: the file still names
    // both windows, now marked.
    CChildFrame* second = w.frame.NewWindow();
    ASSERT_NE(second, nullptr);
    doc->m_fractal->m_name = "Valley of seahorses";
    doc->SetTitle("Valley of seahorses");
    doc->m_fractal->m_centerX = 0.3;
    doc->History().RecordChange("Edit x");
    EXPECT_EQ(shown(first), "valley.frc*");
    EXPECT_EQ(shown(second), "valley.frc*");
    // Undone to the saved state, the mark goes.
    doc->History().UndoStack()->undo();
    EXPECT_EQ(shown(second), "valley.frc");
    EXPECT_TRUE(w.complaints.isEmpty());
}

TEST(FileCommands, SavesOnAFullDiskKeepTheOldFilesAndSayWhy)
{
    Frame w;
    QTemporaryDir dir;
    ASSERT_TRUE(w.frame.OpenDocumentFile(WriteFile(dir, "pyramid.fdt", PyramidData())));
    CFractal_Doc* doc = w.frame.ActiveDocument();
    ASSERT_TRUE(doc && doc->m_canvas->HasBuffer());
    const QString folder = dir.filePath("disk");
    ASSERT_TRUE(QDir().mkpath(folder));
    SmallDisk disk(folder.toStdString());
    const QString reason = QString::fromStdString(disk.Reason());
    const QStringList names = {"doc.frc", "data.fdt", "image.bmp", "image.png"};
    for (const QString& name : names)
        WriteFile(dir, "disk/" + name, "old " + name.toStdString());
    auto old = [&](const QString& name) {
        QFile f(folder + "/" + name);
        return f.open(QIODevice::ReadOnly) && f.readAll() == "old " + name.toLatin1();
    };
    disk.Fill();

    QString error;
    EXPECT_FALSE(doc->OnSaveDocument(folder + "/doc.frc", error));
    EXPECT_TRUE(error.contains(folder + "/doc.frc") && error.contains(reason)) << error.toStdString();
    EXPECT_FALSE(doc->SaveDataTo(folder + "/data.fdt", error));
    EXPECT_TRUE(error.contains(folder + "/data.fdt") && error.contains(reason)) << error.toStdString();
    EXPECT_FALSE(doc->SaveBitmapTo(folder + "/image.bmp", error));
    EXPECT_TRUE(error.contains(folder + "/image.bmp") && error.contains(reason)) << error.toStdString();
    EXPECT_FALSE(doc->SaveBitmapTo(folder + "/image.png", error));
    EXPECT_TRUE(error.contains(folder + "/image.png") && error.contains(reason)) << error.toStdString();
    // Save As through the menu command tells the user.
    w.frame.m_askPath = [&](const QString&, bool) { return folder + "/doc.frc"; };
    w.frame.Command(Cmd::kSaveAs)->trigger();
    ASSERT_EQ(w.complaints.size(), 1);
    EXPECT_TRUE(w.complaints[0].contains(reason)) << w.complaints[0].toStdString();
    for (const QString& name : names)
        EXPECT_TRUE(old(name)) << name.toStdString();

    disk.Free();
    ASSERT_TRUE(doc->SaveBitmapTo(folder + "/image.png", error)) << error.toStdString();
    const QImage png(folder + "/image.png");
    EXPECT_EQ(png.size(), QSize(24, 16));
    ASSERT_TRUE(doc->OnSaveDocument(folder + "/doc.frc", error)) << error.toStdString();
    CFractal_Doc* again = w.frame.NewFractalDocument(kTypeMandelbrot);
    ASSERT_TRUE(again->OnOpenDocument(folder + "/doc.frc", error)) << error.toStdString();
    EXPECT_EQ(again->m_fractal->m_name, "Sierpinsky Pyramid");
}

TEST(FileCommands, APngTheWindowSavedOpensItsDocumentByOpenAndByDrop)
{
    Frame w;
    QTemporaryDir dir;
    ASSERT_TRUE(w.frame.OpenDocumentFile(WriteFile(dir, "pyramid.fdt", PyramidData("Kept In The Image"))));
    CFractal_Doc* doc = w.frame.ActiveDocument();
    ASSERT_TRUE(doc && doc->m_canvas->HasBuffer());
    QString error;
    const QString png = dir.filePath("pyramid.png");
    ASSERT_TRUE(doc->SaveBitmapTo(png, error)) << error.toStdString();
    const std::string saved = DocumentFileText(doc->m_fractalType, *doc->m_fractal);

    // File > Open.
    const int windows = w.Windows();
    w.frame.m_askPath = [&](const QString& filter, bool) {
        EXPECT_TRUE(filter.contains("*.png")) << filter.toStdString();
        return png;
    };
    w.frame.Command(Cmd::kOpen)->trigger();
    QApplication::processEvents();
    ASSERT_EQ(w.Windows(), windows + 1);
    CFractal_Doc* opened = w.frame.ActiveDocument();
    ASSERT_NE(opened, doc);
    EXPECT_EQ(opened->Title().toStdString(), "Kept In The Image");
    EXPECT_EQ(DocumentFileText(opened->m_fractalType, *opened->m_fractal), saved);
    ExpectBarListsTheFractal(w.frame, opened);

    // Dropped on the main window.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(png)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w.frame, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w.frame, &drop);
    QApplication::processEvents();
    ASSERT_EQ(w.Windows(), windows + 2);
    EXPECT_EQ(DocumentFileText(w.frame.ActiveDocument()->m_fractalType, *w.frame.ActiveDocument()->m_fractal), saved);

    // An image without a document opens nothing and says why.
    const QString plain = dir.filePath("plain.png");
    ASSERT_TRUE(QImage(8, 8, QImage::Format_RGB32).save(plain));
    EXPECT_FALSE(w.frame.OpenDocumentFile(plain));
    ASSERT_EQ(w.complaints.size(), 1);
    EXPECT_TRUE(w.complaints[0].contains("holds no fractal document")) << w.complaints[0].toStdString();
    QApplication::processEvents();
    EXPECT_EQ(w.Windows(), windows + 2);
}

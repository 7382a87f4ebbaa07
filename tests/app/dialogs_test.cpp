// The dialogs and the main window's own state (placement, recent files,
// menus, the tile chart), driven through the real widgets on the offscreen
// platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidgetItem>

#include <future>

#include "animation/AnimationDlg.h"
#include "animation/EncoderChoice.h"
#include "app/AboutDlg.h"
#include "app/DesktopRegistration.h"
#include "app/MainFrame.h"
#include "app/NewFractalDlg.h"
#include "app/TileBar.h"
#include "app/UserGuide.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/ProgressText.h"
#include "document/SizeDialog.h"
#include "model/FractalFactory.h"
#include "model/Samples.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "parameters/ParametersBar.h"
#include "parameters/PropertyGrid.h"
#include "tests/app/WindowFixture.h"

namespace {
void Choose(CAnimationDlg& dialog, const char* encoder)
{
    for (int i = 0; i < dialog.m_encoder->m_list->count(); ++i)
        if (dialog.m_encoder->m_list->itemText(i).contains(encoder, Qt::CaseInsensitive))
            dialog.m_encoder->m_list->setCurrentIndex(i);
}
} // namespace

TEST(AnimationDialog, FieldsAreCheckedBeforeAnyFileIsAsked)
{
    Window w(kTypeSelfAffine, 64, 48);
    CAnimationDlg dialog(w.view);
    EXPECT_EQ(dialog.m_stepEdit->text(), "18");
    EXPECT_EQ(dialog.m_framesEdit->text(), "20");
    EXPECT_GT(dialog.m_encoder->m_list->count(), 0);
    EXPECT_TRUE(dialog.m_encoder->m_aboutButton->isEnabled());
    QString complaint;
    bool askedPath = false;
    dialog.m_complain = [&](const QString& t) { complaint = t; };
    dialog.m_askPath = [&] {
        askedPath = true;
        return QString();
    };
    dialog.m_framesEdit->setText("0");
    dialog.StartOrStop();
    EXPECT_EQ(complaint, "Please enter an integer between 1 and 10000.");
    dialog.m_framesEdit->setText("20");
    dialog.m_stepEdit->setText("361");
    dialog.StartOrStop();
    EXPECT_EQ(complaint, "Please enter an integer between 1 and 360.");
    dialog.m_stepEdit->setText("");
    dialog.StartOrStop();
    EXPECT_EQ(complaint, "Please enter a positive integer.");
    EXPECT_FALSE(askedPath);
}

TEST(AnimationDialog, WritesTheFramesAndTurnsTheSet)
{
    Window w(kTypeSelfAffine, 64, 48);
    w.doc->OnSample(4);
    auto& set = static_cast<CSelfAffineSet&>(*w.doc->m_fractal);
    const double start = set.m_rotationAngle;
    QTemporaryDir dir;
    CAnimationDlg dialog(w.view);
    Choose(dialog, "raw video");
    dialog.m_stepEdit->setText("30");
    dialog.m_framesEdit->setText("3");
    dialog.m_askPath = [&] { return dir.filePath("turn"); };
    dialog.m_encoder->m_askSettings = [](EncoderSettings&) { return true; };
    QString complaint;
    dialog.m_complain = [&](const QString& t) { complaint = t; };
    dialog.show();
    dialog.StartOrStop();
    EXPECT_EQ(dialog.m_compressButton->text(), "Stop");
    EXPECT_TRUE(w.doc->IsBuilding()) << "the writer is the document's build";
    w.doc->OnBuild(kCmdRebuild); // refused while writing
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    EXPECT_EQ(dialog.m_compressButton->text(), "Compress");
    EXPECT_TRUE(complaint.isEmpty()) << complaint.toStdString();
    EXPECT_EQ(dialog.m_outcome.result, AnimationOutcome::kDone);
    EXPECT_EQ(dialog.m_outcome.framesWritten, 3u);
    EXPECT_DOUBLE_EQ(set.m_rotationAngle, start + 90);
    EXPECT_GT(QFileInfo(dir.filePath("turn.avi")).size(), 3 * 64 * 48 * 3);
}

TEST(AnimationDialog, CancelledSettingsWriteNothing)
{
    Window w(kTypeSelfAffine, 64, 48);
    QTemporaryDir dir;
    CAnimationDlg dialog(w.view);
    dialog.m_askPath = [&] { return dir.filePath("none.avi"); };
    dialog.m_encoder->m_askSettings = [](EncoderSettings&) { return false; };
    dialog.StartOrStop();
    EXPECT_FALSE(w.doc->IsBuilding());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("none.avi")));
}

TEST(AnimationDialog, StopAndCloseWhileWriting)
{
    Window w(kTypeSelfAffine, 64, 48);
    w.doc->OnSample(5);
    QTemporaryDir dir;
    auto* dialog = new CAnimationDlg(w.view);
    QPointer<CAnimationDlg> alive = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    Choose(*dialog, "raw video");
    dialog->m_framesEdit->setText("10000");
    dialog->m_askPath = [&] { return dir.filePath("long.avi"); };
    dialog->m_encoder->m_askSettings = [](EncoderSettings&) { return true; };
    dialog->m_complain = [](const QString&) {};
    dialog->show();
    dialog->StartOrStop();
    ASSERT_TRUE(w.doc->IsBuilding());
    dialog->StartOrStop(); // the same button now stops
    EXPECT_EQ(dialog->m_compressButton->text(), "Compress");
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    EXPECT_EQ(dialog->m_outcome.result, AnimationOutcome::kStopped);

    // Closing during a run stops it and closes once the writer ended.
    dialog->StartOrStop();
    ASSERT_TRUE(w.doc->IsBuilding());
    dialog->reject();
    EXPECT_TRUE(alive && alive->isVisible()) << "stays until the writer ends";
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alive; }, 5000));
}

TEST(AnimationDialog, AStopBeforeTheEncoderIsOpenWritesNoFrame)
{
    // The window's Stop reaches the job before the writer has opened its
    // file: the writer must honour it however long the opening takes.
    Window w(kTypeSelfAffine, 32, 24);
    w.doc->OnSample(4);
    QTemporaryDir dir;
    AnimationJob job;
    std::string error;
    ASSERT_TRUE(FindVideoEncoder("rawvideo", job.encoder, error)) << error;
    job.path = dir.filePath("stopped.avi").toStdString();
    job.frameCount = 4;
    std::promise<void> pressed;
    std::shared_future<void> stopPressed = pressed.get_future().share();
    AnimationOutcome out;
    CFractal* fractal = w.doc->m_fractal.get();
    CCanvas* canvas = w.doc->m_canvas.get();
    ASSERT_TRUE(w.doc->StartJob([&, stopPressed](std::stop_token stop) {
        stopPressed.wait();
        out = WriteAnimation(*fractal, *canvas, job, stop);
    }));
    w.doc->OnStop();
    pressed.set_value();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(out.result, AnimationOutcome::kStopped);
    EXPECT_EQ(out.framesWritten, 0u);
}

TEST(AnimationDialog, TheStatusBarCountsTheFramesThenNamesTheFile)
{
    Window w(kTypeSelfAffine, 48, 32);
    w.doc->OnSample(4);
    w.doc->ShowInParameters();
    auto& set = static_cast<CSelfAffineSet&>(*w.doc->m_fractal);
    set.m_rotationAngle = 45;
    w.frame.ParametersBar()->RefreshValues();
    QTemporaryDir dir;
    CAnimationDlg dialog(w.view);
    Choose(dialog, "raw video");
    dialog.m_stepEdit->setText("120");
    dialog.m_framesEdit->setText("3");
    dialog.m_askPath = [&] { return dir.filePath("turn.avi"); };
    dialog.m_encoder->m_askSettings = [](EncoderSettings&) { return true; };
    dialog.m_complain = [](const QString&) {};
    QStringList seen;
    QObject::connect(w.frame.statusBar(), &QStatusBar::messageChanged, [&](const QString& t) { seen << t; });
    dialog.StartOrStop();
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    ASSERT_EQ(dialog.m_outcome.result, AnimationOutcome::kDone);
    EXPECT_TRUE(seen.contains("Frame 1 of 3")) << seen.join(" | ").toStdString();
    EXPECT_EQ(w.frame.statusBar()->currentMessage(), "turn.avi");
    // Each frame's build reports, and its line is the frame's.
    for (const QString& t : seen)
        EXPECT_TRUE(t.startsWith("Frame ") || t == "turn.avi") << t.toStdString();
    // Three turns of 120 degrees leave the angle 360 above its start, and
    // the row shows the value in force.
    EXPECT_DOUBLE_EQ(set.m_rotationAngle, 405);
    QTreeWidgetItem* row = w.frame.ParametersBar()->FindItem("Rotation angle");
    ASSERT_TRUE(row);
    EXPECT_EQ(w.frame.ParametersBar()->Grid().GetCellText(row, 1), "405");
}

TEST(FrameStatus, GuessesFromTheFinishedFrames)
{
    EXPECT_EQ(FrameStatusText(1, 20, 30, 30), "Frame 1 of 20");
    // Six frames took 2 s each; the seventh has run 0.5 s: 1.5 s of it and
    // 13 frames of 2 s are left.
    EXPECT_EQ(FrameStatusText(7, 20, 12.5, 0.5), "Frame 7 of 20, about 28 s left");
    // A frame slower than the others leaves only the frames after it.
    EXPECT_EQ(FrameStatusText(20, 20, 60, 10), "Frame 20 of 20");
    EXPECT_EQ(FrameStatusText(2, 3, 0.5, 0.1), "Frame 2 of 3") << "too early to guess";
}

TEST(NewFractalDialog, TileSetPreselectedDoubleClickConfirmsNoneGivesMandelbrot)
{
    {
        CNewFractalDlg dialog;
        dialog.show();
        dialog.accept();
        EXPECT_EQ(dialog.m_selectedRow, 1);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.m_list->item(1)->icon().isNull()) << "the kinds' icons are built in";
    }
    {
        CNewFractalDlg dialog;
        dialog.show();
        QListWidgetItem* item = dialog.m_list->item(2);
        ASSERT_EQ(item->text(), "Mandelbrot Set");
        const QRect r = dialog.m_list->visualItemRect(item);
        // A double click is a click followed by the second press.
        QTest::mouseClick(dialog.m_list->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(dialog.m_list->viewport(), Qt::LeftButton, {}, r.center());
        EXPECT_EQ(dialog.m_selectedRow, 2);
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        CNewFractalDlg dialog;
        dialog.m_list->clearSelection();
        dialog.accept();
        EXPECT_EQ(dialog.m_selectedRow, -1);
        CMainFrame frame;
        CFractal_Doc* doc = frame.NewFractalDocument(dialog.m_selectedRow);
        EXPECT_EQ(doc->m_fractal->m_kind, CFractal::kMandelbrot);
        EXPECT_EQ(frame.NewFractalDocument(7)->m_fractal->m_kind, CFractal::kMandelbrot);
        EXPECT_EQ(frame.NewFractalDocument(4)->m_fractal->m_kind, CFractal::kAppolony);
    }
}

TEST(AboutDialog, TheLinkLightsUpUnderThePointer)
{
    CAboutDlg dialog;
    dialog.show();
    const QString rest = dialog.m_link->styleSheet();
    EXPECT_TRUE(rest.contains("#0000ee")) << rest.toStdString();
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(dialog.m_link, &enter);
    EXPECT_TRUE(dialog.m_link->m_hover);
    EXPECT_NE(dialog.m_link->styleSheet(), rest);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(dialog.m_link, &leave);
    EXPECT_FALSE(dialog.m_link->m_hover);
    EXPECT_EQ(dialog.m_link->styleSheet(), rest);
    // The program's own hand, pointing with the tip of its finger.
    EXPECT_EQ(dialog.m_link->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(dialog.m_link->cursor().hotSpot(), QPoint(12, 2));
    EXPECT_FALSE(dialog.m_link->cursor().pixmap().isNull());

    // A click opens the project's own page, written out for the browser.
    QTemporaryDir data;
    const QByteArray old = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QUrl opened;
    dialog.m_open = [&](const QUrl& url) { opened = url; };
    QTest::mouseClick(dialog.m_link, Qt::LeftButton);
    ASSERT_TRUE(opened.isLocalFile()) << opened.toString().toStdString();
    EXPECT_TRUE(opened.toLocalFile().startsWith(data.path()));
    QFile page(opened.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains("<title>Quillion"));
    EXPECT_TRUE(QFileInfo(QFileInfo(page).dir(), "main-window.png").size() > 0) << "with its picture";
    if (old.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", old);
}

TEST(Desktop, DocumentsAreRegisteredOnceUnderTheUsersData)
{
    QTemporaryDir dir;
    const QByteArray old = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir.path().toUtf8());
    EXPECT_EQ(RegisterWithDesktop("/opt/my \"q\"/quillion"), 2 + 6) << "entry, MIME type, six icon sizes";
    EXPECT_EQ(QImage(dir.filePath("icons/hicolor/256x256/apps/quillion.png")).size(), QSize(256, 256));
    QFile entry(dir.filePath("applications/quillion.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    EXPECT_TRUE(text.contains("Exec=\"/opt/my \\\"q\\\"/quillion\" %f")) << text.toStdString();
    EXPECT_TRUE(text.contains("MimeType=application/x-quillion-fractal;"));
    QFile mime(dir.filePath("mime/packages/quillion-frc.xml"));
    ASSERT_TRUE(mime.open(QIODevice::ReadOnly));
    EXPECT_TRUE(mime.readAll().contains("<glob pattern=\"*.frc\"/>"));
    EXPECT_EQ(RegisterWithDesktop("/opt/my \"q\"/quillion"), 0) << "nothing changed, nothing written";
    if (old.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", old);
}

TEST(MainWindow, PlacementComesBackAndFiveNumbersAreIgnored)
{
    {
        CMainFrame frame;
        frame.setGeometry(100, 120, 700, 500);
        frame.SavePlacement();
    }
    QSettings settings;
    EXPECT_EQ(settings.value("WindowPlacement/Main Window").toString(), "0,1,100,120,800,620");
    {
        CMainFrame frame;
        EXPECT_EQ(frame.geometry(), QRect(100, 120, 700, 500));
    }
    settings.setValue("WindowPlacement/Main Window", "0,1,10,10,900");
    {
        CMainFrame frame;
        EXPECT_EQ(frame.geometry().size(), QSize(1000, 760)) << "the default size";
    }
    settings.remove("WindowPlacement");
}

TEST(MainWindow, RecentFilesKeepTheLastEight)
{
    CMainFrame frame;
    for (int i = 0; i < 10; ++i)
        frame.AddRecentFile(QString("/tmp/f%1.frc").arg(i));
    frame.AddRecentFile("/tmp/f4.frc");
    const QStringList files = frame.RecentFiles();
    ASSERT_EQ(files.size(), 8);
    EXPECT_EQ(files[0], "/tmp/f4.frc");
    EXPECT_EQ(files[1], "/tmp/f9.frc");
    EXPECT_EQ(files[6], "/tmp/f3.frc");
    EXPECT_EQ(files[7], "/tmp/f2.frc");
    EXPECT_EQ(files.count("/tmp/f4.frc"), 1);
    QSettings().remove("Recent File List");
}

TEST(MainWindow, MenusPromptsAndBars)
{
    CMainFrame frame;
    frame.show();
    // No document: the document menus and items are out of sight.
    EXPECT_FALSE(frame.Command(Cmd::kClose)->isVisible());
    EXPECT_FALSE(frame.Command(Cmd::kSave)->isVisible());
    EXPECT_EQ(frame.Command(Cmd::kStop)->statusTip(), "Stop buillding process");
    EXPECT_EQ(frame.Command(Cmd::kStop)->toolTip(), "Stop");
    EXPECT_TRUE(frame.Command(Cmd::kContinue)->shortcuts().contains(QKeySequence("F9")));
    frame.NewFractalDocument(kTypeMandelbrot);
    EXPECT_TRUE(frame.Command(Cmd::kSave)->isVisible());

    const bool shown = frame.TileBar()->isVisible();
    frame.Command(Cmd::kToggleTileBar)->trigger();
    QApplication::processEvents();
    EXPECT_NE(frame.TileBar()->isVisible(), shown);
    EXPECT_EQ(frame.Command(Cmd::kToggleTileBar)->isChecked(), frame.TileBar()->isVisible());
    frame.Command(Cmd::kToggleTileBar)->trigger();
    EXPECT_FALSE(CTileBar::UserChose());
    frame.Command(Cmd::kToggleProperties)->trigger();
    QApplication::processEvents();
    EXPECT_EQ(frame.Command(Cmd::kToggleProperties)->isChecked(), frame.ParametersBar()->isVisible());
}

TEST(TileChart, SquaresFollowTheSymmetryClasses)
{
    CTileChart chart;
    chart.resize(chart.sizeHint());
    const QImage image = chart.grab().toImage();
    auto square = [&](int column, int row) { return image.pixelColor(1 + 10 * column + 4, 201 - 10 * row + 4); };
    EXPECT_EQ(square(23, 3), QColor(255, 0, 255)) << "d = 3, t = 3 is magenta";
    for (int column = 0; column < 40; ++column) {
        EXPECT_EQ(square(column, 0), QColor(Qt::black));
        EXPECT_EQ(square(column, 1), QColor(Qt::black));
    }
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black)) << "the gaps are black";
}

// F1 opens the guide that ships with the program, at the active window's
// kind; every kind has its section, every picture the guide shows is in the
// resources, and the rows' tips point to it.
TEST(Dialogs, F1OpensTheUserGuideAtTheKindShown)
{
    Window w(kTypeTile);
    ASSERT_TRUE(WaitIdle(w.doc));
    w.view->setFocus();
    QTest::keyClick(w.view, Qt::Key_F1);
    auto* guide = w.frame.findChild<CUserGuide*>();
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->isVisible());
    EXPECT_FALSE(guide->isModal());
    QTextDocument* text = guide->Browser()->document();
    EXPECT_TRUE(text->toPlainText().contains("Choose a Tile!"));
    // Scrolled to the tile section, far down the guide; the Mandelbrot
    // set's section lies above it.
    const int tiles = guide->Browser()->verticalScrollBar()->value();
    EXPECT_GT(tiles, 0);
    w.doc->OnSample(12);
    ASSERT_EQ(w.doc->m_fractal->m_kind, CFractal::kMandelbrot);
    w.frame.Command(Cmd::kUserGuide)->trigger();
    EXPECT_LT(guide->Browser()->verticalScrollBar()->value(), tiles);
    EXPECT_EQ(w.frame.findChildren<CUserGuide*>().size(), 1) << "one guide window, raised again";

    QFile html(":/site/guide.html");
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    const QString source = QString::fromUtf8(html.readAll());
    for (int kind : {CFractal::kMandelbrot, CFractal::kAppolony, CFractal::kSelfAffine, CFractal::kTile})
        EXPECT_TRUE(source.contains("id=\"" + CUserGuide::SectionOfKind(kind) + "\"")) << kind;
    const QRegularExpression image("src=\"([^\"]+)\"");
    int images = 0;
    for (auto m = image.globalMatch(source); m.hasNext(); ++images) {
        const QString name = m.next().captured(1);
        EXPECT_TRUE(QFile::exists(":/site/" + name)) << name.toStdString();
    }
    EXPECT_GE(images, 3);
    QTreeWidgetItem* radius = w.frame.ParametersBar()->FindItem("radius");
    ASSERT_NE(radius, nullptr);
    EXPECT_TRUE(radius->toolTip(1).endsWith("F1: the User Guide on this kind"));
}

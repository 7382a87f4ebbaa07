// The Zoom side of Build Animation, driven through its widgets on the
// offscreen platform: the video it writes as a player reads it, the status
// line, Stop keeping an older file, and which side each kind is offered.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "animation/AnimationDlg.h"
#include "animation/EncoderChoice.h"
#include "animation/ZoomPage.h"
#include "app/Commands.h"
#include "document/DocumentFiles.h"
#include "document/ImageSizeDialog.h"
#include "model/Fractal.h"
#include "model/FractalKinds.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "numbers/WideSize.h"
#include "tests/app/RunProgram.h"
#include "tests/app/WindowFixture.h"

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A Mandelbrot window looking at a small part of the set.
void LookAtASmallPart(CFractal& f)
{
    f.m_centerX = -0.75;
    f.m_centerY = 0.1;
    f.m_halfSize = 0.05;
}

} // namespace

TEST(ZoomDialog, AMandelbrotWindowWritesAZoomAPlayerReads)
{
    const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
    if (ffprobe.isEmpty())
        GTEST_SKIP() << "no ffprobe";
    Window w(kTypeMandelbrot, 65, 49);
    w.doc->m_antiAliasing = {2, false};
    LookAtASmallPart(*w.doc->m_fractal);
    QTemporaryDir dir;
    // A start of another kind is refused; one of this kind is taken.
    std::string error;
    LoadedDocument tile;
    tile.fractal = KindOfType(kTypeTile).make();
    ASSERT_TRUE(SaveDocumentFile(dir.filePath("tile.frc").toStdString(), kTypeTile, *tile.fractal, error)) << error;
    auto start = KindOfType(kTypeMandelbrot).make();
    start->m_centerX = -0.5;
    start->m_halfSize = 0.8;
    ASSERT_TRUE(SaveDocumentFile(dir.filePath("start.frc").toStdString(), kTypeMandelbrot, *start, error)) << error;

    CAnimationDlg dialog(w.view);
    CZoomPage& zoom = *dialog.m_zoomPage;
    EXPECT_EQ(dialog.m_modes->currentWidget(), &zoom) << "a Mandelbrot set does not turn";
    EXPECT_FALSE(dialog.m_modes->isTabEnabled(0));
    EXPECT_TRUE(zoom.m_startText->text().contains("radius 2")) << zoom.m_startText->text().toStdString();
    EXPECT_EQ(zoom.m_endText->text(), "centre (-0.75, 0.10000000000000001), radius 0.05");
    EXPECT_EQ(zoom.m_width->value(), 64) << "the window's size, made even";
    EXPECT_EQ(zoom.m_height->value(), 48);
    EXPECT_EQ(AntiAliasingChoice(zoom.m_antiAliasing->currentIndex()), (AntiAliasing{2, false}));
    EXPECT_TRUE(zoom.m_encoderText->text().contains("H.264")) << zoom.m_encoderText->text().toStdString();
    QStringList complaints;
    zoom.m_complain = [&](const QString& t) { complaints << t; };
    EXPECT_FALSE(zoom.StartFromFile(dir.filePath("tile.frc")));
    ASSERT_EQ(complaints.size(), 1);
    EXPECT_TRUE(complaints[0].contains("is not a document of the")) << complaints[0].toStdString();
    complaints.clear();
    zoom.m_askStartFile = [&] { return dir.filePath("start.frc"); };
    zoom.m_fromFileButton->click();
    EXPECT_EQ(zoom.m_start.half, 0.8);
    EXPECT_TRUE(zoom.m_startText->text().startsWith("start.frc: centre (-0.5, 0)"));

    zoom.m_width->setValue(32);
    zoom.m_height->setValue(24);
    zoom.m_seconds->setValue(1);
    zoom.m_fps->setValue(4);
    EXPECT_EQ(zoom.m_frameCount->text(), "4 frames");
    zoom.m_askPath = [&] { return dir.filePath("zoom.mp4"); };
    zoom.m_browseButton->click();
    QStringList seen;
    QObject::connect(w.frame.statusBar(), &QStatusBar::messageChanged, [&](const QString& t) { seen << t; });
    dialog.show();
    zoom.m_writeButton->click();
    EXPECT_EQ(zoom.m_writeButton->text(), "Stop");
    EXPECT_TRUE(w.doc->IsBuilding()) << "the writer is the document's build";
    EXPECT_FALSE(dialog.m_modes->isTabEnabled(0));
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    EXPECT_TRUE(complaints.isEmpty()) << complaints.join("\n").toStdString();
    ASSERT_EQ(zoom.m_outcome.result, AnimationOutcome::kDone) << zoom.m_outcome.error;
    EXPECT_EQ(zoom.m_writeButton->text(), "Write");
    EXPECT_TRUE(seen.contains("Frame 1 of 4")) << seen.join(" | ").toStdString();
    for (const QString& t : seen)
        EXPECT_TRUE(t.startsWith("Frame ") || t == "zoom.mp4") << t.toStdString();
    EXPECT_EQ(w.frame.statusBar()->currentMessage(), "zoom.mp4");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3) << "no temporary is left";

    QProcess probe;
    probe.start(ffprobe, {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                          "stream=codec_name,width,height,avg_frame_rate,nb_read_frames,pix_fmt", "-of",
                          "default=noprint_wrappers=1", dir.filePath("zoom.mp4")});
    ASSERT_TRUE(probe.waitForFinished(5000));
    const QString facts = QString::fromUtf8(probe.readAllStandardOutput());
    for (const char* fact : {"codec_name=h264", "width=32", "height=24", "pix_fmt=yuv420p", "avg_frame_rate=4/1",
                             "nb_read_frames=4"})
        EXPECT_TRUE(facts.contains(fact)) << fact << " in\n" << facts.toStdString();
}

// Past the normal doubles the tab shows the radii, not their doubles of
// 0, and writes the video: from 1e-300 to 1e-330 by i.
TEST(ZoomDialog, AZoomPastTheDoublesShowsItsRadiiAndIsWritten)
{
    Window w(kTypeMandelbrot, 32, 24);
    CFractal& f = *w.doc->m_fractal;
    f.m_centerX = 0;
    f.m_centerY = 1;
    FloatExp end;
    ASSERT_EQ(ReadSize("1e-330", end), SizeRead::kRead);
    f.SetHalfSize(end);
    QTemporaryDir dir;
    std::string error;
    auto start = KindOfType(kTypeMandelbrot).make();
    start->m_centerX = 1e-301;
    start->m_centerY = 1;
    start->m_halfSize = 1e-300;
    ASSERT_TRUE(SaveDocumentFile(dir.filePath("start.frc").toStdString(), kTypeMandelbrot, *start, error)) << error;

    CAnimationDlg dialog(w.view);
    CZoomPage& zoom = *dialog.m_zoomPage;
    EXPECT_EQ(zoom.m_endText->text().toStdString(), "centre (0, 1), radius 1e-330");
    zoom.m_askStartFile = [&] { return dir.filePath("start.frc"); };
    zoom.m_fromFileButton->click();
    EXPECT_TRUE(zoom.m_startText->text().endsWith(", 1), radius 1e-300")) << zoom.m_startText->text().toStdString();
    QStringList complaints;
    zoom.m_complain = [&](const QString& t) { complaints << t; };
    zoom.m_width->setValue(16);
    zoom.m_height->setValue(12);
    zoom.m_seconds->setValue(1);
    zoom.m_fps->setValue(3);
    zoom.m_exact->setChecked(true);
    zoom.m_askPath = [&] { return dir.filePath("zoom.avi"); };
    zoom.m_browseButton->click();
    dialog.show();
    zoom.m_writeButton->click();
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    EXPECT_TRUE(complaints.isEmpty()) << complaints.join("\n").toStdString();
    ASSERT_EQ(zoom.m_outcome.result, AnimationOutcome::kDone) << zoom.m_outcome.error;
    EXPECT_GT(QFileInfo(dir.filePath("zoom.avi")).size(), 0);
}

// Untouched, the Zoom tab writes the headless zoom's bytes; an encoder
// picked from the list its container gives, with a quality set in the real
// settings editor, is the one the file holds and spends the bits it says.
TEST(ZoomDialog, ThePickedEncoderAndItsSettingsReachTheVideo)
{
    const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
    if (ffprobe.isEmpty())
        GTEST_SKIP() << "no ffprobe";
    Window w(kTypeMandelbrot, 64, 48);
    LookAtASmallPart(*w.doc->m_fractal);
    QTemporaryDir dir;
    std::string error;
    ASSERT_TRUE(SaveDocumentFile(dir.filePath("end.frc").toStdString(), kTypeMandelbrot, *w.doc->m_fractal, error));
    CAnimationDlg dialog(w.view);
    CZoomPage& zoom = *dialog.m_zoomPage;
    CEncoderChoice& encoder = *zoom.m_encoder;
    zoom.m_complain = [](const QString& t) { ADD_FAILURE() << t.toStdString(); };
    zoom.m_width->setValue(32);
    zoom.m_height->setValue(24);
    zoom.m_seconds->setValue(1);
    zoom.m_fps->setValue(4);
    zoom.m_antiAliasing->setCurrentIndex(AntiAliasingIndex({}));
    dialog.show();
    auto write = [&](const char* name) {
        zoom.m_pathEdit->setText(dir.filePath(name));
        zoom.m_writeButton->click();
        ASSERT_TRUE(WaitIdle(w.doc));
        QApplication::processEvents();
        ASSERT_EQ(zoom.m_outcome.result, AnimationOutcome::kDone) << zoom.m_outcome.error;
    };
    auto picked = [&] { return encoder.m_list->currentData().toString(); };

    write("plain.mp4");
    EXPECT_EQ(picked(), "libx264");
    const RunResult ref =
        RunWithoutDisplay(QUILLION_EXE, {"--render", dir.filePath("end.frc"), "--zoom-video", "1", "--fps", "4",
                                         "--size", "32x24", "--quiet", "--output", dir.filePath("ref.mp4")});
    ASSERT_EQ(ref.code, 0) << ref.err;
    EXPECT_EQ(ReadAll(dir.filePath("plain.mp4")), ReadAll(dir.filePath("ref.mp4")));

    // The list follows the file name's container.
    zoom.m_pathEdit->setText(dir.filePath("z.webm"));
    EXPECT_EQ(picked(), "libvpx-vp9");
    EXPECT_LT(encoder.m_list->findData("libx264"), 0) << "WebM takes no H.264";
    zoom.m_pathEdit->setText(dir.filePath("z.mkv"));
    ASSERT_GE(encoder.m_list->findData("mpeg4"), 0);
    encoder.m_list->setCurrentIndex(encoder.m_list->findData("mpeg4"));
    auto setQuality = [&](int q) {
        QTimer::singleShot(0, [q] {
            QWidget* editor = QApplication::activeModalWidget();
            ASSERT_TRUE(editor);
            editor->findChild<QSpinBox*>("quality")->setValue(q);
            editor->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        encoder.m_propertiesButton->click();
    };
    setQuality(31);
    EXPECT_TRUE(zoom.m_encoderText->text().endsWith(", quantiser 31")) << zoom.m_encoderText->text().toStdString();
    write("coarse.mkv");
    // Away to a container without it and back: the pick and its settings stay.
    zoom.m_pathEdit->setText(dir.filePath("z.webm"));
    write("coarse2.mkv");
    EXPECT_EQ(picked(), "mpeg4");
    // Matroska files carry a random segment id, so their sizes are compared.
    EXPECT_EQ(QFileInfo(dir.filePath("coarse2.mkv")).size(), QFileInfo(dir.filePath("coarse.mkv")).size());
    setQuality(2);
    write("fine.mkv");

    QProcess probe;
    probe.start(ffprobe,
                {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=codec_name,width,height,pix_fmt",
                 "-of", "default=noprint_wrappers=1", dir.filePath("fine.mkv")});
    ASSERT_TRUE(probe.waitForFinished(5000));
    const QString facts = QString::fromUtf8(probe.readAllStandardOutput());
    for (const char* fact : {"codec_name=mpeg4", "width=32", "height=24", "pix_fmt=yuv420p"})
        EXPECT_TRUE(facts.contains(fact)) << fact << " in\n" << facts.toStdString();
    const qint64 coarse = QFileInfo(dir.filePath("coarse.mkv")).size(),
                 fine = QFileInfo(dir.filePath("fine.mkv")).size();
    EXPECT_GT(fine - 600, 2 * (coarse - 600)) << "quantiser 2 " << fine << " bytes, 31 " << coarse;
}

TEST(ZoomDialog, StopAndCloseKeepTheOlderFileByteForByte)
{
    Window w(kTypeMandelbrot, 64, 48);
    LookAtASmallPart(*w.doc->m_fractal);
    QTemporaryDir dir;
    const QString path = dir.filePath("old.mp4");
    const QByteArray old("an older video, which must stay as it is");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    auto* dialog = new CAnimationDlg(w.view);
    QPointer<CAnimationDlg> alive = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    CZoomPage& zoom = *dialog->m_zoomPage;
    zoom.m_complain = [](const QString& t) { ADD_FAILURE() << t.toStdString(); };
    QStringList asked;
    zoom.m_askReplace = [&](const QString& t) {
        asked << t;
        return true;
    };
    zoom.m_exact->setChecked(true);
    zoom.m_seconds->setValue(600); // 18000 frames: far more than run before the stop
    zoom.m_pathEdit->setText(path);
    dialog->show();
    auto writeAFewFrames = [&] {
        zoom.StartOrStop();
        ASSERT_TRUE(w.doc->IsBuilding());
        const QRegularExpression frames("^Frame ([0-9]+) of 18000");
        ASSERT_TRUE(QTest::qWaitFor([&] { return frames.match(zoom.FrameStatus()).captured(1).toInt() >= 3; }, 5000))
            << zoom.FrameStatus().toStdString();
    };
    writeAFewFrames();
    EXPECT_EQ(asked, QStringList{"old.mp4 already exists.\nDo you want to replace it?"});
    zoom.m_writeButton->click(); // the same button now stops
    EXPECT_EQ(zoom.m_writeButton->text(), "Write");
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    EXPECT_EQ(zoom.m_outcome.result, AnimationOutcome::kStopped);
    EXPECT_EQ(w.frame.statusBar()->currentMessage(), "Terminated by user! old.mp4 is as it was");
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.mp4"}) << "the temporary is gone";

    // Closing while it writes stops it, and the dialog goes once it ended.
    writeAFewFrames();
    dialog->reject();
    EXPECT_TRUE(alive && alive->isVisible()) << "stays until the writer ends";
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alive; }, 5000));
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.mp4"});
}

TEST(ZoomDialog, EachKindIsOfferedTheSidesItCanAnimate)
{
    struct Case {
        int type;
        bool solid; // a self-affine set seen in 3-D
        bool turns, zooms;
    } cases[] = {
        {kTypeMandelbrot, false, false, true},
        {kTypeAppolony, false, false, true},
        {kTypeSelfAffine, true, true, false},
        {kTypeSelfAffine, false, true, true},
        {kTypeTile, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(KindOfType(c.type).name + std::string(c.solid ? " solid" : ""));
        Window w(c.type, 64, 48);
        ASSERT_TRUE(WaitIdle(w.doc));
        if (c.type == kTypeSelfAffine) {
            static_cast<CSelfAffineSet&>(*w.doc->m_fractal).m_threeD = c.solid ? 1 : 0;
            ASSERT_EQ(w.doc->m_fractal->HasDepth(), c.solid);
        }
        w.frame.UpdateCommands();
        EXPECT_EQ(w.frame.Command(Cmd::kAnimation)->isEnabled(), c.turns || c.zooms);
        CAnimationDlg dialog(w.view);
        // A kind that turns opens on Turn, as the dialog always did.
        EXPECT_EQ(dialog.m_modes->currentWidget() == dialog.m_turnPage, c.turns || !c.zooms);
        EXPECT_EQ(dialog.m_modes->isTabEnabled(1), c.zooms);
        EXPECT_EQ(dialog.m_modes->isTabEnabled(0), c.turns || !c.zooms);
    }
}

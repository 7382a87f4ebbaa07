// The program's start-up and the main window's commands, driven through the
// real widgets on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDockWidget>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <set>

#include "app/FractalApp.h"
#include "app/GradientEditor.h"
#include "app/MainFrame.h"
#include "app/TileBar.h"
#include "app/UserGuide.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/ImageSizeDialog.h"
#include "model/FractalFactory.h"
#include "parameters/ParametersBar.h"
#include "parameters/PropertyGrid.h"
#include "tests/app/GridClick.h"
#include "tests/app/WindowFixture.h"

namespace {

int Windows(const CMainFrame& frame) { return int(frame.MdiArea()->subWindowList().size()); }

// Runs `action` and closes the first modal dialog it opens; returns that
// dialog's class name, or empty when none opened.
QString ModalDuring(const std::function<void()>& action, const std::function<void(QWidget*)>& inspect = {})
{
    QString seen;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (seen.isEmpty()) {
                seen = QString::fromLatin1(modal->metaObject()->className());
                if (inspect)
                    inspect(modal);
            }
            modal->close();
        }
    });
    timer.start();
    action();
    QApplication::processEvents();
    return seen;
}

QString SaveTileSet(const QTemporaryDir& dir)
{
    CFractal_Doc doc(kTypeTile);
    doc.m_fractal->m_name = "Twin Dragon";
    const QString path = dir.filePath("twin.frc");
    QString error;
    EXPECT_TRUE(doc.OnSaveDocument(path, error)) << error.toStdString();
    return path;
}

} // namespace

TEST(StartUp, NoArgumentOpensOneMandelbrotDocumentAndNoDialog)
{
    CFractalApp app;
    app.m_registerWithDesktop = false;
    ASSERT_TRUE(app.InitInstance({}));
    CMainFrame* frame = app.MainFrame();
    EXPECT_EQ(QApplication::organizationName(), "Quillion");
    EXPECT_EQ(Windows(*frame), 1);
    CFractal_Doc* doc = frame->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->m_fractalType, kTypeMandelbrot);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(frame->windowTitle(), "Quillion - " + doc->Title() + "[*]");
    EXPECT_FALSE(frame->isWindowModified());
    // The first picture is on its way at once.
    EXPECT_TRUE(doc->IsBuilding() || doc->m_deviceBitmap.HasBitmap());
    ASSERT_TRUE(WaitIdle(doc));
    EXPECT_TRUE(doc->m_deviceBitmap.HasBitmap());
}

TEST(StartUp, AFileArgumentOpensOnlyThatDocument)
{
    QTemporaryDir dir;
    const QString path = SaveTileSet(dir);

    CFractalApp app;
    app.m_registerWithDesktop = false;
    ASSERT_TRUE(app.InitInstance({path}));
    CMainFrame* frame = app.MainFrame();
    ASSERT_EQ(Windows(*frame), 1);
    CFractal_Doc* doc = frame->ActiveDocument();
    EXPECT_EQ(doc->m_fractalType, kTypeTile);
    EXPECT_EQ(doc->Title(), "Twin Dragon");
    EXPECT_EQ(frame->RecentFiles().value(0), QFileInfo(path).absoluteFilePath());
    ASSERT_TRUE(WaitIdle(doc));
    QSettings().remove("Recent File List");
}

TEST(StartUp, EveryFileNamedOpensAndShowsItsPicture)
{
    QTemporaryDir dir;
    const QString tiles = SaveTileSet(dir);
    CFractal_Doc mandelbrot(kTypeMandelbrot);
    const QString second = dir.filePath("m.frc");
    QString error;
    ASSERT_TRUE(mandelbrot.OnSaveDocument(second, error));

    CFractalApp app;
    app.m_registerWithDesktop = false;
    ASSERT_TRUE(app.InitInstance({tiles, second}));
    ASSERT_EQ(Windows(*app.MainFrame()), 2);
    for (QMdiSubWindow* w : app.MainFrame()->MdiArea()->subWindowList()) {
        CFractal_Doc* doc = static_cast<CChildFrame*>(w)->Document();
        ASSERT_TRUE(WaitIdle(doc));
        EXPECT_TRUE(doc->m_deviceBitmap.HasBitmap()) << doc->Title().toStdString();
    }
    QSettings().remove("Recent File List");
}

// Every way to a new picture shows it without a command: New, Open, a
// sample and Paste. An edit of a row waits for a build, and the window
// says so until one has run.
TEST(MainWindow, NewOpenSamplesAndPasteShowTheirPicturesAtOnce)
{
    QTemporaryDir dir;
    CFractal_Doc saved(kTypeAppolony);
    const QString path = dir.filePath("circles.frc");
    QString error;
    ASSERT_TRUE(saved.OnSaveDocument(path, error));

    CFractalApp app;
    app.m_registerWithDesktop = false;
    ASSERT_TRUE(app.InitInstance({}));
    CMainFrame& frame = *app.MainFrame();
    auto pictured = [](CFractal_Doc* doc) {
        return QTest::qWaitFor(
            [&] { return !doc->IsBuilding() && doc->m_deviceBitmap.HasBitmap() && !doc->m_imageStale; }, 20000);
    };
    ASSERT_TRUE(pictured(frame.ActiveDocument()));
    CFractal_Doc* appolony = frame.NewFractalDocument(kTypeAppolony);
    EXPECT_TRUE(pictured(appolony));
    ASSERT_TRUE(frame.OpenDocumentFile(path));
    EXPECT_TRUE(pictured(frame.ActiveDocument()));

    CFractal_Doc* doc = frame.ActiveDocument();
    frame.Command(Cmd::kSampleMandelbrotSet)->trigger();
    EXPECT_EQ(doc->m_fractal->m_kind, CFractal::kMandelbrot);
    EXPECT_TRUE(pictured(doc));
    const QImage before = doc->m_deviceBitmap.Image();
    doc->m_fractal->m_halfSize = 0.5;
    QApplication::clipboard()->setText(doc->History().RowsText());
    doc->m_fractal->m_halfSize = 2;
    frame.PasteParameters();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !doc->IsBuilding() && doc->m_deviceBitmap.Image() != before; }, 20000));
    EXPECT_EQ(doc->m_fractal->m_halfSize, 0.5);

    // An edit in the Properties bar: no build, the pane and the button say
    // so, and F9 clears them.
    QWidget* pane = nullptr;
    for (QLabel* label : frame.statusBar()->findChildren<QLabel*>())
        if (label->text() == "Changed: F9 builds")
            pane = label;
    ASSERT_NE(pane, nullptr);
    EXPECT_FALSE(pane->isVisible());
    ClickValue(frame.ParametersBar(), "precision");
    CPropertyGrid& grid = frame.ParametersBar()->Grid();
    ASSERT_NE(grid.Editor(), nullptr);
    QTest::keyClicks(grid.Editor(), "50");
    QTest::keyClick(grid.Editor(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(doc->IsBuilding());
    EXPECT_TRUE(pane->isVisible());
    frame.Command(Cmd::kContinue)->trigger();
    ASSERT_TRUE(WaitIdle(doc));
    EXPECT_FALSE(pane->isVisible());
    QSettings().remove("Recent File List");
}

TEST(StartUp, AFileThatCannotBeOpenedSaysSoAndLeavesNoWindow)
{
    QTemporaryDir dir;
    QStringList complaints;
    CFractalApp app;
    app.m_registerWithDesktop = false;
    app.m_complain = [&](const QString&, const QString& text) { complaints << text; };
    ASSERT_TRUE(app.InitInstance({dir.filePath("gone.frc")}));
    EXPECT_EQ(Windows(*app.MainFrame()), 0);
    ASSERT_EQ(complaints.size(), 1);
    EXPECT_TRUE(complaints[0].contains("gone.frc")) << complaints[0].toStdString();
}

TEST(StartUp, TheExecutableExplainsItsCommandLine)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    // The platform's own options pass; help ends the program before any window.
    p.start(QUILLION_EXE, {"-platform", "offscreen", "--help"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(out.contains("quillion [FILE...]")) << out.toStdString();
    EXPECT_TRUE(out.contains("quillion --render")) << out.toStdString();
}

TEST(MainWindow, HiddenPropertiesStayHiddenAfterARestart)
{
    {
        CMainFrame frame;
        frame.show();
        ASSERT_TRUE(frame.ParametersBar()->isVisible());
        frame.Command(Cmd::kToggleProperties)->trigger();
        EXPECT_FALSE(frame.ParametersBar()->isVisible());
        EXPECT_FALSE(frame.Command(Cmd::kToggleProperties)->isChecked());
        frame.close();
    }
    {
        CMainFrame frame;
        frame.show();
        QApplication::processEvents();
        EXPECT_FALSE(frame.ParametersBar()->isVisible());
        EXPECT_FALSE(frame.Command(Cmd::kToggleProperties)->isChecked());
        EXPECT_FALSE(frame.TileBar()->isVisible()) << "no tile set is active";
        EXPECT_FALSE(CTileBar::UserChose()) << "only the bar that was hidden";
        frame.Command(Cmd::kToggleProperties)->trigger();
        frame.close();
    }
    CMainFrame frame;
    frame.show();
    QApplication::processEvents();
    EXPECT_TRUE(frame.ParametersBar()->isVisible());
    QSettings().remove("BarState");
}

// Every item of every menu, with a document open, reaches its command.
TEST(MainWindow, EveryMenuItemReachesItsCommand)
{
    CMainFrame frame;
    frame.show();
    frame.m_askSave = [](const QString&) { return QMessageBox::Discard; };
    CFractal_Doc* doc = frame.NewFractalDocument(kTypeMandelbrot);
    frame.MdiArea()->activeSubWindow()->showNormal();
    frame.ActiveView()->ResizeToBitmap(160, 120);
    QStringList asked;
    frame.m_askPath = [&](const QString&, bool save) {
        asked << (save ? "save" : "open");
        return QString();
    };

    std::set<Cmd> inMenus;
    std::function<void(QMenu*)> walk = [&](QMenu* menu) {
        for (QAction* a : menu->actions()) {
            if (a->menu())
                walk(a->menu());
            else if (a->data().isValid())
                inMenus.insert(Cmd(a->data().toInt()));
        }
    };
    for (QAction* a : frame.menuBar()->actions())
        if (a->menu())
            walk(a->menu());

    std::set<Cmd> done;
    auto run = [&](Cmd id) {
        done.insert(id);
        QAction* a = frame.Command(id);
        EXPECT_NE(a, nullptr) << id;
        return a ? ModalDuring([a] { a->trigger(); }) : QString();
    };
    auto dialog = [&](Cmd id, const char* cls) { EXPECT_EQ(run(id), cls) << id; };

    // Idle: Stop is the only build command that is off.
    for (Cmd id : {Cmd::kRebuild, Cmd::kZoomOut, Cmd::kContinue, Cmd::kPaint, Cmd::kParameters, Cmd::kAnimation})
        EXPECT_TRUE(frame.Command(id)->isEnabled()) << id;
    EXPECT_FALSE(frame.Command(Cmd::kStop)->isEnabled());
    EXPECT_FALSE(frame.Command(Cmd::kSaveData)->isEnabled()) << "only self-affine sets have data";
    done.insert({Cmd::kStop, Cmd::kSaveData});

    dialog(Cmd::kNew, "CNewFractalDlg");
    run(Cmd::kOpen);
    run(Cmd::kSave);
    run(Cmd::kSaveAs);
    EXPECT_EQ(asked, QStringList({"open", "save", "save"}));
    dialog(Cmd::kPrint, "QPrintDialog");
    dialog(Cmd::kPrintPreview, "QPrintPreviewDialog");
    dialog(Cmd::kPrintSetup, "QPageSetupDialog");
    // Print Setup chooses for the prints that follow.
    QPrinter* setUp = nullptr;
    QPrinter* printed = nullptr;
    ModalDuring([&] { frame.Command(Cmd::kPrintSetup)->trigger(); },
                [&](QWidget* w) { setUp = static_cast<QPageSetupDialog*>(w)->printer(); });
    ModalDuring([&] { frame.Command(Cmd::kPrint)->trigger(); },
                [&](QWidget* w) { printed = static_cast<QPrintDialog*>(w)->printer(); });
    EXPECT_NE(setUp, nullptr);
    EXPECT_EQ(setUp, printed);
    dialog(Cmd::kAbout, "CAboutDlg");
    run(Cmd::kUserGuide); // not modal: the guide stays open beside the work
    EXPECT_TRUE(frame.findChild<CUserGuide*>()->isVisible());
    dialog(Cmd::kAnimation, "CAnimationDlg");
    dialog(Cmd::kSizeCustom, "CSizeDialog");

    for (Cmd id : {Cmd::kToggleProperties, Cmd::kToggleTileBar}) {
        const bool was = frame.Command(id)->isChecked();
        run(id);
        EXPECT_NE(frame.Command(id)->isChecked(), was) << id;
        run(id);
    }
    EXPECT_FALSE(CTileBar::UserChose()) << "shown and hidden again: the tile bar follows the document again";
    run(Cmd::kGradient);
    ASSERT_NE(frame.GradientEditor(), nullptr);
    EXPECT_TRUE(frame.GradientEditor()->isVisible());
    EXPECT_EQ(frame.GradientEditor()->Document(), doc);

    run(Cmd::kRebuild);
    EXPECT_TRUE(doc->IsBuilding());
    for (Cmd id : {Cmd::kRebuild, Cmd::kZoomOut, Cmd::kContinue, Cmd::kPaint, Cmd::kParameters, Cmd::kAnimation})
        EXPECT_FALSE(frame.Command(id)->isEnabled()) << id << " while building";
    EXPECT_TRUE(frame.Command(Cmd::kStop)->isEnabled());
    ASSERT_TRUE(WaitIdle(doc));
    for (Cmd id : {Cmd::kContinue, Cmd::kPaint}) {
        run(id);
        ASSERT_TRUE(WaitIdle(doc));
    }
    dialog(Cmd::kSaveBitmap, "QFileDialog");
    // Without a rectangle, zooming out builds the same view again.
    run(Cmd::kZoomOut);
    ASSERT_TRUE(WaitIdle(doc));
    run(Cmd::kParameters);
    const QString rows = doc->History().RowsText();
    for (Cmd id : {Cmd::kZoomInStep, Cmd::kPanLeft, Cmd::kPanUp, Cmd::kPanDown, Cmd::kPanRight, Cmd::kZoomOutStep}) {
        run(id);
        ASSERT_TRUE(WaitIdle(doc));
    }
    EXPECT_EQ(doc->History().RowsText(), rows) << "each step undone by the next";
    run(Cmd::kOverview);
    ASSERT_TRUE(WaitIdle(doc));
    // The whole set's nearest minibrot is itself: centred on 0.
    run(Cmd::kZoomToMinibrot);
    ASSERT_TRUE(WaitIdle(doc));
    EXPECT_EQ(doc->m_fractal->m_centerX, 0.0);
    run(Cmd::kOverview);
    ASSERT_TRUE(WaitIdle(doc));
    run(Cmd::kOpenJulia); // with no preview shown, nothing to open
    EXPECT_EQ(Windows(frame), 1);

    const int sizes[5][2] = {{100, 100}, {320, 200}, {640, 480}, {800, 600}, {1024, 768}};
    for (int k = 0; k < 5; ++k) {
        run(BitmapSizeCommand(BitmapSize(k)));
        EXPECT_EQ(doc->m_canvas->m_targetWidth.load(), sizes[k][0]) << k;
        EXPECT_EQ(doc->m_canvas->m_targetHeight.load(), sizes[k][1]) << k;
    }
    dialog(Cmd::kSaveImage, "CImageSizeDialog");
    // Each choice is the document's, checked in the menu, and builds (at
    // 100x100, so 8x8 stays quick).
    run(BitmapSizeCommand(BitmapSize(0)));
    for (int k = kAntiAliasingChoices - 1; k >= 0; --k) {
        run(AntiAliasingCommand(k));
        ASSERT_TRUE(WaitIdle(doc));
        EXPECT_EQ(doc->m_antiAliasing, AntiAliasingChoice(k)) << k;
        EXPECT_TRUE(frame.Command(AntiAliasingCommand(k))->isChecked()) << k;
    }
    run(Cmd::kSizeVariable);

    for (int k = 0; k < kSampleCount; ++k) {
        const Cmd id = SampleCommand(k);
        if (!inMenus.count(id))
            continue;
        run(id);
        EXPECT_EQ(doc->m_fractal->m_name, CreateSample(k)->m_name) << id;
        EXPECT_EQ(frame.Command(Cmd::kSaveData)->isEnabled(), doc->m_fractal->m_kind == CFractal::kSelfAffine) << id;
    }
    run(Cmd::kSampleSierpinskyTriangle);
    dialog(Cmd::kSaveData, "QFileDialog");

    run(Cmd::kNewWindow);
    EXPECT_EQ(Windows(frame), 2);
    run(Cmd::kCascade);
    run(Cmd::kTileWindows);
    const QRect a = frame.MdiArea()->subWindowList()[0]->geometry();
    const QRect b = frame.MdiArea()->subWindowList()[1]->geometry();
    EXPECT_FALSE(a.intersects(b)) << "tiled";
    run(Cmd::kArrangeIcons);
    run(Cmd::kClose);
    EXPECT_EQ(Windows(frame), 1);
    run(Cmd::kExit);
    EXPECT_FALSE(frame.isVisible()) << "Exit";

    for (Cmd id : inMenus)
        EXPECT_TRUE(done.count(id)) << id << " is in a menu and was not tried";
    QSettings().remove("Recent File List");
}

TEST(MainWindow, ReadyIsTheIdlePrompt)
{
    CMainFrame frame;
    frame.show();
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Ready");
    QStatusTipEvent hover(frame.Command(Cmd::kRebuild)->statusTip());
    QApplication::sendEvent(&frame, &hover);
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Rebuild fractal");
    QStatusTipEvent away{QString()};
    QApplication::sendEvent(&frame, &away);
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Ready");
}

TEST(MainWindow, ToolbarPicturesComeInTwoDensities)
{
    CMainFrame frame;
    const Cmd buttons[] = {Cmd::kNew,     Cmd::kOpen,  Cmd::kSave, Cmd::kSaveBitmap, Cmd::kPrint,
                           Cmd::kRebuild, Cmd::kPaint, Cmd::kStop, Cmd::kPowerTool,  Cmd::kAbout};
    for (Cmd id : buttons) {
        const QIcon icon = frame.Command(id)->icon();
        ASSERT_FALSE(icon.isNull()) << id;
        // On a 2x screen the 32-pixel drawing is used, not a blown-up 16.
        const QPixmap sharp = icon.pixmap(QSize(16, 16), 2.0);
        EXPECT_EQ(sharp.deviceIndependentSize().toSize(), QSize(16, 16)) << id;
        EXPECT_EQ(sharp.size(), QSize(32, 32)) << id;
        const QImage drawn = sharp.toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage blownUp =
            icon.pixmap(QSize(16, 16), 1.0).toImage().scaled(32, 32).convertToFormat(QImage::Format_ARGB32);
        EXPECT_NE(drawn, blownUp) << id;
    }
    EXPECT_EQ(ApplicationIcon().availableSizes().size(), 6);
    EXPECT_EQ(ApplicationIcon().pixmap(QSize(256, 256)).size(), QSize(256, 256));
}

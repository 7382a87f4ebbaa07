// What a first-time user meets in the menus, dialogs and bars: Bitmap Size
// marks the size in force, the Window menu lists and activates the open
// windows, file dialogs start in the last folder with the document's name,
// the Properties bar opens tall enough for its rows, and the tile bar shows
// while a tile set is active.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include "WindowFixture.h"
#include "animation/AnimationDlg.h"
#include "app/TileBar.h"
#include "document/FileFolder.h"
#include "model/FractalFactory.h"

namespace {

QMenu* MenuNamed(CMainFrame& frame, const QString& text)
{
    for (QAction* a : frame.menuBar()->actions())
        if (a->menu() && a->text() == text)
            return a->menu();
    return nullptr;
}

// Opens `menu` as the user would and returns its actions while it is shown.
QList<QAction*> Open(QMenu* menu)
{
    menu->popup(QPoint(0, 0));
    QApplication::processEvents();
    QList<QAction*> actions = menu->actions();
    return actions;
}

QList<QAction*> Checked(QMenu* menu)
{
    QList<QAction*> on;
    for (QAction* a : Open(menu))
        if (a->isChecked())
            on << a;
    menu->close();
    return on;
}

// Runs `action` while a timer answers the first file dialog it opens:
// `answer` inspects it and returns the file to accept, or "" to cancel.
bool AnswerFileDialog(const std::function<void()>& action, const std::function<QString(QFileDialog*)>& answer)
{
    bool seen = false;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || seen)
            return;
        seen = true;
        const QString file = answer(dialog);
        if (file.isEmpty()) {
            dialog->reject();
        } else {
            // Typed into the name box, then Enter, as the user does.
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(file);
            QTest::keyClick(name, Qt::Key_Return);
        }
    });
    timer.start();
    action();
    QApplication::processEvents();
    return seen;
}

} // namespace

TEST(FirstRun, BitmapSizeMarksTheSizeInForce)
{
    Window w(kTypeMandelbrot);
    ASSERT_TRUE(WaitIdle(w.doc));
    QMenu* size = nullptr;
    for (QAction* a : MenuNamed(w.frame, "&Window")->actions())
        if (a->menu() && a->text() == "&Bitmap Size")
            size = a->menu();
    ASSERT_NE(size, nullptr);
    ASSERT_EQ(Checked(size), QList<QAction*>{w.frame.Command(Cmd::kSizeVariable)}) << "a new window follows its size";
    // The size commands wait for a build to end.
    auto run = [&](Cmd id) {
        ASSERT_TRUE(WaitIdle(w.doc));
        QApplication::processEvents();
        ASSERT_TRUE(w.frame.Command(id)->isEnabled());
        w.frame.Command(id)->trigger();
        QApplication::processEvents();
    };

    run(Cmd::kSize640x480);
    EXPECT_EQ(Checked(size), QList<QAction*>{w.frame.Command(Cmd::kSize640x480)});

    // A custom size that is one of the listed ones is that one; another is Custom.
    unsigned asked[2] = {800, 600};
    w.view->m_askSize = [&](unsigned& cw, unsigned& ch) {
        cw = asked[0];
        ch = asked[1];
        return true;
    };
    run(Cmd::kSizeCustom);
    EXPECT_EQ(Checked(size), QList<QAction*>{w.frame.Command(Cmd::kSize800x600)});
    asked[0] = 333;
    run(Cmd::kSizeCustom);
    EXPECT_EQ(Checked(size), QList<QAction*>{w.frame.Command(Cmd::kSizeCustom)});
    // A cancelled dialog leaves the mark where it was.
    run(Cmd::kSizeVariable);
    w.view->m_askSize = [](unsigned&, unsigned&) { return false; };
    run(Cmd::kSizeCustom);
    EXPECT_EQ(Checked(size), QList<QAction*>{w.frame.Command(Cmd::kSizeVariable)});
}

TEST(FirstRun, TheWindowMenuListsAndActivatesTheOpenWindows)
{
    Window w(kTypeMandelbrot);
    CFractal_Doc* second = w.frame.NewFractalDocument(kTypeAppolony);
    QApplication::processEvents();
    ASSERT_EQ(w.frame.ActiveDocument(), second);
    QMenu* window = MenuNamed(w.frame, "&Window");
    ASSERT_NE(window, nullptr);

    auto listed = [&] {
        QList<QAction*> rows;
        for (QAction* a : Open(window))
            if (a->isCheckable() && !a->menu() && a->text().startsWith('&') && a->text()[1].isDigit())
                rows << a;
        return rows;
    };
    QList<QAction*> rows = listed();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0]->text(), "&1 " + w.doc->Title());
    EXPECT_EQ(rows[1]->text(), "&2 " + second->Title());
    EXPECT_FALSE(rows[0]->isChecked());
    EXPECT_TRUE(rows[1]->isChecked());
    rows[0]->trigger();
    window->close();
    QApplication::processEvents();
    EXPECT_EQ(w.frame.ActiveDocument(), w.doc);

    // Opened again, the list is made afresh: no window twice, the mark moved.
    rows = listed();
    window->close();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0]->isChecked());
    EXPECT_FALSE(rows[1]->isChecked());
}

TEST(FirstRun, FileDialogsStartInTheLastFolderWithTheDocumentsName)
{
    QTemporaryDir first, second;
    QSettings().setValue("Settings/LastFolder", first.path());
    Window w(kTypeTile); // builds at once, so it has a bitmap to save
    ASSERT_TRUE(WaitIdle(w.doc));
    w.frame.m_askPath = {};
    const QString title = w.doc->Title();

    // Save As suggests the title in the last folder; cancelling saves nothing.
    QString suggested, folder;
    EXPECT_TRUE(AnswerFileDialog([&] { w.frame.Command(Cmd::kSaveAs)->trigger(); },
                                 [&](QFileDialog* d) {
                                     folder = d->directory().absolutePath();
                                     suggested = d->selectedFiles().value(0);
                                     return QString();
                                 }));
    EXPECT_EQ(folder, QDir(first.path()).absolutePath());
    EXPECT_EQ(suggested, QDir(first.path()).filePath(title + ".frc"));
    EXPECT_FALSE(w.doc->History().IsModified() && QFileInfo::exists(suggested));

    // A file chosen elsewhere moves the folder every dialog starts in.
    const QString chosen = QDir(second.path()).filePath("kept.frc");
    EXPECT_TRUE(
        AnswerFileDialog([&] { w.frame.Command(Cmd::kSaveAs)->trigger(); }, [&](QFileDialog*) { return chosen; }));
    EXPECT_TRUE(QFileInfo::exists(chosen));
    EXPECT_EQ(LastFolder(), QDir(second.path()).absolutePath());

    EXPECT_TRUE(AnswerFileDialog([&] { w.frame.Command(Cmd::kOpen)->trigger(); },
                                 [&](QFileDialog* d) {
                                     folder = d->directory().absolutePath();
                                     return QString();
                                 }));
    EXPECT_EQ(folder, QDir(second.path()).absolutePath());

    ASSERT_TRUE(w.frame.Command(Cmd::kSaveBitmap)->isEnabled());
    ASSERT_EQ(w.frame.ActiveDocument(), w.doc);
    ASSERT_TRUE(w.doc->m_canvas->HasBuffer());
    EXPECT_TRUE(AnswerFileDialog([&] { w.frame.Command(Cmd::kSaveBitmap)->trigger(); },
                                 [&](QFileDialog* d) {
                                     suggested = d->selectedFiles().value(0);
                                     return QString();
                                 }));
    EXPECT_EQ(suggested, QDir(second.path()).filePath(title + ".bmp"));

    // A title with a separator stays in the folder.
    EXPECT_EQ(SuggestedPath("a/b.frc"), QDir(second.path()).filePath("a_b.frc"));
    // A folder that has gone is forgotten rather than offered.
    QSettings().setValue("Settings/LastFolder", second.path() + "/gone");
    EXPECT_EQ(SuggestedPath("x.frc"), "x.frc");
}

TEST(FirstRun, ANewSampleClearsTheOldPictureUntilItsOwnIsDrawn)
{
    Window w(kTypeMandelbrot);
    auto shown = [&] {
        QApplication::processEvents();
        return w.view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    auto blank = [](const QImage& img) {
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != qRgb(255, 255, 255))
                    return false;
        return true;
    };
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QImage mandelbrot = shown();
    ASSERT_FALSE(blank(mandelbrot));

    w.doc->OnSample(0);
    EXPECT_TRUE(blank(shown())) << "the old picture stood under the new title";
    EXPECT_TRUE(w.doc->m_deviceBitmap.HasBitmap()) << "the image itself is kept";

    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QImage sample = shown();
    EXPECT_FALSE(blank(sample));
    EXPECT_NE(sample, mandelbrot);
}

namespace {

void ForgetLayout()
{
    QSettings settings;
    for (const char* key :
         {"BarState", "BarState-SCBar-123", "BarState-SCBar-124", "WindowPlacement", "Settings/TileBarShown"})
        settings.remove(key);
}

// Every row of the grid, its groups opened, lies inside its viewport.
::testing::AssertionResult AllRowsShow(CPropertyGrid& grid)
{
    grid.expandAll();
    QApplication::processEvents();
    int rows = 0;
    for (QTreeWidgetItemIterator it(&grid); *it; ++it, ++rows) {
        const QRect r = grid.visualItemRect(*it);
        if (r.isEmpty() || r.top() < 0 || r.bottom() >= grid.viewport()->height())
            return ::testing::AssertionFailure() << "row " << rows << " at " << r.top() << ".." << r.bottom()
                                                 << " of a viewport " << grid.viewport()->height() << " high";
    }
    if (rows == 0)
        return ::testing::AssertionFailure() << "no rows";
    if (grid.verticalScrollBar()->maximum() != 0)
        return ::testing::AssertionFailure() << "a scroll bar";
    return ::testing::AssertionSuccess() << rows << " rows";
}

} // namespace

TEST(FirstRun, ThePropertiesBarOpensTallEnoughForItsRows)
{
    ForgetLayout();
    // The tile bar shares the column: the room has to be taken from it.
    QSettings().setValue("Settings/TileBarShown", true);
    int userHeight = 0;
    {
        CMainFrame frame;
        frame.m_askSave = [](const QString&) { return QMessageBox::Discard; };
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        frame.NewFractalDocument(kTypeMandelbrot);
        QApplication::processEvents();
        CParametersBar* bar = frame.ParametersBar();
        ASSERT_TRUE(frame.TileBar()->isVisible());
        ASSERT_EQ(frame.dockWidgetArea(frame.TileBar()), frame.dockWidgetArea(bar));
        EXPECT_EQ(bar->RowCount(), 22);
        EXPECT_TRUE(AllRowsShow(bar->Grid()));
        EXPECT_LE(bar->height(), frame.screen()->availableGeometry().height());

        // The user's own layout is kept from then on, however small. The
        // tile bar grows only so far: a shorter window leaves it the room.
        frame.resize(frame.width(), frame.height() - 200);
        QApplication::processEvents();
        frame.resizeDocks({bar}, {120}, Qt::Vertical);
        QApplication::processEvents();
        userHeight = bar->height();
        frame.SavePlacement();
    }
    CMainFrame again;
    again.m_askSave = [](const QString&) { return QMessageBox::Discard; };
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    again.NewFractalDocument(kTypeMandelbrot);
    QApplication::processEvents();
    EXPECT_EQ(again.ParametersBar()->height(), userHeight);
    EXPECT_LT(userHeight, again.ParametersBar()->HeightForAllRows()) << "too tall to show that it is kept";
    ForgetLayout();
}

TEST(FirstRun, TheTileBarFollowsTheActiveDocumentUnlessTheUserChose)
{
    ForgetLayout();
    Window w(kTypeMandelbrot);
    CTileBar* bar = w.frame.TileBar();
    QAction* toggle = w.frame.Command(Cmd::kToggleTileBar);
    auto shown = [&] {
        QApplication::processEvents();
        EXPECT_EQ(toggle->isChecked(), bar->isVisible()) << "the View menu's mark";
        return bar->isVisible();
    };
    QMdiSubWindow* mandelbrot = w.frame.MdiArea()->activeSubWindow();
    EXPECT_FALSE(shown());

    CFractal_Doc* tiles = w.frame.NewFractalDocument(kTypeTile);
    ASSERT_TRUE(WaitIdle(tiles));
    QMdiSubWindow* tileWindow = w.frame.MdiArea()->activeSubWindow();
    EXPECT_TRUE(shown());
    w.frame.MdiArea()->setActiveSubWindow(mandelbrot);
    EXPECT_FALSE(shown());
    w.frame.MdiArea()->setActiveSubWindow(tileWindow);
    EXPECT_TRUE(shown());

    // Hidden by the user while a tile set is active: it stays hidden, also
    // for the next tile set and in the next run.
    toggle->trigger();
    EXPECT_FALSE(shown());
    w.frame.MdiArea()->setActiveSubWindow(mandelbrot);
    w.frame.MdiArea()->setActiveSubWindow(tileWindow);
    EXPECT_FALSE(shown());
    {
        CMainFrame next;
        next.show();
        CFractal_Doc* doc = next.NewFractalDocument(kTypeTile);
        ASSERT_TRUE(WaitIdle(doc));
        QApplication::processEvents();
        EXPECT_FALSE(next.TileBar()->isVisible());
    }

    // Shown again where the rule shows it: the rule holds again.
    toggle->trigger();
    EXPECT_TRUE(shown());
    EXPECT_FALSE(CTileBar::UserChose());
    w.frame.MdiArea()->setActiveSubWindow(mandelbrot);
    EXPECT_FALSE(shown());

    // Shown by the user over a Mandelbrot set: it stays, with no window too.
    toggle->trigger();
    EXPECT_TRUE(shown());
    w.frame.MdiArea()->setActiveSubWindow(tileWindow);
    w.frame.MdiArea()->setActiveSubWindow(mandelbrot);
    EXPECT_TRUE(shown());

    // Its own close button is the user's choice as well.
    w.frame.MdiArea()->setActiveSubWindow(tileWindow);
    toggle->trigger();
    toggle->trigger(); // hidden, then shown where the rule shows it
    ASSERT_TRUE(shown());
    ASSERT_FALSE(CTileBar::UserChose());
    auto* close = bar->findChild<QAbstractButton*>("qt_dockwidget_closebutton");
    ASSERT_NE(close, nullptr);
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(shown());
    bool chosen = true;
    EXPECT_TRUE(CTileBar::UserChose(&chosen));
    EXPECT_FALSE(chosen);
    w.frame.MdiArea()->setActiveSubWindow(mandelbrot);
    w.frame.MdiArea()->setActiveSubWindow(tileWindow);
    EXPECT_FALSE(shown());

    // A sample chosen into the tile set's window makes it another kind.
    toggle->trigger();
    ASSERT_TRUE(shown());
    w.frame.Command(Cmd::kSampleSierpinskyTriangle)->trigger();
    EXPECT_FALSE(shown());
    ForgetLayout();
}

TEST(FirstRun, ACopyOrSavedBitmapWaitsForANewSamplesOwnPicture)
{
    Window w(kTypeMandelbrot);
    QAction* copy = nullptr;
    for (QAction* a : MenuNamed(w.frame, "&Edit")->actions())
        if (a->text() == "&Copy Image")
            copy = a;
    ASSERT_NE(copy, nullptr);
    QAction* saveBitmap = w.frame.Command(Cmd::kSaveBitmap);
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    EXPECT_TRUE(copy->isEnabled());
    EXPECT_TRUE(saveBitmap->isEnabled());

    // Chosen from the menu, the sample clears the picture: the old one is
    // neither copied nor saved under the new title.
    w.frame.Command(Cmd::kSampleSierpinskyTriangle)->trigger();
    ASSERT_TRUE(w.doc->m_imageStale);
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_FALSE(saveBitmap->isEnabled());
    QApplication::clipboard()->setText("kept");
    w.frame.CopyImage();
    EXPECT_TRUE(QApplication::clipboard()->image().isNull());
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");

    // Its own first image brings both back, and that image is copied.
    w.frame.Command(Cmd::kRebuild)->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    QApplication::processEvents();
    ASSERT_FALSE(w.doc->m_imageStale);
    EXPECT_TRUE(copy->isEnabled());
    EXPECT_TRUE(saveBitmap->isEnabled());
    copy->trigger();
    EXPECT_EQ(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
              w.doc->m_deviceBitmap.Image().convertToFormat(QImage::Format_RGB32));
}

TEST(FirstRun, TheAnimationsFileDialogStartsInTheLastFolder)
{
    QTemporaryDir folder;
    QSettings().setValue("Settings/LastFolder", folder.path());
    Window w(kTypeSelfAffine, 64, 48);
    CAnimationDlg dialog(w.view);
    dialog.m_complain = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
    QString suggested;
    EXPECT_TRUE(AnswerFileDialog([&] { dialog.StartOrStop(); },
                                 [&](QFileDialog* d) {
                                     suggested = d->selectedFiles().value(0);
                                     return QString();
                                 }));
    // The name the system has always suggested, in the folder last chosen.
    EXPECT_EQ(suggested, QDir(folder.path()).filePath("Output.avi"));
    EXPECT_FALSE(dialog.Writing());
    QSettings().remove("Settings/LastFolder");
}

// The main window's actions (one per row of the command table), its menus
// and toolbar.
#include <QActionGroup>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QToolBar>

#include "app/MainFrame.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/ImageSizeDialog.h"
#include "document/Pictures.h"
#include "model/Samples.h"

void CMainFrame::CreateCommands()
{
    for (int i = 0; i < int(Cmd::kCount); ++i) {
        const Cmd cmd = Cmd(i);
        const CommandRow& row = CommandOf(cmd);
        auto* a = new QAction(QString::fromLatin1(row.text), this);
        a->setData(i);
        if (*row.key)
            a->setShortcut(QKeySequence(QString::fromLatin1(row.key)));
        if (*row.windowKeys) {
            QList<QKeySequence> keys;
            for (const QString& k : QString::fromLatin1(row.windowKeys).split(';'))
                keys << QKeySequence(k);
            a->setShortcuts(keys);
            // Navigation keys only where the pictures are: the Properties
            // bar's tree and editor keep their arrows and Home.
            if (row.when == CmdWhen::kNavigable) {
                a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
                m_mdi->addAction(a);
            } else {
                addAction(a);
            }
        }
        if (row.prompt) {
            const QString prompt = QString::fromLatin1(row.prompt);
            a->setStatusTip(prompt.section('\n', 0, 0));
            a->setToolTip(prompt.contains('\n') ? prompt.section('\n', 1) : prompt);
        }
        connect(a, &QAction::triggered, this, [this, cmd] { Dispatch(cmd); });
        m_commands[std::size_t(i)] = a;
    }
}

QAction* CMainFrame::AddCommand(QMenu* menu, Cmd cmd)
{
    QAction* a = Command(cmd);
    menu->addAction(a);
    return a;
}

void CMainFrame::BuildMenus()
{
    CreateCommands();
    // One set of actions; the document menus show only while a document
    // window is active, as the two menu resources did.
    QMenu* file = menuBar()->addMenu("&File");
    AddCommand(file, Cmd::kNew);
    AddCommand(file, Cmd::kOpen);
    for (Cmd cmd : {Cmd::kClose, Cmd::kSave, Cmd::kSaveAs, Cmd::kSaveBitmap, Cmd::kSaveImage, Cmd::kSaveData})
        m_docOnly << AddCommand(file, cmd);
    m_docOnly << file->addSeparator();
    m_docOnly << AddCommand(file, Cmd::kPrint);
    m_docOnly << AddCommand(file, Cmd::kPrintPreview);
    file->addSeparator();
    AddCommand(file, Cmd::kPrintSetup);
    file->addSeparator();
    m_recentMenu = file->addMenu("Recent &Files");
    UpdateRecentMenu();
    file->addSeparator();
    AddCommand(file, Cmd::kExit);

    QMenu* edit = menuBar()->addMenu("&Edit");
    m_docMenus << edit->menuAction();

    QMenu* view = menuBar()->addMenu("&View");
    m_toolBar = addToolBar("Toolbar");
    // The saved layout knows the toolbar by this name.
    m_toolBar->setObjectName("59392");
    QAction* toolbarToggle = m_toolBar->toggleViewAction();
    toolbarToggle->setText("&Toolbar");
    view->addAction(toolbarToggle);
    QAction* statusToggle = view->addAction("&Status Bar");
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, statusBar(), &QWidget::setVisible);
    AddCommand(view, Cmd::kToggleProperties)->setCheckable(true);
    QAction* tiles = AddCommand(view, Cmd::kToggleTileBar);
    tiles->setCheckable(true);
    m_docOnly << tiles;
    m_viewMenu = view;
    m_docOnly << view->addSeparator();
    m_docOnly << AddCommand(view, Cmd::kGradient);
    QMenu* antiAliasing = view->addMenu("&Anti-aliasing");
    auto* aaGroup = new QActionGroup(this);
    for (int k = 0; k < kAntiAliasingChoices; ++k) {
        QAction* a = AddCommand(antiAliasing, AntiAliasingCommand(k));
        a->setCheckable(true);
        a->setActionGroup(aaGroup);
    }
    m_docOnly << antiAliasing->menuAction();
    connect(antiAliasing, &QMenu::aboutToShow, this, &CMainFrame::CheckAntiAliasing);
    BuildEditMenu(edit, view);
    m_docOnly << view->addSeparator();
    for (Cmd cmd : {Cmd::kZoomInStep, Cmd::kZoomOutStep, Cmd::kPanLeft, Cmd::kPanRight, Cmd::kPanUp, Cmd::kPanDown,
                    Cmd::kOverview, Cmd::kZoomToMinibrot})
        m_docOnly << AddCommand(view, cmd);

    QMenu* build = menuBar()->addMenu("&Build");
    for (Cmd cmd : {Cmd::kRebuild, Cmd::kZoomOut, Cmd::kStop, Cmd::kAnimation})
        AddCommand(build, cmd);
    m_docMenus << build->menuAction();

    QMenu* samples = menuBar()->addMenu("&Samples");
    QMenu* affine = samples->addMenu("Self-&Affine");
    for (int k = 0; k <= 3; ++k)
        AddCommand(affine, SampleCommand(k));
    // The 3-D samples had handlers but no menu items; here they have both.
    QMenu* solid = samples->addMenu("&3-D Sets");
    for (int k = 4; k <= 9; ++k)
        AddCommand(solid, SampleCommand(k))->setText(QString::fromStdString(MakeSample(k)->m_name));
    QMenu* sections = samples->addMenu("S&ections");
    AddCommand(sections, Cmd::kSamplePyramidSection);
    AddCommand(sections, Cmd::kSampleCrossSection);
    AddCommand(samples, Cmd::kSampleMandelbrotSet);
    m_docMenus << samples->menuAction();

    QMenu* window = menuBar()->addMenu("&Window");
    QMenu* size = window->addMenu("&Bitmap Size");
    auto* sizeGroup = new QActionGroup(this);
    AddCommand(size, Cmd::kSizeVariable)->setActionGroup(sizeGroup);
    AddCommand(size, Cmd::kSizeCustom)->setActionGroup(sizeGroup);
    size->addSeparator();
    for (int k = 0; k < 5; ++k)
        AddCommand(size, BitmapSizeCommand(BitmapSize(k)))->setActionGroup(sizeGroup);
    for (QAction* a : sizeGroup->actions())
        a->setCheckable(true);
    connect(size, &QMenu::aboutToShow, this, &CMainFrame::CheckBitmapSize);
    AddCommand(window, Cmd::kParameters);
    window->addSeparator();
    for (Cmd cmd : {Cmd::kNewWindow, Cmd::kCascade, Cmd::kTileWindows, Cmd::kArrangeIcons})
        AddCommand(window, cmd);
    connect(window, &QMenu::aboutToShow, this, [this, window] { ListWindows(window); });
    m_docMenus << window->menuAction();

    QMenu* help = menuBar()->addMenu("&Help");
    AddCommand(help, Cmd::kUserGuide);
    help->addSeparator();
    AddCommand(help, Cmd::kAbout);

    auto button = [&](Cmd cmd, const char* picture) {
        QAction* a = Command(cmd);
        a->setIcon(Picture(QString(":/icons/toolbar/%1.png").arg(picture)));
        m_toolBar->addAction(a);
    };
    button(Cmd::kNew, "new");
    button(Cmd::kOpen, "open");
    button(Cmd::kSave, "save");
    button(Cmd::kSaveBitmap, "save-bitmap");
    m_toolBar->addSeparator();
    button(Cmd::kPrint, "print");
    m_toolBar->addSeparator();
    button(Cmd::kRebuild, "rebuild");
    button(Cmd::kPaint, "paint");
    AddGradientButton();
    button(Cmd::kStop, "stop");
    button(Cmd::kPowerTool, "power-tool");
    m_toolBar->addSeparator();
    button(Cmd::kAbout, "about");
    m_toolBar->setIconSize(QSize(16, 16));
    UpdateCommands();
}

void CMainFrame::CheckBitmapSize()
{
    CFractal_View* view = ActiveView();
    if (!view || !view->GetDocument())
        return;
    const CCanvas& c = *view->GetDocument()->m_canvas;
    BitmapSize size = BitmapSize::kVariable;
    if (c.m_fixedSize) {
        // A typed size that equals a listed one is that one.
        size = BitmapSize::kCustom;
        for (int k = 0; k < 5; ++k)
            if (c.m_targetWidth == kListedSizes[k][0] && c.m_targetHeight == kListedSizes[k][1])
                size = BitmapSize(k);
    }
    Command(BitmapSizeCommand(size))->setChecked(true);
}

void CMainFrame::CheckAntiAliasing()
{
    const CFractal_Doc* doc = ActiveDocument();
    if (doc)
        Command(AntiAliasingCommand(AntiAliasingIndex(doc->m_antiAliasing)))->setChecked(true);
}

void CMainFrame::ListWindows(QMenu* window)
{
    qDeleteAll(m_windowList);
    m_windowList.clear();
    const QList<QMdiSubWindow*> windows = m_mdi->subWindowList();
    if (windows.isEmpty())
        return;
    m_windowList << window->addSeparator();
    for (qsizetype i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* w = windows[i];
        QString title = w->windowTitle().remove("[*]");
        title.replace('&', "&&");
        QAction* a = window->addAction(i < 9 ? QString("&%1 %2").arg(i + 1).arg(title) : title);
        a->setCheckable(true);
        a->setChecked(w == m_mdi->activeSubWindow());
        QPointer<QMdiSubWindow> target(w);
        connect(a, &QAction::triggered, this, [this, target] {
            if (target)
                m_mdi->setActiveSubWindow(target);
        });
        m_windowList << a;
    }
}

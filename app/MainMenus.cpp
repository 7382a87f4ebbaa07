// The main window's menus, toolbar and command prompts.
#include <QActionGroup>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QMenuBar>
#include <QStatusBar>
#include <QIcon>
#include <QToolBar>

#include "app/MainFrame.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/Pictures.h"
#include "model/Samples.h"

namespace {

// Status text, then after "\n" the tool tip.
const std::map<unsigned, const char*>& Prompts()
{
    static const std::map<unsigned, const char*> prompts = {
        {32775, "Build Animation\nAnimation"},
        {32777, "Sierpinsky triangle fractal"},
        {32778, "Koch curve fractal\nKoch"},
        {32779, "Levy curve fractal\nLevy"},
        {32780, "Dragon set fractal\nDragon"},
        {32781, "Sierpinsky Pyramid Sample\nSierpinsky Pyramid"},
        {32782, "Sierpinsky Cube Sample\nSierpinsky Cube"},
        {32783, "Brick Sample\nBrick"},
        {32784, "Cross 3d Sample\nCross 3d"},
        {32789, "Mandelbrot Set\nMandelbrot Set"},
        {32797, "Set custom size of bitmap\nSet Bitmap Size"},
        {32798, "Set bitmap size the same as a window size\nVariable bitmap size"},
        {32800, "Rebuild fractal\nRebuild"},
        {32801, "Zoom out window to selected rectangle"},
        {32802, "Continue calculations\nContinue"},
        {32803, "Paint bitmap\nPaint"},
        {32804, "Parameters of the current fractal\nParameters"},
        {32805, "Stop buillding process\nStop"},
        {32810, "Save the active document as bitmap\nSave Bitmap As..."},
        {32811, "Save Calculated Data As...\nSave Data"},
        {32812, "Show or hide the Properties toolbar\nToggle Properties ToolBar"},
        {32813, "A very power tool to reload parameters window\nPower tool"},
        {32814, "Show or hide the Tile toolbar\nToggle Tile ToolBar"},
    };
    return prompts;
}

} // namespace

QAction* CMainFrame::AddCommand(QMenu* menu, unsigned id, const QString& text, const QKeySequence& key)
{
    QAction* a = Command(id);
    if (!a) {
        a = new QAction(text, this);
        a->setData(id);
        if (!key.isEmpty())
            a->setShortcut(key);
        auto it = Prompts().find(id);
        if (it != Prompts().end()) {
            const QString prompt = QString::fromLatin1(it->second);
            a->setStatusTip(prompt.section('\n', 0, 0));
            a->setToolTip(prompt.contains('\n') ? prompt.section('\n', 1) : prompt);
        }
        connect(a, &QAction::triggered, this, [this, id] { Dispatch(id); });
        m_commands[id] = a;
    }
    if (menu)
        menu->addAction(a);
    return a;
}

void CMainFrame::BuildMenus()
{
    // One set of actions; the document menus show only while a document
    // window is active, as the two menu resources did.
    QMenu* file = menuBar()->addMenu("&File");
    AddCommand(file, 57600, "&New", QKeySequence("Ctrl+N"));
    AddCommand(file, 57601, "&Open...", QKeySequence("Ctrl+O"));
    m_docOnly << AddCommand(file, 32790, "&Close");
    m_docOnly << AddCommand(file, 57603, "&Save", QKeySequence("Ctrl+S"));
    m_docOnly << AddCommand(file, 57604, "Save &As...");
    m_docOnly << AddCommand(file, 32810, "Save &Bitmap As...");
    m_docOnly << AddCommand(file, 32811, "Save &Data As...");
    m_docOnly << file->addSeparator();
    m_docOnly << AddCommand(file, 57607, "&Print...", QKeySequence("Ctrl+P"));
    m_docOnly << AddCommand(file, 57609, "Print Pre&view");
    file->addSeparator();
    AddCommand(file, 57606, "P&rint Setup...");
    file->addSeparator();
    m_recentMenu = file->addMenu("Recent &Files");
    UpdateRecentMenu();
    file->addSeparator();
    AddCommand(file, 57665, "E&xit");

    QMenu* edit = menuBar()->addMenu("&Edit");
    m_docMenus << edit->menuAction();

    QMenu* view = menuBar()->addMenu("&View");
    m_toolBar = addToolBar("Toolbar");
    m_toolBar->setObjectName("59392");
    QAction* toolbarToggle = m_toolBar->toggleViewAction();
    toolbarToggle->setText("&Toolbar");
    view->addAction(toolbarToggle);
    QAction* statusToggle = view->addAction("&Status Bar");
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, statusBar(), &QWidget::setVisible);
    QAction* props = AddCommand(view, 32812, "&Properties");
    props->setCheckable(true);
    QAction* tiles = AddCommand(view, 32814, "&Tile Bar");
    tiles->setCheckable(true);
    m_docOnly << tiles;
    BuildEditMenu(edit, view);

    QMenu* build = menuBar()->addMenu("&Build");
    AddCommand(build, 32800, "&Rebuild fractal\tF9");
    AddCommand(build, 32801, "Zoom &out");
    // The menu shows the first of its keys (below), one every keyboard has.
    AddCommand(build, 32805, "&Stop building");
    AddCommand(build, 32775, "Build &Animation");
    m_docMenus << build->menuAction();

    QMenu* samples = menuBar()->addMenu("&Samples");
    auto sample = [&](QMenu* m, unsigned k, const QString& text) { AddCommand(m, 32777 + k, text); };
    QMenu* affine = samples->addMenu("Self-&Affine");
    sample(affine, 0, "&Sierpinsky triangle");
    sample(affine, 1, "&Koch curve");
    sample(affine, 2, "&Levy curve");
    sample(affine, 3, "&Dragon set");
    // The 3-D samples had handlers but no menu items; here they have both.
    QMenu* solid = samples->addMenu("&3-D Sets");
    for (unsigned k = 4; k <= 9; ++k) {
        auto f = MakeSample(int(k));
        sample(solid, k, QString::fromStdString(f->m_name));
    }
    QMenu* sections = samples->addMenu("S&ections");
    sample(sections, 10, "&Sierpinsky Pyramid");
    sample(sections, 11, "&Cross");
    sample(samples, 12, "&Mandelbrot Set");
    m_docMenus << samples->menuAction();

    QMenu* window = menuBar()->addMenu("&Window");
    QMenu* size = window->addMenu("&Bitmap Size");
    auto* sizeGroup = new QActionGroup(this);
    AddCommand(size, 32798, "&Variable size")->setActionGroup(sizeGroup);
    AddCommand(size, 32797, "&Custom size")->setActionGroup(sizeGroup);
    size->addSeparator();
    const char* sizes[5] = {"1&00x100", "&320x200", "&640x480", "&800x600", "&1024x768"};
    for (unsigned k = 0; k < 5; ++k)
        AddCommand(size, 32792 + k, sizes[k])->setActionGroup(sizeGroup);
    for (QAction* a : sizeGroup->actions())
        a->setCheckable(true);
    connect(size, &QMenu::aboutToShow, this, &CMainFrame::CheckBitmapSize);
    AddCommand(window, 32804, "&Parameters\tF5");
    window->addSeparator();
    AddCommand(window, 57648, "&New Window");
    AddCommand(window, 57650, "&Cascade");
    AddCommand(window, 57651, "&Tile");
    AddCommand(window, 57649, "&Arrange Icons");
    connect(window, &QMenu::aboutToShow, this, [this, window] { ListWindows(window); });
    m_docMenus << window->menuAction();

    QMenu* help = menuBar()->addMenu("&Help");
    AddCommand(help, 57664, "&About Quillion...");

    // Keys that are not in the menus' own texts.
    auto key = [&](unsigned id, std::initializer_list<const char*> keys) {
        QAction* a = AddCommand(nullptr, id, QString());
        QList<QKeySequence> list;
        for (const char* k : keys)
            list << QKeySequence(k);
        a->setShortcuts(list);
        addAction(a);
    };
    // Break is Ctrl+Pause to Qt; laptops without it have Shift+F9, and
    // every keyboard Escape, wherever the focus is in the main window. The
    // property editor takes Escape first, to cancel its edit; while nothing
    // builds the command is off, and Escape goes where it would have gone.
    key(32805, {"Shift+F9", "Ctrl+Pause", "Escape"});
    key(32802, {"F9"}); // Continue, although the Rebuild item names F9
    key(32803, {"Return"});
    key(32804, {"F5"});
    key(57664, {"F1"});
    key(32813, {});

    auto button = [&](unsigned id, const char* picture) {
        QAction* a = Command(id);
        a->setIcon(Picture(QString(":/icons/toolbar/%1.png").arg(picture)));
        m_toolBar->addAction(a);
    };
    button(57600, "new");
    button(57601, "open");
    button(57603, "save");
    button(32810, "save-bitmap");
    m_toolBar->addSeparator();
    button(57607, "print");
    m_toolBar->addSeparator();
    button(32800, "rebuild");
    button(32803, "paint");
    button(32805, "stop");
    button(32813, "power-tool");
    m_toolBar->addSeparator();
    button(57664, "about");
    m_toolBar->setIconSize(QSize(16, 16));
    UpdateCommands();
}

void CMainFrame::CheckBitmapSize()
{
    CFractal_View* view = ActiveView();
    QAction* variable = Command(32798);
    if (!view || !variable || !view->GetDocument())
        return;
    const CCanvas& c = *view->GetDocument()->m_canvas;
    unsigned id = 32798;
    if (c.m_fixedSize) {
        // A typed size that equals a listed one is that one.
        static const unsigned sizes[5][2] = {{100, 100}, {320, 200}, {640, 480}, {800, 600}, {1024, 768}};
        id = 32797;
        for (unsigned k = 0; k < 5; ++k)
            if (c.m_targetWidth == sizes[k][0] && c.m_targetHeight == sizes[k][1])
                id = 32792 + k;
    }
    Command(id)->setChecked(true);
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


#include "app/MainFrame.h"

#include "animation/WriteZoomVideo.h"
#include "app/GradientEditor.h"
#include "app/JuliaPreview.h"
#include "app/TileBar.h"
#include "app/UserGuide.h"
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUndoGroup>
#include <QUrl>

#include "document/FileFolder.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "model/FractalKinds.h"
#include "model/Samples.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "parameters/ParametersBar.h"
#include "rows/PropertyList.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>

CChildFrame::CChildFrame(CFractal_Doc* doc, QWidget* parent) : QMdiSubWindow(parent), m_doc(doc)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(new CFractal_View(doc));
    // The main window titles it once it knows the document's file.
    setWindowTitle(doc->Title() + "[*]");
}

CFractal_View* CChildFrame::View() const { return qobject_cast<CFractal_View*>(widget()); }

void CChildFrame::closeEvent(QCloseEvent* e)
{
    if (!m_doc->CanCloseFrame(this)) {
        e->ignore();
        return;
    }
    // The last window on a changed document asks to save it.
    auto* main = qobject_cast<CMainFrame*>(window());
    if (main && m_doc->Views().size() == 1 && !main->SaveModified(m_doc)) {
        e->ignore();
        return;
    }
    // The view leaves the document now; the last one takes the document.
    delete widget();
    if (m_doc->Views().empty())
        m_doc->deleteLater();
    QMdiSubWindow::closeEvent(e);
}

CMainFrame::CMainFrame() : m_mdi(new QMdiArea)
{
    m_undoGroup = new QUndoGroup(this);
    setWindowTitle("Quillion");
    setCentralWidget(m_mdi);
    m_mdi->viewport()->installEventFilter(this);
    statusBar()->showMessage("Ready");
    // The idle prompt comes back whenever a prompt or a status goes away.
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            statusBar()->showMessage("Ready");
    });
    m_changedPane = new QLabel("Changed: F9 builds");
    m_changedPane->setToolTip("The rows were edited after the picture was built");
    m_changedPane->hide();
    statusBar()->addPermanentWidget(m_changedPane);
    // The lock indicators keep their places; Qt cannot read the lock
    // states of every platform, so they stay dimmed.
    for (const char* name : {"CAP", "NUM", "SCRL"}) {
        auto* pane = new QLabel(name);
        pane->setEnabled(false);
        pane->setToolTip("Lock-key states are not available on this platform");
        statusBar()->addPermanentWidget(pane);
        m_lockPanes << pane;
    }
    BuildMenus();
    m_parametersBar = new CParametersBar(this);
    addDockWidget(Qt::LeftDockWidgetArea, m_parametersBar);
    connect(m_parametersBar, &CParametersBar::gradientAsked, this, [this] { Dispatch(Cmd::kGradient); });
    m_tileBar = new CTileBar(this);
    addDockWidget(Qt::LeftDockWidgetArea, m_tileBar);
    connect(m_tileBar->Chart(), &CTileChart::chosen, this, &CMainFrame::ChooseTile);
    m_juliaPreview = new CJuliaPreview(this);
    addDockWidget(Qt::RightDockWidgetArea, m_juliaPreview);
    m_juliaPreview->hide();
    connect(m_juliaPreview, &CJuliaPreview::openRequested, this, &CMainFrame::OpenJulia);
    QAction* preview = m_juliaPreview->toggleViewAction();
    preview->setText("&Julia Preview");
    preview->setStatusTip("Show the Julia set of the point under the pointer");
    m_viewMenu->addSeparator();
    m_viewMenu->addAction(preview);
    m_viewMenu->addAction(Command(Cmd::kOpenJulia));
    connect(m_parametersBar, &QDockWidget::visibilityChanged, this, &CMainFrame::UpdateCommands);
    connect(m_tileBar, &QDockWidget::visibilityChanged, this, &CMainFrame::UpdateCommands);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
        if (auto* child = qobject_cast<CChildFrame*>(w)) {
            m_undoGroup->setActiveStack(child->Document()->History().UndoStack());
            child->View()->OnActivateView(true);
            ShowTitles(child->Document());
            // Measured once the bar has been laid out with the rows.
            if (m_fitProperties)
                QMetaObject::invokeMethod(this, &CMainFrame::FitPropertiesToRows, Qt::QueuedConnection);
            if (m_gradientEditor)
                m_gradientEditor->SetDocument(child->Document());
        } else {
            setWindowFilePath(QString());
            // The area also reports no window while another top-level
            // window (the editor itself) has the focus.
            if (m_gradientEditor && m_mdi->subWindowList().isEmpty())
                m_gradientEditor->SetDocument(nullptr);
            setWindowTitle("Quillion");
            setWindowModified(false);
        }
        UpdateCommands();
    });
    resize(1000, 760);
    setAcceptDrops(true);
    RestorePlacement();
    // The bars as no document has them.
    UpdateCommands();
}

void CMainFrame::FitPropertiesToRows()
{
    CParametersBar* bar = m_parametersBar;
    const Qt::DockWidgetArea area = dockWidgetArea(bar);
    if (!m_fitProperties || !bar->isVisible() || bar->isFloating() || bar->RowCount() == 0 ||
        area == Qt::NoDockWidgetArea)
        return;
    m_fitProperties = false;
    const QRect screenArea = screen() ? screen()->availableGeometry() : QRect();
    int want = bar->HeightForAllRows() - bar->height();
    if (screenArea.isValid())
        want = std::min(want, screenArea.height() - bar->height());
    if (want <= 0)
        return;
    // The bars stacked with it in its column give what they can spare
    // above their least heights, the last first.
    QList<QDockWidget*> column{bar};
    QList<int> heights{bar->height()};
    int spare = 0;
    const QList<QDockWidget*> docks = findChildren<QDockWidget*>();
    for (auto it = docks.rbegin(); it != docks.rend(); ++it) {
        QDockWidget* other = *it;
        if (other == bar || !other->isVisible() || other->isFloating() || dockWidgetArea(other) != area ||
            other->x() >= bar->x() + bar->width() || bar->x() >= other->x() + other->width())
            continue;
        const int least = std::max(other->minimumSize().height(), other->minimumSizeHint().height());
        const int give = std::min(want - spare, std::max(0, other->height() - least));
        spare += give;
        column << other;
        heights << other->height() - give;
    }
    heights[0] += spare;
    resizeDocks(column, heights, Qt::Vertical);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* e)
{
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile())
            OpenDocumentFile(url.toLocalFile());
    e->acceptProposedAction();
}

CMainFrame::~CMainFrame()
{
    // Windows first (their views leave their documents), then documents
    // (each stops and joins its build), before members and actions go.
    disconnect(m_mdi, nullptr, this, nullptr);
    disconnect(m_parametersBar, nullptr, this, nullptr);
    disconnect(m_tileBar, nullptr, this, nullptr);
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        delete w;
    for (CFractal_Doc* doc : findChildren<CFractal_Doc*>(Qt::FindDirectChildrenOnly)) {
        disconnect(doc, nullptr, this, nullptr);
        delete doc;
    }
}

CChildFrame* CMainFrame::CreateChild(CFractal_Doc* doc)
{
    auto* child = new CChildFrame(doc);
    m_mdi->addSubWindow(child);
    connect(doc, &CFractal_Doc::buildStateChanged, this, &CMainFrame::UpdateCommands);
    connect(doc, &CFractal_Doc::rowsChanged, this, &CMainFrame::UpdateCommands);
    connect(doc, &CFractal_Doc::placeChanged, this, &CMainFrame::UpdateCommands);
    m_undoGroup->addStack(doc->History().UndoStack());
    connect(doc->History().UndoStack(), &QUndoStack::indexChanged, this, &CMainFrame::UpdateCommands);
    connect(doc, &CFractal_Doc::titleChanged, this, [this, doc] { ShowTitles(doc); });
    connect(doc->History().UndoStack(), &QUndoStack::cleanChanged, this, [this, doc] { ShowTitles(doc); });
    connect(doc, &QObject::destroyed, this, [this, doc] { m_paths.erase(doc); });
    connect(child->View(), &CFractal_View::pointerAt, this,
            [this, doc](double x, double y) { FollowPointer(doc, x, y); });
    const bool placed = m_mdi->viewport()->isVisible();
    const QRect area = m_mdi->viewport()->rect();
    // The first window takes the whole work area, as a picture should;
    // the ones after it are small enough to leave each other room.
    const bool alone = m_mdi->subWindowList().size() == 1;
    child->resize(placed ? QSize(660, 520).boundedTo(area.size() * 0.8) : QSize(660, 520));
    // Placed before it shows: the area's own placing would put it past the
    // edges once a few windows are open, and a window that opens maximized
    // (as every one does while the active one is) comes back to the place
    // it had when it was shown.
    if (placed && alone) {
        m_cascade = 1;
        child->setGeometry(area);
    } else if (placed) {
        child->setGeometry(CascadePlace(child->size(), area));
    }
    child->show();
    return child;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_mdi->viewport() && e->type() == QEvent::Resize) {
        const auto* resize = static_cast<QResizeEvent*>(e);
        const QList<QMdiSubWindow*> windows = m_mdi->subWindowList();
        if (windows.size() == 1) {
            QMdiSubWindow* w = windows.front();
            if (!w->isMaximized() && !w->isMinimized() && w->geometry() == QRect(QPoint(), resize->oldSize()))
                w->setGeometry(QRect(QPoint(), resize->size()));
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

QRect CMainFrame::CascadePlace(QSize size, const QRect& area)
{
    const int step = std::max(16, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    QRect r(area.topLeft() + QPoint(m_cascade, m_cascade) * step, size);
    if (m_cascade > 0 && (r.right() > area.right() || r.bottom() > area.bottom())) {
        m_cascade = 0;
        r.moveTopLeft(area.topLeft());
    }
    ++m_cascade;
    return FitInside(r, area);
}

CFractal_Doc* CMainFrame::NewFractalDocument(int type, const std::function<bool(CFractal&)>& prepare)
{
    m_defaultFractalType = NewDocumentType(type);
    auto* doc = new CFractal_Doc(m_defaultFractalType, m_parametersBar);
    doc->setParent(this);
    // Rows set before the window opens are where its history starts.
    if (prepare && doc->m_fractal && prepare(*doc->m_fractal))
        doc->History().Reset();
    CChildFrame* child = CreateChild(doc);
    child->View()->OnInitialUpdate();
    ShowPictureOf(doc);
    return doc;
}

bool CMainFrame::OpenDocumentFile(const QString& path)
{
    auto* doc = new CFractal_Doc(m_defaultFractalType, m_parametersBar);
    doc->setParent(this);
    CChildFrame* child = CreateChild(doc);
    QString error;
    if (!doc->OnOpenDocument(path, error)) {
        child->close();
        Complain("Open", error);
        return false;
    }
    m_paths[doc] = path;
    AddRecentFile(path);
    ShowTitles(doc);
    child->View()->OnInitialUpdate();
    ShowPictureOf(doc);
    return true;
}

void CMainFrame::ShowPictureOf(CFractal_Doc* doc)
{
    if (!m_buildOnShow || !doc)
        return;
    // After the window has been laid out, so the build has its size.
    QTimer::singleShot(0, doc, [doc] {
        if (!doc->IsBuilding() && (doc->m_imageStale || !doc->m_deviceBitmap.HasBitmap()))
            doc->OnBuild(kCmdRebuild);
    });
}

CChildFrame* CMainFrame::NewWindow()
{
    CFractal_Doc* doc = ActiveDocument();
    if (!doc)
        return nullptr;
    CChildFrame* child = CreateChild(doc);
    ShowTitles(doc);
    child->View()->OnInitialUpdate();
    return child;
}

bool CMainFrame::TileSetActive() const
{
    CFractal_Doc* doc = ActiveDocument();
    return doc && doc->m_fractal && AbilitiesOf(*doc->m_fractal).tileChart;
}

CChildFrame* CMainFrame::ActiveChild() const { return qobject_cast<CChildFrame*>(m_mdi->activeSubWindow()); }

CFractal_Doc* CMainFrame::ActiveDocument() const
{
    CChildFrame* c = ActiveChild();
    return c ? c->Document() : nullptr;
}

CFractal_View* CMainFrame::ActiveView() const
{
    CChildFrame* c = ActiveChild();
    return c ? c->View() : nullptr;
}

void CMainFrame::UpdateCommands()
{
    CFractal_Doc* doc = ActiveDocument();
    const bool building = doc && doc->IsBuilding();
    // A picture cleared for a new sample is not there to copy or save: the
    // old one would go out under the new title.
    const bool picture = doc && !doc->m_imageStale;
    for (int i = 0; i < int(Cmd::kCount); ++i) {
        bool enabled = doc != nullptr;
        switch (CommandOf(Cmd(i)).when) {
        case CmdWhen::kAlways: enabled = true; break;
        case CmdWhen::kDocument: break;
        case CmdWhen::kIdle: enabled = doc && !building; break;
        case CmdWhen::kBuilding: enabled = building; break;
        case CmdWhen::kPicture: enabled = picture; break;
        case CmdWhen::kSavesData: enabled = doc && doc->m_fractal && AbilitiesOf(*doc->m_fractal).computedData; break;
        case CmdWhen::kNavigable: enabled = doc && doc->CanNavigate(); break;
        case CmdWhen::kAnimates:
            enabled = doc && !building && doc->m_fractal &&
                      (AnimationRefusal(*doc->m_fractal).empty() || ZoomRefusal(*doc->m_fractal).empty());
            break;
        case CmdWhen::kFindsMinibrots:
            enabled = doc && !building && doc->CanNavigate() && doc->m_fractal && doc->m_fractal->FindsMinibrots();
            break;
        }
        m_commands[std::size_t(i)]->setEnabled(enabled);
    }
    const bool changed = doc && doc->RowsChangedSinceBuild() && !building;
    m_changedPane->setVisible(changed);
    if (QWidget* rebuild = m_toolBar ? m_toolBar->widgetForAction(Command(Cmd::kRebuild)) : nullptr)
        rebuild->setStyleSheet(changed ? "QToolButton { background: palette(highlight); border-radius: 3px; }" : "");
    if (m_parametersBar)
        Command(Cmd::kToggleProperties)->setChecked(m_parametersBar->isVisible());
    if (m_tileBar) {
        m_tileBar->Follow(TileSetActive());
        Command(Cmd::kToggleTileBar)->setChecked(m_tileBar->isVisible());
    }
    CheckBitmapSize();
    CheckAntiAliasing();
    if (m_back) {
        m_back->setEnabled(doc && doc->History().CanGoBack());
        m_forward->setEnabled(doc && doc->History().CanGoForward());
    }
    for (QAction* a : m_editActions)
        a->setEnabled(doc != nullptr);
    if (!m_editActions.isEmpty())
        m_editActions.front()->setEnabled(picture && doc->m_deviceBitmap.HasBitmap());
    for (QAction* a : m_docOnly)
        a->setVisible(doc != nullptr);
    for (QAction* a : m_docMenus)
        a->setVisible(doc != nullptr);
}

bool CMainFrame::SaveDocument(CFractal_Doc* doc, bool ask)
{
    if (!doc)
        return false;
    QString path = m_paths.count(doc) && m_paths[doc].endsWith(".frc") ? m_paths[doc] : QString();
    if (ask || path.isEmpty()) {
        path = m_askPath ? m_askPath("Fractal files (*.frc)", true)
                         : QFileDialog::getSaveFileName(this, "Save As", SuggestedPath(doc->Title() + ".frc"),
                                                        "Fractal files (*.frc)");
        RememberFolder(path);
        // Only names ending in ".frc" open again.
        path = doc->SavePath(path, "frc", true);
        if (path.isEmpty())
            return false;
    }
    QString error;
    if (!doc->OnSaveDocument(path, error)) {
        Complain("Save", error);
        return false;
    }
    m_paths[doc] = path;
    doc->History().MarkSaved();
    AddRecentFile(path);
    ShowTitles(doc);
    return true;
}

QString CMainFrame::DocumentPath(CFractal_Doc* doc) const
{
    const auto it = m_paths.find(doc);
    return it == m_paths.end() ? QString() : it->second;
}

void CMainFrame::ShowTitles(CFractal_Doc* doc)
{
    // As the desktop titles files: a document from a file by the file's
    // name, with the mark of unsaved changes; a new one by its Name row.
    const QString path = DocumentPath(doc);
    const QString name = path.isEmpty() ? doc->Title() : QFileInfo(path).fileName();
    const bool modified = doc->History().IsModified();
    for (QMdiSubWindow* w : m_mdi->subWindowList()) {
        auto* child = qobject_cast<CChildFrame*>(w);
        if (!child || child->Document() != doc)
            continue;
        child->setWindowFilePath(path);
        child->setWindowTitle(name + "[*]");
        child->setWindowModified(modified);
    }
    if (ActiveDocument() == doc) {
        setWindowFilePath(path);
        setWindowTitle("Quillion - " + name + "[*]");
        setWindowModified(modified);
    }
}

bool CMainFrame::SaveModified(CFractal_Doc* doc)
{
    // Parameters typed but not yet committed are part of the document.
    if (doc->IsShownInParameters())
        doc->Host()->EndEdit();
    doc->History().RecordChange("Change");
    if (m_savesAnswered || !doc->History().IsModified())
        return true;
    const QString text = QString("Save changes to \"%1\"?").arg(doc->Title());
    const QMessageBox::StandardButton answer =
        m_askSave
            ? m_askSave(text)
            : QMessageBox::warning(this, "Quillion", text,
                                   QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard)
        return true;
    return answer == QMessageBox::Save && SaveDocument(doc, false);
}

void CMainFrame::Complain(const QString& title, const QString& text)
{
    if (m_complain)
        m_complain(title, text);
    else
        QMessageBox::warning(this, title, text);
}

void CMainFrame::Dispatch(Cmd cmd)
{
    const CommandRow& row = CommandOf(cmd);
    const CmdContext context{*this, cmd, ActiveDocument(), ActiveView()};
    // Only the commands that are always on run without a document window;
    // after the others the states follow what they did.
    if (row.when == CmdWhen::kAlways) {
        row.run(context);
        return;
    }
    if (!context.doc || !context.view)
        return;
    row.run(context);
    UpdateCommands();
}

void CMainFrame::closeEvent(QCloseEvent* e)
{
    std::vector<CFractal_Doc*> building;
    for (CFractal_Doc* doc : findChildren<CFractal_Doc*>(Qt::FindDirectChildrenOnly))
        if (doc->IsBuilding())
            building.push_back(doc);
    if (building.empty()) {
        // Every changed document is answered for before anything closes,
        // so Cancel keeps them all.
        for (CFractal_Doc* doc : findChildren<CFractal_Doc*>(Qt::FindDirectChildrenOnly))
            if (!doc->Views().empty() && !SaveModified(doc)) {
                e->ignore();
                return;
            }
        // Each window still gets its say, and its document goes with it.
        SavePlacement();
        m_savesAnswered = true;
        m_mdi->closeAllSubWindows();
        m_savesAnswered = false;
        e->accept();
        return;
    }
    e->ignore();
    if (m_closing)
        return; // confirmed already; the last build to end closes the window
    const QString text = "Fractal is building!\nTerminate it?";
    CFractal_Doc* first = building.front();
    const bool yes =
        first->m_ask ? first->m_ask(text) : QMessageBox::question(this, "Quillion", text) == QMessageBox::Yes;
    if (!yes)
        return;
    m_closing = true;
    for (CFractal_Doc* doc : building)
        doc->RequestCloseAfterBuild(this);
}

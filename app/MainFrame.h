#pragma once
// The main window: the document windows in an MDI area, the commands that
// reach the active document and view, and the status bar.

#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMessageBox>

#include <array>
#include <functional>
#include <map>

#include "app/Commands.h"
#include "parameters/ParametersBar.h"

class QMdiArea;
class QToolBar;
class QDockWidget;
class CTileBar;
class CFractal_Doc;
class CFractal_View;
class QUndoGroup;

// A window on one document; asks the document before closing.
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(CFractal_Doc* doc, QWidget* parent = nullptr);
    CFractal_View* View() const;
    CFractal_Doc* Document() const { return m_doc; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    CFractal_Doc* m_doc;
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    // A new document of `type` (the type codes of documents) in a window.
    // `prepare`, when given, sets the new fractal's rows before its window
    // opens (and so before any build); its history starts there.
    CFractal_Doc* NewFractalDocument(int type, const std::function<bool(CFractal&)>& prepare = {});
    // Opens a ".frc" or ".fdt" file in a new window; false with a message
    // box when it cannot.
    bool OpenDocumentFile(const QString& path);
    // A second window on the document of the active one.
    CChildFrame* NewWindow();
    // The fractal type a document made here starts with: the last one New
    // asked for, -1 (the last kind) until then. An opened file's document
    // starts from it too, then takes the file's.
    int m_defaultFractalType = -1;

    CChildFrame* ActiveChild() const;
    CFractal_Doc* ActiveDocument() const;
    CFractal_View* ActiveView() const;
    // Whether the active document is a tile set: the tile bar is shown then.
    bool TileSetActive() const;
    // A square of the tile chart chosen: the active tile set takes its
    // determinant and trace (one undoable step) and builds; with none
    // active, a new tile-set window opens on it.
    void ChooseTile(int determinant, int trace);
    // Help > User Guide, at the section of the active window's kind.
    class CUserGuide* ShowGuide();
    // The Julia preview follows the pointer over a Mandelbrot window.
    void FollowPointer(CFractal_Doc* doc, double x, double y);
    class CJuliaPreview* JuliaPreview() const { return m_juliaPreview; }
    // A new window on the Julia set of that constant.
    CFractal_Doc* OpenJulia(double cRe, double cIm);
    QMdiArea* MdiArea() const { return m_mdi; }
    QAction* Command(Cmd cmd) const { return m_commands[std::size_t(cmd)]; }
    CTileBar* TileBar() const { return m_tileBar; }
    CParametersBar* ParametersBar() const { return m_parametersBar; }
    // Enables the commands for the active document's state.
    void UpdateCommands();
    // The file a document was opened from or saved to, or empty.
    QString DocumentPath(CFractal_Doc* doc) const;
    // Its windows' titles and the main window's, from its file, name and
    // whether it has unsaved changes.
    void ShowTitles(CFractal_Doc* doc);

    // Window placement ("WindowPlacement"/"Main Window") and bar state.
    void SavePlacement();
    void RestorePlacement();
    // The 8 files opened or saved last, newest first.
    QStringList RecentFiles() const;
    void AddRecentFile(const QString& path);

    // The file name chooser; tests replace it.
    std::function<QString(const QString& filter, bool save)> m_askPath;
    // New, Open, a sample and Paste build their picture at once, as the
    // program does; most window tests drive the builds themselves.
    bool m_buildOnShow = false;
    // Starts the build of a document that shows no current picture.
    void ShowPictureOf(CFractal_Doc* doc);
    // Shows a failure to the user; tests replace it.
    std::function<void(const QString& title, const QString& text)> m_complain;
    // Asks whether to save a changed document before it closes: Save,
    // Discard or Cancel. Tests replace it.
    std::function<QMessageBox::StandardButton(const QString& text)> m_askSave;
    // Before a changed document closes: true to go on (saved, or the
    // changes discarded), false to keep it open.
    bool SaveModified(CFractal_Doc* doc);
    // Save (or with `ask` Save As) of `doc`; true when it was written.
    bool SaveDocument(CFractal_Doc* doc, bool ask);
    // The gradient editor, made on first use, on the active document.
    void ShowGradientEditor();
    class CGradientEditor* GradientEditor() const { return m_gradientEditor; }
    // The toolbar's list of gradients: one click applies one to the active
    // document.
    QMenu* GradientMenu() const { return m_gradientMenu; }
    // The Edit menu's commands.
    void CopyImage();
    void CopyParameters();
    void PasteParameters();
    QAction* BackAction() const { return m_back; }
    QAction* ForwardAction() const { return m_forward; }

protected:
    void closeEvent(QCloseEvent* e) override;
    // A lone window that fills the work area keeps filling it as the main
    // window and its bars change size.
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void UpdateRecentMenu();
    // Bitmap Size's check mark on the active view's size.
    void CheckBitmapSize();
    // Checks the active document's anti-aliasing in the View menu.
    void CheckAntiAliasing();
    // The Window menu's list of the open windows, made as it opens.
    void ListWindows(QMenu* window);
    // On a first run, once a document's rows are shown: the Properties bar
    // grows tall enough for them all.
    void FitPropertiesToRows();
    bool m_fitProperties = false;
    QList<QAction*> m_windowList;
    QMenu* m_recentMenu = nullptr;
    QToolBar* m_toolBar = nullptr;
    class CGradientEditor* m_gradientEditor = nullptr;
    QMenu* m_gradientMenu = nullptr;
    void AddGradientButton();
    void ListGradientMenu();
    QList<QAction*> m_docOnly;  // hidden while no document window is active
    QList<QAction*> m_docMenus; // whole menus of the document menu bar
    CTileBar* m_tileBar = nullptr;
    // The host of every document this window makes.
    CParametersBar* m_parametersBar = nullptr;
    QList<class QLabel*> m_lockPanes;
    // "Changed: F9 builds" while the active document's rows are ahead of
    // its picture.
    class QLabel* m_changedPane = nullptr;
    class CJuliaPreview* m_juliaPreview = nullptr;
    class CUserGuide* m_guide = nullptr;
    class QMenu* m_viewMenu = nullptr;
    // One action per row of the command table.
    void CreateCommands();
    // The command's action, added to `menu`.
    QAction* AddCommand(QMenu* menu, Cmd cmd);
    void BuildMenus();
    void BuildEditMenu(QMenu* edit, QMenu* view);
    CChildFrame* CreateChild(CFractal_Doc* doc);
    // Where the next new window goes: one step down and right of the last,
    // back at the top left once it would reach past the work area.
    QRect CascadePlace(QSize size, const QRect& area);
    int m_cascade = 0;
    void Dispatch(Cmd cmd);
    void Complain(const QString& title, const QString& text);

    QMdiArea* m_mdi;
    std::array<QAction*, std::size_t(Cmd::kCount)> m_commands{};
    std::map<CFractal_Doc*, QString> m_paths;
    bool m_closing = false;
    // Set while quitting after every changed document was answered for.
    bool m_savesAnswered = false;
    QUndoGroup* m_undoGroup = nullptr;
    QList<QAction*> m_editActions;
    QAction* m_back = nullptr;
    QAction* m_forward = nullptr;
};

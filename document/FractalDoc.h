#pragma once
// One fractal document: its fractal, its canvas, the device bitmap its
// views paint from, its files and its views. It owns the two parts that
// do the rest: the worker that runs at most one build at a time
// (BuildWorker) and the undo steps and view history (DocumentHistory).

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "document/BuildSteps.h"
#include "document/BuildWorker.h"
#include "document/CanvasBitmap.h"
#include "document/CoarsePreview.h"
#include "document/DocumentHistory.h"
#include "document/OffscreenRender.h"
#include "document/ViewPlace.h"
#include "imaging/Canvas.h"
#include "model/Fractal.h"

class CFractal_View;

// Where the documents meet the parameters window. The main window owns
// it and hands it to every document it makes; without one, listing and
// committing do nothing.
class ParametersHost {
public:
    virtual ~ParametersHost() = default;
    virtual class CFractal_Doc* Document() const = 0;
    virtual void SetDocument(CFractal_Doc* doc) = 0;
    virtual void EndEdit() = 0;
    virtual void RefreshValues() = 0;
};

class CFractal_Doc : public QObject, public CanvasView {
    Q_OBJECT
public:
    // A document of fractal type `type` (a code no kind has makes the last
    // kind), shown in `host` when it is activated.
    explicit CFractal_Doc(int type = -1, ParametersHost* host = nullptr);
    ~CFractal_Doc() override;

    BuildWorker& Worker() { return m_worker; }
    DocumentHistory& History() { return m_history; }
    const DocumentHistory& History() const { return m_history; }
    ParametersHost* Host() const { return m_host; }

    // Fractal management.
    void CreateFractal(int type);
    void SetFractal(std::unique_ptr<CFractal> fractal);
    bool IsShownInParameters() const;
    void ShowInParameters();
    void SetTitle(const QString& title);
    QString Title() const { return m_title; }

    // Commands.
    // Replaces the fractal by sample `number` (CreateSample's numbers).
    void OnSample(int number);
    // `readyNote` follows "Ready: " when the build or paint has ended.
    void OnBuild(BuildCommand command, const std::string& readyNote = {});
    void OnStop();
    bool IsBuilding() const { return m_worker.IsRunning(); }
    // An edit of the rows has left the picture behind them until the next
    // build (an edit does not start one); the window says so.
    bool RowsChangedSinceBuild() const { return m_rowsChanged; }
    void NoteRowsChanged();
    // Runs `job` on the document's worker, as its build thread: other
    // builds are refused until it ends. The job's one stop is the token it
    // is given: Stop, closing and aborting request it (and set the
    // fractal's m_stop, cleared here before the job starts). False when a
    // build runs or there is no fractal.
    // `status`, when given, is the status line while the job runs, asked
    // on the GUI thread every time the line is shown. `ended`, when given,
    // runs on the GUI thread once the worker has ended and the document is
    // idle again (not when a confirmed close takes the window).
    bool StartJob(std::function<void(std::stop_token)> job, std::function<QString()> status = {},
                  std::function<void()> ended = {});

    // Closing a frame that shows this document.
    bool CanCloseFrame(QWidget* frame);
    bool RequestCloseAfterBuild(QWidget* frame);
    // A confirmed close waits for the build to end.
    bool IsClosing() const { return m_closePending; }
    // Stops a running build and waits for it, releasing any wait of the
    // worker on the GUI. Used only when the program is going away.
    void Abort();

    // Files. Each returns false with a sentence naming the file and the
    // reason; nothing is written or replaced while a build runs.
    bool OnSaveDocument(const QString& path, QString& error);
    bool OnOpenDocument(const QString& path, QString& error);
    bool SaveDataTo(const QString& path, QString& error);
    // A PNG carries the document's text; `sixteenBits` writes 16 bits per
    // channel.
    bool SaveBitmapTo(const QString& path, QString& error, bool sixteenBits = false);
    // The name a save dialog returned, given ".ext" when its file name has
    // none (with `exact`: unless it ends in ".ext"). The dialog confirmed
    // only the name it showed, so a file the added extension names that
    // exists already is asked about here. Empty when the user declines.
    QString SavePath(const QString& chosen, const QString& ext, bool exact = false);
    // Save Data As and Save Bitmap As with their file dialogs and messages.
    void OnSaveData(QWidget* owner);
    void OnSaveBitmap(QWidget* owner);
    // Renders the view at the job's size away from the window (in bands,
    // as a job of the worker: progress on the status line, Stop) and writes
    // it to `path` (".bmp" or ".png", which holds the document, with 16
    // bits per channel when `sixteenBits`). The window's image and cells
    // stay as they are. `ended` gets the outcome on the GUI thread. False
    // when a build runs.
    bool StartImageExport(const QString& path, const OffscreenJob& job, std::function<void(const BuildOutcome&)> ended,
                          bool sixteenBits = false);
    // Save Image As: its size and anti-aliasing, the file, then the export.
    void OnSaveImage(QWidget* owner);

    // Views. The first view added is the first view; the canvas reports to
    // the view activated last.
    void AddView(CFractal_View* view);
    void RemoveView(CFractal_View* view);
    const std::vector<CFractal_View*>& Views() const { return m_views; }
    void SetActiveView(CFractal_View* view);
    CFractal_View* ActiveView() const { return m_activeView; }
    void UpdateAllViews();
    // Set when a sample replaces the fractal, until the new fractal's first
    // image arrives: the views show no picture rather than the old one under
    // the new title. The device bitmap itself is kept (a stopped build still
    // leaves it as it was).
    bool m_imageStale = false;
    bool m_rowsChanged = false;

    // CanvasView: forwarded to the active view on the GUI thread.
    void ClientSize(unsigned& width, unsigned& height) override;
    void StatusChanged() override;
    void SelectionChanged() override;

    // Image pixels to a window pixel in the device bitmap (see
    // CFractal_View::BuildScale): what the build that made it measured.
    double ImageScale() const { return m_imageScale; }
    // The views call this when they have uploaded a new image.
    void ImageUploaded() { m_imageScale = m_gridScale; }
    // The coarse picture a slow build shows until its image is drawn, or
    // null; its image pixels per window pixel are the build's.
    const CoarsePreview::Picture* CoarsePicture() const;
    double CoarseScale() const { return m_gridScale; }
    // How the coarse picture's pixels lie in a view of `size` pixels at the
    // history's CurrentPlace().
    QTransform CoarseTransform(QSize size) const;

    // The status pane text for the running build; empty when idle.
    QString StatusText() const;

    // Navigation of the kinds whose view is a centre and a size.
    bool CanNavigate() const;
    // How the device bitmap's pixels lie in a view of `size` pixels at the
    // history's CurrentPlace(): the identity unless the view moved since
    // the build.
    QTransform PreviewTransform(QSize size) const;

    std::unique_ptr<CFractal> m_fractal;
    std::unique_ptr<CCanvas> m_canvas;
    CCanvasBitmap m_deviceBitmap;
    BuildCommand m_buildCommand = kCmdRebuild;
    int m_fractalType = 0;
    // The document's anti-aliasing in the window (View, Anti-aliasing):
    // not a row, so it changes no file. A build takes it as it starts.
    AntiAliasing m_antiAliasing;
    // Whether a slow build shows coarse pictures while it runs (on; off
    // only to measure what they cost). A build takes it as it starts.
    bool m_coarsePictures = true;
    // Answers a Yes/No question (memory, closing during a build, replacing
    // a file); the default asks with a message box.
    std::function<bool(const QString&)> m_ask;

signals:
    void titleChanged(const QString& title);
    // Command states changed (a build started or ended).
    void buildStateChanged();
    // An edit left the picture behind the rows (RowsChangedSinceBuild).
    void rowsChanged();
    void statusText(const QString& text);
    void progressTimer(bool start);
    // CurrentPlace() moved: the views repaint their preview.
    void placeChanged();
    // A coarse picture of the running build is there to show, in blocks of
    // `block` pixels a side.
    void coarseShown(int block);

private:
    // How an image of `shown` pixels made at `place` lies in a view of
    // `size` pixels at the history's CurrentPlace().
    QTransform TransformSince(const ViewPlace& place, QSize shown, QSize size) const;
    // m_ask, or the message box over `owner`.
    bool Ask(const QString& text, QWidget* owner);
    // The build's steps on the worker; returns the exit code.
    // `coarse`, when given, is the copy of the rows the coarse passes build.
    int BuildThreadProc(bool hasView, AntiAliasing aa, std::shared_ptr<CFractal> coarse);
    // Starts `work` on the worker thread; its result is the exit code.
    void StartWorker(std::function<int()> work);
    void ThreadEnded();
    // Stops whatever runs on the worker: the build's flag and the job's.
    void RequestStop();
    // On the worker, as the build starts: the coarse passes of `copy`.
    void StartCoarse(std::shared_ptr<CFractal> copy, AntiAliasing aa);

    ParametersHost* m_host;
    // The coarse passes of the running build. Declared before the worker,
    // whose thread finishes them, so they outlive it.
    CoarsePreview m_coarse;
    BuildWorker m_worker;
    DocumentHistory m_history{*this};
    QPointer<QWidget> m_frameToClose;
    std::atomic<bool> m_closePending{false};
    std::vector<CFractal_View*> m_views;
    QPointer<CFractal_View> m_activeView;
    QString m_title;
    // The view the device bitmap shows (unknown for an image read from a
    // data file).
    std::optional<ViewPlace> m_imagePlace;
    // Image pixels per window pixel of the target size as last measured,
    // of the grid the last build made, and of the device bitmap.
    double m_targetScale = 1, m_gridScale = 1, m_imageScale = 1;
    // Said after "Ready" by the running build: how its size was chosen when
    // that was not the window's. Written before the worker starts.
    std::string m_readyNote;
    // StartJob's `ended`, run by ThreadEnded.
    std::function<void()> m_jobEnded;
    // Set while a data file is read: its grid keeps its pixels, and the
    // window is measured in its own pixels, as the file's image is shown.
    bool m_measureLogical = false;
};

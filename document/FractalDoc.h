#pragma once
// One fractal document: its fractal, its canvas, the device bitmap its
// views paint from, and at most one running build on a worker thread.
//
// Threads: the worker never touches a widget. What it has to tell the GUI
// (status changed, start the progress timer, the memory question, build
// finished) goes into this object's inbox, under a lock, and a queued call
// wakes the GUI to empty it; where the worker must wait for the answer, it
// waits on a condition that the GUI fulfils or that `Abort` releases. The GUI thread never waits for the worker, except to join a
// thread that has already said it is ending.

#include <QObject>
#include <QPointer>
#include <QUndoStack>
#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "document/BuildSteps.h"
#include "document/CanvasBitmap.h"
#include "document/ViewPlace.h"
#include "imaging/Canvas.h"
#include "model/Fractal.h"

class CFractal_View;

// Where the documents meet the parameters window; the window registers
// itself. Without one, listing and committing do nothing.
class ParametersHost {
public:
    virtual ~ParametersHost() = default;
    virtual class CFractal_Doc* Document() const = 0;
    virtual void SetDocument(CFractal_Doc* doc) = 0;
    virtual void EndEdit() = 0;
    virtual void RefreshValues() = 0;
    static ParametersHost* s_host;
};

class CFractal_Doc : public QObject, public CanvasView {
    Q_OBJECT
public:
    static int s_defaultFractalType;

    CFractal_Doc();
    ~CFractal_Doc() override;

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
    void OnBuild(BuildCommand command);
    void OnStop();
    bool IsBuilding() const { return m_buildThread != nullptr; }
    // Runs `job` on the document's worker, as its build thread: other
    // builds are refused until it ends. The job's one stop is the token it
    // is given: Stop, closing and aborting request it (and set the
    // fractal's m_stop, cleared here before the job starts). False when a
    // build runs or there is no fractal.
    // `status`, when given, is the status line while the job runs, asked
    // on the GUI thread every time the line is shown.
    bool StartJob(std::function<void(std::stop_token)> job, std::function<QString()> status = {});

    // Closing a frame that shows this document.
    bool CanCloseFrame(QWidget* frame);
    bool RequestCloseAfterBuild(QWidget* frame);
    // Stops a running build and waits for it, releasing any wait of the
    // worker on the GUI. Used only when the program is going away.
    void Abort();

    // Files. Each returns false with a sentence naming the file and the
    // reason; nothing is written or replaced while a build runs.
    bool OnSaveDocument(const QString& path, QString& error);
    bool OnOpenDocument(const QString& path, QString& error);
    bool SaveDataTo(const QString& path, QString& error);
    bool SaveBitmapTo(const QString& path, QString& error);
    // The name a save dialog returned, given ".ext" when its file name has
    // none (with `exact`: unless it ends in ".ext"). The dialog confirmed
    // only the name it showed, so a file the added extension names that
    // exists already is asked about here. Empty when the user declines.
    QString SavePath(const QString& chosen, const QString& ext, bool exact = false);
    // Save Data As and Save Bitmap As with their file dialogs and messages.
    void OnSaveData(QWidget* owner);
    void OnSaveBitmap(QWidget* owner);

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

    // CanvasView: forwarded to the active view on the GUI thread.
    void ClientSize(unsigned& width, unsigned& height) override;
    void StatusChanged() override;
    void SelectionChanged() override;

    // Image pixels to a window pixel in the device bitmap (see
    // CFractal_View::BuildScale): what the build that made it measured.
    double ImageScale() const { return m_imageScale; }
    // The views call this when they have uploaded a new image.
    void ImageUploaded() { m_imageScale = m_gridScale; }

    // The status pane text for the running build; empty when idle.
    QString StatusText() const;

    // Undo. Every change of the fractal is recorded as its rows' text (as
    // the document file writes them) before and after; the stack's clean
    // state is the file's.
    QUndoStack* UndoStack() { return &m_undo; }
    bool IsModified() const { return !m_undo.isClean(); }
    void MarkSaved() { m_undo.setClean(); }
    // The rows as the document file writes them: now when idle, else as
    // they were when the build started.
    QString RowsText();
    // Makes a change made to the fractal since the last record one undoable
    // step named `label`; a change of view also goes into the view history
    // unless `history` is false. Does nothing while a build runs.
    void RecordChange(const QString& label, bool history = true);
    // Names the step of what the next build changes in the rows (a tile
    // click is taken by the build).
    void NameBuildChange(const QString& label) { m_buildChange = label; }
    // Puts the fractal that `text` describes in place and rebuilds; while a
    // build runs, stops it and does so when it has ended.
    void RestoreRows(const QString& text);
    // ".frc" text pasted into the document as one undoable step; false with
    // the reason when the text is not a fractal document.
    bool PasteRows(const QString& text, QString& error);

    // Navigation of the kinds whose view is a centre and a size.
    bool CanNavigate() const;
    // The view the document is going to: a pending move, else the running
    // build's, else the fractal's.
    ViewPlace CurrentPlace() const;
    // Moves the view and builds at once; a running build is stopped and
    // the newest move is built when it has ended, so quick moves coalesce.
    void MoveTo(const ViewPlace& place, const QString& label);
    bool CanGoBack() const { return !m_back.empty(); }
    bool CanGoForward() const { return !m_forward.empty(); }
    void GoBack();
    void GoForward();
    // How the device bitmap's pixels lie in a view of `size` pixels at
    // CurrentPlace(): the identity unless the view moved since the build.
    QTransform PreviewTransform(QSize size) const;

    std::unique_ptr<CFractal> m_fractal;
    std::unique_ptr<CCanvas> m_canvas;
    CCanvasBitmap m_deviceBitmap;
    BuildCommand m_buildCommand = kCmdRebuild;
    int m_fractalType = 0;
    // Answers a Yes/No question (memory, closing during a build); the
    // default asks with a message box over the active view.
    std::function<bool(const QString&)> m_ask;
    // How the last build thread ended: 0 built, 1 declined, 2 no view.
    std::atomic<int> m_exitCode{-1};

signals:
    void titleChanged(const QString& title);
    // Command states changed (a build started or ended).
    void buildStateChanged();
    void statusText(const QString& text);
    void progressTimer(bool start);
    // CurrentPlace() moved: the views repaint their preview.
    void placeChanged();

private slots:
    // Runs the worker's messages on the GUI thread, one at a time, in the
    // order they came (a message may open a dialog and drain the rest).
    void DrainInbox();

private:
    struct Message {
        std::function<void()> task;
        std::shared_ptr<bool> done; // set under m_waitMutex once the task ran
    };
    // Hands `task` to the GUI thread. The message itself travels through
    // m_inbox and its lock, so everything the worker wrote before is seen by
    // the GUI in a way a race detector can follow; Qt's queue carries only
    // the wake-up.
    void Post(std::function<void()> task, std::shared_ptr<bool> done = nullptr);
    void SetBuildThread(std::thread* thread);
    // The build's steps on the worker; returns the exit code.
    int BuildThreadProc(bool hasView);
    // Starts `work` on the worker thread; its result is the exit code.
    void StartWorker(std::function<int()> work);
    // Runs `task` on the GUI thread; with `wait` the worker blocks until it
    // ran or the document aborted (then it returns false).
    bool RunOnGui(std::function<void()> task, bool wait);
    void ThreadEnded();
    // After a build: records what it changed, then loads or moves to what
    // was asked meanwhile and builds that.
    void AfterBuild();
    ViewPlace FractalPlace() const;
    bool LoadRows(const QString& text);
    void MoveNow(const ViewPlace& place, const QString& label, bool history);
    void StepHistory(std::vector<ViewPlace>& from, std::vector<ViewPlace>& to, const QString& label);
    // Forgets the undo steps and history: a document opened afresh.
    void ResetHistory();

    // Stops whatever runs on the worker: the build's flag and the job's.
    void RequestStop();

    std::thread* m_buildThread = nullptr;
    std::stop_source m_jobStop;
    std::function<QString()> m_jobStatus;
    std::unique_ptr<std::thread> m_thread;
    QPointer<QWidget> m_frameToClose;
    std::atomic<bool> m_closePending{false};
    std::atomic<bool> m_aborting{false};
    std::mutex m_waitMutex;
    std::condition_variable m_waitDone;
    std::mutex m_inboxMutex;
    std::deque<Message> m_inbox;
    std::vector<CFractal_View*> m_views;
    QPointer<CFractal_View> m_activeView;
    QString m_title;

    QUndoStack m_undo;
    QString m_committedRows;
    ViewPlace m_committedPlace;
    int m_committedKind = -1;
    std::vector<ViewPlace> m_back, m_forward;
    // Asked while a build ran; done when it has ended.
    std::optional<ViewPlace> m_pendingPlace;
    QString m_pendingLabel;
    bool m_pendingHistory = true;
    std::optional<QString> m_pendingRows;
    QString m_buildChange;
    // Set while undo or redo puts rows in place: an edit the Properties bar
    // commits as it lets go of the old fractal is not a step of its own.
    bool m_restoring = false;
    // The view the running build started from, and the one the device
    // bitmap shows (unknown for an image read from a data file).
    ViewPlace m_buildPlace;
    std::optional<ViewPlace> m_imagePlace;
    bool m_jobRunning = false;
    // Image pixels per window pixel of the target size as last measured,
    // of the grid the last build made, and of the device bitmap.
    double m_targetScale = 1, m_gridScale = 1, m_imageScale = 1;
    // Said after "Ready" by the running build: how its size was chosen when
    // that was not the window's. Written before the worker starts.
    std::string m_readyNote;
    // Set while a data file is read: its grid keeps its pixels, and the
    // window is measured in its own pixels, as the file's image is shown.
    bool m_measureLogical = false;
};

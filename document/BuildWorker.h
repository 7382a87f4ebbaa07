#pragma once
// A document's worker thread and its inbox of messages to the GUI thread.
//
// The worker never touches a widget. What it has to tell the GUI goes into
// the inbox, under a lock, and a queued call wakes the GUI to empty it;
// where the worker must wait for the answer, it waits on a condition that
// the GUI fulfils or that `Abort` releases. The GUI thread never waits for
// the worker, except to join a thread that has already said it is ending.

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

class BuildWorker : public QObject {
    Q_OBJECT
public:
    BuildWorker() = default;
    // Aborts a thread still running; its owner has asked the work to stop.
    ~BuildWorker() override;

    // A build or job runs exactly while the thread is set.
    bool IsRunning() const { return m_buildThread != nullptr; }
    // A plain build is next: no job, no job status.
    void BeginBuild();
    // A job is next. It gets a stop source of its own, never reused, whose
    // token this returns; `status`, when given, is the status line while it
    // runs, asked on the GUI thread.
    std::stop_token BeginJob(std::function<QString()> status);
    bool JobRunning() const { return m_jobRunning; }
    // The running job's own status line; empty when it has none.
    QString JobStatus() const { return m_jobRunning && m_jobStatus ? m_jobStatus() : QString(); }
    bool HasJobStatus() const { return m_jobRunning && m_jobStatus; }

    // Starts `work` on the worker thread; its result becomes m_exitCode.
    // Then `finish` runs there, and `ended` is posted to the GUI thread,
    // which calls Join from it.
    void Start(std::function<int()> work, std::function<void()> finish, std::function<void()> ended);
    // Joins the thread that posted its `ended` message.
    void Join();
    // Requests the running job's stop.
    void RequestStop() { m_jobStop.request_stop(); }
    // Releases any wait of the worker on the GUI, joins it and drops what it
    // left undelivered. The caller has asked the work to stop.
    void Abort();
    // Set from Abort until the next Start; the worker reads it.
    bool Aborting() const { return m_aborting.load(); }

    // Hands `task` to the GUI thread. The message itself travels through
    // the inbox and its lock, so everything the worker wrote before is seen
    // by the GUI in a way a race detector can follow; Qt's queue carries
    // only the wake-up.
    void Post(std::function<void()> task, std::shared_ptr<bool> done = nullptr);
    // Runs `task` on the GUI thread; with `wait` the worker blocks until it
    // ran or the document aborted (then it returns false).
    bool RunOnGui(std::function<void()> task, bool wait);

    // How the last thread ended: 0 built, 1 declined, 2 no view.
    std::atomic<int> m_exitCode{-1};

private slots:
    // Runs the worker's messages on the GUI thread, one at a time, in the
    // order they came (a message may open a dialog and drain the rest).
    void DrainInbox();

private:
    struct Message {
        std::function<void()> task;
        std::shared_ptr<bool> done; // set under m_waitMutex once the task ran
    };

    std::unique_ptr<std::thread> m_buildThread;
    std::stop_source m_jobStop;
    std::function<QString()> m_jobStatus;
    bool m_jobRunning = false;
    std::atomic<bool> m_aborting{false};
    std::mutex m_waitMutex;
    std::condition_variable m_waitDone;
    std::mutex m_inboxMutex;
    std::deque<Message> m_inbox;
};

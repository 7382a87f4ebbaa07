#include "document/BuildWorker.h"

#include <QThread>

#include "imaging/VectorState.h"

BuildWorker::~BuildWorker() { Abort(); }

void BuildWorker::BeginBuild()
{
    m_jobRunning = false;
    m_jobStatus = nullptr;
}

std::stop_token BuildWorker::BeginJob(std::function<QString()> status)
{
    m_jobStop = std::stop_source();
    m_jobStatus = std::move(status);
    m_jobRunning = true;
    return m_jobStop.get_token();
}

void BuildWorker::Start(std::function<int()> work, std::function<void()> finish, std::function<void()> ended)
{
    m_aborting = false;
    m_exitCode = -1;
    m_buildThread = std::make_unique<std::thread>(
        [this, work = std::move(work), finish = std::move(finish), ended = std::move(ended)]() mutable {
            // The GUI thread's state is inherited, dirty from Qt's hashing.
            CleanUpperVectorState();
            m_exitCode = work();
            if (finish)
                finish();
            Post(std::move(ended));
        });
}

void BuildWorker::Join()
{
    if (m_buildThread && m_buildThread->joinable())
        m_buildThread->join();
    m_buildThread.reset();
}

bool BuildWorker::RunOnGui(std::function<void()> task, bool wait)
{
    if (QThread::currentThread() == thread()) {
        task();
        return true;
    }
    auto done = std::make_shared<bool>(false);
    Post(std::move(task), wait ? done : nullptr);
    if (!wait)
        return true;
    std::unique_lock lock(m_waitMutex);
    m_waitDone.wait(lock, [&] { return *done || m_aborting.load(); });
    return *done;
}

void BuildWorker::Post(std::function<void()> task, std::shared_ptr<bool> done)
{
    {
        std::lock_guard lock(m_inboxMutex);
        m_inbox.push_back({std::move(task), std::move(done)});
    }
    QMetaObject::invokeMethod(this, "DrainInbox", Qt::QueuedConnection);
}

void BuildWorker::DrainInbox()
{
    for (;;) {
        Message m;
        {
            std::lock_guard lock(m_inboxMutex);
            if (m_inbox.empty())
                return;
            m = std::move(m_inbox.front());
            m_inbox.pop_front();
        }
        m.task();
        if (m.done) {
            std::lock_guard lock(m_waitMutex);
            *m.done = true;
        }
        m_waitDone.notify_all();
    }
}

void BuildWorker::Abort()
{
    if (!m_buildThread)
        return;
    {
        std::lock_guard lock(m_waitMutex);
        m_aborting = true;
    }
    m_waitDone.notify_all();
    Join();
    // What the worker left undelivered may point into its finished stack
    // (an abandoned question's answer); none of it is wanted any more.
    std::lock_guard lock(m_inboxMutex);
    m_inbox.clear();
}

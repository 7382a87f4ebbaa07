#pragma once
// What ends a headless render early: SIGINT, SIGTERM or the --timeout
// limit. The signal handlers only write the signal's number into a pipe; a
// watcher thread reads it (or notices the time running out) and calls the
// stop action, which asks the build to stop through its own flag.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class HeadlessWatch {
public:
    enum class Reason { kNone, kInterrupt, kTerminate, kTimeout };

    // Catches SIGINT and SIGTERM until destroyed; `seconds` > 0 also ends
    // the render when that much time has passed.
    explicit HeadlessWatch(double seconds = 0);
    // Restores the signals' earlier handling.
    ~HeadlessWatch();
    HeadlessWatch(const HeadlessWatch&) = delete;
    HeadlessWatch& operator=(const HeadlessWatch&) = delete;

    // Called on the watcher thread when the first reason comes, or at once
    // when one has come already. Replaces the action set before.
    void SetStopAction(std::function<void()> action);

    Reason Why() const { return m_reason.load(); }
    bool Stopped() const { return Why() != Reason::kNone; }
    // 130 for SIGINT, 143 for SIGTERM, 1 for the time limit, 0 for none.
    int ExitCode() const;
    // One line without the program's name, such as "interrupted by SIGINT".
    std::string Message() const;

private:
    void Watch();
    void Trigger(Reason why);

    double m_seconds;
    std::atomic<Reason> m_reason{Reason::kNone};
    std::mutex m_actionLock;
    std::function<void()> m_action;
    std::thread m_thread;
};

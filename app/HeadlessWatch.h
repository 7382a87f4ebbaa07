#pragma once
// What ends a headless render early: SIGINT, SIGTERM or the --timeout
// limit. The signal handlers only write the signal's number into a pipe; a
// watcher thread reads it (or notices the time running out) and calls the
// stop action, which asks the build to stop through its own flag. The
// signals are blocked in every other thread the program starts, so the
// handler runs on the watcher alone, and Commit can hold them off while a
// finished file is put in place.

#include <csignal>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "document/FileReplacement.h"

class HeadlessWatch {
public:
    enum class Reason { kNone, kInterrupt, kTerminate, kTimeout };

    // Catches SIGINT and SIGTERM until destroyed; `seconds` > 0 also ends
    // the render when that much time has passed. Made on the main thread
    // before any other thread of the render, which then inherit the
    // blocked signals.
    explicit HeadlessWatch(double seconds = 0);
    // Restores the signals' earlier handling.
    ~HeadlessWatch();
    HeadlessWatch(const HeadlessWatch&) = delete;
    HeadlessWatch& operator=(const HeadlessWatch&) = delete;

    // Called on the watcher thread when the first reason comes, or at once
    // when one has come already. Replaces the action set before.
    void SetStopAction(std::function<void()> action);

    // Runs `replace` unless a reason to stop has come, and says whether it
    // ran. No signal is handled and the time limit is not looked at while
    // it runs: a signal comes either before, and the file is not put in
    // place, or after, and Stopped() says so once Commit has returned.
    bool Commit(const std::function<void()>& replace);
    // Commit as a FileReplacement's gate.
    ReplaceGate Gate()
    {
        return [this](const std::function<void()>& replace) { return Commit(replace); };
    }

    Reason Why() const { return m_reason.load(); }
    bool Stopped() const { return Why() != Reason::kNone; }
    // 130 for SIGINT, 143 for SIGTERM, 1 for the time limit, 0 for none.
    int ExitCode() const;
    // One line without the program's name, such as "interrupted by SIGINT".
    std::string Message() const;

private:
    void Watch();
    void Trigger(Reason why);
    // Acts on bytes read from the pipe; false once the end byte came.
    bool Take(const unsigned char* bytes, long n);
    // Takes what the pipe holds now without waiting; false at the end byte.
    bool Drain();
    // Asks the watcher to hold (true) or let go of the signals and waits
    // until it has, with everything handled before it in force.
    void Hold(bool hold);

    double m_seconds;
    // The pipe, also here for code of a loaded module, which has its own
    // copy of the handler's variables.
    int m_readFd = -1, m_writeFd = -1;
    volatile sig_atomic_t* m_received = nullptr;
    sigset_t m_oldMask;
    std::mutex m_holdLock;
    std::condition_variable m_holdChanged;
    bool m_held = false; // the watcher has the signals blocked
    std::atomic<Reason> m_reason{Reason::kNone};
    std::mutex m_actionLock;
    std::function<void()> m_action;
    std::thread m_thread;
};

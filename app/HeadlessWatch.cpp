#include "app/HeadlessWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>

namespace {

// The pipe's ends, shared with the handler; one watch exists at a time.
int g_readFd = -1;
volatile sig_atomic_t g_writeFd = -1;
// The last signal handled, for a Commit that comes before the watcher read it.
volatile sig_atomic_t g_received = 0;
struct sigaction g_oldInterrupt, g_oldTerminate;

// Bytes in the pipe besides signal numbers.
constexpr unsigned char kEnd = 0, kHold = 0xFE, kLetGo = 0xFD;

// Only what is safe in a handler: write(2), with errno kept.
extern "C" void OnSignal(int signal)
{
    const int saved = errno;
    g_received = signal;
    const unsigned char byte = static_cast<unsigned char>(signal);
    const ssize_t n = ::write(g_writeFd, &byte, 1);
    (void)n; // a full pipe already holds a request to stop
    errno = saved;
}

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// A byte from outside a handler; the pipe does not block the handler, so
// a full one (never in practice) is waited out.
void Send(int fd, unsigned char byte)
{
    while (::write(fd, &byte, 1) < 0 && (errno == EINTR || errno == EAGAIN))
        ::poll(nullptr, 0, 1);
}

// Longer than any render; keeps the clock arithmetic finite.
constexpr double kLongestLimit = 1e9;

} // namespace

HeadlessWatch::HeadlessWatch(double seconds) : m_seconds(seconds)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("quillion: cannot watch for signals");
        return;
    }
    // The handler must never block, even on a pipe nobody empties.
    ::fcntl(fds[1], F_SETFL, ::fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    g_readFd = m_readFd = fds[0];
    g_writeFd = m_writeFd = fds[1];
    g_received = 0;
    m_received = &g_received;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_oldInterrupt);
    ::sigaction(SIGTERM, &action, &g_oldTerminate);
    // Threads inherit the mask: the watcher lets the signals in again for
    // itself, the build's threads and this one keep them out.
    const sigset_t stops = StopSignals();
    ::pthread_sigmask(SIG_BLOCK, &stops, &m_oldMask);
    m_thread = std::thread([this] { Watch(); });
}

HeadlessWatch::~HeadlessWatch()
{
    if (g_readFd < 0)
        return;
    ::sigaction(SIGINT, &g_oldInterrupt, nullptr);
    ::sigaction(SIGTERM, &g_oldTerminate, nullptr);
    // Byte 0 is no signal: it ends the watcher. Blocking, so it cannot be lost.
    const int fd = g_writeFd;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const unsigned char end = kEnd;
    while (::write(fd, &end, 1) < 0 && errno == EINTR) {}
    m_thread.join();
    ::pthread_sigmask(SIG_SETMASK, &m_oldMask, nullptr);
    g_writeFd = -1;
    ::close(fd);
    ::close(g_readFd);
    g_readFd = -1;
}

void HeadlessWatch::Hold(bool hold)
{
    Send(m_writeFd, hold ? kHold : kLetGo);
    std::unique_lock lock(m_holdLock);
    m_holdChanged.wait(lock, [&] { return m_held == hold; });
}

bool HeadlessWatch::Commit(const std::function<void()>& replace)
{
    if (m_readFd < 0) { // no watch: nothing to hold off
        if (Stopped())
            return false;
        replace();
        return true;
    }
    Hold(true);
    // A handler that ran on a thread the program did not start (the
    // watcher reads every byte before it holds) is seen here all the same.
    if (const int signal = *m_received; signal != 0 && !Stopped())
        Trigger(signal == SIGINT ? Reason::kInterrupt : Reason::kTerminate);
    const bool go = !Stopped();
    if (go)
        replace();
    Hold(false);
    return go;
}

bool HeadlessWatch::Take(const unsigned char* bytes, long n)
{
    bool end = false;
    for (long i = 0; i < n; ++i) {
        if (bytes[i] == SIGINT)
            Trigger(Reason::kInterrupt);
        else if (bytes[i] == SIGTERM)
            Trigger(Reason::kTerminate);
        else if (bytes[i] == kEnd)
            end = true;
    }
    // Holding and letting go come last: the signals handled before them
    // are in force when the waiting thread goes on.
    for (long i = 0; i < n; ++i)
        if (bytes[i] == kHold || bytes[i] == kLetGo) {
            const bool hold = bytes[i] == kHold;
            const sigset_t stops = StopSignals();
            // Letting go delivers a signal that came meanwhile before the
            // call returns; its byte is then in the pipe for Drain.
            ::pthread_sigmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &stops, nullptr);
            if (!Drain())
                end = true;
            std::lock_guard lock(m_holdLock);
            m_held = hold;
            m_holdChanged.notify_all();
        }
    return !end;
}

bool HeadlessWatch::Drain()
{
    for (;;) {
        pollfd p{m_readFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 0);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return true;
        unsigned char bytes[16];
        const ssize_t n = ::read(m_readFd, bytes, sizeof bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        // Only signal numbers can be there: nothing else is sent while
        // the sender waits for this hold or let-go.
        if (!Take(bytes, n))
            return false;
    }
}

void HeadlessWatch::SetStopAction(std::function<void()> action)
{
    std::lock_guard lock(m_actionLock);
    m_action = std::move(action);
    if (m_action && Stopped())
        m_action();
}

void HeadlessWatch::Trigger(Reason why)
{
    Reason none = Reason::kNone;
    if (!m_reason.compare_exchange_strong(none, why))
        return; // the first reason is the one reported
    std::lock_guard lock(m_actionLock);
    if (m_action)
        m_action();
}

void HeadlessWatch::Watch()
{
    using Clock = std::chrono::steady_clock;
    bool limited = m_seconds > 0 && m_seconds < kLongestLimit;
    const Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                          std::chrono::duration<double>(limited ? m_seconds : 0.0));
    const sigset_t stops = StopSignals();
    ::pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
    for (;;) {
        int wait = -1;
        if (limited && !m_held) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = int(std::clamp<long long>(left, 0, INT_MAX));
        }
        pollfd p{g_readFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (ready == 0) {
            if (!m_held && Clock::now() >= deadline) {
                limited = false;
                Trigger(Reason::kTimeout);
            }
            continue;
        }
        unsigned char bytes[16];
        const ssize_t n = ::read(g_readFd, bytes, sizeof bytes);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return;
        }
        if (!Take(bytes, n))
            return;
    }
}

int HeadlessWatch::ExitCode() const
{
    switch (Why()) {
    case Reason::kInterrupt: return 128 + SIGINT;
    case Reason::kTerminate: return 128 + SIGTERM;
    case Reason::kTimeout: return 1;
    case Reason::kNone: break;
    }
    return 0;
}

std::string HeadlessWatch::Message() const
{
    switch (Why()) {
    case Reason::kInterrupt: return "interrupted by SIGINT";
    case Reason::kTerminate: return "terminated by SIGTERM";
    case Reason::kTimeout: {
        char text[64];
        std::snprintf(text, sizeof text, "the time limit of %g s ran out", m_seconds);
        return text;
    }
    case Reason::kNone: break;
    }
    return {};
}

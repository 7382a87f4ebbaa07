#include "app/HeadlessWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>

namespace {

// The pipe's ends, shared with the handler; one watch exists at a time.
int g_readFd = -1;
volatile sig_atomic_t g_writeFd = -1;
struct sigaction g_oldInterrupt, g_oldTerminate;

// Only what is safe in a handler: write(2), with errno kept.
extern "C" void OnSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    const ssize_t n = ::write(g_writeFd, &byte, 1);
    (void)n; // a full pipe already holds a request to stop
    errno = saved;
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
    g_readFd = fds[0];
    g_writeFd = fds[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_oldInterrupt);
    ::sigaction(SIGTERM, &action, &g_oldTerminate);
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
    const unsigned char end = 0;
    while (::write(fd, &end, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
    g_writeFd = -1;
    ::close(fd);
    ::close(g_readFd);
    g_readFd = -1;
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
    const Clock::time_point deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(limited ? m_seconds : 0.0));
    for (;;) {
        int wait = -1;
        if (limited) {
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
            if (Clock::now() >= deadline) {
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
        bool end = false;
        for (ssize_t i = 0; i < n; ++i) {
            if (bytes[i] == SIGINT)
                Trigger(Reason::kInterrupt);
            else if (bytes[i] == SIGTERM)
                Trigger(Reason::kTerminate);
            else if (bytes[i] == 0)
                end = true;
        }
        if (end)
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

#pragma once
// Presses Stop while a build runs on a thread of its own and tells how soon
// the build ended. A build that ignores Stop must not hold the test program
// for minutes: the test gives up on it after a bound and leaves the thread
// running on objects it owns, so nothing it touches is freed under it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "imaging/Canvas.h"

// A canvas with a fixed client size whose status changes are counted, so a
// test can wait until the build has reported some progress.
struct CountingCanvas : CCanvas, CanvasView {
    CountingCanvas(unsigned w, unsigned h) : width(w), height(h)
    {
        m_view = this;
        MeasureView();
    }
    void ClientSize(unsigned& w, unsigned& h) override { w = width, h = height; }
    void StatusChanged() override { ++statusChanges; }
    unsigned width, height;
    std::atomic<int> statusChanges{0};
};

struct StopOutcome {
    bool underWay = false;   // the build reported progress before the bound
    bool wasRunning = false; // ...and had not ended when Stop was pressed
    bool ended = false;      // it ended within the bound after Stop
    std::chrono::milliseconds took{0};
};

// Runs `build` on a thread. `owner` keeps alive everything the build
// touches; `underWay` (asked on this thread) says the build has reached its
// costly part. Then, after `settle`, `stop` is set, and the build is given
// `bound` to return.
inline StopOutcome PressStopWhileBuilding(std::shared_ptr<void> owner, std::function<void()> build,
                                          std::function<bool()> underWay, std::atomic<bool>& stop,
                                          std::chrono::milliseconds settle = std::chrono::milliseconds(150),
                                          std::chrono::milliseconds bound = std::chrono::seconds(2))
{
    using Clock = std::chrono::steady_clock;
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread worker([owner, shared, build = std::move(build)] {
        build();
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->done = true;
        shared->changed.notify_all();
    });
    auto ended = [&] {
        std::lock_guard<std::mutex> lock(shared->mutex);
        return shared->done;
    };

    StopOutcome out;
    const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(20);
    while (!(out.underWay = underWay()) && !ended() && Clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (out.underWay)
        std::this_thread::sleep_for(settle);
    out.wasRunning = out.underWay && !ended();
    const Clock::time_point pressed = Clock::now();
    stop = true;
    {
        std::unique_lock<std::mutex> lock(shared->mutex);
        out.ended = shared->changed.wait_for(lock, bound, [&] { return shared->done; });
    }
    out.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - pressed);
    if (out.ended)
        worker.join();
    else
        worker.detach(); // it keeps `owner` and `shared` until it returns
    return out;
}

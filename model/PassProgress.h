#pragma once
// How far a build made of passes over the rows has come: written by the
// builder, from any of its threads, and read by whoever shows the status
// (the window every 250 ms, the headless renderer).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

// One consistent look at a running build's passes.
struct PassReading {
    bool running = false;
    std::string label;           // the running pass, as the status names it
    int pass = 0, passes = 0;    // 1-based index of the running pass, of how many
    int64_t done = 0, total = 0; // rows of the running pass finished, of how many
    int64_t first = 0;           // of them, those done before its times began
    double seconds = 0;          // since the build began
    double passSeconds = 0;      // since the running pass began
};

class PassProgress {
public:
    // A build of `passes` passes over `rows` rows each begins now.
    void Begin(int passes, int64_t rows);
    // The next pass, named `label`, begins with none of its rows done.
    void StartPass(std::string label);
    // `rows` more rows of the running pass are done. Any thread.
    void AddRows(int64_t rows) { m_done.fetch_add(rows, std::memory_order_relaxed); }
    // No pass runs any more.
    void End();
    // Work with a count of its own inside the build, such as a reference
    // orbit before the rows: until EndAside the reading names it, with
    // `done` of `total` units (AddRows adds to them), as a pass of its own.
    // EndAside gives back the reading as it was before, its rows and its
    // times too: the aside's time is left out of the pass's rate. One at a
    // time.
    void BeginAside(std::string label, int64_t total, int64_t done);
    void EndAside();
    PassReading Read() const;

private:
    using Clock = std::chrono::steady_clock;
    // The label, the pass and the reset of the count change together under
    // the lock, so a reading never pairs one pass's name with another's rows.
    mutable std::mutex m_lock;
    bool m_running = false;
    std::string m_label;
    int m_pass = 0, m_passes = 0;
    int64_t m_total = 0;
    Clock::time_point m_start{}, m_passStart{};
    std::atomic<int64_t> m_done{0};
    // What the aside covers, while it runs.
    struct Saved {
        bool running = false;
        std::string label;
        int pass = 0, passes = 0;
        int64_t total = 0, done = 0;
        Clock::time_point start{}, passStart{}, asideStart{};
    };
    bool m_inAside = false;
    int64_t m_first = 0;
    Saved m_saved;
};

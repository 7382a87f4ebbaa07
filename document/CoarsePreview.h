#pragma once
// Coarse pictures of a slow build while it runs: the same view built again
// at an eighth, a quarter and a half of its size, each shown scaled up in
// blocks of 8 x 8, 4 x 4 and 2 x 2 pixels until the build's own image
// replaces it. The passes run on a thread of their own and on a copy of
// the fractal, so the build's cells, status, undo steps and view flag are
// never touched and its image keeps its bytes; they end with the build's
// stop, or when the build ends.

#include <QImage>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "document/ViewPlace.h"

class CFractal;

class CoarsePreview : public QObject {
    Q_OBJECT
public:
    // Pixels a side of a computed pixel in each pass, in order.
    static constexpr int kBlocks[] = {8, 4, 2};
    // A pass is made only when its shorter side has this many pixels.
    static constexpr unsigned kMinSide = 8;
    // A build not expected to be slow gets the passes when it has not
    // finished by then.
    static constexpr std::chrono::milliseconds kDelay{100};

    struct Picture {
        QImage image;  // the build's size, in blocks
        int block = 0; // pixels a side per computed pixel
        ViewPlace place;
    };

    CoarsePreview() = default;
    // Finishes passes still running.
    ~CoarsePreview() override;

    // Whether a build of that size and these samples a side is expected to
    // be slow enough to start the passes with it: views past doubles and
    // solids in space on images of some size, and many samples.
    static bool ExpectSlow(const CFractal& fractal, unsigned width, unsigned height, int samples);

    // On the build's thread, before its Build: the passes for `copy` (the
    // fractal's rows and view as the build starts; no one else's) at the
    // build's size, showing the
    // view at `place`; at once when `now`, else after kDelay unless the
    // build has finished by then. `build` is the fractal building, which
    // outlives the passes: a stop it was already asked stops them too, and
    // a pass that its progress says would come after its end is not made.
    // `buildNeed` is the memory the build takes: a pass is made only where
    // both fit.
    void Start(std::shared_ptr<CFractal> copy, unsigned width, unsigned height, bool now, const ViewPlace& place,
               const CFractal& build, uint64_t buildNeed);
    // Any thread: the passes end soon.
    void Stop();
    // On the build's thread, when it has ended: stops the passes, waits for
    // them, and drops a picture the window has not taken.
    void Finish();

    // The window's thread: the picture to show while the build runs.
    const std::optional<Picture>& Shown() const { return m_shown; }
    void Clear() { m_shown.reset(); }

signals:
    // The window's thread: Shown() holds a new picture.
    void shown(int block);

private slots:
    // The window's thread: takes the picture the passes left.
    void TakeResult();

private:
    void Run(unsigned width, unsigned height, bool now, ViewPlace place, uint64_t buildNeed);
    // Whether the build, by its progress, runs on for `seconds` more.
    bool BuildOutlasts(double seconds) const;
    // The pass of `block` into `picture`; false when it gave none.
    bool Pass(int block, unsigned width, unsigned height, FloatExp half, uint64_t buildNeed, QImage& picture);

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_ending = false;            // under m_lock
    std::shared_ptr<CFractal> m_copy; // under m_lock: set and reset while no pass runs
    const CFractal* m_build = nullptr; // the passes read only its progress
    std::chrono::steady_clock::time_point m_begun;
    std::optional<Picture> m_result;  // under m_lock: until the window takes it
    std::optional<Picture> m_shown;   // the window's
    std::thread m_thread;
};

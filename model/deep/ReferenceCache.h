#pragma once
// The reference orbits of a fractal's last deep builds, kept for its next:
// a zoom about a centre whose digits set the precision (as a deep
// location's do), or one within the same power of two of the pixel size,
// reads the centre at the same precision and so needs the same orbit, and
// a higher count only carries it on. One per fractal, never shared between
// documents; the builds that use it may come from any thread.

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "model/deep/ReferenceOrbit.h"

class ReferenceCache {
public:
    // The orbit ComputeReferenceOrbit would give for these arguments, value
    // for value and bound for bound: a kept one when it started from the
    // same numbers and is as long (or escaped), carried on when shorter,
    // otherwise one computed anew and kept in place of the oldest. `whole`
    // false when stopped; what was done is kept for the next call. Throws
    // std::bad_alloc as ComputeReferenceOrbit does.
    std::shared_ptr<const ReferenceOrbit> Orbit(const MpfrReal& startRe, const MpfrReal& startIm, const MpfrReal& cRe,
                                                const MpfrReal& cIm, double radius2, size_t length, bool wide,
                                                const std::atomic<bool>* stop, bool exactInputs, size_t firstTested,
                                                bool low, bool& whole);

    // A build of the owner's view begins (its probes included): the orbits
    // its calls do not read are let go before any new one is computed, so
    // that the view's memory holds no more than the orbits it needs.
    void BeginBuild();
    // While true, orbits of any size are kept, whichever build read them
    // last (up to the few kept): the bands of one image, and of its
    // anti-aliasing's samples by turns, read the same orbits again.
    void KeepAll(bool keep);

    // Calls that read a kept orbit's values instead of computing them.
    size_t Reuses() const;
    // Orbits kept now.
    size_t Kept() const;
    // Steps of the orbits computed here, first ones and carried on alike.
    size_t Steps() const;

private:
    struct Entry {
        std::unique_ptr<ReferenceIteration> iteration;
        std::shared_ptr<ReferenceOrbit> orbit;
        size_t build = 0; // the last build that read it
    };
    // A Julia view needs two orbits, its start's and its critical point's,
    // and the probes that choose the count may need two more.
    static constexpr size_t kKept = 4;
    // Orbits past this size are not kept between builds: a document would
    // hold them while it waits.
    static constexpr size_t kMostKeptBytes = size_t(512) << 20;

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries; // the most recently used first
    size_t m_reuses = 0, m_steps = 0, m_build = 0;
    bool m_keepAll = false;
};

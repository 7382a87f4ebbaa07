#pragma once
// The reference orbits of a fractal's last deep builds, kept for its next:
// a zoom about a centre whose digits set the precision (as a deep
// location's do), or one within the same power of two of the pixel size,
// reads the centre at the same precision and so needs the same orbit, and
// a higher count only carries it on. One per fractal, never shared between
// documents; the builds that use it may come from any thread.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

#include "model/deep/LinearSkips.h"
#include "model/deep/ReferenceOrbit.h"

class PassProgress;

// What a skip table is built from besides its orbit: the view's largest
// |dc| and escape radius, the form, and the table's every-length part.
struct SkipKey {
    FloatExp dcMax;
    double radius = 0;
    bool julia = false, wide = false;
    size_t allLengths = 0, orbitSize = 0;
    // The same table but for its radii, which follow the largest |dc|.
    bool SameButRadii(const SkipKey& o) const
    {
        return radius == o.radius && julia == o.julia && wide == o.wide && allLengths == o.allLengths &&
               orbitSize == o.orbitSize;
    }
    bool operator==(const SkipKey& o) const
    {
        return dcMax.m == o.dcMax.m && dcMax.e == o.dcMax.e && SameButRadii(o);
    }
};

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

    // The skip table over `orbit`, one this cache gave, for `key`: the one
    // kept beside it when it was built for the same key; the kept one with
    // its radii made anew by `radii` (RadiiForView) when only the largest
    // |dc| differs, as after a zoom about the centre, and no build reads
    // it; otherwise one that `build` fills (into the kept one's storage
    // where no build reads it) and that is kept in its place. Where the
    // orbit is no longer kept, the table is built and not kept. Throws what
    // `build` or `radii` throws.
    template <class T>
    std::shared_ptr<const SkipTable<T>> Table(const ReferenceOrbit& orbit, const SkipKey& key,
                                              const std::function<void(SkipTable<T>&)>& build,
                                              const std::function<bool(SkipTable<T>&)>& radii);

    // A build of the owner's view begins (its probes included): the orbits
    // its calls do not read are let go before any new one is computed, so
    // that the view's memory holds no more than the orbits it needs.
    void BeginBuild();
    // Where an orbit is computed (not read as kept) its values made are
    // shown on `progress` as an aside, "Reference orbit, N values":
    // at depth an orbit takes seconds to minutes before any pixel. Null
    // shows nothing.
    void ShowProgress(PassProgress* progress);
    // While true, orbits of any size are kept, whichever build read them
    // last (up to the few kept): the bands of one image, and of its
    // anti-aliasing's samples by turns, read the same orbits again.
    void KeepAll(bool keep);

    // Calls that read a kept orbit's values instead of computing them.
    size_t Reuses() const;
    // Calls that read a kept table instead of building one, and those that
    // made only its radii anew.
    size_t TableReuses() const;
    size_t RadiiReuses() const;
    // Orbits kept now.
    size_t Kept() const;
    // Steps of the orbits computed here, first ones and carried on alike.
    size_t Steps() const;

private:
    struct Entry {
        std::unique_ptr<ReferenceIteration> iteration;
        std::shared_ptr<ReferenceOrbit> orbit;
        size_t build = 0; // the last build that read it
        // The table over the orbit and what it was built for.
        std::shared_ptr<SkipTable<double>> plain;
        std::shared_ptr<SkipTable<FloatExp>> wide;
        SkipKey key;
    };
    static size_t OrbitBytes(const ReferenceOrbit& o);
    template <class T>
    static size_t TableBytes(const SkipTable<T>& t)
    {
        size_t bytes = 0;
        for (const auto& level : t.levels)
            bytes += level.capacity() * sizeof(level[0]);
        for (const auto& level : t.inDoubles)
            bytes += level.capacity() * sizeof(level[0]);
        for (const auto& level : t.radii)
            bytes += level.capacity() * sizeof(double);
        return bytes;
    }
    template <class T>
    static std::shared_ptr<SkipTable<T>>& TableOf(Entry& e)
    {
        if constexpr (std::is_same_v<T, double>)
            return e.plain;
        else
            return e.wide;
    }
    // A Julia view needs two orbits, its start's and its critical point's,
    // and the probes that choose the count may need two more.
    static constexpr size_t kKept = 4;
    // Orbits (and their tables) past this size are not kept between builds:
    // a document would hold them while it waits.
    static constexpr size_t kMostKeptBytes = size_t(512) << 20;

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries; // the most recently used first
    size_t m_reuses = 0, m_tableReuses = 0, m_radiiReuses = 0, m_steps = 0, m_build = 0;
    bool m_keepAll = false;
    PassProgress* m_progress = nullptr;
};

template <class T>
std::shared_ptr<const SkipTable<T>> ReferenceCache::Table(const ReferenceOrbit& orbit, const SkipKey& key,
                                                          const std::function<void(SkipTable<T>&)>& build,
                                                          const std::function<bool(SkipTable<T>&)>& radii)
{
    // Held while the table is built: the bands of one image ask for the
    // same one, and wait for it rather than build it again.
    const std::lock_guard<std::mutex> lock(m_mutex);
    Entry* entry = nullptr;
    for (Entry& e : m_entries)
        if (e.orbit.get() == &orbit)
            entry = &e;
    if (!entry) {
        auto fresh = std::make_shared<SkipTable<T>>();
        build(*fresh);
        return fresh;
    }
    std::shared_ptr<SkipTable<T>>& kept = TableOf<T>(*entry);
    if (kept && entry->key == key) {
        ++m_tableReuses;
        return kept;
    }
    // A build still reading the old table keeps it.
    const bool reading = kept && kept.use_count() > 1;
    const bool sameButRadii = kept && !reading && entry->key.SameButRadii(key);
    if (!kept || reading)
        kept = std::make_shared<SkipTable<T>>();
    // Marked unbuilt until it is whole again.
    entry->key = SkipKey();
    try {
        if (sameButRadii && radii(*kept))
            ++m_radiiReuses;
        else
            build(*kept);
    } catch (...) {
        kept.reset();
        throw;
    }
    entry->key = key;
    std::shared_ptr<const SkipTable<T>> table = kept;
    if (!m_keepAll && OrbitBytes(*entry->orbit) + TableBytes(*table) > kMostKeptBytes)
        kept.reset();
    return table;
}

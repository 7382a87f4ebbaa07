#include "model/deep/ReferenceCache.h"

#include "model/PassProgress.h"

#include <algorithm>
#include <string>
#include <utility>

std::shared_ptr<const ReferenceOrbit> ReferenceCache::Orbit(const MpfrReal& startRe, const MpfrReal& startIm,
                                                            const MpfrReal& cRe, const MpfrReal& cIm, double radius2,
                                                            size_t length, bool wide, const std::atomic<bool>* stop,
                                                            bool exactInputs, size_t firstTested, bool low, bool& whole)
{
    // Held throughout: a document's builds come one at a time, so the wait
    // is only for a stopped build to let go.
    const std::lock_guard<std::mutex> lock(m_mutex);
    size_t found = 0;
    while (found < m_entries.size() && !m_entries[found].iteration->Matches(startRe, startIm, cRe, cIm, radius2, wide,
                                                                            exactInputs, firstTested, low))
        ++found;
    // A longer orbit than asked is no use: its bound covers values the
    // shorter one would not have, so it is computed again.
    if (found < m_entries.size() && !m_entries[found].iteration->Escaped() && m_entries[found].orbit->size() > length)
        m_entries.erase(m_entries.begin() + std::ptrdiff_t(found));
    if (found >= m_entries.size()) {
        if (!m_keepAll)
            m_entries.erase(
                std::remove_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.build != m_build; }),
                m_entries.end());
        if (m_entries.size() >= kKept)
            m_entries.pop_back();
        Entry fresh;
        fresh.iteration = std::make_unique<ReferenceIteration>(startRe, startIm, cRe, cIm, radius2, wide, exactInputs,
                                                               firstTested, low);
        fresh.orbit = std::make_shared<ReferenceOrbit>();
        m_entries.insert(m_entries.begin(), std::move(fresh));
        found = 0;
    } else {
        std::rotate(m_entries.begin(), m_entries.begin() + std::ptrdiff_t(found),
                    m_entries.begin() + std::ptrdiff_t(found) + 1);
        found = 0;
    }
    Entry& entry = m_entries.front();
    entry.build = m_build;
    const size_t before = entry.orbit->size();
    const bool complete = entry.iteration->Escaped() || before == length;
    if (complete) {
        ++m_reuses;
        whole = true;
        return entry.orbit;
    }
    if (before > 0)
        ++m_reuses;
    // A build still reading the orbit keeps its copy: carrying it on may
    // move its values. No other holder can appear while the lock is held.
    if (entry.orbit.use_count() > 1)
        entry.orbit = std::make_shared<ReferenceOrbit>(*entry.orbit);
    struct Aside {
        PassProgress* progress;
        ~Aside()
        {
            if (progress)
                progress->EndAside();
        }
    } aside{m_progress};
    if (m_progress)
        m_progress->BeginAside("Reference orbit, " + std::to_string(length) + " values", int64_t(length),
                               int64_t(before));
    try {
        whole = entry.iteration->Extend(length, stop, *entry.orbit, m_progress);
    } catch (...) {
        m_entries.erase(m_entries.begin());
        throw;
    }
    m_steps += entry.orbit->size() - before;
    std::shared_ptr<const ReferenceOrbit> orbit = entry.orbit;
    if (OrbitBytes(*orbit) > kMostKeptBytes && !m_keepAll)
        m_entries.erase(m_entries.begin());
    return orbit;
}

size_t ReferenceCache::OrbitBytes(const ReferenceOrbit& o)
{
    return (o.re.capacity() + o.im.capacity() + o.reLow.capacity() + o.imLow.capacity()) * sizeof(double) +
           (o.reWide.capacity() + o.imWide.capacity()) * sizeof(FloatExp);
}

void ReferenceCache::BeginBuild()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_build;
}

void ReferenceCache::ShowProgress(PassProgress* progress)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_progress = progress;
}

void ReferenceCache::KeepAll(bool keep)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_keepAll = keep;
}

size_t ReferenceCache::Reuses() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_reuses;
}

size_t ReferenceCache::TableReuses() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_tableReuses;
}

size_t ReferenceCache::RadiiReuses() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_radiiReuses;
}

size_t ReferenceCache::Steps() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_steps;
}

size_t ReferenceCache::Kept() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

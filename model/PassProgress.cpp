#include "model/PassProgress.h"

void PassProgress::Begin(int passes, int64_t rows)
{
    std::lock_guard lock(m_lock);
    m_running = false;
    m_label.clear();
    m_pass = 0;
    m_passes = passes;
    m_total = rows;
    m_start = Clock::now();
    m_done.store(0, std::memory_order_relaxed);
}

void PassProgress::StartPass(std::string label)
{
    std::lock_guard lock(m_lock);
    m_running = true;
    m_label = std::move(label);
    ++m_pass;
    m_passStart = Clock::now();
    m_done.store(0, std::memory_order_relaxed);
}

void PassProgress::End()
{
    std::lock_guard lock(m_lock);
    m_running = false;
}

PassReading PassProgress::Read() const
{
    std::lock_guard lock(m_lock);
    PassReading r;
    if (!m_running)
        return r;
    r.running = true;
    r.label = m_label;
    r.pass = m_pass;
    r.passes = m_passes;
    r.total = m_total;
    r.done = m_done.load(std::memory_order_relaxed);
    const Clock::time_point now = Clock::now();
    r.seconds = std::chrono::duration<double>(now - m_start).count();
    r.passSeconds = std::chrono::duration<double>(now - m_passStart).count();
    return r;
}

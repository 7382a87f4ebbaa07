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
    r.first = m_first;
    r.done = m_done.load(std::memory_order_relaxed);
    const Clock::time_point now = Clock::now();
    r.seconds = std::chrono::duration<double>(now - m_start).count();
    r.passSeconds = std::chrono::duration<double>(now - m_passStart).count();
    return r;
}

void PassProgress::BeginAside(std::string label, int64_t total, int64_t done)
{
    std::lock_guard lock(m_lock);
    if (m_inAside)
        return;
    m_inAside = true;
    const Clock::time_point now = Clock::now();
    m_saved = {m_running, std::move(m_label), m_pass,      m_passes, m_total, m_done.load(std::memory_order_relaxed),
               m_start,   m_passStart,        now};
    // Its times are its own: its rate is that of the units it adds.
    m_start = m_passStart = now;
    m_first = done;
    m_running = true;
    m_label = std::move(label);
    m_pass = m_passes = 1;
    m_total = total;
    m_done.store(done, std::memory_order_relaxed);
}

void PassProgress::EndAside()
{
    std::lock_guard lock(m_lock);
    if (!m_inAside)
        return;
    m_inAside = false;
    const Clock::duration aside = Clock::now() - m_saved.asideStart;
    m_running = m_saved.running;
    m_label = std::move(m_saved.label);
    m_pass = m_saved.pass;
    m_passes = m_saved.passes;
    m_total = m_saved.total;
    m_done.store(m_saved.done, std::memory_order_relaxed);
    m_start = m_saved.start + aside;
    m_passStart = m_saved.passStart + aside;
    m_first = 0;
}

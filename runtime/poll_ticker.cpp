#include "runtime/poll_ticker.h"

#include <system_error>

namespace qrt {

namespace {
// Intervals without an active run before the thread goes to sleep.
constexpr int kIdleIntervals = 10;
}  // namespace

PollTicker::PollTicker(std::function<void()> tick, std::chrono::milliseconds interval)
    : m_tick(std::move(tick)), m_interval(interval) {}

PollTicker::~PollTicker() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void PollTicker::runStarted() {
    m_active.store(true);
    if (m_awake.load()) return;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_quit) return;
    m_wakeRequested = true;
    m_awake.store(true);
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread([this] { loop(); });
        } catch (const std::system_error&) {
            m_awake.store(false);
            return;
        }
    }
    m_wake.notify_all();
}

void PollTicker::loop() {
    std::unique_lock<std::mutex> lock(m_lock);
    int idle = 0;
    while (!m_quit) {
        if (!m_awake.load()) {
            m_wake.wait(lock, [this] { return m_quit || m_wakeRequested; });
            m_wakeRequested = false;
            idle = 0;
            continue;
        }
        m_wakeRequested = false;
        m_wake.wait_for(lock, m_interval, [this] { return m_quit; });
        if (m_quit) break;
        if (m_active.load()) {
            idle = 0;
            lock.unlock();
            m_tick();
            lock.lock();
        } else if (++idle >= kIdleIntervals) {
            // Going to sleep; a run that began meanwhile keeps it awake
            // (runStarted stores m_active before it reads m_awake).
            m_awake.store(false);
            if (m_active.load()) m_awake.store(true);
        }
    }
}

}  // namespace qrt

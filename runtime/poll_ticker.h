// A clock for engines that ask their site, every so often, whether a long
// run may go on. While a run is active a thread of its own calls `tick`
// once per interval; the engine's tick only raises a flag that the running
// script looks at where it already checks for stop requests, so the
// script's own thread does the asking.
//
// Starting and ending a run cost an atomic store each (hosts may call into
// a script a million times); the thread sleeps once no run has been active
// for a few intervals, and the next run wakes it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace qrt {

class PollTicker {
public:
    explicit PollTicker(std::function<void()> tick,
                        std::chrono::milliseconds interval = std::chrono::milliseconds(100));
    // Joins the thread: no tick runs after the ticker is gone.
    ~PollTicker();
    PollTicker(const PollTicker&) = delete;
    PollTicker& operator=(const PollTicker&) = delete;

    // A run begins: ticks come every interval until runEnded. The thread is
    // made on first use; without one the run simply is not polled.
    void runStarted();
    void runEnded() { m_active.store(false); }

private:
    void loop();

    std::function<void()> m_tick;
    std::chrono::milliseconds m_interval;
    std::atomic<bool> m_active{false};
    std::atomic<bool> m_awake{false};  // the thread is ticking or about to
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_wakeRequested = false;
    bool m_quit = false;
    std::thread m_thread;
};

}  // namespace qrt

// Stops a batch run from outside the script: after a time limit, or on
// SIGINT or SIGTERM. A thread of its own asks the running script engines to
// stop (see RunControl); a script that does not stop within a grace period
// (blocked in a host call, say) ends the process after its partial outputs
// are removed. A second signal ends it at once the same way.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillan {

class BatchWatchdog {
public:
    // seconds <= 0: no time limit. exitStatus is the status of a forced end.
    BatchWatchdog(double seconds, int exitStatus);
    ~BatchWatchdog();
    BatchWatchdog(const BatchWatchdog&) = delete;
    BatchWatchdog& operator=(const BatchWatchdog&) = delete;

    // Files removed when the process has to end by force.
    void removeOnForcedExit(std::string path);
    // Why the run was stopped; empty while it was not.
    std::string reason() const;
    bool stopped() const { return m_stopped.load(); }

private:
    void watch();
    void stop(const std::string& reason);
    [[noreturn]] void forceExit(const char* why);

    double m_seconds;
    int m_exitStatus;
    std::chrono::steady_clock::time_point m_start;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_finished = false;
    std::atomic<bool> m_stopped{false};
    std::string m_reason;
    std::vector<std::string> m_cleanUp;
    std::thread m_thread;
};

}  // namespace quillan

#include "app/batch/watchdog.h"

#include "app/core/run_control.h"
#include "runtime/text.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace quillan {
namespace {

// The last stop signal received and how many arrived; written only by the
// handler.
volatile std::sig_atomic_t g_signal = 0;
volatile std::sig_atomic_t g_signalCount = 0;

extern "C" void onStopSignal(int signal) {
    g_signal = signal;
    g_signalCount = g_signalCount + 1;
}

struct sigaction g_previousInt {}, g_previousTerm {};

// How long a stopped script may take to come back before the process ends.
constexpr auto kGrace = std::chrono::seconds(3);
constexpr auto kTick = std::chrono::milliseconds(20);

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

}  // namespace

BatchWatchdog::BatchWatchdog(double seconds, int exitStatus)
    : m_seconds(seconds), m_exitStatus(exitStatus), m_start(std::chrono::steady_clock::now()) {
    g_signal = 0;
    g_signalCount = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_previousInt);
    sigaction(SIGTERM, &action, &g_previousTerm);
    m_thread = std::thread([this] { watch(); });
}

BatchWatchdog::~BatchWatchdog() {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_wake.notify_all();
    m_thread.join();
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
}

void BatchWatchdog::removeOnForcedExit(std::string path) {
    std::lock_guard lock(m_mutex);
    m_cleanUp.push_back(std::move(path));
}

std::string BatchWatchdog::reason() const {
    std::lock_guard lock(m_mutex);
    return m_reason;
}

void BatchWatchdog::stop(const std::string& reason) {
    {
        std::lock_guard lock(m_mutex);
        if (m_reason.empty()) m_reason = reason;
    }
    m_stopped = true;
    runControl().requestStop(qrt::decodeAnsi("The script was stopped: " + reason));
}

void BatchWatchdog::forceExit(const char* why) {
    std::vector<std::string> files;
    {
        std::lock_guard lock(m_mutex);
        files = m_cleanUp;
    }
    for (const std::string& file : files) ::unlink(file.c_str());
    std::fprintf(stderr, "quillan: %s\n", why);
    std::fflush(stderr);
    ::_exit(m_exitStatus);
}

void BatchWatchdog::watch() {
    std::unique_lock lock(m_mutex);
    std::chrono::steady_clock::time_point stoppedAt{};
    int signalsSeen = 0;
    while (!m_finished) {
        m_wake.wait_for(lock, kTick);
        if (m_finished) break;
        const auto now = std::chrono::steady_clock::now();
        const int signals = g_signalCount;
        std::string reason;
        if (signals > signalsSeen) {
            if (signalsSeen > 0 || m_stopped) {
                lock.unlock();
                forceExit("stopped at once by a second signal");
            }
            signalsSeen = signals;
            reason = g_signal == SIGTERM ? "it received SIGTERM" : "it was interrupted (SIGINT)";
        } else if (!m_stopped && m_seconds > 0 &&
                   now - m_start >= std::chrono::duration<double>(m_seconds)) {
            reason = "it ran longer than the time limit of " + formatSeconds(m_seconds) + " seconds";
        }
        if (!reason.empty()) {
            lock.unlock();
            stop(reason);
            lock.lock();
            stoppedAt = now;
            continue;
        }
        if (m_stopped) {
            if (now - stoppedAt >= kGrace) {
                lock.unlock();
                forceExit("the script did not stop in time; the run was ended");
            }
            // A script may have been between two steps: ask again.
            lock.unlock();
            runControl().requestStop({});
            lock.lock();
        }
    }
}

}  // namespace quillan

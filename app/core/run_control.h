// Stopping running scripts from outside them: a time limit, a signal, or the
// user's Stop. Every live script engine is registered here while it exists;
// a stop request interrupts each of them (the engines take interrupts from
// any thread) and keeps new scripts from starting until the request is
// cleared.
#pragma once

#include "runtime/activscp.h"
#include "runtime/object.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace quillan {

class RunControl {
public:
    // The user-interface thread registers an engine when it is created and
    // withdraws it when it is closed.
    void attach(IActiveScript* engine);
    void detach(IActiveScript* engine);

    // Any thread: interrupts every registered engine with the description,
    // which the engines report as the running script's error. Later calls
    // interrupt again (an engine may have been between two steps) but keep
    // the first description.
    void requestStop(const std::u16string& description);
    bool stopRequested() const { return m_stop.load(std::memory_order_acquire); }
    std::u16string stopDescription() const;
    // Lets scripts run again.
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<qrt::ComPtr<IActiveScript>> m_engines;
    std::atomic<bool> m_stop{false};
    std::u16string m_description;
};

// The process-wide one.
RunControl& runControl();

}  // namespace quillan

#include "app/core/run_control.h"

#include "runtime/bstr.h"

#include <algorithm>

namespace quillan {

void RunControl::attach(IActiveScript* engine) {
    if (!engine) return;
    std::lock_guard lock(m_mutex);
    m_engines.emplace_back(engine);
}

void RunControl::detach(IActiveScript* engine) {
    qrt::ComPtr<IActiveScript> last;  // released after the lock is given back
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_engines.begin(), m_engines.end(),
                                 [engine](const qrt::ComPtr<IActiveScript>& e) { return e.get() == engine; });
    if (it == m_engines.end()) return;
    last = std::move(*it);
    m_engines.erase(it);
}

void RunControl::requestStop(const std::u16string& description) {
    std::lock_guard lock(m_mutex);
    if (!m_stop.load(std::memory_order_relaxed)) m_description = description;
    m_stop.store(true, std::memory_order_release);
    EXCEPINFO info{};
    info.scode = E_ABORT;
    info.bstrDescription = qrt::allocBstr(m_description);
    for (const auto& engine : m_engines) engine->InterruptScriptThread(SCRIPTTHREADID_ALL, &info, 0);
    SysFreeString(info.bstrDescription);
}

std::u16string RunControl::stopDescription() const {
    std::lock_guard lock(m_mutex);
    return m_description;
}

void RunControl::clear() {
    std::lock_guard lock(m_mutex);
    m_stop.store(false, std::memory_order_release);
    m_description.clear();
}

RunControl& runControl() {
    static RunControl control;
    return control;
}

}  // namespace quillan

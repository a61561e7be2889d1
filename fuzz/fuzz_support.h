// What the fuzz targets share: a private registry and scratch folder for the
// process, Qt without a display, and a watchdog that stops a script run
// that goes on too long.
#pragma once

#include "runtime/activscp.h"
#include "runtime/object.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace qfuzz {

// A script site that publishes nothing and reads every part of each error
// an engine reports, as a host showing it would; targets that publish an
// object override GetItemInfo.
class QuietSite : public qrt::ComObject<IActiveScriptSite> {
public:
    HRESULT GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetItemInfo(LPCOLESTR, DWORD, IUnknown** item, ITypeInfo** info) override {
        if (item) *item = nullptr;
        if (info) *info = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetDocVersionString(BSTR* version) override {
        *version = nullptr;
        return E_NOTIMPL;
    }
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT OnScriptError(IActiveScriptError* error) override;
    HRESULT OnEnterScript() override { return S_OK; }
    HRESULT OnLeaveScript() override { return S_OK; }
};

// A scratch folder private to this process, removed at exit. The first
// call also points the registry at a private folder inside it, so the
// targets never read or write the user's registry.
const std::string& scratchDir();

// A QApplication on the off-screen platform (created once).
void ensureQtApplication();

// Registers lib<name>.so from the folder of the fuzz programs in the private
// registry; false when that failed.
bool registerLibrary(const char* name);

// Bytes as UTF-16 code units, two bytes each, little-endian (an odd last
// byte is dropped): fuzzed text reaches the code as any unit sequence,
// unpaired surrogates included.
std::u16string unitsOf(const std::uint8_t* data, std::size_t size);
// Bytes as text: valid UTF-8 decoded, other bytes taken one unit each.
std::u16string textOf(const std::uint8_t* data, std::size_t size);

// Interrupts a script engine that runs longer than the budget. arm() before
// a run, disarm() after it; the interrupt comes through
// IActiveScript::InterruptScriptThread from the watchdog's thread, exactly
// as a host's stop button sends it.
class Watchdog {
public:
    explicit Watchdog(std::chrono::milliseconds budget);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void arm(IActiveScript* engine);
    void disarm();
    // Runs stopped by the watchdog so far.
    unsigned long interruptions() const { return m_interruptions; }

private:
    void loop();

    std::chrono::milliseconds m_budget;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    IActiveScript* m_engine = nullptr;
    std::chrono::steady_clock::time_point m_deadline;
    unsigned long m_interruptions = 0;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace qfuzz

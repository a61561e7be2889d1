// A minimal script host for the engine's tests: a site that records the
// errors it is told about and publishes named items, an assertion helper
// for self-checking scripts, a small collection, and an engine created by
// ProgID exactly as the program's host creates it.
#pragma once

#include "runtime/activscp.h"
#include "runtime/object.h"
#include "runtime/variant.h"

#include <map>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace vbs_test {

struct ReportedError {
    std::string source;
    std::string description;
    HRESULT scode = 0;
    ULONG line = 0;
    LONG column = 0;
    std::string lineText;
    int number() const { return static_cast<int>(scode & 0xFFFF); }
};

class TestSite final : public qrt::ComObject<IActiveScriptSite, IActiveScriptSiteInterruptPoll> {
public:
    // Every so often during a run; S_FALSE stops the script.
    HRESULT QueryContinue() override {
        ++polls;
        return keepRunning ? keepRunning() : S_OK;
    }
    std::function<HRESULT()> keepRunning;
    std::atomic<int> polls{0};

    HRESULT GetLCID(LCID* lcid) override;
    HRESULT GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
    HRESULT GetDocVersionString(BSTR* version) override;
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE state) override;
    HRESULT OnScriptError(IActiveScriptError* error) override;
    HRESULT OnEnterScript() override { ++enterCount; return S_OK; }
    HRESULT OnLeaveScript() override { ++leaveCount; return S_OK; }

    void publish(const std::u16string& name, IUnknown* object) { m_items[name] = object; }
    void clearItems() { m_items.clear(); }

    std::vector<ReportedError> errors;
    std::vector<std::u16string> itemRequests;
    std::vector<SCRIPTSTATE> states;
    int enterCount = 0;
    int leaveCount = 0;

private:
    std::map<std::u16string, qrt::ComPtr<IUnknown>> m_items;
};

// Assert.Check cond, message / Assert.Equal actual, expected, message:
// a failure ends the script with a run-time error naming the message, so
// the engine reports the line; Assert.Count tells how many checks ran.
class Assertions final : public qrt::ComObject<IDispatch> {
public:
    HRESULT GetTypeInfoCount(UINT* count) override { *count = 0; return S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) override;
    int count = 0;
};

// A collection of variants: Count, Item(i) (the default member), _NewEnum,
// Add(value) and a Name property.
class Collection final : public qrt::ComObject<IDispatch> {
public:
    HRESULT GetTypeInfoCount(UINT* count) override { *count = 0; return S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) override;
    std::vector<qrt::Variant> items;
    qrt::Variant name;
};

// An engine made by ProgID "VBScript", with a TestSite, initialised.
class Engine {
public:
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    HRESULT parse(std::u16string_view code, ULONG startingLine = 1, DWORD flags = SCRIPTTEXT_ISVISIBLE | SCRIPTTEXT_ISPERSISTENT);
    HRESULT connect() { return script->SetScriptState(SCRIPTSTATE_CONNECTED); }
    // Parses and connects; the status of whichever failed first.
    HRESULT run(std::u16string_view code, ULONG startingLine = 1);
    // Evaluates an expression in the running engine.
    qrt::Variant eval(std::u16string_view expression);
    qrt::ComPtr<IDispatch> dispatch();
    void close();

    qrt::ComPtr<IActiveScript> script;
    qrt::ComPtr<IActiveScriptParse> parser;
    qrt::ComPtr<TestSite> site;
};

// Registers the engine and the component libraries the tests use as hosts.
void registerLibraries();

std::u16string u16(std::string_view utf8);

}  // namespace vbs_test

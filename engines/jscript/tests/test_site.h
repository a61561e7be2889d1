// A script site for engine tests: publishes named items, records errors and
// the order of the engine's calls.
#pragma once

#include "runtime/activation.h"
#include "runtime/activscp.h"
#include "runtime/bstr.h"
#include "runtime/object.h"

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qtest {

struct RecordedError {
    std::string source;
    std::string description;
    HRESULT scode = 0;
    ULONG line = 0;
    LONG column = 0;
    std::string lineText;
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

    std::map<std::u16string, qrt::ComPtr<IUnknown>> items;
    std::vector<RecordedError> errors;
    int itemRequests = 0;
    int enters = 0;
    int leaves = 0;

    HRESULT GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override {
        ++itemRequests;
        if (info) *info = nullptr;
        auto it = items.find(name);
        if (it == items.end()) return TYPE_E_ELEMENTNOTFOUND;
        if (mask & SCRIPTINFO_IUNKNOWN) {
            if (!item) return E_POINTER;
            return it->second.copyTo(item);
        }
        return S_OK;
    }
    HRESULT GetDocVersionString(BSTR* version) override {
        *version = qrt::allocBstr(std::u16string_view(u"test"));
        return S_OK;
    }
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT OnScriptError(IActiveScriptError* error) override {
        RecordedError e;
        EXCEPINFO info{};
        if (SUCCEEDED(error->GetExceptionInfo(&info))) {
            e.source = qrt::bstrToUtf8(info.bstrSource);
            e.description = qrt::bstrToUtf8(info.bstrDescription);
            e.scode = info.scode;
            qrt::clearExcepInfo(&info);
        }
        DWORD context = 0;
        error->GetSourcePosition(&context, &e.line, &e.column);
        BSTR text = nullptr;
        if (SUCCEEDED(error->GetSourceLineText(&text))) e.lineText = qrt::bstrToUtf8(text);
        SysFreeString(text);
        errors.push_back(std::move(e));
        return S_OK;
    }
    HRESULT OnEnterScript() override { ++enters; return S_OK; }
    HRESULT OnLeaveScript() override { ++leaves; return S_OK; }
};

// An engine created by ProgID with a TestSite, ready for script text.
struct EngineUnderTest {
    qrt::ComPtr<TestSite> site = qrt::create<TestSite>();
    qrt::ComPtr<IActiveScript> engine;
    qrt::ComPtr<IActiveScriptParse> parser;

    explicit EngineUnderTest(const char16_t* progId) {
        if (FAILED(qrt::createObject(progId, engine)) || !engine) return;
        engine->SetScriptSite(site.get());
        engine.as(parser);
        if (parser) parser->InitNew();
    }
    ~EngineUnderTest() {
        if (engine) engine->Close();
    }
    void publish(const char16_t* name, IUnknown* object) {
        site->items[name] = object;
        engine->AddNamedItem(name, SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISPERSISTENT);
    }
    HRESULT parse(const std::u16string& code, ULONG startLine = 1) {
        EXCEPINFO excep{};
        const HRESULT hr = parser->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, startLine,
                                                   SCRIPTTEXT_ISVISIBLE | SCRIPTTEXT_ISPERSISTENT, nullptr, &excep);
        qrt::clearExcepInfo(&excep);
        return hr;
    }
    HRESULT run(const std::u16string& code) {
        const HRESULT hr = parse(code);
        if (FAILED(hr)) return hr;
        return engine->SetScriptState(SCRIPTSTATE_CONNECTED);
    }
    // The value of an expression, evaluated in the running script.
    qrt::Variant eval(const std::u16string& expression) {
        qrt::Variant result;
        EXCEPINFO excep{};
        parser->ParseScriptText(expression.c_str(), nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISEXPRESSION, &result,
                                &excep);
        qrt::clearExcepInfo(&excep);
        return result;
    }
};

}  // namespace qtest

// The engine object: the Active Scripting state machine, the site, the named
// items, and the chunks of script text handed to the Duktape runtime.
#include "engines/jscript/jscript_engine.h"

#include "engines/jscript/duk_runtime.h"
#include "engines/jscript/script_objects.h"
#include "runtime/bstr.h"
#include "runtime/object.h"

#include <memory>
#include <mutex>
#include <new>

namespace jscript {
namespace {

class CJScript final : public qrt::ComObject<IActiveScript, IActiveScriptParse, IScriptPosition>,
                       private RuntimeHost {
public:
    ~CJScript() override { closeRuntime(); }

    // IActiveScript
    HRESULT SetScriptSite(IActiveScriptSite* site) override {
        if (!site) return E_POINTER;
        if (m_state == SCRIPTSTATE_CLOSED) return E_UNEXPECTED;
        if (m_site) return E_UNEXPECTED;
        HRESULT hr = ensureRuntime();
        if (FAILED(hr)) return hr;
        m_site = site;
        m_pollSite = m_site.as<IActiveScriptSiteInterruptPoll>();
        m_runtime->setPolling(static_cast<bool>(m_pollSite));
        if (m_state == SCRIPTSTATE_UNINITIALIZED) m_state = SCRIPTSTATE_INITIALIZED;
        return S_OK;
    }
    HRESULT GetScriptSite(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!m_site) return S_FALSE;
        return m_site->QueryInterface(iid, out);
    }
    HRESULT SetScriptState(SCRIPTSTATE state) override {
        if (m_state == SCRIPTSTATE_CLOSED) return E_UNEXPECTED;
        switch (state) {
        case SCRIPTSTATE_STARTED:
        case SCRIPTSTATE_CONNECTED: {
            if (m_state == SCRIPTSTATE_UNINITIALIZED || !m_runtime) return E_UNEXPECTED;
            changeState(state);
            // The code parsed so far runs now, in the order it was given.
            return m_runtime->runPending();
        }
        case SCRIPTSTATE_INITIALIZED:
        case SCRIPTSTATE_DISCONNECTED:
        case SCRIPTSTATE_UNINITIALIZED:
            changeState(state);
            return S_OK;
        case SCRIPTSTATE_CLOSED:
            return Close();
        }
        return E_INVALIDARG;
    }
    HRESULT GetScriptState(SCRIPTSTATE* state) override {
        if (!state) return E_POINTER;
        *state = m_state;
        return S_OK;
    }
    HRESULT Close() override {
        if (m_runtime && m_runtime->running()) return E_UNEXPECTED;  // not from inside the running script
        if (m_state == SCRIPTSTATE_CLOSED) return S_OK;
        changeState(SCRIPTSTATE_CLOSED);
        closeRuntime();
        m_items.clear();
        m_pollSite.reset();
        m_site.reset();
        return S_OK;
    }
    HRESULT AddNamedItem(LPCOLESTR name, DWORD flags) override {
        if (!name) return E_INVALIDARG;
        if (m_state == SCRIPTSTATE_CLOSED) return E_UNEXPECTED;
        HRESULT hr = ensureRuntime();
        if (FAILED(hr)) return hr;
        const std::u16string_view itemName(name);
        for (const auto& item : m_items) {
            if (item.name == itemName) return E_INVALIDARG;
        }
        hr = m_runtime->addNamedItem(itemName);
        if (FAILED(hr)) return hr;
        m_items.push_back({std::u16string(itemName), flags, nullptr});
        return S_OK;
    }
    HRESULT GetScriptDispatch(LPCOLESTR itemName, IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (m_state == SCRIPTSTATE_CLOSED || !m_runtime) return E_UNEXPECTED;
        // Named items have no code of their own: their script dispatch is the global one.
        if (itemName && !m_runtime->isNamedItem(itemName)) return E_INVALIDARG;
        if (!m_scriptDispatch) m_scriptDispatch = createScriptDispatch(m_runtime->link());
        if (!m_scriptDispatch) return E_OUTOFMEMORY;
        return m_scriptDispatch.copyTo(out);
    }
    HRESULT InterruptScriptThread(SCRIPTTHREADID thread, const EXCEPINFO* excep, DWORD) override {
        if (thread != SCRIPTTHREADID_ALL && thread != SCRIPTTHREADID_BASE && thread != SCRIPTTHREADID_CURRENT &&
            thread != 0)
            return E_INVALIDARG;
        std::lock_guard lock(m_runtimeMutex);
        if (!m_runtime) return E_UNEXPECTED;
        HRESULT code = E_ABORT;
        std::u16string description;
        if (excep) {
            if (excep->scode) code = excep->scode;
            description = std::u16string(qrt::bstrView(excep->bstrDescription));
        }
        m_runtime->requestInterrupt(code, std::move(description));
        return S_OK;
    }

    // IActiveScriptParse
    HRESULT InitNew() override {
        if (m_state == SCRIPTSTATE_CLOSED) return E_UNEXPECTED;
        HRESULT hr = ensureRuntime();
        if (FAILED(hr)) return hr;
        if (m_state == SCRIPTSTATE_UNINITIALIZED) m_state = SCRIPTSTATE_INITIALIZED;
        return S_OK;
    }
    HRESULT ParseScriptText(LPCOLESTR code, LPCOLESTR, IUnknown*, LPCOLESTR, DWORD_PTR cookie, ULONG startingLine,
                            DWORD flags, VARIANT* result, EXCEPINFO* excep) override {
        if (m_state == SCRIPTSTATE_CLOSED || m_state == SCRIPTSTATE_UNINITIALIZED || !m_runtime) return E_UNEXPECTED;
        if (result) VariantInit(result);
        if (excep) *excep = EXCEPINFO{};
        const bool expression = (flags & SCRIPTTEXT_ISEXPRESSION) != 0;
        const bool started = m_state == SCRIPTSTATE_STARTED || m_state == SCRIPTSTATE_CONNECTED ||
                             m_state == SCRIPTSTATE_DISCONNECTED;
        try {
            return m_runtime->parse(code ? std::u16string_view(code) : std::u16string_view(), startingLine, cookie,
                                    expression, started || expression, expression ? result : nullptr);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    // IScriptPosition
    HRESULT GetCurrentLine(ULONG* line) override {
        if (!line) return E_POINTER;
        *line = m_runtime ? m_runtime->currentLine() : 0;
        return *line ? S_OK : S_FALSE;
    }

private:
    struct Item {
        std::u16string name;
        DWORD flags;
        qrt::ComPtr<IDispatch> object;  // asked of the site when the script first uses it
    };

    HRESULT ensureRuntime() {
        if (m_runtime) return S_OK;
        try {
            auto runtime = std::make_unique<DukRuntime>(static_cast<RuntimeHost&>(*this));
            std::lock_guard lock(m_runtimeMutex);
            m_runtime = std::move(runtime);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    void closeRuntime() {
        m_scriptDispatch.reset();
        std::unique_ptr<DukRuntime> runtime;
        {
            std::lock_guard lock(m_runtimeMutex);
            runtime = std::move(m_runtime);
        }
        runtime.reset();  // destroys the heap, releasing what scripts held
    }

    void changeState(SCRIPTSTATE state) {
        m_state = state;
        if (m_site) m_site->OnStateChange(state);
    }

    // RuntimeHost
    HRESULT namedItem(std::u16string_view name, qrt::ComPtr<IDispatch>& out) override {
        for (auto& item : m_items) {
            if (item.name != name) continue;
            if (!item.object) {
                if (!m_site) return E_UNEXPECTED;
                qrt::ComPtr<IUnknown> unknown;
                HRESULT hr = m_site->GetItemInfo(item.name.c_str(), SCRIPTINFO_IUNKNOWN, unknown.out(), nullptr);
                if (FAILED(hr)) return hr;
                if (!unknown) return E_FAIL;
                hr = unknown.as(item.object);
                if (FAILED(hr)) return hr;
            }
            out = item.object;
            return S_OK;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    void scriptError(qrt::ScriptErrorInfo info) override {
        if (!m_site) return;
        qrt::ComPtr<IActiveScriptError> error = qrt::createScriptError(std::move(info));
        if (error) m_site->OnScriptError(error.get());
    }
    void enterScript() override {
        if (m_site) m_site->OnEnterScript();
    }
    void leaveScript() override {
        if (m_site) m_site->OnLeaveScript();
    }
    bool queryContinue() override {
        qrt::ComPtr<IActiveScriptSiteInterruptPoll> poll = m_pollSite;
        return !poll || poll->QueryContinue() != S_FALSE;
    }

    SCRIPTSTATE m_state = SCRIPTSTATE_UNINITIALIZED;
    qrt::ComPtr<IActiveScriptSite> m_site;
    qrt::ComPtr<IActiveScriptSiteInterruptPoll> m_pollSite;
    std::vector<Item> m_items;
    std::mutex m_runtimeMutex;  // InterruptScriptThread may come from another thread
    std::unique_ptr<DukRuntime> m_runtime;
    qrt::ComPtr<IDispatch> m_scriptDispatch;
};

}  // namespace

HRESULT createJScriptEngine(REFIID iid, void** out) {
    return qrt::createInstance<CJScript>(iid, out);
}

}  // namespace jscript

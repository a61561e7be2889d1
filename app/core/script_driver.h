// The script host: one CScriptDriver owns one script engine for one run. It
// creates the engine, acts as its site, publishes named objects, hands it
// the script text from a file or from memory, runs it, lists the script's
// parameterless functions, calls one on request, and records and reports
// script errors.
#pragma once

#include "app/core/script_ui.h"
#include "runtime/activscp.h"
#include "runtime/object.h"

#include <forward_list>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct IScriptDriver : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{6C1E2B0A-3D47-4E8F-9A51-7B2C9D0E4F13}");
    using Base = IUnknown;
    virtual HRESULT CreateEngine(REFCLSID classId) = 0;
    virtual HRESULT Run() = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT GetEngine(IActiveScript** engine) = 0;
    virtual HRESULT GetScriptDispatch(IDispatch** dispatch) = 0;
    virtual HRESULT LoadFile(LPCOLESTR path) = 0;
    virtual HRESULT ParseText(LPCOLESTR text) = 0;
    virtual HRESULT AddNamedItem(LPCOLESTR name, IUnknown* object) = 0;
    virtual HRESULT CallFunction(LPCOLESTR name) = 0;
    // A one-dimensional safe array of strings, lower bound 0.
    virtual HRESULT GetFunctionNames(VARIANT* names) = 0;
    // S_FALSE, outputs untouched, when no error was reported.
    virtual HRESULT GetLastError(LONG* line, LONG* position, BSTR* description) = 0;

protected:
    ~IScriptDriver() = default;
};

namespace quillan {

class CScriptDriver final
    : public qrt::ComObject<IActiveScriptSite, IActiveScriptSiteInterruptPoll, IScriptDriver, IScriptDialogs> {
public:
    using ErrorListener = std::function<void(CScriptDriver&)>;

    CScriptDriver() = default;
    ~CScriptDriver() override;

    // Listeners run after every reported error, the newest first.
    int AddErrorListener(ErrorListener listener);
    void RemoveErrorListener(int cookie);

    // Why the last LoadFile failed, as a sentence fragment ("No such file or
    // directory"); empty after a successful one.
    const std::string& loadError() const { return m_loadError; }
    // The file given to LoadFile; empty for text from memory.
    const std::u16string& sourceFile() const { return m_sourceFile; }
    // A host whose running script is being stopped because another script
    // replaces it: the stop it reports is not shown.
    void retire() { m_retired = true; }

    // Shows an error that did not come from the engine (a script file that
    // cannot be read) exactly as the engine's errors are shown and recorded.
    void reportError(const ScriptErrorReport& report);

    // Tells the user of a call of the running script that did nothing, with
    // the script's file and current line.
    void reportWarning(std::u16string text);

    // Where errors and dialogs go; null means the process-wide one.
    void SetReporter(ScriptUi* ui) { m_reporter = ui; }

    // IScriptDriver
    HRESULT CreateEngine(REFCLSID classId) override;
    HRESULT Run() override;
    HRESULT Close() override;
    HRESULT GetEngine(IActiveScript** engine) override;
    HRESULT GetScriptDispatch(IDispatch** dispatch) override;
    HRESULT LoadFile(LPCOLESTR path) override;
    HRESULT ParseText(LPCOLESTR text) override;
    HRESULT AddNamedItem(LPCOLESTR name, IUnknown* object) override;
    HRESULT CallFunction(LPCOLESTR name) override;
    HRESULT GetFunctionNames(VARIANT* names) override;
    HRESULT GetLastError(LONG* line, LONG* position, BSTR* description) override;

    // IActiveScriptSite
    HRESULT GetLCID(LCID* lcid) override;
    HRESULT GetItemInfo(LPCOLESTR name, DWORD returnMask, IUnknown** item, ITypeInfo** typeInfo) override;
    HRESULT GetDocVersionString(BSTR* version) override;
    HRESULT OnScriptTerminate(const VARIANT* result, const EXCEPINFO* excep) override;
    HRESULT OnStateChange(SCRIPTSTATE state) override;
    HRESULT OnScriptError(IActiveScriptError* error) override;
    HRESULT OnEnterScript() override;
    HRESULT OnLeaveScript() override;

    // IActiveScriptSiteInterruptPoll, offered only when the UI polls.
    HRESULT QueryContinue() override;
    HRESULT QueryInterface(REFIID iid, void** out) override;

    // IScriptDialogs
    HRESULT MessageBox(LPCOLESTR text, LPCOLESTR title, LONG buttons, LONG* result) override;
    HRESULT InputBox(LPCOLESTR prompt, LPCOLESTR title, LPCOLESTR defaultText, BSTR* result) override;

private:
    ScriptUi& ui() const { return m_reporter ? *m_reporter : scriptUi(); }
    HRESULT parse(const std::u16string& text);
    void forgetLastError();

    std::vector<std::u16string> m_functionNames;
    qrt::ComPtr<IActiveScript> m_engine;
    qrt::ComPtr<IDispatch> m_scriptDispatch;
    std::map<std::u16string, qrt::ComPtr<IUnknown>> m_namedItems;
    std::forward_list<std::pair<int, ErrorListener>> m_errorListeners;
    int m_nextListener = 1;
    BSTR m_errorDescription = nullptr;
    BSTR m_errorSource = nullptr;
    LONG m_errorLine = -1;
    LONG m_errorPosition = -1;
    ScriptUi* m_reporter = nullptr;
    std::u16string m_sourceFile;
    std::string m_loadError;
    bool m_retired = false;
    int m_runDepth = 0;  // nested entries into the engine
};

}  // namespace quillan

// The script engine component: IActiveScript and IActiveScriptParse over
// the compiler and interpreter. Code parsed before the engine is started is
// kept and runs when the host starts or connects it; code parsed afterwards
// runs at once. Errors go to the site's OnScriptError.
#pragma once

#include "engines/vbscript/bytecode.h"
#include "engines/vbscript/interpreter.h"
#include "runtime/activscp.h"
#include "runtime/poll_ticker.h"
#include "runtime/object.h"

#include <mutex>

namespace vbs {

// {24BA8A12-271F-418D-B793-D6FB91956451}
constexpr CLSID CLSID_VBScript = qrt::makeGuid("{24BA8A12-271F-418D-B793-D6FB91956451}");
// {C056E6CD-15F3-448A-86CD-C6B1E7E8ECE5}
constexpr GUID LIBID_VBScript = qrt::makeGuid("{C056E6CD-15F3-448A-86CD-C6B1E7E8ECE5}");

class ScriptEngine final : public qrt::ComObject<IActiveScript, IActiveScriptParse, IScriptPosition> {
public:
    ScriptEngine();
    ~ScriptEngine() override;
    static HRESULT create(REFIID iid, void** out);

    // IActiveScript
    HRESULT SetScriptSite(IActiveScriptSite* site) override;
    HRESULT GetScriptSite(REFIID iid, void** out) override;
    HRESULT SetScriptState(SCRIPTSTATE state) override;
    HRESULT GetScriptState(SCRIPTSTATE* state) override;
    HRESULT Close() override;
    HRESULT AddNamedItem(LPCOLESTR name, DWORD flags) override;
    HRESULT GetScriptDispatch(LPCOLESTR itemName, IDispatch** out) override;
    HRESULT InterruptScriptThread(SCRIPTTHREADID thread, const EXCEPINFO* excep, DWORD flags) override;

    // IScriptPosition
    HRESULT GetCurrentLine(ULONG* line) override;

    // IActiveScriptParse
    HRESULT InitNew() override;
    HRESULT ParseScriptText(LPCOLESTR code, LPCOLESTR itemName, IUnknown* context, LPCOLESTR delimiter,
                            DWORD_PTR sourceContextCookie, ULONG startingLineNumber, DWORD flags, VARIANT* result,
                            EXCEPINFO* excep) override;

    // For the script dispatch: global procedures and variables by name.
    bool closed() const { return m_state == SCRIPTSTATE_CLOSED; }
    HRESULT globalIdOfName(std::u16string_view name, DISPID* id);
    HRESULT invokeGlobal(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep);
    // The public procedures in source order.
    std::vector<std::shared_ptr<Procedure>> publicProcedures() const;
    static DISPID dispidOf(std::int32_t global) { return global + 1; }

private:
    bool started() const { return m_state == SCRIPTSTATE_STARTED || m_state == SCRIPTSTATE_CONNECTED; }
    void changeState(SCRIPTSTATE state);
    HRESULT runPending();
    // Runs a procedure, reporting an error to the site; false on error.
    bool run(Procedure& proc, const Value* args, int argc, Value* result, ScriptError* failure,
             ClassInstance* self = nullptr);
    void report(const ScriptError& error);
    Value loadNamedItem(const std::u16string& name);
    void releaseAll();

    qrt::ComPtr<IActiveScriptSite> m_site;
    // The site's poll, when it has one: asked every so often during a run.
    qrt::ComPtr<IActiveScriptSiteInterruptPoll> m_pollSite;
    SCRIPTSTATE m_state = SCRIPTSTATE_UNINITIALIZED;
    Globals m_globals;
    std::unique_ptr<Interpreter> m_interp;
    std::vector<std::shared_ptr<Procedure>> m_pending;  // global code waiting for the engine to start
    std::vector<std::int32_t> m_procOrder;               // procedures' global indices in source order
    // Declared last: destroyed first, so that no tick reaches a dying interpreter.
    std::unique_ptr<qrt::PollTicker> m_ticker;
};

}  // namespace vbs

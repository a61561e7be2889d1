// Active Scripting: the interfaces shared by a script host (the site) and the
// script engines. A host creates an engine by ProgID ("VBScript", "JScript"),
// sets itself as the engine's site, publishes named objects, hands the engine
// script text, and moves it to the connected state, which runs the global
// code. Errors come back to the site as IActiveScriptError objects.
#pragma once

#include "runtime/dispatch.h"
#include "runtime/typeinfo.h"

#include <cstdint>
#include <string>

using DWORD_PTR = std::uintptr_t;
using SCRIPTTHREADID = DWORD;

enum SCRIPTSTATE {
    SCRIPTSTATE_UNINITIALIZED = 0,
    SCRIPTSTATE_STARTED = 1,
    SCRIPTSTATE_CONNECTED = 2,
    SCRIPTSTATE_DISCONNECTED = 3,
    SCRIPTSTATE_CLOSED = 4,
    SCRIPTSTATE_INITIALIZED = 5,
};

enum SCRIPTTHREADSTATE {
    SCRIPTTHREADSTATE_NOTINSCRIPT = 0,
    SCRIPTTHREADSTATE_RUNNING = 1,
};

// AddNamedItem flags.
constexpr DWORD SCRIPTITEM_ISVISIBLE = 0x00000002;
constexpr DWORD SCRIPTITEM_ISSOURCE = 0x00000004;
constexpr DWORD SCRIPTITEM_GLOBALMEMBERS = 0x00000008;
constexpr DWORD SCRIPTITEM_ISPERSISTENT = 0x00000040;
constexpr DWORD SCRIPTITEM_CODEONLY = 0x00000200;
constexpr DWORD SCRIPTITEM_NOCODE = 0x00000400;

// ParseScriptText flags.
constexpr DWORD SCRIPTTEXT_DELAYEXECUTION = 0x00000001;
constexpr DWORD SCRIPTTEXT_ISVISIBLE = 0x00000002;
constexpr DWORD SCRIPTTEXT_ISEXPRESSION = 0x00000020;
constexpr DWORD SCRIPTTEXT_ISPERSISTENT = 0x00000040;
constexpr DWORD SCRIPTTEXT_HOSTMANAGESSOURCE = 0x00000080;

// GetItemInfo masks.
constexpr DWORD SCRIPTINFO_IUNKNOWN = 0x00000001;
constexpr DWORD SCRIPTINFO_ITYPEINFO = 0x00000002;

// InterruptScriptThread.
constexpr SCRIPTTHREADID SCRIPTTHREADID_CURRENT = static_cast<SCRIPTTHREADID>(-1);
constexpr SCRIPTTHREADID SCRIPTTHREADID_BASE = static_cast<SCRIPTTHREADID>(-2);
constexpr SCRIPTTHREADID SCRIPTTHREADID_ALL = static_cast<SCRIPTTHREADID>(-3);
constexpr DWORD SCRIPTINTERRUPT_DEBUG = 0x00000001;
constexpr DWORD SCRIPTINTERRUPT_RAISEEXCEPTION = 0x00000002;

// Status codes of the scripting layer.
constexpr HRESULT SCRIPT_E_REPORTED = static_cast<HRESULT>(0x80020101);
constexpr HRESULT SCRIPT_E_RECORDED = static_cast<HRESULT>(0x86664004);
constexpr HRESULT SCRIPT_E_PROPAGATE = static_cast<HRESULT>(0x80020102);

struct IActiveScriptError : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{EAE1BA61-A4ED-11CF-8F20-00805F2CD064}");
    using Base = IUnknown;
    // Copies of the strings: the caller frees them.
    virtual HRESULT GetExceptionInfo(EXCEPINFO* info) = 0;
    // line counts from the starting line given to ParseScriptText;
    // charPosition is zero-based within that line.
    virtual HRESULT GetSourcePosition(DWORD* sourceContext, ULONG* line, LONG* charPosition) = 0;
    virtual HRESULT GetSourceLineText(BSTR* text) = 0;

protected:
    ~IActiveScriptError() = default;
};

struct IActiveScriptSite : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{DB01A1E3-A42B-11CF-8F20-00805F2CD064}");
    using Base = IUnknown;
    virtual HRESULT GetLCID(LCID* lcid) = 0;
    virtual HRESULT GetItemInfo(LPCOLESTR name, DWORD returnMask, IUnknown** item, ITypeInfo** typeInfo) = 0;
    virtual HRESULT GetDocVersionString(BSTR* version) = 0;
    virtual HRESULT OnScriptTerminate(const VARIANT* result, const EXCEPINFO* excep) = 0;
    virtual HRESULT OnStateChange(SCRIPTSTATE state) = 0;
    virtual HRESULT OnScriptError(IActiveScriptError* error) = 0;
    virtual HRESULT OnEnterScript() = 0;
    virtual HRESULT OnLeaveScript() = 0;

protected:
    ~IActiveScriptSite() = default;
};

struct IActiveScript : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{BB1A2AE1-A4F9-11CF-8F20-00805F2CD064}");
    using Base = IUnknown;
    virtual HRESULT SetScriptSite(IActiveScriptSite* site) = 0;
    virtual HRESULT GetScriptSite(REFIID iid, void** out) = 0;
    virtual HRESULT SetScriptState(SCRIPTSTATE state) = 0;
    virtual HRESULT GetScriptState(SCRIPTSTATE* state) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT AddNamedItem(LPCOLESTR name, DWORD flags) = 0;
    // itemName null: the dispatch of the global code, whose members are the
    // script's global functions and variables.
    virtual HRESULT GetScriptDispatch(LPCOLESTR itemName, IDispatch** out) = 0;
    // May be called from any thread: the running script ends with an error
    // built from excep (or a default "interrupted" error).
    virtual HRESULT InterruptScriptThread(SCRIPTTHREADID thread, const EXCEPINFO* excep, DWORD flags) = 0;

protected:
    ~IActiveScript() = default;
};

struct IActiveScriptParse : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{BB1A2AE2-A4F9-11CF-8F20-00805F2CD064}");
    using Base = IUnknown;
    virtual HRESULT InitNew() = 0;
    virtual HRESULT ParseScriptText(LPCOLESTR code, LPCOLESTR itemName, IUnknown* context, LPCOLESTR delimiter,
                                    DWORD_PTR sourceContextCookie, ULONG startingLineNumber, DWORD flags,
                                    VARIANT* result, EXCEPINFO* excep) = 0;

protected:
    ~IActiveScriptParse() = default;
};

namespace qrt {

// What an engine knows about one script error.
struct ScriptErrorInfo {
    std::u16string source;       // "JScript runtime error"
    std::u16string description;
    HRESULT scode = E_FAIL;
    DWORD sourceContext = 0;
    ULONG line = 0;              // counted from the starting line
    LONG column = 0;             // zero-based
    std::u16string lineText;
};

// An IActiveScriptError object that reports info.
ComPtr<IActiveScriptError> createScriptError(ScriptErrorInfo info);

}  // namespace qrt

// The dialogs a script shows through its host (VBScript's MsgBox and
// InputBox). An engine asks its site for this interface.
struct IScriptDialogs : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{9B2E6F14-5C8A-4D37-B1E0-3F7A2C9D6E58}");
    using Base = IUnknown;
    // buttons are MsgBox's flags (0 OK only, 1 OK/Cancel, 4 Yes/No, ... plus
    // icon and default-button bits); *result is the pressed button's code
    // (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No).
    virtual HRESULT MessageBox(LPCOLESTR text, LPCOLESTR title, LONG buttons, LONG* result) = 0;
    // *result is null when the user cancels.
    virtual HRESULT InputBox(LPCOLESTR prompt, LPCOLESTR title, LPCOLESTR defaultText, BSTR* result) = 0;

protected:
    ~IScriptDialogs() = default;
};

// Where a running script is: an engine answers with the line (counted from
// the starting line its text was given) of the statement it is executing,
// for a host that reports a problem with a call the script made. S_FALSE and
// a line of 0 when no script is running.
struct IScriptPosition : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{4F3C8A21-7D6E-4B95-A2C1-8E5D0B9F3A76}");
    using Base = IUnknown;
    virtual HRESULT GetCurrentLine(ULONG* line) = 0;

protected:
    ~IScriptPosition() = default;
};

// Implemented by a site that wants to be asked, while a script runs, whether
// it may go on: an engine calls QueryContinue on the script's own thread
// every so often (about every 100 ms of running). S_FALSE stops the script,
// which ends with an error the site is told of; S_OK lets it go on. A site
// uses the call to keep its window painted during a long run.
struct IActiveScriptSiteInterruptPoll : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{539698A0-CDCA-11CF-A5EB-00AA0047A063}");
    using Base = IUnknown;
    virtual HRESULT QueryContinue() = 0;

protected:
    ~IActiveScriptSiteInterruptPoll() = default;
};

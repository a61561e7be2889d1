// Runs self-checking scripts through the VBScript and JScript engines, as
// the program's script host does: engines made by ProgID, a site that
// records errors, and an "Assert" object published as a named item.
#pragma once

#include "runtime/activscp.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"

#include <map>
#include <string>
#include <vector>

namespace scripting_test {

struct ScriptFailure {
    std::string description;
    HRESULT scode = 0;
    ULONG line = 0;
    std::string lineText;
};

struct IAssert : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{A060B012-4D0D-451E-87DF-2337C25D0AD1}");
    using Base = IDispatch;
    virtual HRESULT Check(VARIANT condition, VARIANT message) = 0;
    virtual HRESULT Equal(VARIANT actual, VARIANT expected, VARIANT message) = 0;

protected:
    ~IAssert() = default;
};

// Assert.Check condition [, message] and Assert.Equal actual, expected
// [, message]: a failure ends the script with an error naming the message.
class Assertions final : public qrt::ComObject<qrt::DispatchImpl<Assertions, IAssert>> {
public:
    static const qrt::DispatchTable& dispatchTable();
    HRESULT Check(VARIANT condition, VARIANT message) override;
    HRESULT Equal(VARIANT actual, VARIANT expected, VARIANT message) override;
    int count = 0;
};

class Site final : public qrt::ComObject<IActiveScriptSite> {
public:
    HRESULT GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
    HRESULT GetDocVersionString(BSTR* version) override;
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT OnScriptError(IActiveScriptError* error) override;
    HRESULT OnEnterScript() override { return S_OK; }
    HRESULT OnLeaveScript() override { return S_OK; }

    std::map<std::u16string, qrt::ComPtr<IUnknown>> items;
    std::vector<ScriptFailure> failures;
};

// Runs code in the engine of progId ("VBScript", "JScript") with Assert
// published; returns the errors the script reported. *assertions, when
// given, receives how many checks ran.
std::vector<ScriptFailure> runScript(const char16_t* progId, const std::u16string& code, int* assertions = nullptr);

// Registers the scripting library and both engines in the test's registry.
void registerLibraries();

}  // namespace scripting_test

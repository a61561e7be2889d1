#include "scripting/tests/script_host.h"

#include "runtime/activation.h"
#include "runtime/bstr.h"
#include "runtime/testing/dispatch_calls.h"

#include <gtest/gtest.h>

#include <cmath>

namespace scripting_test {

namespace {

const VARIANT& value(const VARIANT& v) { return v.vt == (VT_BYREF | VT_VARIANT) ? *v.pvarVal : v; }

bool missing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

std::string describe(const VARIANT& v) {
    if (v.vt == VT_EMPTY) return "Empty";
    if (v.vt == VT_NULL) return "Null";
    qrt::Variant text;
    if (FAILED(VariantChangeType(&text, &v, VARIANT_ALPHABOOL, VT_BSTR))) return "<vt " + std::to_string(v.vt) + ">";
    return "\"" + qrt::bstrToUtf8(text.bstrVal) + "\" (vt " + std::to_string(v.vt) + ")";
}

bool isNumber(VARTYPE vt) {
    switch (vt) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BOOL: case VT_UI1: return true;
    default: return false;
    }
}

bool sameValue(const VARIANT& a, const VARIANT& b) {
    if (isNumber(a.vt) && isNumber(b.vt)) {
        qrt::Variant x, y;
        if (FAILED(VariantChangeType(&x, &a, 0, VT_R8)) || FAILED(VariantChangeType(&y, &b, 0, VT_R8))) return false;
        return x.dblVal == y.dblVal;
    }
    if (a.vt != b.vt) return false;
    switch (a.vt) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_BSTR: return qrt::bstrView(a.bstrVal) == qrt::bstrView(b.bstrVal);
    case VT_DISPATCH: case VT_UNKNOWN: return a.punkVal == b.punkVal;
    default: return false;
    }
}

HRESULT failed(const std::string& text) {
    qrt::setErrorInfo(u"Assert", qrt::bstrView(qrt::Bstr(text).get()));
    return static_cast<HRESULT>(0x800A0000u | 5000u);
}

std::string messageOf(const VARIANT& message) {
    const VARIANT& m = value(message);
    if (missing(m)) return "";
    qrt::Variant text;
    if (FAILED(VariantChangeType(&text, &m, 0, VT_BSTR))) return "";
    return qrt::bstrToUtf8(text.bstrVal) + ": ";
}

}  // namespace

const qrt::DispatchTable& Assertions::dispatchTable() {
    static const qrt::MemberOptions optionalMessage{.retval = false, .optional = 1, .defaults = {}};
    static const qrt::DispatchTable table(u"IAssert", IAssert::IID, {
        qrt::member<&IAssert::Check>(u"Check", 1, {u"condition", u"message"}, optionalMessage),
        qrt::member<&IAssert::Equal>(u"Equal", 2, {u"actual", u"expected", u"message"}, optionalMessage),
    });
    return table;
}

HRESULT Assertions::Check(VARIANT condition, VARIANT message) {
    ++count;
    qrt::Variant b;
    if (SUCCEEDED(VariantChangeType(&b, &value(condition), 0, VT_BOOL)) && b.boolVal) return S_OK;
    return failed("assertion failed: " + messageOf(message) + "check failed");
}

HRESULT Assertions::Equal(VARIANT actual, VARIANT expected, VARIANT message) {
    ++count;
    if (sameValue(value(actual), value(expected))) return S_OK;
    return failed("assertion failed: " + messageOf(message) + "expected " + describe(value(expected)) + ", got " +
                  describe(value(actual)));
}

HRESULT Site::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) {
    if (info) *info = nullptr;
    if (item) *item = nullptr;
    auto it = items.find(name);
    if (it == items.end()) return TYPE_E_ELEMENTNOTFOUND;
    if ((mask & SCRIPTINFO_IUNKNOWN) && item) return it->second.copyTo(item);
    return S_OK;
}

HRESULT Site::GetDocVersionString(BSTR* version) {
    *version = qrt::allocBstr(std::u16string_view(u"test"));
    return S_OK;
}

HRESULT Site::OnScriptError(IActiveScriptError* error) {
    ScriptFailure f;
    EXCEPINFO excep{};
    if (SUCCEEDED(error->GetExceptionInfo(&excep))) {
        f.description = qrt::bstrToUtf8(excep.bstrDescription);
        f.scode = excep.scode;
        qrt::clearExcepInfo(&excep);
    }
    DWORD context = 0;
    LONG column = 0;
    error->GetSourcePosition(&context, &f.line, &column);
    BSTR text = nullptr;
    if (SUCCEEDED(error->GetSourceLineText(&text))) f.lineText = qrt::bstrToUtf8(text);
    SysFreeString(text);
    failures.push_back(std::move(f));
    return S_OK;
}

std::vector<ScriptFailure> runScript(const char16_t* progId, const std::u16string& code, int* assertions) {
    auto site = qrt::create<Site>();
    auto assert = qrt::create<Assertions>();
    site->items[u"Assert"] = assert->unknown();
    {
        qrt::ComPtr<IActiveScript> engine;
        EXPECT_EQ(qrt::createObject(progId, engine), S_OK) << qrt::lastActivationError();
        if (!engine) return {};
        engine->SetScriptSite(site.get());
        auto parser = engine.as<IActiveScriptParse>();
        parser->InitNew();
        engine->AddNamedItem(u"Assert", SCRIPTITEM_ISVISIBLE);
        EXCEPINFO excep{};
        if (SUCCEEDED(parser->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 1,
                                              SCRIPTTEXT_ISVISIBLE | SCRIPTTEXT_ISPERSISTENT, nullptr, &excep))) {
            engine->SetScriptState(SCRIPTSTATE_CONNECTED);
        }
        qrt::clearExcepInfo(&excep);
        engine->Close();
    }
    site->items.clear();
    if (assertions) *assertions = assert->count;
    return site->failures;
}

void registerLibraries() {
    for (const char* name : {"Scripting", "VBScript", "JScript"}) qtest::registerLibrary(name);
}

}  // namespace scripting_test

#include "engines/vbscript/tests/test_host.h"

#include "runtime/activation.h"
#include "runtime/bstr.h"
#include "runtime/dispatch.h"
#include "runtime/text.h"
#include "runtime/testing/dispatch_calls.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vbs_test {

namespace {

std::u16string folded(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return out;
}

std::string describe(const VARIANT& v) {
    qrt::Variant text;
    std::string value = "?";
    if (v.vt == VT_EMPTY) value = "Empty";
    else if (v.vt == VT_NULL) value = "Null";
    else if (SUCCEEDED(VariantChangeType(&text, &v, VARIANT_ALPHABOOL, VT_BSTR))) value = "\"" + qrt::bstrToUtf8(text.bstrVal) + "\"";
    return value + " (vt " + std::to_string(v.vt) + ")";
}

bool isNumber(VARTYPE vt) {
    switch (vt) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BOOL: case VT_UI1: return true;
    default: return false;
    }
}

// Numbers compare by value whatever their subtypes (TypeName checks types);
// anything else needs the same type.
bool sameValue(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt && !(isNumber(a.vt) && isNumber(b.vt))) return false;
    switch (a.vt) {
    case VT_EMPTY:
    case VT_NULL: return true;
    case VT_BSTR: return qrt::bstrView(a.bstrVal) == qrt::bstrView(b.bstrVal);
    case VT_DISPATCH: return a.pdispVal == b.pdispVal;
    default: {
        qrt::Variant x, y;
        if (FAILED(VariantChangeType(&x, &a, 0, VT_R8)) || FAILED(VariantChangeType(&y, &b, 0, VT_R8))) return false;
        return x.dblVal == y.dblVal || (std::isnan(x.dblVal) && std::isnan(y.dblVal));
    }
    }
}

const VARIANT& arg(DISPPARAMS* params, UINT i) {
    const VARIANT& v = params->rgvarg[params->cArgs - 1 - i];
    return v.vt == (VT_BYREF | VT_VARIANT) ? *v.pvarVal : v;
}

HRESULT fail(EXCEPINFO* excep, const std::string& message) {
    if (excep) {
        *excep = EXCEPINFO{};
        excep->scode = static_cast<SCODE>(0x800A0000u | 5000u);
        excep->bstrSource = qrt::allocBstr("Assert");
        excep->bstrDescription = qrt::allocBstr(message);
    }
    return DISP_E_EXCEPTION;
}

class Enumerator final : public qrt::ComObject<IEnumVARIANT> {
public:
    explicit Enumerator(std::vector<qrt::Variant> items) : m_items(std::move(items)) {}
    HRESULT Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        ULONG n = 0;
        while (n < count && m_pos < m_items.size()) {
            VariantInit(&out[n]);
            VariantCopy(&out[n], &m_items[m_pos++]);
            ++n;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        m_pos += count;
        return m_pos <= m_items.size() ? S_OK : S_FALSE;
    }
    HRESULT Reset() override { m_pos = 0; return S_OK; }
    HRESULT Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    std::vector<qrt::Variant> m_items;
    std::size_t m_pos = 0;
};

}  // namespace

std::u16string u16(std::string_view utf8) { return qrt::decodeAnsi(utf8); }

// ---- TestSite ----------------------------------------------------------------

HRESULT TestSite::GetLCID(LCID* lcid) {
    *lcid = LOCALE_USER_DEFAULT;
    return S_OK;
}

HRESULT TestSite::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) {
    if (item) *item = nullptr;
    if (info) *info = nullptr;
    itemRequests.push_back(name);
    for (const auto& [key, object] : m_items) {
        if (folded(key) != folded(name)) continue;
        if ((mask & SCRIPTINFO_IUNKNOWN) && item) object.copyTo(item);
        return S_OK;
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TestSite::GetDocVersionString(BSTR* version) {
    *version = qrt::allocBstr("test");
    return S_OK;
}

HRESULT TestSite::OnStateChange(SCRIPTSTATE state) {
    states.push_back(state);
    return S_OK;
}

HRESULT TestSite::OnScriptError(IActiveScriptError* error) {
    ReportedError r;
    EXCEPINFO excep{};
    error->GetExceptionInfo(&excep);
    r.source = qrt::bstrToUtf8(excep.bstrSource);
    r.description = qrt::bstrToUtf8(excep.bstrDescription);
    r.scode = excep.scode;
    qrt::clearExcepInfo(&excep);
    DWORD context = 0;
    error->GetSourcePosition(&context, &r.line, &r.column);
    BSTR text = nullptr;
    error->GetSourceLineText(&text);
    r.lineText = qrt::bstrToUtf8(text);
    SysFreeString(text);
    errors.push_back(std::move(r));
    return S_OK;
}

// ---- Assertions ----------------------------------------------------------------

HRESULT Assertions::GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) {
    std::u16string n = folded(names[0]);
    if (n == u"check") *ids = 1;
    else if (n == u"equal") *ids = 2;
    else if (n == u"count") *ids = 3;
    else return DISP_E_UNKNOWNNAME;
    return S_OK;
}

HRESULT Assertions::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                           UINT*) {
    if (result) VariantInit(result);
    switch (id) {
    case 1: {
        if (params->cArgs < 1 || params->cArgs > 2) return DISP_E_BADPARAMCOUNT;
        ++count;
        qrt::Variant b;
        const bool ok = SUCCEEDED(VariantChangeType(&b, &arg(params, 0), 0, VT_BOOL)) && b.boolVal != VARIANT_FALSE;
        if (ok) return S_OK;
        std::string message = params->cArgs == 2 ? describe(arg(params, 1)) : std::string("check failed");
        return fail(excep, "assertion failed: " + message);
    }
    case 2: {
        if (params->cArgs < 2 || params->cArgs > 3) return DISP_E_BADPARAMCOUNT;
        ++count;
        const VARIANT& actual = arg(params, 0);
        const VARIANT& expected = arg(params, 1);
        if (sameValue(actual, expected)) return S_OK;
        std::string message = params->cArgs == 3 ? qrt::bstrToUtf8(arg(params, 2).vt == VT_BSTR ? arg(params, 2).bstrVal : nullptr) + ": " : "";
        return fail(excep, "assertion failed: " + message + "expected " + describe(expected) + ", got " + describe(actual));
    }
    case 3:
        if (result) {
            result->vt = VT_I4;
            result->lVal = count;
        }
        return S_OK;
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- Collection ------------------------------------------------------------------

HRESULT Collection::GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) {
    std::u16string n = folded(names[0]);
    if (n == u"count") *ids = 1;
    else if (n == u"item") *ids = DISPID_VALUE;
    else if (n == u"add") *ids = 2;
    else if (n == u"_newenum") *ids = DISPID_NEWENUM;
    else if (n == u"name") *ids = 3;
    else return DISP_E_UNKNOWNNAME;
    return S_OK;
}

HRESULT Collection::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
    if (result) VariantInit(result);
    switch (id) {
    case 1:
        if (result) {
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(items.size());
        }
        return S_OK;
    case DISPID_VALUE: {
        if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        qrt::Variant index;
        if (FAILED(VariantChangeType(&index, &arg(params, 0), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
        if (index.lVal < 0 || static_cast<std::size_t>(index.lVal) >= items.size()) return DISP_E_BADINDEX;
        if (result) VariantCopy(result, &items[static_cast<std::size_t>(index.lVal)]);
        return S_OK;
    }
    case 2:
        if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        items.emplace_back(arg(params, 0));
        return S_OK;
    case 3:
        if (flags & DISPATCH_PROPERTYPUT) {
            if (params->cArgs != 1 || params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
                return DISP_E_PARAMNOTFOUND;
            }
            name = qrt::Variant(params->rgvarg[0]);
            return S_OK;
        }
        if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        if (result) VariantCopy(result, &name);
        return S_OK;
    case DISPID_NEWENUM: {
        auto e = qrt::create<Enumerator>(items);
        if (result) {
            result->vt = VT_UNKNOWN;
            result->punkVal = e.detach();
        }
        return S_OK;
    }
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- Engine ------------------------------------------------------------------------

void registerLibraries() {
    qtest::registerLibrary("VBScript");
    qtest::registerLibrary("Sumtrel");
    // The libraries build their dispatch tables (and the type information
    // objects in them) once, on first use: do that now, so that objects
    // counted before and after a test differ only by what the test leaked.
    static bool warmedUp = false;
    if (warmedUp) return;
    warmedUp = true;
    for (const char16_t* progId : {u"Sumtrel.complex", u"Sumtrel.MathClass"}) {
        qrt::ComPtr<IDispatch> object;
        if (FAILED(qrt::createObject(progId, object))) continue;
        DISPID id;
        LPOLESTR names[] = {const_cast<LPOLESTR>(u"x")};
        object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    }
}

Engine::Engine() {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"VBScript", &clsid), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IActiveScript::IID, script.outVoid()), S_OK)
        << qrt::lastActivationError();
    if (!script) return;
    site = qrt::create<TestSite>();
    EXPECT_EQ(script->SetScriptSite(site.get()), S_OK);
    parser = script.as<IActiveScriptParse>();
    EXPECT_TRUE(parser);
    if (parser) {
        EXPECT_EQ(parser->InitNew(), S_OK);
    }
}

Engine::~Engine() { close(); }

void Engine::close() {
    if (script) script->Close();
    parser.reset();
    script.reset();
}

HRESULT Engine::parse(std::u16string_view code, ULONG startingLine, DWORD flags) {
    std::u16string text(code);
    EXCEPINFO excep{};
    HRESULT hr = parser->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, startingLine, flags, nullptr, &excep);
    qrt::clearExcepInfo(&excep);
    return hr;
}

HRESULT Engine::run(std::u16string_view code, ULONG startingLine) {
    HRESULT hr = parse(code, startingLine);
    if (FAILED(hr)) return hr;
    return connect();
}

qrt::Variant Engine::eval(std::u16string_view expression) {
    std::u16string text(expression);
    qrt::Variant result;
    EXCEPINFO excep{};
    parser->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISEXPRESSION, &result, &excep);
    qrt::clearExcepInfo(&excep);
    return result;
}

qrt::ComPtr<IDispatch> Engine::dispatch() {
    qrt::ComPtr<IDispatch> d;
    script->GetScriptDispatch(nullptr, d.out());
    return d;
}

}  // namespace vbs_test

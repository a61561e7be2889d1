// The JScript engine's bridge to host objects: a fuzzed script calls a host
// object published as the named item "Host", passing it script values and
// getting back variants of every type, so values cross between Duktape and
// VARIANTs both ways, re-entrantly (Host.call calls back into the script).
// Runs are stopped by the watchdog after the budget.
#include "engines/jscript/jscript_engine.h"
#include "fuzz/fuzz_support.h"
#include "runtime/bstr.h"
#include "runtime/dispatch.h"
#include "runtime/object.h"
#include "runtime/safearray.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace {

enum : DISPID { kEcho = 1, kMake, kConvert, kFail, kCall, kProp, kCount };

constexpr std::pair<std::u16string_view, DISPID> kNames[] = {
    {u"echo", kEcho}, {u"make", kMake}, {u"convert", kConvert}, {u"fail", kFail},
    {u"call", kCall}, {u"prop", kProp}, {u"count", kCount},
};

bool sameNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// The variant types Host.make can produce, by index.
constexpr VARTYPE kMadeTypes[] = {VT_EMPTY, VT_NULL, VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4,
                                  VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_BSTR,
                                  VT_ERROR};
constexpr int kMadeScalars = sizeof kMadeTypes / sizeof kMadeTypes[0];

class Host final : public qrt::ComObject<IDispatch> {
public:
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (i > 0) {
                hr = DISP_E_UNKNOWNNAME;  // no named arguments
                continue;
            }
            for (const auto& [name, id] : kNames)
                if (names[0] && sameNoCase(name, names[0])) ids[0] = id;
            if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) override {
        if (!params) return E_INVALIDARG;
        if (++m_depth > 16) {
            --m_depth;
            return E_FAIL;
        }
        HRESULT hr = dispatch(id, flags, *params, result, excep, argErr);
        --m_depth;
        return hr;
    }

    // Whatever a run stored here (script objects included) is let go.
    void clear() { m_prop = qrt::Variant(); }

private:
    static const VARIANT& arg(const DISPPARAMS& p, UINT i) {
        const VARIANT& v = p.rgvarg[p.cArgs - 1 - i];
        return v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal ? *v.pvarVal : v;
    }
    static int intArg(const DISPPARAMS& p, UINT i) {
        if (i >= p.cArgs) return 0;
        qrt::Variant n;
        if (FAILED(VariantChangeType(&n, &arg(p, i), 0, VT_I4))) return 0;
        return n.lVal;
    }

    HRESULT make(const DISPPARAMS& p, VARIANT* result) {
        const int kind = intArg(p, 0);
        const VARIANT empty{};
        const VARIANT& value = p.cArgs > 1 ? arg(p, 1) : empty;
        qrt::Variant out;
        const int which = (kind % 32 + 32) % 32;
        if (which < kMadeScalars) {
            if (FAILED(VariantChangeType(&out, &value, 0, kMadeTypes[which]))) out = qrt::Variant();
        } else if (which == kMadeScalars) {
            out.vt = VT_DISPATCH;
            out.pdispVal = this;
            AddRef();
        } else if (which == kMadeScalars + 1) {
            out.vt = VT_DISPATCH;
            out.pdispVal = nullptr;
        } else if (which == kMadeScalars + 2) {
            out.vt = VT_UNKNOWN;
            out.punkVal = static_cast<IUnknown*>(this);
            AddRef();
        } else if (which == kMadeScalars + 3) {
            out.vt = VT_BSTR;
            out.bstrVal = nullptr;  // a null string, distinct from an empty one
        } else {
            // An array of variants, 1 to 3 dimensions, of the value.
            const UINT dims = static_cast<UINT>(which % 3 + 1);
            const int n = intArg(p, 2);
            SAFEARRAYBOUND bounds[3];
            for (UINT d = 0; d < dims; ++d) {
                bounds[d].cElements = static_cast<ULONG>((n >> (4 * d)) & 7);
                bounds[d].lLbound = (n >> 12) & 3;
            }
            SAFEARRAY* sa = SafeArrayCreate(VT_VARIANT, dims, bounds);
            if (!sa) return E_OUTOFMEMORY;
            if (dims == 1) {
                for (LONG i = 0; i < static_cast<LONG>(bounds[0].cElements); ++i) {
                    LONG index = bounds[0].lLbound + i;
                    SafeArrayPutElement(sa, &index, &value);
                }
            }
            out.vt = VT_ARRAY | VT_VARIANT;
            out.parray = sa;
        }
        if (result) *result = out.detach();
        return S_OK;
    }

    HRESULT call(const DISPPARAMS& p, VARIANT* result, EXCEPINFO* excep) {
        if (p.cArgs == 0) return DISP_E_BADPARAMCOUNT;
        const VARIANT& target = arg(p, 0);
        if (target.vt != VT_DISPATCH || !target.pdispVal) return DISP_E_TYPEMISMATCH;
        qrt::ComPtr<IDispatch> f(target.pdispVal);
        // The remaining arguments, in the order Invoke takes them (last first).
        std::vector<VARIANTARG> args(p.cArgs - 1);
        for (UINT i = 1; i < p.cArgs; ++i) args[p.cArgs - 1 - i] = p.rgvarg[p.cArgs - 1 - i];
        DISPPARAMS inner{args.empty() ? nullptr : args.data(), nullptr, p.cArgs - 1, 0};
        return f->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &inner, result, excep,
                         nullptr);
    }

    HRESULT dispatch(DISPID id, WORD flags, const DISPPARAMS& p, VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
        switch (id) {
        case DISPID_VALUE:
            if (result) {
                result->vt = VT_BSTR;
                result->bstrVal = qrt::allocBstr(std::u16string_view(u"Host"));
            }
            return S_OK;
        case kEcho: {
            if (!result) return S_OK;
            if (p.cArgs == 0) return S_OK;
            return VariantCopyInd(result, &arg(p, 0));
        }
        case kMake: return make(p, result);
        case kConvert: {
            if (p.cArgs < 2) return DISP_E_BADPARAMCOUNT;
            qrt::Variant out;
            const HRESULT hr = VariantChangeType(&out, &arg(p, 0), static_cast<USHORT>(intArg(p, 2)),
                                                 static_cast<VARTYPE>(intArg(p, 1)));
            if (FAILED(hr)) {
                if (argErr) *argErr = 0;
                return hr;
            }
            if (result) *result = out.detach();
            return S_OK;
        }
        case kFail: {
            if (!excep) return E_FAIL;
            *excep = EXCEPINFO{};
            excep->scode = static_cast<SCODE>(intArg(p, 0));
            qrt::Variant text;
            if (p.cArgs > 1 && SUCCEEDED(VariantChangeType(&text, &arg(p, 1), 0, VT_BSTR))) {
                excep->bstrDescription = text.bstrVal;
                text.vt = VT_EMPTY;
            }
            excep->bstrSource = qrt::allocBstr(std::u16string_view(u"Host"));
            return DISP_E_EXCEPTION;
        }
        case kCall: return call(p, result, excep);
        case kProp:
            if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
                if (p.cArgs < 1) return DISP_E_BADPARAMCOUNT;
                return VariantCopyInd(&m_prop, &p.rgvarg[0]);
            }
            if (result) return VariantCopy(result, &m_prop);
            return S_OK;
        case kCount: {
            for (UINT i = 0; i < p.cArgs; ++i) {
                qrt::Variant text;
                VariantChangeType(&text, &arg(p, i), 0, VT_BSTR);
            }
            if (result) {
                result->vt = VT_I4;
                result->lVal = static_cast<LONG>(p.cArgs);
            }
            return S_OK;
        }
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }

    qrt::Variant m_prop;
    int m_depth = 0;
};

class Site final : public qfuzz::QuietSite {
public:
    qrt::ComPtr<Host> host;

    HRESULT GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override {
        if (info) *info = nullptr;
        if (item) *item = nullptr;
        if (!name || !sameNoCase(name, u"Host")) return TYPE_E_ELEMENTNOTFOUND;
        if (mask & SCRIPTINFO_IUNKNOWN) {
            if (!item) return E_POINTER;
            *item = static_cast<IDispatch*>(host.get());
            (*item)->AddRef();
        }
        return S_OK;
    }
};

qfuzz::Watchdog* g_watchdog = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qfuzz::scratchDir();
    g_watchdog = new qfuzz::Watchdog(std::chrono::milliseconds(100));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024) return -1;
    const std::u16string code = qfuzz::textOf(data, size);

    qrt::ComPtr<IActiveScript> script;
    if (FAILED(jscript::createJScriptEngine(IActiveScript::IID, script.outVoid()))) return 0;
    auto site = qrt::create<Site>();
    site->host = qrt::create<Host>();
    script->SetScriptSite(site.get());
    qrt::ComPtr<IActiveScriptParse> parser = script.as<IActiveScriptParse>();
    parser->InitNew();
    script->AddNamedItem(u"Host", SCRIPTITEM_ISVISIBLE);

    EXCEPINFO excep{};
    g_watchdog->arm(script.get());
    HRESULT hr = parser->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 1,
                                         SCRIPTTEXT_ISVISIBLE | SCRIPTTEXT_ISPERSISTENT, nullptr, &excep);
    qrt::clearExcepInfo(&excep);
    if (SUCCEEDED(hr)) script->SetScriptState(SCRIPTSTATE_CONNECTED);
    g_watchdog->disarm();

    script->Close();
    site->host->clear();
    return 0;
}

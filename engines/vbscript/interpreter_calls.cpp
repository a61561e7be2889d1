// Calls into host objects through IDispatch: dispatch identifiers cached per
// call site, arguments converted to VARIANTs, variables passed by reference
// (VT_BYREF | VT_VARIANT) and updated when the callee changed them, and a
// failing call turned into a script error that keeps the host's text.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"

#include "runtime/typeinfo.h"

#include <cstring>

namespace vbs {

namespace {

constexpr UINT kInlineArgs = 8;

// Plain numbers and the like own nothing: no VariantClear needed.
inline bool ownsNothing(const VARIANT& v) {
    switch (v.vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_BOOL: case VT_ERROR: case VT_UI1: return true;
    default: return false;
    }
}

inline void release(VARIANT& v) {
    if (!ownsNothing(v)) VariantClear(&v);
}

// The VARIANTs of one call, on the C++ stack for the usual few arguments.
// A temporary (the variable passed by reference) is only set up for the
// arguments that are references; what it held before the call is kept as
// its type and bits, to see whether the callee wrote to it.
class CallArgs {
public:
    explicit CallArgs(UINT count) : m_count(count) {
        if (count > kInlineArgs) {
            m_heapArgs.resize(count);
            m_heapTemps.resize(count);
            m_heapBefore.resize(count);
        }
        VARIANT* a = args();
        VARIANT* t = temps();
        for (UINT i = 0; i < count; ++i) {
            a[i].vt = VT_EMPTY;
            t[i].vt = VT_EMPTY;
        }
    }
    ~CallArgs() {
        VARIANT* a = args();
        VARIANT* t = temps();
        for (UINT i = 0; i < m_count; ++i) {
            if (a[i].vt != (VT_BYREF | VT_VARIANT)) release(a[i]);
            release(t[i]);
        }
    }
    CallArgs(const CallArgs&) = delete;
    CallArgs& operator=(const CallArgs&) = delete;

    VARIANT* args() { return m_count > kInlineArgs ? m_heapArgs.data() : m_args; }
    VARIANT* temps() { return m_count > kInlineArgs ? m_heapTemps.data() : m_temps; }
    struct Before {
        VARTYPE vt;
        LONGLONG bits;
    };
    Before* before() { return m_count > kInlineArgs ? m_heapBefore.data() : m_before; }

private:
    UINT m_count;
    VARIANT m_args[kInlineArgs];
    VARIANT m_temps[kInlineArgs];
    Before m_before[kInlineArgs];
    std::vector<VARIANT> m_heapArgs, m_heapTemps;
    std::vector<Before> m_heapBefore;
};

bool unchanged(const VARIANT& v, const CallArgs::Before& b) {
    return v.vt == b.vt && v.llVal == b.bits;
}

// Numbers and the like straight into a VARIANT; anything else through toVariant.
inline void argumentVariant(const Value& v, VARIANT& out) {
    switch (v.tag()) {
    case Tag::Double: out.vt = VT_R8; out.dblVal = v.asDouble(); return;
    case Tag::Long: out.vt = VT_I4; out.lVal = v.asLong(); return;
    case Tag::Integer: out.vt = VT_I2; out.iVal = v.asInteger(); return;
    case Tag::Empty: out.vt = VT_EMPTY; return;
    default: toVariant(v, out); return;
    }
}

inline Value resultValue(const VARIANT& v) {
    switch (v.vt) {
    case VT_R8: return Value::number(v.dblVal);
    case VT_I4: return Value::longInt(v.lVal);
    case VT_I2: return Value::integer(v.iVal);
    case VT_EMPTY: return {};
    default: return fromVariant(v);
    }
}

// True when the object's type information describes member id with
// parameters that are all passed by value.
bool parametersByValue(IDispatch* object, DISPID id) {
    UINT count = 0;
    if (FAILED(object->GetTypeInfoCount(&count)) || count == 0) return false;
    qrt::ComPtr<ITypeInfo> info;
    if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out())) || !info) return false;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)) || !attr) return false;
    bool found = false, byValue = true;
    for (UINT i = 0; i < attr->cFuncs && !found; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f)) || !f) continue;
        if (f->memid == id && (f->invkind == INVOKE_FUNC || f->invkind == INVOKE_PROPERTYGET)) {
            found = true;
            for (SHORT p = 0; p < f->cParams; ++p) {
                const ELEMDESC& e = f->lprgelemdescParam[p];
                if ((e.tdesc.vt & VT_BYREF) || (e.wParamFlags & PARAMFLAG_FOUT)) byValue = false;
            }
        }
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
    return found && byValue;
}

// Status codes of calls between processes.
constexpr int kFacilityRpc = 1;

// A failed host call as the script's run-time error, keeping the host's
// source and description.
[[noreturn]] void raiseFromHost(HRESULT hr, EXCEPINFO& excep, const std::u16string& member) {
    HRESULT code = hr;
    std::u16string source, description;
    if (hr == DISP_E_EXCEPTION) {
        if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
        code = excep.scode ? excep.scode : (excep.wCode ? errorStatus(excep.wCode) : E_FAIL);
        source = qrt::bstrView(excep.bstrSource);
        description = qrt::bstrView(excep.bstrDescription);
    }
    qrt::clearExcepInfo(&excep);
    if ((code == DISP_E_MEMBERNOTFOUND || code == DISP_E_UNKNOWNNAME) && description.empty()) {
        raise(err::NotSupported, member);
    }
    raiseHost(code, std::move(source), std::move(description));
}

// A plain number or flag as an argument; false for anything that owns
// memory or needs converting.
inline bool plainVariant(const Value& v, VARIANT& out) {
    switch (v.tag()) {
    case Tag::Double: out.vt = VT_R8; out.dblVal = v.asDouble(); return true;
    case Tag::Long: out.vt = VT_I4; out.lVal = v.asLong(); return true;
    case Tag::Integer: out.vt = VT_I2; out.iVal = v.asInteger(); return true;
    case Tag::Boolean: out.vt = VT_BOOL; out.boolVal = v.asBool() ? VARIANT_TRUE : VARIANT_FALSE; return true;
    default: return false;
    }
}

}  // namespace

// A member that takes no arguments, given some: they index what it returns
// (m.SubMatches(0), obj.Items(2)). Anything else stays the wrong count.
Value Interpreter::indexMemberResult(IDispatch* object, MemberSite& site, Value* args, int argc, WORD flags) {
    Value whole;
    try {
        whole = invokeMember(object, site, nullptr, 0, flags);
    } catch (const ScriptError&) {
        raise(err::WrongArgs, site.name);
    }
    if (!whole.isArray() && !(whole.isObject() && whole.obj())) raise(err::WrongArgs, site.name);
    return indexInto(whole, args, argc, true);
}

Value Interpreter::invokeMember(IDispatch* object, MemberSite& site, Value* args, int argc, WORD flags,
                                const Value* putValue) {
    DISPID id = site.id;
    if (!site.name.empty()) {
        const void* vtable = *reinterpret_cast<const void* const*>(object);
        if (site.object != object || site.vtable != vtable) {
            LPOLESTR names[] = {const_cast<LPOLESTR>(site.name.c_str())};
            if (const HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); FAILED(hr)) {
                // An object in another process that cannot be asked (its
                // server is gone) says so; any other failure is a name the
                // object does not know.
                if (HRESULT_FACILITY(hr) == kFacilityRpc) raiseHost(hr, {}, {});
                raise(err::NotSupported, site.name);
            }
            site.object = object;
            site.vtable = vtable;
            site.id = id;
            site.argsByValue = parametersByValue(object, id);
        }
    }

    if (!putValue && argc <= static_cast<int>(kInlineArgs)) {
        // The usual call: numbers passed by value, nothing to convert, free
        // or write back.
        VARIANT rg[kInlineArgs];
        int i = 0;
        for (; i < argc; ++i) {
            const Value& arg = args[i];
            if (arg.isRef() && !site.argsByValue) break;
            if (!plainVariant(arg.deref(), rg[argc - 1 - i])) break;
        }
        if (i == argc) {
            DISPPARAMS dp{rg, nullptr, static_cast<UINT>(argc), 0};
            VARIANT result;
            result.vt = VT_EMPTY;
            EXCEPINFO excep{};
            UINT argErr = 0;
            const HRESULT hr = object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &dp, &result, &excep, &argErr);
            if (hr == DISP_E_BADPARAMCOUNT && argc > 0 && (flags & DISPATCH_PROPERTYGET)) {
                qrt::clearExcepInfo(&excep);
                return indexMemberResult(object, site, args, argc, flags);
            }
            if (FAILED(hr)) raiseFromHost(hr, excep, site.name);
            if (excep.bstrSource || excep.bstrDescription || excep.bstrHelpFile) qrt::clearExcepInfo(&excep);
            if (ownsNothing(result)) return resultValue(result);
            Value r = fromVariant(result);
            VariantClear(&result);
            return r;
        }
    }

    const UINT total = static_cast<UINT>(argc) + (putValue ? 1u : 0u);
    CallArgs call(total);
    VARIANT* rg = call.args();
    // Arguments go last first; a property's new value is rgvarg[0].
    for (int i = 0; i < argc; ++i) {
        VARIANT& slot = rg[total - 1 - static_cast<UINT>(i)];
        const Value& arg = args[i];
        if (arg.isRef() && site.argsByValue) {
            argumentVariant(*arg.target(), slot);
        } else if (arg.isRef()) {
            VARIANT& temp = call.temps()[i];
            toVariant(*arg.target(), temp);
            call.before()[i] = {temp.vt, temp.llVal};
            slot.vt = VT_BYREF | VT_VARIANT;
            slot.pvarVal = &temp;
        } else {
            argumentVariant(arg, slot);
        }
    }
    if (putValue) toVariant(*putValue, rg[0]);

    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS dp{rg, putValue ? &putId : nullptr, total, putValue ? 1u : 0u};
    VARIANT result;
    result.vt = VT_EMPTY;
    struct ResultGuard {
        VARIANT& v;
        ~ResultGuard() { release(v); }
    } resultGuard{result};
    EXCEPINFO excep{};
    UINT argErr = 0;
    HRESULT hr = object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &dp, putValue ? nullptr : &result, &excep,
                                &argErr);
    if (hr == DISP_E_MEMBERNOTFOUND && flags == DISPATCH_PROPERTYPUTREF) {
        // Objects that only know "put" take object values through it too.
        qrt::clearExcepInfo(&excep);
        hr = object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &dp, nullptr, &excep, &argErr);
    }
    if (hr == DISP_E_BADPARAMCOUNT && argc > 0 && !putValue && (flags & DISPATCH_PROPERTYGET)) {
        qrt::clearExcepInfo(&excep);
        return indexMemberResult(object, site, args, argc, flags);
    }
    if (FAILED(hr)) raiseFromHost(hr, excep, site.name);
    if (excep.bstrSource || excep.bstrDescription || excep.bstrHelpFile) qrt::clearExcepInfo(&excep);

    // Variables passed by reference take what the callee wrote.
    for (int i = 0; i < argc && !site.argsByValue; ++i) {
        if (!args[i].isRef()) continue;
        VARIANT& temp = call.temps()[i];
        if (!unchanged(temp, call.before()[i])) *args[i].target() = fromVariant(temp);
    }
    if (putValue) return {};
    return resultValue(result);
}

}  // namespace vbs

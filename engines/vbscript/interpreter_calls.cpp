// Calls into host objects through IDispatch: dispatch identifiers cached per
// call site, arguments converted to VARIANTs, variables passed by reference
// (VT_BYREF | VT_VARIANT) and updated when the callee changed them, and a
// failing call turned into a script error that keeps the host's text.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"

#include "runtime/dispatch_table.h"
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
    case VT_BOOL: return Value::boolean(v.boolVal != VARIANT_FALSE);
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

// The same from a dispatch table's own members (what its type information
// is made from).
bool parametersByValue(const qrt::DispatchTable& table, DISPID id) {
    bool found = false, byValue = true;
    for (const qrt::DispMember& m : table.members()) {
        if (m.id != id || (m.kind != INVOKE_FUNC && m.kind != INVOKE_PROPERTYGET)) continue;
        found = true;
        for (const qrt::ParamDesc& p : m.params) {
            if ((p.vt & VT_BYREF) || (p.flags & PARAMFLAG_FOUT)) byValue = false;
        }
    }
    return found && byValue;
}

// Whether a site may call member m without Invoke: a method or property
// read whose parameters all go by value as numbers, flags, strings or
// variants, none of them optional. Anything else goes through Invoke.
bool directShape(const qrt::DispMember* m) {
    if (!m || !m->guarded || m->optional != 0 || m->params.size() > kInlineArgs) return false;
    if (m->kind != INVOKE_FUNC && m->kind != INVOKE_PROPERTYGET) return false;
    for (const qrt::ParamDesc& p : m->params) {
        if (!qrt::isPlainType(p.vt) && p.vt != VT_BSTR && p.vt != VT_VARIANT) return false;
    }
    return true;
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

// The VARIANTs of a direct call's string and variant arguments, released
// when the call is over (the callee only borrows them).
class DirectTemps {
public:
    DirectTemps() = default;
    DirectTemps(const DirectTemps&) = delete;
    DirectTemps& operator=(const DirectTemps&) = delete;
    ~DirectTemps() {
        for (unsigned i = 0; m_used >> i; ++i)
            if ((m_used >> i) & 1u) release(m_temps[i]);
    }
    VARIANT& take(unsigned i) {
        m_temps[i].vt = VT_EMPTY;
        m_used |= 1u << i;
        return m_temps[i];
    }

private:
    VARIANT m_temps[kInlineArgs];
    unsigned m_used = 0;
};

// A site's member called through its function, with the arguments
// converted as the table's Invoke converts what the general path passes
// (see invokeMember), and its result and failures as Invoke gives them.
// False, having done nothing, when an argument needs a conversion of
// Invoke's own (a string for a number, say) or the count is not the
// member's: the general path then makes the call.
bool callMemberDirect(IDispatch* object, const MemberSite& site, const Value* args, int argc, Value& out) {
    const qrt::DispMember& m = *site.member;
    if (static_cast<std::size_t>(argc) != m.params.size()) return false;
    VARIANT slots[kInlineArgs + 1];
    DirectTemps temps;
    for (int i = 0; i < argc; ++i) {
        const Value& v = args[i].deref();
        const VARTYPE base = m.params[static_cast<std::size_t>(i)].vt;
        VARIANT& slot = slots[i];
        if (base == VT_VARIANT) {
            VARIANT& temp = temps.take(static_cast<unsigned>(i));
            argumentVariant(v, temp);
            slot.vt = VT_BYREF | VT_VARIANT;
            slot.pvarVal = &temp;
        } else if (base == VT_BSTR) {
            if (!v.isString()) return false;
            VARIANT& temp = temps.take(static_cast<unsigned>(i));
            toVariant(v, temp);
            slot = temp;
        } else {
            VARIANT plain;
            if (!plainVariant(v, plain) || !qrt::plainArgument(plain, base, slot)) return false;
        }
    }
    void* self = reinterpret_cast<char*>(object) + site.selfOffset;
    EXCEPINFO excep{};
    if (m.text && m.returnType == VT_BSTR) {
        // The text straight into a string of the script's.
        std::u16string* text = nullptr;
        Value result = Value::stringToFill(text);
        const HRESULT hr = qrt::callDirectText(*site.table, m, self, slots, text, &excep);
        if (FAILED(hr)) raiseFromHost(hr, excep, site.name);
        checkStringLength(text->size());
        out = std::move(result);
        return true;
    }
    VARIANT ret;
    ret.vt = VT_EMPTY;
    if (m.returnType != VT_VOID) qrt::retvalSlot(slots[argc], ret, m.returnType);
    const HRESULT hr = qrt::callDirect(*site.table, m, self, slots, &excep);
    if (FAILED(hr)) {
        release(ret);
        raiseFromHost(hr, excep, site.name);
    }
    if (ownsNothing(ret)) {
        out = resultValue(ret);
        return true;
    }
    struct ResultGuard {
        VARIANT& v;
        ~ResultGuard() { release(v); }
    } guard{ret};
    out = fromVariant(ret);
    return true;
}

}  // namespace

void Interpreter::resolveMember(IDispatch* object, MemberSite& site, const void* vtable, WORD flags) {
    qrt::ComPtr<IDispatchDirect> direct;
    const qrt::DispatchTable* table = nullptr;
    void* self = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IDispatchDirect, direct.outVoid())) && direct &&
        SUCCEEDED(direct->GetDispatchTable(&table, &self)) && table && self) {
        // What the object's GetIDsOfNames and type information answer,
        // read from the table they are made from.
        const DISPID id = table->idOfName(site.name);
        if (id == DISPID_UNKNOWN) raise(err::NotSupported, site.name);
        site.object = object;
        site.vtable = vtable;
        site.id = id;
        site.argsByValue = parametersByValue(*table, id);
        site.table = table;
        site.selfOffset = reinterpret_cast<char*>(self) - reinterpret_cast<char*>(object);
        site.member = table->memberFor(id, flags);
        site.memberFlags = flags;
        site.direct = directShape(site.member);
        return;
    }
    DISPID id = DISPID_UNKNOWN;
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
    site.direct = false;
    site.table = nullptr;
    site.member = nullptr;
}

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
    if (!site.name.empty()) {
        const void* vtable = *reinterpret_cast<const void* const*>(object);
        if (site.object != object || site.vtable != vtable) resolveMember(object, site, vtable, flags);
        if (site.direct && !putValue && flags == site.memberFlags) {
            Value r;
            if (callMemberDirect(object, site, args, argc, r)) return r;
        }
    }
    const DISPID id = site.id;

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

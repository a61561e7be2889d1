// Table-driven IDispatch. A class declares each member once — name, dispatch
// identifier, kind and the C++ member function — and gets from that one
// declaration GetIDsOfNames (names matched without regard to case), Invoke
// (argument count check, conversion of every argument to its declared type,
// by-reference results written back, property put through DISPID_PROPERTYPUT,
// the return value, EXCEPINFO) and its type information.
//
// Unsigned 32-bit parameters (colours) also take negative 32-bit integers by
// their bit pattern, since scripts write colours as signed literals.
//
//   static const qrt::DispatchTable table(u"IMathClass", IID_IMathClass, {
//       qrt::member<&IMathClass::J0>(u"J0", 1, {u"x"}, qrt::Retval),
//   });
#pragma once

#include "runtime/dispatch.h"
#include "runtime/typeinfo.h"

#include <array>
#include <initializer_list>
#include <new>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace qrt {

// How a C++ parameter type travels in a VARIANT.
template <class T>
struct ArgTraits;

#define QRT_ARG_TRAITS(Type, Vt, Field)                                 \
    template <>                                                         \
    struct ArgTraits<Type> {                                            \
        static constexpr VARTYPE vt = Vt;                               \
        static Type extract(const VARIANT& v) { return v.Field; }       \
    };
QRT_ARG_TRAITS(double, VT_R8, dblVal)
QRT_ARG_TRAITS(float, VT_R4, fltVal)
QRT_ARG_TRAITS(LONG, VT_I4, lVal)
QRT_ARG_TRAITS(SHORT, VT_I2, iVal)
QRT_ARG_TRAITS(BYTE, VT_UI1, bVal)
QRT_ARG_TRAITS(ULONG, VT_UI4, ulVal)
QRT_ARG_TRAITS(LONGLONG, VT_I8, llVal)
QRT_ARG_TRAITS(VARIANT_BOOL, VT_BOOL, boolVal)
QRT_ARG_TRAITS(BSTR, VT_BSTR, bstrVal)
QRT_ARG_TRAITS(IDispatch*, VT_DISPATCH, pdispVal)
QRT_ARG_TRAITS(IUnknown*, VT_UNKNOWN, punkVal)
QRT_ARG_TRAITS(SAFEARRAY*, VT_ARRAY | VT_VARIANT, parray)
#undef QRT_ARG_TRAITS

// A VARIANT by value: the slot refers to the caller's variant (one level of
// VT_BYREF|VT_VARIANT already followed); the callee gets a shallow copy and
// must not clear it.
template <>
struct ArgTraits<VARIANT> {
    static constexpr VARTYPE vt = VT_VARIANT;
    static VARIANT extract(const VARIANT& v) { return *v.pvarVal; }
};

// Pointers: by-reference (in/out or out) parameters and the retval.
template <class T>
struct ArgTraits<T*> {
    static constexpr VARTYPE vt = ArgTraits<T>::vt | VT_BYREF;
    static T* extract(const VARIANT& v) { return static_cast<T*>(v.byref); }
};

// Options of a member.
struct MemberOptions {
    bool retval = false;         // the last pointer parameter is the result
    SHORT optional = 0;          // how many trailing parameters may be left out
    std::vector<VARIANT> defaults;  // values for left-out non-variant parameters, last ones last (not owned)
};
inline const MemberOptions Retval{.retval = true, .optional = 0, .defaults = {}};

using Thunk = HRESULT (*)(void* self, VARIANT* argv);
// The same call for callers that reach the member without Invoke (see
// IDispatchDirect): an exception the member lets out stops here, in the
// member's own library, as the status Invoke answers for it, with *thrown set.
using GuardedThunk = HRESULT (*)(void* self, VARIANT* argv, bool* thrown) noexcept;
// A member with a text result may also write it into the caller's string
// (argv as for its thunk, without the retval slot) instead of a new BSTR.
using TextThunk = HRESULT (*)(void* self, VARIANT* argv, std::u16string* text, bool* thrown) noexcept;

struct DispMember {
    std::u16string name;
    DISPID id = 0;
    INVOKEKIND kind = INVOKE_FUNC;
    std::vector<ParamDesc> params;  // without the retval
    VARTYPE returnType = VT_VOID;
    SHORT optional = 0;
    std::vector<VARIANT> defaults;
    Thunk thunk = nullptr;
    GuardedThunk guarded = nullptr;
    TextThunk text = nullptr;
    // Every parameter is a plain number or flag passed by value, none
    // optional: calls may take the short path without temporaries. Their
    // types, first to last, kept together for that path.
    bool plain = false;
    std::uint8_t plainCount = 0;
    std::array<VARTYPE, 8> plainTypes{};
};

namespace detail {
template <auto Fn>
struct MemberFn;
template <class C, class... A, HRESULT (C::*Fn)(A...)>
struct MemberFn<Fn> {
    using Class = C;
    static constexpr std::size_t arity = sizeof...(A);
    static std::vector<VARTYPE> types() { return {ArgTraits<A>::vt...}; }
    static HRESULT call(void* self, VARIANT* argv) { return callWith(static_cast<C*>(self), argv, std::index_sequence_for<A...>{}); }
    template <std::size_t... Is>
    static HRESULT callWith(C* c, VARIANT* argv, std::index_sequence<Is...>) {
        return (c->*Fn)(ArgTraits<A>::extract(argv[Is])...);
    }
    static HRESULT callGuarded(void* self, VARIANT* argv, bool* thrown) noexcept {
        try {
            return call(self, argv);
        } catch (const std::bad_alloc&) {
            *thrown = true;
            return E_OUTOFMEMORY;
        } catch (...) {
            *thrown = true;
            return E_FAIL;
        }
    }
};
// A function writing a member's text result: HRESULT (C::*)(std::u16string&, A...).
template <auto Fn>
struct TextFn;
template <class C, class... A, HRESULT (C::*Fn)(std::u16string&, A...)>
struct TextFn<Fn> {
    static HRESULT call(void* self, VARIANT* argv, std::u16string* text, bool* thrown) noexcept {
        try {
            return callWith(static_cast<C*>(self), argv, *text, std::index_sequence_for<A...>{});
        } catch (const std::bad_alloc&) {
            *thrown = true;
            return E_OUTOFMEMORY;
        } catch (...) {
            *thrown = true;
            return E_FAIL;
        }
    }
    template <std::size_t... Is>
    static HRESULT callWith(C* c, VARIANT* argv, std::u16string& text, std::index_sequence<Is...>) {
        return (c->*Fn)(text, ArgTraits<A>::extract(argv[Is])...);
    }
};
DispMember makeMember(std::u16string name, DISPID id, INVOKEKIND kind, std::vector<VARTYPE> types,
                      std::initializer_list<const char16_t*> paramNames, const MemberOptions& options, Thunk thunk,
                      GuardedThunk guarded = nullptr);
}  // namespace detail

// A method; with Retval its last parameter is the result.
template <auto Fn>
DispMember member(std::u16string name, DISPID id, std::initializer_list<const char16_t*> paramNames = {},
                  const MemberOptions& options = {}) {
    using F = detail::MemberFn<Fn>;
    return detail::makeMember(std::move(name), id, INVOKE_FUNC, F::types(), paramNames, options, &F::call,
                              &F::callGuarded);
}
// Property get: the last parameter is the result.
template <auto Fn>
DispMember getter(std::u16string name, DISPID id, std::initializer_list<const char16_t*> paramNames = {}) {
    using F = detail::MemberFn<Fn>;
    return detail::makeMember(std::move(name), id, INVOKE_PROPERTYGET, F::types(), paramNames, Retval, &F::call,
                              &F::callGuarded);
}
// Property put: the last parameter is the new value.
template <auto Fn>
DispMember putter(std::u16string name, DISPID id, std::initializer_list<const char16_t*> paramNames = {}) {
    using F = detail::MemberFn<Fn>;
    return detail::makeMember(std::move(name), id, INVOKE_PROPERTYPUT, F::types(), paramNames, {}, &F::call,
                              &F::callGuarded);
}
template <auto Fn>
DispMember putRefer(std::u16string name, DISPID id, std::initializer_list<const char16_t*> paramNames = {}) {
    using F = detail::MemberFn<Fn>;
    return detail::makeMember(std::move(name), id, INVOKE_PROPERTYPUTREF, F::types(), paramNames, {}, &F::call,
                              &F::callGuarded);
}

// A member whose result is text, given also a function that writes the
// same text into a string of the caller's (HRESULT (C::*)(std::u16string&,
// the member's parameters without the retval)); Invoke keeps the member's
// own function, direct callers may use either.
template <auto TextFunction>
DispMember withTextResult(DispMember m) {
    m.text = &detail::TextFn<TextFunction>::call;
    return m;
}

class DispatchTable {
public:
    // Members are listed in the interface's vtable order.
    DispatchTable(std::u16string interfaceName, const IID& iid, std::vector<DispMember> members);
    DispatchTable(const DispatchTable&) = delete;
    DispatchTable& operator=(const DispatchTable&) = delete;
    ~DispatchTable();

    const std::u16string& name() const { return m_name; }
    const IID& iid() const { return m_iid; }
    const std::vector<DispMember>& members() const { return m_members; }

    // The dispatch identifier of a member name, or DISPID_UNKNOWN.
    DISPID idOfName(std::u16string_view name) const;
    HRESULT getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const;
    // self is the object as the interface pointer the member functions belong to.
    HRESULT invoke(void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) const;
    ITypeInfo* typeInfo() const { return m_typeInfo.get(); }

    // For direct callers (IDispatchDirect): the member invoke runs for id
    // and flags, or null when invoke answers DISP_E_MEMBERNOTFOUND.
    const DispMember* memberFor(DISPID id, WORD flags) const;
    // What invoke makes of a member that failed with hr: its error
    // information (else the status text) in excep, DISP_E_EXCEPTION.
    HRESULT failure(HRESULT hr, EXCEPINFO* excep) const;

private:
    const DispMember* find(DISPID id, WORD flags, bool& idKnown) const;

    std::u16string m_name;
    IID m_iid;
    std::vector<DispMember> m_members;
    std::vector<std::pair<std::u16string, DISPID>> m_byName;  // folded names, sorted
    // The members of each identifier by invoke kind, sorted by identifier:
    // a call finds its member by binary search instead of a scan.
    struct IdEntry {
        DISPID id;
        const DispMember* method = nullptr;
        const DispMember* get = nullptr;
        const DispMember* put = nullptr;
        const DispMember* putRef = nullptr;
    };
    std::vector<IdEntry> m_byId;
    // Identifiers from m_denseBase on, a few thousand of them, straight to
    // their entry (index + 1 into m_byId; 0: none).
    std::vector<std::uint16_t> m_dense;
    DISPID m_denseBase = 0;
    ComPtr<ITypeInfo> m_typeInfo;
};

// Case-insensitive comparison of names (ASCII and Latin-1 letters).
int compareNamesNoCase(std::u16string_view a, std::u16string_view b);

// Types that a VARIANT holds by value, with nothing to free.
inline bool isPlainType(VARTYPE vt) {
    switch (vt) {
    case VT_R8: case VT_R4: case VT_I4: case VT_I2: case VT_UI1: case VT_UI4: case VT_I8: case VT_BOOL: return true;
    default: return false;
    }
}

// The argument for a plain parameter of type base from value (not a
// reference), when it needs no more than an exact widening; false leaves
// the conversion to VariantChangeType.
inline bool plainArgument(const VARIANT& value, VARTYPE base, VARIANT& slot) {
    if (value.vt == base) {
        slot = value;
        return true;
    }
    if (base == VT_R8) {
        switch (value.vt) {
        case VT_I4: slot.dblVal = value.lVal; break;
        case VT_I2: slot.dblVal = value.iVal; break;
        case VT_UI1: slot.dblVal = value.bVal; break;
        case VT_R4: slot.dblVal = value.fltVal; break;
        default: return false;
        }
        slot.vt = VT_R8;
        return true;
    }
    if (base == VT_I4 && (value.vt == VT_I2 || value.vt == VT_UI1)) {
        slot.vt = VT_I4;
        slot.lVal = value.vt == VT_I2 ? value.iVal : value.bVal;
        return true;
    }
    if (base == VT_UI4 && (value.vt == VT_I4 || value.vt == VT_INT || value.vt == VT_I2)) {
        // Unsigned 32-bit parameters are colours: scripts write them as
        // signed literals (&H8000000F), so take the bit pattern.
        slot.vt = VT_UI4;
        slot.ulVal = static_cast<ULONG>(value.vt == VT_I2 ? LONG{value.iVal} : value.lVal);
        return true;
    }
    return false;
}

// The retval parameter's slot, pointing at ret (VT_EMPTY on entry).
inline void retvalSlot(VARIANT& slot, VARIANT& ret, VARTYPE type) {
    if (type == VT_VARIANT) {
        slot.vt = VT_BYREF | VT_VARIANT;
        slot.byref = &ret;
    } else {
        ret.vt = type;
        ret.llVal = 0;
        slot.vt = static_cast<VARTYPE>(type | VT_BYREF);
        slot.byref = &ret.llVal;
    }
}

// A direct call of member m of table on self, its arguments already in
// argv as invoke puts them there (converted to the parameter types, the
// retval slot last): the result invoke gives, S_OK or a failure
// (DISP_E_EXCEPTION with excep filled, or the status of an exception).
inline HRESULT callDirect(const DispatchTable& table, const DispMember& m, void* self, VARIANT* argv,
                          EXCEPINFO* excep) {
    clearErrorInfo();
    bool thrown = false;
    const HRESULT hr = m.guarded(self, argv, &thrown);
    if (thrown) return hr;
    if (FAILED(hr)) return table.failure(hr, excep);
    return S_OK;
}
// The same through the member's text function: the result into *text.
inline HRESULT callDirectText(const DispatchTable& table, const DispMember& m, void* self, VARIANT* argv,
                              std::u16string* text, EXCEPINFO* excep) {
    clearErrorInfo();
    bool thrown = false;
    const HRESULT hr = m.text(self, argv, text, &thrown);
    if (thrown) return hr;
    if (FAILED(hr)) return table.failure(hr, excep);
    return S_OK;
}

}  // namespace qrt

// Direct calls into an object whose IDispatch is a DispatchTable: a caller
// in the same process that has resolved a member once may call its
// function with the arguments converted as Invoke converts them, without
// DISPPARAMS (qrt::callDirect), and gets what Invoke would give. Objects
// built on DispatchImpl answer it; proxies of objects in other processes,
// and every other object, do not: they are called through Invoke.
struct IDispatchDirect : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{30970019-8BB4-4B41-BFD8-6C959B91D17A}");
    using Base = IUnknown;
    // The table behind Invoke and the pointer its member functions take as
    // `this`. Neither is a counted reference: the table lasts while the
    // object's library is loaded, self while the object lives.
    virtual HRESULT GetDispatchTable(const qrt::DispatchTable** table, void** self) = 0;

protected:
    ~IDispatchDirect() = default;
};
#define IID_IDispatchDirect (IDispatchDirect::IID)

namespace qrt {

// IDispatch over a table, for a dual interface I. Derived provides
// `static const qrt::DispatchTable& dispatchTable()`. The object answers
// IDispatchDirect too (its Companion); GetDispatchTable fails when Derived,
// or a class between it and this one, has an Invoke or GetIDsOfNames of its
// own, since the table alone would then not be what Invoke does.
template <class Derived, class I>
class DispatchImpl : public I {
public:
    static constexpr ::IID IID = I::IID;
    using Base = I;

    template <class Outer>
    class Companion : public IDispatchDirect {
    public:
        HRESULT GetDispatchTable(const DispatchTable** table, void** self) override {
            if (!table || !self) return E_POINTER;
            *table = nullptr;
            *self = nullptr;
            if constexpr (!std::is_same_v<decltype(&Derived::Invoke), decltype(&DispatchImpl::Invoke)> ||
                          !std::is_same_v<decltype(&Derived::GetIDsOfNames), decltype(&DispatchImpl::GetIDsOfNames)>) {
                return E_NOTIMPL;
            } else {
                *table = &Derived::dispatchTable();
                *self = static_cast<I*>(static_cast<DispatchImpl*>(static_cast<Outer*>(this)));
                return S_OK;
            }
        }
    };

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        ITypeInfo* ti = Derived::dispatchTable().typeInfo();
        ti->AddRef();
        *info = ti;
        return S_OK;
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return Derived::dispatchTable().getIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) override {
        if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        // No exception leaves a component: running out of memory anywhere in
        // the call is a status.
        try {
            return Derived::dispatchTable().invoke(static_cast<I*>(this), id, flags, params, result, excep, argErr);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }
};

}  // namespace qrt

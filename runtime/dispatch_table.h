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

struct DispMember {
    std::u16string name;
    DISPID id = 0;
    INVOKEKIND kind = INVOKE_FUNC;
    std::vector<ParamDesc> params;  // without the retval
    VARTYPE returnType = VT_VOID;
    SHORT optional = 0;
    std::vector<VARIANT> defaults;
    Thunk thunk = nullptr;
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
};
DispMember makeMember(std::u16string name, DISPID id, INVOKEKIND kind, std::vector<VARTYPE> types,
                      std::initializer_list<const char16_t*> paramNames, const MemberOptions& options, Thunk thunk);
}  // namespace detail

// A method; with Retval its last parameter is the result.
template <auto Fn>
DispMember member(std::u16string name, DISPID id, std::initializer_list<const char16_t*> paramNames = {},
                  const MemberOptions& options = {}) {
    using F = detail::MemberFn<Fn>;
    return detail::makeMember(std::move(name), id, INVOKE_FUNC, F::types(), paramNames, options, &F::call);
}
// Property get: the last parameter is the result.
template <auto Fn>
DispMember getter(std::u16string name, DISPID id, std::initializer_list<const char16_t*> paramNames = {}) {
    using F = detail::MemberFn<Fn>;
    return detail::makeMember(std::move(name), id, INVOKE_PROPERTYGET, F::types(), paramNames, Retval, &F::call);
}
// Property put: the last parameter is the new value.
template <auto Fn>
DispMember putter(std::u16string name, DISPID id, std::initializer_list<const char16_t*> paramNames = {}) {
    using F = detail::MemberFn<Fn>;
    return detail::makeMember(std::move(name), id, INVOKE_PROPERTYPUT, F::types(), paramNames, {}, &F::call);
}
template <auto Fn>
DispMember putRefer(std::u16string name, DISPID id, std::initializer_list<const char16_t*> paramNames = {}) {
    using F = detail::MemberFn<Fn>;
    return detail::makeMember(std::move(name), id, INVOKE_PROPERTYPUTREF, F::types(), paramNames, {}, &F::call);
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

private:
    const DispMember* find(DISPID id, WORD flags, bool& idKnown) const;
    // A failed call: the member's error information into excep.
    HRESULT failure(HRESULT hr, EXCEPINFO* excep) const;

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

// IDispatch over a table, for a dual interface I. Derived provides
// `static const qrt::DispatchTable& dispatchTable()`.
template <class Derived, class I>
class DispatchImpl : public I {
public:
    static constexpr ::IID IID = I::IID;
    using Base = I;

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

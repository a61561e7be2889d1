// VBScript's regular-expression object RegExp and the objects its Execute
// method returns (Matches, Match, SubMatches), over PCRE2. Scripts reach it
// by CreateObject("VBScript.RegExp") or, through the interpreter, New RegExp.
#pragma once

#include "runtime/dispatch.h"

namespace vbs {

constexpr CLSID CLSID_RegExp = qrt::makeGuid("{5FADBBC4-3A39-4AA4-BEA4-23BF76EDCEBF}");

// Creates a RegExp with its properties at their defaults (Pattern "",
// IgnoreCase, Global and Multiline False). *out receives the first reference.
// Returns S_OK, E_POINTER or E_OUTOFMEMORY; never throws.
HRESULT createRegExp(IDispatch** out);

// The same as a class factory's creation function (the module's class table).
HRESULT createRegExpInstance(REFIID iid, void** out);

// The dual interfaces of the objects, in their vtable order. Dispatch
// identifiers are given beside each member.
struct IRegExp2 : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{64E1BD81-DCBD-498F-9701-AEF10D745167}");
    using Base = IDispatch;
    virtual HRESULT get_Pattern(BSTR* value) = 0;                                // 10001
    virtual HRESULT put_Pattern(BSTR value) = 0;
    virtual HRESULT get_IgnoreCase(VARIANT_BOOL* value) = 0;                     // 10002
    virtual HRESULT put_IgnoreCase(VARIANT_BOOL value) = 0;
    virtual HRESULT get_Global(VARIANT_BOOL* value) = 0;                         // 10003
    virtual HRESULT put_Global(VARIANT_BOOL value) = 0;
    virtual HRESULT get_Multiline(VARIANT_BOOL* value) = 0;                      // 10004
    virtual HRESULT put_Multiline(VARIANT_BOOL value) = 0;
    virtual HRESULT Execute(BSTR source, IDispatch** matches) = 0;               // 10005
    virtual HRESULT Test(BSTR source, VARIANT_BOOL* found) = 0;                  // 10006
    virtual HRESULT Replace(BSTR source, BSTR replaceWith, BSTR* result) = 0;    // 10007

protected:
    ~IRegExp2() = default;
};

struct IMatchCollection2 : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{6E96BD00-3138-4409-A8F0-76237224BF83}");
    using Base = IDispatch;
    virtual HRESULT get_Item(LONG index, IDispatch** match) = 0;  // DISPID_VALUE
    virtual HRESULT get_Count(LONG* count) = 0;                   // 1
    virtual HRESULT get__NewEnum(IUnknown** enumerator) = 0;      // DISPID_NEWENUM

protected:
    ~IMatchCollection2() = default;
};

struct IMatch2 : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{E3597B3D-916D-44C0-A984-74804BD6FE83}");
    using Base = IDispatch;
    virtual HRESULT get_Value(BSTR* value) = 0;                  // DISPID_VALUE
    virtual HRESULT get_FirstIndex(LONG* index) = 0;             // 10001
    virtual HRESULT get_Length(LONG* length) = 0;                // 10002
    // The SubMatches collection; with an index, that item of it, so that
    // m.SubMatches(0) reads a group.
    virtual HRESULT get_SubMatches(VARIANT index, VARIANT* result) = 0;  // 10003

protected:
    ~IMatch2() = default;
};

struct ISubMatches : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{7D726634-F6B2-42A8-A6DC-311295B40C3E}");
    using Base = IDispatch;
    virtual HRESULT get_Item(LONG index, VARIANT* value) = 0;  // DISPID_VALUE
    virtual HRESULT get_Count(LONG* count) = 0;                // 1
    virtual HRESULT get__NewEnum(IUnknown** enumerator) = 0;   // DISPID_NEWENUM

protected:
    ~ISubMatches() = default;
};

}  // namespace vbs

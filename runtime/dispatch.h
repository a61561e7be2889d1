// IDispatch: late-bound calls by name and dispatch identifier.
#pragma once

#include "runtime/unknown.h"
#include "runtime/variant.h"

struct ITypeInfo;

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr DISPID DISPID_NEWENUM = -4;
constexpr DISPID DISPID_EVALUATE = -5;
constexpr DISPID DISPID_CONSTRUCTOR = -6;
constexpr DISPID DISPID_DESTRUCTOR = -7;
constexpr DISPID DISPID_COLLECT = -8;

// Stock control properties.
constexpr DISPID DISPID_AUTOSIZE = -500;
constexpr DISPID DISPID_BACKCOLOR = -501;
constexpr DISPID DISPID_BACKSTYLE = -502;
constexpr DISPID DISPID_BORDERCOLOR = -503;
constexpr DISPID DISPID_BORDERSTYLE = -504;
constexpr DISPID DISPID_BORDERWIDTH = -505;
constexpr DISPID DISPID_DRAWMODE = -507;
constexpr DISPID DISPID_DRAWSTYLE = -508;
constexpr DISPID DISPID_DRAWWIDTH = -509;
constexpr DISPID DISPID_FILLCOLOR = -510;
constexpr DISPID DISPID_FILLSTYLE = -511;
constexpr DISPID DISPID_FONT = -512;
constexpr DISPID DISPID_FORECOLOR = -513;
constexpr DISPID DISPID_ENABLED = -514;
constexpr DISPID DISPID_HWND = -515;
constexpr DISPID DISPID_TABSTOP = -516;
constexpr DISPID DISPID_TEXT = -517;
constexpr DISPID DISPID_CAPTION = -518;
constexpr DISPID DISPID_BORDERVISIBLE = -519;
constexpr DISPID DISPID_APPEARANCE = -520;
constexpr DISPID DISPID_MOUSEPOINTER = -521;
constexpr DISPID DISPID_MOUSEICON = -522;
constexpr DISPID DISPID_PICTURE = -523;
constexpr DISPID DISPID_VALID = -524;
constexpr DISPID DISPID_READYSTATE = -525;

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

struct DISPPARAMS {
    VARIANTARG* rgvarg;        // arguments in reverse order: the last one first
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

namespace qrt {
// Frees the strings of an EXCEPINFO and zeroes it.
void clearExcepInfo(EXCEPINFO* info);
}

struct IDispatch : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{00020400-0000-0000-C000-000000000046}");
    using Base = IUnknown;
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excep, UINT* argErr) = 0;

protected:
    ~IDispatch() = default;
};

// Enumerator of variants, returned by a collection's _NewEnum (DISPID_NEWENUM).
struct IEnumVARIANT : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{00020404-0000-0000-C000-000000000046}");
    using Base = IUnknown;
    virtual HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumVARIANT** out) = 0;

protected:
    ~IEnumVARIANT() = default;
};

// Rich error information set by a component for its caller (thread-local).
struct IErrorInfo;
namespace qrt {
// Records a description for the failure the current call is about to return;
// table-driven Invoke copies it into EXCEPINFO.
void setErrorInfo(std::u16string_view source, std::u16string_view description);
void clearErrorInfo();
// Takes the recorded description (empty when none); clears it.
bool takeErrorInfo(std::u16string& source, std::u16string& description);
// A short English text for a status code ("Type mismatch", ...), empty if unknown.
std::u16string statusText(HRESULT hr);
}  // namespace qrt

#define IID_IDispatch (IDispatch::IID)
#define IID_IEnumVARIANT (IEnumVARIANT::IID)
#define IID_NULL GUID_NULL

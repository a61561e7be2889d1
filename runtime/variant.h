// VARIANT: the tagged value that crosses every dispatch interface, with the
// platform's type tags, memory rules and conversion function.
#pragma once

#include "runtime/bstr.h"
#include "runtime/types.h"

#include <utility>

struct IUnknown;
struct IDispatch;
struct SAFEARRAY;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

// Flags of VariantChangeType.
constexpr USHORT VARIANT_NOVALUEPROP = 0x1;
constexpr USHORT VARIANT_ALPHABOOL = 0x2;  // booleans become "True"/"False" instead of "-1"/"0"
constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x4;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        signed char cVal;
        USHORT uiVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        float* pfltVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
        signed char* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
    };
};
using VARIANTARG = VARIANT;

// The platform's accessor macros, as functions-like macros over the fields.
#define V_VT(v) ((v)->vt)
#define V_ISBYREF(v) (((v)->vt & VT_BYREF) != 0)
#define V_ISARRAY(v) (((v)->vt & VT_ARRAY) != 0)
#define V_I2(v) ((v)->iVal)
#define V_I4(v) ((v)->lVal)
#define V_R4(v) ((v)->fltVal)
#define V_R8(v) ((v)->dblVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_BSTR(v) ((v)->bstrVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_ARRAY(v) ((v)->parray)
#define V_ERROR(v) ((v)->scode)
#define V_DATE(v) ((v)->date)
#define V_BYREF(v) ((v)->byref)
#define V_VARIANTREF(v) ((v)->pvarVal)

void VariantInit(VARIANT* v);
HRESULT VariantClear(VARIANT* v);
// Deep copy: strings, arrays and interface references are duplicated or counted.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Deep copy that also follows one level of VT_BYREF.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);
// Converts src to type vt into dest (dest may equal src). Numbers, strings,
// Booleans, dates and currency convert among themselves; number text uses "."
// whatever the process locale. Overflow: DISP_E_OVERFLOW; an impossible
// conversion: DISP_E_TYPEMISMATCH; an unknown type: DISP_E_BADVARTYPE.
// Objects convert to other types through their default (DISPID_VALUE) property
// unless VARIANT_NOVALUEPROP is given.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID lcid, USHORT flags, VARTYPE vt);

namespace qrt {

// Owning wrapper around a VARIANT (cleared on destruction).
class Variant : public VARIANT {
public:
    Variant() { VariantInit(this); }
    Variant(const Variant& o) : Variant() { VariantCopy(this, &o); }
    Variant(Variant&& o) noexcept : VARIANT(o) { VariantInit(&o); }
    explicit Variant(const VARIANT& o) : Variant() { VariantCopy(this, &o); }
    Variant(double d) : Variant() { vt = VT_R8; dblVal = d; }
    Variant(float f) : Variant() { vt = VT_R4; fltVal = f; }
    Variant(int i) : Variant() { vt = VT_I4; lVal = i; }
    Variant(short i) : Variant() { vt = VT_I2; iVal = i; }
    Variant(bool b) : Variant() { vt = VT_BOOL; boolVal = toVariantBool(b); }
    Variant(std::string_view utf8) : Variant() { vt = VT_BSTR; bstrVal = allocBstr(utf8); }
    Variant(std::u16string_view text) : Variant() { vt = VT_BSTR; bstrVal = allocBstr(text); }
    Variant(const char* utf8) : Variant(std::string_view(utf8)) {}
    Variant(const char16_t* text) : Variant(std::u16string_view(text)) {}
    explicit Variant(IDispatch* d);  // adds a reference
    ~Variant() { VariantClear(this); }

    Variant& operator=(const Variant& o) { if (this != &o) VariantCopy(this, &o); return *this; }
    Variant& operator=(Variant&& o) noexcept {
        if (this != &o) { VariantClear(this); static_cast<VARIANT&>(*this) = o; VariantInit(&o); }
        return *this;
    }

    static Variant error(SCODE code) { Variant v; v.vt = VT_ERROR; v.scode = code; return v; }
    static Variant null() { Variant v; v.vt = VT_NULL; return v; }
    static Variant missing() { return error(DISP_E_PARAMNOTFOUND); }

    void clear() { VariantClear(this); }
    VARIANT detach() { VARIANT v = *this; VariantInit(this); return v; }
    // Converts in place; returns the status of VariantChangeType.
    HRESULT changeType(VARTYPE to) { return VariantChangeType(this, this, 0, to); }
};

}  // namespace qrt

// VariantChangeType: conversion of a variant to another type.
//
// The work is split in three steps. The source is first read through any
// VT_BYREF; the cases that do not depend on the value (copies, arrays, errors,
// Null, objects) are settled next; what remains is a scalar-to-scalar
// conversion, chosen by target category and then by source category, each
// pair handled by a small function below.
//
// Text is always read and written in the US form ('.' decimal point,
// m/d/yyyy dates) whatever the process locale, so nothing here calls a
// locale-aware C library function.
#include "runtime/variant.h"

#include "runtime/dispatch.h"
#include "runtime/safearray.h"
#include "runtime/value_text.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

using qrt::detail::Int128;

namespace {

// ---------------------------------------------------------------------------
// Type categories

enum class Kind { Empty, Integer, Bool, Real, Date, Currency, Text, Other };

Kind kindOf(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY: return Kind::Empty;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT: return Kind::Integer;
    case VT_BOOL: return Kind::Bool;
    case VT_R4:
    case VT_R8: return Kind::Real;
    case VT_DATE: return Kind::Date;
    case VT_CY: return Kind::Currency;
    case VT_BSTR: return Kind::Text;
    default: return Kind::Other;
    }
}

bool isValidTarget(VARTYPE vt) {
    if (vt & ~(VT_TYPEMASK | VT_ARRAY)) return false;  // VT_BYREF and unknown flag bits
    const VARTYPE base = vt & VT_TYPEMASK;
    if (vt & VT_ARRAY) return qrt::safeArrayElementSize(base) != 0;
    switch (base) {
    case VT_NULL:
    case VT_ERROR:
    case VT_VARIANT:
    case VT_DISPATCH:
    case VT_UNKNOWN: return true;
    default: return kindOf(base) != Kind::Other;
    }
}

bool isSignedInteger(VARTYPE vt) {
    return vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_I8 || vt == VT_INT;
}

int integerBits(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1: return 8;
    case VT_I2:
    case VT_UI2: return 16;
    case VT_I8:
    case VT_UI8: return 64;
    default: return 32;
    }
}

Int128 integerMin(VARTYPE vt) { return isSignedInteger(vt) ? -(Int128(1) << (integerBits(vt) - 1)) : 0; }
Int128 integerMax(VARTYPE vt) {
    return isSignedInteger(vt) ? (Int128(1) << (integerBits(vt) - 1)) - 1 : (Int128(1) << integerBits(vt)) - 1;
}

// ---------------------------------------------------------------------------
// Reading a source value

Int128 integerOf(const VARIANT& v) {
    switch (v.vt) {
    case VT_I1: return v.cVal;
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    case VT_I8: return v.llVal;
    case VT_UI1: return v.bVal;
    case VT_UI2: return v.uiVal;
    case VT_UI4: return v.ulVal;
    case VT_UI8: return v.ullVal;
    case VT_INT: return v.intVal;
    case VT_UINT: return v.uintVal;
    default: return 0;
    }
}

double realOf(const VARIANT& v) {
    switch (v.vt) {
    case VT_R4: return v.fltVal;
    case VT_R8: return v.dblVal;
    case VT_DATE: return v.date;
    default: return 0;
    }
}

bool isTrue(VARIANT_BOOL b) { return b != VARIANT_FALSE; }

// ---------------------------------------------------------------------------
// Storing a result, with the range check of the target type

HRESULT putInteger(VARIANT& out, VARTYPE vt, Int128 value) {
    if (value < integerMin(vt) || value > integerMax(vt)) return DISP_E_OVERFLOW;
    switch (vt) {
    case VT_I1: out.cVal = static_cast<signed char>(value); break;
    case VT_I2: out.iVal = static_cast<SHORT>(value); break;
    case VT_I4: out.lVal = static_cast<LONG>(value); break;
    case VT_I8: out.llVal = static_cast<LONGLONG>(value); break;
    case VT_UI1: out.bVal = static_cast<BYTE>(value); break;
    case VT_UI2: out.uiVal = static_cast<USHORT>(value); break;
    case VT_UI4: out.ulVal = static_cast<ULONG>(value); break;
    case VT_UI8: out.ullVal = static_cast<ULONGLONG>(value); break;
    case VT_INT: out.intVal = static_cast<INT>(value); break;
    case VT_UINT: out.uintVal = static_cast<UINT>(value); break;
    default: return DISP_E_BADVARTYPE;
    }
    out.vt = vt;
    return S_OK;
}

HRESULT putReal(VARIANT& out, VARTYPE vt, double value) {
    if (vt == VT_R4) {
        if (std::fabs(value) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;  // infinities too
        out.fltVal = static_cast<float>(value);
    } else {
        out.dblVal = value;
    }
    out.vt = vt;
    return S_OK;
}

HRESULT putCurrency(VARIANT& out, Int128 scaled) {
    if (scaled < INT64_MIN || scaled > INT64_MAX) return DISP_E_OVERFLOW;
    out.cyVal.int64 = static_cast<std::int64_t>(scaled);
    out.vt = VT_CY;
    return S_OK;
}

HRESULT putDate(VARIANT& out, double serial) {
    if (!qrt::detail::isDateInRange(serial)) return DISP_E_OVERFLOW;
    out.date = serial;
    out.vt = VT_DATE;
    return S_OK;
}

HRESULT putBool(VARIANT& out, bool value) {
    out.boolVal = toVariantBool(value);
    out.vt = VT_BOOL;
    return S_OK;
}

HRESULT putText(VARIANT& out, std::string_view ascii) {
    BSTR s = SysAllocStringLen(nullptr, static_cast<UINT>(ascii.size()));
    if (!s) return E_OUTOFMEMORY;
    for (std::size_t i = 0; i < ascii.size(); ++i) s[i] = static_cast<unsigned char>(ascii[i]);
    out.bstrVal = s;
    out.vt = VT_BSTR;
    return S_OK;
}

// ---------------------------------------------------------------------------
// To an integer type

// Floating values round half to even; NaN and values outside the type overflow.
HRESULT integerFromReal(VARIANT& out, VARTYPE vt, double value) {
    if (std::isnan(value)) return DISP_E_OVERFLOW;
    const double r = qrt::detail::roundHalfEven(value);
    // Both limits are exact in a double: zero or -2^(n-1) below, 2^n or
    // 2^(n-1) just above the largest value.
    const double low = static_cast<double>(integerMin(vt));
    const double aboveHigh = static_cast<double>(integerMax(vt) + 1);
    if (r < low || r >= aboveHigh) return DISP_E_OVERFLOW;
    return putInteger(out, vt, static_cast<Int128>(r));
}

// True is -1; an unsigned type takes it as its all-ones value (255 for VT_UI1).
HRESULT integerFromBool(VARIANT& out, VARTYPE vt, VARIANT_BOOL value) {
    if (!isTrue(value)) return putInteger(out, vt, 0);
    return putInteger(out, vt, isSignedInteger(vt) ? Int128(-1) : integerMax(vt));
}

HRESULT integerFromCurrency(VARIANT& out, VARTYPE vt, CY value) {
    return putInteger(out, vt, qrt::detail::divideHalfEven(value.int64, qrt::detail::kCurrencyScale));
}

// Radix literals (&H, &O) are bit patterns read in the width of the target:
// "&HFFFF" is -1 as VT_I2 and 65535 as VT_I4.
HRESULT integerFromText(VARIANT& out, VARTYPE vt, BSTR text) {
    qrt::detail::TextNumber n;
    HRESULT hr = qrt::detail::parseNumber(qrt::bstrView(text), n);
    if (FAILED(hr)) return hr;
    if (n.radix) {
        const int bits = integerBits(vt);
        if (bits < 64 && (n.bits >> bits) != 0) return DISP_E_OVERFLOW;
        Int128 value = n.bits;
        if (isSignedInteger(vt) && value > integerMax(vt)) value -= Int128(1) << bits;
        return putInteger(out, vt, value);
    }
    Int128 value = 0;
    hr = qrt::detail::decimalToInteger(n, 0, value);
    if (FAILED(hr)) return hr;
    return putInteger(out, vt, value);
}

// ---------------------------------------------------------------------------
// To VT_R4 / VT_R8

HRESULT realFromInteger(VARIANT& out, VARTYPE vt, Int128 value) {
    // Converted straight from the integer so a float is rounded only once.
    if (vt == VT_R4) {
        out.fltVal = static_cast<float>(value);
        out.vt = VT_R4;
        return S_OK;
    }
    return putReal(out, vt, static_cast<double>(value));
}

HRESULT realFromCurrency(VARIANT& out, VARTYPE vt, CY value) {
    return putReal(out, vt, static_cast<double>(value.int64) / qrt::detail::kCurrencyScale);
}

HRESULT realFromText(VARIANT& out, VARTYPE vt, BSTR text) {
    qrt::detail::TextNumber n;
    HRESULT hr = qrt::detail::parseNumber(qrt::bstrView(text), n);
    if (FAILED(hr)) return hr;
    if (n.radix) return realFromInteger(out, vt, qrt::detail::radixValue(n));
    if (vt == VT_R4) {
        float f = 0;
        hr = qrt::detail::decimalToFloat(n, f);
        if (FAILED(hr)) return hr;
        out.fltVal = f;
        out.vt = VT_R4;
        return S_OK;
    }
    double d = 0;
    hr = qrt::detail::decimalToDouble(n, d);
    if (FAILED(hr)) return hr;
    return putReal(out, vt, d);
}

// ---------------------------------------------------------------------------
// To VT_CY

HRESULT currencyFromInteger(VARIANT& out, Int128 value) {
    return putCurrency(out, value * qrt::detail::kCurrencyScale);
}

HRESULT currencyFromReal(VARIANT& out, double value) {
    if (std::isnan(value)) return DISP_E_OVERFLOW;
    const double r = qrt::detail::roundHalfEven(value * qrt::detail::kCurrencyScale);
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return DISP_E_OVERFLOW;
    return putCurrency(out, static_cast<Int128>(r));
}

HRESULT currencyFromText(VARIANT& out, BSTR text) {
    qrt::detail::TextNumber n;
    HRESULT hr = qrt::detail::parseNumber(qrt::bstrView(text), n);
    if (FAILED(hr)) return hr;
    if (n.radix) return currencyFromInteger(out, qrt::detail::radixValue(n));
    Int128 scaled = 0;
    hr = qrt::detail::decimalToInteger(n, 4, scaled);
    if (FAILED(hr)) return hr;
    return putCurrency(out, scaled);
}

// ---------------------------------------------------------------------------
// To VT_DATE

HRESULT dateFromText(VARIANT& out, BSTR text) {
    double serial = 0;
    if (qrt::detail::parseDateText(qrt::bstrView(text), serial)) return putDate(out, serial);
    // Not a date: a number is taken as a day count.
    VARIANT number;
    VariantInit(&number);
    HRESULT hr = realFromText(number, VT_R8, text);
    if (FAILED(hr)) return hr;
    return putDate(out, number.dblVal);
}

// ---------------------------------------------------------------------------
// To VT_BOOL

HRESULT boolFromText(VARIANT& out, BSTR text) {
    bool value = false;
    if (qrt::detail::parseBoolWord(qrt::bstrView(text), value)) return putBool(out, value);
    qrt::detail::TextNumber n;
    HRESULT hr = qrt::detail::parseNumber(qrt::bstrView(text), n);
    if (FAILED(hr)) return hr;
    return putBool(out, n.radix ? n.bits != 0 : !n.digits.empty());
}

// ---------------------------------------------------------------------------
// To VT_BSTR

HRESULT textFromBool(VARIANT& out, VARIANT_BOOL value, USHORT flags) {
    if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) return putText(out, isTrue(value) ? "True" : "False");
    return putText(out, isTrue(value) ? "-1" : "0");
}

HRESULT textFromDate(VARIANT& out, DATE value) {
    std::string text;
    if (!qrt::detail::formatDate(value, text)) return DISP_E_OVERFLOW;
    return putText(out, text);
}

// ---------------------------------------------------------------------------
// The scalar conversions, by target category then source category.

HRESULT coerceScalar(VARIANT& out, const VARIANT& in, USHORT flags, VARTYPE to) {
    using namespace qrt::detail;
    const Kind from = kindOf(in.vt);
    switch (kindOf(to)) {
    case Kind::Integer:
        switch (from) {
        case Kind::Empty: return putInteger(out, to, 0);
        case Kind::Integer: return putInteger(out, to, integerOf(in));
        case Kind::Bool: return integerFromBool(out, to, in.boolVal);
        case Kind::Real:
        case Kind::Date: return integerFromReal(out, to, realOf(in));
        case Kind::Currency: return integerFromCurrency(out, to, in.cyVal);
        case Kind::Text: return integerFromText(out, to, in.bstrVal);
        case Kind::Other: break;
        }
        break;
    case Kind::Real:
        switch (from) {
        case Kind::Empty: return putReal(out, to, 0);
        case Kind::Integer: return realFromInteger(out, to, integerOf(in));
        case Kind::Bool: return putReal(out, to, isTrue(in.boolVal) ? -1 : 0);
        case Kind::Real:
        case Kind::Date: return putReal(out, to, realOf(in));
        case Kind::Currency: return realFromCurrency(out, to, in.cyVal);
        case Kind::Text: return realFromText(out, to, in.bstrVal);
        case Kind::Other: break;
        }
        break;
    case Kind::Currency:
        switch (from) {
        case Kind::Empty: return putCurrency(out, 0);
        case Kind::Integer: return currencyFromInteger(out, integerOf(in));
        case Kind::Bool: return currencyFromInteger(out, isTrue(in.boolVal) ? -1 : 0);
        case Kind::Real:
        case Kind::Date: return currencyFromReal(out, realOf(in));
        case Kind::Currency: return putCurrency(out, in.cyVal.int64);
        case Kind::Text: return currencyFromText(out, in.bstrVal);
        case Kind::Other: break;
        }
        break;
    case Kind::Date:
        switch (from) {
        case Kind::Empty: return putDate(out, 0);
        case Kind::Integer: return putDate(out, static_cast<double>(integerOf(in)));
        case Kind::Bool: return putDate(out, isTrue(in.boolVal) ? -1 : 0);
        case Kind::Real:
        case Kind::Date: return putDate(out, realOf(in));
        case Kind::Currency: return putDate(out, static_cast<double>(in.cyVal.int64) / kCurrencyScale);
        case Kind::Text: return dateFromText(out, in.bstrVal);
        case Kind::Other: break;
        }
        break;
    case Kind::Bool:
        switch (from) {
        case Kind::Empty: return putBool(out, false);
        case Kind::Integer: return putBool(out, integerOf(in) != 0);
        case Kind::Bool: return putBool(out, isTrue(in.boolVal));
        case Kind::Real:
        case Kind::Date: return putBool(out, realOf(in) != 0);  // NaN is true
        case Kind::Currency: return putBool(out, in.cyVal.int64 != 0);
        case Kind::Text: return boolFromText(out, in.bstrVal);
        case Kind::Other: break;
        }
        break;
    case Kind::Text:
        switch (from) {
        case Kind::Empty: return putText(out, "");
        case Kind::Integer: return putText(out, formatInteger(integerOf(in)));
        case Kind::Bool: return textFromBool(out, in.boolVal, flags);
        case Kind::Real: return putText(out, formatReal(realOf(in), in.vt == VT_R4 ? 7 : 15));
        case Kind::Date: return textFromDate(out, in.date);
        case Kind::Currency: return putText(out, formatCurrency(in.cyVal.int64));
        case Kind::Text: return VariantCopy(&out, &in);
        case Kind::Other: break;
        }
        break;
    case Kind::Empty:
    case Kind::Other:
        break;
    }
    return DISP_E_TYPEMISMATCH;
}

// ---------------------------------------------------------------------------
// Objects

// Conversions to VT_DISPATCH or VT_UNKNOWN: Empty gives a null object, and
// the two interface types convert into each other through QueryInterface.
HRESULT toObject(VARIANT& out, const VARIANT& in, VARTYPE to) {
    if (in.vt == VT_EMPTY) {
        out.punkVal = nullptr;
        out.vt = to;
        return S_OK;
    }
    if (in.vt != VT_DISPATCH && in.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    void* converted = nullptr;
    if (in.punkVal) {
        const IID& iid = to == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
        if (FAILED(in.punkVal->QueryInterface(iid, &converted)) || !converted) return DISP_E_TYPEMISMATCH;
    }
    if (to == VT_DISPATCH)
        out.pdispVal = static_cast<IDispatch*>(converted);
    else
        out.punkVal = static_cast<IUnknown*>(converted);
    out.vt = to;
    return S_OK;
}

// Reads the default (DISPID_VALUE) property of an object variant.
HRESULT defaultValue(const VARIANT& in, LCID lcid, VARIANT& value) {
    qrt::ComPtr<IDispatch> object;
    if (in.vt == VT_DISPATCH) {
        object = in.pdispVal;
    } else if (in.punkVal) {
        in.punkVal->QueryInterface(IID_IDispatch, object.outVoid());
    }
    if (!object) return DISP_E_TYPEMISMATCH;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    qrt::Variant result;
    HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    return VariantCopyInd(&value, &result);
}

// An object whose default property is itself an object is followed a few
// levels at most, so an object that answers itself cannot loop forever.
constexpr int kMaxValueDepth = 8;

HRESULT convert(VARIANT& out, const VARIANT& in, LCID lcid, USHORT flags, VARTYPE to, int depth);

HRESULT fromObject(VARIANT& out, const VARIANT& in, LCID lcid, USHORT flags, VARTYPE to, int depth) {
    if ((flags & VARIANT_NOVALUEPROP) || depth >= kMaxValueDepth) return DISP_E_TYPEMISMATCH;
    qrt::Variant value;
    HRESULT hr = defaultValue(in, lcid, value);
    if (FAILED(hr)) return hr;
    return convert(out, value, lcid, flags, to, depth + 1);
}

// Converts in (never VT_BYREF) into the empty variant out.
HRESULT convert(VARIANT& out, const VARIANT& in, LCID lcid, USHORT flags, VARTYPE to, int depth) {
    if (to == VT_VARIANT || in.vt == to) return VariantCopy(&out, &in);
    // Arrays convert only to their own type, an error code only to itself.
    if ((in.vt & VT_ARRAY) || (to & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
    if (in.vt == VT_ERROR || to == VT_ERROR) return DISP_E_TYPEMISMATCH;
    if (to == VT_EMPTY) return S_OK;
    if (to == VT_DISPATCH || to == VT_UNKNOWN) return toObject(out, in, to);
    if (in.vt == VT_DISPATCH || in.vt == VT_UNKNOWN) return fromObject(out, in, lcid, flags, to, depth);
    if (in.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
    if (to == VT_NULL) {
        if (in.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
        out.vt = VT_NULL;
        return S_OK;
    }
    return coerceScalar(out, in, flags, to);
}

}  // namespace

HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID lcid, USHORT flags, VARTYPE vt) {
    if (!dest || !src) return E_INVALIDARG;
    if (!isValidTarget(vt)) return DISP_E_BADVARTYPE;

    // The source is copied first (following VT_BYREF) and the result built
    // apart, so dest may be src and a failure leaves dest untouched.
    qrt::Variant from;
    HRESULT hr = VariantCopyInd(&from, src);
    if (FAILED(hr)) return hr;
    qrt::Variant result;
    if (vt == VT_VARIANT || from.vt == vt) {
        result = std::move(from);
    } else {
        hr = convert(result, from, lcid, flags, vt, 0);
        if (FAILED(hr)) return hr;
    }
    hr = VariantClear(dest);
    if (FAILED(hr)) return hr;
    *dest = result.detach();
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt) {
    return VariantChangeTypeEx(dest, src, LOCALE_USER_DEFAULT, flags, vt);
}

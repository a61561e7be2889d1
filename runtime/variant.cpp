// VARIANT memory rules: initialisation, clearing and deep copies.
#include "runtime/variant.h"

#include "runtime/dispatch.h"
#include "runtime/safearray.h"

#include <cstring>

namespace {

// Types a VARIANT may hold by value.
bool isScalarType(VARTYPE base) {
    switch (base) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

// Whether vt is a type tag a VARIANT can carry: a scalar, an array of a
// supported element type, or a reference to either (a reference may also
// point at a VARIANT, but never at EMPTY or NULL).
bool isValidType(VARTYPE vt) {
    if (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) return false;
    const VARTYPE base = vt & VT_TYPEMASK;
    if (vt & VT_ARRAY) return qrt::safeArrayElementSize(base) != 0;
    if (vt & VT_BYREF) return base == VT_VARIANT || (isScalarType(base) && base != VT_EMPTY && base != VT_NULL);
    return isScalarType(base);
}

// Copies a value of type vt (no VT_BYREF) from the storage at from into the
// empty variant dest, duplicating strings, arrays and references.
HRESULT copyValue(VARIANT* dest, VARTYPE vt, const void* from) {
    if (vt & VT_ARRAY) {
        SAFEARRAY* copy = nullptr;
        HRESULT hr = SafeArrayCopy(*static_cast<SAFEARRAY* const*>(from), &copy);
        if (FAILED(hr)) return hr;
        dest->parray = copy;
    } else {
        switch (vt) {
        case VT_BSTR: {
            BSTR s = *static_cast<const BSTR*>(from);
            dest->bstrVal = nullptr;
            if (s) {
                dest->bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s));
                if (!dest->bstrVal) return E_OUTOFMEMORY;
            }
            break;
        }
        case VT_DISPATCH:
        case VT_UNKNOWN: {
            IUnknown* p = *static_cast<IUnknown* const*>(from);
            if (p) p->AddRef();
            dest->punkVal = p;
            break;
        }
        case VT_EMPTY:
        case VT_NULL:
            dest->llVal = 0;
            break;
        default:
            std::memcpy(&dest->llVal, from, qrt::safeArrayElementSize(vt));
            break;
        }
    }
    dest->vt = vt;
    return S_OK;
}

// Puts a freshly made value into dest, clearing what dest held. When dest
// cannot be cleared the value is dropped and dest is left alone.
HRESULT replaceWith(VARIANT* dest, VARIANT& value) {
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&value);
        return hr;
    }
    *dest = value;
    return S_OK;
}

}  // namespace

void VariantInit(VARIANT* v) {
    if (!v) return;
    v->vt = VT_EMPTY;
    v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
    v->llVal = 0;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (!isValidType(v->vt)) return DISP_E_BADVARTYPE;
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) return hr;
        } else if (v->vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) {
            if (v->punkVal) v->punkVal->Release();
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (!isValidType(src->vt)) return DISP_E_BADVARTYPE;
    if (dest == src) return S_OK;

    VARIANT copy;
    VariantInit(&copy);
    if (src->vt & VT_BYREF) {
        copy = *src;  // a reference is copied as the same reference
    } else {
        HRESULT hr = copyValue(&copy, src->vt, &src->llVal);
        if (FAILED(hr)) return hr;
    }
    copy.wReserved1 = src->wReserved1;
    copy.wReserved2 = src->wReserved2;
    copy.wReserved3 = src->wReserved3;
    return replaceWith(dest, copy);
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
    if (!isValidType(src->vt)) return DISP_E_BADVARTYPE;
    if (!src->byref) return E_INVALIDARG;

    const VARTYPE target = src->vt & ~VT_BYREF;
    VARIANT copy;
    VariantInit(&copy);
    if (target == VT_VARIANT) {
        // Only one level is followed: a reference to a reference is refused.
        const VARIANT* inner = src->pvarVal;
        if (inner->vt & VT_BYREF) return E_INVALIDARG;
        HRESULT hr = VariantCopy(&copy, inner);
        if (FAILED(hr)) return hr;
    } else {
        HRESULT hr = copyValue(&copy, target, src->byref);
        if (FAILED(hr)) return hr;
    }
    return replaceWith(dest, copy);
}

qrt::Variant::Variant(IDispatch* d) : Variant() {
    vt = VT_DISPATCH;
    pdispVal = d;
    if (d) d->AddRef();
}

#include "graph/variant_arrays.h"

#include <cstring>
#include <limits>

namespace tarvik {

namespace {

// Follows VT_BYREF|VT_VARIANT links; nullptr for a null link or a chain too
// deep to be anything but a loop.
const VARIANT* followVariantRefs(const VARIANT* v) {
    for (int depth = 0; v && v->vt == (VT_BYREF | VT_VARIANT); ++depth) {
        if (depth == 16) return nullptr;
        v = v->pvarVal;
    }
    return v;
}

bool isNumberType(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY: return true;
    default: return false;
    }
}

// An element of a VARIANT array: a number held directly or by reference.
bool holdsNumber(const VARIANT& element) {
    const VARIANT* v = followVariantRefs(&element);
    if (!v) return false;
    if (v->vt & VT_BYREF) return v->byref && isNumberType(static_cast<VARTYPE>(v->vt & ~VT_BYREF));
    return isNumberType(v->vt);
}

double numberOf(const VARIANT& element) {
    const VARIANT* v = followVariantRefs(&element);
    // The usual script values are read directly; the rest go through the
    // runtime's conversion, which cannot fail for a number.
    switch (v->vt) {
    case VT_R8: return v->dblVal;
    case VT_I4: return v->lVal;
    case VT_I2: return v->iVal;
    default: break;
    }
    VARIANT r;
    VariantInit(&r);
    if (FAILED(VariantChangeType(&r, v, 0, VT_R8))) return std::numeric_limits<double>::quiet_NaN();
    return r.dblVal;
}

// The array a variant holds, S_OK with nullptr for an empty variant or a
// null array; S_FALSE when it holds something else.
HRESULT arrayIn(const VARIANT& v, SAFEARRAY** array) {
    *array = nullptr;
    const VARIANT* p = followVariantRefs(&v);
    if (!p) return S_FALSE;
    if (p->vt == VT_EMPTY) return S_OK;
    if (!(p->vt & VT_ARRAY)) return S_FALSE;
    if (p->vt & VT_BYREF) *array = p->pparray ? *p->pparray : nullptr;
    else *array = p->parray;
    return S_OK;
}

HRESULT countOf(SAFEARRAY* array, LONG* count) {
    *count = 0;
    if (!array) return S_OK;
    if (array->cDims != 1) return S_FALSE;
    const ULONG n = array->rgsabound[0].cElements;
    if (n > static_cast<ULONG>(std::numeric_limits<LONG>::max())) return S_FALSE;
    *count = static_cast<LONG>(n);
    return S_OK;
}

template <class T>
void widen(const void* data, LONG first, LONG n, double* out) {
    const T* in = static_cast<const T*>(data) + first;
    for (LONG i = 0; i < n; ++i) out[i] = static_cast<double>(in[i]);
}

}  // namespace

HRESULT NumberArray::open(const VARIANT& v) {
    close();
    SAFEARRAY* array = nullptr;
    HRESULT hr = arrayIn(v, &array);
    if (hr != S_OK) return hr;
    LONG count = 0;
    hr = countOf(array, &count);
    if (hr != S_OK || !array) return hr;
    if (array->vt != VT_VARIANT && !isNumberType(array->vt)) return S_FALSE;

    void* data = nullptr;
    hr = SafeArrayAccessData(array, &data);
    if (FAILED(hr)) return hr;
    if (array->vt == VT_VARIANT) {
        const VARIANT* elements = static_cast<const VARIANT*>(data);
        for (LONG i = 0; i < count; ++i) {
            if (!holdsNumber(elements[i])) {
                SafeArrayUnaccessData(array);
                return S_FALSE;
            }
        }
    }
    m_array = array;
    m_data = data;
    m_vt = array->vt;
    m_count = count;
    return S_OK;
}

void NumberArray::close() {
    if (m_array) SafeArrayUnaccessData(m_array);
    m_array = nullptr;
    m_data = nullptr;
    m_vt = VT_EMPTY;
    m_count = 0;
}

void NumberArray::read(LONG first, LONG n, double* out) const {
    if (n <= 0) return;
    switch (m_vt) {
    case VT_R8: std::memcpy(out, static_cast<const double*>(m_data) + first, sizeof(double) * n); break;
    case VT_R4: widen<float>(m_data, first, n, out); break;
    case VT_I1: widen<signed char>(m_data, first, n, out); break;
    case VT_I2: widen<SHORT>(m_data, first, n, out); break;
    case VT_I4:
    case VT_INT: widen<LONG>(m_data, first, n, out); break;
    case VT_I8: widen<LONGLONG>(m_data, first, n, out); break;
    case VT_UI1: widen<BYTE>(m_data, first, n, out); break;
    case VT_UI2: widen<USHORT>(m_data, first, n, out); break;
    case VT_UI4:
    case VT_UINT: widen<ULONG>(m_data, first, n, out); break;
    case VT_UI8: widen<ULONGLONG>(m_data, first, n, out); break;
    case VT_CY: {
        const CY* in = static_cast<const CY*>(m_data) + first;
        for (LONG i = 0; i < n; ++i) out[i] = static_cast<double>(in[i].int64) / 10000.0;
        break;
    }
    case VT_VARIANT: {
        const VARIANT* in = static_cast<const VARIANT*>(m_data) + first;
        for (LONG i = 0; i < n; ++i) out[i] = numberOf(in[i]);
        break;
    }
    default: break;
    }
}

HRESULT elementCount(const VARIANT& v, LONG* count) {
    if (!count) return E_POINTER;
    *count = 0;
    SAFEARRAY* array = nullptr;
    HRESULT hr = arrayIn(v, &array);
    if (hr != S_OK) return hr;
    return countOf(array, count);
}

HRESULT toDoubles(const VARIANT& v, LONG count, double* out) {
    if (count < 0) return E_INVALIDARG;
    if (count > 0 && !out) return E_POINTER;
    NumberArray array;
    HRESULT hr = array.open(v);
    if (hr != S_OK) return hr;
    if (array.count() < count) return S_FALSE;
    array.read(0, count, out);
    return S_OK;
}

}  // namespace tarvik

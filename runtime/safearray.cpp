// Safe arrays. The descriptor and its bounds live in one block; the elements
// live in a second block, zeroed when created, with the first index varying
// fastest. BSTR, VARIANT and interface elements are owned by the array.
#include "runtime/safearray.h"

#include "runtime/unknown.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

std::atomic<long> g_liveArrays{0};

constexpr ULONG kMaxLocks = 0xFFFF;

SAFEARRAYBOUND* boundsOf(SAFEARRAY* psa) { return psa->rgsabound; }
const SAFEARRAYBOUND* boundsOf(const SAFEARRAY* psa) { return psa->rgsabound; }

USHORT featuresFor(VARTYPE vt) {
    USHORT features = FADF_HAVEVARTYPE;
    switch (vt) {
    case VT_BSTR: features |= FADF_BSTR; break;
    case VT_UNKNOWN: features |= FADF_UNKNOWN; break;
    case VT_DISPATCH: features |= FADF_DISPATCH; break;
    case VT_VARIANT: features |= FADF_VARIANT; break;
    default: break;
    }
    return features;
}

// Number of elements, or false when the product does not fit in memory sizes.
bool elementCount(const SAFEARRAYBOUND* bounds, UINT dims, std::size_t elemSize, std::size_t& count) {
    std::size_t n = 1;
    for (UINT d = 0; d < dims; ++d) {
        const std::size_t c = bounds[d].cElements;
        if (c != 0 && n > std::numeric_limits<std::size_t>::max() / c) return false;
        n *= c;
    }
    if (elemSize != 0 && n > std::numeric_limits<std::size_t>::max() / elemSize) return false;
    count = n;
    return true;
}

std::size_t totalElements(const SAFEARRAY* psa) {
    std::size_t n = 1;
    for (UINT d = 0; d < psa->cDims; ++d) n *= boundsOf(psa)[d].cElements;
    return n;
}

SAFEARRAY* allocateDescriptor(UINT dims) {
    const std::size_t size = offsetof(SAFEARRAY, rgsabound) + dims * sizeof(SAFEARRAYBOUND);
    auto* psa = static_cast<SAFEARRAY*>(std::calloc(1, size < sizeof(SAFEARRAY) ? sizeof(SAFEARRAY) : size));
    return psa;
}

// Frees what the elements [first, last) own, leaving them zeroed.
void releaseElements(SAFEARRAY* psa, std::size_t first, std::size_t last) {
    char* base = static_cast<char*>(psa->pvData);
    for (std::size_t i = first; i < last; ++i) {
        void* slot = base + i * psa->cbElements;
        switch (psa->vt) {
        case VT_BSTR: {
            BSTR* s = static_cast<BSTR*>(slot);
            SysFreeString(*s);
            *s = nullptr;
            break;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            // IDispatch derives from IUnknown without offset, so both are
            // released through the IUnknown view of the slot.
            IUnknown** p = static_cast<IUnknown**>(slot);
            if (*p) (*p)->Release();
            *p = nullptr;
            break;
        }
        case VT_VARIANT:
            VariantClear(static_cast<VARIANT*>(slot));
            break;
        default:
            return;  // plain values own nothing
        }
    }
}

// Copies one element value into an uninitialised slot, duplicating what it owns.
HRESULT copyElement(VARTYPE vt, std::size_t size, void* to, const void* from) {
    switch (vt) {
    case VT_BSTR: {
        BSTR s = *static_cast<const BSTR*>(from);
        BSTR copy = nullptr;
        if (s) {
            copy = SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s));
            if (!copy) return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(to) = copy;
        return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        IUnknown* p = *static_cast<IUnknown* const*>(from);
        if (p) p->AddRef();
        *static_cast<IUnknown**>(to) = p;
        return S_OK;
    }
    case VT_VARIANT: {
        auto* v = static_cast<VARIANT*>(to);
        VariantInit(v);
        return VariantCopy(v, static_cast<const VARIANT*>(from));
    }
    default:
        std::memcpy(to, from, size);
        return S_OK;
    }
}

HRESULT elementOffset(SAFEARRAY* psa, const LONG* indices, std::size_t& offset) {
    if (!psa || !indices) return E_INVALIDARG;
    std::size_t position = 0;
    std::size_t stride = 1;
    for (UINT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& b = boundsOf(psa)[d];
        const std::int64_t rel = static_cast<std::int64_t>(indices[d]) - b.lLbound;
        if (rel < 0 || rel >= static_cast<std::int64_t>(b.cElements)) return DISP_E_BADINDEX;
        position += static_cast<std::size_t>(rel) * stride;
        stride *= b.cElements;
    }
    offset = position * psa->cbElements;
    return S_OK;
}

}  // namespace

namespace qrt {

UINT safeArrayElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return 8;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH: return sizeof(void*);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
    }
}

long liveSafeArrayCount() { return g_liveArrays.load(); }

}  // namespace qrt

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds) {
    const UINT size = qrt::safeArrayElementSize(vt);
    if (size == 0 || dims == 0 || dims > 0xFFFF || !bounds) return nullptr;
    std::size_t count = 0;
    if (!elementCount(bounds, dims, size, count)) return nullptr;

    SAFEARRAY* psa = allocateDescriptor(dims);
    if (!psa) return nullptr;
    psa->cDims = static_cast<USHORT>(dims);
    psa->fFeatures = featuresFor(vt);
    psa->cbElements = size;
    psa->cLocks = 0;
    psa->vt = vt;
    std::memcpy(boundsOf(psa), bounds, dims * sizeof(SAFEARRAYBOUND));
    if (count > 0) {
        psa->pvData = std::calloc(count, size);
        if (!psa->pvData) {
            std::free(psa);
            return nullptr;
        }
    }
    ++g_liveArrays;
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    SAFEARRAYBOUND bound{elements, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    if (psa->pvData) {
        releaseElements(psa, 0, totalElements(psa));
        std::free(psa->pvData);
    }
    std::free(psa);
    --g_liveArrays;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt) {
    if (!psa || !vt) return E_INVALIDARG;
    *vt = psa->vt;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* lbound) {
    if (!psa || !lbound) return E_INVALIDARG;
    if (dim < 1 || dim > psa->cDims) return DISP_E_BADINDEX;
    *lbound = boundsOf(psa)[dim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* ubound) {
    if (!psa || !ubound) return E_INVALIDARG;
    if (dim < 1 || dim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = boundsOf(psa)[dim - 1];
    // An empty dimension has an upper bound one below its lower bound.
    *ubound = static_cast<LONG>(static_cast<std::int64_t>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, const LONG* indices, void** element) {
    if (!element) return E_INVALIDARG;
    std::size_t offset = 0;
    HRESULT hr = elementOffset(psa, indices, offset);
    if (FAILED(hr)) return hr;
    *element = static_cast<char*>(psa->pvData) + offset;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* indices, void* out) {
    if (!out) return E_INVALIDARG;
    std::size_t offset = 0;
    HRESULT hr = elementOffset(psa, indices, offset);
    if (FAILED(hr)) return hr;
    return copyElement(psa->vt, psa->cbElements, out, static_cast<char*>(psa->pvData) + offset);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* indices, const void* in) {
    std::size_t offset = 0;
    HRESULT hr = elementOffset(psa, indices, offset);
    if (FAILED(hr)) return hr;
    void* slot = static_cast<char*>(psa->pvData) + offset;
    switch (psa->vt) {
    case VT_BSTR: {
        // The BSTR itself is passed, not its address.
        BSTR value = static_cast<BSTR>(const_cast<void*>(in));
        BSTR copy = nullptr;
        if (value) {
            copy = SysAllocStringByteLen(reinterpret_cast<const char*>(value), SysStringByteLen(value));
            if (!copy) return E_OUTOFMEMORY;
        }
        BSTR* s = static_cast<BSTR*>(slot);
        SysFreeString(*s);
        *s = copy;
        return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        // So is the interface pointer; the new reference is taken before the
        // old one goes, in case they are the same object.
        auto* value = static_cast<IUnknown*>(const_cast<void*>(in));
        if (value) value->AddRef();
        IUnknown** p = static_cast<IUnknown**>(slot);
        if (*p) (*p)->Release();
        *p = value;
        return S_OK;
    }
    case VT_VARIANT:
        if (!in) return E_INVALIDARG;
        return VariantCopy(static_cast<VARIANT*>(slot), static_cast<const VARIANT*>(in));
    default:
        if (!in) return E_INVALIDARG;
        std::memcpy(slot, in, psa->cbElements);
        return S_OK;
    }
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks >= kMaxLocks) return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data) {
    if (!psa || !data) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr)) return hr;
    *data = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!psa) return S_OK;  // a null array copies to a null array
    SAFEARRAY* copy = SafeArrayCreate(psa->vt, psa->cDims, boundsOf(psa));
    if (!copy) return E_OUTOFMEMORY;
    const std::size_t count = totalElements(psa);
    const char* from = static_cast<const char*>(psa->pvData);
    char* to = static_cast<char*>(copy->pvData);
    for (std::size_t i = 0; i < count; ++i) {
        HRESULT hr = copyElement(psa->vt, psa->cbElements, to + i * psa->cbElements, from + i * psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *out = copy;
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, const SAFEARRAYBOUND* lastBound) {
    if (!psa || !lastBound || psa->cDims == 0) return E_INVALIDARG;
    if (psa->cLocks > 0 || (psa->fFeatures & FADF_FIXEDSIZE)) return DISP_E_ARRAYISLOCKED;

    // The last index varies slowest, so its slices are contiguous: growing or
    // shrinking it only appends or cuts whole slices at the end of the data.
    SAFEARRAYBOUND* bounds = boundsOf(psa);
    const UINT last = psa->cDims - 1U;
    std::size_t slice = 1;
    for (UINT d = 0; d < last; ++d) slice *= bounds[d].cElements;
    const std::size_t oldCount = slice * bounds[last].cElements;
    SAFEARRAYBOUND newBounds[1] = {*lastBound};
    std::size_t newCount = 0;
    if (!elementCount(newBounds, 1, slice * psa->cbElements, newCount)) return E_OUTOFMEMORY;
    newCount *= slice;

    if (newCount != oldCount) {
        if (newCount < oldCount) releaseElements(psa, newCount, oldCount);
        void* data = nullptr;
        if (newCount > 0) {
            data = std::realloc(psa->pvData, newCount * psa->cbElements);
            if (!data) {
                // A block that failed to shrink is still big enough; one
                // that failed to grow leaves the array as it was.
                if (newCount > oldCount) return E_OUTOFMEMORY;
                data = psa->pvData;
            }
            if (newCount > oldCount)
                std::memset(static_cast<char*>(data) + oldCount * psa->cbElements, 0,
                            (newCount - oldCount) * psa->cbElements);
        } else {
            std::free(psa->pvData);
        }
        psa->pvData = data;
    }
    bounds[last] = *lastBound;
    return S_OK;
}

#include "runtime/remote_wire.h"

#include "runtime/safearray.h"

#include <cstring>
#include <limits>

namespace qrt::remote {

namespace {

constexpr std::uint32_t kNullString = 0xFFFFFFFFu;

// Bytes of a number of type vt on the wire (the same as in memory); 0 for
// types that are not plain numbers.
std::size_t numberSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    default: return 0;
    }
}

bool isElementType(VARTYPE vt) {
    return numberSize(vt) != 0 || vt == VT_BSTR || vt == VT_VARIANT || vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

// The fewest bytes one element of type vt takes on the wire: a count of
// elements larger than what is left / this is a damaged message, found
// before anything is allocated.
std::size_t minimumWireSize(VARTYPE vt) {
    if (const std::size_t n = numberSize(vt)) return n;
    switch (vt) {
    case VT_BSTR: return 4;
    case VT_VARIANT: return 2;
    default: return 9;  // an object reference
    }
}

HRESULT writeObject(Writer& w, IUnknown* object, ObjectMarshaler& objects) {
    ObjectRef ref;
    if (object) {
        const HRESULT hr = objects.marshal(object, ref);
        if (FAILED(hr)) return hr;
    }
    w.object(ref);
    return S_OK;
}

HRESULT writeValue(Writer& w, const VARIANT& v, ObjectMarshaler& objects, int depth);

HRESULT writeArray(Writer& w, SAFEARRAY* psa, ObjectMarshaler& objects, int depth) {
    if (!psa) {
        w.u8(0);
        return S_OK;
    }
    if (depth > kMaxValueDepth) return DISP_E_BADVARTYPE;
    const VARTYPE vt = psa->vt;
    if (!isElementType(vt)) return DISP_E_BADVARTYPE;
    w.u8(1);
    w.u16(vt);
    w.u16(psa->cDims);
    std::size_t count = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        w.u32(psa->rgsabound[d].cElements);
        w.i32(psa->rgsabound[d].lLbound);
        count *= psa->rgsabound[d].cElements;
    }
    if (count == 0) return S_OK;
    if (const std::size_t n = numberSize(vt)) {
        w.put(psa->pvData, n * count);
        return S_OK;
    }
    for (std::size_t i = 0; i < count; ++i) {
        HRESULT hr = S_OK;
        switch (vt) {
        case VT_BSTR: w.string(static_cast<BSTR*>(psa->pvData)[i]); break;
        case VT_VARIANT: hr = writeValue(w, static_cast<VARIANT*>(psa->pvData)[i], objects, depth + 1); break;
        default: hr = writeObject(w, static_cast<IUnknown**>(psa->pvData)[i], objects); break;
        }
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT writeValue(Writer& w, const VARIANT& in, ObjectMarshaler& objects, int depth) {
    const VARIANT* v = &in;
    if (v->vt == (VT_BYREF | VT_VARIANT)) {
        if (!v->pvarVal) return E_POINTER;
        v = v->pvarVal;
    }
    const bool byRef = (v->vt & VT_BYREF) != 0;
    const VARTYPE vt = static_cast<VARTYPE>(v->vt & ~VT_BYREF);
    if (byRef && !v->byref) return E_POINTER;
    // The value itself: in the variant, or where the reference points.
    const void* value = byRef ? v->byref : static_cast<const void*>(&v->llVal);
    if (vt & VT_ARRAY) {
        if (!isElementType(vt & VT_TYPEMASK)) return DISP_E_BADVARTYPE;
        w.u16(vt);
        return writeArray(w, *static_cast<SAFEARRAY* const*>(value), objects, depth);
    }
    if (vt == VT_EMPTY || vt == VT_NULL) {
        if (byRef) return DISP_E_BADVARTYPE;
        w.u16(vt);
        return S_OK;
    }
    if (const std::size_t n = numberSize(vt)) {
        w.u16(vt);
        w.put(value, n);
        return S_OK;
    }
    switch (vt) {
    case VT_BSTR:
        w.u16(vt);
        w.string(*static_cast<BSTR const*>(value));
        return S_OK;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        w.u16(vt);
        return writeObject(w, *static_cast<IUnknown* const*>(value), objects);
    default:
        return DISP_E_BADVARTYPE;
    }
}

HRESULT readValue(Reader& r, VARIANT& out, ObjectMarshaler& objects, int depth);

// One object reference into slot (null for a null reference).
HRESULT readObject(Reader& r, IUnknown*& slot, ObjectMarshaler& objects) {
    ObjectRef ref;
    if (!r.object(ref)) return RPC_E_INVALID_DATAPACKET;
    slot = nullptr;
    if (ref.side == ObjectRef::Null) return S_OK;
    IDispatch* object = nullptr;
    const HRESULT hr = objects.unmarshal(ref, &object);
    if (FAILED(hr)) return hr;
    slot = object;
    return S_OK;
}

HRESULT readArray(Reader& r, SAFEARRAY*& out, VARTYPE declared, ObjectMarshaler& objects, int depth) {
    out = nullptr;
    std::uint8_t present = 0;
    if (!r.u8(present) || present > 1) return RPC_E_INVALID_DATAPACKET;
    if (!present) return S_OK;
    if (depth > kMaxValueDepth) return RPC_E_INVALID_DATAPACKET;
    std::uint16_t vt = 0, dims = 0;
    if (!r.u16(vt) || !r.u16(dims) || vt != declared || !isElementType(vt) || dims == 0 || dims > 64)
        return RPC_E_INVALID_DATAPACKET;
    SAFEARRAYBOUND bounds[64];
    std::size_t count = 1;
    for (std::uint16_t d = 0; d < dims; ++d) {
        std::uint32_t n = 0;
        std::int32_t lower = 0;
        if (!r.u32(n) || !r.i32(lower)) return RPC_E_INVALID_DATAPACKET;
        bounds[d] = {n, lower};
        if (n != 0 && count > std::numeric_limits<std::size_t>::max() / n) return RPC_E_INVALID_DATAPACKET;
        count *= n;
    }
    if (count != 0 && count > r.left() / minimumWireSize(vt)) return RPC_E_INVALID_DATAPACKET;
    SAFEARRAY* psa = SafeArrayCreate(vt, dims, bounds);
    if (!psa) return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    if (const std::size_t n = numberSize(vt)) {
        if (count && !r.get(psa->pvData, n * count)) hr = RPC_E_INVALID_DATAPACKET;
        if (SUCCEEDED(hr) && vt == VT_BOOL) {
            // Booleans are 0 or -1 and nothing else.
            auto* flags = static_cast<VARIANT_BOOL*>(psa->pvData);
            for (std::size_t i = 0; i < count; ++i) flags[i] = flags[i] ? VARIANT_TRUE : VARIANT_FALSE;
        }
    } else {
        for (std::size_t i = 0; i < count && SUCCEEDED(hr); ++i) {
            switch (vt) {
            case VT_BSTR:
                if (!r.string(static_cast<BSTR*>(psa->pvData)[i])) hr = RPC_E_INVALID_DATAPACKET;
                break;
            case VT_VARIANT: hr = readValue(r, static_cast<VARIANT*>(psa->pvData)[i], objects, depth + 1); break;
            default: hr = readObject(r, static_cast<IUnknown**>(psa->pvData)[i], objects); break;
            }
        }
    }
    if (FAILED(hr)) {
        SafeArrayDestroy(psa);
        return hr;
    }
    out = psa;
    return S_OK;
}

HRESULT readValue(Reader& r, VARIANT& out, ObjectMarshaler& objects, int depth) {
    VariantInit(&out);
    std::uint16_t vt = 0;
    if (!r.u16(vt)) return RPC_E_INVALID_DATAPACKET;
    if (vt & VT_ARRAY) {
        const VARTYPE element = vt & VT_TYPEMASK;
        if ((vt & ~(VT_ARRAY | VT_TYPEMASK)) || !isElementType(element)) return RPC_E_INVALID_DATAPACKET;
        SAFEARRAY* psa = nullptr;
        const HRESULT hr = readArray(r, psa, element, objects, depth);
        if (FAILED(hr)) return hr;
        out.vt = vt;
        out.parray = psa;
        return S_OK;
    }
    if (vt == VT_EMPTY || vt == VT_NULL) {
        out.vt = vt;
        return S_OK;
    }
    if (const std::size_t n = numberSize(vt)) {
        if (!r.get(&out.llVal, n)) return RPC_E_INVALID_DATAPACKET;
        if (vt == VT_BOOL) out.boolVal = out.boolVal ? VARIANT_TRUE : VARIANT_FALSE;
        out.vt = vt;
        return S_OK;
    }
    switch (vt) {
    case VT_BSTR: {
        BSTR s = nullptr;
        if (!r.string(s)) return RPC_E_INVALID_DATAPACKET;
        out.vt = VT_BSTR;
        out.bstrVal = s;
        return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        IUnknown* object = nullptr;
        const HRESULT hr = readObject(r, object, objects);
        if (FAILED(hr)) return hr;
        out.vt = vt;
        out.punkVal = object;  // an IDispatch, which is an IUnknown at the same address
        return S_OK;
    }
    default:
        return RPC_E_INVALID_DATAPACKET;
    }
}

}  // namespace

void Writer::guid(const GUID& g) {
    u32(g.Data1);
    u16(g.Data2);
    u16(g.Data3);
    put(g.Data4.data(), g.Data4.size());
}

void Writer::string(BSTR s) {
    if (!s) {
        u32(kNullString);
        return;
    }
    string(bstrView(s));
}

void Writer::string(std::u16string_view s) {
    u32(static_cast<std::uint32_t>(s.size()));
    put(s.data(), s.size() * sizeof(char16_t));
}

void Writer::object(const ObjectRef& ref) {
    u8(ref.side);
    u64(ref.id);
}

bool Reader::get(void* out, std::size_t n) {
    const char* p = take(n);
    if (!p) return false;
    if (n) std::memcpy(out, p, n);
    return true;
}

const char* Reader::take(std::size_t n) {
    if (n > left()) return nullptr;
    const char* p = m_p;
    m_p += n;
    return p;
}

bool Reader::guid(GUID& g) {
    return u32(g.Data1) && u16(g.Data2) && u16(g.Data3) && get(g.Data4.data(), g.Data4.size());
}

bool Reader::string(BSTR& out) {
    out = nullptr;
    std::uint32_t length = 0;
    if (!u32(length)) return false;
    if (length == kNullString) return true;
    if (length > left() / sizeof(char16_t)) return false;
    const char* p = take(length * sizeof(char16_t));
    BSTR s = SysAllocStringLen(nullptr, length);
    if (!s) return false;
    if (length) std::memcpy(s, p, length * sizeof(char16_t));
    out = s;
    return true;
}

bool Reader::object(ObjectRef& ref) {
    std::uint8_t side = 0;
    if (!u8(side) || side > ObjectRef::Receiver || !u64(ref.id)) return false;
    ref.side = static_cast<ObjectRef::Side>(side);
    return ref.side != ObjectRef::Null || ref.id == 0;
}

bool isWireType(VARTYPE vt) {
    if (vt & VT_ARRAY) return (vt & ~(VT_ARRAY | VT_TYPEMASK)) == 0 && isElementType(vt & VT_TYPEMASK);
    return vt == VT_EMPTY || vt == VT_NULL || numberSize(vt) != 0 || vt == VT_BSTR || vt == VT_DISPATCH ||
           vt == VT_UNKNOWN;
}

HRESULT writeVariant(Writer& w, const VARIANT& v, ObjectMarshaler& objects) { return writeValue(w, v, objects, 0); }

HRESULT readVariant(Reader& r, VARIANT& out, ObjectMarshaler& objects) {
    const HRESULT hr = readValue(r, out, objects, 0);
    if (FAILED(hr)) {
        VariantClear(&out);
        VariantInit(&out);
    }
    return hr;
}

}  // namespace qrt::remote

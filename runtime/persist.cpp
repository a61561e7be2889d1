#include "runtime/persist.h"

#include "runtime/activation.h"
#include "runtime/dispatch.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace qrt {

HRESULT readExactly(IStream* stream, void* data, ULONG size) {
    if (!stream) return E_POINTER;
    ULONG read = 0;
    HRESULT hr = stream->Read(data, size, &read);
    if (FAILED(hr)) return hr;
    return read == size ? S_OK : STG_E_READFAULT;
}

HRESULT writeExactly(IStream* stream, const void* data, ULONG size) {
    if (!stream) return E_POINTER;
    ULONG written = 0;
    HRESULT hr = stream->Write(data, size, &written);
    if (FAILED(hr)) return hr;
    return written == size ? S_OK : STG_E_WRITEFAULT;
}

namespace {

// Objects persisted inside objects: a chain deeper than this is refused,
// which also ends an object that holds itself.
constexpr int kMaxObjectDepth = 8;
thread_local int t_objectDepth = 0;

struct DepthGuard {
    bool ok;
    DepthGuard() : ok(++t_objectDepth <= kMaxObjectDepth) {}
    ~DepthGuard() { --t_objectDepth; }
};

ULONG scalarSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    default: return 0;
    }
}

HRESULT writeObject(IStream* stream, IUnknown* object) {
    if (!object) return writeExactly(stream, &GUID_NULL, sizeof(GUID));
    DepthGuard depth;
    if (!depth.ok) return E_FAIL;
    ComPtr<IPersistStream> persist;
    ComPtr<IPersistStreamInit> persistInit;
    CLSID clsid{};
    HRESULT hr;
    if (SUCCEEDED(object->QueryInterface(IPersistStream::IID, persist.outVoid()))) hr = persist->GetClassID(&clsid);
    else if (SUCCEEDED(object->QueryInterface(IPersistStreamInit::IID, persistInit.outVoid())))
        hr = persistInit->GetClassID(&clsid);
    else return DISP_E_BADVARTYPE;
    if (FAILED(hr)) return hr;
    if (FAILED(hr = writeExactly(stream, &clsid, sizeof clsid))) return hr;
    return persist ? persist->Save(stream, 1) : persistInit->Save(stream, 1);
}

HRESULT readObject(IStream* stream, VARTYPE vt, IUnknown** out) {
    *out = nullptr;
    CLSID clsid{};
    HRESULT hr = readExactly(stream, &clsid, sizeof clsid);
    if (FAILED(hr)) return hr;
    if (clsid == GUID_NULL) return S_OK;
    DepthGuard depth;
    if (!depth.ok) return E_FAIL;
    ComPtr<IUnknown> object;
    if (FAILED(hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IUnknown::IID, object.outVoid()))) return hr;
    ComPtr<IPersistStream> persist = object.as<IPersistStream>();
    ComPtr<IPersistStreamInit> persistInit = persist ? ComPtr<IPersistStreamInit>() : object.as<IPersistStreamInit>();
    if (persist) hr = persist->Load(stream);
    else if (persistInit) hr = persistInit->Load(stream);
    else hr = DISP_E_BADVARTYPE;
    if (FAILED(hr)) return hr;
    const ::IID& wanted = vt == VT_DISPATCH ? IDispatch::IID : IUnknown::IID;
    return object->QueryInterface(wanted, reinterpret_cast<void**>(out));
}

}  // namespace

HRESULT writeVariant(IStream* stream, const VARIANT& value) {
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    Variant copy;
    if (v->vt & VT_BYREF) {
        HRESULT hr = VariantCopyInd(&copy, v);
        if (FAILED(hr)) return hr;
        v = &copy;
    }
    const VARTYPE vt = v->vt;
    HRESULT hr = writeExactly(stream, &vt, sizeof vt);
    if (FAILED(hr)) return hr;
    if (vt == VT_EMPTY || vt == VT_NULL) return S_OK;
    if (const ULONG size = scalarSize(vt)) return writeExactly(stream, &v->llVal, size);
    if (vt == VT_BSTR) {
        const ULONG bytes = SysStringByteLen(v->bstrVal);
        if (FAILED(hr = writeExactly(stream, &bytes, sizeof bytes))) return hr;
        return bytes ? writeExactly(stream, v->bstrVal, bytes) : S_OK;
    }
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return writeObject(stream, v->punkVal);
    return DISP_E_BADVARTYPE;
}

HRESULT readVariant(IStream* stream, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantClear(value);
    VARTYPE vt = 0;
    HRESULT hr = readExactly(stream, &vt, sizeof vt);
    if (FAILED(hr)) return hr;
    Variant result;
    if (vt == VT_EMPTY || vt == VT_NULL) {
        result.vt = vt;
    } else if (const ULONG size = scalarSize(vt)) {
        result.llVal = 0;
        if (FAILED(hr = readExactly(stream, &result.llVal, size))) return hr;
        result.vt = vt;
    } else if (vt == VT_BSTR) {
        ULONG bytes = 0;
        if (FAILED(hr = readExactly(stream, &bytes, sizeof bytes))) return hr;
        if (bytes > (1u << 30) || bytes % 2) return STG_E_DOCFILECORRUPT;
        // Read piece by piece: a damaged length must not allocate more than
        // the stream really holds.
        std::string data;
        try {
            char piece[65536];
            for (ULONG left = bytes; left > 0;) {
                const ULONG n = std::min<ULONG>(left, sizeof piece);
                if (FAILED(hr = readExactly(stream, piece, n))) return hr;
                data.append(piece, n);
                left -= n;
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        result.bstrVal = SysAllocStringByteLen(data.data(), bytes);
        if (!result.bstrVal) return E_OUTOFMEMORY;
        result.vt = VT_BSTR;
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        IUnknown* object = nullptr;
        if (FAILED(hr = readObject(stream, vt, &object))) return hr;
        result.vt = vt;
        result.punkVal = object;
    } else {
        return DISP_E_BADVARTYPE;
    }
    *value = result.detach();
    return S_OK;
}

}  // namespace qrt

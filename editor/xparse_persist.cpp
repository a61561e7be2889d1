// Persistence of the editor control: a version, the extent ("_cx", "_cy")
// and the stock properties BackStyle, Font, TabStop and Text, each as a
// serialized variant. The script is not saved: the host supplies it.
#include "editor/xparse.h"

namespace lexora {

namespace {

constexpr DWORD kPersistVersion = 0x0700;
constexpr DISPID kPersistedProperties[] = {DISPID_BACKSTYLE, DISPID_FONT, DISPID_TABSTOP, DISPID_TEXT};

HRESULT writeLong(IStream* stream, LONG value) {
    qrt::Variant v(static_cast<int>(value));
    return qrt::writeVariant(stream, v);
}

HRESULT readLong(IStream* stream, LONG& value) {
    qrt::Variant v;
    HRESULT hr = qrt::readVariant(stream, &v);
    if (FAILED(hr)) return hr;
    if (FAILED(v.changeType(VT_I4))) return E_FAIL;
    value = v.lVal;
    return S_OK;
}

}  // namespace

HRESULT CxParse::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_xParse;
    return S_OK;
}

HRESULT CxParse::IsDirty() { return m_support.isDirty() ? S_OK : S_FALSE; }

HRESULT CxParse::Save(IStream* stream, BOOL clearDirty) {
    if (!stream) return E_POINTER;
    HRESULT hr = qrt::writeExactly(stream, &kPersistVersion, sizeof kPersistVersion);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = writeLong(stream, m_extentX)) || FAILED(hr = writeLong(stream, m_extentY))) return hr;
    if (FAILED(hr = qhost::saveProperties(static_cast<IxParse*>(this), stream, kPersistedProperties))) return hr;
    if (clearDirty) m_support.setDirty(false);
    return S_OK;
}

HRESULT CxParse::Load(IStream* stream) {
    if (!stream) return E_POINTER;
    DWORD version = 0;
    HRESULT hr = qrt::readExactly(stream, &version, sizeof version);
    if (FAILED(hr)) return hr;
    if (version > kPersistVersion) return E_FAIL;
    LONG cx = 0, cy = 0;
    if (FAILED(hr = readLong(stream, cx)) || FAILED(hr = readLong(stream, cy))) return hr;
    if (cx < 0 || cy < 0) return E_FAIL;
    m_extentX = cx;
    m_extentY = cy;
    if (FAILED(hr = qhost::loadProperties(static_cast<IxParse*>(this), stream, kPersistedProperties))) return hr;
    m_support.setDirty(false);
    return S_OK;
}

HRESULT CxParse::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = 4096;
    return S_OK;
}

HRESULT CxParse::InitNew() { return S_OK; }
HRESULT CxParse::InitNew(IStorage*) { return S_OK; }

HRESULT CxParse::Load(IStorage* storage) {
    return qhost::loadContents(storage, [this](IStream* contents) { return Load(contents); });
}

HRESULT CxParse::Save(IStorage* storage, BOOL) {
    return qhost::saveContents(storage, [this](IStream* contents) { return Save(contents, 1); });
}

HRESULT CxParse::SaveCompleted(IStorage*) { return S_OK; }
HRESULT CxParse::HandsOffStorage() { return S_OK; }

}  // namespace lexora

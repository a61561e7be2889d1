#include "hosting/control_support.h"

#include "runtime/persist.h"

#include <QBuffer>
#include <QImage>
#include "runtime/storage.h"
#include "runtime/typeinfo.h"

#include <new>

namespace qhost {

ControlSupport::~ControlSupport() { shutdown(); }

HRESULT ControlSupport::setSite(IUnknown* site) {
    m_site = qrt::ComPtr<IUnknown>(site);
    return S_OK;
}

HRESULT ControlSupport::createWindow(QWidget* parent, QWidget** window,
                                     const std::function<QWidget*(QWidget*)>& makeWindow) {
    if (!window) return E_POINTER;
    *window = nullptr;
    if (!m_window) {
        if (!parent) return E_INVALIDARG;
        try {
            m_window = makeWindow(parent);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (!m_window) return E_OUTOFMEMORY;
        if (!m_rect.isNull()) m_window->setGeometry(m_rect);
        else m_window->setGeometry(parent->rect());
        m_window->show();
    }
    *window = m_window.data();
    return S_OK;
}

HRESULT ControlSupport::destroyWindow() {
    // Later, not now: the window may be in the middle of one of its events.
    if (QWidget* window = m_window.data()) {
        window->hide();
        window->setParent(nullptr);
        window->deleteLater();
    }
    m_window = nullptr;
    return S_OK;
}

HRESULT ControlSupport::setRect(LONG x, LONG y, LONG width, LONG height) {
    if (width < 0 || height < 0) return E_INVALIDARG;
    m_rect = QRect(x, y, width, height);
    if (m_window) m_window->setGeometry(m_rect);
    return S_OK;
}

void ControlSupport::repaint() {
    if (m_window) {
        m_window->update();
        return;
    }
    if (auto sink = m_site.as<IViewChangeSink>()) sink->OnViewChange();
}

void ControlSupport::shutdown() {
    destroyWindow();
    m_propertyNotify.clear();
    m_site.reset();
}

HRESULT ControlSupport::findConnectionPoint(REFIID iid, qrt::ConnectionPoint& events, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    qrt::ConnectionPoint* found = nullptr;
    if (iid == IPropertyNotifySink::IID) found = &m_propertyNotify;
    else if (iid == events.iid()) found = &events;
    if (!found) return CONNECT_E_NOCONNECTION;
    return found->QueryInterface(IConnectionPoint::IID, reinterpret_cast<void**>(point));
}

HRESULT sourceInterface(DWORD kind, const IID& source, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = source;
    return S_OK;
}

HRESULT copyInterface(IDispatch* value, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = value;
    if (value) value->AddRef();
    return S_OK;
}

HRESULT saveProperties(IDispatch* control, IStream* stream, std::span<const DISPID> ids) {
    for (DISPID id : ids) {
        qrt::Variant value;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        if (FAILED(control->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                                   nullptr)))
            return E_FAIL;
        // A null string is stored as an empty one.
        if (value.vt == VT_BSTR && !value.bstrVal) value = qrt::Variant(u"");
        const HRESULT hr = qrt::writeVariant(stream, value);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT loadProperties(IDispatch* control, IStream* stream, std::span<const DISPID> ids) {
    for (DISPID id : ids) {
        qrt::Variant value;
        const HRESULT hr = qrt::readVariant(stream, &value);
        if (FAILED(hr)) return hr;
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &put, 1, 1};
        const WORD flags = value.vt == VT_DISPATCH ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
        if (FAILED(control->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, nullptr, nullptr)))
            return E_FAIL;
    }
    return S_OK;
}

HRESULT loadContents(IStorage* storage, const std::function<HRESULT(IStream*)>& load) {
    if (!storage) return E_POINTER;
    qrt::ComPtr<IStream> contents;
    HRESULT hr = storage->OpenStream(u"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, contents.out());
    if (FAILED(hr)) return hr;
    return load(contents.get());
}

HRESULT saveContents(IStorage* storage, const std::function<HRESULT(IStream*)>& save) {
    if (!storage) return E_POINTER;
    qrt::ComPtr<IStream> contents;
    HRESULT hr = storage->CreateStream(u"Contents", STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0,
                                       contents.out());
    if (FAILED(hr)) return hr;
    return save(contents.get());
}

HRESULT toolboxBitmapResource(const char* const* xpm, UINT id, const BYTE** data, UINT* size) {
    if (!data || !size) return E_POINTER;
    *data = nullptr;
    *size = 0;
    if (id != 1) return TYPE_E_ELEMENTNOTFOUND;
    static const QByteArray bmp = [xpm] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImage(xpm).save(&buffer, "BMP");
        return bytes;
    }();
    if (bmp.isEmpty()) return E_FAIL;
    *data = reinterpret_cast<const BYTE*>(bmp.constData());
    *size = static_cast<UINT>(bmp.size());
    return S_OK;
}

}  // namespace qhost

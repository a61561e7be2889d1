#include "hosting/control_host.h"

#include "runtime/activation.h"
#include "runtime/object.h"

#include <QPainter>
#include <QResizeEvent>

namespace qhost {

// The host's side of the conversation: view-change notices.
class ControlHost::Site final : public qrt::ComObject<IViewChangeSink> {
public:
    explicit Site(ControlHost* host) : m_host(host) {}
    void detach() { m_host = nullptr; }
    HRESULT OnViewChange() override {
        if (m_host) {
            ++m_host->m_viewChanges;
            m_host->update();
        }
        return S_OK;
    }

private:
    ControlHost* m_host;
};

ControlHost::ControlHost(QWidget* parent) : QWidget(parent) {}

ControlHost::~ControlHost() { release(); }

HRESULT ControlHost::create(REFCLSID clsid) {
    qrt::ComPtr<IUnknown> control;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IUnknown::IID, control.outVoid());
    if (FAILED(hr)) return hr;
    return attach(control.get());
}

HRESULT ControlHost::attach(IUnknown* control) {
    if (!control) return E_POINTER;
    const qrt::ComPtr<IUnknown> keep(control);  // it may be the control released below
    release();
    qrt::ComPtr<IWidgetControl> widgetControl;
    HRESULT hr = control->QueryInterface(IWidgetControl::IID, widgetControl.outVoid());
    if (FAILED(hr)) return hr;
    auto site = qrt::create<Site>(this);
    if (!site) return E_OUTOFMEMORY;
    widgetControl->SetSite(site->unknown());
    QWidget* window = nullptr;
    hr = widgetControl->CreateControlWindow(this, &window);
    if (FAILED(hr)) {
        widgetControl->SetSite(nullptr);
        site->detach();
        return hr;
    }
    m_control = qrt::ComPtr<IUnknown>(control);
    m_widgetControl = widgetControl;
    m_site = qrt::ComPtr<IUnknown>(site->unknown());
    m_window = window;
    widgetControl->SetObjectRect(0, 0, width(), height());
    return S_OK;
}

void ControlHost::release() {
    if (m_widgetControl) {
        m_widgetControl->DestroyControlWindow();
        m_widgetControl->SetSite(nullptr);
    }
    if (m_site) static_cast<Site*>(static_cast<IViewChangeSink*>(m_site.as<IViewChangeSink>().get()))->detach();
    m_window = nullptr;
    m_widgetControl.reset();
    m_control.reset();
    m_site.reset();
}

void ControlHost::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_widgetControl) m_widgetControl->SetObjectRect(0, 0, event->size().width(), event->size().height());
}

QImage renderControl(IUnknown* control, int width, int height) {
    if (!control || width <= 0 || height <= 0) return {};
    qrt::ComPtr<IWidgetControl> widgetControl;
    if (FAILED(control->QueryInterface(IWidgetControl::IID, widgetControl.outVoid()))) return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    image.fill(Qt::white);
    QPainter painter(&image);
    if (FAILED(widgetControl->Draw(&painter, 0, 0, width, height))) return {};
    return image;
}

}  // namespace qhost

#include "app/batch/offscreen_graph.h"

#include "runtime/activation.h"
#include "runtime/storage.h"

namespace quillan {

OffscreenGraph::OffscreenGraph(QSize size) : m_size(size) {
    m_host.resize(size);
}

OffscreenGraph::~OffscreenGraph() {
    m_wrapper.setControl(nullptr);
    m_host.release();
}

bool OffscreenGraph::create(std::string& error) {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(u"Tarvik.ViGraf", &clsid))) {
        error = "the graph control is not registered (" + qrt::lastActivationError() + ")";
        return false;
    }
    const HRESULT hr = m_host.create(clsid);
    if (FAILED(hr)) {
        error = "cannot create the graph control (" + qrt::lastActivationError() + ")";
        return false;
    }
    qrt::ComPtr<IDispatch> control;
    if (!m_host.control() || FAILED(m_host.control()->QueryInterface(IDispatch::IID, control.outVoid()))) {
        error = "the graph control has no dispatch interface";
        return false;
    }
    m_wrapper.setControl(control.get());
    // Shown on the off-screen platform, so that it paints as on a screen:
    // frames taken by scripts use the layout of the last paint.
    m_host.show();
    paint();
    return true;
}

void OffscreenGraph::paint() {
    if (m_host.size() != m_size) m_host.resize(m_size);
    m_host.grab();  // renders the widget, the control's window included
}

HRESULT OffscreenGraph::jpegBytes(std::string& bytes) {
    qrt::ComPtr<IStream> stream;
    HRESULT hr = qrt::createMemoryStream(stream.out());
    if (FAILED(hr)) return hr;
    hr = m_wrapper.method(vigraf::SavePicture, {argDispatch(reinterpret_cast<IDispatch*>(stream.get()))});
    if (FAILED(hr)) return hr;
    hr = qrt::memoryStreamBytes(stream.get(), &bytes);
    if (FAILED(hr)) return hr;
    return bytes.empty() ? E_FAIL : S_OK;
}

}  // namespace quillan

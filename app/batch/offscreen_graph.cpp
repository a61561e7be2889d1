#include "app/batch/offscreen_graph.h"

#include "graph/graph_export.h"
#include "runtime/activation.h"
#include "runtime/storage.h"
#include "runtime/text.h"

#include <QPaintEngine>
#include <QString>

namespace quillan {

namespace {

// Paints that go nowhere. A batch run never shows the window: painting it
// only has to bring the control's own pictures up to date at the window's
// size, so copying them once more into a canvas would be wasted work.
class DiscardingEngine final : public QPaintEngine {
public:
    DiscardingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState&) override {}
    void drawRects(const QRect*, int) override {}
    void drawRects(const QRectF*, int) override {}
    void drawLines(const QLine*, int) override {}
    void drawLines(const QLineF*, int) override {}
    void drawEllipse(const QRectF&) override {}
    void drawEllipse(const QRect&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPoints(const QPointF*, int) override {}
    void drawPoints(const QPoint*, int) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawTextItem(const QPointF&, const QTextItem&) override {}
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
};

class DiscardingDevice final : public QPaintDevice {
public:
    explicit DiscardingDevice(QSize size) : m_size(size) {}
    ~DiscardingDevice() override = default;
    QPaintEngine* paintEngine() const override { return &m_engine; }
    QSize size() const { return m_size; }

protected:
    int metric(PaintDeviceMetric metric) const override {
        constexpr int dpi = 96;
        switch (metric) {
        case PdmWidth: return m_size.width();
        case PdmHeight: return m_size.height();
        case PdmWidthMM: return m_size.width() * 254 / (dpi * 10);
        case PdmHeightMM: return m_size.height() * 254 / (dpi * 10);
        case PdmNumColors: return 0x7FFFFFFF;
        case PdmDepth: return 32;
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return dpi;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
        default: return 0;
        }
    }

private:
    QSize m_size;
    mutable DiscardingEngine m_engine;
};

}  // namespace

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
    if (!m_canvas || static_cast<DiscardingDevice*>(m_canvas.get())->size() != m_size)
        m_canvas = std::make_unique<DiscardingDevice>(m_size);
    // Renders the widget, the control's window included, as a screen would.
    m_host.render(m_canvas.get());
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

HRESULT OffscreenGraph::pictureBytes(LONG format, std::string& bytes, std::string& reason) {
    qrt::ComPtr<IGraphExport> exporter;
    if (!m_host.control() || FAILED(m_host.control()->QueryInterface(IGraphExport::IID, exporter.outVoid()))) {
        reason = "the graph control cannot export pictures";
        return E_NOINTERFACE;
    }
    qrt::ComPtr<IStream> stream;
    HRESULT hr = qrt::createMemoryStream(stream.out());
    if (SUCCEEDED(hr)) {
        qrt::clearErrorInfo();
        hr = exporter->WritePicture(stream.get(), format, 0, 0);
    }
    if (FAILED(hr)) {
        std::u16string source, description;
        qrt::takeErrorInfo(source, description);
        reason = description.empty() ? qrt::encodeUtf8(qrt::statusText(hr)) : qrt::encodeUtf8(description);
        return hr;
    }
    hr = qrt::memoryStreamBytes(stream.get(), &bytes);
    if (FAILED(hr)) reason = "the picture could not be read back";
    return hr;
}

}  // namespace quillan

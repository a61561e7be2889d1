// The graph control of a batch run: a real graph control in a window of the
// off-screen platform, as the document's graph view.
#pragma once

#include "app/core/document.h"
#include "app/core/vigraf_wrapper.h"
#include "hosting/control_host.h"

#include <QImage>
#include <QPaintDevice>
#include <QSize>
#include <memory>
#include <string>

namespace quillan {

class OffscreenGraph final : public DocumentView {
public:
    explicit OffscreenGraph(QSize size);
    ~OffscreenGraph() override;

    // Creates the graph control; false with a reason when that fails.
    bool create(std::string& error);
    const CVigraf1* graphControl() const override { return m_wrapper.control() ? &m_wrapper : nullptr; }

    // Paints the control at its size now (as the screen would).
    void paint();
    // The last paint as the control encodes it (JPEG); paint() first.
    HRESULT jpegBytes(std::string& bytes);
    // The graph in one of the control's export formats (GraphPictureFormat)
    // at the window's size; on failure the control's reason.
    HRESULT pictureBytes(LONG format, std::string& bytes, std::string& reason);

private:
    QSize m_size;
    qhost::ControlHost m_host;
    CVigraf1 m_wrapper;
    std::unique_ptr<QPaintDevice> m_canvas;  // takes the paints and keeps nothing
};

}  // namespace quillan

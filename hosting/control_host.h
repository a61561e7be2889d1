// A Qt widget that hosts one control: it gives the control a site, has it
// create its window as a child, and passes every size change on to it.
#pragma once

#include "runtime/control.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

namespace qhost {

class ControlHost : public QWidget {
public:
    explicit ControlHost(QWidget* parent = nullptr);
    ~ControlHost() override;

    // Creates the control by class identifier and activates it in this
    // widget. On failure returns the status and leaves the host empty.
    HRESULT create(REFCLSID clsid);
    // Activates an existing control (a reference is taken).
    HRESULT attach(IUnknown* control);
    // Deactivates and releases the control.
    void release();

    IUnknown* control() const { return m_control.get(); }
    QWidget* controlWindow() const { return m_window.data(); }
    // How many times the control said its view changed while it had no window.
    int viewChanges() const { return m_viewChanges; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Site;
    friend class Site;

    qrt::ComPtr<IUnknown> m_control;
    qrt::ComPtr<IWidgetControl> m_widgetControl;
    qrt::ComPtr<IUnknown> m_site;
    QPointer<QWidget> m_window;
    int m_viewChanges = 0;
};

// Draws a control without a window into a new picture of the given size
// (white where the control draws nothing); a null picture when the object is
// no control or cannot draw.
QImage renderControl(IUnknown* control, int width, int height);

}  // namespace qhost

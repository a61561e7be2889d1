// What every library's controls share: the host's site, the control's child
// window and rectangle, repainting, and the stock-property sequence (ask the
// property-change listeners, store, mark dirty, notify, repaint).
#pragma once

#include "runtime/connection.h"
#include "runtime/control.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>
#include <span>

struct IStorage;
struct IStream;

namespace qhost {

// Persistence the controls share: properties stored as variants read and
// written through the control's own dispatch interface, and a storage
// holding the control's stream as "Contents".
HRESULT saveProperties(IDispatch* control, IStream* stream, std::span<const DISPID> ids);
HRESULT loadProperties(IDispatch* control, IStream* stream, std::span<const DISPID> ids);
HRESULT loadContents(IStorage* storage, const std::function<HRESULT(IStream*)>& load);
HRESULT saveContents(IStorage* storage, const std::function<HRESULT(IStream*)>& save);

// The body of a library's DllGetBitmapResource: id 1 is the tool-palette
// picture (an XPM image, one per library) as BMP bytes that stay valid while
// the library is loaded.
HRESULT toolboxBitmapResource(const char* const* xpm, UINT id, const BYTE** data, UINT* size);

class ControlSupport {
public:
    explicit ControlSupport(IConnectionPointContainer* owner)
        : m_owner(owner), m_propertyNotify(owner, IPropertyNotifySink::IID) {}
    ~ControlSupport();

    qrt::ConnectionPoint& propertyNotify() { return m_propertyNotify; }

    HRESULT setSite(IUnknown* site);
    // Creates the window once through makeWindow, as a child of parent, shown.
    HRESULT createWindow(QWidget* parent, QWidget** window, const std::function<QWidget*(QWidget*)>& makeWindow);
    HRESULT destroyWindow();
    HRESULT setRect(LONG x, LONG y, LONG width, LONG height);

    QWidget* window() const { return m_window.data(); }
    QRect rect() const { return m_rect; }
    bool isDirty() const { return m_dirty; }
    void setDirty(bool dirty) { m_dirty = dirty; }
    // Events frozen by the container: properties change without asking.
    void setFrozen(bool frozen) { m_frozen = frozen; }

    // Redraw: with a window, invalidate all of it (background erased);
    // without one, tell the site that the view changed.
    void repaint();
    // What a stock-property change does to the picture; by default repaint().
    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

    // The stock-property sequence. A refusal by a listener returns S_FALSE
    // and changes nothing.
    template <class T>
    HRESULT setStock(DISPID id, T& field, const T& value) {
        // Listeners may drop the last reference to the control meanwhile.
        const qrt::ComPtr<IConnectionPointContainer> keep(m_owner);
        if (!m_frozen && !qrt::requestEdit(m_propertyNotify, id)) return S_FALSE;
        field = value;
        m_dirty = true;
        qrt::notifyChanged(m_propertyNotify, id);
        if (m_changed) m_changed();
        else repaint();
        return S_OK;
    }

    // The connection point for iid: property notifications or the control's
    // events.
    HRESULT findConnectionPoint(REFIID iid, qrt::ConnectionPoint& events, IConnectionPoint** point);

    // Drops the site and every listener (the control is going away).
    void shutdown();

private:
    IConnectionPointContainer* m_owner;
    qrt::ConnectionPoint m_propertyNotify;
    std::function<void()> m_changed;
    qrt::ComPtr<IUnknown> m_site;
    QPointer<QWidget> m_window;
    QRect m_rect;
    bool m_dirty = false;
    bool m_frozen = false;
};

// IProvideClassInfo2::GetGUID of a control whose events are source.
HRESULT sourceInterface(DWORD kind, const IID& source, GUID* guid);

// A property getter's body: the stored value through the out-parameter.
template <class T>
HRESULT readStock(const T& field, T* out) {
    if (!out) return E_POINTER;
    *out = field;
    return S_OK;
}

// The font object of a stock Font property is kept as given.
HRESULT copyInterface(IDispatch* value, IDispatch** out);

}  // namespace qhost

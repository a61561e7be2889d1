// The pointer and the keys over the graph control's window, on the graph
// page: the wheel zooms about the pointer, the middle button (or Space with
// the left button) drags the view, a double click or Home goes back to the
// script's box; the data cursor tells the graph coordinates under the
// pointer, or with Shift held the nearest drawn point; the right button
// asks for the context menu. Zoom and pan go through the control's
// IGraphView, which changes the control's box (so a script's GetBox reads
// what the user sees) and refuses while the automatic magnifier is on.
#pragma once

#include "graph/graph_view.h"
#include "runtime/object.h"

#include <QCursor>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

namespace quillan::ui {

class GraphNavigation : public QObject {
public:
    // Wheel zoom per notch (120 units of the wheel's angle).
    static constexpr double kZoomPerNotch = 1.25;

    explicit GraphNavigation(QObject* parent = nullptr);
    ~GraphNavigation() override;

    // Watches window, the graph control's window, whose view is view.
    void attach(QWidget* window, IGraphView* view);
    void detach();

    // Zoom, pan and reset by pointer and keys; the data cursor and the
    // context menu work either way.
    void setZoomEnabled(bool on) { m_zoomEnabled = on; }
    bool zoomEnabled() const { return m_zoomEnabled; }

    // The data cursor's text for a position in the window: the graph's x
    // and y there, or with snap the nearest drawn point with its series and
    // index; empty outside the plot area or without a graph.
    QString cursorText(QPointF at, bool snap) const;

    // Back to the script's box; false when nothing changed.
    bool resetView();

    // What the page does with the cursor's text and the menu request.
    std::function<void(const QString&)> cursorTextChanged;
    std::function<void(const QPoint& global)> contextMenuRequested;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool mouseEvent(QEvent* event);
    bool keyEvent(QEvent* event);
    void beginPan(QPointF at);
    void endPan();
    void showCursorText(QPointF at, bool snap);

    QPointer<QWidget> m_window;
    qrt::ComPtr<IGraphView> m_view;
    bool m_zoomEnabled = true;
    bool m_panning = false;
    bool m_spaceHeld = false;
    QPointF m_panFrom;
    QCursor m_savedCursor;
    bool m_cursorSaved = false;
    QPointF m_pointer{-1, -1};  // last pointer position over the window
    QString m_shown;            // the cursor text last given out
};

}  // namespace quillan::ui

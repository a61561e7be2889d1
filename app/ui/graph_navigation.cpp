#include "app/ui/graph_navigation.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include <cmath>

namespace quillan::ui {

namespace {

// A coordinate with as many significant digits as tell one pixel from the
// next (perPixel world units a pixel), between 3 and 15.
QString coordinate(double v, double perPixel) {
    int digits = 6;
    if (perPixel > 0 && std::isfinite(perPixel)) {
        const double span = std::max(std::fabs(v), perPixel) / perPixel;
        digits = static_cast<int>(std::ceil(std::log10(span))) + 1;
    }
    return QString::number(v, 'g', std::clamp(digits, 3, 15));
}

// A data value as it was given: up to 15 significant digits, no trailing zeros.
QString dataValue(double v) { return QString::number(v, 'g', 15); }

}  // namespace

GraphNavigation::GraphNavigation(QObject* parent) : QObject(parent) {}

GraphNavigation::~GraphNavigation() { detach(); }

void GraphNavigation::attach(QWidget* window, IGraphView* view) {
    detach();
    m_window = window;
    m_view = qrt::ComPtr<IGraphView>(view);
    if (m_window) m_window->installEventFilter(this);
}

void GraphNavigation::detach() {
    if (m_panning) endPan();
    if (m_window) m_window->removeEventFilter(this);
    m_window = nullptr;
    m_view.reset();
}

bool GraphNavigation::resetView() { return m_view && m_view->ResetView() == S_OK; }

QString GraphNavigation::cursorText(QPointF at, bool snap) const {
    if (!m_view) return {};
    double x = 0, y = 0;
    if (m_view->PointAt(at.x(), at.y(), &x, &y) != S_OK) return {};
    if (snap) {
        LONG series = 0, index = 0;
        double px = 0, py = 0;
        if (m_view->NearestPoint(at.x(), at.y(), &series, &index, &px, &py) == S_OK)
            return QStringLiteral("Series %1, point %2:  X = %3  Y = %4")
                .arg(series)
                .arg(index)
                .arg(dataValue(px), dataValue(py));
    }
    // One pixel's worth of world units sets the digits shown.
    double x1 = 0, y1 = 0;
    m_view->PointAt(at.x() + 1, at.y() + 1, &x1, &y1);
    return QStringLiteral("X = %1  Y = %2").arg(coordinate(x, std::fabs(x1 - x)), coordinate(y, std::fabs(y1 - y)));
}

void GraphNavigation::showCursorText(QPointF at, bool snap) {
    const QString text = cursorText(at, snap);
    if (text == m_shown) return;
    m_shown = text;
    if (cursorTextChanged) cursorTextChanged(text);
}

void GraphNavigation::beginPan(QPointF at) {
    m_panning = true;
    m_panFrom = at;
    if (m_window && !m_cursorSaved) {
        m_savedCursor = m_window->cursor();
        m_cursorSaved = true;
    }
    if (m_window) m_window->setCursor(Qt::ClosedHandCursor);
}

void GraphNavigation::endPan() {
    m_panning = false;
    if (m_window && m_cursorSaved && !m_spaceHeld) {
        m_window->setCursor(m_savedCursor);
        m_cursorSaved = false;
    } else if (m_window && m_spaceHeld) {
        m_window->setCursor(Qt::OpenHandCursor);
    }
}

bool GraphNavigation::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window || !m_view) return false;
    switch (event->type()) {
    case QEvent::Wheel:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: return mouseEvent(event);
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride: return keyEvent(event);
    case QEvent::ContextMenu:
        if (contextMenuRequested) contextMenuRequested(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    case QEvent::Leave:
        m_pointer = QPointF(-1, -1);
        if (!m_panning && !m_shown.isEmpty()) {
            m_shown.clear();
            if (cursorTextChanged) cursorTextChanged(QString());
        }
        return false;
    case QEvent::FocusOut:
        // Keys released elsewhere are never seen here.
        m_spaceHeld = false;
        if (m_panning) endPan();
        else if (m_cursorSaved && m_window) {
            m_window->setCursor(m_savedCursor);
            m_cursorSaved = false;
        }
        return false;
    default: return false;
    }
}

bool GraphNavigation::mouseEvent(QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        if (!m_zoomEnabled) return false;
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint angle = wheel->angleDelta();
        const int delta = angle.y() != 0 ? angle.y() : angle.x();
        if (delta == 0) return true;
        const QPointF at = wheel->position();
        m_view->ZoomAt(at.x(), at.y(), std::pow(kZoomPerNotch, delta / 120.0));
        showCursorText(at, wheel->modifiers() & Qt::ShiftModifier);
        return true;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPointF at = mouse->position();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (!m_zoomEnabled) return false;
        if (mouse->button() == Qt::MiddleButton || (mouse->button() == Qt::LeftButton && m_spaceHeld)) {
            beginPan(at);
            return true;  // a pan is no click for the control's events
        }
        return false;
    case QEvent::MouseButtonRelease:
        if (m_panning && (mouse->button() == Qt::MiddleButton || mouse->button() == Qt::LeftButton)) {
            endPan();
            showCursorText(at, mouse->modifiers() & Qt::ShiftModifier);
            return true;
        }
        return false;
    case QEvent::MouseButtonDblClick:
        // The control still sees the click; the view goes back.
        if (m_zoomEnabled && mouse->button() == Qt::LeftButton && !m_spaceHeld) resetView();
        return false;
    case QEvent::MouseMove:
        m_pointer = at;
        if (m_panning) {
            const QPointF step = at - m_panFrom;
            m_panFrom = at;
            m_view->PanBy(step.x(), step.y());
        }
        showCursorText(at, mouse->modifiers() & Qt::ShiftModifier);
        return false;  // the control tracks the pointer as ever
    default: return false;
    }
}

bool GraphNavigation::keyEvent(QEvent* event) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool press = event->type() != QEvent::KeyRelease;
    if (event->type() == QEvent::ShortcutOverride) {
        // Home and Space belong to the graph while it has the keyboard.
        if (m_zoomEnabled && (key->key() == Qt::Key_Home || key->key() == Qt::Key_Space) &&
            key->modifiers() == Qt::NoModifier)
            event->accept();
        return false;
    }
    switch (key->key()) {
    case Qt::Key_Home:
        if (!m_zoomEnabled || !press) return false;
        resetView();
        if (m_pointer.x() >= 0) showCursorText(m_pointer, key->modifiers() & Qt::ShiftModifier);
        return true;
    case Qt::Key_Space:
        if (!m_zoomEnabled || key->isAutoRepeat()) return m_zoomEnabled;
        m_spaceHeld = press;
        if (m_window && !m_panning) {
            if (press) {
                if (!m_cursorSaved) {
                    m_savedCursor = m_window->cursor();
                    m_cursorSaved = true;
                }
                m_window->setCursor(Qt::OpenHandCursor);
            } else if (m_cursorSaved) {
                m_window->setCursor(m_savedCursor);
                m_cursorSaved = false;
            }
        }
        return true;
    case Qt::Key_Shift:
        // Snapping follows the key without waiting for the pointer to move.
        if (m_pointer.x() >= 0) showCursorText(m_pointer, press);
        return false;
    default: return false;
    }
}

}  // namespace quillan::ui

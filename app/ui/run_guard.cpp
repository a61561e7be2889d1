#include "app/ui/run_guard.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QStatusBar>
#include <QWidget>
#include <QWindow>

namespace quillan::ui {
namespace {

// How long a run goes before the window is kept painted and Stop offered.
constexpr qint64 kBusyAfterMs = 500;
// How long one poll may spend on the window's events.
constexpr int kEventTimeMs = 20;

bool isUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::KeyPress: case QEvent::KeyRelease: case QEvent::ShortcutOverride: case QEvent::Shortcut:
    case QEvent::MouseButtonPress: case QEvent::MouseButtonRelease: case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: case QEvent::Wheel: case QEvent::ContextMenu:
    case QEvent::TouchBegin: case QEvent::TouchUpdate: case QEvent::TouchEnd:
    case QEvent::TabletPress: case QEvent::TabletRelease: case QEvent::TabletMove:
    case QEvent::DragEnter: case QEvent::DragMove: case QEvent::Drop:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

}  // namespace

RunGuard::RunGuard(QWidget* window, QAction* stop) : m_window(window), m_stop(stop) {
    if (m_stop) m_stop->setEnabled(false);
}

RunGuard::~RunGuard() { setBusy(false); }

void RunGuard::runStarted() {
    if (m_depth++ > 0) return;
    m_stopRequested = false;
    m_clock.start();
}

void RunGuard::runEnded() {
    if (m_depth == 0 || --m_depth > 0) return;
    setBusy(false);
    m_stopRequested = false;
}

void RunGuard::requestStop() {
    if (running()) m_stopRequested = true;
}

bool RunGuard::queryContinue() {
    if (m_polling) return !m_stopRequested;  // a poll from a script run by the events below
    if (!m_busy && m_clock.isValid() && m_clock.elapsed() >= kBusyAfterMs) setBusy(true);
    if (m_busy && !m_stopRequested) {
        m_polling = true;
        QApplication::processEvents(QEventLoop::AllEvents, kEventTimeMs);
        m_polling = false;
    }
    return !m_stopRequested;
}

void RunGuard::setBusy(bool busy) {
    if (m_busy == busy) return;
    m_busy = busy;
    if (busy) {
        qApp->installEventFilter(this);
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }
    if (m_stop) m_stop->setEnabled(busy);
    if (auto* main = qobject_cast<QMainWindow*>(m_window.data())) {
        if (busy) main->statusBar()->showMessage(QStringLiteral("Running the script... press Escape or Stop to stop it"));
        else main->statusBar()->clearMessage();
    }
}

bool RunGuard::isStopControl(QObject* object) const {
    if (!m_stop) return false;
    for (QObject* control : m_stop->associatedObjects()) {
        auto* widget = qobject_cast<QWidget*>(control);
        for (auto* w = qobject_cast<QWidget*>(object); w && widget; w = w->parentWidget()) {
            if (w == widget) return true;
        }
    }
    return false;
}

bool RunGuard::isOutsideWindow(QObject* object) const {
    if (!m_window) return false;
    if (auto* widget = qobject_cast<QWidget*>(object)) return widget->window() != m_window;
    if (auto* window = qobject_cast<QWindow*>(object)) return window != m_window->windowHandle();
    return false;
}

bool RunGuard::eventFilter(QObject* watched, QEvent* event) {
    if (!m_busy || !isUserInput(event->type())) return false;
    // A dialog the script opens (a message, an input box, an error report)
    // takes its own input: held back, it could never be answered.
    if (isOutsideWindow(watched)) return false;
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        requestStop();
        return true;
    }
    // The Stop button takes its clicks (and the pointer moving over it).
    if (event->type() != QEvent::Close && isStopControl(watched)) return false;
    if (event->type() == QEvent::Close) event->ignore();
    return true;
}

}  // namespace quillan::ui

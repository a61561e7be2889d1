#include "app/ui/lock_keys.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#if QT_CONFIG(xcb) && defined(QUILLAN_HAVE_X11)
#include <X11/XKBlib.h>
#endif

namespace quillan::ui {

#if QT_CONFIG(xcb) && defined(QUILLAN_HAVE_X11)
namespace {

// The indicator's state by its name; the keyboard map numbers indicators
// freely, their names are what is standard.
std::optional<bool> namedIndicator(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None) return std::nullopt;
    Bool on = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) return std::nullopt;
    return on != False;
}

}  // namespace

std::optional<LockKeys> queryLockKeys() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return std::nullopt;
    const std::optional<bool> caps = namedIndicator(display, "Caps Lock");
    const std::optional<bool> num = namedIndicator(display, "Num Lock");
    const std::optional<bool> scroll = namedIndicator(display, "Scroll Lock");
    if (!caps && !num && !scroll) return std::nullopt;
    return LockKeys{caps.value_or(false), num.value_or(false), scroll.value_or(false)};
}

#else

std::optional<LockKeys> queryLockKeys() { return std::nullopt; }

#endif

}  // namespace quillan::ui

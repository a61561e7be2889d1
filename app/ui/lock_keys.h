// The keyboard's lock states (Caps Lock, Num Lock, Scroll Lock), read from
// the display server. Only an X11 display tells them; elsewhere (offscreen,
// Wayland) the states are unknown.
#pragma once

#include <optional>

namespace quillan::ui {

struct LockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
    friend bool operator==(const LockKeys&, const LockKeys&) = default;
};

// The states now, or nothing when the display cannot tell them.
std::optional<LockKeys> queryLockKeys();

}  // namespace quillan::ui

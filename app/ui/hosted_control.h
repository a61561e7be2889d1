// Creating a control of a component library inside a page: by ProgID, in a
// control host, with its dispatch interface handed to the wrapper the
// program calls it through.
#pragma once

#include "app/core/dispatch_wrapper.h"
#include "hosting/control_host.h"

#include <QString>

namespace quillan::ui {

// On failure the wrapper stays empty and error says why.
bool createHostedControl(qhost::ControlHost& host, const char16_t* progId, DispatchWrapper& wrapper,
                         QString& error);

// The widget inside a control's window that takes the keyboard: the window
// itself when it accepts the focus, else its first descendant that does.
QWidget* focusTarget(QWidget* window);

}  // namespace quillan::ui

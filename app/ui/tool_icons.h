// The pictures of the "Graphics tools" buttons, drawn for standard and
// double-density screens.
#pragma once

#include <QIcon>

namespace quillan::ui {

QIcon savePictureIcon();
QIcon flatZoomingIcon();

}  // namespace quillan::ui

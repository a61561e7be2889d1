// The graph control's cursor: a 32 x 32 cross with a ring, every drawn pixel
// inverting the screen beneath it, hot spot (16, 15).
#pragma once

#include <QCursor>

namespace tarvik {

QCursor pointerCursor();

}  // namespace tarvik

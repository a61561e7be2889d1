#include "graph/pointer_cursor.h"

#include <QBitmap>
#include <QImage>

namespace tarvik {

QCursor pointerCursor() {
    QImage bits(32, 32, QImage::Format_MonoLSB);
    bits.fill(0);
    auto set = [&](int column, int row) { bits.setPixel(column, row, 1); };
    for (int row = 4; row <= 11; ++row) set(16, row);        // upper arm
    for (int row = 19; row <= 26; ++row) set(16, row);       // lower arm
    for (int column = 5; column <= 13; ++column) set(column, 15);   // left arm
    for (int column = 19; column <= 27; ++column) set(column, 15);  // right arm
    for (int column = 15; column <= 17; ++column) {                  // ring
        set(column, 12);
        set(column, 18);
    }
    for (auto [c, r] : {std::pair{14, 13}, {18, 13}, {13, 14}, {19, 14}, {13, 16}, {19, 16}, {14, 17}, {18, 17}})
        set(c, r);
    set(16, 15);  // centre dot
    // A set bit with a clear mask inverts the screen; everything else is transparent.
    const QBitmap bitmap = QBitmap::fromImage(bits);
    QImage none(32, 32, QImage::Format_MonoLSB);
    none.fill(0);
    return QCursor(bitmap, QBitmap::fromImage(none), 16, 15);
}

}  // namespace tarvik

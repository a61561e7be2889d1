// The graph control's cursor: a cross with a ring that inverts the screen.
#include "graph/pointer_cursor.h"
#include "graph/tests/tarvik_fixture.h"

#include <QBitmap>
#include <QImage>

namespace tarvik_test {
namespace {

TEST(PointerCursor, CrossAndRingAroundTheHotSpot) {
    ensureApplication();
    const QCursor cursor = tarvik::pointerCursor();
    EXPECT_EQ(cursor.hotSpot(), QPoint(16, 15));
    const QImage bits = cursor.bitmap().toImage().convertToFormat(QImage::Format_Mono);
    const QImage mask = cursor.mask().toImage().convertToFormat(QImage::Format_Mono);
    ASSERT_EQ(bits.size(), QSize(32, 32));
    auto drawn = [&](int x, int y) { return bits.pixelIndex(x, y) != bits.pixelIndex(0, 0); };
    int count = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            count += drawn(x, y);
            EXPECT_EQ(mask.pixelIndex(x, y), mask.pixelIndex(0, 0));  // no opaque pixel: only inverting ones
        }
    // Arms of 8, 8, 9 and 9 pixels, a ring of 14 and the centre dot.
    EXPECT_EQ(count, 8 + 8 + 9 + 9 + 14 + 1);
    for (QPoint p : {QPoint(16, 4), QPoint(16, 26), QPoint(5, 15), QPoint(27, 15), QPoint(16, 15), QPoint(13, 16)})
        EXPECT_TRUE(drawn(p.x(), p.y())) << p.x() << "," << p.y();
    EXPECT_FALSE(drawn(16, 13));
}

}  // namespace
}  // namespace tarvik_test

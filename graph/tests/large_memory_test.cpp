// Large memory: pieces for point blocks and images mapped in large pages.
#include "graph/large_memory.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace tarvik;

TEST(LargeMemory, PiecesAreSeparateAlignedAndReused) {
    std::vector<char*> pieces;
    for (int i = 0; i < 6; ++i) {  // more than one run holds
        auto* p = static_cast<char*>(allocatePiece());
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % kPieceBytes, 0u);
        std::memset(p, i + 1, kPieceBytes);
        pieces.push_back(p);
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_EQ(pieces[i][0], static_cast<char>(i + 1)) << i;
        EXPECT_EQ(pieces[i][kPieceBytes - 1], static_cast<char>(i + 1)) << i;
    }
    // A released piece is the next one handed out.
    releasePiece(pieces[2]);
    EXPECT_EQ(allocatePiece(), pieces[2]);
    for (char* p : pieces) releasePiece(p);
    releasePiece(nullptr);
}

TEST(LargeMemory, LargeImagesBehaveAsOrdinaryOnes) {
    QImage image = makeImage(1280, 800, QImage::Format_RGB32);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(1280, 800));
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.bytesPerLine(), 1280 * 4);
    image.fill(Qt::red);
    {
        QPainter painter(&image);
        painter.fillRect(QRect(10, 10, 5, 5), Qt::blue);
    }
    // A copy keeps the pixels after the image it came from is gone, and
    // changing it leaves the other alone.
    QImage copy = image;
    image = QImage();
    EXPECT_EQ(copy.pixel(0, 0), QColor(Qt::red).rgb());
    EXPECT_EQ(copy.pixel(12, 12), QColor(Qt::blue).rgb());
    QImage second = copy;
    second.fill(Qt::green);
    EXPECT_EQ(copy.pixel(0, 0), QColor(Qt::red).rgb());

    EXPECT_EQ(makeImage(10, 10, QImage::Format_RGB32).size(), QSize(10, 10));
    EXPECT_TRUE(makeImage(0, 5, QImage::Format_RGB32).isNull());
}

}  // namespace

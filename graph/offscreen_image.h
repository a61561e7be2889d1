// The off-screen picture a control draws into: a 32-bit image re-created
// only when the size it must have changes.
#pragma once

#include "graph/large_memory.h"

#include <QImage>

namespace tarvik {

class OffscreenImage {
public:
    // Makes sure the picture is width x height; false when it cannot be made.
    // pixelRatio is how many of its pixels make one pixel of a standard
    // screen: the picture's resolution says so, and text is drawn that much
    // larger on it.
    bool ensure(int width, int height, double pixelRatio = 1.0) {
        if (m_image.isNull() || m_image.width() != width || m_image.height() != height) {
            m_image = QImage();
            m_image = makeImage(width, height, QImage::Format_RGB32);
            ++m_creations;
            if (m_image.isNull()) return false;
        }
        const int dotsPerMeter = qRound(kStandardDotsPerMeter * pixelRatio);
        if (m_image.dotsPerMeterX() != dotsPerMeter) m_image.setDotsPerMeterX(dotsPerMeter);
        if (m_image.dotsPerMeterY() != dotsPerMeter) m_image.setDotsPerMeterY(dotsPerMeter);
        return true;
    }
    // 96 dots per inch, the resolution of a new QImage.
    static constexpr double kStandardDotsPerMeter = 3780.0;
    // Replaces the picture by a decoded one of its own size. Its pixels are
    // kept in a 32-bit format, with alpha when it has alpha, so that the
    // graph can still be drawn over it.
    void replace(QImage image) {
        const QImage::Format format =
            image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
        m_image = image.format() == format ? std::move(image) : image.convertToFormat(format);
    }
    bool exists() const { return !m_image.isNull(); }
    QImage& image() { return m_image; }
    const QImage& image() const { return m_image; }
    // How many times the picture has been made.
    int creations() const { return m_creations; }

private:
    QImage m_image;
    int m_creations = 0;
};

}  // namespace tarvik

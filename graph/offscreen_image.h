// The off-screen picture a control draws into: a 32-bit image re-created
// only when the size it must have changes.
#pragma once

#include <QImage>

namespace tarvik {

class OffscreenImage {
public:
    // Makes sure the picture is width x height; false when it cannot be made.
    bool ensure(int width, int height) {
        if (!m_image.isNull() && m_image.width() == width && m_image.height() == height) return true;
        m_image = QImage();
        m_image = QImage(width, height, QImage::Format_RGB32);
        ++m_creations;
        return !m_image.isNull();
    }
    // Replaces the picture (a decoded image of its own size and format).
    void replace(QImage image) { m_image = std::move(image); }
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

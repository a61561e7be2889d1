// quillan-render-icon: draws an SVG picture into a square PNG of the given
// size. The build uses it to make the desktop's fixed-size icons from the
// one scalable icon, so the two never drift apart.
//
// Usage: quillan-render-icon SOURCE.svg SIZE OUTPUT.png
//
// Shapes and colours only: without an application object there are no
// fonts, and an icon has no text.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "Usage: quillan-render-icon SOURCE.svg SIZE OUTPUT.png\n");
        return 2;
    }
    char* end = nullptr;
    const long size = std::strtol(argv[2], &end, 10);
    if (*end != '\0' || size < 1 || size > 4096) {
        std::fprintf(stderr, "quillan-render-icon: SIZE must be a number of pixels from 1 to 4096, not %s\n", argv[2]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "quillan-render-icon: %s is not a readable SVG picture\n", argv[1]);
        return 1;
    }
    QImage image(static_cast<int>(size), static_cast<int>(size), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        svg.setAspectRatioMode(Qt::KeepAspectRatio);
        svg.render(&painter, QRectF(0, 0, size, size));
    }
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "quillan-render-icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}

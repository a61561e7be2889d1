// The floor of the batch run: a Qt program that does nothing but what the
// picture needs. It computes the 10 curves of bench/batch/ten_series.vbs
// (y = sin(x/50 + k) * x, 60,000 points each) in device pixels, draws them
// with QPainter as aliased 1-pixel lines into a white 1280x800 picture, and
// writes it as JPEG (or PNG, by the extension). The lines are black at full
// opacity, as the script's series are (the default colour and alpha);
// --alpha A draws them at alpha A (1..255) instead, blended.
//
//     bare_batch OUTPUT.jpg [--timings] [--alpha A]
//
// bench/batch_compare.py runs it beside quillan --run.
#include "bench/curve_points.h"

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPen>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bare_batch OUTPUT.jpg [--timings] [--alpha A]\n");
        return 2;
    }
    bool timings = false;
    int alpha = 255;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--timings") == 0) {
            timings = true;
        } else if (std::strcmp(argv[i], "--alpha") == 0 && i + 1 < argc) {
            alpha = std::atoi(argv[++i]);
            if (alpha < 1 || alpha > 255) {
                std::fprintf(stderr, "bare_batch: --alpha wants 1..255\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "bare_batch: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    QElapsedTimer clock;
    clock.start();

    constexpr int kSeries = 10;
    constexpr int kPoints = 60000;
    std::vector<std::vector<QPoint>> curves;
    curves.reserve(kSeries);
    for (int k = 0; k < kSeries; ++k) curves.push_back(bench::curvePoints(k, kPoints));
    const double pointsMs = clock.nsecsElapsed() / 1e6;

    clock.restart();
    QImage picture(1280, 800, QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setClipRect(bench::benchPlotRect());
        painter.setPen(QPen(QColor(0, 0, 0, alpha), 1));
        for (int k = 0; k < kSeries; ++k) painter.drawPolyline(curves[k].data(), kPoints);
    }
    const double drawMs = clock.nsecsElapsed() / 1e6;

    clock.restart();
    const QString path = QString::fromLocal8Bit(argv[1]);
    QImageWriter writer(path, path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ? "png" : "jpeg");
    if (!writer.write(picture)) {
        std::fprintf(stderr, "bare_batch: cannot write %s: %s\n", argv[1], qPrintable(writer.errorString()));
        return 1;
    }
    const double encodeMs = clock.nsecsElapsed() / 1e6;
    if (timings)
        std::fprintf(stderr, "bare_batch: points %.1f ms, drawing %.1f ms, encoding %.1f ms\n", pointsMs, drawMs,
                     encodeMs);
    return 0;
}

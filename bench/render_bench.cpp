// Drawing the series of a 1280 x 800 graph: ten curves of 60,000 points each
// (and one alone), translucent, through the plain reference loop, the series
// rasterizer and QPainter, on the same picture and the same points; and the
// JPEG encoding of the finished picture.
#include "bench/curve_points.h"
#include "bench/reference_raster.h"
#include "graph/polyline_raster.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPen>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int kPoints = 60000;
constexpr QSize kPicture(1280, 800);

const std::vector<std::vector<QPoint>>& curves() {
    static const std::vector<std::vector<QPoint>> all = [] {
        std::vector<std::vector<QPoint>> c;
        for (int k = 0; k < 10; ++k) c.push_back(bench::curvePoints(k, kPoints));
        return c;
    }();
    return all;
}

QRgb seriesColour(int k) {
    static const QRgb palette[] = {0xff0000ff, 0xffff0000, 0xff008000, 0xffff00ff, 0xff008080,
                                   0xff800000, 0xff000080, 0xff808000, 0xff800080, 0xff00c0c0};
    return palette[k % 10];
}

QImage picture() {
    QImage image(kPicture, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// Arguments: number of series, alpha.
void BM_ReferenceLoop(benchmark::State& state) {
    const int series = int(state.range(0)), alpha = int(state.range(1));
    QImage image = picture();
    const QRect plot = bench::benchPlotRect();
    for (auto _ : state) {
        for (int k = 0; k < series; ++k)
            bench::referencePolyline(image, plot, curves()[k].data(), kPoints,
                                     tarvik::premultipliedPenColour(seriesColour(k), alpha));
        benchmark::ClobberMemory();
    }
}

void BM_DrawPolyline(benchmark::State& state) {
    const int series = int(state.range(0)), alpha = int(state.range(1));
    QImage image = picture();
    const QRect plot = bench::benchPlotRect();
    for (auto _ : state) {
        for (int k = 0; k < series; ++k)
            tarvik::drawPolyline(image, plot, curves()[k].data(), kPoints, seriesColour(k), alpha);
        benchmark::ClobberMemory();
    }
}

void BM_QPainterPolyline(benchmark::State& state) {
    const int series = int(state.range(0)), alpha = int(state.range(1));
    QImage image = picture();
    const QRect plot = bench::benchPlotRect();
    for (auto _ : state) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setClipRect(plot);
        for (int k = 0; k < series; ++k) {
            QColor colour(seriesColour(k));
            colour.setAlpha(alpha);
            painter.setPen(QPen(colour, 1));
            painter.drawPolyline(curves()[k].data(), kPoints);
        }
        painter.end();
        benchmark::ClobberMemory();
    }
}

#define SERIES_ARGS ->Args({1, 128})->Args({10, 128})->Args({10, 255})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_ReferenceLoop) SERIES_ARGS;
BENCHMARK(BM_DrawPolyline) SERIES_ARGS;
BENCHMARK(BM_QPainterPolyline) SERIES_ARGS;

// The finished picture: white, a frame, ten series.
void BM_JpegEncode(benchmark::State& state) {
    QImage image = picture();
    {
        QPainter painter(&image);
        painter.drawRect(bench::benchPlotRect());
    }
    for (int k = 0; k < 10; ++k)
        tarvik::drawPolyline(image, bench::benchPlotRect(), curves()[k].data(), kPoints, seriesColour(k), 255);
    qint64 bytes = 0;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        if (!writer.write(image)) {
            state.SkipWithError(qPrintable("no JPEG writer: " + writer.errorString()));
            break;
        }
        bytes = buffer.size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_JpegEncode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

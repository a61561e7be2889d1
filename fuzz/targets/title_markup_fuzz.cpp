// Axis titles: two fuzzed titles (UTF-16 units, unpaired surrogates
// included) are parsed into styled runs and drawn with the axes into a
// picture, as the graph control's drawing pass does, over a box that the
// control's SetBox_1 accepts (finite corners, positive width and height).
#include "fuzz/fuzz_support.h"
#include "graph/axes_painter.h"
#include "graph/plot_geometry.h"
#include "graph/title_runs.h"

#include <QImage>
#include <QPainter>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qfuzz::ensureQtApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return -1;
    FuzzedDataProvider in(data, size);
    const bool fuzzedBox = in.ConsumeBool();
    tarvik::Box box{-1, -1, 1, 1};
    if (fuzzedBox) {
        const double x = in.ConsumeFloatingPoint<double>(), y = in.ConsumeFloatingPoint<double>();
        const double w = in.ConsumeFloatingPoint<double>(), h = in.ConsumeFloatingPoint<double>();
        if (w > 0 && h > 0 && std::isfinite(x) && std::isfinite(y) && std::isfinite(x + w) && std::isfinite(y + h))
            box = tarvik::Box{x, y, x + w, y + h};
    }
    const int width = in.ConsumeIntegralInRange(1, 400), height = in.ConsumeIntegralInRange(1, 300);
    const std::string xBytes = in.ConsumeRandomLengthString(1024);
    const std::string yBytes = in.ConsumeRemainingBytesAsString();
    const auto xRuns = tarvik::parseTitle(qfuzz::unitsOf(reinterpret_cast<const std::uint8_t*>(xBytes.data()), xBytes.size()));
    const auto yRuns = tarvik::parseTitle(qfuzz::unitsOf(reinterpret_cast<const std::uint8_t*>(yBytes.data()), yBytes.size()));

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    tarvik::Geometry g;
    tarvik::plotLayout(g, tarvik::IntRect{0, 0, width, height});
    bool needsRescale = true;
    tarvik::expandBox(box, needsRescale, true);
    tarvik::rescale(g, box, needsRescale);
    QPainter painter(&image);
    tarvik::drawAxes(painter, &image, g, box, xRuns, yRuns);
    return 0;
}

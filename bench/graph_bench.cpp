// The graph control's data paths: points added one by one through late
// binding, and whole script arrays handed over at once.
#include "bench/bench_support.h"
#include "bench/curve_points.h"
#include "bench/reference_raster.h"
#include "graph/tarvik.h"
#include "hosting/registration.h"
#include "runtime/activation.h"
#include "runtime/control.h"
#include "runtime/safearray.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QThreadPool>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

qrt::ComPtr<IViGraf> makeGraf() {
    bench::useLibraries({"Tarvik"});
    auto graf = bench::make<IViGraf>(u"Tarvik.ViGraf");
    graf->CreateSeries();
    return graf;
}

// AddPointToSeries(0, x, y) by dispatch identifier, arguments as a script
// engine passes numbers; items processed = points.
void BM_AddPointToSeries_Invoke(benchmark::State& state) {
    auto graf = makeGraf();
    VARIANT args[3];
    for (VARIANT& a : args) VariantInit(&a);
    args[2].vt = VT_I4;  // series (arguments are in reverse order)
    args[2].lVal = 0;
    args[1].vt = VT_R8;
    args[0].vt = VT_R8;
    DISPPARAMS dp{args, nullptr, 3, 0};
    double x = 0;
    std::int64_t points = 0;
    for (auto _ : state) {
        args[1].dblVal = x;
        args[0].dblVal = x * 0.5;
        x += 1;
        graf->Invoke(2, GUID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr);
        if (++points % 5'000'000 == 0) {
            state.PauseTiming();
            graf->RemoveData(0);  // keep memory bounded over long runs
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddPointToSeries_Invoke);

SAFEARRAY* doubles(std::size_t n, double scale) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(n));
    double* data = nullptr;
    SafeArrayAccessData(sa, reinterpret_cast<void**>(&data));
    for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<double>(i) * scale;
    SafeArrayUnaccessData(sa);
    return sa;
}

constexpr std::size_t kArray = 1'000'000;

void BM_SetPointVar_1M(benchmark::State& state) {
    auto graf = makeGraf();
    VARIANT x, y;
    x.vt = y.vt = VT_ARRAY | VT_R8;
    x.parray = doubles(kArray, 1.0);
    y.parray = doubles(kArray, 0.25);
    for (auto _ : state) benchmark::DoNotOptimize(graf->SetPointVar(0, x, y));
    state.SetBytesProcessed(state.iterations() * 2 * kArray * sizeof(double));
    VariantClear(&x);
    VariantClear(&y);
}
BENCHMARK(BM_SetPointVar_1M)->Unit(benchmark::kMillisecond);

// The reference: copying the same two million doubles.
void BM_Memcpy_2x1M(benchmark::State& state) {
    std::vector<double> a(kArray, 1.0), b(kArray, 2.0), c(kArray), d(kArray);
    for (auto _ : state) {
        std::memcpy(c.data(), a.data(), kArray * sizeof(double));
        std::memcpy(d.data(), b.data(), kArray * sizeof(double));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 2 * kArray * sizeof(double));
}
BENCHMARK(BM_Memcpy_2x1M)->Unit(benchmark::kMillisecond);

// The whole drawing pass at 1280 x 800 of the given number of series of
// 60,000 points (y = sin(x/50 + k) * x), with axes and titles or without,
// each series with point markers of markerSize pixels (0: none).
void renderGraph(benchmark::State& state, int seriesCount, long viewAxis, LONG markerSize) {
    static int argc = 1;
    static char name[] = "graph_bench";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
    if (std::getenv("ONE_THREAD")) QThreadPool::globalInstance()->setMaxThreadCount(1);
    auto graf = makeGraf();
    graf->RemoveAll();
    std::vector<double> xs, ys;
    for (int k = 0; k < seriesCount; ++k) {
        bench::curveValues(k, 60000, xs, ys);
        graf->CreateSeries();
        graf->SetPoints(k, 60000, xs.data(), ys.data());
        graf->SetPropertySeries(k, 128, 0x202020u * static_cast<unsigned>(k % 7) + 0x0000C0u);
        if (markerSize > 0) graf->DrawPoints(k, markerSize);
    }
    BSTR xt = SysAllocString(u"@LN@Time t@D@0");
    BSTR yt = SysAllocString(u"@gn@a@LU@2");
    graf->put_X_axis(xt);
    graf->put_Y_axis(yt);
    SysFreeString(xt);
    SysFreeString(yt);
    graf->put_ViewAxis(viewAxis);
    auto control = graf.as<IWidgetControl>();
    QImage target(1280, 800, QImage::Format_RGB32);
    QPainter painter(&target);
    for (auto _ : state) control->Draw(&painter, 0, 0, 1280, 800);
}

// Arguments: the number of series (0, 1 or 10), and axes and titles (1) or not.
void BM_RenderGraph(benchmark::State& state) {
    renderGraph(state, static_cast<int>(state.range(0)), static_cast<long>(state.range(1)), 0);
}
BENCHMARK(BM_RenderGraph)->Args({0, 1})->Args({1, 1})->Args({10, 1})->Args({10, 0})->Unit(benchmark::kMillisecond);

// One series with its line and 5-pixel markers on all 60,000 points, axes on.
void BM_RenderGraph_Markers(benchmark::State& state) { renderGraph(state, 1, 1, 5); }
BENCHMARK(BM_RenderGraph_Markers)->Unit(benchmark::kMillisecond);

// The reference in the same run: a plain line loop with per-pixel alpha
// blending drawing the same curves (alpha 128) into the same size of picture.
void BM_ReferenceRaster(benchmark::State& state) {
    const int seriesCount = static_cast<int>(state.range(0));
    std::vector<std::vector<QPoint>> curves;
    for (int k = 0; k < seriesCount; ++k) curves.push_back(bench::curvePoints(k, 60000));
    QImage image(1280, 800, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (auto _ : state) {
        for (int k = 0; k < seriesCount; ++k)
            bench::referencePolyline(image, bench::benchPlotRect(), curves[k].data(), 60000,
                                     qPremultiply(qRgba(0xC0, 0x20 * (k % 7), 0x20 * (k % 7), 128)));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ReferenceRaster)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

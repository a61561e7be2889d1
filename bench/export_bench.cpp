// Vector export of a dense graph: 10 series of 60,000 points each
// (y = sin(x / 50 + k) * x) written as SVG and as PDF at 1280 x 800, into
// memory. The counter "bytes" is the size of the file. bench/export_compare.py
// runs this next to matplotlib's savefig of the same curves.
#include "bench/bench_support.h"
#include "bench/curve_points.h"
#include "graph/graph_export.h"
#include "graph/tarvik.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

qrt::ComPtr<IViGraf> tenSeries() {
    bench::useLibraries({"Tarvik"});
    auto graf = bench::make<IViGraf>(u"Tarvik.ViGraf");
    std::vector<double> xs, ys;
    for (int k = 0; k < 10; ++k) {
        bench::curveValues(k, 60000, xs, ys);
        graf->CreateSeries();
        graf->SetPoints(k, 60000, xs.data(), ys.data());
    }
    return graf;
}

void exportAs(benchmark::State& state, LONG format) {
    auto graf = tenSeries();
    auto exporter = graf.as<IGraphExport>();
    std::string bytes;
    for (auto _ : state) {
        qrt::ComPtr<IStream> stream;
        qrt::createMemoryStream(stream.out());
        if (FAILED(exporter->WritePicture(stream.get(), format, 1280, 800))) {
            state.SkipWithError("the export failed");
            break;
        }
        state.PauseTiming();
        qrt::memoryStreamBytes(stream.get(), &bytes);
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
    // QUILLAN_EXPORT_KEEP=folder keeps the last picture of each format to look at.
    if (const char* folder = std::getenv("QUILLAN_EXPORT_KEEP")) {
        const char* names[] = {"export.jpg", "export.png", "export.svg", "export.pdf"};
        if (std::FILE* file = std::fopen((std::string(folder) + "/" + names[format]).c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
    }
    state.counters["points"] = 600000;
}

void BM_ExportSvg_10x60k(benchmark::State& state) { exportAs(state, GraphPictureSvg); }
void BM_ExportPdf_10x60k(benchmark::State& state) { exportAs(state, GraphPicturePdf); }
void BM_ExportPng_10x60k(benchmark::State& state) { exportAs(state, GraphPicturePng); }
BENCHMARK(BM_ExportSvg_10x60k)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportPdf_10x60k)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportPng_10x60k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);  // fonts and the picture writers need it
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

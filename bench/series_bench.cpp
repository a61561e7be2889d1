// Series storage: SetXYVar of typed arrays against memcpy of the same data,
// resident memory per point, and Add through IDispatch::Invoke.
#include "graph/tarvik.h"
#include "hosting/registration.h"
#include "runtime/activation.h"
#include "runtime/safearray.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "bench/bench_support.h"

#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

qrt::ComPtr<ISeries> newSeries() {
    bench::useLibraries({"Tarvik"});
    return bench::make<ISeries>(u"Tarvik.Series");
}

// A VT_ARRAY|VT_R8 variant of n values.
qrt::Variant doubles(std::size_t n, double scale) {
    qrt::Variant v;
    v.vt = VT_ARRAY | VT_R8;
    v.parray = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(n));
    double* data = static_cast<double*>(v.parray->pvData);
    for (std::size_t i = 0; i < n; ++i) data[i] = scale * static_cast<double>(i);
    return v;
}

constexpr std::size_t kArrayPoints = 1'000'000;

// The best of a few runs of memcpy of two arrays into warm destinations.
double memcpySeconds(const double* x, const double* y, std::vector<double>& dx, std::vector<double>& dy) {
    double best = 1e9;
    for (int run = 0; run < 20; ++run) {
        auto start = std::chrono::steady_clock::now();
        std::memcpy(dx.data(), x, kArrayPoints * sizeof(double));
        std::memcpy(dy.data(), y, kArrayPoints * sizeof(double));
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// memcpy of the 2,000,000 doubles that SetXYVar takes from its two arrays.
void BM_Memcpy_2x1M(benchmark::State& state) {
    qrt::Variant vx = doubles(kArrayPoints, 1), vy = doubles(kArrayPoints, -1);
    std::vector<double> dx(kArrayPoints), dy(kArrayPoints);
    for (auto _ : state) {
        std::memcpy(dx.data(), vx.parray->pvData, kArrayPoints * sizeof(double));
        std::memcpy(dy.data(), vy.parray->pvData, kArrayPoints * sizeof(double));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * kArrayPoints * sizeof(double)));
}
BENCHMARK(BM_Memcpy_2x1M)->Unit(benchmark::kMicrosecond);

// SetXYVar of two 1,000,000-element VT_ARRAY|VT_R8 arrays; the counter
// vs_memcpy is its time over that of BM_Memcpy_2x1M's copy, measured here.
void BM_SetXYVar_R8_2x1M(benchmark::State& state) {
    qrt::ComPtr<ISeries> series = newSeries();
    qrt::Variant vx = doubles(kArrayPoints, 1), vy = doubles(kArrayPoints, -1);
    std::vector<double> dx(kArrayPoints), dy(kArrayPoints);
    const double copy = memcpySeconds(static_cast<double*>(vx.parray->pvData),
                                      static_cast<double*>(vy.parray->pvData), dx, dy);
    double total = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (series->SetXYVar(vx, vy) != S_OK) state.SkipWithError("SetXYVar failed");
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * kArrayPoints * sizeof(double)));
    state.counters["memcpy_us"] = copy * 1e6;
    state.counters["vs_memcpy"] = total / static_cast<double>(state.iterations()) / copy;
}
BENCHMARK(BM_SetXYVar_R8_2x1M)->Unit(benchmark::kMicrosecond);

long residentBytes() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Growth of resident memory while one series takes 10 million points by Add.
void BM_ResidentBytesPerPoint_10M(benchmark::State& state) {
    constexpr int n = 10'000'000;
    double perPoint = 0;
    for (auto _ : state) {
        state.PauseTiming();
        qrt::ComPtr<ISeries> series = newSeries();
        const long before = residentBytes();
        state.ResumeTiming();
        for (int i = 0; i < n; ++i) series->Add(i, -i);
        state.PauseTiming();
        perPoint = static_cast<double>(residentBytes() - before) / n;
        series.reset();
        state.ResumeTiming();
    }
    state.counters["bytes_per_point"] = perPoint;
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ResidentBytesPerPoint_10M)->Iterations(1)->Unit(benchmark::kMillisecond);

// Add(X, Y) through IDispatch::Invoke by dispatch identifier, as a script
// engine calls it once it knows the identifier.
void BM_Add_InvokeById(benchmark::State& state) {
    qrt::ComPtr<ISeries> series = newSeries();
    VARIANT args[2];  // last argument first
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = args[1].vt = VT_R8;
    DISPPARAMS dp{args, nullptr, 2, 0};
    double i = 0;
    for (auto _ : state) {
        args[1].dblVal = i;
        args[0].dblVal = -i;
        series->Invoke(5, GUID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr);
        i += 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Add_InvokeById);

// The same points through the interface, for comparison.
void BM_Add_Direct(benchmark::State& state) {
    qrt::ComPtr<ISeries> series = newSeries();
    double i = 0;
    for (auto _ : state) {
        series->Add(i, -i);
        i += 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Add_Direct);

}  // namespace

BENCHMARK_MAIN();

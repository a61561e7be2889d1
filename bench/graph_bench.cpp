// The graph control's data paths: points added one by one through late
// binding, and whole script arrays handed over at once.
#include "graph/tarvik.h"
#include "hosting/registration.h"
#include "runtime/activation.h"
#include "runtime/safearray.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void setUp() {
    static bool done = false;
    if (done) return;
    done = true;
    char dir[] = "/tmp/quillan-bench-XXXXXX";
    if (mkdtemp(dir)) setenv("QUILLAN_REGISTRY_DIR", dir, 1);
    std::string message;
    if (FAILED(qhost::ensureLibrariesRegistered(qhost::programFolder(), {"Tarvik"}, &message))) {
        std::fprintf(stderr, "cannot register Tarvik: %s\n", message.c_str());
        std::exit(1);
    }
}

qrt::ComPtr<IViGraf> makeGraf() {
    setUp();
    qrt::ComPtr<IViGraf> graf;
    if (FAILED(qrt::createObject(u"Tarvik.ViGraf", graf))) {
        std::fprintf(stderr, "cannot create Tarvik.ViGraf: %s\n", qrt::lastActivationError().c_str());
        std::exit(1);
    }
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

}  // namespace

BENCHMARK_MAIN();

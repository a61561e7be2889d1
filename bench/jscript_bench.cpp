// The JScript engine: a loop of calls of a component method against the same
// loop calling a plain script function, measured in the same run.
//   jscript_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "bench/bench_support.h"
#include "engines/jscript/tests/test_site.h"
#include "runtime/text.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

constexpr int kCalls = 1000000;

// An engine with the graph control as "g" and a series as "s", and a loop
// function per case; each benchmark iteration calls one loop.
struct Scripts {
    bool registered = (bench::useLibraries({"JScript", "Tarvik"}), true);  // before the engine is made
    qtest::EngineUnderTest js{u"JScript"};
    qrt::ComPtr<IDispatch> global;

    Scripts() {
        auto graph = bench::make<IDispatch>(u"Tarvik.ViGraf");
        auto series = bench::make<IDispatch>(u"Tarvik.Series");
        js.publish(u"g", graph.get());
        js.publish(u"s", series.get());
        const HRESULT hr = js.run(
            u"g.CreateSeries();\n"
            u"function f3(a, b, c) { return a + b + c; }\n"
            u"function f2(a, b) { return a + b; }\n"
            u"function scriptLoop3() { for (var i = 0; i < 1000000; i++) f3(0, i, i * 0.5); }\n"
            u"function hostLoop3() { for (var i = 0; i < 1000000; i++) g.AddPointToSeries(0, i, i * 0.5); g.RemoveData(0); }\n"
            u"function scriptLoop2() { for (var i = 0; i < 1000000; i++) f2(i, i * 0.5); }\n"
            u"function hostLoop2() { for (var i = 0; i < 1000000; i++) s.Add(i, i * 0.5); s.RemoveAll(); }\n");
        if (FAILED(hr) || FAILED(js.engine->GetScriptDispatch(nullptr, global.out()))) {
            std::fprintf(stderr, "the benchmark script did not run\n");
            std::exit(1);
        }
    }
    void call(const char16_t* name) {
        std::u16string copy(name);
        LPOLESTR names[] = {copy.data()};
        DISPID id = 0;
        global->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
        DISPPARAMS none{};
        if (FAILED(global->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr))) {
            std::fprintf(stderr, "%s failed\n", qrt::encodeUtf8(name).c_str());
            std::exit(1);
        }
    }
};

Scripts& scripts() {
    static Scripts instance;
    return instance;
}

void runLoop(benchmark::State& state, const char16_t* name) {
    Scripts& s = scripts();
    for (auto _ : state) s.call(name);
    state.SetItemsProcessed(state.iterations() * kCalls);
}

void BM_ScriptFunction3Args(benchmark::State& state) { runLoop(state, u"scriptLoop3"); }
void BM_HostMethod3Args_AddPointToSeries(benchmark::State& state) { runLoop(state, u"hostLoop3"); }
void BM_ScriptFunction2Args(benchmark::State& state) { runLoop(state, u"scriptLoop2"); }
void BM_HostMethod2Args_SeriesAdd(benchmark::State& state) { runLoop(state, u"hostLoop2"); }

// Both loops back to back in each iteration, so that both see the same load:
// the counter is the median ratio host / script over the iterations.
void ratioOf(benchmark::State& state, const char16_t* host, const char16_t* script) {
    Scripts& s = scripts();
    std::vector<double> ratios;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        s.call(script);
        const auto t1 = std::chrono::steady_clock::now();
        s.call(host);
        const auto t2 = std::chrono::steady_clock::now();
        ratios.push_back(std::chrono::duration<double>(t2 - t1).count() / std::chrono::duration<double>(t1 - t0).count());
    }
    std::sort(ratios.begin(), ratios.end());
    state.counters["host_over_script"] = ratios[ratios.size() / 2];
}
void BM_Ratio3Args(benchmark::State& state) { ratioOf(state, u"hostLoop3", u"scriptLoop3"); }
void BM_Ratio2Args(benchmark::State& state) { ratioOf(state, u"hostLoop2", u"scriptLoop2"); }
BENCHMARK(BM_Ratio3Args)->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(BM_Ratio2Args)->Unit(benchmark::kMillisecond)->Iterations(9);

BENCHMARK(BM_ScriptFunction3Args)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HostMethod3Args_AddPointToSeries)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScriptFunction2Args)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HostMethod2Args_SeriesAdd)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

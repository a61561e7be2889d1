// A call of a three-number method (Sum(a, b, c)) through IDispatch::Invoke:
// on the object in process, through a proxy over a socket pair within the
// process, and through a proxy of an object served by another process (a
// child serving a local-server class, reached by CoCreateInstance). After
// Google Benchmark's figures, the median and 95th percentile of single
// cross-process calls timed one by one, and the calls per second.
#include "runtime/activation.h"
#include "runtime/remote.h"
#include "runtime/testing/remote_probe.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr CLSID CLSID_BenchProbe = qrt::makeGuid("{8E4B2C61-0F3D-4A97-B5C8-61D7E20A9F43}");

class ProbeFactory final : public qrt::ComObject<IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown*, REFIID iid, void** out) override { return qrt::createInstance<qtest::Probe>(iid, out); }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

pid_t g_server = -1;
qrt::ComPtr<IDispatch> g_local, g_loopback, g_remote;

// The child: serves the class until its client lets go.
[[noreturn]] void serve() {
    DWORD cookie = 0;
    qrt::ComPtr<ProbeFactory> factory = qrt::create<ProbeFactory>();
    if (FAILED(CoRegisterClassObject(CLSID_BenchProbe, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
        ::_exit(3);
    bool done = false;
    qrt::remote::setAllReleasedHandler([&] { done = true; });
    while (!done) qrt::remote::processEvents(1000);
    CoRevokeClassObject(cookie);
    ::_exit(0);
}

void setUp() {
    char dir[] = "/tmp/quillan-bench-XXXXXX";
    if (mkdtemp(dir)) setenv("QUILLAN_REGISTRY_DIR", dir, 1);
    const std::string socket = qrt::remote::socketPath(CLSID_BenchProbe);
    g_server = ::fork();
    if (g_server == 0) serve();
    for (int i = 0; i < 1000 && ::access(socket.c_str(), F_OK) != 0; ++i) ::usleep(2000);
    if (FAILED(CoCreateInstance(CLSID_BenchProbe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, g_remote.outVoid()))) {
        std::fprintf(stderr, "cannot reach the serving process: %s\n", qrt::lastActivationError().c_str());
        std::exit(1);
    }
    g_local = qrt::create<qtest::Probe>();
    qrt::remote::loopbackProxy(g_local.get(), g_loopback.out());
}

void tearDown() {
    g_remote.reset();
    g_loopback.reset();
    int status = 0;
    if (g_server > 0) ::waitpid(g_server, &status, 0);
    qrt::remote::shutdown();
}

HRESULT sum(IDispatch* object, double& result) {
    VARIANT args[3];
    for (int i = 0; i < 3; ++i) {
        VariantInit(&args[i]);
        args[i].vt = VT_R8;
        args[i].dblVal = 1.5 * (i + 1);
    }
    DISPPARAMS params{args, nullptr, 3, 0};
    VARIANT value;
    VariantInit(&value);
    const HRESULT hr = object->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &params, &value, nullptr, nullptr);
    result = value.dblVal;
    return hr;
}

void run(benchmark::State& state, IDispatch* object) {
    double r = 0;
    for (auto _ : state) {
        if (FAILED(sum(object, r))) state.SkipWithError("the call failed");
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Sum_InProcess(benchmark::State& state) { run(state, g_local.get()); }
void BM_Sum_SocketPairInProcess(benchmark::State& state) { run(state, g_loopback.get()); }
void BM_Sum_CrossProcess(benchmark::State& state) { run(state, g_remote.get()); }
BENCHMARK(BM_Sum_InProcess)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Sum_SocketPairInProcess)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Sum_CrossProcess)->Repetitions(5)->ReportAggregatesOnly(true);

// Single calls timed one by one: the median is the latency one call sees.
void singleCalls(const char* label, IDispatch* object, int count) {
    std::vector<double> us(static_cast<std::size_t>(count));
    double r = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (double& t : us) {
        const auto start = std::chrono::steady_clock::now();
        sum(object, r);
        t = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::sort(us.begin(), us.end());
    std::printf("%-28s median %7.2f us  p95 %7.2f us  %9.0f calls/s  (%d calls)\n", label, us[us.size() / 2],
                us[us.size() * 95 / 100], count / seconds, count);
}

}  // namespace

int main(int argc, char** argv) {
    setUp();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nSum(a, b, c) through Invoke, single calls:\n");
    singleCalls("in process", g_local.get(), 200000);
    singleCalls("socket pair in process", g_loopback.get(), 20000);
    singleCalls("other process", g_remote.get(), 20000);
    tearDown();
    return 0;
}

// Cost of late binding: Invoke of J0 by dispatch identifier against a direct
// call through IMathClass, and GetIDsOfNames on a 40-member class.
#include "bench/bench_support.h"
#include "hosting/registration.h"
#include "math/sumtrel.h"
#include "runtime/activation.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

qrt::ComPtr<IMathClass> g_math;

void setUp() {
    bench::useLibraries({"Sumtrel"});
    if (!g_math) g_math = bench::make<IMathClass>(u"Sumtrel.MathClass");
}

void BM_J0_Direct(benchmark::State& state) {
    setUp();
    double x = 2.5, r = 0;
    for (auto _ : state) {
        g_math->J0(x, &r);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_J0_Direct);

void BM_J0_InvokeById(benchmark::State& state) {
    setUp();
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_R8;
    arg.dblVal = 2.5;
    DISPPARAMS dp{&arg, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    for (auto _ : state) {
        g_math->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
        benchmark::DoNotOptimize(result.dblVal);
    }
}
BENCHMARK(BM_J0_InvokeById);

// The same call with the argument as a script engine passes a variable: by
// reference to a variant holding an integer, so it needs a conversion.
void BM_J0_InvokeConverting(benchmark::State& state) {
    setUp();
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I2;
    value.iVal = 2;
    VARIANT arg;
    arg.vt = VT_BYREF | VT_VARIANT;
    arg.pvarVal = &value;
    DISPPARAMS dp{&arg, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    for (auto _ : state) {
        g_math->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &dp, &result, nullptr, nullptr);
        benchmark::DoNotOptimize(result.dblVal);
    }
}
BENCHMARK(BM_J0_InvokeConverting);

// A 40-member interface for name lookups.
struct IForty : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{3E0C7E0B-4F5E-4A44-9B1B-6C1B0B6D5A40}");
    using Base = IDispatch;
    virtual HRESULT Member(LONG i, LONG* r) = 0;
};

const qrt::DispatchTable& fortyTable() {
    static const std::vector<std::u16string> names = [] {
        const char* words[] = {"CreateSeries", "AddPointToSeries", "SetPoints", "SetPointVar", "SetPropertySeries",
                               "GetPropertySeries", "RemoveData", "RemoveSeries", "RemoveAll", "RecalcSeries",
                               "ReDrawGraph", "CountSeries", "SetBox", "SetBox_1", "GetBox", "X_axis", "Y_axis",
                               "ViewAxis", "BkgrColor", "SavePicture", "SetImage", "AddFrame", "FrameInFrame",
                               "FrameInFrameEx", "LoadStreamFromDoc", "LoadStreamFromDocToFile", "ZoomIn",
                               "ZoomOut", "Magnify", "MagnifyAuto", "GetZoomImage", "DrawPoints", "Title",
                               "Enabled", "BackColor", "ForeColor", "BorderColor", "BorderWidth", "Font", "Caption"};
        std::vector<std::u16string> out;
        for (const char* w : words) out.emplace_back(w, w + std::char_traits<char>::length(w));
        return out;
    }();
    static const qrt::DispatchTable table(u"IForty", IForty::IID, [] {
        std::vector<qrt::DispMember> members;
        for (std::size_t i = 0; i < names.size(); ++i)
            members.push_back(qrt::member<&IForty::Member>(names[i], static_cast<DISPID>(i + 1), {u"i"}, qrt::Retval));
        return members;
    }());
    return table;
}

void BM_GetIDsOfNames_40Members(benchmark::State& state) {
    const qrt::DispatchTable& table = fortyTable();
    // Mixed case, as scripts write names.
    std::u16string queries[] = {u"setbox_1", u"RECALCSERIES", u"Caption", u"addpointtoseries", u"zoomout"};
    std::size_t i = 0;
    for (auto _ : state) {
        LPOLESTR name = queries[i++ % 5].data();
        DISPID id;
        table.getIDsOfNames(&name, 1, &id);
        benchmark::DoNotOptimize(id);
    }
}
BENCHMARK(BM_GetIDsOfNames_40Members);

}  // namespace

BENCHMARK_MAIN();

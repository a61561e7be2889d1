// The VBScript engine, driven through its Active Scripting interfaces as the
// program's host drives it:
//   SinLoopFunction  1,000,000 x  s = s + Sin(i * 0.001) * i  inside a Function
//   SinLoopGlobal    the same loop in global code (parsed and run each time)
//   Calls            1,000,000 calls of a two-parameter Function returning a*b+1
//   Append           100,000 appends  s = s & "abc"  (and 400,000, to show it is linear)
//   HostCalls        1,000,000 calls of a host object's method with three numbers
//   Properties       1,000,000 round trips through a class's Property Get and Let
// bench/vbscript_compare.py runs these with the same algorithms in Lua 5.4 and
// Python 3 and prints the ratios.
#include "bench/bench_support.h"

#include "runtime/activscp.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A host object with one method of three numbers.
struct IBenchHost : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{6F0E3A52-6C1B-4D8E-9A55-2C0B7D1E4F90}");
    using Base = IDispatch;
    virtual HRESULT Mix(double a, double b, double c, double* result) = 0;

protected:
    ~IBenchHost() = default;
};

class BenchHost final : public qrt::ComObject<qrt::DispatchImpl<BenchHost, IBenchHost>> {
public:
    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::DispatchTable table(u"IBenchHost", IBenchHost::IID, {
            qrt::member<&IBenchHost::Mix>(u"Mix", 1, {u"a", u"b", u"c"}, qrt::Retval),
        });
        return table;
    }
    HRESULT Mix(double a, double b, double c, double* result) override {
        *result = a * b + c;
        return S_OK;
    }
};

class Site final : public qrt::ComObject<IActiveScriptSite> {
public:
    HRESULT GetLCID(LCID* lcid) override { *lcid = LOCALE_USER_DEFAULT; return S_OK; }
    HRESULT GetItemInfo(LPCOLESTR, DWORD, IUnknown** item, ITypeInfo** info) override {
        if (info) *info = nullptr;
        if (!item) return E_POINTER;
        host->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(item));
        return S_OK;
    }
    HRESULT GetDocVersionString(BSTR* v) override { *v = nullptr; return E_NOTIMPL; }
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT OnScriptError(IActiveScriptError* error) override {
        EXCEPINFO excep{};
        error->GetExceptionInfo(&excep);
        ULONG line = 0;
        error->GetSourcePosition(nullptr, &line, nullptr);
        std::fprintf(stderr, "script error at line %u: %s\n", line, qrt::bstrToUtf8(excep.bstrDescription).c_str());
        qrt::clearExcepInfo(&excep);
        std::exit(1);
    }
    HRESULT OnEnterScript() override { return S_OK; }
    HRESULT OnLeaveScript() override { return S_OK; }
    qrt::ComPtr<BenchHost> host = qrt::create<BenchHost>();
};

const char16_t* const kProcedures =
    u"Function SinLoop()\n"
    u"  Dim s, i\n"
    u"  s = 0\n"
    u"  For i = 1 To 1000000\n"
    u"    s = s + Sin(i * 0.001) * i\n"
    u"  Next\n"
    u"  SinLoop = s\n"
    u"End Function\n"
    u"Function F(a, b)\n"
    u"  F = a * b + 1\n"
    u"End Function\n"
    u"Function Calls()\n"
    u"  Dim i, r\n"
    u"  For i = 1 To 1000000\n"
    u"    r = F(i, 2)\n"
    u"  Next\n"
    u"  Calls = r\n"
    u"End Function\n"
    u"Function Append(n)\n"
    u"  Dim s, i\n"
    u"  s = \"\"\n"
    u"  For i = 1 To n\n"
    u"    s = s & \"abc\"\n"
    u"  Next\n"
    u"  Append = Len(s)\n"
    u"End Function\n"
    u"Function HostCalls()\n"
    u"  Dim i, r\n"
    u"  For i = 1 To 1000000\n"
    u"    r = Host.Mix(i, 2.5, 1)\n"
    u"  Next\n"
    u"  HostCalls = r\n"
    u"End Function\n"
    u"Class Meter\n"
    u"  Private m_value\n"
    u"  Public Property Get Value()\n"
    u"    Value = m_value\n"
    u"  End Property\n"
    u"  Public Property Let Value(v)\n"
    u"    m_value = v\n"
    u"  End Property\n"
    u"End Class\n"
    u"Function Properties()\n"
    u"  Dim m, i\n"
    u"  Set m = New Meter\n"
    u"  m.Value = 0\n"
    u"  For i = 1 To 1000000\n"
    u"    m.Value = m.Value + 1\n"
    u"  Next\n"
    u"  Properties = m.Value\n"
    u"End Function\n";

const char16_t* const kGlobalLoop =
    u"s = 0\n"
    u"For i = 1 To 1000000\n"
    u"  s = s + Sin(i * 0.001) * i\n"
    u"Next\n";

class Engine {
public:
    Engine() {
        bench::useLibraries({"VBScript"});
        script = bench::make<IActiveScript>(u"VBScript");
        site = qrt::create<Site>();
        script->SetScriptSite(site.get());
        parser = script.as<IActiveScriptParse>();
        parser->InitNew();
        script->AddNamedItem(u"Host", SCRIPTITEM_ISVISIBLE);
        parse(kProcedures);
        script->SetScriptState(SCRIPTSTATE_CONNECTED);
        script->GetScriptDispatch(nullptr, dispatch.out());
    }
    ~Engine() { script->Close(); }

    void parse(const char16_t* code) {
        EXCEPINFO excep{};
        parser->ParseScriptText(code, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISVISIBLE, nullptr, &excep);
    }
    qrt::Variant call(const char16_t* name, std::vector<qrt::Variant> args = {}) {
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        dispatch->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        DISPPARAMS dp{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        qrt::Variant result;
        dispatch->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
        return result;
    }

    qrt::ComPtr<IActiveScript> script;
    qrt::ComPtr<IActiveScriptParse> parser;
    qrt::ComPtr<Site> site;
    qrt::ComPtr<IDispatch> dispatch;
};

Engine& engine() {
    static Engine e;
    return e;
}

void SinLoopFunction(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(engine().call(u"SinLoop"));
}
BENCHMARK(SinLoopFunction)->Unit(benchmark::kMillisecond);

void SinLoopGlobal(benchmark::State& state) {
    for (auto _ : state) engine().parse(kGlobalLoop);
}
BENCHMARK(SinLoopGlobal)->Unit(benchmark::kMillisecond);

void Calls(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(engine().call(u"Calls"));
}
BENCHMARK(Calls)->Unit(benchmark::kMillisecond);

void Append(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(engine().call(u"Append", {qrt::Variant(static_cast<int>(state.range(0)))}));
}
BENCHMARK(Append)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond);

void HostCalls(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(engine().call(u"HostCalls"));
}
BENCHMARK(HostCalls)->Unit(benchmark::kMillisecond);

void Properties(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(engine().call(u"Properties"));
}
BENCHMARK(Properties)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

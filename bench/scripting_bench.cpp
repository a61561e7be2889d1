// The scripting library as VBScript programs use it, run by the VBScript
// engine:
//   ReadLineSplit    every line of a 100 MB CSV file with ReadLine and Split
//   DictionaryAddItem  1,000,000 Add and 1,000,000 Item of string keys
// bench/scripting_compare.py runs the same loops in Python 3 in the same run
// and prints both medians and their ratio. The CSV file is made once, at
// $QUILLAN_BENCH_CSV (default /tmp/quillan-bench-100mb.csv): lines
// "i,i/1000 with three decimals,(i*7919) mod 100003" until 100 MiB, or
// until $QUILLAN_BENCH_CSV_MIB MiB (a small file for callgrind; give it its
// own path, since a file at the path of another size is written anew).
#include "bench/bench_support.h"

#include "runtime/activscp.h"
#include "runtime/object.h"
#include "runtime/text.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

long long fileBytes() {
    const char* mib = std::getenv("QUILLAN_BENCH_CSV_MIB");
    const long long n = mib && *mib ? std::atoll(mib) : 0;
    return (n > 0 ? n : 100) << 20;
}

std::string csvPath() {
    const char* path = std::getenv("QUILLAN_BENCH_CSV");
    return path && *path ? path : "/tmp/quillan-bench-100mb.csv";
}

// Writes the CSV file unless it is there with its full size.
void makeCsv(const std::string& path) {
    const long long fileSize = fileBytes();
    struct stat info {};
    // The file ends with the first line that reaches the size.
    if (::stat(path.c_str(), &info) == 0 && info.st_size >= fileSize && info.st_size < fileSize + 64) return;
    std::ofstream out(path, std::ios::binary);
    out << "index,time,value\n";
    long long bytes = 17;
    char line[64];
    for (long long i = 1; bytes < fileSize; ++i) {
        const int n = std::snprintf(line, sizeof line, "%lld,%lld.%03lld,%lld\n", i, i / 1000, i % 1000, (i * 7919) % 100003);
        out.write(line, n);
        bytes += n;
    }
}

class Site final : public qrt::ComObject<IActiveScriptSite> {
public:
    HRESULT GetLCID(LCID* lcid) override { *lcid = LOCALE_USER_DEFAULT; return S_OK; }
    HRESULT GetItemInfo(LPCOLESTR, DWORD, IUnknown**, ITypeInfo**) override { return TYPE_E_ELEMENTNOTFOUND; }
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
};

const char16_t* const kProcedures =
    u"Function ReadLineSplit(path)\n"
    u"  Dim fso, ts, fields, n\n"
    u"  Set fso = CreateObject(\"Scripting.FileSystemObject\")\n"
    u"  Set ts = fso.OpenTextFile(path)\n"
    u"  n = 0\n"
    u"  Do Until ts.AtEndOfStream\n"
    u"    fields = Split(ts.ReadLine, \",\")\n"
    u"    n = n + 1\n"
    u"  Loop\n"
    u"  ts.Close\n"
    u"  ReadLineSplit = n\n"
    u"End Function\n"
    u"Function DictionaryAddItem()\n"
    u"  Dim d, i, s\n"
    u"  Set d = CreateObject(\"Scripting.Dictionary\")\n"
    u"  For i = 1 To 1000000\n"
    u"    d.Add \"k\" & i, i\n"
    u"  Next\n"
    u"  s = 0\n"
    u"  For i = 1 To 1000000\n"
    u"    s = s + d.Item(\"k\" & i)\n"
    u"  Next\n"
    u"  DictionaryAddItem = s\n"
    u"End Function\n";

class Engine {
public:
    Engine() {
        bench::useLibraries({"VBScript", "Scripting"});
        script = bench::make<IActiveScript>(u"VBScript");
        site = qrt::create<Site>();
        script->SetScriptSite(site.get());
        parser = script.as<IActiveScriptParse>();
        parser->InitNew();
        EXCEPINFO excep{};
        parser->ParseScriptText(kProcedures, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISVISIBLE, nullptr, &excep);
        script->SetScriptState(SCRIPTSTATE_CONNECTED);
        script->GetScriptDispatch(nullptr, dispatch.out());
    }
    ~Engine() { script->Close(); }

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

void ReadLineSplit(benchmark::State& state) {
    const std::string path = csvPath();
    makeCsv(path);
    qrt::Variant lines;
    for (auto _ : state) lines = engine().call(u"ReadLineSplit", {qrt::Variant(std::string_view(path))});
    lines.changeType(VT_R8);
    state.counters["lines"] = lines.dblVal;
}
BENCHMARK(ReadLineSplit)->Unit(benchmark::kMillisecond)->Iterations(1);

void DictionaryAddItem(benchmark::State& state) {
    qrt::Variant sum;
    for (auto _ : state) sum = engine().call(u"DictionaryAddItem");
    sum.changeType(VT_R8);
    state.counters["sum"] = sum.dblVal;
}
BENCHMARK(DictionaryAddItem)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

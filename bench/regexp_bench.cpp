// VBScript's RegExp through IDispatch, as a script calls it:
//   ReplaceDigits   Global "\d+" -> "<$&>" over a 1 MiB text
//   ExecuteDigits   Execute of the same pattern and Count of the result
// bench/regexp_compare.py runs the replacement with Python's re.sub in the
// same run and prints both medians and the ratio. The text is the sentence
// below repeated to 1,048,576 characters, built alike on both sides.
#include "bench/bench_support.h"

#include "runtime/dispatch.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

DISPID idOf(IDispatch* object, const char16_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

// Calls a member with arguments given first to last, as a script engine does.
HRESULT invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr,
                      static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    return object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

void fail(const char* what) {
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

constexpr char16_t kSentence[] = u"lorem 123 ipsum 45678 dolor 9 sit amet, 2024 consectetur 31 adipiscing\n";
constexpr std::size_t kTextLength = 1 << 20;

const std::u16string& text() {
    static const std::u16string t = [] {
        std::u16string s;
        while (s.size() < kTextLength) s += kSentence;
        s.resize(kTextLength);
        return s;
    }();
    return t;
}

qrt::ComPtr<IDispatch> digitsPattern() {
    bench::useLibraries({"VBScript"});
    qrt::ComPtr<IDispatch> re = bench::make<IDispatch>(u"VBScript.RegExp");
    if (FAILED(invoke(re.get(), idOf(re.get(), u"Pattern"), DISPATCH_PROPERTYPUT, {qrt::Variant(u"\\d+")}, nullptr)) ||
        FAILED(invoke(re.get(), idOf(re.get(), u"Global"), DISPATCH_PROPERTYPUT, {qrt::Variant(true)}, nullptr)))
        fail("setting the pattern");
    return re;
}

void ReplaceDigits(benchmark::State& state) {
    qrt::ComPtr<IDispatch> re = digitsPattern();
    const qrt::Variant subject{std::u16string_view(text())};
    const qrt::Variant with(u"<$&>");
    const DISPID replace = idOf(re.get(), u"Replace");
    std::size_t length = 0;
    for (auto _ : state) {
        qrt::Variant result;
        if (FAILED(invoke(re.get(), replace, DISPATCH_METHOD, {VARIANT(subject), VARIANT(with)}, &result))) fail("Replace");
        length = SysStringLen(result.bstrVal);
        benchmark::DoNotOptimize(length);
    }
    state.counters["result_chars"] = static_cast<double>(length);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTextLength * 2));
}
BENCHMARK(ReplaceDigits)->Unit(benchmark::kMillisecond);

void ExecuteDigits(benchmark::State& state) {
    qrt::ComPtr<IDispatch> re = digitsPattern();
    const qrt::Variant subject{std::u16string_view(text())};
    const DISPID execute = idOf(re.get(), u"Execute");
    LONG count = 0;
    for (auto _ : state) {
        qrt::Variant matches, n;
        if (FAILED(invoke(re.get(), execute, DISPATCH_METHOD, {VARIANT(subject)}, &matches)) || matches.vt != VT_DISPATCH ||
            FAILED(invoke(matches.pdispVal, idOf(matches.pdispVal, u"Count"), DISPATCH_PROPERTYGET, {}, &n)))
            fail("Execute");
        count = n.lVal;
        benchmark::DoNotOptimize(count);
    }
    state.counters["matches"] = static_cast<double>(count);
}
BENCHMARK(ExecuteDigits)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// The JScript engine through Active Scripting, as a host drives it: host
// objects, values both ways, errors with their lines, the script dispatch,
// stopping a script, and references released at the end.
#include "engines/jscript/tests/recorder.h"
#include "engines/jscript/tests/script_values.h"
#include "engines/jscript/tests/test_site.h"
#include "runtime/safearray.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/text.h"
#include "runtime/typeinfo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using qtest::EngineUnderTest;
using qtest::Recorder;

using qtest::text;

class JScriptEngine : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::registerLibrary("JScript");
        qtest::registerLibrary("Sumtrel");
        qtest::registerLibrary("Tarvik");
        // Components describe themselves with type information made once per
        // process; make it before counting objects.
        static const bool warmedUp = [] {
            EngineUnderTest js(u"JScript");
            return SUCCEEDED(js.run(u"new ActiveXObject('Sumtrel.MathClass'); new ActiveXObject('Tarvik.Series');"));
        }();
        EXPECT_TRUE(warmedUp);
        m_objects = qrt::liveObjectCount();
        m_arrays = qrt::liveSafeArrayCount();
    }
    void TearDown() override {
        EXPECT_EQ(qrt::liveObjectCount(), m_objects) << "objects leaked";
        EXPECT_EQ(qrt::liveSafeArrayCount(), m_arrays) << "safe arrays leaked";
        EXPECT_EQ(qrt::refUnderflowCount(), 0);
    }

private:
    long m_objects = 0;
    long m_arrays = 0;
};

TEST_F(JScriptEngine, HostCallsReceiveScriptValuesWithTheirTypes) {
    auto recorder = qrt::create<Recorder>();
    {
        EngineUnderTest js(u"JScript");
        ASSERT_TRUE(js.engine);
        js.publish(u"rec", recorder->unknown());
        ASSERT_EQ(js.run(u"rec.Take(1, 2.5, 'abc\u00e9', true, null, undefined, 3000000000, -0, new Date(0));\n"
                         u"rec.Take([0, 1, 2], [[1, 'x'], []]);\n"
                         u"rec.Take(rec, {a: 5}, function (x) { return x * 2; });\n"
                         u"rec.Count = 7;\n"
                         u"var seen = rec.Count + rec.Twice(4);\n"),
                  S_OK);
        ASSERT_EQ(recorder->calls.size(), 3u);
        const auto& scalars = recorder->calls[0];
        ASSERT_EQ(scalars.size(), 9u);
        const VARTYPE types[] = {VT_I4, VT_R8, VT_BSTR, VT_BOOL, VT_NULL, VT_EMPTY, VT_R8, VT_R8, VT_DATE};
        for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(scalars[i].vt, types[i]) << "argument " << i;
        EXPECT_EQ(scalars[0].lVal, 1);
        EXPECT_EQ(text(scalars[2]), "abc\xC3\xA9");
        EXPECT_EQ(scalars[3].boolVal, VARIANT_TRUE);
        EXPECT_EQ(scalars[6].dblVal, 3e9);
        EXPECT_DOUBLE_EQ(scalars[8].date, 25569.0);

        // Script arrays arrive as safe arrays of variants, nested ones nested.
        const auto& arrays = recorder->calls[1];
        ASSERT_EQ(arrays[0].vt, VT_ARRAY | VT_VARIANT);
        LONG lower = -1, upper = -1;
        SafeArrayGetLBound(arrays[0].parray, 1, &lower);
        SafeArrayGetUBound(arrays[0].parray, 1, &upper);
        EXPECT_EQ(lower, 0);
        EXPECT_EQ(upper, 2);
        auto* elements = static_cast<VARIANT*>(arrays[0].parray->pvData);
        EXPECT_EQ(elements[2].vt, VT_I4);
        EXPECT_EQ(elements[2].lVal, 2);
        auto* nested = static_cast<VARIANT*>(arrays[1].parray->pvData);
        ASSERT_EQ(nested[0].vt, VT_ARRAY | VT_VARIANT);
        EXPECT_EQ(text(static_cast<VARIANT*>(nested[0].parray->pvData)[1]), "x");
        EXPECT_EQ(nested[1].parray->rgsabound[0].cElements, 0u);

        // A host object comes back as itself; script objects and functions
        // become dispatch objects the host can use.
        const auto& objects = recorder->calls[2];
        ASSERT_EQ(objects[0].vt, VT_DISPATCH);
        EXPECT_EQ(objects[0].pdispVal, static_cast<IDispatch*>(recorder.get()));
        ASSERT_EQ(objects[1].vt, VT_DISPATCH);
        EXPECT_EQ(text(qtest::get(objects[1].pdispVal, u"a").value), "5");
        EXPECT_EQ(qtest::get(objects[1].pdispVal, u"missing").hr, DISP_E_UNKNOWNNAME);
        ASSERT_EQ(objects[2].vt, VT_DISPATCH);
        DISPPARAMS params{};
        qrt::Variant arg(21);
        params.rgvarg = &arg;
        params.cArgs = 1;
        qrt::Variant doubled;
        EXPECT_EQ(objects[2].pdispVal->Invoke(DISPID_VALUE, GUID_NULL, 0, DISPATCH_METHOD, &params, &doubled, nullptr,
                                              nullptr),
                  S_OK);
        EXPECT_EQ(text(doubled), "42");

        EXPECT_EQ(recorder->count, 7);
        EXPECT_EQ(text(js.eval(u"seen")), "15");
        EXPECT_TRUE(js.site->errors.empty());
        recorder->calls.clear();  // script objects must not outlive the test's checks
    }
}

TEST_F(JScriptEngine, TypedComponentsAreCalledByTheirMembers) {
    EngineUnderTest js(u"JScript");
    ASSERT_EQ(js.run(u"var m = new ActiveXObject('Sumtrel.MathClass');\n"
                     u"var j0 = m.J0(0), jn = m.Jn(1, 2.5);\n"
                     u"var s = new ActiveXObject('Tarvik.Series');\n"
                     u"s.title = 'first'; s.IsLine = false; s.Add(1, 2); s.Add(3, 4);\n"
                     u"var missing;\n"
                     u"try { new ActiveXObject('No.Such.Class'); } catch (e) { missing = e.number; }\n"),
              S_OK)
        << (js.site->errors.empty() ? "" : js.site->errors[0].description);
    EXPECT_EQ(text(js.eval(u"j0")), "1");
    EXPECT_NEAR(js.eval(u"jn").dblVal, 0.4970941, 1e-6);
    EXPECT_EQ(text(js.eval(u"s.title")), "first");
    EXPECT_EQ(js.eval(u"s.IsLine").boolVal, VARIANT_FALSE);
    EXPECT_EQ(js.eval(u"typeof s.Add").bstrVal, std::u16string_view(u"function"));
    EXPECT_EQ(js.eval(u"missing").lVal, static_cast<LONG>(0x800A01AD));
    EXPECT_TRUE(js.site->errors.empty());
}

TEST_F(JScriptEngine, SafeArraysAreVBArraysAndCollectionsEnumerate) {
    auto recorder = qrt::create<Recorder>();
    {
        // A 2 x 3 array of integers with lower bounds 1 and 0.
        SAFEARRAYBOUND bounds[] = {{2, 1}, {3, 0}};
        SAFEARRAY* array = SafeArrayCreate(VT_I4, 2, bounds);
        for (LONG j = 0; j < 3; ++j) {
            for (LONG i = 1; i <= 2; ++i) {
                LONG index[] = {i, j};
                LONG value = i * 10 + j;
                SafeArrayPutElement(array, index, &value);
            }
        }
        recorder->toGive.vt = VT_ARRAY | VT_I4;
        recorder->toGive.parray = array;
        recorder->items = {qrt::Variant(1), qrt::Variant(u"two"), qrt::Variant(3.5)};

        EngineUnderTest js(u"JScript");
        js.publish(u"rec", recorder->unknown());
        ASSERT_EQ(js.run(u"var a = new VBArray(rec.Give());\n"
                         u"var shape = [a.dimensions(), a.lbound(), a.ubound(1), a.lbound(2), a.ubound(2)].join();\n"
                         u"var item = a.getItem(2, 1), flat = a.toArray().join();\n"
                         u"var bad; try { a.getItem(9, 9); } catch (e) { bad = e.description; }\n"
                         u"rec.Take(a);\n"
                         u"var e = new Enumerator(rec), seen = [];\n"
                         u"for (; !e.atEnd(); e.moveNext()) seen.push(e.item());\n"
                         u"e.moveFirst(); seen.push(e.item());\n"),
                  S_OK)
            << (js.site->errors.empty() ? "" : js.site->errors[0].description);
        EXPECT_EQ(text(js.eval(u"shape")), "2,1,2,0,2");
        EXPECT_EQ(text(js.eval(u"item")), "21");
        EXPECT_EQ(text(js.eval(u"flat")), "10,20,11,21,12,22");
        EXPECT_EQ(text(js.eval(u"bad")), "Subscript out of range");
        ASSERT_EQ(recorder->calls.size(), 1u);
        EXPECT_EQ(recorder->calls[0][0].vt, VT_ARRAY | VT_I4);
        EXPECT_EQ(text(js.eval(u"seen.join('|')")), "1|two|3.5|1");
    }
}

struct ErrorCase {
    const char16_t* script;
    ULONG startLine;
    const char* source;
    ULONG line;
    const char* descriptionPart;
    const char* lineText;
};

TEST_F(JScriptEngine, ErrorsReachTheSiteWithTheirScriptLine) {
    const ErrorCase cases[] = {
        {u"var a = 1;\nvar b = ;\n", 1, "JScript compilation error", 2, "", "var b = ;"},
        {u"var a = 1;\nvar b = ;\n", 10, "JScript compilation error", 11, "", "var b = ;"},
        {u"var x = 1;\n\nnoSuchFunction();\n", 1, "JScript runtime error", 3, "noSuchFunction", "noSuchFunction();"},
        {u"var x = 1;\nrec.Fail();\n", 1, "JScript runtime error", 2, "Widget broke", "rec.Fail();"},
        {u"\n\nthrow 'bad input';\n", 1, "JScript runtime error", 3, "bad input", "throw 'bad input';"},
        {u"function f() {\n  return new VBArray(5);\n}\nf();\n", 1, "JScript runtime error", 2, "VBArray expected",
         "  return new VBArray(5);"},
        {u"var o = null;\no.member = 1;\n", 5, "JScript runtime error", 6, "", "o.member = 1;"},
    };
    auto recorder = qrt::create<Recorder>();
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(qrt::encodeUtf8(c.script));
        EngineUnderTest js(u"JScript");
        js.publish(u"rec", recorder->unknown());
        HRESULT hr = js.parse(c.script, c.startLine);
        if (SUCCEEDED(hr)) hr = js.engine->SetScriptState(SCRIPTSTATE_CONNECTED);
        EXPECT_EQ(hr, SCRIPT_E_REPORTED);
        ASSERT_EQ(js.site->errors.size(), 1u);
        const auto& e = js.site->errors[0];
        EXPECT_EQ(e.source, c.source);
        EXPECT_EQ(e.line, c.line);
        EXPECT_NE(e.description.find(c.descriptionPart), std::string::npos) << e.description;
        EXPECT_FALSE(e.description.empty());
        EXPECT_EQ(e.lineText, c.lineText);
        EXPECT_LT(e.scode, 0);
    }
}

TEST_F(JScriptEngine, HostFailuresAreCatchableExceptions) {
    auto recorder = qrt::create<Recorder>();
    EngineUnderTest js(u"JScript");
    js.publish(u"rec", recorder->unknown());
    ASSERT_EQ(js.run(u"var msg;\n"
                     u"try { rec.Fail(); } catch (e) { msg = e.description + '|' + (e.number >>> 0).toString(16); }\n"
                     u"var typeMismatch; try { rec.Twice('x'); } catch (e) { typeMismatch = e.number >>> 0; }\n"
                     u"var unknown = typeof rec.NoSuchMember;\n"),
              S_OK);
    EXPECT_TRUE(js.site->errors.empty());
    EXPECT_EQ(text(js.eval(u"msg")), "Widget broke|80040201");
    EXPECT_EQ(text(js.eval(u"typeMismatch")), std::to_string(0x80020005u));
    EXPECT_EQ(text(js.eval(u"unknown")), "undefined");
}

TEST_F(JScriptEngine, ScriptDispatchListsAndCallsGlobalFunctions) {
    EngineUnderTest js(u"JScript");
    js.publish(u"rec", qrt::create<Recorder>()->unknown());
    ASSERT_EQ(js.run(u"function f() {}\nfunction g(a) {}\nfunction h(a, b) { return a * b; }\nvar v = 3;\n"
                     u"function bad() {\n  throw new Error('deliberate');\n}\n"),
              S_OK);
    qrt::ComPtr<IDispatch> global;
    ASSERT_EQ(js.engine->GetScriptDispatch(nullptr, global.out()), S_OK);

    qrt::ComPtr<ITypeInfo> info;
    ASSERT_EQ(global->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    std::vector<std::pair<std::string, int>> functions;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* desc = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &desc), S_OK);
        EXPECT_EQ(desc->funckind, FUNC_DISPATCH);
        EXPECT_EQ(desc->invkind, INVOKE_FUNC);
        BSTR name = nullptr;
        UINT count = 0;
        info->GetNames(desc->memid, &name, 1, &count);
        functions.emplace_back(qrt::bstrToUtf8(name), desc->cParams);
        SysFreeString(name);
        info->ReleaseFuncDesc(desc);
    }
    info->ReleaseTypeAttr(attr);
    const std::vector<std::pair<std::string, int>> expected = {{"f", 0}, {"g", 1}, {"h", 2}, {"bad", 0}};
    EXPECT_EQ(functions, expected);

    EXPECT_EQ(text(qtest::call(global.get(), u"h", {qrt::Variant(6), qrt::Variant(7)}, DISPATCH_METHOD).value), "42");
    EXPECT_EQ(text(qtest::get(global.get(), u"v").value), "3");
    EXPECT_EQ(qtest::put(global.get(), u"v", qrt::Variant(5)).hr, S_OK);
    EXPECT_EQ(text(js.eval(u"v")), "5");
    EXPECT_EQ(qtest::call(global.get(), u"nothing", {}, DISPATCH_METHOD).hr, DISP_E_UNKNOWNNAME);
    EXPECT_TRUE(js.site->errors.empty());

    // An error in a called function is reported with its line.
    EXPECT_EQ(qtest::call(global.get(), u"bad", {}, DISPATCH_METHOD).hr, SCRIPT_E_REPORTED);
    ASSERT_EQ(js.site->errors.size(), 1u);
    EXPECT_EQ(js.site->errors[0].line, 6u);
    EXPECT_NE(js.site->errors[0].description.find("deliberate"), std::string::npos);
}

TEST_F(JScriptEngine, CodeParsedBeforeStartRunsAtConnectAndItemsAreAskedForOnce) {
    auto recorder = qrt::create<Recorder>();
    EngineUnderTest js(u"JScript");
    js.publish(u"rec", recorder->unknown());
    ASSERT_EQ(js.parse(u"rec.Take(1);"), S_OK);
    ASSERT_EQ(js.parse(u"rec.Take(2); rec.Take(3);"), S_OK);
    EXPECT_TRUE(recorder->calls.empty());
    EXPECT_EQ(js.site->itemRequests, 0);
    ASSERT_EQ(js.engine->SetScriptState(SCRIPTSTATE_CONNECTED), S_OK);
    ASSERT_EQ(recorder->calls.size(), 3u);
    EXPECT_EQ(recorder->calls[2][0].lVal, 3);
    EXPECT_EQ(js.site->itemRequests, 1);
    // Once connected, new text runs at once.
    ASSERT_EQ(js.parse(u"rec.Take(4);"), S_OK);
    EXPECT_EQ(recorder->calls.size(), 4u);
    EXPECT_EQ(js.site->enters, js.site->leaves);
    EXPECT_GT(js.site->enters, 0);
    // An unknown named item is a script error, not a crash.
    js.engine->AddNamedItem(u"ghost", SCRIPTITEM_ISVISIBLE);
    EXPECT_EQ(js.parse(u"ghost.Take(1);"), SCRIPT_E_REPORTED);
    ASSERT_EQ(js.site->errors.size(), 1u);
    EXPECT_NE(js.site->errors[0].description.find("'ghost' is undefined"), std::string::npos);
}

TEST_F(JScriptEngine, SitePollAsksWhetherALongRunMayGoOnAndCanStopIt) {
    EngineUnderTest js(u"JScript");
    // A run of some 300 ms is asked about every 100 ms and goes on.
    ASSERT_EQ(js.run(u"var t = new Date().getTime(); while (new Date().getTime() - t < 300) {}"), S_OK);
    EXPECT_GE(js.site->polls.load(), 1);
    EXPECT_TRUE(js.site->errors.empty());

    // The third poll says stop, on the script's own thread; a try/catch in
    // the script cannot hold the stop.
    const std::thread::id scriptThread = std::this_thread::get_id();
    bool otherThread = false;
    js.site->polls = 0;
    js.site->keepRunning = [&] {
        if (std::this_thread::get_id() != scriptThread) otherThread = true;
        return js.site->polls >= 3 ? S_FALSE : S_OK;
    };
    EXPECT_EQ(js.parse(u"var n = 0;\nfor (;;) { try { for (;;) { n++; } } catch (e) { n = -1; } }\n"), E_ABORT);
    EXPECT_EQ(js.site->polls.load(), 3);
    EXPECT_FALSE(otherThread);
    ASSERT_EQ(js.site->errors.size(), 1u);
    EXPECT_EQ(js.site->errors[0].description, "Script stopped by the user");
    EXPECT_GT(js.eval(u"n").lVal, 0);

    // The stop was for that run only.
    js.site->keepRunning = nullptr;
    EXPECT_EQ(text(js.eval(u"6 * 7")), "42");
}

TEST_F(JScriptEngine, InterruptStopsARunningScriptEvenInsideTryCatch) {
    EngineUnderTest js(u"JScript");
    ASSERT_EQ(js.parse(u"var n = 0;\nfor (;;) { try { for (;;) { n++; } } catch (e) { n = -1; } }\n"), S_OK);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        js.engine->InterruptScriptThread(SCRIPTTHREADID_BASE, nullptr, 0);
    });
    const HRESULT hr = js.engine->SetScriptState(SCRIPTSTATE_CONNECTED);
    stopper.join();
    EXPECT_EQ(hr, E_ABORT);
    EXPECT_TRUE(js.site->errors.empty());  // a stop without a description is not an error report
    EXPECT_GT(js.eval(u"n").lVal, 0);
    // The engine runs scripts again afterwards.
    EXPECT_EQ(text(js.eval(u"6 * 7")), "42");

    // A host that describes the stop hears of it as an error.
    ASSERT_EQ(js.parse(u"function spin() { for (;;) {} }"), S_OK);
    EXCEPINFO why{};
    why.scode = E_ABORT;
    why.bstrDescription = qrt::allocBstr(std::u16string_view(u"Stopped by the user"));
    std::thread stopper2([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        js.engine->InterruptScriptThread(SCRIPTTHREADID_ALL, &why, 0);
    });
    qrt::ComPtr<IDispatch> global;
    js.engine->GetScriptDispatch(nullptr, global.out());
    EXPECT_EQ(qtest::call(global.get(), u"spin", {}, DISPATCH_METHOD).hr, E_ABORT);
    stopper2.join();
    qrt::clearExcepInfo(&why);
    ASSERT_EQ(js.site->errors.size(), 1u);
    EXPECT_EQ(js.site->errors[0].description, "Stopped by the user");
}

#if !defined(__SANITIZE_ADDRESS__)
// In a child process with a data limit (the sanitizers reserve more address
// space than any such limit allows): a script that fills its heap ends with
// "Out of memory" promptly, even when it catches every error.
TEST_F(JScriptEngine, AScriptThatExhaustsMemoryEndsWithOutOfMemory) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = rlim_t(256) << 20;
        ::setrlimit(RLIMIT_DATA, &limit);
        int status = 1;
        {
            EngineUnderTest js(u"JScript");
            const auto start = std::chrono::steady_clock::now();
            js.parse(u"var a = [];\n"
                     u"for (;;) { try { a.push(new ArrayBuffer(65536), {n: a.length}); } catch (e) {} }\n");
            const HRESULT hr = js.engine->SetScriptState(SCRIPTSTATE_CONNECTED);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const bool described = js.site->errors.size() == 1 && js.site->errors[0].description == "Out of memory" &&
                                   js.site->errors[0].line == 2;
            if (FAILED(hr) && described) status = 0;
            if (status) std::fprintf(stderr, "hr 0x%08X after %.1f s, %zu errors\n", static_cast<unsigned>(hr), seconds,
                                     js.site->errors.size());
            js.engine->SetScriptState(SCRIPTSTATE_CLOSED);
        }
        std::fflush(stderr);
        ::_exit(status);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST_F(JScriptEngine, CloseReleasesEverythingAndLaterCallsFail) {
    auto recorder = qrt::create<Recorder>();
    qrt::ComPtr<IDispatch> global;
    {
        EngineUnderTest js(u"JScript");
        js.publish(u"rec", recorder->unknown());
        ASSERT_EQ(js.run(u"var keep = rec; var s = new ActiveXObject('Tarvik.Series'); rec.Take({x: 1});"), S_OK);
        js.engine->GetScriptDispatch(nullptr, global.out());
        EXPECT_EQ(js.engine->Close(), S_OK);
        SCRIPTSTATE state{};
        js.engine->GetScriptState(&state);
        EXPECT_EQ(state, SCRIPTSTATE_CLOSED);
        EXPECT_EQ(js.parse(u"1"), E_UNEXPECTED);
        EXPECT_EQ(js.engine->AddNamedItem(u"x", 0), E_UNEXPECTED);
    }
    // Objects the host still holds answer, but cannot reach the closed script.
    EXPECT_EQ(qtest::call(global.get(), u"anything", {}, DISPATCH_METHOD).hr, E_UNEXPECTED);
    ASSERT_EQ(recorder->calls.size(), 1u);
    EXPECT_EQ(qtest::get(recorder->calls[0][0].pdispVal, u"x").hr, E_UNEXPECTED);
    recorder->calls.clear();
    global.reset();
    EXPECT_EQ(recorder->refCount(), 1u);
}

}  // namespace

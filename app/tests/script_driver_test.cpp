// The script host with the JScript engine: running files and text, listing
// functions, calling them, and reporting errors with their lines.
#include "app/core/script_driver.h"
#include "engines/jscript/tests/recorder.h"
#include "runtime/activation.h"
#include "runtime/bstr.h"
#include "runtime/safearray.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/testing/test_support.h"
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using quillan::CScriptDriver;

struct RecordingReporter final : quillan::ScriptUi {
    std::vector<quillan::ScriptErrorReport> reports;
    int focusRequests = 0;
    int runsStarted = 0, runsEnded = 0, polls = 0;
    int stopAtPoll = 0;  // 0: never stop
    void showScriptError(const quillan::ScriptErrorReport& report) override { reports.push_back(report); }
    void focusScriptEditor() override { ++focusRequests; }
    void scriptRunStarted() override { ++runsStarted; }
    void scriptRunEnded() override { ++runsEnded; }
    bool queryContinue() override { return ++polls != stopAtPoll; }
    bool wantsPolling() const override { return true; }
};

std::vector<std::string> functionNames(CScriptDriver& driver) {
    qrt::Variant names;
    EXPECT_EQ(driver.GetFunctionNames(&names), S_OK);
    EXPECT_EQ(names.vt, VT_ARRAY | VT_BSTR);
    std::vector<std::string> result;
    LONG lower = -1;
    SafeArrayGetLBound(names.parray, 1, &lower);
    EXPECT_EQ(lower, 0);
    auto* items = static_cast<BSTR*>(names.parray->pvData);
    for (ULONG i = 0; i < names.parray->rgsabound[0].cElements; ++i) result.push_back(qrt::bstrToUtf8(items[i]));
    return result;
}

class ScriptDriver : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::registerLibrary("JScript");
        ASSERT_EQ(CLSIDFromProgID(u"JScript", &m_jscript), S_OK);
        m_objects = qrt::liveObjectCount();
        m_driver = qrt::create<CScriptDriver>();
        m_driver->SetReporter(&m_reporter);
    }
    void TearDown() override {
        if (m_driver) m_driver->Close();
        m_driver.reset();
        m_recorder.reset();
        EXPECT_EQ(qrt::liveObjectCount(), m_objects) << "objects leaked";
    }

    // A driver with a JScript engine, a Recorder published as "Graf", and text.
    void start(const std::u16string& text) {
        ASSERT_EQ(m_driver->CreateEngine(m_jscript), S_OK);
        m_recorder = qrt::create<qtest::Recorder>();
        ASSERT_EQ(m_driver->AddNamedItem(u"Graf", m_recorder->unknown()), S_OK);
        ASSERT_EQ(m_driver->ParseText(text.c_str()), S_OK);
    }

    CLSID m_jscript{};
    RecordingReporter m_reporter;
    qrt::ComPtr<CScriptDriver> m_driver;
    qrt::ComPtr<qtest::Recorder> m_recorder;
    long m_objects = 0;
};

TEST_F(ScriptDriver, RunsTheScriptAndListsItsParameterlessFunctions) {
    start(u"Graf.Take(1, 2.5, 'three');\n"
          u"function f() { Graf.Take('f'); }\n"
          u"function g(a) {}\n"
          u"function draw() {}\n");
    ASSERT_EQ(m_driver->Run(), S_OK);
    ASSERT_EQ(m_recorder->calls.size(), 1u);
    const auto& args = m_recorder->calls[0];
    EXPECT_EQ(args[0].vt, VT_I4);
    EXPECT_EQ(args[1].vt, VT_R8);
    EXPECT_EQ(args[2].vt, VT_BSTR);
    EXPECT_EQ(functionNames(*m_driver), (std::vector<std::string>{"f", "draw"}));

    EXPECT_EQ(m_driver->CallFunction(u"f"), S_OK);
    EXPECT_EQ(m_recorder->calls.size(), 2u);
    // An unknown name fails before anything runs, and nobody is told.
    EXPECT_TRUE(FAILED(m_driver->CallFunction(u"nothing")));
    EXPECT_TRUE(m_reporter.reports.empty());

    LONG line = 99, position = 99;
    BSTR description = nullptr;
    EXPECT_EQ(m_driver->GetLastError(&line, &position, &description), S_FALSE);
    EXPECT_EQ(line, 99);
    EXPECT_EQ(description, nullptr);
}

TEST_F(ScriptDriver, ErrorsAreReportedWithTheirLinesAndListenersRunNewestFirst) {
    start(u"var x = 1;\n"
          u"function first() {\n"
          u"  Graf.Fail();\n"
          u"}\n"
          u"function second() {\n"
          u"\n"
          u"  undefinedName.call();\n"
          u"}\n");
    std::vector<std::string> order;
    const int older = m_driver->AddErrorListener([&](CScriptDriver&) { order.push_back("older"); });
    m_driver->AddErrorListener([&](CScriptDriver& driver) {
        LONG line = 0, position = 0;
        BSTR description = nullptr;
        EXPECT_EQ(driver.GetLastError(&line, &position, &description), S_OK);
        order.push_back("newer:" + std::to_string(line));
        SysFreeString(description);
    });
    ASSERT_EQ(m_driver->Run(), S_OK);
    EXPECT_EQ(m_driver->CallFunction(u"first"), SCRIPT_E_REPORTED);
    EXPECT_EQ(m_driver->CallFunction(u"second"), SCRIPT_E_REPORTED);

    ASSERT_EQ(m_reporter.reports.size(), 2u);
    EXPECT_EQ(m_reporter.reports[0].message(), u"JScript runtime error\nWidget broke");
    EXPECT_EQ(m_reporter.reports[0].line, 3);
    EXPECT_EQ(m_reporter.reports[1].line, 7);
    EXPECT_EQ(order, (std::vector<std::string>{"newer:3", "older", "newer:7", "older"}));
    EXPECT_EQ(m_reporter.focusRequests, 2);

    LONG line = 0, position = -5;
    BSTR description = nullptr;
    EXPECT_EQ(m_driver->GetLastError(&line, &position, &description), S_OK);
    EXPECT_EQ(line, 7);
    EXPECT_GE(position, 0);
    EXPECT_NE(qrt::bstrToUtf8(description).find("undefinedName"), std::string::npos);
    SysFreeString(description);

    // A removed listener is not called again.
    m_driver->RemoveErrorListener(older);
    EXPECT_EQ(m_driver->CallFunction(u"first"), SCRIPT_E_REPORTED);
    EXPECT_EQ(order.back(), "newer:3");
    EXPECT_EQ(order.size(), 5u);
}

TEST_F(ScriptDriver, LoadsFilesAndReportsSyntaxErrorsOnTheirLine) {
    const std::string folder = qtest::makeTempDir("script-driver");
    const std::string good = folder + "/good.js";
    const std::string bad = folder + "/bad.js";
    std::ofstream(good) << "// caf\xE9 in Windows-1252\nvar word = 'caf\xE9';\nfunction shown() {}\n";
    std::ofstream(bad) << "var a = 1;\n\nvar b = (;\n";

    ASSERT_EQ(m_driver->CreateEngine(m_jscript), S_OK);
    ASSERT_EQ(m_driver->LoadFile(qrt::decodeAnsi(good).c_str()), S_OK);
    ASSERT_EQ(m_driver->Run(), S_OK);
    EXPECT_EQ(functionNames(*m_driver), std::vector<std::string>{"shown"});
    qrt::ComPtr<IDispatch> global;
    ASSERT_EQ(m_driver->GetScriptDispatch(global.out()), S_OK);
    EXPECT_EQ(qrt::bstrToUtf8(qtest::get(global.get(), u"word").value.bstrVal), "caf\xC3\xA9");
    global.reset();
    m_driver->Close();

    m_driver = qrt::create<CScriptDriver>();
    m_driver->SetReporter(&m_reporter);
    ASSERT_EQ(m_driver->CreateEngine(m_jscript), S_OK);
    EXPECT_EQ(m_driver->LoadFile(qrt::decodeAnsi(bad).c_str()), SCRIPT_E_REPORTED);
    ASSERT_EQ(m_reporter.reports.size(), 1u);
    EXPECT_EQ(m_reporter.reports[0].source, u"JScript compilation error");
    EXPECT_EQ(m_reporter.reports[0].line, 3);

    qtest::removeTree(folder);
}

TEST_F(ScriptDriver, AnUnreadableFileGivesTheSystemErrorAndRunStartsAnEmptyEngine) {
    ASSERT_EQ(m_driver->CreateEngine(m_jscript), S_OK);
    EXPECT_EQ(m_driver->LoadFile(u"/nonexistent/folder/script.js"), HRESULT_FROM_ERRNO(ENOENT));
    EXPECT_EQ(m_driver->Run(), S_OK);
    EXPECT_TRUE(functionNames(*m_driver).empty());
    EXPECT_TRUE(m_reporter.reports.empty());
}

TEST_F(ScriptDriver, WithoutAnEngineEveryOperationIsUnexpected) {
    const CLSID unknownClass = qrt::makeGuid("{0B3D5C1E-9F2A-4C6B-8E7D-123456789ABC}");
    EXPECT_TRUE(FAILED(m_driver->CreateEngine(unknownClass)));
    qrt::ComPtr<IActiveScript> engine;
    qrt::ComPtr<IDispatch> dispatch;
    EXPECT_EQ(m_driver->Run(), E_UNEXPECTED);
    EXPECT_EQ(m_driver->Close(), E_UNEXPECTED);
    EXPECT_EQ(m_driver->GetEngine(engine.out()), E_UNEXPECTED);
    EXPECT_EQ(m_driver->GetScriptDispatch(dispatch.out()), E_UNEXPECTED);
    EXPECT_EQ(m_driver->LoadFile(u"x.js"), E_UNEXPECTED);
    EXPECT_EQ(m_driver->ParseText(u"var a;"), E_UNEXPECTED);
    EXPECT_EQ(m_driver->AddNamedItem(u"Graf", nullptr), E_UNEXPECTED);
    EXPECT_EQ(m_driver->CallFunction(u"f"), E_FAIL);
    EXPECT_TRUE(functionNames(*m_driver).empty());
    EXPECT_TRUE(m_reporter.reports.empty());
}

TEST_F(ScriptDriver, ActsAsTheEnginesSite) {
    start(u"");
    qrt::ComPtr<IUnknown> unknown;
    ASSERT_EQ(m_driver->QueryInterface(IUnknown::IID, unknown.outVoid()), S_OK);
    EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(static_cast<IActiveScriptSite*>(m_driver.get())));
    EXPECT_EQ(m_driver->CreateEngine(m_jscript), E_UNEXPECTED);  // one engine per host

    IUnknown* item = nullptr;
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(m_driver->GetItemInfo(u"Graf", SCRIPTINFO_IUNKNOWN | SCRIPTINFO_ITYPEINFO, &item, &info), S_OK);
    EXPECT_EQ(item, m_recorder->unknown());
    EXPECT_EQ(info, nullptr);
    item->Release();
    EXPECT_EQ(m_driver->GetItemInfo(u"graf", SCRIPTINFO_IUNKNOWN, &item, nullptr), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(m_driver->GetItemInfo(u"Graf", SCRIPTINFO_IUNKNOWN, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
    LCID lcid = 0;
    EXPECT_EQ(m_driver->GetLCID(&lcid), E_NOTIMPL);
    BSTR version = nullptr;
    ASSERT_EQ(m_driver->GetDocVersionString(&version), S_OK);
    EXPECT_EQ(qrt::bstrToUtf8(version), "ScriptDriver 1.0");
    SysFreeString(version);

    qrt::ComPtr<IActiveScript> engine;
    ASSERT_EQ(m_driver->GetEngine(engine.out()), S_OK);
    EXPECT_EQ(m_driver->GetEngine(nullptr), E_POINTER);
    // The driver keeps the published object until it goes.
    EXPECT_GT(m_recorder->refCount(), 1u);
}

TEST_F(ScriptDriver, TellsTheUiOfRunsAndLetsItStopALongOne) {
    // Each call from the host into the script is one run.
    start(u"function inner() { return 1; }\n"
          u"function spin() { var t = new Date().getTime(); while (new Date().getTime() - t < 350) {} }");
    ASSERT_EQ(m_driver->Run(), S_OK);
    EXPECT_EQ(m_reporter.runsStarted, m_reporter.runsEnded);
    const int before = m_reporter.runsStarted;
    ASSERT_EQ(m_driver->CallFunction(u"spin"), S_OK);
    EXPECT_EQ(m_reporter.runsStarted, before + 1);
    EXPECT_EQ(m_reporter.runsEnded, before + 1);
    EXPECT_GE(m_reporter.polls, 1) << "a run of 350 ms is polled";

    // The UI says stop at its second poll: the endless loop ends with an
    // error report, and the driver still works.
    ASSERT_EQ(m_driver->ParseText(u"function forever() { for (;;) {} }"), S_OK);
    m_reporter.polls = 0;
    m_reporter.stopAtPoll = 2;
    EXPECT_NE(m_driver->CallFunction(u"forever"), S_OK);
    EXPECT_EQ(m_reporter.polls, 2);
    ASSERT_FALSE(m_reporter.reports.empty());
    EXPECT_EQ(m_reporter.reports.back().description, u"Script stopped by the user");
    EXPECT_EQ(m_reporter.runsStarted, m_reporter.runsEnded);
    m_reporter.stopAtPoll = 0;
    EXPECT_EQ(m_driver->CallFunction(u"inner"), S_OK);
}

}  // namespace

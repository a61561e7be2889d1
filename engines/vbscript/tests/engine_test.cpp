// The engine as the program's host drives it: creation by ProgID, states,
// named items, the script dispatch and its type information, interruption
// from another thread, and references released on Close.
#include "engines/vbscript/tests/test_host.h"

#include "runtime/activation.h"
#include "runtime/registry.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/typeinfo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vbs_test {
namespace {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerLibraries();
        objectsBefore = qrt::liveObjectCount();
    }
    long objectsBefore = 0;
};

TEST_F(EngineTest, ProgIdLeadsToTheCurrentVersion) {
    CLSID byName{}, byVersion{};
    ASSERT_EQ(CLSIDFromProgID(u"VBScript", &byName), S_OK);
    ASSERT_EQ(CLSIDFromProgID(u"VBScript.1", &byVersion), S_OK);
    EXPECT_EQ(byName, byVersion);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(byName, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"VBScript.1");
    CoTaskMemFree(progId);
}

TEST_F(EngineTest, CodeParsedBeforeStartRunsOnConnectAndLaterCodeAtOnce) {
    {
        Engine engine;
        auto items = qrt::create<Collection>();
        engine.site->publish(u"Log", items->unknown());
        ASSERT_EQ(engine.script->AddNamedItem(u"Log", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISPERSISTENT), S_OK);
        ASSERT_EQ(engine.parse(u"Log.Add \"first\""), S_OK);
        EXPECT_TRUE(items->items.empty()) << "nothing runs before the engine is started";
        EXPECT_TRUE(engine.site->itemRequests.empty()) << "the item is asked for when first used";
        ASSERT_EQ(engine.connect(), S_OK);
        ASSERT_EQ(items->items.size(), 1u);
        ASSERT_EQ(engine.parse(u"Log.Add \"second\""), S_OK);
        ASSERT_EQ(items->items.size(), 2u);
        EXPECT_EQ(engine.site->itemRequests.size(), 1u) << "the item is asked for once";
        SCRIPTSTATE state;
        engine.script->GetScriptState(&state);
        EXPECT_EQ(state, SCRIPTSTATE_CONNECTED);
        EXPECT_EQ(engine.site->enterCount, engine.site->leaveCount);
        EXPECT_TRUE(engine.site->errors.empty());
        engine.close();
        EXPECT_EQ(engine.site->states.back(), SCRIPTSTATE_CLOSED);
        engine.site->clearItems();
    }
    EXPECT_EQ(qrt::liveObjectCount(), objectsBefore);
}

TEST_F(EngineTest, ScriptDispatchListsGlobalProceduresInSourceOrder) {
    Engine engine;
    ASSERT_EQ(engine.run(u"Dim g\n"
                         u"Function f(a, b)\n f = a * b + 1\nEnd Function\n"
                         u"Sub s()\n g = \"called\"\nEnd Sub\n"
                         u"Private Function hidden(x)\nEnd Function\n"),
              S_OK);
    qrt::ComPtr<IDispatch> disp = engine.dispatch();
    ASSERT_TRUE(disp);
    qrt::ComPtr<ITypeInfo> info;
    ASSERT_EQ(disp->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    ASSERT_EQ(attr->cFuncs, 2);
    info->ReleaseTypeAttr(attr);
    const char16_t* names[] = {u"f", u"s"};
    const SHORT params[] = {2, 0};
    for (UINT i = 0; i < 2; ++i) {
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &fd), S_OK);
        EXPECT_EQ(fd->funckind, FUNC_DISPATCH);
        EXPECT_EQ(fd->invkind, INVOKE_FUNC);
        EXPECT_EQ(fd->cParams, params[i]);
        BSTR name = nullptr;
        UINT count = 0;
        info->GetNames(fd->memid, &name, 1, &count);
        EXPECT_EQ(qrt::bstrView(name), names[i]);
        SysFreeString(name);
        info->ReleaseFuncDesc(fd);
    }

    qtest::CallResult r = qtest::call(disp.get(), u"F", {qrt::Variant(6), qrt::Variant(7)});
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.value.vt, VT_I4) << "Long arguments give a Long";
    EXPECT_EQ(r.value.lVal, 43);
    EXPECT_EQ(qtest::call(disp.get(), u"s").hr, S_OK);
    r = qtest::get(disp.get(), u"g");
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(qrt::bstrView(r.value.bstrVal), u"called") << "global variables are properties";
    EXPECT_EQ(qtest::put(disp.get(), u"g", qrt::Variant(5)).hr, S_OK);
    EXPECT_EQ(engine.eval(u"g * 2").iVal, 10);

    DISPID id = 0;
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"nosuch")};
    EXPECT_EQ(disp->GetIDsOfNames(GUID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    LPOLESTR privateName[] = {const_cast<LPOLESTR>(u"hidden")};
    EXPECT_EQ(disp->GetIDsOfNames(GUID_NULL, privateName, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_TRUE(engine.site->errors.empty());
}

TEST_F(EngineTest, InvokedProcedureWritesBackByReferenceArguments) {
    Engine engine;
    ASSERT_EQ(engine.run(u"Sub Grow(a, ByVal b)\n a = a * 10\n b = 0\nEnd Sub"), S_OK);
    qrt::ComPtr<IDispatch> disp = engine.dispatch();
    qrt::Variant a(4), b(5);
    qtest::CallResult r = qtest::call(disp.get(), u"Grow", {qtest::refTo(&a), qtest::refTo(&b)});
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(a.iVal, 40);
    EXPECT_EQ(b.iVal, 5) << "a ByVal parameter leaves the caller's variable";
}

TEST_F(EngineTest, InvokedProcedureThatFailsReportsTheError) {
    Engine engine;
    ASSERT_EQ(engine.run(u"Function Bad(x)\n\n Bad = 1 / x\nEnd Function"), S_OK);
    qtest::CallResult r = qtest::call(engine.dispatch().get(), u"Bad", {qrt::Variant(0)});
    EXPECT_TRUE(FAILED(r.hr));
    ASSERT_EQ(engine.site->errors.size(), 1u);
    EXPECT_EQ(engine.site->errors[0].number(), 11);
    EXPECT_EQ(engine.site->errors[0].line, 3u);
    EXPECT_EQ(qtest::call(engine.dispatch().get(), u"Bad", {qrt::Variant(1), qrt::Variant(2)}).hr,
              DISP_E_BADPARAMCOUNT);
}

TEST_F(EngineTest, InterruptStopsAnEndlessLoopFromAnotherThread) {
    Engine engine;
    ASSERT_EQ(engine.parse(u"Dim i\nDo\n i = i + 1\nLoop"), S_OK);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXCEPINFO excep{};
        excep.bstrDescription = qrt::allocBstr("stopped by the user");
        excep.scode = E_ABORT;
        engine.script->InterruptScriptThread(SCRIPTTHREADID_ALL, &excep, 0);
        qrt::clearExcepInfo(&excep);
    });
    EXPECT_EQ(engine.connect(), SCRIPT_E_REPORTED);
    stopper.join();
    ASSERT_EQ(engine.site->errors.size(), 1u);
    EXPECT_EQ(engine.site->errors[0].description, "stopped by the user");
    EXPECT_GE(engine.site->errors[0].line, 2u);
    EXPECT_LE(engine.site->errors[0].line, 4u);

    // The engine runs code again afterwards.
    engine.site->errors.clear();
    EXPECT_EQ(engine.parse(u"i = 1"), S_OK);
    EXPECT_TRUE(engine.site->errors.empty());
}

TEST_F(EngineTest, InterruptStopsDeepRecursionToo) {
    Engine engine;
    ASSERT_EQ(engine.parse(u"Sub Spin(n)\n Dim i\n For i = 1 To 100000: Next\n Spin n\nEnd Sub\n"
                           u"Sub Forever()\n Do: Spin 1: Loop\nEnd Sub\nForever"),
              S_OK);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        engine.script->InterruptScriptThread(SCRIPTTHREADID_BASE, nullptr, 0);
    });
    EXPECT_EQ(engine.connect(), SCRIPT_E_REPORTED);
    stopper.join();
    ASSERT_EQ(engine.site->errors.size(), 1u);
}

TEST_F(EngineTest, SitePollAsksWhetherALongRunMayGoOnAndCanStopIt) {
    Engine engine;
    // A run of some 300 ms is asked about every 100 ms and goes on.
    ASSERT_EQ(engine.run(u"Dim t: t = Timer\nDo While Timer - t < 0.3 And Timer >= t: Loop"), S_OK);
    EXPECT_GE(engine.site->polls.load(), 1);
    EXPECT_TRUE(engine.site->errors.empty());

    // The third poll says stop: the endless loop ends with the stop error
    // on the site, from the script's own thread.
    const std::thread::id scriptThread = std::this_thread::get_id();
    bool otherThread = false;
    engine.site->polls = 0;
    engine.site->keepRunning = [&] {
        if (std::this_thread::get_id() != scriptThread) otherThread = true;
        return engine.site->polls >= 3 ? S_FALSE : S_OK;
    };
    EXPECT_EQ(engine.parse(u"Dim i\nDo\n i = i + 1\nLoop"), SCRIPT_E_REPORTED);
    EXPECT_EQ(engine.site->polls.load(), 3);
    EXPECT_FALSE(otherThread);
    ASSERT_EQ(engine.site->errors.size(), 1u);
    EXPECT_EQ(engine.site->errors[0].description, "Script stopped by the user");
    EXPECT_EQ(engine.site->errors[0].scode, E_ABORT);

    // The stop was for that run only: the next one runs to its end, even
    // under On Error Resume Next a stop is no error to go on past.
    engine.site->errors.clear();
    engine.site->keepRunning = nullptr;
    EXPECT_EQ(engine.parse(u"i = 41: i = i + 1"), S_OK);
    EXPECT_EQ(engine.eval(u"i").iVal, 42);
    engine.site->keepRunning = [] { return S_FALSE; };
    EXPECT_EQ(engine.parse(u"On Error Resume Next\nDo: Loop\ni = 0"), SCRIPT_E_REPORTED);
    engine.site->keepRunning = nullptr;
    EXPECT_EQ(engine.eval(u"i").iVal, 42);
}

TEST_F(EngineTest, CloseReleasesNamedItemsSiteAndCreatedObjects) {
    {
        Engine engine;
        auto items = qrt::create<Collection>();
        engine.site->publish(u"Items", items->unknown());
        engine.script->AddNamedItem(u"Items", SCRIPTITEM_ISVISIBLE);
        ASSERT_EQ(engine.run(u"Dim keep, c\nSet keep = Items\nSet c = CreateObject(\"Sumtrel.complex\")\n"
                             u"Items.Add c\nItems.Add Array(1, \"two\")"),
                  S_OK);
        qrt::ComPtr<IDispatch> disp = engine.dispatch();
        const ULONG siteRefs = engine.site->refCount();
        EXPECT_GT(siteRefs, 1u);
        engine.close();
        EXPECT_EQ(engine.site->refCount(), 1u) << "the engine let go of its site";
        items->items.clear();
        engine.site->clearItems();
        EXPECT_EQ(items->refCount(), 1u) << "the engine let go of the named item";
        EXPECT_EQ(qtest::call(disp.get(), u"keep").hr, E_UNEXPECTED);
    }
    EXPECT_EQ(qrt::liveObjectCount(), objectsBefore);
}

TEST_F(EngineTest, ExpressionTextIsEvaluated) {
    Engine engine;
    ASSERT_EQ(engine.run(u"Dim x: x = 20"), S_OK);
    qrt::Variant v = engine.eval(u"x * 2 + 2");
    EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(v.iVal, 42);
}

TEST_F(EngineTest, ByReferenceArgumentsReachHostObjects) {
    Engine engine;
    ASSERT_EQ(engine.run(u"Dim c, re, im\nSet c = CreateObject(\"Sumtrel.complex\")\n"
                         u"c.exp 0, 0, re, im\n"),
              S_OK);
    qrt::Variant re = engine.eval(u"re");
    EXPECT_EQ(re.vt, VT_R8);
    EXPECT_DOUBLE_EQ(re.dblVal, 1.0);
    // A constant or a parenthesised variable goes by value: nothing to write back.
    ASSERT_EQ(engine.parse(u"re = 7\nc.exp 0, 0, (re), im"), S_OK);
    EXPECT_EQ(engine.eval(u"re").iVal, 7);
    // Array elements go by reference, and the array is free again afterwards.
    ASSERT_EQ(engine.parse(u"Dim parts()\nReDim parts(1)\nc.exp 0, 0, parts(0), parts(1)\nReDim Preserve parts(2)"),
              S_OK);
    EXPECT_DOUBLE_EQ(engine.eval(u"parts(0)").dblVal, 1.0);
    EXPECT_EQ(engine.eval(u"UBound(parts)").iVal, 2);
}

TEST_F(EngineTest, MeOutsideAClassIsTheHostsDefaultObject) {
    // (Without such an item, Me outside a class is compile error 1037.)
    {
        Engine engine;
        auto items = qrt::create<Collection>();
        engine.site->publish(u"Items", items->unknown());
        engine.script->AddNamedItem(u"Log", SCRIPTITEM_ISVISIBLE);
        engine.script->AddNamedItem(u"Items", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
        ASSERT_EQ(engine.run(u"Me.Add 5\nDim same: same = Me Is Items\n"
                             u"Sub Inside(): Me.Add 6: End Sub\nInside"),
                  S_OK);
        EXPECT_EQ(engine.eval(u"same").boolVal, VARIANT_TRUE);
        EXPECT_EQ(items->items.size(), 2u);
        items->items.clear();
        engine.site->clearItems();
    }
}

TEST_F(EngineTest, HostCallingBackIntoTheScriptWhileItRuns) {
    // The Collection enumerates through the engine's own dispatch: a call
    // from host code into the script during a script call.
    Engine engine;
    auto items = qrt::create<Collection>();
    engine.site->publish(u"Items", items->unknown());
    engine.script->AddNamedItem(u"Items", SCRIPTITEM_ISVISIBLE);
    ASSERT_EQ(engine.parse(u"Function Square(x)\n Square = x * x\nEnd Function"), S_OK);
    ASSERT_EQ(engine.connect(), S_OK);
    qrt::ComPtr<IDispatch> disp = engine.dispatch();
    items->items.emplace_back(disp.get());
    ASSERT_EQ(engine.parse(u"Dim d: Set d = Items(0)\nDim r: r = d.Square(9)"), S_OK);
    EXPECT_EQ(engine.eval(u"r").iVal, 81);
    items->items.clear();
    engine.site->clearItems();
}

TEST_F(EngineTest, ClassInstancesAndFunctionReferencesReachHostsAsDispatch) {
    {
        Engine engine;
        ASSERT_EQ(engine.run(u"Class Account\n Public Owner\n Private m_total\n"
                             u" Public Default Property Get Total()\n  Total = m_total\n End Property\n"
                             u" Public Property Let Total(v)\n  m_total = v\n End Property\n"
                             u" Public Function Deposit(amount)\n  m_total = m_total + amount\n  Deposit = m_total\n End Function\n"
                             u" Private Sub Hidden()\n End Sub\nEnd Class\n"
                             u"Dim acct: Set acct = New Account\n"
                             u"Function Twice(x)\n Twice = x * 2\nEnd Function\n"
                             u"Dim twiceRef: Set twiceRef = GetRef(\"Twice\")\n"),
                  S_OK);
        qrt::Variant acct = engine.eval(u"acct");
        ASSERT_EQ(acct.vt, VT_DISPATCH);
        IDispatch* d = acct.pdispVal;
        // Names without regard to case; private members are not there.
        EXPECT_EQ(qtest::put(d, u"TOTAL", qrt::Variant(5)).hr, S_OK);
        EXPECT_EQ(qtest::call(d, u"deposit", {qrt::Variant(7)}).value.iVal, 12);
        EXPECT_EQ(qtest::get(d, u"Total").value.iVal, 12);
        EXPECT_EQ(qtest::put(d, u"owner", qrt::Variant("me")).hr, S_OK);
        DISPID id = 0;
        LPOLESTR hidden[] = {const_cast<LPOLESTR>(u"Hidden")};
        EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, hidden, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
        // The default member answers DISPID_VALUE.
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        qrt::Variant total;
        ASSERT_EQ(d->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &total, nullptr,
                            nullptr),
                  S_OK);
        EXPECT_EQ(total.iVal, 12);
        // What the host changed, the script sees.
        EXPECT_EQ(qrt::bstrView(engine.eval(u"acct.Owner").bstrVal), u"me");

        // A function reference is called through its default member.
        qrt::Variant ref = engine.eval(u"twiceRef");
        ASSERT_EQ(ref.vt, VT_DISPATCH);
        qrt::Variant arg(21);
        DISPPARAMS one{&arg, nullptr, 1, 0};
        qrt::Variant r;
        ASSERT_EQ(ref.pdispVal->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &one, &r, nullptr,
                                       nullptr),
                  S_OK);
        EXPECT_EQ(r.iVal, 42);

        // After Close the objects the host still holds refuse calls.
        engine.close();
        EXPECT_EQ(qtest::call(d, u"Deposit", {qrt::Variant(1)}).hr, E_UNEXPECTED);
        EXPECT_EQ(ref.pdispVal->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &one, &r, nullptr,
                                       nullptr),
                  E_UNEXPECTED);
    }
    EXPECT_EQ(qrt::liveObjectCount(), objectsBefore);
}

// A host object whose one method closes the engine running the script, as
// the program does when a script loads another script: Close fails while
// the script runs, and interrupting ends the script once the call returns.
class Closer final : public qrt::ComObject<IDispatch> {
public:
    HRESULT GetTypeInfoCount(UINT* count) override { *count = 0; return S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; i < count; ++i) ids[i] = 1;
        return S_OK;
    }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        if (result) VariantInit(result);
        closeStatus = engine->Close();
        SCRIPTSTATE state{};
        engine->GetScriptState(&state);
        stateAfterClose = state;
        interruptStatus = engine->InterruptScriptThread(SCRIPTTHREADID_CURRENT, nullptr, 0);
        return S_OK;
    }
    IActiveScript* engine = nullptr;
    HRESULT closeStatus = S_OK, interruptStatus = E_FAIL;
    SCRIPTSTATE stateAfterClose = SCRIPTSTATE_UNINITIALIZED;
};

TEST_F(EngineTest, CloseFromAHostCallWhileTheScriptRuns) {
    {
        Engine engine;
        auto closer = qrt::create<Closer>();
        closer->engine = engine.script.get();
        auto items = qrt::create<Collection>();
        engine.site->publish(u"Closer", closer->unknown());
        engine.site->publish(u"Items", items->unknown());
        engine.script->AddNamedItem(u"Closer", SCRIPTITEM_ISVISIBLE);
        engine.script->AddNamedItem(u"Items", SCRIPTITEM_ISVISIBLE);
        ASSERT_EQ(engine.run(u"Class Held\n Private Sub Class_Terminate()\n  Items.Add \"terminated\"\n End Sub\nEnd Class\n"
                             u"Dim keep: Set keep = New Held\n"
                             u"Sub Load()\n Closer.Go\n Items.Add \"after the call\"\n"
                             u" Do\n Loop\nEnd Sub\n"),
                  S_OK);
        qtest::CallResult r = qtest::call(engine.dispatch().get(), u"Load");
        EXPECT_EQ(closer->closeStatus, E_UNEXPECTED) << "no Close while the script runs";
        EXPECT_EQ(closer->stateAfterClose, SCRIPTSTATE_CONNECTED) << "the engine stays usable";
        EXPECT_EQ(closer->interruptStatus, S_OK);
        EXPECT_TRUE(FAILED(r.hr)) << "the interrupted script ends";
        EXPECT_TRUE(items->items.empty()) << "nothing ran after the host call";
        ASSERT_EQ(engine.site->errors.size(), 1u);

        // Once the outer call has returned, Close works and ends the script's objects.
        EXPECT_EQ(engine.script->Close(), S_OK);
        ASSERT_EQ(items->items.size(), 1u);
        EXPECT_EQ(qrt::bstrView(items->items[0].bstrVal), u"terminated");
        items->items.clear();
        engine.site->clearItems();
    }
    EXPECT_EQ(qrt::liveObjectCount(), objectsBefore);
}

}  // namespace
}  // namespace vbs_test

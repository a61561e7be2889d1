// Calls into table-driven host objects: the engine calls their members
// through IDispatchDirect, and must give exactly what the same calls give
// through IDispatch::Invoke (results, conversions, errors, write-backs),
// holding no reference afterwards.
#include "engines/vbscript/tests/test_host.h"

#include "runtime/bstr.h"
#include "runtime/dispatch_table.h"
#include "runtime/safearray.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace vbs_test {
namespace {

struct IProbe : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{5C2E8A41-7D3B-4F09-A1E6-93B0C4D2F718}");
    using Base = IDispatch;
    virtual HRESULT Sum3(LONG a, double b, double c, double* r) = 0;
    virtual HRESULT Flag(VARIANT_BOOL b, LONG* r) = 0;
    virtual HRESULT Join(BSTR a, BSTR b, BSTR* r) = 0;
    virtual HRESULT Kind(VARIANT v, BSTR* r) = 0;
    virtual HRESULT Color(ULONG c, double* r) = 0;
    virtual HRESULT Fail(LONG code) = 0;
    virtual HRESULT FailPlain() = 0;
    virtual HRESULT Throw() = 0;
    virtual HRESULT Text(LONG n, BSTR* r) = 0;
    virtual HRESULT Twice(LONG* value) = 0;
    virtual HRESULT Opt(LONG a, LONG b, LONG* r) = 0;
    virtual HRESULT get_Items(VARIANT* r) = 0;
    virtual HRESULT get_Self(IDispatch** r) = 0;
    virtual HRESULT get_Calls(LONG* r) = 0;

protected:
    ~IProbe() = default;
};

class Probe final : public qrt::ComObject<qrt::DispatchImpl<Probe, IProbe>> {
public:
    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::MemberOptions optional{.retval = true, .optional = 1, .defaults = {}};
        static const qrt::DispatchTable table(u"IProbe", IProbe::IID, {
            qrt::member<&IProbe::Sum3>(u"Sum3", 1, {u"a", u"b", u"c"}, qrt::Retval),
            qrt::member<&IProbe::Flag>(u"Flag", 2, {u"b"}, qrt::Retval),
            qrt::member<&IProbe::Join>(u"Join", 3, {u"a", u"b"}, qrt::Retval),
            qrt::member<&IProbe::Kind>(u"Kind", 4, {u"v"}, qrt::Retval),
            qrt::member<&IProbe::Color>(u"Color", 5, {u"c"}, qrt::Retval),
            qrt::member<&IProbe::Fail>(u"Fail", 6, {u"code"}),
            qrt::member<&IProbe::FailPlain>(u"FailPlain", 7),
            qrt::member<&IProbe::Throw>(u"Throw", 8),
            qrt::withTextResult<&Probe::text>(qrt::member<&IProbe::Text>(u"Text", 9, {u"n"}, qrt::Retval)),
            qrt::member<&IProbe::Twice>(u"Twice", 10, {u"value"}),
            qrt::member<&IProbe::Opt>(u"Opt", 11, {u"a", u"b"}, optional),
            qrt::getter<&IProbe::get_Items>(u"Items", 12),
            qrt::getter<&IProbe::get_Self>(u"Self", 13),
            qrt::getter<&IProbe::get_Calls>(u"Calls", 14),
        });
        return table;
    }

    HRESULT Sum3(LONG a, double b, double c, double* r) override { return count(), *r = a + b + c, S_OK; }
    HRESULT Flag(VARIANT_BOOL b, LONG* r) override { return count(), *r = b, S_OK; }
    HRESULT Join(BSTR a, BSTR b, BSTR* r) override {
        count();
        *r = qrt::allocBstr(std::u16string(qrt::bstrView(a)) + u"+" + std::u16string(qrt::bstrView(b)));
        return S_OK;
    }
    HRESULT Kind(VARIANT v, BSTR* r) override {
        count();
        *r = qrt::allocBstr(std::u16string(u"vt") + static_cast<char16_t>(u'A' + (v.vt & 0x1F)));
        return S_OK;
    }
    HRESULT Color(ULONG c, double* r) override { return count(), *r = c, S_OK; }
    HRESULT Fail(LONG code) override {
        count();
        qrt::setErrorInfo(u"Probe", u"failed on purpose");
        return code == 0 ? E_INVALIDARG : static_cast<HRESULT>(0x800A0000u | static_cast<ULONG>(code));
    }
    HRESULT FailPlain() override { return count(), E_NOTIMPL; }
    HRESULT Throw() override {
        count();
        throw std::bad_alloc();
    }
    HRESULT Text(LONG n, BSTR* r) override {
        std::u16string t;
        if (HRESULT hr = text(t, n); FAILED(hr)) return hr;
        *r = qrt::allocBstr(t);
        return S_OK;
    }
    HRESULT text(std::u16string& out, LONG n) {
        count();
        if (n < 0) {
            qrt::setErrorInfo(u"Probe", u"no text below zero");
            return E_INVALIDARG;
        }
        out.assign(static_cast<std::size_t>(n), u'x');
        return S_OK;
    }
    HRESULT Twice(LONG* value) override { return count(), *value *= 2, S_OK; }
    HRESULT Opt(LONG a, LONG b, LONG* r) override { return count(), *r = a * 10 + b, S_OK; }
    HRESULT get_Items(VARIANT* r) override {
        count();
        SAFEARRAYBOUND bound{3, 0};
        SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
        for (LONG i = 0; i < 3; ++i) {
            qrt::Variant v(static_cast<double>(i * 10));
            SafeArrayPutElement(array, &i, &v);
        }
        r->vt = VT_ARRAY | VT_VARIANT;
        r->parray = array;
        return S_OK;
    }
    HRESULT get_Self(IDispatch** r) override {
        count();
        *r = this;
        AddRef();
        return S_OK;
    }
    HRESULT get_Calls(LONG* r) override { return *r = m_calls, S_OK; }

private:
    void count() { ++m_calls; }
    LONG m_calls = 0;
};

// The same object seen only through IDispatch, as an object of another
// kind (or in another process) is: every call goes through Invoke.
class InvokeOnly final : public qrt::ComObject<IDispatch> {
public:
    explicit InvokeOnly(IDispatch* inner) : m_inner(inner) {}
    HRESULT GetTypeInfoCount(UINT* n) override { return m_inner->GetTypeInfoCount(n); }
    HRESULT GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override { return m_inner->GetTypeInfo(i, lcid, info); }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return m_inner->GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argErr) override {
        return m_inner->Invoke(id, riid, lcid, flags, params, result, excep, argErr);
    }

private:
    qrt::ComPtr<IDispatch> m_inner;
};

// Every call notes its result and the error it raised, if any.
const char16_t* const kExercise =
    u"Dim log\n"
    u"Sub Note(label, value)\n"
    u"  If IsObject(value) Then\n"
    u"    log = log & label & \"=object:\" & TypeName(value)\n"
    u"  ElseIf IsArray(value) Then\n"
    u"    log = log & label & \"=array:\" & UBound(value)\n"
    u"  Else\n"
    u"    log = log & label & \"=\" & TypeName(value) & \":\" & value\n"
    u"  End If\n"
    u"  log = log & \"|\" & Err.Number & \"|\" & Err.Source & \"|\" & Err.Description & vbLf\n"
    u"  Err.Clear\n"
    u"End Sub\n"
    u"Function Exercise(p)\n"
    u"  Dim o, r, i, s, n, b\n"
    u"  Set o = p\n"
    u"  log = \"\"\n"
    u"  On Error Resume Next\n"
    u"  r = Empty: r = o.Sum3(1, 2.5, 3): Note \"sum\", r\n"
    u"  i = 7: r = Empty: r = o.Sum3(i, i, i): Note \"vars\", r\n"
    u"  r = Empty: r = o.Sum3(CByte(2), CSng(1.5), CLng(4)): Note \"widening\", r\n"
    u"  r = Empty: r = o.Sum3(\"4\", 1, 1): Note \"numeric text\", r\n"
    u"  r = Empty: r = o.Sum3(\"x\", 1, 1): Note \"mismatch\", r\n"
    u"  r = Empty: r = o.Sum3(2.6, 1, 1): Note \"rounded\", r\n"
    u"  r = Empty: r = o.Sum3(3000000000, 1, 1): Note \"overflow\", r\n"
    u"  r = Empty: r = o.Sum3(1, 2): Note \"too few\", r\n"
    u"  r = Empty: r = o.Sum3(Null, 1, 1): Note \"null\", r\n"
    u"  r = Empty: r = o.Sum3(Empty, 1, 1): Note \"empty\", r\n"
    u"  r = Empty: r = o.Flag(True): Note \"flag\", r\n"
    u"  b = False: r = Empty: r = o.Flag(b): Note \"flag var\", r\n"
    u"  r = Empty: r = o.Flag(5): Note \"flag number\", r\n"
    u"  r = Empty: r = o.Join(\"ab\", \"cd\"): Note \"join\", r\n"
    u"  s = \"\": r = Empty: r = o.Join(s, 12): Note \"join number\", r\n"
    u"  r = Empty: r = o.Join(Null, \"x\"): Note \"join null\", r\n"
    u"  r = Empty: r = o.Kind(2.5): Note \"kind double\", r\n"
    u"  r = Empty: r = o.Kind(\"t\"): Note \"kind text\", r\n"
    u"  r = Empty: r = o.Kind(Null): Note \"kind null\", r\n"
    u"  r = Empty: r = o.Kind(o): Note \"kind object\", r\n"
    u"  r = Empty: r = o.Kind(): Note \"kind none\", r\n"
    u"  r = Empty: r = o.Color(&H8000000F): Note \"color\", r\n"
    u"  r = Empty: r = o.Color(-1): Note \"color minus one\", r\n"
    u"  o.Fail 0: Note \"fail\", Empty\n"
    u"  o.Fail 77: Note \"fail code\", Empty\n"
    u"  o.FailPlain: Note \"fail plain\", Empty\n"
    u"  o.Throw: Note \"throw\", Empty\n"
    u"  r = Empty: r = o.Text(3): Note \"text\", r\n"
    u"  r = Empty: r = o.Text(0): Note \"text empty\", r\n"
    u"  r = Empty: r = o.Text(-1): Note \"text fails\", r\n"
    u"  r = Empty: r = Len(o.Text(100000)): Note \"text long\", r\n"
    u"  n = 5: o.Twice n: Note \"byref\", n\n"
    u"  n = 5: o.Twice (n): Note \"byref in parentheses\", n\n"
    u"  r = Empty: r = o.Opt(1): Note \"optional left out\", r\n"
    u"  r = Empty: r = o.Opt(1, 2): Note \"optional given\", r\n"
    u"  r = Empty: r = o.Items: Note \"items\", r\n"
    u"  r = Empty: r = o.Items(2): Note \"items indexed\", r\n"
    u"  r = Empty: Set r = o.Self: Note \"self\", r\n"
    u"  r = Empty: r = o.Self.Sum3(1, 1, 1): Note \"chained\", r\n"
    u"  r = Empty: r = o.NoSuchMember(1): Note \"unknown\", r\n"
    u"  With o\n"
    u"    r = Empty: r = .Sum3(1, 1, .Sum3(1, 1, 1)): Note \"with\", r\n"
    u"  End With\n"
    u"  r = Empty: r = o.Calls: Note \"calls\", r\n"
    u"  Exercise = log\n"
    u"End Function\n";

LONG calls(Probe* probe) {
    LONG n = -1;
    probe->get_Calls(&n);
    return n;
}

class DirectCallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerLibraries();
        Probe::dispatchTable();
        objectsBefore = qrt::liveObjectCount();
    }
    void TearDown() override { EXPECT_EQ(qrt::liveObjectCount(), objectsBefore) << "objects leaked"; }

    static std::u16string exercise(IDispatch* object) {
        Engine engine;
        EXPECT_EQ(engine.run(kExercise), S_OK);
        qrt::ComPtr<IDispatch> script = engine.dispatch();
        qrt::Variant arg;
        arg.vt = VT_DISPATCH;
        arg.pdispVal = object;
        object->AddRef();
        qrt::Variant log = qtest::call(script.get(), u"Exercise", {arg}).value;
        EXPECT_TRUE(engine.site->errors.empty());
        engine.close();
        return log.vt == VT_BSTR ? std::u16string(qrt::bstrView(log.bstrVal)) : std::u16string(u"(no log)");
    }
    long objectsBefore = 0;
};

TEST_F(DirectCallsTest, TableObjectsAnswerTheDirectInterfaceWithTheirTableAndThis) {
    qrt::ComPtr<Probe> probe = qrt::create<Probe>();
    qrt::ComPtr<IDispatchDirect> direct;
    ASSERT_EQ(probe->QueryInterface(IID_IDispatchDirect, direct.outVoid()), S_OK);
    const qrt::DispatchTable* table = nullptr;
    void* self = nullptr;
    ASSERT_EQ(direct->GetDispatchTable(&table, &self), S_OK);
    EXPECT_EQ(table, &Probe::dispatchTable());
    EXPECT_EQ(self, static_cast<IProbe*>(probe.get()));
    // The same object: its identity, and one count for both interfaces.
    qrt::ComPtr<IUnknown> a, b;
    probe->QueryInterface(IID_IUnknown, a.outVoid());
    direct->QueryInterface(IID_IUnknown, b.outVoid());
    EXPECT_EQ(a.get(), b.get());
    a.reset();
    b.reset();
    direct.reset();
    EXPECT_EQ(probe->refCount(), 1u);

    // Objects that only forward IDispatch do not answer it.
    qrt::ComPtr<InvokeOnly> forwarder = qrt::create<InvokeOnly>(static_cast<IDispatch*>(probe.get()));
    EXPECT_EQ(forwarder->QueryInterface(IID_IDispatchDirect, direct.outVoid()), E_NOINTERFACE);
}

TEST_F(DirectCallsTest, DirectCallsGiveWhatInvokeGives) {
    qrt::ComPtr<Probe> direct = qrt::create<Probe>();
    qrt::ComPtr<Probe> inner = qrt::create<Probe>();
    qrt::ComPtr<InvokeOnly> invoked = qrt::create<InvokeOnly>(static_cast<IDispatch*>(inner.get()));
    const std::u16string viaDirect = exercise(static_cast<IDispatch*>(direct.get()));
    const std::u16string viaInvoke = exercise(invoked.get());
    EXPECT_EQ(qrt::encodeUtf8(viaDirect), qrt::encodeUtf8(viaInvoke));
    if (std::getenv("SHOW_LOG")) std::fprintf(stderr, "%s", qrt::encodeUtf8(viaDirect).c_str());
    // Spot checks that the log says what the calls did.
    for (const char16_t* line : {u"sum=Double:6.5|0||\n", u"text=String:xxx|0||\n", u"byref=Long:10|0||\n",
                                 u"fail=Empty:|5|Probe|failed on purpose\n", u"items indexed=Double:20|0||\n"}) {
        EXPECT_NE(viaDirect.find(line), std::u16string::npos) << qrt::encodeUtf8(line);
    }
    // Both objects took the same calls, and nothing holds them any more.
    EXPECT_EQ(calls(direct.get()),
              calls(inner.get()));
    EXPECT_EQ(direct->refCount(), 1u);
    EXPECT_EQ(inner->refCount(), 2u);  // ours and the forwarder's
}

TEST_F(DirectCallsTest, ObjectOfAMemberCallStaysTheOneNamedWhenTheArgumentsChangeTheVariable) {
    qrt::ComPtr<Probe> first = qrt::create<Probe>();
    qrt::ComPtr<Probe> second = qrt::create<Probe>();
    Engine engine;
    engine.site->publish(u"First", first->unknown());
    engine.site->publish(u"Second", second->unknown());
    ASSERT_EQ(engine.script->AddNamedItem(u"First", SCRIPTITEM_ISVISIBLE), S_OK);
    ASSERT_EQ(engine.script->AddNamedItem(u"Second", SCRIPTITEM_ISVISIBLE), S_OK);
    ASSERT_EQ(engine.run(u"Function Swap(x)\n"
                         u"  Set x = Second\n"
                         u"  Swap = 1\n"
                         u"End Function\n"
                         u"Function Drop(x)\n"
                         u"  Set x = Nothing\n"
                         u"  Drop = 1\n"
                         u"End Function\n"
                         u"Class Keeper\n"
                         u"  Public Function Run(x)\n"
                         u"    Set x = Nothing\n"
                         u"    Run = TypeName(Me)\n"
                         u"  End Function\n"
                         u"End Class\n"
                         u"Function Check()\n"
                         u"  Dim o, k, r\n"
                         u"  Set o = First\n"
                         u"  o.Sum3 Swap(o), 1, 1\n"
                         u"  o.Sum3 1, 1, 1\n"
                         u"  Set o = First\n"
                         u"  o.Sum3 Drop(o), 1, 1\n"
                         u"  Set k = New Keeper\n"
                         u"  r = k.Run(k)\n"
                         u"  Check = r & \" \" & TypeName(k)\n"
                         u"End Function\n"),
              S_OK);
    qrt::ComPtr<IDispatch> script = engine.dispatch();
    qrt::Variant r = qtest::call(script.get(), u"Check").value;
    ASSERT_EQ(r.vt, VT_BSTR);
    EXPECT_EQ(qrt::bstrView(r.bstrVal), u"Keeper Nothing");
    // First took the calls made while the variable still named it.
    EXPECT_EQ(calls(first.get()), 2);
    EXPECT_EQ(calls(second.get()), 1);
    EXPECT_TRUE(engine.site->errors.empty());
    engine.close();
    engine.site->clearItems();
    EXPECT_EQ(first->refCount(), 1u);
    EXPECT_EQ(second->refCount(), 1u);
}

}  // namespace
}  // namespace vbs_test

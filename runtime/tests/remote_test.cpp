// Calls between processes: the value codec, proxies over a connection within
// the process, damaged messages, and a local server in a child process.
#include "hosting/registration.h"
#include "runtime/activation.h"
#include "runtime/registry.h"
#include "runtime/remote.h"
#include "runtime/remote_wire.h"
#include "runtime/safearray.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/testing/remote_probe.h"
#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using qrt::Variant;
using qrt::remote::ObjectRef;

// Objects as numbers in a table, so that the codec can be checked alone.
class TableMarshaler final : public qrt::remote::ObjectMarshaler {
public:
    HRESULT marshal(IUnknown* object, ObjectRef& ref) override {
        qrt::ComPtr<IDispatch> d;
        if (FAILED(object->QueryInterface(IID_IDispatch, d.outVoid()))) return DISP_E_BADVARTYPE;
        objects.push_back(d);
        ref = {ObjectRef::Sender, objects.size()};
        return S_OK;
    }
    HRESULT unmarshal(const ObjectRef& ref, IDispatch** out) override {
        if (ref.id == 0 || ref.id > objects.size()) return RPC_E_INVALID_DATAPACKET;
        return objects[ref.id - 1].copyTo(out);
    }
    std::vector<qrt::ComPtr<IDispatch>> objects;
};

std::string encode(const VARIANT& v, TableMarshaler& table) {
    qrt::remote::Writer w;
    EXPECT_EQ(qrt::remote::writeVariant(w, v, table), S_OK);
    return w.data();
}

// The bits of the union that a value of type vt uses.
std::int64_t mask(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY: case VT_NULL: return 0;
    case VT_I2: case VT_BOOL: return 0xFFFF;
    case VT_I4: case VT_ERROR: return 0xFFFFFFFF;
    default: return -1;
    }
}

Variant roundTrip(const VARIANT& v) {
    TableMarshaler table;
    const std::string bytes = encode(v, table);
    qrt::remote::Reader r(bytes);
    Variant out;
    EXPECT_EQ(qrt::remote::readVariant(r, out, table), S_OK);
    EXPECT_TRUE(r.atEnd());
    return out;
}

// A 2 x 3 array of variants with lower bounds 1 and -1: numbers, a string,
// Null, and a nested array of doubles.
Variant sampleArray() {
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    auto* cells = static_cast<VARIANT*>(psa->pvData);
    cells[0].vt = VT_I4;
    cells[0].lVal = -7;
    cells[1].vt = VT_BSTR;
    cells[1].bstrVal = qrt::allocBstr(u"é\u03b1");
    cells[2].vt = VT_NULL;
    SAFEARRAY* inner = SafeArrayCreateVector(VT_R8, 0, 2);
    static_cast<double*>(inner->pvData)[0] = 0.5;
    static_cast<double*>(inner->pvData)[1] = 1e300;
    cells[3].vt = VT_ARRAY | VT_R8;
    cells[3].parray = inner;
    cells[4].vt = VT_BOOL;
    cells[4].boolVal = VARIANT_TRUE;
    Variant v;
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = psa;
    return v;
}

TEST(RemoteCodecTest, ValuesOfTheAutomationTypesCrossUnchanged) {
    Variant date;
    date.vt = VT_DATE;
    date.date = 45000.25;
    Variant currency;
    currency.vt = VT_CY;
    currency.cyVal.int64 = -123456789;
    Variant emptyString;
    emptyString.vt = VT_BSTR;
    emptyString.bstrVal = SysAllocString(u"");
    Variant nullString;
    nullString.vt = VT_BSTR;
    for (const Variant& v : {Variant(2.5), Variant(-3), Variant(short(12)), Variant(true), Variant(u"text"), date,
                             currency, Variant::null(), Variant(), Variant::error(DISP_E_PARAMNOTFOUND), emptyString}) {
        const Variant back = roundTrip(v);
        ASSERT_EQ(back.vt, v.vt);
        if (v.vt == VT_BSTR) EXPECT_EQ(qrt::bstrView(back.bstrVal), qrt::bstrView(v.bstrVal));
        else EXPECT_EQ(back.llVal & mask(v.vt), v.llVal & mask(v.vt)) << "type " << v.vt;
    }
    // A null string stays apart from an empty one.
    const Variant back = roundTrip(nullString);
    EXPECT_EQ(back.vt, VT_BSTR);
    EXPECT_EQ(back.bstrVal, nullptr);
    EXPECT_NE(roundTrip(emptyString).bstrVal, nullptr);

    const Variant array = roundTrip(sampleArray());
    ASSERT_EQ(array.vt, VT_ARRAY | VT_VARIANT);
    LONG lower = 0;
    SafeArrayGetLBound(array.parray, 2, &lower);
    EXPECT_EQ(lower, -1);
    const auto* cells = static_cast<const VARIANT*>(array.parray->pvData);
    EXPECT_EQ(cells[0].lVal, -7);
    EXPECT_EQ(qrt::bstrView(cells[1].bstrVal), u"é\u03b1");
    EXPECT_EQ(cells[2].vt, VT_NULL);
    ASSERT_EQ(cells[3].vt, VT_ARRAY | VT_R8);
    EXPECT_EQ(static_cast<const double*>(cells[3].parray->pvData)[1], 1e300);
    EXPECT_EQ(cells[5].vt, VT_EMPTY);
}

TEST(RemoteCodecTest, ObjectsCrossAsReferencesAndPointersDoNot) {
    TableMarshaler table;
    qrt::ComPtr<qtest::Probe> probe = qrt::create<qtest::Probe>();
    Variant v(static_cast<IDispatch*>(probe.get()));
    const std::string bytes = encode(v, table);
    EXPECT_EQ(bytes.size(), 2u + 9u);
    qrt::remote::Reader r(bytes);
    Variant back;
    ASSERT_EQ(qrt::remote::readVariant(r, back, table), S_OK);
    EXPECT_EQ(back.pdispVal, static_cast<IDispatch*>(probe.get()));

    // Types that have no meaning in another process are refused.
    Variant pointer;
    pointer.vt = VT_LPSTR;
    qrt::remote::Writer w;
    EXPECT_EQ(qrt::remote::writeVariant(w, pointer, table), DISP_E_BADVARTYPE);
}

// Every cut of a valid message, and lengths that promise more than there
// is, fail cleanly and leave nothing allocated.
TEST(RemoteCodecTest, DamagedValuesAreRefusedWithoutLeaks) {
    TableMarshaler table;
    const std::string bytes = encode(sampleArray(), table);
    const long strings = qrt::liveBstrCount(), arrays = qrt::liveSafeArrayCount();
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        qrt::remote::Reader r(bytes.data(), cut);
        Variant out;
        EXPECT_EQ(qrt::remote::readVariant(r, out, table), RPC_E_INVALID_DATAPACKET) << "cut at " << cut;
        EXPECT_EQ(out.vt, VT_EMPTY);
    }
    EXPECT_EQ(qrt::liveBstrCount(), strings);
    EXPECT_EQ(qrt::liveSafeArrayCount(), arrays);

    const auto refused = [&](std::string data) {
        qrt::remote::Reader r(data);
        Variant out;
        return qrt::remote::readVariant(r, out, table) == RPC_E_INVALID_DATAPACKET;
    };
    // A string of 2^31 units in 4 bytes; an array of 4 billion doubles; a
    // type that is no type; an unknown object; an element type that differs
    // from the variant's.
    EXPECT_TRUE(refused(std::string("\x08\x00\x00\x00\x00\x80", 6)));
    EXPECT_TRUE(refused(std::string("\x05\x20\x01\x05\x00\x01\x00\xff\xff\xff\xff\x00\x00\x00\x00", 15)));
    EXPECT_TRUE(refused(std::string("\x63\x00", 2)));
    EXPECT_TRUE(refused(std::string("\x09\x00\x01\x07\x00\x00\x00\x00\x00\x00\x00", 11)));
    EXPECT_TRUE(refused(std::string("\x03\x20\x01\x05\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00", 15)));
    // Arrays of variants nested deeper than the limit.
    std::string deep;
    for (int i = 0; i <= qrt::remote::kMaxValueDepth + 1; ++i) deep += std::string("\x0c\x20\x01\x0c\x00\x01\x00\x01\x00\x00\x00\x00\x00\x00\x00", 15);
    deep += std::string("\x00\x00", 2);
    EXPECT_TRUE(refused(deep));
    EXPECT_EQ(qrt::liveSafeArrayCount(), arrays);
}

class RemoteProxyTest : public ::testing::Test {
protected:
    void SetUp() override {
        probe = qrt::create<qtest::Probe>();
        ASSERT_EQ(qrt::remote::loopbackProxy(probe.get(), proxy.out()), S_OK);
    }
    void TearDown() override {
        proxy.reset();
        qrt::remote::shutdown();
    }
    qrt::ComPtr<qtest::Probe> probe;
    qrt::ComPtr<IDispatch> proxy;
};

TEST_F(RemoteProxyTest, CallsCarryArgumentsResultsAndErrors) {
    EXPECT_NE(proxy.get(), static_cast<IDispatch*>(probe.get()));
    qtest::CallResult r = qtest::call(proxy.get(), u"Sum", {Variant(1.5), Variant(2), Variant(u"3")});
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.value.dblVal, 6.5);

    r = qtest::call(proxy.get(), u"Echo", {sampleArray()});
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.value.vt, VT_ARRAY | VT_VARIANT);

    // The callee's description comes back with its code.
    r = qtest::call(proxy.get(), u"Fail");
    EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(r.scode, E_ACCESSDENIED);
    EXPECT_EQ(r.description, "failed on purpose");

    // Wrong argument types and names fail as they do in process.
    r = qtest::call(proxy.get(), u"Sum", {Variant(1.0), Variant(u"many"), Variant(3.0)});
    EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.argErr, 1u);
    EXPECT_EQ(qtest::call(proxy.get(), u"Sum", {Variant(1.0)}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(qtest::call(proxy.get(), u"NoSuchMember").hr, DISP_E_UNKNOWNNAME);
}

// A value larger than the sockets' buffers crosses whole, both ways.
Variant bigArray() {
    Variant v;
    v.vt = VT_ARRAY | VT_R8;
    v.parray = SafeArrayCreateVector(VT_R8, 0, 1u << 20);
    auto* data = static_cast<double*>(v.parray->pvData);
    for (ULONG i = 0; i < (1u << 20); ++i) data[i] = i * 0.5;
    return v;
}

void expectBigArray(const VARIANT& v) {
    ASSERT_EQ(v.vt, VT_ARRAY | VT_R8);
    ASSERT_EQ(v.parray->rgsabound[0].cElements, 1u << 20);
    EXPECT_EQ(static_cast<const double*>(v.parray->pvData)[(1u << 20) - 1], ((1u << 20) - 1) * 0.5);
}

TEST_F(RemoteProxyTest, ValuesLargerThanTheSocketBuffersCross) {
    qtest::CallResult r = qtest::call(proxy.get(), u"Echo", {bigArray()});
    ASSERT_EQ(r.hr, S_OK);
    expectBigArray(r.value);
}

TEST_F(RemoteProxyTest, ByReferenceArgumentsComeBackChanged) {
    Variant a(u"left"), b(42);
    qtest::CallResult r = qtest::call(proxy.get(), u"Swap", {qtest::refTo(&a), qtest::refTo(&b)});
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(a.vt, VT_I4);
    EXPECT_EQ(a.lVal, 42);
    ASSERT_EQ(b.vt, VT_BSTR);
    EXPECT_EQ(qrt::bstrView(b.bstrVal), u"left");
}

TEST_F(RemoteProxyTest, ObjectsTravelBothWaysAndKeepTheirIdentity) {
    // The first call makes the probe's type information, an object too.
    ASSERT_EQ(qtest::call(proxy.get(), u"Count", {Variant(1)}).hr, S_OK);
    const long before = qrt::liveObjectCount();
    qtest::CallResult child = qtest::call(proxy.get(), u"Child", {}, DISPATCH_PROPERTYGET);
    ASSERT_EQ(child.hr, S_OK);
    ASSERT_EQ(child.value.vt, VT_DISPATCH);
    EXPECT_EQ(qtest::call(child.value.pdispVal, u"Count", {Variant(4)}).value.lVal, 5);
    EXPECT_EQ(qrt::remote::servedObjectCount(), 2u);

    // The proxy handed back is the original object on the serving side.
    Variant self(proxy.get());
    EXPECT_EQ(qtest::call(proxy.get(), u"IsSelf", {self}).value.boolVal, VARIANT_TRUE);
    EXPECT_EQ(qtest::call(proxy.get(), u"IsSelf", {child.value}).value.boolVal, VARIANT_FALSE);

    // An object of the calling side is called back during the call.
    qrt::ComPtr<qtest::Probe> local = qrt::create<qtest::Probe>();
    qtest::CallResult back = qtest::call(proxy.get(), u"CallBack", {Variant(static_cast<IDispatch*>(local.get()))});
    ASSERT_EQ(back.hr, S_OK);
    EXPECT_EQ(back.value.dblVal, 6.0);

    // Letting go of the proxy lets the serving side go of the child.
    child.value.clear();
    qrt::remote::processEvents(0);
    EXPECT_EQ(qrt::remote::servedObjectCount(), 1u);
    EXPECT_EQ(qrt::liveObjectCount(), before + 1);  // the local probe
}

TEST_F(RemoteProxyTest, AClosedConnectionReportsTheServerGoneAndFreesItsObjects) {
    qtest::CallResult child = qtest::call(proxy.get(), u"Child", {}, DISPATCH_PROPERTYGET);
    ASSERT_EQ(child.hr, S_OK);
    const long objects = qrt::liveObjectCount();
    qrt::remote::shutdown();
    EXPECT_EQ(qrt::remote::servedObjectCount(), 0u);
    EXPECT_EQ(qrt::liveObjectCount(), objects - 1);  // the child went with its connection
    EXPECT_EQ(qtest::call(proxy.get(), u"Sum", {Variant(1), Variant(2), Variant(3)}).hr, RPC_E_DISCONNECTED);
    EXPECT_EQ(qtest::call(child.value.pdispVal, u"Count", {Variant(1)}).hr, RPC_E_DISCONNECTED);
}

TEST_F(RemoteProxyTest, ProxiesAnswerOnlyTheThreadTheyBelongTo) {
    HRESULT hr = S_OK;
    std::thread([&] { hr = qtest::call(proxy.get(), u"Count", {Variant(1)}).hr; }).join();
    EXPECT_EQ(hr, RPC_E_WRONG_THREAD);
    qrt::ComPtr<IUnknown> other;
    EXPECT_EQ(proxy->QueryInterface(qtest::IProbe::IID, other.outVoid()), E_NOINTERFACE);
}

// Messages a hostile or broken client might send: the server drops them
// (and the connection) without crashing or keeping what they named.
TEST(RemoteServingTest, DamagedMessagesAreDroppedWithTheirConnection) {
    const long objects = qrt::liveObjectCount(), strings = qrt::liveBstrCount();
    const std::vector<std::string> messages = {
        std::string("\x00\x00\x00\x00", 4),                      // too short for a kind
        std::string("\xff\xff\xff\x7f\x03", 5),                  // a length beyond the limit
        std::string("\x05\x00\x00\x00\x09\x01\x00\x00\x00", 9),  // an unknown kind
        // Invoke of object 1 with 5000 arguments.
        std::string("\x1c\x00\x00\x00\x03\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00"
                    "\x00\x00\x00\x00\x01\x00\x01\x88\x13\x00\x00", 33),
        // A release of an object that was never handed out.
        std::string("\x11\x00\x00\x00\x04\x00\x00\x00\x00\x07\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00", 21),
    };
    for (const std::string& m : messages) qrt::remote::serveBytesForTesting(m);
    EXPECT_EQ(qrt::liveObjectCount(), objects);
    EXPECT_EQ(qrt::liveBstrCount(), strings);
    EXPECT_EQ(qrt::remote::servedObjectCount(), 0u);
}

// --- A local server in a child process --------------------------------------

constexpr CLSID CLSID_Probe = qrt::makeGuid("{5D2A7E14-6C93-4F0B-B8E1-2A49C7D0F635}");

class ProbeFactory final : public qrt::ComObject<IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown*, REFIID iid, void** out) override { return qrt::createInstance<qtest::Probe>(iid, out); }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

// Serves the probe class until the last client lets go (or 20 s pass).
pid_t startProbeServer() {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    qrt::remote::shutdown();  // what the parent had open is not ours
    DWORD cookie = 0;
    qrt::ComPtr<ProbeFactory> factory = qrt::create<ProbeFactory>();
    if (FAILED(CoRegisterClassObject(CLSID_Probe, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
        ::_exit(3);
    bool done = false;
    qrt::remote::setAllReleasedHandler([&] { done = true; });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < end) qrt::remote::processEvents(100);
    CoRevokeClassObject(cookie);
    ::_exit(0);
}

class LocalServerTest : public ::testing::Test {
protected:
    void TearDown() override {
        qrt::remote::shutdown();
        qrt::registry::deleteTree(qrt::registry::Hive::ClassesRoot, "CLSID\\" + qrt::guidToString(CLSID_Probe));
        qrt::remote::setStartTimeLimit(std::chrono::seconds(20));
        if (server > 0) {
            ::kill(server, SIGKILL);
            ::waitpid(server, nullptr, 0);
        }
    }
    // Waits for the child's socket to appear.
    void startServer() {
        ::unlink(qrt::remote::socketPath(CLSID_Probe).c_str());  // one a killed server left
        server = startProbeServer();
        for (int i = 0; i < 400 && ::access(qrt::remote::socketPath(CLSID_Probe).c_str(), F_OK) != 0; ++i) ::usleep(5000);
    }
    int exitStatus() {
        int status = 0;
        const pid_t done = ::waitpid(server, &status, 0);
        server = -1;
        return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void registerCommand(const std::string& command) {
        qrt::registry::setValue(qrt::registry::Hive::ClassesRoot,
                                "CLSID\\" + qrt::guidToString(CLSID_Probe) + "\\LocalServer32", "", command);
    }
    pid_t server = -1;
};

TEST_F(LocalServerTest, ARunningServerIsSharedAndEndsWithItsLastClient) {
    startServer();
    qrt::ComPtr<IDispatch> first, second;
    ASSERT_EQ(CoCreateInstance(CLSID_Probe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, first.outVoid()), S_OK)
        << qrt::lastActivationError();
    ASSERT_EQ(CoCreateInstance(CLSID_Probe, nullptr, CLSCTX_ALL, IID_IDispatch, second.outVoid()), S_OK);
    EXPECT_EQ(qtest::call(first.get(), u"Sum", {Variant(1), Variant(2), Variant(3.5)}).value.dblVal, 6.5);
    EXPECT_EQ(qtest::call(second.get(), u"Count", {Variant(9)}).value.lVal, 10);
    qtest::CallResult big = qtest::call(first.get(), u"Echo", {bigArray()});
    ASSERT_EQ(big.hr, S_OK);
    expectBigArray(big.value);
    first.reset();
    second.reset();
    EXPECT_EQ(exitStatus(), 0);
}

TEST_F(LocalServerTest, AKilledServerIsReportedGoneAtOnce) {
    startServer();
    qrt::ComPtr<IDispatch> probe;
    ASSERT_EQ(CoCreateInstance(CLSID_Probe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, probe.outVoid()), S_OK);
    ::kill(server, SIGKILL);
    exitStatus();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(qtest::call(probe.get(), u"Count", {Variant(1)}).hr, RPC_E_DISCONNECTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(qrt::statusText(RPC_E_DISCONNECTED).empty());
}

TEST_F(LocalServerTest, ServersThatCannotStartOrNeverServeFailWithinTheLimit) {
    qrt::ComPtr<IDispatch> probe;
    EXPECT_EQ(CoCreateInstance(CLSID_Probe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, probe.outVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_NE(qrt::lastActivationError().find("not registered"), std::string::npos);

    registerCommand("/bin/true --embedding");
    EXPECT_EQ(CoCreateInstance(CLSID_Probe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, probe.outVoid()),
              CO_E_SERVER_EXEC_FAILURE);
    EXPECT_NE(qrt::lastActivationError().find("ended without serving"), std::string::npos) << qrt::lastActivationError();

    // A program path with a blank and a quote, as registration writes it.
    const std::string folder = qtest::makeTempDir("server") + "/a \"b\"";
    ::mkdir(folder.c_str(), 0700);
    const std::string program = folder + "/server";
    {
        std::ofstream script(program);
        script << "#!/bin/sh\ntouch \"$(dirname \"$0\")/ran$1\"\n";
    }
    ::chmod(program.c_str(), 0700);
    registerCommand(qhost::serverCommandLine(program, "--embedding"));
    EXPECT_EQ(CoCreateInstance(CLSID_Probe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, probe.outVoid()),
              CO_E_SERVER_EXEC_FAILURE);
    EXPECT_EQ(::access((folder + "/ran--embedding").c_str(), F_OK), 0) << qrt::lastActivationError();

    registerCommand("\"/bin/sleep\" 30");
    qrt::remote::setStartTimeLimit(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CoCreateInstance(CLSID_Probe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, probe.outVoid()),
              CO_E_SERVER_EXEC_FAILURE);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(qrt::lastActivationError().find("did not serve it within"), std::string::npos);
}

// A single-use class object serves one object, then takes its socket away.
TEST_F(LocalServerTest, ASingleUseClassServesOneObject) {
    DWORD cookie = 0;
    qrt::ComPtr<ProbeFactory> factory = qrt::create<ProbeFactory>();
    ASSERT_EQ(CoRegisterClassObject(CLSID_Probe, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie), S_OK);
    // Through the socket, though the server is this process.
    qrt::ComPtr<IClassFactory> remote;
    std::string why;
    ASSERT_EQ(qrt::remote::getClassObject(CLSID_Probe, IID_IClassFactory, remote.outVoid(), why), S_OK) << why;
    qrt::ComPtr<IDispatch> probe;
    ASSERT_EQ(remote->CreateInstance(nullptr, IID_IDispatch, probe.outVoid()), S_OK);
    EXPECT_EQ(qtest::call(probe.get(), u"Count", {Variant(2)}).value.lVal, 3);
    EXPECT_NE(::access(qrt::remote::socketPath(CLSID_Probe).c_str(), F_OK), 0);
    qrt::ComPtr<IDispatch> second;
    EXPECT_EQ(remote->CreateInstance(nullptr, IID_IDispatch, second.outVoid()), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
}

TEST_F(LocalServerTest, ASecondServerOfTheSameClassIsRefusedWhileTheFirstLives) {
    startServer();
    DWORD cookie = 0;
    qrt::ComPtr<ProbeFactory> factory = qrt::create<ProbeFactory>();
    EXPECT_EQ(CoRegisterClassObject(CLSID_Probe, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              CO_E_OBJISREG);
    // Once it is gone, its socket is taken over.
    ::kill(server, SIGKILL);
    exitStatus();
    ASSERT_EQ(CoRegisterClassObject(CLSID_Probe, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
}

}  // namespace

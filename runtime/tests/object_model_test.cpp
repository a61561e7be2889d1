// Identifiers, reference counting, class objects registered by a program,
// and connection points.
#include "runtime/activation.h"
#include "runtime/connection.h"
#include "runtime/object.h"
#include "runtime/registry.h"

#include <gtest/gtest.h>

namespace {

using qrt::ComPtr;

TEST(Guid, BraceTextRoundTrips) {
    constexpr GUID g = qrt::makeGuid("{15d47f8c-cd0d-4b84-bc79-3c9c83f42783}");
    EXPECT_EQ(qrt::guidToString(g), "{15D47F8C-CD0D-4B84-BC79-3C9C83F42783}");
    EXPECT_EQ(qrt::parseGuid("15D47F8C-CD0D-4B84-BC79-3C9C83F42783"), g);
    EXPECT_FALSE(qrt::parseGuid("{15D47F8C-CD0D-4B84-BC79-3C9C83F4278}"));
    EXPECT_FALSE(qrt::parseGuid("{15D47F8C-CD0D-4B84-BC79+3C9C83F42783}"));
    EXPECT_FALSE(qrt::parseGuid("{15D47F8C-CD0D-4B84-BC79-3C9C83F4278G}"));

    CLSID parsed;
    EXPECT_EQ(CLSIDFromString(u"{15D47F8C-CD0D-4B84-BC79-3C9C83F42783}", &parsed), S_OK);
    EXPECT_EQ(parsed, g);
    EXPECT_EQ(CLSIDFromString(u"not a guid", &parsed), CO_E_CLASSSTRING);
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(g, &text), S_OK);
    EXPECT_EQ(std::u16string(text), u"{15D47F8C-CD0D-4B84-BC79-3C9C83F42783}");
    CoTaskMemFree(text);
}

struct IPing : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{B0E6F1E2-7B0A-4C55-8E0F-3B0E3E9A0B01}");
    using Base = IUnknown;
    virtual HRESULT Ping(LONG* count) = 0;
};

class Pinger final : public qrt::ComObject<IPing> {
public:
    HRESULT Ping(LONG* count) override { *count = ++m_count; return S_OK; }

private:
    LONG m_count = 0;
};

class PingFactory final : public qrt::ComObject<IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        return qrt::createInstance<Pinger>(iid, out);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

constexpr CLSID CLSID_Pinger = qrt::makeGuid("{B0E6F1E2-7B0A-4C55-8E0F-3B0E3E9A0B02}");

TEST(ReferenceCounting, QueryInterfaceCountsAndUnderflowIsCaught) {
    const long objects = qrt::liveObjectCount();
    const long underflows = qrt::refUnderflowCount();
    {
        ComPtr<Pinger> p = qrt::create<Pinger>();
        EXPECT_EQ(qrt::liveObjectCount(), objects + 1);
        EXPECT_EQ(p->refCount(), 1u);
        ComPtr<IUnknown> unknown = ComPtr<IPing>(p.get()).as<IUnknown>();
        EXPECT_EQ(p->refCount(), 2u);
        void* none = nullptr;
        EXPECT_EQ(p->QueryInterface(IDispatch::IID, &none), E_NOINTERFACE);
        EXPECT_EQ(p->refCount(), 2u);
        EXPECT_EQ(p->QueryInterface(IPing::IID, nullptr), E_POINTER);
    }
    EXPECT_EQ(qrt::liveObjectCount(), objects);

    // An object that never had a reference handed out: Release is an underflow.
    auto* raw = new Pinger;
    EXPECT_EQ(raw->Release(), 0u);
    EXPECT_EQ(qrt::refUnderflowCount(), underflows + 1);
    raw->AddRef();
    raw->Release();  // now it goes
    EXPECT_EQ(qrt::liveObjectCount(), objects);
}

TEST(Activation, ClassObjectsOfTheProgramComeFirstAndCanBeRevoked) {
    ComPtr<PingFactory> factory = qrt::create<PingFactory>();
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_Pinger, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    EXPECT_EQ(factory->refCount(), 2u);
    ComPtr<IPing> ping;
    ASSERT_EQ(CoCreateInstance(CLSID_Pinger, nullptr, CLSCTX_ALL, IPing::IID, ping.outVoid()), S_OK);
    LONG n = 0;
    ping->Ping(&n);
    EXPECT_EQ(n, 1);
    IUnknown* outer = ping.get();
    void* out = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Pinger, outer, CLSCTX_ALL, IPing::IID, &out), CLASS_E_NOAGGREGATION);

    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory->refCount(), 1u);
    EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_Pinger, nullptr, CLSCTX_ALL, IPing::IID, out == nullptr ? &out : &out),
              REGDB_E_CLASSNOTREG);
    EXPECT_NE(qrt::lastActivationError().find("not registered"), std::string::npos);
}

TEST(Activation, ARegisteredPathThatIsNoComponentLibraryIsReported) {
    constexpr CLSID clsid = qrt::makeGuid("{B0E6F1E2-7B0A-4C55-8E0F-3B0E3E9A0B03}");
    const std::string key = "CLSID\\" + qrt::guidToString(clsid) + "\\InprocServer32";
    // libc is loadable but has no entry points of a component library.
    ASSERT_EQ(qrt::registry::setValue(qrt::registry::Hive::ClassesRoot, key, "", "libc.so.6"), S_OK);
    void* out = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IUnknown::IID, &out), CO_E_ERRORINDLL);
    EXPECT_NE(qrt::lastActivationError().find("DllGetClassObject"), std::string::npos);
    ASSERT_EQ(qrt::registry::setValue(qrt::registry::Hive::ClassesRoot, key, "", "/no/such/lib.so"), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IUnknown::IID, &out), CO_E_DLLNOTFOUND);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(qrt::createObject(u"No.Such.Thing", IUnknown::IID, &out), CO_E_CLASSSTRING);
}

// A container with one connection point for IPropertyNotifySink.
class Container final : public qrt::ComObject<IConnectionPointContainer> {
public:
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (iid != IPropertyNotifySink::IID) return CONNECT_E_NOCONNECTION;
        return m_point.QueryInterface(IConnectionPoint::IID, reinterpret_cast<void**>(point));
    }
    qrt::ConnectionPoint& point() { return m_point; }

private:
    qrt::ConnectionPoint m_point{this, IPropertyNotifySink::IID};
};

class Sink final : public qrt::ComObject<IPropertyNotifySink> {
public:
    HRESULT OnChanged(DISPID id) override { changed.push_back(id); return S_OK; }
    HRESULT OnRequestEdit(DISPID) override { return allow ? S_OK : S_FALSE; }
    std::vector<DISPID> changed;
    bool allow = true;
};

TEST(ConnectionPoints, SinksAreHeldUntilUnadvised) {
    const long objects = qrt::liveObjectCount();
    {
        ComPtr<Container> container = qrt::create<Container>();
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(container->FindConnectionPoint(IPropertyNotifySink::IID, point.out()), S_OK);
        EXPECT_EQ(container->refCount(), 2u);  // the point shares the container's count

        ComPtr<Sink> sink = qrt::create<Sink>();
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
        EXPECT_EQ(sink->refCount(), 2u);
        EXPECT_TRUE(qrt::requestEdit(container->point(), DISPID_BACKCOLOR));
        sink->allow = false;
        EXPECT_FALSE(qrt::requestEdit(container->point(), DISPID_BACKCOLOR));
        qrt::notifyChanged(container->point(), DISPID_BACKCOLOR);
        EXPECT_EQ(sink->changed, std::vector<DISPID>{DISPID_BACKCOLOR});

        EXPECT_EQ(point->Unadvise(cookie + 100), CONNECT_E_NOCONNECTION);
        ASSERT_EQ(point->Unadvise(cookie), S_OK);
        EXPECT_EQ(sink->refCount(), 1u);

        // A sink still connected when the container goes is released with it.
        ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
        ComPtr<Pinger> wrong = qrt::create<Pinger>();
        EXPECT_EQ(point->Advise(wrong.get(), &cookie), CONNECT_E_CANNOTCONNECT);
    }
    EXPECT_EQ(qrt::liveObjectCount(), objects);
}

}  // namespace

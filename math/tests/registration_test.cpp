// The math library as an in-process server: registration layout, activation
// by ProgID, class objects, reference counts and unloading.
#include "math/sumtrel.h"
#include "math/tests/sumtrel_fixture.h"
#include "runtime/object.h"
#include "runtime/registry.h"

#include <dlfcn.h>

namespace sumtrel_test {
namespace {

namespace reg = qrt::registry;
using reg::Hive;

std::string classKey(const CLSID& clsid) { return "CLSID\\" + qrt::guidToString(clsid); }

TEST(SumtrelRegistration, WritesTheAutomationObjectLayout) {
    registerSumtrel();
    const std::string path = qhost::canonicalPath(libraryPath());
    const std::string libId = qrt::guidToString(LIBID_Sumtrel);
    for (const CLSID& clsid : {CLSID_MathClass, CLSID_complex}) {
        const std::string key = classKey(clsid);
        ASSERT_TRUE(reg::keyExists(Hive::ClassesRoot, key));
        EXPECT_TRUE(reg::keyExists(Hive::ClassesRoot, key + "\\Programmable"));
        EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, key + "\\Control"));
        EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, key + "\\MiscStatus"));
        EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, key + "\\ToolboxBitmap32"));
        EXPECT_EQ(reg::getValue(Hive::ClassesRoot, key + "\\InprocServer32"), path);
        EXPECT_EQ(reg::getValue(Hive::ClassesRoot, key + "\\InprocServer32", "ThreadingModel"), "apartment");
        EXPECT_EQ(reg::getValue(Hive::ClassesRoot, key, "AppID"), libId);
        EXPECT_EQ(reg::getValue(Hive::ClassesRoot, key + "\\TypeLib"), libId);
    }
    const std::string math = classKey(CLSID_MathClass);
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, math), "CMathClass Object");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, math + "\\ProgID"), "Sumtrel.MathClass.1");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, math + "\\VersionIndependentProgID"), "Sumtrel.MathClass");
    EXPECT_EQ(reg::subkeys(Hive::ClassesRoot, math),
              (std::vector<std::string>{"ProgID", "VersionIndependentProgID", "Programmable", "InprocServer32",
                                        "TypeLib"}));
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Sumtrel.complex.1"), "Ccomplex Object");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Sumtrel.complex\\CurVer"), "Sumtrel.complex.1");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "AppID\\" + libId), "Sumtrel");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "AppID\\Sumtrel.DLL", "AppID"), libId);
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "TypeLib\\" + libId + "\\1.0"), "Sumtrel 1.0 Type Library");
    EXPECT_TRUE(qhost::isRegisteredFrom("Sumtrel", path));
}

TEST(SumtrelRegistration, ProgIdsResolveThroughCurVer) {
    registerSumtrel();
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"Sumtrel.MathClass", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_MathClass);
    // The version-independent key leads through CurVer even when its own
    // CLSID entry is gone.
    ASSERT_EQ(reg::deleteTree(Hive::ClassesRoot, "Sumtrel.MathClass\\CLSID"), S_OK);
    ASSERT_EQ(CLSIDFromProgID(u"Sumtrel.MathClass", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_MathClass);
    ASSERT_EQ(CLSIDFromProgID(u"Sumtrel.complex.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_complex);
    EXPECT_EQ(CLSIDFromProgID(u"Sumtrel.NoSuchClass", &clsid), CO_E_CLASSSTRING);
    EXPECT_NE(qrt::lastActivationError().find("Sumtrel.NoSuchClass"), std::string::npos);
}

TEST(SumtrelRegistration, UnregistrationKeepsTheRoots) {
    registerSumtrel();
    std::string message;
    ASSERT_EQ(qhost::registerLibraryFile(libraryPath(), true, &message), S_OK) << message;
    for (const char* key : {"Sumtrel.MathClass", "Sumtrel.MathClass.1", "Sumtrel.complex", "Sumtrel.complex.1",
                            "AppID\\Sumtrel.DLL"})
        EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, key)) << key;
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, classKey(CLSID_MathClass)));
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, classKey(CLSID_complex)));
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, "AppID\\" + qrt::guidToString(LIBID_Sumtrel)));
    EXPECT_TRUE(reg::keyExists(Hive::ClassesRoot, "CLSID"));
    EXPECT_TRUE(reg::keyExists(Hive::ClassesRoot, "AppID"));

    qrt::ComPtr<IDispatch> object;
    EXPECT_EQ(CoCreateInstance(CLSID_MathClass, nullptr, CLSCTX_ALL, IDispatch::IID, object.outVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(object);
    registerSumtrel();  // leave the library usable for later tests
}

TEST(SumtrelRegistration, ReregistrationRepairsAStaleClassKey) {
    registerSumtrel();
    const std::string key = classKey(CLSID_MathClass);
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, key + "\\InprocServer32", "", "/nowhere/libSumtrel.so"), S_OK);
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, key + "\\Stale", "", "x"), S_OK);
    EXPECT_FALSE(qhost::isRegisteredFrom("Sumtrel", libraryPath()));
    std::string message;
    ASSERT_EQ(qhost::ensureLibrariesRegistered(qtest::binaryDir(), {"Sumtrel"}, &message), S_OK) << message;
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, key + "\\Stale"));
    EXPECT_TRUE(qhost::isRegisteredFrom("Sumtrel", libraryPath()));
}

TEST(SumtrelRegistration, MissingLibraryIsReportedClearly) {
    registerSumtrel();
    const std::string key = classKey(CLSID_complex);
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, key + "\\InprocServer32", "", "/nowhere/libSumtrel.so"), S_OK);
    qrt::ComPtr<IDispatch> object;
    EXPECT_EQ(qrt::createObject(u"Sumtrel.complex", object), CO_E_DLLNOTFOUND);
    EXPECT_NE(qrt::lastActivationError().find("/nowhere/libSumtrel.so"), std::string::npos);

    std::string message;
    EXPECT_EQ(qhost::registerLibraryFile("/nowhere/libSumtrel.so", false, &message), CO_E_DLLNOTFOUND);
    EXPECT_NE(message.find("/nowhere/libSumtrel.so"), std::string::npos);
    registerSumtrel();
}

TEST(SumtrelServer, ClassObjectsAnswerOnlyForTheirOwnClasses) {
    void* handle = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    // The class identifier of a control of another library.
    constexpr CLSID foreign = qrt::makeGuid("{0B6E2A4C-2F43-4C3A-9E0E-3D1F6C0A5B11}");
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(foreign, IClassFactory::IID, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(getClassObject(CLSID_MathClass, IClassFactory::IID, nullptr), E_POINTER);

    IClassFactory* first = nullptr;
    IClassFactory* second = nullptr;
    ASSERT_EQ(getClassObject(CLSID_MathClass, IClassFactory::IID, reinterpret_cast<void**>(&first)), S_OK);
    ASSERT_EQ(getClassObject(CLSID_MathClass, IClassFactory::IID, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(first, second);  // made once, kept
    qrt::ComPtr<IUnknown> outer;
    void* instance = nullptr;
    IUnknown* dummyOuter = reinterpret_cast<IUnknown*>(first);
    EXPECT_EQ(first->CreateInstance(dummyOuter, IUnknown::IID, &instance), CLASS_E_NOAGGREGATION);
    first->Release();
    second->Release();
    dlclose(handle);
}

TEST(SumtrelServer, ObjectsAreCountedAndTheLibraryUnloads) {
    registerSumtrel();
    CoInitialize(nullptr);
    {
        // Warm up: type information is made once per class.
        qrt::ComPtr<IDispatch> warm, warmMath;
        ASSERT_EQ(qrt::createObject(u"Sumtrel.complex", warm), S_OK);
        ASSERT_EQ(call(warm.get(), u"abs", {1.0, 1.0}).hr, S_OK);
        ASSERT_EQ(qrt::createObject(u"Sumtrel.MathClass", warmMath), S_OK);
        ASSERT_EQ(call(warmMath.get(), u"J0", {1.0}).hr, S_OK);
    }
    const long objects = qrt::liveObjectCount();
    const long underflows = qrt::refUnderflowCount();
    const long bstrs = qrt::liveBstrCount();
    {
        qrt::ComPtr<IDispatch> math, complex;
        ASSERT_EQ(qrt::createObject(u"Sumtrel.MathClass", math), S_OK);
        ASSERT_EQ(qrt::createObject(u"Sumtrel.complex", complex), S_OK);
        EXPECT_EQ(qrt::liveObjectCount(), objects + 2);
        EXPECT_EQ(qrt::loadedLibraryCount(), 1);

        // QueryInterface adds a reference to what it returns.
        qrt::ComPtr<IMathClass> typed = math.as<IMathClass>();
        ASSERT_TRUE(typed);
        EXPECT_EQ(typed->AddRef(), 3u);
        EXPECT_EQ(typed->Release(), 2u);
        void* none = nullptr;
        EXPECT_EQ(math->QueryInterface(Icomplex::IID, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);

        // A failing call leaves no strings behind.
        EXPECT_EQ(call(math.get(), u"J0", {qrt::Variant("x")}).hr, DISP_E_TYPEMISMATCH);

        // Objects alive: the library stays.
        CoFreeUnusedLibraries();
        EXPECT_EQ(qrt::loadedLibraryCount(), 1);
        EXPECT_EQ(call(math.get(), u"J0", {1.0}).hr, S_OK);
    }
    EXPECT_EQ(qrt::liveObjectCount(), objects);
    EXPECT_EQ(qrt::refUnderflowCount(), underflows);
    EXPECT_EQ(qrt::liveBstrCount(), bstrs);

    // A factory lock keeps the library loaded.
    qrt::ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_MathClass, CLSCTX_INPROC_SERVER, nullptr, IClassFactory::IID,
                               factory.outVoid()),
              S_OK);
    factory->LockServer(1);
    CoFreeUnusedLibraries();
    EXPECT_EQ(qrt::loadedLibraryCount(), 1);
    factory->LockServer(0);
    factory.reset();
    CoUninitialize();  // the last uninitialisation unloads what can go
    EXPECT_EQ(qrt::loadedLibraryCount(), 0);
}

TEST(SumtrelServer, UnderflowIsCaughtNotFreedTwice) {
    registerSumtrel();
    qrt::ComPtr<IDispatch> math;
    ASSERT_EQ(qrt::createObject(u"Sumtrel.MathClass", math), S_OK);
    const long objects = qrt::liveObjectCount();
    const long underflows = qrt::refUnderflowCount();
    IDispatch* raw = math.detach();
    EXPECT_EQ(raw->Release(), 0u);  // the last reference: the object goes
    EXPECT_EQ(qrt::liveObjectCount(), objects - 1);
    EXPECT_EQ(qrt::refUnderflowCount(), underflows);
}

}  // namespace
}  // namespace sumtrel_test

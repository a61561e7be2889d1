// The graph library as an in-process server: its five classes' registry
// rows, the tool-palette bitmap and its class objects.
#include "graph/tests/tarvik_fixture.h"
#include "hosting/registration.h"
#include "runtime/registry.h"

#include <QImage>

#include <dlfcn.h>

namespace tarvik_test {
namespace {

namespace reg = qrt::registry;
using reg::Hive;

std::string classKey(const CLSID& clsid) { return "CLSID\\" + qrt::guidToString(clsid); }

TEST_F(TarvikTest, ControlsAndObjectsAreRegisteredAsTheirKind) {
    const std::string path = qhost::canonicalPath(qtest::binaryDir() + "/libTarvik.so");
    for (const CLSID& control : {CLSID_ViGraf, CLSID_SimGra}) {
        const std::string k = classKey(control);
        EXPECT_TRUE(reg::keyExists(Hive::ClassesRoot, k + "\\Control"));
        EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\ToolboxBitmap32"), path + ", 1");
        EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\MiscStatus"), "0");
        EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\MiscStatus\\1"), "131473");
        EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\Version"), "1.0");
        EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, k + "\\Programmable"));
    }
    for (const CLSID& object : {CLSID_Series, CLSID_SeriesHolder, CLSID_SuperSeriesHolder}) {
        const std::string k = classKey(object);
        EXPECT_TRUE(reg::keyExists(Hive::ClassesRoot, k + "\\Programmable"));
        EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, k + "\\Control"));
        EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, k + "\\MiscStatus"));
    }
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, classKey(CLSID_ViGraf)), "CViGraf Object");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, classKey(CLSID_SuperSeriesHolder)), "CSuperSeriesHolder Object");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, classKey(CLSID_SuperSeriesHolder) + "\\ProgID"),
              "Tarvik.SurerSeriesHolder.1");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Tarvik.SurerSeriesHolder\\CurVer"), "Tarvik.SurerSeriesHolder.1");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "AppID\\Tarvik.DLL", "AppID"), qrt::guidToString(LIBID_Tarvik));

    for (const char16_t* progId : {u"Tarvik.ViGraf", u"Tarvik.SimGra", u"Tarvik.Series", u"Tarvik.SeriesHolder",
                                   u"Tarvik.SurerSeriesHolder"}) {
        ComPtr<IDispatch> object;
        EXPECT_EQ(qrt::createObject(progId, object), S_OK) << qrt::encodeUtf8(progId);
    }
}

TEST_F(TarvikTest, TheLibraryCarriesItsToolPaletteBitmap) {
    ensureApplication();
    void* handle = dlopen((qtest::binaryDir() + "/libTarvik.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    using GetBitmap = HRESULT (*)(UINT, const BYTE**, UINT*);
    auto getBitmap = reinterpret_cast<GetBitmap>(dlsym(handle, "DllGetBitmapResource"));
    ASSERT_NE(getBitmap, nullptr);
    const BYTE* data = nullptr;
    UINT size = 0;
    ASSERT_EQ(getBitmap(1, &data, &size), S_OK);
    QImage image = QImage::fromData(data, static_cast<int>(size), "BMP");
    EXPECT_EQ(image.size(), QSize(16, 16));
    EXPECT_EQ(image.pixelColor(1, 13), QColor(Qt::black));  // the axes
    EXPECT_EQ(getBitmap(2, &data, &size), TYPE_E_ELEMENTNOTFOUND);

    // Class objects answer only for this library's classes.
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    constexpr CLSID mathClass = qrt::makeGuid("{15D47F8C-CD0D-4B84-BC79-3C9C83F42783}");
    void* out = nullptr;
    EXPECT_EQ(getClassObject(mathClass, IClassFactory::IID, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(getClassObject(CLSID_SimGra, IClassFactory::IID, &out), S_OK);
    static_cast<IClassFactory*>(out)->Release();
    dlclose(handle);
}

TEST_F(TarvikTest, ControlsDescribeTheirEvents) {
    auto graf = make<IViGraf>(u"Tarvik.ViGraf");
    auto info2 = graf.as<IProvideClassInfo2>();
    ASSERT_TRUE(info2);
    GUID source{};
    ASSERT_EQ(info2->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_EQ(source, DIID__IViGrafEvents);
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(info2->GetClassInfo(coclass.out()), S_OK);
    INT flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(1, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    ComPtr<ITypeInfo> events;
    ASSERT_EQ(coclass->GetRefTypeInfo(1, events.out()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(events->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->cFuncs, 6);
    events->ReleaseTypeAttr(attr);
    BSTR name = nullptr;
    ASSERT_EQ(events->GetDocumentation(DISPID_RealPosition, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(qrt::bstrToUtf8(name), "RealPosition");
    SysFreeString(name);
}

}  // namespace
}  // namespace tarvik_test

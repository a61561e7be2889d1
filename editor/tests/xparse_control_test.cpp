// The editor control as a control: stock properties and their persistence,
// its windows, the inactive rendering, and its registration.
#include "editor/tests/lexora_fixture.h"
#include "hosting/registration.h"
#include "runtime/persist.h"
#include "runtime/registry.h"
#include "runtime/storage.h"
#include "runtime/typeinfo.h"

#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <dlfcn.h>

namespace lexora_test {
namespace {

ComPtr<IStream> memoryStream() {
    ComPtr<IStream> stream;
    EXPECT_EQ(qrt::createMemoryStream(stream.out()), S_OK);
    return stream;
}

void rewind(IStream* stream) {
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
}

TEST_F(LexoraTest, StockPropertiesPersistWithTheExtent) {
    auto parse = make<IxParse>();
    ASSERT_TRUE(parse);
    auto persist = parse.as<IPersistStreamInit>();
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    ASSERT_EQ(put(parse.get(), u"BackStyle", 1).hr, S_OK);
    ASSERT_EQ(put(parse.get(), u"TabStop", true).hr, S_OK);
    ASSERT_EQ(put(parse.get(), u"Text", u"caption").hr, S_OK);
    ASSERT_EQ(put(parse.get(), u"Script", u"not saved").hr, S_OK);
    ASSERT_EQ(parse.as<IWidgetControl>()->SetObjectRect(0, 0, 96, 192), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK);
    auto stream = memoryStream();
    ASSERT_EQ(persist->Save(stream.get(), 1), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);

    // The layout: version, "_cx" and "_cy" (hundredths of a millimetre), then the properties.
    rewind(stream.get());
    DWORD version = 0;
    ASSERT_EQ(qrt::readExactly(stream.get(), &version, 4), S_OK);
    EXPECT_EQ(version, 0x0700u);
    Variant cx, cy;
    ASSERT_EQ(qrt::readVariant(stream.get(), &cx), S_OK);
    ASSERT_EQ(qrt::readVariant(stream.get(), &cy), S_OK);
    EXPECT_EQ(cx.lVal, 2540);
    EXPECT_EQ(cy.lVal, 5080);

    auto copy = make<IxParse>();
    rewind(stream.get());
    ASSERT_EQ(copy.as<IPersistStreamInit>()->Load(stream.get()), S_OK);
    EXPECT_EQ(get(copy.get(), u"BackStyle").value.lVal, 1);
    EXPECT_EQ(get(copy.get(), u"TabStop").value.boolVal, VARIANT_TRUE);
    EXPECT_EQ(qrt::bstrView(get(copy.get(), u"Text").value.bstrVal), u"caption");
    EXPECT_EQ(qrt::bstrView(get(copy.get(), u"Script").value.bstrVal), u"");
    // The stock Text is not the editor's text.
    EXPECT_EQ(qrt::bstrView(get(parse.get(), u"Script").value.bstrVal), u"not saved");

    // A storage holds the same in "Contents"; a newer version is refused.
    ComPtr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfile(u"xparse.cmp", STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE |
                                                  STGM_DELETEONRELEASE, 0, storage.out()),
              S_OK);
    ASSERT_EQ(parse.as<IPersistStorage>()->Save(storage.get(), 1), S_OK);
    auto third = make<IxParse>();
    ASSERT_EQ(third.as<IPersistStorage>()->Load(storage.get()), S_OK);
    EXPECT_EQ(qrt::bstrView(get(third.get(), u"Text").value.bstrVal), u"caption");
    auto newer = memoryStream();
    const DWORD v = 0x0701;
    qrt::writeExactly(newer.get(), &v, 4);
    rewind(newer.get());
    EXPECT_EQ(third.as<IPersistStreamInit>()->Load(newer.get()), E_FAIL);
}

// Records property notifications and refuses edits when told to.
class Listener final : public qrt::ComObject<IPropertyNotifySink> {
public:
    HRESULT OnChanged(DISPID id) override {
        changed.push_back(id);
        return S_OK;
    }
    HRESULT OnRequestEdit(DISPID) override { return refuse ? S_FALSE : S_OK; }
    std::vector<DISPID> changed;
    bool refuse = false;
};

TEST_F(LexoraTest, StockPropertiesAskListenersFirst) {
    auto parse = make<IxParse>();
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(parse.as<IConnectionPointContainer>()->FindConnectionPoint(IPropertyNotifySink::IID, point.out()),
              S_OK);
    auto listener = qrt::create<Listener>();
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(listener->unknown(), &cookie), S_OK);
    ASSERT_EQ(parse->put_Text(qrt::Bstr(u"a").get()), S_OK);
    ASSERT_EQ(parse->put_TabStop(VARIANT_TRUE), S_OK);
    EXPECT_EQ(listener->changed, (std::vector<DISPID>{DISPID_TEXT, DISPID_TABSTOP}));
    listener->refuse = true;
    EXPECT_EQ(parse->put_Text(qrt::Bstr(u"b").get()), S_FALSE);
    EXPECT_EQ(parse->put_BackStyle(4), S_FALSE);
    EXPECT_EQ(qrt::bstrView(get(parse.get(), u"Text").value.bstrVal), u"a");
    EXPECT_EQ(get(parse.get(), u"BackStyle").value.lVal, 0);
    point->Unadvise(cookie);

    EXPECT_EQ(parse->get_Text(nullptr), E_POINTER);
    EXPECT_EQ(parse->get_Script(nullptr), E_POINTER);
    EXPECT_EQ(parse->get_TypeScript(nullptr), E_POINTER);
    EXPECT_EQ(parse->putref_Font(parse.get()), E_INVALIDARG);
    // The event interface has no members; the class says it is the source.
    GUID source{};
    ASSERT_EQ(parse.as<IProvideClassInfo2>()->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_EQ(source, DIID__IxParseEvents);
    ASSERT_EQ(parse.as<IConnectionPointContainer>()->FindConnectionPoint(DIID__IxParseEvents, point.out()), S_OK);
}

TEST_F(LexoraTest, TheWindowHoldsTheEditorInCourierNew) {
    HostedEditor e(300, 200);
    QWidget* window = e.host.controlWindow();
    EXPECT_EQ(e.edit->parentWidget(), window);
    EXPECT_EQ(e.edit->geometry(), QRect(0, 0, 300, 200));
    e.host.resize(420, 260);
    EXPECT_EQ(window->geometry(), QRect(0, 0, 420, 260));
    EXPECT_EQ(e.edit->geometry(), QRect(0, 0, 420, 260));
    const QFontInfo font(e.edit->document()->defaultFont());
    EXPECT_EQ(font.family(), "Liberation Mono");
    EXPECT_EQ(font.pointSize(), 10);
    EXPECT_EQ(e.edit->lineWrapMode(), QPlainTextEdit::NoWrap);
    auto* timer = window->findChild<QTimer*>("redraw");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 4000);
    EXPECT_TRUE(timer->isActive());
}

TEST_F(LexoraTest, DrawnWithoutItsWindowItShowsItsVersion) {
    auto parse = make<IxParse>();
    const QImage image = qhost::renderControl(parse.get(), 200, 100);
    ASSERT_FALSE(image.isNull());
    if (const char* folder = std::getenv("QUILLAN_SAVE_PICTURES")) image.save(QString::fromUtf8(folder) + "/inactive.png");
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) ink |= QRect(x, y, 1, 1);
    ASSERT_FALSE(ink.isNull());
    // Centred across the middle, standing on the middle row.
    EXPECT_NEAR(ink.center().x(), 100, 3);
    EXPECT_LE(ink.bottom(), 52);
    EXPECT_GE(ink.bottom(), 47);
    EXPECT_GT(ink.width(), 20);
}

TEST_F(LexoraTest, RegisteredAsAControl) {
    namespace reg = qrt::registry;
    using reg::Hive;
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Lexora.xParse", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_xParse);
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Lexora.xParse\\CurVer"), "Lexora.xParse.1");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Lexora.xParse"), "CxParse Object");
    const std::string k = "CLSID\\" + qrt::guidToString(CLSID_xParse);
    const std::string path = qhost::canonicalPath(qtest::binaryDir() + "/libLexora.so");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k), "CxParse Object");
    EXPECT_EQ(reg::subkeys(Hive::ClassesRoot, k),
              (std::vector<std::string>{"ProgID", "VersionIndependentProgID", "InprocServer32", "Control",
                                        "ToolboxBitmap32", "MiscStatus", "TypeLib", "Version"}));
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\ToolboxBitmap32"), path + ", 1");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\MiscStatus"), "0");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\MiscStatus\\1"), "131473");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\Version"), "1.0");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\InprocServer32", "ThreadingModel"), "apartment");
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, k + "\\Programmable"));
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "AppID\\Lexora.DLL", "AppID"), qrt::guidToString(LIBID_Lexora));
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "AppID\\" + qrt::guidToString(LIBID_Lexora)), "Lexora");

    void* handle = dlopen((qtest::binaryDir() + "/libLexora.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    using GetBitmap = HRESULT (*)(UINT, const BYTE**, UINT*);
    auto getBitmap = reinterpret_cast<GetBitmap>(dlsym(handle, "DllGetBitmapResource"));
    ASSERT_NE(getBitmap, nullptr);
    const BYTE* data = nullptr;
    UINT size = 0;
    ASSERT_EQ(getBitmap(1, &data, &size), S_OK);
    EXPECT_EQ(QImage::fromData(data, static_cast<int>(size), "BMP").size(), QSize(16, 16));
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    constexpr CLSID viGraf = qrt::makeGuid("{41B3592F-B558-4E18-8DB4-39406AC51419}");
    void* out = nullptr;
    EXPECT_EQ(getClassObject(viGraf, IClassFactory::IID, &out), CLASS_E_CLASSNOTAVAILABLE);
    dlclose(handle);
}

}  // namespace
}  // namespace lexora_test

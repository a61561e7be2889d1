// The registry layout written for controls, automation objects and a
// program's own classes, and its removal.
#include "hosting/registration.h"
#include "runtime/activation.h"
#include "runtime/registry.h"

#include <gtest/gtest.h>

namespace {

namespace reg = qrt::registry;
using reg::Hive;

constexpr GUID kLibId = qrt::makeGuid("{DA6AF1F4-8D0B-46F2-ADD6-20C21172FC61}");
constexpr CLSID kControl = qrt::makeGuid("{FCF755A1-06FE-4D3F-B752-BFDDB1646571}");
constexpr CLSID kObject = qrt::makeGuid("{FCF755A1-06FE-4D3F-B752-BFDDB1646572}");
constexpr IID kInterface = qrt::makeGuid("{FCF755A1-06FE-4D3F-B752-BFDDB1646573}");

HRESULT noCreate(REFIID, void**) { return E_NOTIMPL; }

qhost::ModuleInfo testModule(bool program) {
    return qhost::ModuleInfo{
        program ? "Painter" : "Widgets",
        kLibId,
        "Widgets 1.0 Type Library",
        {
            {kControl, "Dial", "Dial Class", qhost::ClassKind::Control, "Widgets.Dial.1", "Widgets.Dial",
             "CDial Object", &noCreate},
            {kObject, "O'Brien", "O'Brien Class", qhost::ClassKind::Automation, "Widgets.O'Brien.1",
             "Widgets.O'Brien", "100% Object", &noCreate},
        },
        {{kInterface, "IDial"}},
        program,
    };
}

std::string key(const CLSID& clsid) { return "CLSID\\" + qrt::guidToString(clsid); }

TEST(RegistrationLayout, ControlsGetTheirKeysInOrder) {
    const std::string path = "/opt/widgets/libWidgets.so";
    ASSERT_EQ(qhost::registerModule(testModule(false), path), S_OK);
    const std::string k = key(kControl);
    EXPECT_EQ(reg::subkeys(Hive::ClassesRoot, k),
              (std::vector<std::string>{"ProgID", "VersionIndependentProgID", "InprocServer32", "Control",
                                        "ToolboxBitmap32", "MiscStatus", "TypeLib", "Version"}));
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k), "CDial Object");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\ToolboxBitmap32"), path + ", 1");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\MiscStatus"), "0");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\MiscStatus\\1"), "131473");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\Version"), "1.0");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\InprocServer32", "ThreadingModel"), "apartment");
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, k + "\\Programmable"));

    // Quotes and percent signs in names are taken literally.
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Widgets.O'Brien\\CurVer"), "Widgets.O'Brien.1");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, key(kObject)), "100% Object");
    EXPECT_TRUE(reg::keyExists(Hive::ClassesRoot, key(kObject) + "\\Programmable"));

    const std::string libId = qrt::guidToString(kLibId);
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "TypeLib\\" + libId + "\\1.0\\0\\linux"), path);
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "TypeLib\\" + libId + "\\1.0\\HELPDIR"), "/opt/widgets");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Interface\\" + qrt::guidToString(kInterface)), "IDial");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "AppID\\Widgets.DLL", "AppID"), libId);

    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"Widgets.Dial", &clsid), S_OK);
    EXPECT_EQ(clsid, kControl);

    // Registering again changes nothing.
    const std::string before = reg::serialize(reg::load(Hive::ClassesRoot), Hive::ClassesRoot);
    ASSERT_EQ(qhost::registerModule(testModule(false), path), S_OK);
    EXPECT_EQ(reg::serialize(reg::load(Hive::ClassesRoot), Hive::ClassesRoot), before);

    ASSERT_EQ(qhost::unregisterModule(testModule(false), path), S_OK);
    for (const std::string& gone : {k, key(kObject), std::string("Widgets.Dial"), std::string("Widgets.Dial.1"),
                                    std::string("Widgets.O'Brien"), "TypeLib\\" + libId,
                                    "Interface\\" + qrt::guidToString(kInterface), std::string("AppID\\Widgets.DLL"),
                                    "AppID\\" + libId})
        EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, gone)) << gone;
    for (const char* root : {"CLSID", "AppID", "TypeLib", "Interface"})
        EXPECT_TRUE(reg::keyExists(Hive::ClassesRoot, root)) << root;
}

TEST(RegistrationLayout, AProgramRegistersALocalServer) {
    const std::string path = "/opt/painter/painter";
    ASSERT_EQ(qhost::registerModule(testModule(true), path), S_OK);
    const std::string k = key(kObject);
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, k + "\\LocalServer32"), path);
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, k + "\\InprocServer32"));
    EXPECT_FALSE(reg::getValue(Hive::ClassesRoot, k + "\\LocalServer32", "ThreadingModel"));
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "AppID\\Painter.EXE", "AppID"), qrt::guidToString(kLibId));
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "AppID\\" + qrt::guidToString(kLibId)), "Painter");
    ASSERT_EQ(qhost::unregisterModule(testModule(true), path), S_OK);
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, k));
}

TEST(RegistrationLayout, ARegistryThatCannotBeWrittenFailsRegistration) {
    const char* saved = std::getenv("QUILLAN_REGISTRY_DIR");
    std::string keep = saved ? saved : "";
    setenv("QUILLAN_REGISTRY_DIR", "/proc/quillan-cannot-write-here", 1);
    EXPECT_TRUE(FAILED(qhost::registerModule(testModule(false), "/opt/widgets/libWidgets.so")));
    setenv("QUILLAN_REGISTRY_DIR", keep.c_str(), 1);
}

}  // namespace

#include "hosting/rgs.h"

#include "runtime/registry.h"
#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace reg = qrt::registry;
using reg::Hive;
using Values = std::vector<std::pair<std::string, std::string>>;
using Names = std::vector<std::string>;

constexpr const char* kGuid = "{5E3C1A20-7B4D-4C8E-9F01-23456789ABCD}";
constexpr const char* kForeignGuid = "{0F0F0F0F-1111-2222-3333-444455556666}";
const std::string kCls = std::string("CLSID\\") + kGuid;
const std::string kForeign = std::string("CLSID\\") + kForeignGuid;

// A class registration as a component library carries it.
constexpr const char* kClassScript = R"(HKCR {
    Sumtrel.MathClass.1 = s 'CMathClass Object' { CLSID = s '{5E3C1A20-7B4D-4C8E-9F01-23456789ABCD}' }
    NoRemove CLSID {
        ForceRemove {5E3C1A20-7B4D-4C8E-9F01-23456789ABCD} = s 'CMathClass Object' {
            ProgID = s 'Sumtrel.MathClass.1'
            InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'apartment' }
            val AppID = s '%APPID%'
            'TypeLib' = s '{9A8B7C6D-0000-1111-2222-333344445555}'
        }
    }
})";

Names namesAt(Hive h, std::string_view path) {
    Names names;
    reg::Key root = reg::load(h);
    if (const reg::Key* key = root.find(path))
        for (const auto& c : key->children()) names.push_back(c->name());
    return names;
}
Values valuesAt(Hive h, std::string_view path) {
    reg::Key root = reg::load(h);
    const reg::Key* key = root.find(path);
    return key ? key->values() : Values{};
}
std::string dump(Hive h) { return reg::serialize(reg::load(h), h); }

HRESULT run(std::string_view script, bool doRegister, qhost::RgsError* error = nullptr,
            const qhost::RgsSubstitutions& subs = {{"MODULE", "/opt/q/libSumtrel.so"}, {"APPID", "{AB}"}}) {
    return qhost::runRegistrationScript(script, subs, doRegister, error);
}

class RgsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (Hive h : {Hive::ClassesRoot, Hive::CurrentUser})
            ASSERT_EQ(S_OK, reg::transact(h, [](reg::Key& root) {
                while (!root.children().empty()) root.removeChild(std::string(root.children().front()->name()));
                return S_OK;
            }));
    }
};

TEST_F(RgsTest, RegistersAsWrittenAndUnregistersOnlyItsOwnKeys) {
    ASSERT_EQ(S_OK, reg::setValue(Hive::ClassesRoot, kForeign, {}, "Someone else"));
    qhost::RgsError error;
    ASSERT_EQ(S_OK, run(kClassScript, true, &error)) << error.message;

    EXPECT_EQ((Names{"CLSID", "Sumtrel.MathClass.1"}), namesAt(Hive::ClassesRoot, ""));
    EXPECT_EQ((Values{{"", kGuid}}), valuesAt(Hive::ClassesRoot, "Sumtrel.MathClass.1\\CLSID"));
    EXPECT_EQ((Names{"ProgID", "InprocServer32", "TypeLib"}), namesAt(Hive::ClassesRoot, kCls));
    EXPECT_EQ((Values{{"", "CMathClass Object"}, {"AppID", "{AB}"}}), valuesAt(Hive::ClassesRoot, kCls));
    EXPECT_EQ((Values{{"", "/opt/q/libSumtrel.so"}, {"ThreadingModel", "apartment"}}),
              valuesAt(Hive::ClassesRoot, kCls + "\\InprocServer32"));
    EXPECT_EQ((Names{}), namesAt(Hive::CurrentUser, ""));

    // Another product hangs a subkey under our ProgID: that key must stay.
    ASSERT_EQ(S_OK, reg::setValue(Hive::ClassesRoot, "Sumtrel.MathClass.1\\Extra", {}, "keep"));
    ASSERT_EQ(S_OK, run(kClassScript, false));
    EXPECT_EQ((Names{"CLSID", "Sumtrel.MathClass.1"}), namesAt(Hive::ClassesRoot, ""));
    EXPECT_EQ((Names{kForeignGuid}), namesAt(Hive::ClassesRoot, "CLSID"));
    EXPECT_EQ((Names{"Extra"}), namesAt(Hive::ClassesRoot, "Sumtrel.MathClass.1"));

    std::string before = dump(Hive::ClassesRoot);
    EXPECT_EQ(S_OK, run(kClassScript, false));
    EXPECT_EQ(before, dump(Hive::ClassesRoot));
}

TEST_F(RgsTest, ReRegistrationReplacesOnlyForceRemoveContent) {
    ASSERT_EQ(S_OK, run(kClassScript, true));
    // Registered after ours: re-registering must not move ours behind it.
    ASSERT_EQ(S_OK, reg::setValue(Hive::ClassesRoot, kForeign, {}, "Someone else"));
    std::string once = dump(Hive::ClassesRoot);
    ASSERT_EQ(S_OK, run(kClassScript, true));
    EXPECT_EQ(once, dump(Hive::ClassesRoot));

    ASSERT_EQ(S_OK, reg::setValue(Hive::ClassesRoot, kCls + "\\LocalServer32", {}, "/old"));
    ASSERT_EQ(S_OK, reg::setValue(Hive::ClassesRoot, kCls, "Stale", "x"));
    ASSERT_EQ(S_OK, reg::setValue(Hive::ClassesRoot, "Sumtrel.MathClass.1\\Extra", {}, "keep"));
    ASSERT_EQ(S_OK, run(kClassScript, true));
    EXPECT_EQ((Names{"ProgID", "InprocServer32", "TypeLib"}), namesAt(Hive::ClassesRoot, kCls));
    EXPECT_EQ((Values{{"", "CMathClass Object"}, {"AppID", "{AB}"}}), valuesAt(Hive::ClassesRoot, kCls));
    EXPECT_EQ((Names{kGuid, kForeignGuid}), namesAt(Hive::ClassesRoot, "CLSID"));
    EXPECT_EQ((Names{"CLSID", "Extra"}), namesAt(Hive::ClassesRoot, "Sumtrel.MathClass.1"));

    // A ForceRemove key spelled differently is recreated with the new spelling.
    ASSERT_EQ(S_OK, run("HKCR { ForceRemove SUMTREL.MATHCLASS.1 }", true));
    EXPECT_EQ((Names{"CLSID", "SUMTREL.MATHCLASS.1"}), namesAt(Hive::ClassesRoot, ""));
}

TEST_F(RgsTest, NoRemoveAndDeleteInBothDirections) {
    const char* script = R"(HKEY_CURRENT_USER { NoRemove Software { Quillan {
        Delete Legacy
        val Theme = s 'dark'
        Plugins { val Sumtrel = s '1' }
    } } })";
    ASSERT_EQ(S_OK, run(script, false));  // nothing there: nothing to do, nothing created
    EXPECT_EQ((Names{}), namesAt(Hive::CurrentUser, ""));
    ASSERT_EQ(S_OK, reg::setValue(Hive::CurrentUser, "Software\\Quillan\\Legacy\\Sub", {}, "old"));
    ASSERT_EQ(S_OK, run(script, true));
    EXPECT_EQ((Names{"Plugins"}), namesAt(Hive::CurrentUser, "Software\\Quillan"));
    EXPECT_EQ((Values{{"Theme", "dark"}}), valuesAt(Hive::CurrentUser, "Software\\Quillan"));

    ASSERT_EQ(S_OK, reg::setValue(Hive::CurrentUser, "Software\\Quillan", "Other", "x"));
    ASSERT_EQ(S_OK, reg::setValue(Hive::CurrentUser, "Software\\Quillan\\Legacy", {}, "back"));
    ASSERT_EQ(S_OK, reg::setValue(Hive::CurrentUser, "Software\\Quillan\\Keep", {}, "x"));
    ASSERT_EQ(S_OK, run(script, false));
    // Quillan keeps a foreign subkey, so it stays, with only its listed value gone.
    EXPECT_EQ((Names{"Keep"}), namesAt(Hive::CurrentUser, "Software\\Quillan"));
    EXPECT_EQ((Values{{"Other", "x"}}), valuesAt(Hive::CurrentUser, "Software\\Quillan"));

    ASSERT_EQ(S_OK, reg::deleteTree(Hive::CurrentUser, "Software\\Quillan\\Keep"));
    ASSERT_EQ(S_OK, run(script, false));
    EXPECT_EQ((Names{"Software"}), namesAt(Hive::CurrentUser, ""));
    EXPECT_EQ((Names{}), namesAt(Hive::CurrentUser, "Software"));
}

TEST_F(RgsTest, SubstitutionsQuotingAndLayout) {
    const char* script = R"(hkcr {
    '%progid% Files' = s 'It''s 100%% %Module%' {
        'val' = s ''
        '{%CLSID%}' = s '%%MODULE%%' { val 'Threading Model' = s '''both''' val Count = d 42 val Mask = d '0x1F' }
    }
}
HKCU{NoRemove CLSID{{AB-CD}=s 'x'{val A=s 'b'}Empty{}}})";
    qhost::RgsSubstitutions subs = {{"PROGID", "Q.Plot"}, {"CLSID", "12"}, {"MODULE", "/it's 50%/a.so"}};
    qhost::RgsError error;
    ASSERT_EQ(S_OK, run(script, true, &error, subs)) << error.line << ": " << error.message;

    EXPECT_EQ((Values{{"", "It's 100% /it's 50%/a.so"}}), valuesAt(Hive::ClassesRoot, "Q.Plot Files"));
    EXPECT_EQ((Names{"val", "{12}"}), namesAt(Hive::ClassesRoot, "Q.Plot Files"));
    EXPECT_EQ((Values{{"", "%MODULE%"}, {"Threading Model", "'both'"}, {"Count", "42"}, {"Mask", "31"}}),
              valuesAt(Hive::ClassesRoot, "Q.Plot Files\\{12}"));
    EXPECT_EQ((Names{"{AB-CD}", "Empty"}), namesAt(Hive::CurrentUser, "CLSID"));
    EXPECT_EQ((Values{{"", "x"}, {"A", "b"}}), valuesAt(Hive::CurrentUser, "CLSID\\{AB-CD}"));

    ASSERT_EQ(S_OK, run(script, false, &error, subs));
    EXPECT_EQ((Names{}), namesAt(Hive::ClassesRoot, ""));
    EXPECT_EQ((Names{}), namesAt(Hive::CurrentUser, "CLSID"));
}

TEST_F(RgsTest, FaultyScriptsReportTheirLineAndWriteNothing) {
    ASSERT_EQ(S_OK, reg::setValue(Hive::ClassesRoot, "Existing", {}, "kept"));
    ASSERT_EQ(S_OK, reg::setValue(Hive::CurrentUser, "Existing", {}, "kept"));
    const std::string classesBefore = dump(Hive::ClassesRoot), userBefore = dump(Hive::CurrentUser);

    // Each fault follows a good block (lines 1-4), so anything written early would show.
    const std::string good = "HKCR\n{\n    ForceRemove Existing = s 'changed'\n}\n";
    const struct { const char* body; int line; const char* mentions; } cases[] = {
        {"HKCU\n{\n    Key = s 'no end\n}", 7, "unterminated"},
        {"HKLM\n{\n}", 5, "HKLM"},
        {"HKCU\n{\n    val X = s 'y'\n}", 7, "inside a key"},
        {"HKCU\n{\n    Key {\n        val X s 'y'\n    }\n}", 8, "'='"},
        {"HKCU\n{\n    Key = b '00'\n}", 7, "'b'"},
        {"HKCU\n{\n    NoRemove Delete\n}", 7, "keyword"},
        {"HKCU\n{\n    Key { val N = d 4294967296 }\n}", 7, "number"},
        {"HKCU\n{\n    Key\n    {\n        val N = s 'x'\n", 8, "never closed"},
        {"HKCU\n{\n}\n}", 8, "'}'"},
        {"HKCU\n{\n    'a\\b'\n}", 7, "\\"},
        {"HKCU\n{\n    Key = s '50%'\n}", 7, "%%"},
        {"HKCU\n{\n    Key\n    {\n        InprocServer32 = s '%MODUEL%'\n    }\n}", 9, "%MODUEL%"},
    };
    for (const auto& c : cases) {
        std::string script = good + c.body;
        SCOPED_TRACE(script);
        qhost::RgsError error;
        EXPECT_EQ(E_INVALIDARG, run(script, true, &error));
        EXPECT_EQ(c.line, error.line) << error.message;
        EXPECT_NE(std::string::npos, error.message.find(c.mentions)) << error.message;
        EXPECT_EQ(E_INVALIDARG, run(script, false));
    }
    EXPECT_EQ(classesBefore, dump(Hive::ClassesRoot));
    EXPECT_EQ(userBefore, dump(Hive::CurrentUser));
}

TEST_F(RgsTest, RegistryFailureIsReturned) {
    std::string dir = std::getenv("QUILLAN_REGISTRY_DIR");
    std::string blocker = qtest::makeTempDir("rgs-blocker");
    ASSERT_FALSE(blocker.empty());
    std::ofstream(blocker + "/file") << "not a folder";
    setenv("QUILLAN_REGISTRY_DIR", (blocker + "/file/registry").c_str(), 1);
    qhost::RgsError error;
    HRESULT hr = run(kClassScript, true, &error);
    setenv("QUILLAN_REGISTRY_DIR", dir.c_str(), 1);
    qtest::removeTree(blocker);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_NE(std::string::npos, error.message.find("HKEY_CLASSES_ROOT")) << error.message;
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, "CLSID"));
}

}  // namespace

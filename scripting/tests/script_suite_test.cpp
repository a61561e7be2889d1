// Every script in tests/scripts runs through its engine (.vbs VBScript, .js
// JScript) with Assert published; a failed assertion or any other script
// error fails the test with its line, and every object the script made must
// be gone when the engine is closed.
#include "scripting/tests/script_host.h"

#include "runtime/text.h"
#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace scripting_test {
namespace {

std::vector<std::string> scriptNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(SCRIPTING_TEST_SCRIPTS)) {
        const auto ext = entry.path().extension();
        if (ext == ".vbs" || ext == ".js") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The dispatch tables (and their type information) are built once, on first
// use; build them before counting objects.
void warmUp() {
    static const bool done = [] {
        runScript(u"VBScript", u"Set d = CreateObject(\"Scripting.Dictionary\")\nd.Add 1, 1\nAssert.Check True\n"
                               u"For Each k In d: Next\n"
                               u"Set f = CreateObject(\"Scripting.FileSystemObject\")\n"
                               u"Set t = f.OpenTextFile(\"/dev/null\")\nx = t.AtEndOfStream\n"
                               u"x = f.GetFolder(\"/\").SubFolders.Count + f.GetDrive(\"/\").TotalSize\n"
                               u"x = f.GetFile(\"/dev/null\").Name\n");
        runScript(u"JScript", u"var d = new ActiveXObject('Scripting.Dictionary'); d.Add(1, 1);\n"
                              u"for (var e = new Enumerator(d); !e.atEnd(); e.moveNext()) {}\n");
        return true;
    }();
    (void)done;
}

class ScriptSuite : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptSuite, RunsWithoutFailedAssertions) {
    registerLibraries();
    warmUp();
    const std::string file = std::string(SCRIPTING_TEST_SCRIPTS) + "/" + GetParam();
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    std::stringstream text;
    text << in.rdbuf();

    // Scripts that touch files work in a private folder named by TEST_DIR.
    const std::string folder = qtest::makeTempDir("scripting");
    ASSERT_FALSE(folder.empty());
    ::setenv("SCRIPTING_TEST_DIR", folder.c_str(), 1);
    std::u16string code = qrt::decodeAnsi(text.str());
    const std::u16string marker = u"%TEST_DIR%";
    for (std::size_t at = code.find(marker); at != std::u16string::npos; at = code.find(marker, at))
        code.replace(at, marker.size(), qrt::decodeAnsi(folder));

    const long objectsBefore = qrt::liveObjectCount();
    int assertions = 0;
    const bool vbscript = file.ends_with(".vbs");
    for (const ScriptFailure& f : runScript(vbscript ? u"VBScript" : u"JScript", code, &assertions)) {
        ADD_FAILURE_AT(file.c_str(), static_cast<int>(f.line))
            << (f.scode & 0xFFFF) << ": " << f.description << "\n    " << f.lineText;
    }
    EXPECT_GT(assertions, 0) << "the script ran no assertion";
    EXPECT_EQ(qrt::liveObjectCount(), objectsBefore) << "objects leaked";
    qtest::removeTree(folder);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptSuite, ::testing::ValuesIn(scriptNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

}  // namespace
}  // namespace scripting_test

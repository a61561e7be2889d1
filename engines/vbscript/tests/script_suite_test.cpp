// The main suite: every .vbs file in tests/scripts runs through the engine
// with an assertion helper ("Assert") and a small collection ("Items", holding
// 10, "two" and 3.5) as named items. A failing assertion or any other error
// fails the test with the file, line and text of the statement.
#include "engines/vbscript/tests/test_host.h"

#include "runtime/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vbs_test {
namespace {

std::vector<std::string> scriptNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(VBSCRIPT_TEST_SCRIPTS)) {
        if (entry.path().extension() == ".vbs") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class ScriptSuite : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptSuite, RunsWithoutFailedAssertions) {
    registerLibraries();
    const std::string file = std::string(VBSCRIPT_TEST_SCRIPTS) + "/" + GetParam() + ".vbs";
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    std::stringstream text;
    text << in.rdbuf();

    const long objectsBefore = qrt::liveObjectCount();
    {
        Engine engine;
        auto assertions = qrt::create<Assertions>();
        auto items = qrt::create<Collection>();
        items->items.emplace_back(10);
        items->items.emplace_back("two");
        items->items.emplace_back(3.5);
        engine.site->publish(u"Assert", assertions->unknown());
        engine.site->publish(u"Items", items->unknown());
        engine.script->AddNamedItem(u"Assert", SCRIPTITEM_ISVISIBLE);
        engine.script->AddNamedItem(u"Items", SCRIPTITEM_ISVISIBLE);

        engine.run(qrt::decodeAnsi(text.str()));
        for (const ReportedError& e : engine.site->errors) {
            ADD_FAILURE_AT(file.c_str(), static_cast<int>(e.line))
                << e.source << " " << e.number() << ": " << e.description << "\n    " << e.lineText;
        }
        EXPECT_GT(assertions->count, 0) << "the script ran no assertion";
        engine.close();
        engine.site->clearItems();
    }
    EXPECT_EQ(qrt::liveObjectCount(), objectsBefore) << "objects leaked";
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptSuite, ::testing::ValuesIn(scriptNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace vbs_test

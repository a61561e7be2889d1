// The program as a user starts it for the window.
#include "app/tests/batch_support.h"

#include <fstream>
#include <iterator>

namespace {

// Without a display the program says that the window needs one, instead of
// opening a window nobody sees, and names the batch runner.
TEST(ProgramWindowTest, WithoutADisplayTheWindowIsRefusedAndTheBatchRunnerNamed) {
    const Outcome outcome = quillan(qtest::binaryDir(), "", "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find("needs a display"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("quillan --run SCRIPT"), std::string::npos) << outcome.output;
}

// The real program: the switches work without a display and say what they did.
TEST(ProgramWindowTest, TheProgramRegistersAndUnregistersItselfWithoutADisplay) {
    const std::string folder = qtest::makeTempDir("program");
    const std::string registry = folder + "/registry";
    const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY QUILLAN_REGISTRY_DIR='" + registry + "'";
    const auto classes = [&] {
        std::ifstream in(registry + "/classes.reg");
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    Outcome outcome = quillan(folder, "--register", env);
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(classes().find("[HKEY_CLASSES_ROOT\\AppID\\Quillan.EXE]"), std::string::npos) << classes();
    EXPECT_NE(classes().find("\"Quillan 1.0 Type Library\""), std::string::npos) << classes();
    outcome = quillan(folder, "--unregserver", env);
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(classes().find("Quillan.EXE"), std::string::npos) << classes();
    EXPECT_NE(classes().find("Tarvik.DLL"), std::string::npos);
    qtest::removeTree(folder);
}

}  // namespace

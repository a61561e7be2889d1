// The program as a user starts it for the window.
#include "app/tests/batch_support.h"

namespace {

// Without a display the program says that the window needs one, instead of
// opening a window nobody sees, and names the batch runner.
TEST(ProgramWindowTest, WithoutADisplayTheWindowIsRefusedAndTheBatchRunnerNamed) {
    const Outcome outcome = quillan(qtest::binaryDir(), "", "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find("needs a display"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("quillan --run SCRIPT"), std::string::npos) << outcome.output;
}

}  // namespace

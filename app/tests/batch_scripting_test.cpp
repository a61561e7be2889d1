// Scripts run by the program reach the scripting library: the CSV examples
// read their data file and draw it, and the library's errors reach the
// user with the script's line.
#include "app/tests/batch_support.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

using BatchScripting = BatchFixture;

TEST_F(BatchScripting, TheCsvExamplesReadTheirDataAndDrawIt) {
    // From the source folder and from the examples folder alike.
    const std::string root = QUILLAN_SOURCE_DIR;
    const struct {
        std::string folder, script;
    } cases[] = {
        {root, "examples/csv_plot.vbs"},
        {root, "examples/csv_plot.js"},
        {root + "/examples", "csv_plot.vbs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder + " " + c.script);
        const std::string picture = m_folder + "/picture.jpg";
        const Outcome outcome = quillan(c.folder, "--run " + c.script + " --size 640x400 --export '" + picture + "'");
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        const QImage image(QString::fromStdString(picture));
        ASSERT_FALSE(image.isNull());
        EXPECT_GT(inkShare(image), 0.02);
        std::filesystem::remove(picture);
    }
}

TEST_F(BatchScripting, LibraryErrorsArePrintedWithTheScriptLine) {
    write("missing.vbs", "Set fso = CreateObject(\"Scripting.FileSystemObject\")\n"
                         "Set t = fso.OpenTextFile(\"no-such-data.csv\")\n");
    Outcome outcome = quillan(m_folder, "--run missing.vbs");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("missing.vbs:2:"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("File not found"), std::string::npos) << outcome.output;

    write("twice.js", "var d = new ActiveXObject('Scripting.Dictionary');\nd.Add('k', 1);\nd.Add('k', 2);\n");
    outcome = quillan(m_folder, "--run twice.js");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("twice.js:3:"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("This key is already associated with an element of this collection"),
              std::string::npos)
        << outcome.output;
}

}  // namespace

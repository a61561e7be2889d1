// The program in batch mode, run as a user runs it: the example scripts,
// error messages and exit statuses.
#include "app/tests/batch_support.h"

#include <QImage>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace {

using Batch = BatchFixture;

TEST_F(Batch, TheExamplesRunAndDrawPictures) {
    const std::string examples = std::string(QUILLAN_SOURCE_DIR) + "/examples/";
    std::filesystem::create_directory(m_folder + "/frames");
    const struct {
        const char* script;
        const char* extra;
    } cases[] = {
        {"sine_family.vbs", ""}, {"sine_family.js", ""},    {"bessel.vbs", ""},
        {"lissajous.js", ""},    {"animation.vbs", ""}, {"functions.vbs", "--call Rose --call Spiral"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        const Outcome outcome = quillan(m_folder, std::string("--run '") + examples + c.script + "' " + c.extra +
                                                      " --size 640x400 --export picture.jpg");
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.output.find("error"), std::string::npos) << outcome.output;
        const QImage picture(QString::fromStdString(m_folder + "/picture.jpg"));
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.size(), QSize(640, 400));
        EXPECT_GT(inkShare(picture), 0.02);  // curves, grid and labels, not a blank page
        std::filesystem::remove(m_folder + "/picture.jpg");
    }
    // The animation wrote its numbered frames.
    for (const char* frame : {"wave_001.jpg", "wave_012.jpg"}) {
        const QImage picture(QString::fromStdString(m_folder + "/frames/" + frame));
        EXPECT_FALSE(picture.isNull()) << frame;
    }
}

TEST_F(Batch, ScriptErrorsArePrintedWithFileLineAndColumn) {
    write("broken.vbs", "Dim a\na = 1\na = a / 0\n");
    Outcome outcome = quillan(m_folder, "--run broken.vbs");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("broken.vbs:3:"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("VBScript runtime error: Division by zero"), std::string::npos) << outcome.output;

    write("syntax.js", "var a = 1;\nvar b = (;\n");
    outcome = quillan(m_folder, "--run syntax.js --export never.jpg");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("syntax.js:2:"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("JScript compilation error"), std::string::npos);
}

TEST_F(Batch, UsageMistakesAreExplained) {
    Outcome outcome = quillan(m_folder, "--run missing.vbs");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find("cannot read missing.vbs"), std::string::npos) << outcome.output;

    write("ok.js", "function draw() { Graf.CreateSeries(); }\n");
    outcome = quillan(m_folder, "--run ok.js --call nothing");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find("no function named nothing"), std::string::npos) << outcome.output;

    outcome = quillan(m_folder, "--run ok.js --size 12by5");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find("--size"), std::string::npos);

    outcome = quillan(m_folder, "--run ok.js --call draw --export /nonexistent/folder/x.jpg");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find("cannot write /nonexistent/folder/x.jpg"), std::string::npos) << outcome.output;

    outcome = quillan(m_folder, "--help");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.output.find("--export"), std::string::npos);
    outcome = quillan(m_folder, "--version");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.output.find("quillan"), std::string::npos);
}

TEST_F(Batch, MessageBoxesUseTheStandardStreams) {
    write("ask.vbs",
          "MsgBox \"Drawing now\"\n"
          "Dim n\n"
          "n = InputBox(\"How many curves?\", \"Curves\", \"3\")\n"
          "If n <> \"3\" Then Err.Raise 5\n");
    const Outcome outcome = quillan(m_folder, "--run ask.vbs");
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("Drawing now"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("How many curves?"), std::string::npos) << outcome.output;
}

}  // namespace

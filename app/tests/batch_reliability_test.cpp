// The batch runner against scripts and files that go wrong: nothing may
// crash, hang, or fail without saying so, and nothing the user made is lost.
#include "app/tests/batch_support.h"

#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using Reliability = BatchFixture;

bool contains(const Outcome& outcome, const std::string& text) {
    return outcome.output.find(text) != std::string::npos;
}

// --- silent failures ------------------------------------------------------

TEST_F(Reliability, AScriptHeldByAnotherProgramStillRuns) {
    write("held.vbs", "Graf.CreateSeries\nGraf.AddPointToSeries 0, 1, 2\nGraf.AddPointToSeries 0, 2, 3\n");
    const int fd = ::open((m_folder + "/held.vbs").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);  // as an editor or a parallel run might
    const Outcome outcome = quillan(m_folder, "--run held.vbs --export held.jpg --size 200x100");
    ::close(fd);
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_TRUE(exists("held.jpg"));
}

TEST_F(Reliability, ScriptsComeFromStandardInputAndPipes) {
    write("lines.vbs", "Graf.CreateSeries\nGraf.AddPointToSeries 0, 1, 2\nErr.Raise 5\n");
    Outcome outcome = quillan(m_folder, "--run - < lines.vbs");
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_TRUE(contains(outcome, "<stdin>:3:")) << outcome.output;

    write("lines.js", "Graf.CreateSeries();\nundefinedThing();\n");
    outcome = quillan(m_folder, "--run - --language jscript < lines.js");
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_TRUE(contains(outcome, "<stdin>:2:")) << outcome.output;

    // A pipe given by name has no size to go by: it is read to its end.
    outcome = quillan(m_folder, "--run /dev/stdin --language vbscript", "cat lines.vbs |");
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_TRUE(contains(outcome, "Invalid procedure call")) << outcome.output;

    outcome = quillan(m_folder, "--run x.vbs --language cobol");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_TRUE(contains(outcome, "--language")) << outcome.output;
}

TEST_F(Reliability, AFailedScriptKeepsThePreviousPicture) {
    write("good.vbs", "Graf.CreateSeries\nGraf.AddPointToSeries 0, 1, 2\nGraf.AddPointToSeries 0, 2, 5\n");
    ASSERT_EQ(quillan(m_folder, "--run good.vbs --export graph.jpg --size 200x100").status, 0);
    const std::string before = read("graph.jpg");
    ASSERT_FALSE(before.empty());

    write("bad.vbs", "Graf.CreateSeries\nx = 1 / 0\n");
    const Outcome outcome = quillan(m_folder, "--run bad.vbs --export graph.jpg --size 200x100");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(contains(outcome, "graph.jpg was not written")) << outcome.output;
    EXPECT_EQ(read("graph.jpg"), before);
    EXPECT_FALSE(exists("graph.jpg.part"));
}

TEST_F(Reliability, CallsThatDoNothingAreReportedWithTheirLine) {
    write("early.vbs",
          "' points before any series\n"
          "Graf.AddPointToSeries 0, 1, 2\n"
          "Graf.CreateSeries\n"
          "Graf.SetPointVar 0, Array(1, 2, 3), Array(1, 2)\n"
          "Graf.SetPointVar 0, \"1 2\", \"3 4\"\n"
          "Graf.SetPropertySeries 4, 100, 255\n"
          "Graf.SetAxisTitles \"Time (s)\", \"@ln@Volts\"\n");
    Outcome outcome = quillan(m_folder, "--run early.vbs");
    EXPECT_EQ(outcome.status, 0) << outcome.output;  // the calls still succeed, as scripts expect
    EXPECT_TRUE(contains(outcome, "early.vbs:2: warning: AddPointToSeries: there is no series 0")) << outcome.output;
    EXPECT_TRUE(contains(outcome, "call CreateSeries first")) << outcome.output;
    EXPECT_TRUE(contains(outcome, "early.vbs:4: warning: SetPointVar:")) << outcome.output;
    EXPECT_TRUE(contains(outcome, "an array of 3 values, y is an array of 2 values")) << outcome.output;
    EXPECT_TRUE(contains(outcome, "early.vbs:5: warning: SetPointVar:")) << outcome.output;
    EXPECT_TRUE(contains(outcome, "x is a string")) << outcome.output;
    EXPECT_TRUE(contains(outcome, "early.vbs:6: warning: SetPropertySeries: there is no series 4")) << outcome.output;
    EXPECT_TRUE(contains(outcome, "early.vbs:7: warning: SetAxisTitles: the x title \"Time (s)\" has no style code"))
        << outcome.output;
    EXPECT_FALSE(contains(outcome, "the y title")) << outcome.output;

    write("early.js", "Graf.CreateSeries();\n\nGraf.AddPointToSeries(3, 1, 2);\n");
    outcome = quillan(m_folder, "--run early.js");
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_TRUE(contains(outcome, "early.js:3: warning: AddPointToSeries: there is no series 3 (the series are "
                                  "numbered 0 to 0)"))
        << outcome.output;
}

TEST_F(Reliability, CallingAFunctionThatNeedsArgumentsSaysSo) {
    write("f.vbs", "Function Scaled(k)\n  Scaled = 2 * k\nEnd Function\n");
    Outcome outcome = quillan(m_folder, "--run f.vbs --call Scaled");
    EXPECT_EQ(outcome.status, 2) << outcome.output;
    EXPECT_TRUE(contains(outcome, "Scaled needs arguments")) << outcome.output;
    EXPECT_FALSE(contains(outcome, "no function named")) << outcome.output;

    write("f.js", "function scaled(k) { return 2 * k; }\n");
    outcome = quillan(m_folder, "--run f.js --call scaled");
    // JScript passes missing arguments as undefined: the call is legal.
    EXPECT_EQ(outcome.status, 0) << outcome.output;
}

TEST_F(Reliability, ScratchFilesAreNeverTheUsers) {
    write("CompoundFile.cmp", "mine");
    write("storage.cmp", "mine too");
    write("zoom.vbs", "Graf.CreateSeries\nGraf.AddPointToSeries 0, 1, 2\nGraf.AddPointToSeries 0, 2, 3\n"
                      "Graf.ZoomGraf 0, 0, 10, 10\nGraf.AddFrame \"one\"\n");
    const Outcome outcome = quillan(m_folder, "--run zoom.vbs");
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(read("CompoundFile.cmp"), "mine");
    EXPECT_EQ(read("storage.cmp"), "mine too");
}

TEST_F(Reliability, FramesThatCannotBeWrittenAreScriptErrors) {
    const std::string animation = std::string(QUILLAN_SOURCE_DIR) + "/examples/animation.vbs";
    // No frames/ folder: the first frame fails, naming the path and the reason.
    const Outcome outcome = quillan(m_folder, "--run '" + animation + "'");
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_TRUE(contains(outcome, "frames/wave_001.jpg")) << outcome.output;
    EXPECT_TRUE(contains(outcome, "No such file or directory")) << outcome.output;
    EXPECT_TRUE(contains(outcome, "animation.vbs:23:")) << outcome.output;
}

// --- scripts that load scripts --------------------------------------------

TEST_F(Reliability, LoadScriptReplacesTheRunningScriptQuietly) {
    write("first.vbs", "Graf.CreateSeries\nGraf.LoadScript \"second.vbs\"\nErr.Raise 5 ' never reached\n");
    write("second.vbs", "Graf.AddPointToSeries 0, 1, 2\nGraf.AddPointToSeries 0, 3, 4\n");
    Outcome outcome = quillan(m_folder, "--run first.vbs --export two.jpg --size 200x100");
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_FALSE(contains(outcome, "stopped")) << outcome.output;
    EXPECT_TRUE(exists("two.jpg"));

    // An error in the loaded script names the loaded file.
    write("third.js", "Graf.CreateSeries();\nGraf.LoadScript('fourth.js');\n");
    write("fourth.js", "var a = 1;\nnothingHere();\n");
    outcome = quillan(m_folder, "--run third.js");
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_TRUE(contains(outcome, "fourth.js:2:")) << outcome.output;
    EXPECT_FALSE(contains(outcome, "third.js:")) << outcome.output;

    // A file that is not there is named, with the reason.
    write("lost.vbs", "Graf.LoadScript \"nowhere.vbs\"\n");
    outcome = quillan(m_folder, "--run lost.vbs");
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_TRUE(contains(outcome, "Cannot read the script")) << outcome.output;
    EXPECT_TRUE(contains(outcome, "nowhere.vbs: No such file or directory")) << outcome.output;
}

TEST_F(Reliability, ScriptsThatLoadThemselvesEndWithAnError) {
    for (const char* name : {"again.vbs", "again.js"}) {
        SCOPED_TRACE(name);
        const bool vbs = std::string(name).ends_with(".vbs");
        write(name, vbs ? "Graf.LoadScript \"again.vbs\"\n" : "Graf.LoadScript('again.js');\n");
        const Outcome outcome = quillan(m_folder, std::string("--run ") + name);
        EXPECT_EQ(outcome.status, 1) << outcome.output;
        EXPECT_TRUE(contains(outcome, "nested too deeply")) << outcome.output;
        EXPECT_TRUE(contains(outcome, std::string(name) + ":1:")) << outcome.output;
    }
}

// --- runaway scripts ------------------------------------------------------

TEST_F(Reliability, TheTimeLimitStopsEndlessScripts) {
    write("spin.vbs", "Graf.CreateSeries\nDo\nLoop\n");
    write("spin.js", "Graf.CreateSeries();\nfor (;;) {}\n");
    for (const char* name : {"spin.vbs", "spin.js"}) {
        SCOPED_TRACE(name);
        const auto start = std::chrono::steady_clock::now();
        const Outcome outcome = quillan(m_folder, std::string("--run ") + name + " --timeout 0.5 --export spun.jpg");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(outcome.status, 3) << outcome.output;
        EXPECT_TRUE(contains(outcome, "time limit of 0.5 seconds")) << outcome.output;
        EXPECT_TRUE(contains(outcome, std::string(name) + ":")) << outcome.output;  // where it was stopped
        EXPECT_FALSE(exists("spun.jpg"));
        EXPECT_LT(seconds, 60);  // a generous bound: the point is that it ends
    }
    const Outcome bad = quillan(m_folder, "--run spin.vbs --timeout soon");
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(contains(bad, "--timeout")) << bad.output;
}

TEST_F(Reliability, SignalsStopTheScriptAndSaySo) {
    write("spin.vbs", "Do\nLoop\n");
    const Outcome outcome = quillan(m_folder, "--run spin.vbs --export never.jpg", "timeout --preserve-status -s TERM 1");
    EXPECT_EQ(outcome.status, 3) << outcome.output;
    EXPECT_TRUE(contains(outcome, "SIGTERM")) << outcome.output;
    EXPECT_FALSE(exists("never.jpg"));
    EXPECT_FALSE(exists("never.jpg.part"));
}

// --- text -----------------------------------------------------------------

TEST_F(Reliability, ScriptsInUnicodeWithByteOrderMarksRun) {
    const std::string vbs = "Graf.CreateSeries\r\nIf Len(\"\xC3\xA9t\xC3\xA9\") <> 3 Then Err.Raise 5\r\n";
    write("utf8.vbs", "\xEF\xBB\xBF" + vbs);
    Outcome outcome = quillan(m_folder, "--run utf8.vbs");
    EXPECT_EQ(outcome.status, 0) << outcome.output;

    // The same text in UTF-16, both byte orders.
    std::u16string wide = u"Graf.CreateSeries\r\nIf Len(\"\u00E9t\u00E9\") <> 3 Then Err.Raise 5\r\n";
    std::string little = "\xFF\xFE", big = "\xFE\xFF";
    for (char16_t c : wide) {
        little += static_cast<char>(c & 0xFF);
        little += static_cast<char>(c >> 8);
        big += static_cast<char>(c >> 8);
        big += static_cast<char>(c & 0xFF);
    }
    write("le.vbs", little);
    write("be.vbs", big);
    outcome = quillan(m_folder, "--run le.vbs");
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    outcome = quillan(m_folder, "--run be.vbs");
    EXPECT_EQ(outcome.status, 0) << outcome.output;

    const char16_t js[] = u"var x;\nx();\n";
    std::string bomJs = "\xFF\xFE";
    for (char16_t c : std::u16string_view(js)) {
        bomJs += static_cast<char>(c & 0xFF);
        bomJs += static_cast<char>(c >> 8);
    }
    write("bom.js", bomJs);
    outcome = quillan(m_folder, "--run bom.js");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(contains(outcome, "bom.js:2:")) << outcome.output;  // the text was read: the error is in it
}

TEST_F(Reliability, AZeroByteIsAnErrorNotTheEndOfTheScript) {
    write("nul.js", std::string("Graf.CreateSeries();\nvar a = 1;\0\nGraf.CreateSeries();\n", 54));
    const Outcome outcome = quillan(m_folder, "--run nul.js");
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_TRUE(contains(outcome, "nul.js:2:")) << outcome.output;
}

}  // namespace

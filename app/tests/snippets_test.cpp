// The snippet files of the data folder: how they are listed and described,
// what the editor receives, and that every one of them runs as inserted.
#include "app/ui/snippet_files.h"
#include "runtime/testing/test_support.h"

#include <QImage>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/wait.h>

namespace {

struct Outcome {
    int status = -1;
    std::string output;  // standard output and standard error together
};

// Runs the program in batch mode in folder, as a user runs it.
Outcome runProgram(const std::string& folder, const std::string& arguments) {
    const std::string command = "cd '" + folder + "' && QT_QPA_PLATFORM=offscreen '" + qtest::binaryDir() +
                                "/quillan' " + arguments + " 2>&1 < /dev/null";
    Outcome outcome;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return outcome;
    std::array<char, 4096> buffer{};
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) outcome.output.append(buffer.data(), n);
    const int raw = ::pclose(pipe);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return outcome;
}

// Whether a picture shows more than a blank page: some pixels are dark.
bool hasInk(const QImage& picture) {
    long ink = 0;
    for (int y = 0; y < picture.height(); y += 2)
        for (int x = 0; x < picture.width(); x += 2)
            if (qGray(picture.pixel(x, y)) < 200) ++ink;
    return ink * 4 > picture.width() * picture.height() / 50;
}

class SnippetFiles : public ::testing::Test {
protected:
    void SetUp() override { m_folder = qtest::makeTempDir("snippets"); }
    void TearDown() override { qtest::removeTree(m_folder); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(m_folder + "/" + name, std::ios::binary) << text;
    }
    std::string m_folder;
};

using quillan::ui::readSnippet;
using quillan::ui::snippetDescription;
using quillan::ui::snippetFolder;
using quillan::ui::snippetInsertText;
using quillan::ui::snippetNames;

QString sourceData() { return QStringLiteral(QUILLAN_SOURCE_DIR "/share/quillan"); }

std::set<std::string> filesUnder(const std::string& folder) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) files.insert(entry.path());
    return files;
}

TEST_F(SnippetFiles, TheFolderListsIFilesByNameUpToTheLastDot) {
    const std::string f = m_folder;
    for (const char* name : {"Plot.i", "b.two.i", ".i", "notes.txt", "upper.I", "no_extension"}) write(name, "//x\r\n");
    std::filesystem::create_directory(f + "/folder.i");
    const QStringList names = snippetNames(QString::fromStdString(f));
    EXPECT_EQ(names, (QStringList{"Plot", "b.two"}));
    EXPECT_TRUE(snippetNames(QString::fromStdString(f + "/missing")).isEmpty());
    EXPECT_TRUE(snippetNames(QString()).isEmpty());

    EXPECT_EQ(snippetFolder(QStringLiteral("/data"), 1), QStringLiteral("/data/Include/JScript"));
    EXPECT_EQ(snippetFolder(QStringLiteral("/data/"), 2), QStringLiteral("/data/Include/VBScript"));
    EXPECT_TRUE(snippetFolder(QStringLiteral("/data"), 0).isEmpty());
    EXPECT_TRUE(snippetFolder(QStringLiteral("/data"), 3).isEmpty());
}

TEST_F(SnippetFiles, TheDescriptionIsTheLeadingCommentLineTrimmed) {
    EXPECT_EQ(snippetDescription(QStringLiteral("//  Plot a sine \r\ncode\r\n")), QStringLiteral("Plot a sine"));
    EXPECT_EQ(snippetDescription(QStringLiteral("//Unix line\ncode")), QStringLiteral("Unix line"));
    EXPECT_EQ(snippetDescription(QStringLiteral("//\r\n")), QString());
    // The comment must open the file: a "//" further in describes nothing.
    EXPECT_EQ(snippetDescription(QStringLiteral("x = 1\r\n// later\r\n")), QString());
    EXPECT_EQ(snippetDescription(QStringLiteral(" // indented\r\n")), QString());
    // Without a line end the line is not complete.
    EXPECT_EQ(snippetDescription(QStringLiteral("// only line")), QString());
    EXPECT_EQ(snippetDescription(QString()), QString());
}

TEST_F(SnippetFiles, FilesAreReadAsUtf8OrWindows1252) {
    write("utf8.i", "// Gr\xC3\xBC\xC3\x9F" "e\r\n");
    write("cp1252.i", "// Gr\xFC\xDF" "e \x80\r\n");
    EXPECT_EQ(*readSnippet(QString::fromStdString(m_folder + "/utf8.i")),
              QString::fromStdU16String(u"// Grüße\r\n"));
    EXPECT_EQ(*readSnippet(QString::fromStdString(m_folder + "/cp1252.i")),
              QString::fromStdU16String(u"// Grüße €\r\n"));
    EXPECT_FALSE(readSnippet(QString::fromStdString(m_folder + "/missing.i")).has_value());
}

TEST_F(SnippetFiles, VBScriptReceivesTheDescriptionLineAsAComment) {
    const QString text = QStringLiteral("// Plot\r\nGraf.CreateSeries\r\n");
    EXPECT_EQ(snippetInsertText(text, 1), text);
    EXPECT_EQ(snippetInsertText(text, 2), QStringLiteral("' Plot\r\nGraf.CreateSeries\r\n"));
    // Only the leading description line is touched.
    const QString other = QStringLiteral("x = 1 // 2\r\n");
    EXPECT_EQ(snippetInsertText(other, 2), other);
}

// Every snippet of both languages, as the editor receives it, runs in batch
// mode without errors or warnings; those that write pictures write them in
// the current folder, never in the data folder.
TEST_F(SnippetFiles, EverySnippetRunsAsInserted) {
    const std::string include = QUILLAN_SOURCE_DIR "/share/quillan/Include";
    const std::set<std::string> before = filesUnder(include);
    write("data.csv", "x,y\r\n0,1\r\n1,3\r\n2,2\r\n");  // for ReadCsv
    for (const LONG language : {1, 2}) {
        const QString folder = snippetFolder(sourceData(), language);
        const QStringList names = snippetNames(folder);
        EXPECT_GE(names.size(), 9) << folder.toStdString();
        QString all;
        for (const QString& name : names) {
            SCOPED_TRACE(name.toStdString());
            const auto text = readSnippet(folder + QLatin1Char('/') + name + QStringLiteral(".i"));
            ASSERT_TRUE(text.has_value());
            EXPECT_FALSE(snippetDescription(*text).isEmpty());
            const QString inserted = snippetInsertText(*text, language);
            all += inserted + QStringLiteral("\r\n");
            const std::string script = name.toStdString() + (language == 1 ? ".js" : ".vbs");
            write(script, inserted.toStdString());
            const Outcome outcome = runProgram(m_folder, "--run '" + script + "' --size 640x400 --export picture.jpg");
            EXPECT_EQ(outcome.status, 0) << outcome.output;
            EXPECT_EQ(outcome.output, "");
            const QImage picture(QString::fromStdString(m_folder + "/picture.jpg"));
            EXPECT_TRUE(hasInk(picture));
        }
        // Inserted one after another into one script, they still run.
        write("all", all.toStdString());
        const Outcome outcome =
            runProgram(m_folder, std::string("--run all --language ") + (language == 1 ? "jscript" : "vbscript"));
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        EXPECT_EQ(outcome.output, "");
    }
    for (const char* written : {"graph.jpg", "frames/wave_001.jpg", "frames/wave_012.jpg"}) {
        const QImage picture(QString::fromStdString(m_folder + "/" + written));
        EXPECT_FALSE(picture.isNull()) << written;
    }
    EXPECT_EQ(filesUnder(include), before);
}

}  // namespace

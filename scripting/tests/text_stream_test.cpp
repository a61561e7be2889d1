// Text files through FileSystemObject and TextStream, called by name as
// scripts call them: encodings both ways, line ends, positions, the errors
// of opening, reading and writing, and what a failed write leaves behind.
#include "runtime/activation.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/testing/test_support.h"
#include "runtime/text.h"
#include "scripting/tests/script_host.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using qtest::call;
using qtest::CallResult;

int errorNumber(const CallResult& r) { return r.hr == DISP_E_EXCEPTION ? static_cast<int>(r.scode & 0xFFFF) : 0; }

qrt::Variant value(const std::u16string& text) { return qrt::Variant(std::u16string_view(text)); }

std::u16string textOf(const VARIANT& v) { return v.vt == VT_BSTR ? std::u16string(qrt::bstrView(v.bstrVal)) : u"<?>"; }

class TextStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        scripting_test::registerLibraries();
        {
            // Build the type information once, before counting objects.
            qrt::ComPtr<IDispatch> warm;
            ASSERT_EQ(qrt::createObject(u"Scripting.FileSystemObject", warm), S_OK) << qrt::lastActivationError();
            writeBytes("warm", "x");
            qrt::Variant s = call(warm.get(), u"OpenTextFile", {path("warm")}).value;
            if (s.vt == VT_DISPATCH) call(s.pdispVal, u"Close");
        }
        m_objects = qrt::liveObjectCount();
        ASSERT_EQ(qrt::createObject(u"Scripting.FileSystemObject", fso), S_OK);
    }
    void TearDown() override {
        fso.reset();
        EXPECT_EQ(qrt::liveObjectCount(), m_objects) << "objects leaked";
        qtest::removeTree(m_dir);
    }

    qrt::Variant path(const std::string& name) { return value(qrt::decodeAnsi(m_dir + "/" + name)); }
    qrt::Variant folder() { return value(qrt::decodeAnsi(m_dir)); }
    void writeBytes(const std::string& name, const std::string& bytes) {
        std::ofstream(m_dir + "/" + name, std::ios::binary) << bytes;
    }
    std::string readBytes(const std::string& name) {
        std::ifstream in(m_dir + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool fileThere(const std::string& name) {
        struct stat info {};
        return ::stat((m_dir + "/" + name).c_str(), &info) == 0;
    }
    // Opens a stream; fails the test when that fails.
    qrt::ComPtr<IDispatch> open(const std::string& name, int mode = 1, bool create = false, int format = 0) {
        CallResult r = call(fso.get(), u"OpenTextFile", {path(name), mode, create, format});
        EXPECT_EQ(r.hr, S_OK) << r.description;
        return r.value.vt == VT_DISPATCH ? qrt::ComPtr<IDispatch>(r.value.pdispVal) : nullptr;
    }
    std::u16string readAll(const std::string& name, int format = 0) {
        auto s = open(name, 1, false, format);
        if (!s) return u"<no stream>";
        CallResult r = call(s.get(), u"ReadAll");
        return r.hr == S_OK ? textOf(r.value) : u"<error>";
    }
    std::vector<std::u16string> lines(IDispatch* stream) {
        std::vector<std::u16string> out;
        while (!call(stream, u"AtEndOfStream").value.boolVal) out.push_back(textOf(call(stream, u"ReadLine").value));
        return out;
    }
    long number(IDispatch* stream, const char16_t* name) { return call(stream, name).value.lVal; }

    qrt::ComPtr<IDispatch> fso;
    std::string m_dir = qtest::makeTempDir("textstream");
    long m_objects = 0;
};

TEST_F(TextStreamTest, ReadingDecodesEachFormat) {
    struct Case {
        const char* what;
        std::string bytes;
        int format;
        std::u16string text;
    } cases[] = {
        {"UTF-8", "caf\xC3\xA9 \xE2\x82\xAC", 0, u"café €"},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" "caf\xC3\xA9", 0, u"café"},
        {"Windows-1252 bytes", "caf\xE9 \x80", 0, u"café €"},
        {"mixed: valid UTF-8 kept, stray bytes as Windows-1252", "\xC3\xA9\xE9", 0, u"éé"},
        {"UTF-16 LE with its mark", std::string("\xFF\xFE" "h\0\xE9\0", 6), -1, u"hé"},
        {"UTF-16 LE without a mark", std::string("h\0i\0", 4), -1, u"hi"},
        {"system default finds UTF-16 LE by its mark", std::string("\xFF\xFE" "o\0k\0", 6), -2, u"ok"},
        {"system default finds UTF-16 BE by its mark", std::string("\xFE\xFF\0o\0k", 6), -2, u"ok"},
        {"system default reads other files as ANSI", "caf\xE9", -2, u"café"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes("in.txt", c.bytes);
        EXPECT_EQ(readAll("in.txt", c.format), c.text);
    }
}

TEST_F(TextStreamTest, WritingEncodesAndReadsBack) {
    const std::u16string text = u"Grüße, 1–2 € \U0001F600";
    // ANSI: UTF-8 without a mark.
    {
        CallResult r = call(fso.get(), u"CreateTextFile", {path("a.txt")});
        ASSERT_EQ(r.hr, S_OK) << r.description;
        ASSERT_EQ(call(r.value.pdispVal, u"Write", {value(text)}).hr, S_OK);
        ASSERT_EQ(call(r.value.pdispVal, u"Close").hr, S_OK);
    }
    EXPECT_EQ(readBytes("a.txt"), qrt::encodeUtf8(text));
    EXPECT_EQ(readAll("a.txt"), text);
    // Unicode: UTF-16 LE with its mark.
    {
        CallResult r = call(fso.get(), u"CreateTextFile", {path("u.txt"), true, true});
        ASSERT_EQ(r.hr, S_OK);
        ASSERT_EQ(call(r.value.pdispVal, u"WriteLine", {u"é"}).hr, S_OK);
    }  // released without Close: the stream closes itself
    EXPECT_EQ(readBytes("u.txt"), std::string("\xFF\xFE\xE9\0\n\0", 6));
    EXPECT_EQ(readAll("u.txt", -1), u"é\n");
    EXPECT_EQ(readAll("u.txt", -2), u"é\n");
    // Appending in the system default keeps the file's own encoding.
    {
        auto s = open("u.txt", 8, false, -2);
        ASSERT_TRUE(s);
        call(s.get(), u"Write", {u"x"});
    }
    EXPECT_EQ(readBytes("u.txt"), std::string("\xFF\xFE\xE9\0\n\0x\0", 8));
}

TEST_F(TextStreamTest, LinesEndWithCrLfLfOrCrAndPositionsFollow) {
    writeBytes("l.txt", "one\r\ntwo\nthree\rfour\r\n\r\nlast");
    auto s = open("l.txt");
    ASSERT_TRUE(s);
    EXPECT_EQ(number(s.get(), u"Line"), 1);
    EXPECT_EQ(textOf(call(s.get(), u"Read", {2}).value), u"on");
    EXPECT_EQ(number(s.get(), u"Column"), 3);
    EXPECT_FALSE(call(s.get(), u"AtEndOfLine").value.boolVal);
    EXPECT_EQ(textOf(call(s.get(), u"Read", {1}).value), u"e");
    EXPECT_TRUE(call(s.get(), u"AtEndOfLine").value.boolVal);
    // Read takes line ends as characters; CR LF counts as one line.
    EXPECT_EQ(textOf(call(s.get(), u"Read", {1}).value), u"\r");
    EXPECT_EQ(number(s.get(), u"Line"), 2);
    EXPECT_EQ(textOf(call(s.get(), u"Read", {1}).value), u"\n");
    EXPECT_EQ(number(s.get(), u"Line"), 2);
    EXPECT_EQ(number(s.get(), u"Column"), 1);
    EXPECT_EQ(lines(s.get()), (std::vector<std::u16string>{u"two", u"three", u"four", u"", u"last"}));
    EXPECT_EQ(number(s.get(), u"Line"), 6);
    EXPECT_EQ(number(s.get(), u"Column"), 5);

    s = open("l.txt");
    EXPECT_EQ(call(s.get(), u"SkipLine").hr, S_OK);
    EXPECT_EQ(call(s.get(), u"Skip", {4}).hr, S_OK);
    EXPECT_EQ(textOf(call(s.get(), u"ReadLine").value), u"three");
    EXPECT_EQ(number(s.get(), u"Line"), 4);
}

TEST_F(TextStreamTest, LargeFilesReadAcrossChunksWithoutLosingCharacters) {
    // Lines of multi-byte characters and CR LF ends, long enough that chunk
    // boundaries fall inside characters and between CR and LF.
    std::string bytes;
    std::u16string expected;
    for (int i = 0; i < 60000; ++i) {
        const std::string line = std::to_string(i) + ",\xC3\xA9\xE2\x82\xAC," + std::string(static_cast<std::size_t>(i % 7), 'x');
        bytes += line + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    }
    writeBytes("big.csv", bytes);
    auto s = open("big.csv");
    ASSERT_TRUE(s);
    int count = 0;
    bool allRight = true;
    while (!call(s.get(), u"AtEndOfStream").value.boolVal) {
        const std::u16string line = textOf(call(s.get(), u"ReadLine").value);
        const std::u16string want = qrt::decodeAnsi(std::to_string(count)) + u",é€," +
                                    std::u16string(static_cast<std::size_t>(count % 7), u'x');
        if (line != want && allRight) {
            ADD_FAILURE() << "line " << count << " differs";
            allRight = false;
        }
        ++count;
    }
    EXPECT_EQ(count, 60000);
    EXPECT_EQ(number(s.get(), u"Line"), 60001);
    EXPECT_EQ(readAll("big.csv").size(), qrt::decodeAnsi(bytes).size());
}

TEST_F(TextStreamTest, LinesOfEveryLengthWithLettersBeyondAsciiAnywhereReadBack) {
    // Reading looks at blocks of bytes and characters at a time: line ends
    // and non-ASCII letters at every offset within a block and across them.
    std::string bytes;
    std::vector<std::u16string> expected;
    for (std::size_t length = 0; length < 70; ++length) {
        for (std::size_t at = 0; at <= length; at += 1 + length / 9) {
            std::string line;
            std::u16string want;
            for (std::size_t i = 0; i < length; ++i) {
                const bool other = i == at && length % 3 != 0;
                line += other ? "\xC3\xA9" : std::string(1, static_cast<char>('a' + i % 26));
                want += other ? u'\u00E9' : static_cast<char16_t>(u'a' + i % 26);
            }
            bytes += line + (expected.size() % 3 == 0 ? "\r\n" : expected.size() % 3 == 1 ? "\n" : "\r");
            expected.push_back(want);
        }
    }
    writeBytes("lengths.txt", bytes);
    auto s = open("lengths.txt");
    ASSERT_TRUE(s);
    EXPECT_EQ(lines(s.get()), expected);
}

TEST_F(TextStreamTest, WritingCountsLinesAndEndsThemWithLf) {
    auto s = open("w.txt", 2, true);
    ASSERT_TRUE(s);
    call(s.get(), u"Write", {u"ab"});
    EXPECT_EQ(number(s.get(), u"Column"), 3);
    call(s.get(), u"WriteLine");
    call(s.get(), u"WriteBlankLines", {2});
    call(s.get(), u"WriteLine", {u"end"});
    EXPECT_EQ(number(s.get(), u"Line"), 5);
    EXPECT_EQ(number(s.get(), u"Column"), 1);
    ASSERT_EQ(call(s.get(), u"Close").hr, S_OK);
    EXPECT_EQ(readBytes("w.txt"), "ab\n\n\nend\n");
    // ForWriting replaces; ForAppending adds.
    s = open("w.txt", 2);
    call(s.get(), u"Write", {u"new"});
    call(s.get(), u"Close");
    s = open("w.txt", 8);
    call(s.get(), u"Write", {u"+more"});
    call(s.get(), u"Close");
    EXPECT_EQ(readBytes("w.txt"), "new+more");
}

TEST_F(TextStreamTest, ErrorsCarryTheirNumbers) {
    writeBytes("exists.txt", "");
    ::mkdir((m_dir + "/folder").c_str(), 0777);
    struct Case {
        const char* what;
        const char16_t* member;
        std::vector<qrt::Variant> args;
        int number;
        const char* description;
    } cases[] = {
        {"missing file", u"OpenTextFile", {path("none.txt")}, 53, "File not found"},
        {"missing folder", u"OpenTextFile", {path("nowhere/x.txt"), 2, true}, 76, "Path not found"},
        {"missing file for writing without create", u"OpenTextFile", {path("none.txt"), 2}, 53, "File not found"},
        {"existing file kept", u"CreateTextFile", {path("exists.txt"), false}, 58, "File already exists"},
        {"a folder", u"OpenTextFile", {path("folder")}, 70, "Permission denied"},
        {"bad mode", u"OpenTextFile", {path("exists.txt"), 3}, 5, "Invalid procedure call or argument"},
        {"bad format", u"OpenTextFile", {path("exists.txt"), 1, false, 7}, 5, "Invalid procedure call or argument"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CallResult r = call(fso.get(), c.member, c.args);
        EXPECT_EQ(errorNumber(r), c.number);
        EXPECT_EQ(r.description, c.description);
    }
    EXPECT_FALSE(fileThere("none.txt"));

    auto reader = open("exists.txt");
    CallResult r = call(reader.get(), u"ReadLine");
    EXPECT_EQ(errorNumber(r), 62);
    EXPECT_EQ(r.description, "Input past end of file");
    EXPECT_EQ(errorNumber(call(reader.get(), u"ReadAll")), 62);
    EXPECT_EQ(errorNumber(call(reader.get(), u"Read", {1})), 62);
    EXPECT_EQ(errorNumber(call(reader.get(), u"Write", {u"x"})), 54);
    EXPECT_EQ(errorNumber(call(reader.get(), u"Read", {-1})), 5);
    EXPECT_TRUE(call(reader.get(), u"AtEndOfStream").value.boolVal);
    auto writer = open("exists.txt", 8);
    r = call(writer.get(), u"ReadLine");
    EXPECT_EQ(errorNumber(r), 54);
    EXPECT_EQ(r.description, "Bad file mode");
    EXPECT_EQ(errorNumber(call(writer.get(), u"AtEndOfStream")), 54);
    EXPECT_EQ(call(writer.get(), u"Close").hr, S_OK);
    EXPECT_EQ(call(writer.get(), u"Close").hr, S_OK) << "closing twice is harmless";
    EXPECT_EQ(errorNumber(call(writer.get(), u"Write", {u"x"})), 54);
    // Opening for reading with create makes an empty file.
    EXPECT_TRUE(open("made.txt", 1, true));
    EXPECT_TRUE(fileThere("made.txt"));
}

// A file-size limit makes writes fail part-way, as a full disk does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
};

TEST_F(TextStreamTest, AFailedWriteRemovesANewFileAndRestoresAnAppendedOne) {
    writeBytes("old.txt", "kept");
    const std::u16string line(1000, u'x');
    {
        FileSizeLimit limit(100000);
        auto fresh = open("new.txt", 2, true);
        ASSERT_TRUE(fresh);
        CallResult r;
        for (int i = 0; i < 200 && r.hr == S_OK; ++i) r = call(fresh.get(), u"WriteLine", {value(line)});
        EXPECT_EQ(errorNumber(r), 61);
        EXPECT_NE(r.description.find("was removed"), std::string::npos) << r.description;
        EXPECT_FALSE(fileThere("new.txt")) << "no half-written new file";
        EXPECT_EQ(errorNumber(call(fresh.get(), u"Write", {u"x"})), 54) << "the stream is closed";

        auto appended = open("old.txt", 8);
        r = CallResult{};
        for (int i = 0; i < 200 && r.hr == S_OK; ++i) r = call(appended.get(), u"WriteLine", {value(line)});
        EXPECT_EQ(errorNumber(r), 61);
    }
    EXPECT_EQ(readBytes("old.txt"), "kept");
}

TEST_F(TextStreamTest, AStreamOutlivesItsFileSystemObject) {
    writeBytes("keep.txt", "first\nsecond\n");
    auto s = open("keep.txt");
    fso.reset();
    EXPECT_EQ(textOf(call(s.get(), u"ReadLine").value), u"first");
    EXPECT_EQ(textOf(call(s.get(), u"ReadLine").value), u"second");
}

TEST_F(TextStreamTest, PathTextFollowsTheUsualRules) {
    struct Case {
        const char16_t* member;
        std::u16string path;
        std::u16string expected;
    } cases[] = {
        {u"GetFileName", u"/data/run.1/values.csv", u"values.csv"},
        {u"GetFileName", u"C:\\data\\values.csv", u"values.csv"},
        {u"GetFileName", u"/data/folder/", u"folder"},
        {u"GetFileName", u"/", u""},
        {u"GetBaseName", u"/data/values.tar.gz", u"values.tar"},
        {u"GetBaseName", u"/data/README", u"README"},
        {u"GetExtensionName", u"/data/values.tar.gz", u"gz"},
        {u"GetExtensionName", u"\\data\\values", u""},
        {u"GetParentFolderName", u"/data/run/values.csv", u"/data/run"},
        {u"GetParentFolderName", u"data\\values.csv", u"data"},
        {u"GetParentFolderName", u"/values.csv", u"/"},
        {u"GetParentFolderName", u"values.csv", u""},
        {u"GetParentFolderName", u"/data/run//", u"/data"},
        {u"GetAbsolutePathName", u"/a/./b/../c\\d", u"/a/c/d"},
        {u"GetAbsolutePathName", u"/../..", u"/"},
        {u"GetDriveName", u"/data/x", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qrt::encodeUtf8(std::u16string(c.member) + u" " + c.path));
        CallResult r = call(fso.get(), c.member, {value(c.path)});
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(textOf(r.value), c.expected);
    }
    EXPECT_EQ(textOf(call(fso.get(), u"BuildPath", {u"/data/", u"x.csv"}).value), u"/data/x.csv");
    EXPECT_EQ(textOf(call(fso.get(), u"BuildPath", {u"/data", u"\\x.csv"}).value), u"/data/x.csv");
    EXPECT_EQ(textOf(call(fso.get(), u"BuildPath", {u"", u"x.csv"}).value), u"x.csv");
    const std::u16string relative = textOf(call(fso.get(), u"GetAbsolutePathName", {u"sub/file"}).value);
    EXPECT_TRUE(relative.starts_with(u"/") && relative.ends_with(u"/sub/file"));
    const std::u16string temp = textOf(call(fso.get(), u"GetTempName").value);
    EXPECT_TRUE(temp.ends_with(u".tmp"));
    EXPECT_NE(temp, textOf(call(fso.get(), u"GetTempName").value));

    writeBytes("f.txt", "");
    EXPECT_TRUE(call(fso.get(), u"FileExists", {path("f.txt")}).value.boolVal);
    EXPECT_FALSE(call(fso.get(), u"FileExists", {folder()}).value.boolVal);
    EXPECT_TRUE(call(fso.get(), u"FolderExists", {folder()}).value.boolVal);
    EXPECT_FALSE(call(fso.get(), u"FolderExists", {path("f.txt")}).value.boolVal);
    EXPECT_FALSE(call(fso.get(), u"FileExists", {u""}).value.boolVal);
}

}  // namespace

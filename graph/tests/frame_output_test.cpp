// Frames and files that cannot be written: each failure reaches the script
// as a run-time error naming the frame or the path and the reason, and
// leaves no frame, file or temporary file behind.
#include "graph/file_output.h"
#include "graph/tests/tarvik_fixture.h"
#include "hosting/control_host.h"

#include <QImage>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik_test {
namespace {

using tarvik::FileWriteResult;
using tarvik::writeFileWhole;

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Files may grow to at most limit bytes while it lives; a write past that
// fails as on a full disk (with EFBIG rather than ENOSPC).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit smaller = m_saved;
        smaller.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &smaller);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

TEST(FileOutput, AFileIsWrittenWholeOrNotAtAll) {
    const std::string dir = qtest::makeTempDir("file-output");
    const std::string target = dir + "/picture.jpg";
    const std::string first(5000, 'a'), second(20000, 'b');
    ASSERT_TRUE(writeFileWhole(target, first.data(), first.size()));
    EXPECT_EQ(contentOf(target), first);
    chmod(target.c_str(), 0640);
    ASSERT_TRUE(writeFileWhole(target, second.data(), second.size()));
    EXPECT_EQ(contentOf(target), second);
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);  // a replaced file keeps its permissions

    // The disk fills up half way: the old file stays whole, nothing is left beside it.
    {
        FileSizeLimit limit(8192);
        const std::string third(30000, 'c');
        const FileWriteResult r = writeFileWhole(target, third.data(), third.size());
        EXPECT_EQ(r.error, EFBIG);
        EXPECT_EQ(r.reason, "File too large");
    }
    EXPECT_EQ(contentOf(target), second);
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"picture.jpg"});

    // A link is followed: the file it names is replaced, the link stays.
    const std::string link = dir + "/link.jpg";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(writeFileWhole(link, first.data(), first.size()));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(contentOf(target), first);

    // What is no regular file is not replaced.
    const std::string fifo = dir + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(writeFileWhole(fifo, "x", 1).reason, "not a regular file");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_EQ(writeFileWhole(dir, "x", 1).reason, "Is a directory");
    EXPECT_EQ(writeFileWhole(dir + "/missing/x.jpg", "x", 1).reason, "No such file or directory");
    EXPECT_EQ(writeFileWhole(target + "/x.jpg", "x", 1).reason, "Not a directory");
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"link.jpg", "picture.jpg", "pipe"}));
    qtest::removeTree(dir);
}

class FrameOutputTest : public TarvikTest {
protected:
    void SetUp() override {
        TarvikTest::SetUp();
        ensureApplication();
        m_previous = std::filesystem::current_path();
        m_dir = qtest::makeTempDir("frames");
        std::filesystem::current_path(m_dir);
        graf = make<IViGraf>(u"Tarvik.ViGraf");
        ASSERT_TRUE(graf);
        std::vector<double> x = {0, 1, 2}, y = {1, 3, 2};
        graf->CreateSeries();
        graf->SetPoints(0, 3, x.data(), y.data());
        qhost::renderControl(graf.get(), 320, 200);
    }
    void TearDown() override {
        graf.reset();
        std::filesystem::current_path(m_previous);
        qtest::removeTree(m_dir);
    }
    qtest::CallResult addFrame(const std::string& name) { return call(graf.get(), u"AddFrame", {Variant(name.c_str())}); }
    qtest::CallResult exportFrame(const std::string& path, const std::string& name) {
        return call(graf.get(), u"LoadStreamFromDocToFile", {Variant(path.c_str()), Variant(name.c_str())});
    }
    // The call failed as a run-time error whose text holds every one of parts.
    static void expectError(const qtest::CallResult& r, std::initializer_list<std::string> parts) {
        EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
        EXPECT_TRUE(FAILED(r.scode));
        for (const std::string& part : parts)
            EXPECT_NE(r.description.find(part), std::string::npos) << '"' << part << "\" not in: " << r.description;
    }
    std::string file(const char* name) { return m_dir + "/" + name; }

    ComPtr<IViGraf> graf;
    std::string m_dir;
    std::filesystem::path m_previous;
};

TEST_F(FrameOutputTest, NamesNoFrameCanHaveAreRefused) {
    const std::string tooLong(32, 'n'), longest(31, 'n');
    for (const std::string name : {"a/b", "a\\b", "c:d", tooLong.c_str(), ""}) {
        SCOPED_TRACE(name);
        expectError(addFrame(name), {"AddFrame", "\"" + name + "\"", "31 characters"});
        expectError(exportFrame(file("x.jpg"), name), {"\"" + name + "\"", "31 characters"});
    }
    // Refused before the first paint as well.
    auto fresh = make<IViGraf>(u"Tarvik.ViGraf");
    EXPECT_EQ(call(fresh.get(), u"AddFrame", {Variant("a/b")}).hr, DISP_E_EXCEPTION);
    EXPECT_EQ(call(fresh.get(), u"AddFrame", {Variant("fine")}).hr, S_OK);

    ASSERT_EQ(addFrame(longest).hr, S_OK);
    ASSERT_EQ(exportFrame(file("x.jpg"), longest).hr, S_OK);
    EXPECT_EQ(QImage(QString::fromStdString(file("x.jpg"))).size(), QSize(320, 200));
    // A name that was never stored writes nothing and is no error.
    EXPECT_EQ(exportFrame(file("y.jpg"), "never").hr, S_OK);
    EXPECT_EQ(namesIn(m_dir), std::vector<std::string>{"x.jpg"});
}

TEST_F(FrameOutputTest, PlacesThatCannotBeWrittenAreReportedWithPathAndReason) {
    ASSERT_EQ(addFrame("f").hr, S_OK);
    ASSERT_EQ(exportFrame("here.jpg", "f").hr, S_OK);  // relative to the current folder
    std::filesystem::create_directory(file("sub"));
    ASSERT_EQ(exportFrame("sub/there.jpg", "f").hr, S_OK);
    EXPECT_EQ(namesIn(file("sub")), std::vector<std::string>{"there.jpg"});
    std::filesystem::remove_all(file("sub"));
    const std::string missing = file("no such folder/f.jpg");
    expectError(exportFrame(missing, "f"), {"LoadStreamFromDocToFile", missing, "No such file or directory"});
    const std::string notFolder = file("plain") + "/f.jpg";
    std::ofstream(file("plain")) << "text";
    expectError(exportFrame(notFolder, "f"), {notFolder, "Not a directory"});
    expectError(exportFrame(m_dir, "f"), {m_dir, "Is a directory"});
    expectError(exportFrame("", "f"), {"no file name"});
    if (geteuid() != 0) {
        const std::string locked = file("locked");
        std::filesystem::create_directory(locked);
        chmod(locked.c_str(), 0555);
        expectError(exportFrame(locked + "/f.jpg", "f"), {locked + "/f.jpg", "Permission denied"});
        chmod(locked.c_str(), 0755);
        std::filesystem::remove(locked);
    }
    // A read-only file system turns everyone away, the administrator too.
    const std::string system = "/sys/quillan-frame.jpg";
    expectError(exportFrame(system, "f"), {system});
    EXPECT_FALSE(std::filesystem::exists(system));
    EXPECT_EQ(namesIn(m_dir), (std::vector<std::string>{"here.jpg", "plain"}));
}

TEST_F(FrameOutputTest, AFullDiskIsReportedAndLeavesNoPartialFrameOrFile) {
    ASSERT_EQ(addFrame("f").hr, S_OK);
    const std::string out = file("f.jpg");
    ASSERT_EQ(exportFrame(out, "f").hr, S_OK);
    const std::string before = contentOf(out);
    ASSERT_GT(before.size(), 1000u);
    {
        FileSizeLimit limit(before.size() / 2);
        std::filesystem::remove(out);
        expectError(exportFrame(out, "f"), {out, "File too large"});
    }
    EXPECT_TRUE(namesIn(m_dir).empty());  // neither the file nor a temporary one

    // The frames' own file fills up: the frame is not kept at all.
    {
        FileSizeLimit limit(1);
        expectError(addFrame("g"), {"AddFrame", "\"g\"", "No space left on device"});
    }
    EXPECT_EQ(exportFrame(file("g.jpg"), "g").hr, S_OK);  // never stored
    EXPECT_FALSE(std::filesystem::exists(file("g.jpg")));
    ASSERT_EQ(addFrame("g").hr, S_OK);  // the name is free: stored now
    ASSERT_EQ(exportFrame(file("g.jpg"), "g").hr, S_OK);
    EXPECT_EQ(QImage(QString::fromStdString(file("g.jpg"))).size(), QSize(320, 200));
}

TEST_F(FrameOutputTest, WithoutAPlaceForTheFrameFileNoFrameIsKeptAndTheScriptHears) {
    const char* previous = std::getenv("TMPDIR");
    const std::string kept = previous ? previous : "";
    const std::string missing = file("missing");
    setenv("TMPDIR", missing.c_str(), 1);
    auto homeless = make<IViGraf>(u"Tarvik.ViGraf");
    if (previous) setenv("TMPDIR", kept.c_str(), 1);
    else unsetenv("TMPDIR");
    ASSERT_TRUE(homeless);
    homeless->CreateSeries();
    qhost::renderControl(homeless.get(), 100, 100);
    const auto r = call(homeless.get(), u"AddFrame", {Variant("f")});
    expectError(r, {"\"f\"", "frame file could not be created", "No such file or directory"});
    // Nothing was stored, so there is nothing to write.
    EXPECT_EQ(call(homeless.get(), u"LoadStreamFromDocToFile", {Variant(file("f.jpg").c_str()), Variant("f")}).hr, S_OK);
    EXPECT_TRUE(namesIn(m_dir).empty());
}

}  // namespace
}  // namespace tarvik_test

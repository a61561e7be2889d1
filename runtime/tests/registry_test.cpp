#include "runtime/registry.h"

#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace reg = qrt::registry;
using reg::Hive;
using reg::Key;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs body in a child process and returns its exit code (-1 if it died).
int inChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The key at path; a missing key fails the test and reads as an empty one.
const Key& at(const Key& root, std::string_view path) {
    static const Key missing("(missing)");
    const Key* key = root.find(path);
    if (!key) ADD_FAILURE() << "no key " << path;
    return key ? *key : missing;
}

std::vector<std::string> names(const std::vector<std::unique_ptr<Key>>& keys) {
    std::vector<std::string> out;
    for (const auto& k : keys) out.push_back(k->name());
    return out;
}

}  // namespace

// ---- The key tree ---------------------------------------------------------

TEST(RegistryKey, NamesMatchWithoutAsciiCaseAndKeepTheirOwn) {
    Key root;
    Key& graphs = root.create("Software\\Quillan\\Graphs");
    EXPECT_EQ(&root.create("SOFTWARE\\quillan\\GRAPHS"), &graphs);
    EXPECT_EQ(root.find("\\software\\\\QUILLAN\\graphs\\"), &graphs);
    EXPECT_EQ(root.find(""), &root);
    EXPECT_EQ(root.find("Software\\Missing"), nullptr);
    EXPECT_EQ(at(root, "SOFTWARE").name(), "Software");
    // Only ASCII letters fold.
    root.create("\xC3\x9C");  // "Ü"
    EXPECT_EQ(root.child("\xC3\xBC"), nullptr);

    graphs.setValue("Title", "a");
    graphs.setValue("", "default");
    graphs.setValue("TITLE", "b");
    ASSERT_EQ(graphs.values().size(), 2u);
    EXPECT_EQ(graphs.values()[0].first, "Title");
    EXPECT_EQ(graphs.value("title"), "b");
    EXPECT_EQ(graphs.value(""), "default");
    EXPECT_FALSE(graphs.value("Other"));
    EXPECT_TRUE(graphs.removeValue("tItLe"));
    EXPECT_FALSE(graphs.removeValue("Title"));
}

TEST(RegistryKey, KeepsInsertionOrderAndRemovesWholeTrees) {
    Key root;
    for (const char* name : {"Zeta", "alpha", "Mid"}) root.create(std::string("Top\\") + name + "\\Leaf");
    EXPECT_EQ(names(at(root, "top").children()), (std::vector<std::string>{"Zeta", "alpha", "Mid"}));

    Key copy = root.clone();
    EXPECT_TRUE(root.remove("TOP\\alpha"));
    EXPECT_FALSE(root.remove("Top\\alpha"));
    EXPECT_FALSE(root.remove(""));
    EXPECT_EQ(names(at(root, "Top").children()), (std::vector<std::string>{"Zeta", "Mid"}));
    EXPECT_NE(copy.find("Top\\alpha\\Leaf"), nullptr);  // the clone is independent
    EXPECT_TRUE(root.removeChild("top"));
    EXPECT_TRUE(root.empty());
}

// ---- The text form ----------------------------------------------------------

TEST(RegistryText, WritesOneSectionPerKeyDepthFirst) {
    Key root;
    Key& cls = root.create("Quillan.Graph\\CLSID");
    cls.setValue("", "{1234}");
    root.create("Quillan.Graph").setValue("Path", "C:\\dir\\\"q\"");
    root.create("Quillan.Graph\\Programmable");
    root.create("Other");
    EXPECT_EQ(reg::serialize(root, Hive::ClassesRoot),
              "REGEDIT4\n"
              "\n[HKEY_CLASSES_ROOT\\Quillan.Graph]\n"
              "\"Path\"=\"C:\\\\dir\\\\\\\"q\\\"\"\n"
              "\n[HKEY_CLASSES_ROOT\\Quillan.Graph\\CLSID]\n"
              "@=\"{1234}\"\n"
              "\n[HKEY_CLASSES_ROOT\\Quillan.Graph\\Programmable]\n"
              "\n[HKEY_CLASSES_ROOT\\Other]\n");
}

TEST(RegistryText, RoundTripKeepsEveryStringAndTheOrder) {
    const std::vector<std::pair<std::string, std::string>> values = {
        {"", "default"},         {"quote\"d", "say \"hi\""}, {"back\\slash", "ends with \\"},
        {"@", "at"},             {"x=y]", ""},               {"Gr\xC3\xBC\xC3\x9F" "e", "\xE2\x82\xAC 5"},
        {"lines", "one\ntwo\r"}, {"tab", "a\tb"},
    };
    Key root;
    Key& k = root.create("A\\[weird] ;key=");
    for (const auto& [n, v] : values) k.setValue(n, v);
    root.create("A\\empty");
    root.create("B").setValue("x", "1");
    root.setValue("", "on the hive itself");

    std::string text = reg::serialize(root, Hive::CurrentUser);
    Key back;
    std::string error;
    ASSERT_TRUE(reg::parse(text, Hive::CurrentUser, back, &error)) << error;
    EXPECT_EQ(reg::serialize(back, Hive::CurrentUser), text);
    EXPECT_EQ(at(back, "a\\[WEIRD] ;KEY=").values(), values);
    EXPECT_NE(back.find("A\\empty"), nullptr);
    EXPECT_EQ(back.value(""), "on the hive itself");

    // A file of the other hive is not read into this one.
    Key other;
    EXPECT_FALSE(reg::parse(text, Hive::ClassesRoot, other, &error));
    EXPECT_TRUE(other.children().empty());
}

TEST(RegistryText, ToleratesCrlfCommentsBlankLinesAndDwords) {
    std::string text =
        "\xEF\xBB\xBFREGEDIT4\r\n\r\n; written by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Quillan]\r\n"
        "  \"Count\" = dword:0000002a\r\n"
        "\r\n\r\n"
        "[hkey_current_user\\software\\quillan\\View]\r\n"
        "@=\"grid\"\r\n"
        "\"Name\"=\"caf\xE9\"";  // Windows-1252 bytes, no final newline
    Key root;
    std::string error;
    ASSERT_TRUE(reg::parse(text, Hive::CurrentUser, root, &error)) << error;
    EXPECT_EQ(at(root, "Software\\Quillan").value("count"), "42");
    EXPECT_EQ(at(root, "Software\\Quillan\\View").value(""), "grid");
    EXPECT_EQ(at(root, "Software\\Quillan\\View").value("Name"), "caf\xC3\xA9");
    EXPECT_EQ(root.children().size(), 1u);
}

TEST(RegistryText, DamagedLinesAreSkippedAndEverythingElseKept) {
    std::string text =
        "REGEDIT4\n"
        "\"orphan\"=\"value before any key\"\n"
        "[HKEY_CLASSES_ROOT\\Good1]\n"
        "\"a\"=\"1\"\n"
        "this line is garbage\n"
        "\"b\"=\"bad \\q escape\"\n"
        "\"c\"=\"3\"\n"
        "\"bin\"=hex:00,01,\\\n"
        "  02,03\n"
        "\"d\"=\"4\"\n"
        "[-HKEY_CLASSES_ROOT\\Gone]\n"
        "\"e\"=\"under a rejected key\"\n"
        "[HKEY_CURRENT_USER\\WrongHive]\n"
        "[HKEY_CLASSES_ROOT\\Good2]\n"
        "\"f\"=\"6\"\n"
        "\"g\"=\"truncat";
    Key root;
    std::string error;
    EXPECT_FALSE(reg::parse(text, Hive::ClassesRoot, root, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_EQ(names(root.children()), (std::vector<std::string>{"Good1", "Good2"}));
    std::vector<std::pair<std::string, std::string>> expected = {{"a", "1"}, {"c", "3"}, {"d", "4"}};
    EXPECT_EQ(at(root, "Good1").values(), expected);
    expected = {{"f", "6"}};
    EXPECT_EQ(at(root, "Good2").values(), expected);

    Key noHeader;
    EXPECT_FALSE(reg::parse("[HKEY_CLASSES_ROOT\\K]\n@=\"v\"\n", Hive::ClassesRoot, noHeader, &error));
    EXPECT_NE(error.find("line 1"), std::string::npos) << error;
    EXPECT_EQ(at(noHeader, "K").value(""), "v");
}

// ---- The hive files -------------------------------------------------------

// Every test here starts with an empty registry folder of its own.
class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override {
        dir = qtest::makeTempDir("registry-test");
        setenv("QUILLAN_REGISTRY_DIR", dir.c_str(), 1);
    }
    void TearDown() override {
        setenv("QUILLAN_REGISTRY_DIR", qtest::registryDir().c_str(), 1);
        qtest::removeTree(dir);
    }
    std::string classesFile() const { return dir + "/classes.reg"; }

    std::string dir;
};

TEST_F(RegistryStore, ValuesSurviveInTheFileWithTheirKeysAndOrder) {
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, "Quillan.Graph"));
    EXPECT_TRUE(reg::load(Hive::ClassesRoot).empty());

    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "Quillan.Graph", "", "Graph \"object\" \\ \xC3\xA9"), S_OK);
    ASSERT_EQ(reg::transact(Hive::ClassesRoot, [](Key& root) {
                  root.create("Quillan.Graph\\Programmable");
                  root.create("Quillan.Graph\\CLSID").setValue("", "{1}");
                  return S_OK;
              }),
              S_OK);
    ASSERT_EQ(reg::setValue(Hive::CurrentUser, "Software\\Quillan", "Theme", "dark"), S_OK);

    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "QUILLAN.GRAPH"), "Graph \"object\" \\ \xC3\xA9");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "quillan.graph\\clsid", ""), "{1}");
    EXPECT_FALSE(reg::getValue(Hive::ClassesRoot, "Software\\Quillan", "Theme"));
    EXPECT_EQ(reg::getValue(Hive::CurrentUser, "Software\\Quillan", "theme"), "dark");
    EXPECT_EQ(reg::subkeys(Hive::ClassesRoot, "Quillan.Graph"), (std::vector<std::string>{"Programmable", "CLSID"}));

    // What is on disk, parsed afresh, is the same tree (the empty key too).
    Key fromDisk;
    std::string text = readFile(classesFile());
    ASSERT_TRUE(reg::parse(text, Hive::ClassesRoot, fromDisk, nullptr));
    EXPECT_EQ(reg::serialize(reg::load(Hive::ClassesRoot), Hive::ClassesRoot), text);
    EXPECT_NE(fromDisk.find("Quillan.Graph\\Programmable"), nullptr);
    EXPECT_TRUE(std::filesystem::exists(dir + "/user.reg"));

    EXPECT_EQ(reg::deleteTree(Hive::ClassesRoot, "quillan.graph\\CLSID"), S_OK);
    EXPECT_EQ(reg::deleteTree(Hive::ClassesRoot, "Quillan.Graph\\CLSID"), S_FALSE);
    EXPECT_EQ(reg::subkeys(Hive::ClassesRoot, "Quillan.Graph"), (std::vector<std::string>{"Programmable"}));
    EXPECT_EQ(reg::deleteTree(Hive::ClassesRoot, "Quillan.Graph"), S_OK);
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, "Quillan.Graph\\Programmable"));
    EXPECT_EQ(readFile(classesFile()), "REGEDIT4\n");
}

TEST_F(RegistryStore, FolderFollowsTheEnvironmentAndIsCreatedOnSave) {
    std::string home = getenv("HOME") ? getenv("HOME") : "";
    const char* xdgOld = getenv("XDG_CONFIG_HOME");
    std::string xdg = xdgOld ? xdgOld : "";

    unsetenv("QUILLAN_REGISTRY_DIR");
    setenv("XDG_CONFIG_HOME", (dir + "/xdg/config").c_str(), 1);
    EXPECT_EQ(reg::hiveFile(Hive::CurrentUser), dir + "/xdg/config/quillan/user.reg");
    EXPECT_EQ(reg::setValue(Hive::CurrentUser, "K", "v", "1"), S_OK);
    EXPECT_TRUE(std::filesystem::exists(dir + "/xdg/config/quillan/user.reg"));

    setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    setenv("HOME", (dir + "/home").c_str(), 1);
    EXPECT_EQ(reg::hiveFile(Hive::ClassesRoot), dir + "/home/.config/quillan/classes.reg");
    EXPECT_FALSE(reg::getValue(Hive::CurrentUser, "K", "v"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/home"));  // reading creates nothing

    setenv("HOME", home.c_str(), 1);
    if (xdgOld)
        setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

TEST_F(RegistryStore, FailedChangesWriteNothing) {
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "Kept", "", "old"), S_OK);
    const std::string before = readFile(classesFile());
    struct stat st0 {};
    ASSERT_EQ(stat(classesFile().c_str(), &st0), 0);

    auto modifyThen = [](std::function<HRESULT()> outcome) {
        return [outcome](Key& root) {
            root.create("Kept").setValue("", "new");
            root.create("Added");
            return outcome();
        };
    };
    EXPECT_EQ(reg::transact(Hive::ClassesRoot, modifyThen([] { return E_ABORT; })), E_ABORT);
    EXPECT_EQ(reg::transact(Hive::ClassesRoot, modifyThen([]() -> HRESULT { throw std::bad_alloc(); })),
              E_OUTOFMEMORY);
    EXPECT_EQ(reg::transact(Hive::ClassesRoot, modifyThen([]() -> HRESULT { throw 42; })), E_FAIL);
    // A key name with a line break could not be written back.
    EXPECT_EQ(reg::transact(Hive::ClassesRoot, [](Key& root) {
                  root.create("two\nlines");
                  return S_OK;
              }),
              E_INVALIDARG);
    // Nested transactions on the same hive would wait for their own lock.
    HRESULT nested = S_OK;
    EXPECT_EQ(reg::transact(Hive::ClassesRoot, [&](Key&) {
                  nested = reg::transact(Hive::ClassesRoot, [](Key&) { return S_OK; });
                  return E_ABORT;
              }),
              E_ABORT);
    EXPECT_EQ(nested, E_UNEXPECTED);

    struct stat st1 {};
    ASSERT_EQ(stat(classesFile().c_str(), &st1), 0);
    EXPECT_EQ(st1.st_ino, st0.st_ino);
    EXPECT_EQ(readFile(classesFile()), before);
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Kept"), "old");
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, "Added"));
}

TEST_F(RegistryStore, WriteFailureKeepsTheOldFile) {
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "Kept", "", "old"), S_OK);
    const std::string before = readFile(classesFile());
    // A file size limit makes the write fail even when running as root.
    int rc = inChild([] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1024, 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        HRESULT hr = reg::setValue(Hive::ClassesRoot, "Big", "", std::string(4096, 'x'));
        return hr == HRESULT_FROM_ERRNO(EFBIG) ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(readFile(classesFile()), before);
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"classes.reg", "classes.reg.lock"}));
}

TEST_F(RegistryStore, ConcurrentWritersKeepEachOthersEntries) {
    constexpr int kChildren = 3, kEach = 100;
    std::vector<pid_t> pids;
    for (int c = 0; c < kChildren; ++c) {
        pid_t pid = fork();
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kEach; ++i) {
                std::string n = std::to_string(c) + "-" + std::to_string(i);
                // One shared key and one key per writer.
                failures += FAILED(reg::setValue(Hive::ClassesRoot, "Shared", "v" + n, n));
                failures += FAILED(reg::transact(Hive::ClassesRoot, [&](Key& root) {
                    root.create("Writer" + std::to_string(c) + "\\" + n);
                    return S_OK;
                }));
            }
            _exit(failures == 0 ? 0 : 1);
        }
        ASSERT_GT(pid, 0);
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    Key root = reg::load(Hive::ClassesRoot);
    const Key& shared = at(root, "Shared");
    EXPECT_EQ(shared.values().size(), size_t(kChildren * kEach));
    for (int c = 0; c < kChildren; ++c) {
        EXPECT_EQ(at(root, "Writer" + std::to_string(c)).children().size(), size_t(kEach));
        for (int i = 0; i < kEach; ++i) {
            std::string n = std::to_string(c) + "-" + std::to_string(i);
            EXPECT_EQ(shared.value("v" + n), n);
        }
    }
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"classes.reg", "classes.reg.lock"}));
}

TEST_F(RegistryStore, DamagedFileIsReportedKeptAsideAndRewrittenClean) {
    const std::string damaged =
        "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\Good]\r\n\"a\"=\"1\"\r\n"
        "\x01\x02 garbage \xFF\n"
        "\"b\"=\"2\"\n\n[HKEY_CLASSES_ROOT\\Later]\n@=\"kept\"\n\"c\"=\"trunc";
    writeFile(classesFile(), damaged);

    testing::internal::CaptureStderr();
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Good", "b"), "2");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Later"), "kept");
    std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find(classesFile()), std::string::npos) << report;
    EXPECT_NE(report.find("line 5"), std::string::npos) << report;
    EXPECT_EQ(report.find("line 5"), report.rfind("line 5")) << "reported more than once: " << report;

    testing::internal::CaptureStderr();
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "New", "", "x"), S_OK);
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "New2", "", "y"), S_OK);
    testing::internal::GetCapturedStderr();

    std::vector<std::string> files = filesIn(dir);
    ASSERT_EQ(files.size(), 3u);  // the hive, its lock and one damaged copy
    EXPECT_EQ(files[1].rfind("classes.reg.damaged-", 0), 0u) << files[1];
    EXPECT_EQ(files[1].size(), std::string("classes.reg.damaged-YYYYMMDDHHMMSS").size());
    EXPECT_EQ(readFile(dir + "/" + files[1]), damaged);

    Key clean;
    std::string error;
    EXPECT_TRUE(reg::parse(readFile(classesFile()), Hive::ClassesRoot, clean, &error)) << error;
    EXPECT_EQ(names(clean.children()), (std::vector<std::string>{"Good", "Later", "New", "New2"}));
    EXPECT_EQ(at(clean, "Good").values().size(), 2u);
}

TEST_F(RegistryStore, ReadsSeeChangesMadeElsewhere) {
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "K", "", "v0"), S_OK);
    // Same-sized values from another process, read back each time: the
    // cache must not mistake a new file for the one it parsed.
    for (int i = 1; i <= 10; ++i) {
        ASSERT_EQ(reg::getValue(Hive::ClassesRoot, "K"), "v" + std::to_string(i - 1));
        ASSERT_EQ(inChild([i] { return reg::setValue(Hive::ClassesRoot, "K", "", "v" + std::to_string(i)); }), 0);
    }
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "K"), "v10");

    // An editor rewriting the file in place, same size, keeps the inode.
    std::string text = readFile(classesFile());
    text.replace(text.find("v10"), 3, "edt");
    writeFile(classesFile(), text);
    timespec later[2] = {{0, UTIME_OMIT}, {time(nullptr) + 5, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, classesFile().c_str(), later, 0), 0);
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "K"), "edt");
}

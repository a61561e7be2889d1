#include "runtime/registry.h"

#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

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
using Strings = std::vector<std::string>;
using Values = std::vector<std::pair<std::string, std::string>>;

namespace {

std::string readFile(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

Strings filesIn(const std::string& dir) {
    Strings names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

pid_t spawn(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

// The exit code of a child (-1 if it did not exit normally).
int waitFor(pid_t pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The key at path; a missing key fails the test and reads as an empty one.
const Key& at(const Key& root, std::string_view path) {
    static const Key missing("(missing)");
    const Key* key = root.find(path);
    if (!key) ADD_FAILURE() << "no key " << path;
    return key ? *key : missing;
}

Strings names(const Key& key) {
    Strings out;
    for (const auto& k : key.children()) out.push_back(k->name());
    return out;
}

}  // namespace

// ---- The key tree ---------------------------------------------------------

TEST(RegistryKey, NamesFoldAsciiCaseAndKeepTheirOwnCaseAndOrder) {
    Key root;
    Key& graphs = root.create("Software\\Quillan\\Graphs");
    EXPECT_EQ(&root.create("SOFTWARE\\quillan\\GRAPHS"), &graphs);
    EXPECT_EQ(root.find("\\software\\\\QUILLAN\\graphs\\"), &graphs);
    EXPECT_EQ(root.find(""), &root);
    EXPECT_EQ(root.find("Software\\Missing"), nullptr);
    root.create("software\\Alpha");
    root.create("\xC3\x9C");  // "Ü": only ASCII letters fold
    EXPECT_EQ(root.child("\xC3\xBC"), nullptr);
    EXPECT_EQ(names(at(root, "SOFTWARE")), (Strings{"Quillan", "Alpha"}));

    graphs.setValue("Title", "a");
    graphs.setValue("", "default");
    graphs.setValue("TITLE", "b");
    EXPECT_EQ(graphs.values(), (Values{{"Title", "b"}, {"", "default"}}));
    EXPECT_TRUE(graphs.removeValue("tItLe"));
    EXPECT_FALSE(graphs.value("Title"));

    Key copy = root.clone();
    EXPECT_TRUE(root.remove("SOFTWARE\\quillan"));
    EXPECT_FALSE(root.remove("Software\\Quillan"));
    EXPECT_FALSE(root.remove(""));
    EXPECT_EQ(at(copy, "Software\\Quillan\\Graphs").value(""), "default");  // the copy is its own
}

TEST(RegistryKey, ManyChildrenStayFindableThroughChangesAndCopies) {
    Key root;
    for (int i = 0; i < 40; ++i) root.create("Class" + std::to_string(i) + "\\Sub");
    EXPECT_EQ(&root.create("CLASS7"), root.child("class7"));
    EXPECT_TRUE(root.remove("class7"));
    EXPECT_EQ(root.child("Class7"), nullptr);
    root.create("cLASS7");
    EXPECT_EQ(root.children().size(), 40u);
    EXPECT_EQ(root.children().back()->name(), "cLASS7");
    for (const auto& c : root.children()) EXPECT_EQ(root.child(c->name()), c.get()) << c->name();

    Key copy = root.clone();
    EXPECT_TRUE(root.removeChild("CLASS39"));
    EXPECT_EQ(root.child("class39"), nullptr);
    EXPECT_EQ(copy.find("class39\\SUB"), copy.children()[38]->children()[0].get());
}

// ---- The text form ----------------------------------------------------------

TEST(RegistryText, WritesOneSectionPerKeyDepthFirst) {
    Key root;
    root.create("Quillan.Graph\\CLSID").setValue("", "{1234}");
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
    const Values values = {
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

    Key other;  // a file of the other hive is not read into this one
    EXPECT_FALSE(reg::parse(text, Hive::ClassesRoot, other, &error));
    EXPECT_TRUE(other.empty());
}

TEST(RegistryText, ToleratesCrlfCommentsBlankLinesAndDwords) {
    std::string text =
        "\xEF\xBB\xBFREGEDIT4\r\n\r\n; written by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Quillan]\r\n"
        "  \"Count\" = dword:0000002a\r\n\r\n\r\n"
        "[hkey_current_user\\software\\quillan\\View]\r\n"
        "@=\"grid\"\r\n"
        "\"Name\"=\"caf\xE9\"";  // Windows-1252 bytes, no final newline
    Key root;
    std::string error;
    ASSERT_TRUE(reg::parse(text, Hive::CurrentUser, root, &error)) << error;
    EXPECT_EQ(at(root, "Software\\Quillan").values(), (Values{{"Count", "42"}}));
    EXPECT_EQ(at(root, "Software\\Quillan\\View").values(), (Values{{"", "grid"}, {"Name", "caf\xC3\xA9"}}));
    EXPECT_EQ(names(root), (Strings{"Software"}));
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
    EXPECT_EQ(names(root), (Strings{"Good1", "Good2"}));
    EXPECT_EQ(at(root, "Good1").values(), (Values{{"a", "1"}, {"c", "3"}, {"d", "4"}}));
    EXPECT_EQ(at(root, "Good2").values(), (Values{{"f", "6"}}));

    Key noHeader;
    EXPECT_FALSE(reg::parse("[HKEY_CLASSES_ROOT\\K]\n@=\"v\"\n", Hive::ClassesRoot, noHeader, &error));
    EXPECT_NE(error.find("line 1"), std::string::npos) << error;
    EXPECT_EQ(at(noHeader, "K").value(""), "v");
}

// A key path n names deep: "\\d\\d...".
std::string deepPath(size_t n) {
    std::string path;
    for (size_t i = 0; i < n; ++i) path += "\\d";
    return path;
}

TEST(RegistryText, KeysNestedTooDeeplyAreDamageAndTheRestIsKept) {
    // As deep as a file may go (empty names between separators do not count).
    Key limit;
    std::string error;
    const std::string deepest = deepPath(512) + "\\\\";
    ASSERT_TRUE(reg::parse("REGEDIT4\n[HKEY_CURRENT_USER" + deepest + "]\n@=\"x\"\n", Hive::CurrentUser, limit, &error))
        << error;
    EXPECT_EQ(at(limit, deepest).value(""), "x");

    // One level deeper, and far deeper: the lines and their values are
    // skipped, nothing of their paths is created.
    const std::string text = "REGEDIT4\n[HKEY_CURRENT_USER\\Good]\n\"a\"=\"1\"\n"
                             "[HKEY_CURRENT_USER" + deepPath(513) + "]\n\"b\"=\"2\"\n"
                             "[HKEY_CURRENT_USER" + deepPath(50000) + "]\n\"c\"=\"3\"\n"
                             "[HKEY_CURRENT_USER\\Later]\n@=\"kept\"\n";
    Key root;
    EXPECT_FALSE(reg::parse(text, Hive::CurrentUser, root, &error));
    EXPECT_NE(error.find("line 4: key nested too deeply"), std::string::npos) << error;
    EXPECT_EQ(names(root), (Strings{"Good", "Later"}));
    EXPECT_EQ(at(root, "Later").value(""), "kept");
}

// ---- The hive files -------------------------------------------------------

// Every test here starts with an empty registry folder of its own.
class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override { setenv("QUILLAN_REGISTRY_DIR", dir.c_str(), 1); }
    void TearDown() override {
        setenv("QUILLAN_REGISTRY_DIR", qtest::registryDir().c_str(), 1);
        qtest::removeTree(dir);
    }

    const std::string dir = qtest::makeTempDir("registry-test");
    const std::string file = dir + "/classes.reg";
};

TEST_F(RegistryStore, ValuesSurviveInTheFileWithTheirKeysAndOrder) {
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, "Quillan.Graph"));
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
    EXPECT_EQ(reg::subkeys(Hive::ClassesRoot, "Quillan.Graph"), (Strings{"Programmable", "CLSID"}));

    // The file itself, parsed afresh, holds the same tree (the empty key too).
    Key fromDisk;
    ASSERT_TRUE(reg::parse(readFile(file), Hive::ClassesRoot, fromDisk, nullptr));
    EXPECT_EQ(reg::serialize(fromDisk, Hive::ClassesRoot), reg::serialize(reg::load(Hive::ClassesRoot), Hive::ClassesRoot));
    EXPECT_NE(fromDisk.find("Quillan.Graph\\Programmable"), nullptr);

    EXPECT_EQ(reg::deleteTree(Hive::ClassesRoot, "quillan.graph\\CLSID"), S_OK);
    EXPECT_EQ(reg::deleteTree(Hive::ClassesRoot, "Quillan.Graph\\CLSID"), S_FALSE);
    EXPECT_EQ(reg::subkeys(Hive::ClassesRoot, "Quillan.Graph"), (Strings{"Programmable"}));
    EXPECT_EQ(reg::deleteTree(Hive::ClassesRoot, "Quillan.Graph"), S_OK);
    EXPECT_EQ(readFile(file), "REGEDIT4\n");
}

TEST_F(RegistryStore, FolderFollowsTheEnvironmentAndIsCreatedOnSave) {
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    const char* xdg = getenv("XDG_CONFIG_HOME");
    const std::string oldXdg = xdg ? xdg : "";

    unsetenv("QUILLAN_REGISTRY_DIR");
    setenv("XDG_CONFIG_HOME", (dir + "/xdg/config").c_str(), 1);
    EXPECT_EQ(reg::setValue(Hive::CurrentUser, "K", "v", "1"), S_OK);
    EXPECT_TRUE(std::filesystem::exists(dir + "/xdg/config/quillan/user.reg"));

    setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    setenv("HOME", (dir + "/home").c_str(), 1);
    EXPECT_EQ(reg::hiveFile(Hive::ClassesRoot), dir + "/home/.config/quillan/classes.reg");
    EXPECT_FALSE(reg::getValue(Hive::CurrentUser, "K", "v"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/home"));  // reading creates nothing

    setenv("HOME", home.c_str(), 1);
    xdg ? setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}

TEST_F(RegistryStore, FailedChangesWriteNothing) {
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "Kept", "", "old"), S_OK);
    const std::string before = readFile(file);

    auto aborts = [](Key& root) {
        root.create("Kept").setValue("", "new");
        return E_ABORT;
    };
    auto throws = [](Key& root) -> HRESULT {
        root.create("Added");
        throw std::bad_alloc();
    };
    auto unwritable = [](Key& root) {  // its "[...]" line would split
        root.create("two\nlines");
        return S_OK;
    };
    HRESULT nested = S_OK;  // the hive's lock is already held: it would wait for itself
    auto nests = [&](Key&) {
        nested = reg::transact(Hive::ClassesRoot, [](Key&) { return S_OK; });
        return E_ABORT;
    };
    EXPECT_EQ(reg::transact(Hive::ClassesRoot, aborts), E_ABORT);
    EXPECT_EQ(reg::transact(Hive::ClassesRoot, throws), E_OUTOFMEMORY);
    EXPECT_EQ(reg::transact(Hive::ClassesRoot, unwritable), E_INVALIDARG);
    EXPECT_EQ(reg::transact(Hive::ClassesRoot, nests), E_ABORT);
    EXPECT_EQ(nested, E_UNEXPECTED);

    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Kept"), "old");
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, "Added"));
}

TEST_F(RegistryStore, WriteFailureKeepsTheOldFile) {
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "Kept", "", "old"), S_OK);
    const std::string before = readFile(file);
    // A file size limit makes the write fail even when running as root.
    EXPECT_EQ(waitFor(spawn([] {
                  signal(SIGXFSZ, SIG_IGN);
                  rlimit limit{1024, 1024};
                  setrlimit(RLIMIT_FSIZE, &limit);
                  HRESULT hr = reg::setValue(Hive::ClassesRoot, "Big", "", std::string(4096, 'x'));
                  return hr == HRESULT_FROM_ERRNO(EFBIG) ? 0 : 1;
              })),
              0);
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(filesIn(dir), (Strings{"classes.reg", "classes.reg.lock"}));
}

TEST_F(RegistryStore, ConcurrentWritersKeepEachOthersEntries) {
    constexpr int kWriters = 3, kEach = 100;
    std::vector<pid_t> pids;
    for (int w = 0; w < kWriters; ++w) {
        pids.push_back(spawn([w] {
            for (int i = 0; i < kEach; ++i) {
                std::string n = std::to_string(w) + "-" + std::to_string(i);
                // A value in one shared key and a key under the writer's own.
                HRESULT hr = reg::transact(Hive::ClassesRoot, [&](Key& root) {
                    root.create("Shared").setValue("v" + n, n);
                    root.create("Writer" + std::to_string(w) + "\\" + n);
                    return S_OK;
                });
                if (FAILED(hr)) return 1;
            }
            return 0;
        }));
    }
    for (pid_t pid : pids) EXPECT_EQ(waitFor(pid), 0);

    Key root = reg::load(Hive::ClassesRoot);
    EXPECT_EQ(at(root, "Shared").values().size(), size_t(kWriters * kEach));
    for (int w = 0; w < kWriters; ++w)
        EXPECT_EQ(at(root, "Writer" + std::to_string(w)).children().size(), size_t(kEach));
    EXPECT_EQ(filesIn(dir), (Strings{"classes.reg", "classes.reg.lock"}));
}

TEST_F(RegistryStore, DamagedFileIsReportedKeptAsideAndRewrittenClean) {
    const std::string damaged =
        "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\Good]\r\n\"a\"=\"1\"\r\n"
        "\x01\x02 garbage \xFF\n"
        "\"b\"=\"2\"\n\n[HKEY_CLASSES_ROOT\\Later]\n@=\"kept\"\n\"c\"=\"trunc";
    writeFile(file, damaged);

    testing::internal::CaptureStderr();
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Good", "b"), "2");
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Later"), "kept");
    std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find(file), std::string::npos) << report;
    EXPECT_NE(report.find("line 5"), std::string::npos) << report;
    EXPECT_EQ(report.find("line 5"), report.rfind("line 5")) << "reported more than once: " << report;

    testing::internal::CaptureStderr();
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "New", "", "x"), S_OK);
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "New2", "", "y"), S_OK);
    testing::internal::GetCapturedStderr();

    Strings files = filesIn(dir);
    ASSERT_EQ(files.size(), 3u);  // the hive, its lock and one damaged copy
    EXPECT_EQ(files[1].rfind("classes.reg.damaged-", 0), 0u) << files[1];
    EXPECT_EQ(files[1].size(), std::string("classes.reg.damaged-YYYYMMDDHHMMSS").size());
    EXPECT_EQ(readFile(dir + "/" + files[1]), damaged);

    Key clean;
    std::string error;
    EXPECT_TRUE(reg::parse(readFile(file), Hive::ClassesRoot, clean, &error)) << error;
    EXPECT_EQ(names(clean), (Strings{"Good", "Later", "New", "New2"}));
    EXPECT_EQ(at(clean, "Good").values(), (Values{{"a", "1"}, {"b", "2"}}));
}

TEST_F(RegistryStore, ChangesGoNoDeeperThanAFileMayName) {
    EXPECT_EQ(reg::setValue(Hive::CurrentUser, deepPath(513), "", "x"), E_INVALIDARG);
    EXPECT_FALSE(reg::keyExists(Hive::CurrentUser, "d"));
    ASSERT_EQ(reg::setValue(Hive::CurrentUser, deepPath(512), "", "x"), S_OK);
    Key root;
    std::string error;
    EXPECT_TRUE(reg::parse(readFile(dir + "/user.reg"), Hive::CurrentUser, root, &error)) << error;
    EXPECT_EQ(at(root, deepPath(512)).value(""), "x");
}

TEST_F(RegistryStore, AKeyNameWithALineBreakIsDamageAndTheHiveStaysWritable) {
    writeFile(file, "REGEDIT4\n[HKEY_CLASSES_ROOT\\Split\rName]\n@=\"x\"\n[HKEY_CLASSES_ROOT\\Kept]\n@=\"yes\"\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(reg::setValue(Hive::ClassesRoot, "New", "", "x"), S_OK);
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("line 2: line break inside a key name"), std::string::npos) << report;
    EXPECT_EQ(reg::subkeys(Hive::ClassesRoot, ""), (Strings{"Kept", "New"}));
}

TEST_F(RegistryStore, AFileWithAKeyNestedFiftyThousandDeepIsReadAndRewrittenClean) {
    const std::string damaged = "REGEDIT4\n[HKEY_CLASSES_ROOT" + deepPath(50000) + "]\n@=\"deep\"\n"
                                "[HKEY_CLASSES_ROOT\\Kept]\n@=\"yes\"\n";
    writeFile(file, damaged);
    testing::internal::CaptureStderr();
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "Kept"), "yes");
    EXPECT_FALSE(reg::keyExists(Hive::ClassesRoot, "d"));
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "New", "", "x"), S_OK);
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("line 2: key nested too deeply"), std::string::npos) << report;
    EXPECT_EQ(filesIn(dir).size(), 3u);  // the hive, its lock and the damaged copy
    Key clean;
    std::string error;
    EXPECT_TRUE(reg::parse(readFile(file), Hive::ClassesRoot, clean, &error)) << error;
    EXPECT_EQ(names(clean), (Strings{"Kept", "New"}));
}

TEST_F(RegistryStore, ReadsSeeChangesMadeElsewhere) {
    ASSERT_EQ(reg::setValue(Hive::ClassesRoot, "K", "", "v0"), S_OK);
    // Same-sized values written by another process, read back each time:
    // the cache must not take a new file for the one it parsed.
    for (int i = 1; i <= 10; ++i) {
        ASSERT_EQ(reg::getValue(Hive::ClassesRoot, "K"), "v" + std::to_string(i - 1));
        ASSERT_EQ(waitFor(spawn([i] { return reg::setValue(Hive::ClassesRoot, "K", "", "v" + std::to_string(i)); })), 0);
    }
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "K"), "v10");

    // An editor rewriting the file in place, same size, keeps the inode.
    std::string text = readFile(file);
    text.replace(text.find("v10"), 3, "edt");
    writeFile(file, text);
    timespec times[2] = {{0, UTIME_OMIT}, {time(nullptr) + 5, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(reg::getValue(Hive::ClassesRoot, "K"), "edt");
}

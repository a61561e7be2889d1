// The program as the local server of Quillan.Canvas: registered by its
// switch, started by the first client, shared by the next, ended by the
// last release (or by the death of its only client), and reported gone to
// clients when it is killed. Clients are this test process and scripts run
// by `quillan --run`; all share the test's private registry folder.
#include "app/tests/batch_support.h"
#include "runtime/activation.h"
#include "runtime/remote.h"
#include "runtime/testing/dispatch_calls.h"

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using qrt::Variant;
using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class LocalServerFixture : public BatchFixture {
protected:
    void SetUp() override {
        BatchFixture::SetUp();
        ASSERT_EQ(quillan(m_folder, "--register").status, 0);
        ASSERT_EQ(CLSIDFromProgID(u"Quillan.Canvas", &clsid), S_OK);
        socket = qrt::remote::socketPath(clsid);
        ASSERT_FALSE(socket.empty());
    }
    void TearDown() override {
        for (pid_t pid : clients) ::kill(pid, SIGKILL);
        qrt::remote::shutdown();
        if (const pid_t pid = serverPid(); pid > 0) ::kill(pid, SIGKILL);
        BatchFixture::TearDown();
    }
    // A server answers on the class's socket (a killed one leaves the file).
    bool serving() const {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool answered = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return answered;
    }
    // The server of this test's registry folder: a quillan --embedding
    // whose environment names the folder.
    pid_t serverPid() const {
        const std::string marker = "QUILLAN_REGISTRY_DIR=" + qtest::registryDir();
        pid_t found = -1;
        DIR* proc = ::opendir("/proc");
        while (dirent* entry = proc ? ::readdir(proc) : nullptr) {
            const pid_t pid = std::atoi(entry->d_name);
            if (pid <= 0) continue;
            const std::string base = std::string("/proc/") + entry->d_name;
            const std::string command = fileText(base + "/cmdline");
            if (command.find("--embedding") == std::string::npos) continue;
            const std::string environment = fileText(base + "/environ");
            if (environment.find(marker + '\0') != std::string::npos) found = pid;
        }
        if (proc) ::closedir(proc);
        return found;
    }
    // Starts a script that runs until killed, in the background; returns
    // once it has written its marker file.
    void startClient(const std::string& name, const std::string& script) {
        write(name + ".vbs", script);
        const std::string command = "cd '" + m_folder + "' && exec '" + qtest::binaryDir() + "/quillan' --run " + name +
                                    ".vbs > " + name + ".out 2>&1 < /dev/null & echo $!";
        FILE* pipe = ::popen(command.c_str(), "r");
        char line[32] = {};
        if (pipe && std::fgets(line, sizeof line, pipe)) clients.push_back(std::atoi(line));
        if (pipe) ::pclose(pipe);
        ASSERT_TRUE(waitFor([&] { return exists(name + ".ready"); }, 20s)) << read(name + ".out");
    }
    qrt::ComPtr<IDispatch> canvas() {
        qrt::ComPtr<IDispatch> object;
        EXPECT_EQ(qrt::createObject(u"Quillan.Canvas", object), S_OK) << qrt::lastActivationError();
        return object;
    }
    CLSID clsid;
    std::string socket;
    std::vector<pid_t> clients;
};

// A script's lines that mark it ready and then wait until file "go" exists.
const std::string kReadyThenWait =
    "Set fso = CreateObject(\"Scripting.FileSystemObject\")\n"
    "fso.CreateTextFile(NAME & \".ready\").Close\n"
    "Do While Not fso.FileExists(\"go\")\nLoop\n";

TEST_F(LocalServerFixture, ClientsShareOneServerThatEndsWithTheLastRelease) {
    EXPECT_FALSE(serving());
    qrt::ComPtr<IDispatch> mine = canvas();
    ASSERT_TRUE(mine);
    EXPECT_TRUE(serving());
    qtest::CallResult graf = qtest::get(mine.get(), u"Graf");
    ASSERT_EQ(graf.hr, S_OK);
    ASSERT_EQ(graf.value.vt, VT_DISPATCH);
    IDispatch* g = graf.value.pdispVal;
    ASSERT_EQ(qtest::call(g, u"CreateSeries").hr, S_OK);
    ASSERT_EQ(qtest::call(g, u"AddPointToSeries", {Variant(0), Variant(1.0), Variant(2.0)}).hr, S_OK);
    // Wrong argument types are the server's type mismatch, not a crash.
    EXPECT_EQ(qtest::call(g, u"AddPointToSeries", {Variant(0), Variant(u"one"), Variant(2.0)}).hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(qtest::call(g, u"AddPointToSeries", {Variant(0)}).hr, DISP_E_BADPARAMCOUNT);
    const pid_t server = serverPid();
    ASSERT_GT(server, 0);

    // A script in another process finds the same server and the same graph.
    write("second.vbs",
          "Set c = CreateObject(\"Quillan.Canvas\")\n"
          "If c.Graf.CountSeries <> 1 Then Err.Raise 5, \"test\", \"not the first client's graph\"\n"
          "c.Graf.CreateSeries\n"
          "c.Graf.AddPointToSeries 1, 3, 5\n"
          "c.Graf.AddPointToSeries 1, -1, 4\n"
          "c.Graf.RecalcSeries\n");
    const Outcome second = quillan(m_folder, "--run second.vbs");
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(serverPid(), server);

    // What the script drew is in the server's graph: two series, and a box
    // around the points of both.
    EXPECT_EQ(qtest::call(g, u"CountSeries").value.lVal, 2);
    Variant x, y, w, h;
    ASSERT_EQ(qtest::call(g, u"GetBox", {qtest::refTo(&x), qtest::refTo(&y), qtest::refTo(&w), qtest::refTo(&h)}).hr, S_OK);
    x.changeType(VT_R8);
    w.changeType(VT_R8);
    EXPECT_LE(x.dblVal, -1.0);
    EXPECT_GE(x.dblVal + w.dblVal, 3.0);

    graf.value.clear();
    mine.reset();
    EXPECT_TRUE(waitFor([&] { return !serving() && serverPid() < 0; }, 10s)) << "the server did not end";
}

TEST_F(LocalServerFixture, AKilledClientLetsGoOfItsObjects) {
    startClient("holder", "NAME = \"holder\"\nSet c = CreateObject(\"Quillan.Canvas\")\nSet g = c.Graf\ng.CreateSeries\n" +
                              kReadyThenWait);
    EXPECT_TRUE(serving());
    ::kill(clients.back(), SIGKILL);
    EXPECT_TRUE(waitFor([&] { return !serving() && serverPid() < 0; }, 10s)) << "the server outlived its client";
}

TEST_F(LocalServerFixture, AKilledServerIsAClearErrorForItsClients) {
    startClient("orphan", "NAME = \"orphan\"\nSet c = CreateObject(\"Quillan.Canvas\")\nSet g = c.Graf\n" +
                              kReadyThenWait + "g.CreateSeries\n");
    qrt::ComPtr<IDispatch> mine = canvas();
    const pid_t server = serverPid();
    ASSERT_GT(server, 0);
    ::kill(server, SIGKILL);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(qtest::get(mine.get(), u"Graf").hr, RPC_E_DISCONNECTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    write("go", "");
    ASSERT_TRUE(waitFor([&] { return read("orphan.out").find("server is gone") != std::string::npos; }, 10s))
        << read("orphan.out");
    EXPECT_NE(read("orphan.out").find("orphan.vbs:8:"), std::string::npos) << read("orphan.out");
}

TEST_F(LocalServerFixture, UnregisteringRemovesTheClassAndActivationFails) {
    ASSERT_EQ(quillan(m_folder, "--unregister").status, 0);
    const std::string classes = fileText(qtest::registryDir() + "/classes.reg");
    EXPECT_EQ(classes.find("Quillan.Canvas"), std::string::npos);
    EXPECT_EQ(classes.find(qrt::guidToString(clsid)), std::string::npos);
    EXPECT_NE(classes.find("[HKEY_CLASSES_ROOT\\CLSID]"), std::string::npos);

    qrt::ComPtr<IDispatch> object;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, object.outVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_NE(qrt::lastActivationError().find("is not registered"), std::string::npos) << qrt::lastActivationError();
    EXPECT_EQ(qrt::createObject(u"Quillan.Canvas", object), CO_E_CLASSSTRING);
    write("late.vbs", "Set c = CreateObject(\"Quillan.Canvas\")\n");
    const Outcome late = quillan(m_folder, "--run late.vbs");
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.output.find("can't create object: 'Quillan.Canvas'"), std::string::npos) << late.output;
    EXPECT_FALSE(serving());
}

}  // namespace

// One window per session without a session bus: the local socket's message
// read from untrusted bytes, the hand-over between two claims in a private
// folder, a socket file left by a crashed window, a window that holds the
// name but does not answer, and the name a registry folder gives.
#include "app/ui/single_instance.h"
#include "app/ui/single_instance_socket.h"
#include "runtime/testing/qt_application.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using quillan::ui::SingleInstance;
using quillan::ui::SocketHandover;
using Parse = SocketHandover::Parse;

// What the listening thread received.
class Inbox {
public:
    SocketHandover::Receive receiver() {
        return [this](const QStringList& files) {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(files);
            m_changed.notify_all();
        };
    }
    std::optional<QStringList> next(std::chrono::milliseconds wait = std::chrono::seconds(5)) {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, wait, [this] { return !m_calls.empty(); })) return std::nullopt;
        QStringList files = m_calls.front();
        m_calls.erase(m_calls.begin());
        return files;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<QStringList> m_calls;
};

QByteArray header(quint32 length) {
    QByteArray bytes(SocketHandover::kMagic);
    for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((length >> shift) & 0xff);
    return bytes;
}

TEST(SocketHandoverMessage, FilesSurviveTheTripAndPartialMessagesWait) {
    const QStringList files{QStringLiteral("/home/ana/Gráficos/señal.vbs"), QStringLiteral("/tmp/line\nbreak.js"),
                            QStringLiteral("/tmp/plain.qln")};
    const QByteArray message = SocketHandover::encodeMessage(files);
    QStringList parsed;
    EXPECT_EQ(SocketHandover::parseMessage(message, parsed), Parse::Complete);
    EXPECT_EQ(parsed, files);
    for (qsizetype cut : {qsizetype(0), qsizetype(3), qsizetype(8), qsizetype(11), message.size() - 1})
        EXPECT_EQ(SocketHandover::parseMessage(message.left(cut), parsed), Parse::Incomplete) << "cut at " << cut;
    // No files: the window is only raised.
    EXPECT_EQ(SocketHandover::parseMessage(SocketHandover::encodeMessage({}), parsed), Parse::Complete);
    EXPECT_TRUE(parsed.isEmpty());
}

TEST(SocketHandoverMessage, MalformedBytesAreRefused) {
    const QByteArray good = SocketHandover::encodeMessage({QStringLiteral("/tmp/a.vbs")});
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"another magic", QByteArray("GET / HTTP/1.1\r\n")},
        {"a wrong first byte only", QByteArray("X")},
        {"a length over the limit", header(SocketHandover::kMaxPayload + 1)},
        {"the largest length", header(0xffffffffu)},
        {"bytes after the message", good + "Z"},
        {"a path without its NUL", header(4) + QByteArray("/a/b")},
        {"a relative path", header(6) + QByteArray("a.vbs", 6)},
        {"an absolute path after a relative one", header(9) + QByteArray("x\0/a.vbs\0", 9)},
    };
    for (const auto& c : cases) {
        QStringList files{QStringLiteral("stale")};
        EXPECT_EQ(SocketHandover::parseMessage(c.bytes, files), Parse::Malformed) << c.what;
        EXPECT_TRUE(files.isEmpty()) << c.what;
    }
}

class SocketHandoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::ensureApplication();
        ASSERT_TRUE(folder.isValid());
        ::chmod(QFile::encodeName(folder.path()).constData(), 0700);
    }
    std::unique_ptr<SocketHandover> make() { return std::make_unique<SocketHandover>(folder.path(), name); }

    QTemporaryDir folder;
    const QString name = QStringLiteral("io.quillan.Quillan.Test");
    Inbox inbox;
};

TEST_F(SocketHandoverTest, ASecondClaimHandsItsFilesToTheFirst) {
    auto owner = make();
    ASSERT_EQ(owner->claim({}, inbox.receiver(), 1000), SocketHandover::Claim::Owner);
    EXPECT_TRUE(QFile::exists(owner->socketPath()));

    const QStringList files{QStringLiteral("/data/one.vbs"), QStringLiteral("/data/two.js")};
    EXPECT_EQ(make()->claim(files, [](const QStringList&) { FAIL() << "a start that hands over receives nothing"; }, 3000),
              SocketHandover::Claim::HandedOver);
    EXPECT_EQ(inbox.next(), files);
    // A start without files raises the window.
    EXPECT_EQ(make()->claim({}, {}, 3000), SocketHandover::Claim::HandedOver);
    EXPECT_EQ(inbox.next(), QStringList());

    // The window goes: its socket goes with it, and the next start owns the name.
    const QString socket = owner->socketPath();
    owner.reset();
    EXPECT_FALSE(QFile::exists(socket));
    EXPECT_EQ(make()->claim({}, inbox.receiver(), 1000), SocketHandover::Claim::Owner);
}

TEST_F(SocketHandoverTest, ASocketFileLeftByACrashedWindowDoesNotStopTheNextStart) {
    // A crashed window leaves its socket file, nobody listening on it.
    {
        const SocketHandover paths(folder.path(), name);
        QFile stale(paths.socketPath());
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    auto owner = make();
    ASSERT_EQ(owner->claim({}, inbox.receiver(), 1000), SocketHandover::Claim::Owner);
    EXPECT_EQ(make()->claim({QStringLiteral("/data/after.vbs")}, {}, 3000), SocketHandover::Claim::HandedOver);
    EXPECT_EQ(inbox.next(), QStringList{QStringLiteral("/data/after.vbs")});
}

TEST_F(SocketHandoverTest, AWindowThatHoldsTheNameButDoesNotAnswerLeavesTheStartAlone) {
    // The lock is held (by a window that hangs before it listens).
    const SocketHandover paths(folder.path(), name);
    const int fd = ::open(QFile::encodeName(paths.lockPath()).constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(make()->claim({QStringLiteral("/data/a.vbs")}, {}, 300), SocketHandover::Claim::Alone);
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_LT(clock.elapsed(), 3000);
    ::close(fd);
}

TEST_F(SocketHandoverTest, ClientsSendingGarbageOrNothingDoNotStopTheWindow) {
    auto owner = make();
    ASSERT_EQ(owner->claim({}, inbox.receiver(), 1000), SocketHandover::Claim::Owner);
    QLocalSocket silent;
    silent.connectToServer(owner->socketPath());
    ASSERT_TRUE(silent.waitForConnected(1000));
    QLocalSocket garbage;
    garbage.connectToServer(owner->socketPath());
    ASSERT_TRUE(garbage.waitForConnected(1000));
    garbage.write(header(0xffffffffu) + QByteArray(64, 'x'));
    ASSERT_TRUE(garbage.waitForBytesWritten(1000));
    // The window hangs up on the garbage without an answer.
    EXPECT_FALSE(garbage.waitForReadyRead(2000));
    EXPECT_EQ(garbage.bytesAvailable(), 0);

    EXPECT_EQ(make()->claim({QStringLiteral("/data/ok.vbs")}, {}, 3000), SocketHandover::Claim::HandedOver);
    EXPECT_EQ(inbox.next(), QStringList{QStringLiteral("/data/ok.vbs")});
    EXPECT_FALSE(inbox.next(std::chrono::milliseconds(100))) << "garbage reached the window";
}

TEST_F(SocketHandoverTest, AFolderOthersCanEnterIsNotUsed) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    ::chmod(QFile::encodeName(folder.path()).constData(), 0755);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
    const QString chosen = SocketHandover::privateFolder();
    ::chmod(QFile::encodeName(folder.path()).constData(), 0700);
    const QString again = SocketHandover::privateFolder();
    qputenv("XDG_RUNTIME_DIR", saved);
    EXPECT_NE(chosen, folder.path());
    if (!chosen.isEmpty()) {
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(chosen).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 077, 0u) << chosen.toStdString();
        EXPECT_EQ(info.st_uid, ::getuid());
    }
    EXPECT_EQ(again, folder.path());
    // Without a folder there is nothing to claim with.
    EXPECT_EQ(SocketHandover(QString(), name).claim({}, inbox.receiver(), 100), SocketHandover::Claim::Alone);
}

// The registry folder decides the name; the default folder, however spelt,
// has the name D-Bus activation asks for.
TEST(SingleInstanceName, TheDefaultRegistryFolderHasTheApplicationsName) {
    QTemporaryDir config;
    const QByteArray savedRegistry = qgetenv("QUILLAN_REGISTRY_DIR");
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const auto nameFor = [](const QString& registry) {
        if (registry.isNull()) qunsetenv("QUILLAN_REGISTRY_DIR");
        else qputenv("QUILLAN_REGISTRY_DIR", QFile::encodeName(registry));
        return SingleInstance::serviceName();
    };
    const QString defaultName = QStringLiteral("io.quillan.Quillan");
    EXPECT_EQ(nameFor(QString()), defaultName);
    EXPECT_EQ(nameFor(config.path() + QStringLiteral("/quillan")), defaultName);
    EXPECT_EQ(nameFor(config.path() + QStringLiteral("/./quillan/")), defaultName);
    const QString other = nameFor(config.path() + QStringLiteral("/other"));
    EXPECT_TRUE(other.startsWith(defaultName + QStringLiteral(".Profile_"))) << other.toStdString();
    EXPECT_EQ(nameFor(config.path() + QStringLiteral("/other/")), other);
    EXPECT_NE(nameFor(config.path() + QStringLiteral("/another")), other);
    // A relative folder is the one under the current folder.
    const QString current = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(config.path()));
    EXPECT_EQ(nameFor(QStringLiteral("other")), other);
    QDir::setCurrent(current);

    if (savedRegistry.isNull()) qunsetenv("QUILLAN_REGISTRY_DIR");
    else qputenv("QUILLAN_REGISTRY_DIR", savedRegistry);
    if (savedConfig.isNull()) qunsetenv("XDG_CONFIG_HOME");
    else qputenv("XDG_CONFIG_HOME", savedConfig);
}

}  // namespace

#include "app/ui/single_instance_socket.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillan::ui {
namespace {

constexpr qsizetype kMagicSize = sizeof SocketHandover::kMagic - 1;
constexpr qsizetype kHeaderSize = kMagicSize + 4;
// A client that sends nothing usable in this time is dropped.
constexpr int kClientIdleMs = 5000;
// Between attempts to reach a window that holds the lock but is not
// listening yet.
constexpr unsigned long kConnectRetryMs = 20;

bool isPrivateFolder(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 077) == 0;
}

int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
}

// One client of the listening window, on the listening thread: its bytes
// are gathered until the message is whole, then its files are passed on
// and the client is answered.
void serveClient(QLocalSocket* client, const SocketHandover::Receive& receive) {
    auto received = std::make_shared<QByteArray>();
    auto read = [client, received, receive] {
        *received += client->readAll();
        QStringList files;
        switch (SocketHandover::parseMessage(*received, files)) {
        case SocketHandover::Parse::Incomplete:
            return;
        case SocketHandover::Parse::Malformed:
            client->abort();
            client->deleteLater();
            return;
        case SocketHandover::Parse::Complete:
            receive(files);
            client->write(&SocketHandover::kAccepted, 1);
            client->disconnectFromServer();  // after the answer is written
            return;
        }
    };
    QObject::connect(client, &QLocalSocket::readyRead, client, read);
    QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    QTimer::singleShot(kClientIdleMs, client, [client] {
        client->abort();
        client->deleteLater();
    });
    if (client->bytesAvailable() > 0) read();
}

}  // namespace

SocketHandover::SocketHandover(const QString& folder, const QString& name) {
    if (folder.isEmpty() || name.isEmpty()) return;
    m_socketPath = folder + QLatin1Char('/') + name + QStringLiteral(".socket");
    m_lockPath = folder + QLatin1Char('/') + name + QStringLiteral(".lock");
}

SocketHandover::~SocketHandover() {
    if (m_thread) {
        // The server goes with its thread (see listen), and removes its
        // socket file as it goes.
        m_thread->quit();
        m_thread->wait();
        delete m_thread;
    }
    // The lock goes last: until then no other start may take the name.
    if (m_lockFd >= 0) ::close(m_lockFd);
}

QString SocketHandover::privateFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && isPrivateFolder(runtime)) return QFile::decodeName(runtime);
    const QByteArray fallback = "/tmp/quillan-" + QByteArray::number(::getuid());
    ::mkdir(fallback.constData(), 0700);  // may be there already: checked next
    return isPrivateFolder(fallback) ? QFile::decodeName(fallback) : QString();
}

QByteArray SocketHandover::encodeMessage(const QStringList& files) {
    QByteArray payload;
    for (const QString& file : files) {
        payload += file.toUtf8();
        payload += '\0';
    }
    QByteArray message(kMagic, kMagicSize);
    char length[4];
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), length);
    message.append(length, 4);
    message += payload;
    return message;
}

SocketHandover::Parse SocketHandover::parseMessage(const QByteArray& data, QStringList& files) {
    files.clear();
    const QByteArray magic(kMagic, kMagicSize);
    if (!magic.startsWith(data.left(kMagicSize))) return Parse::Malformed;
    if (data.size() < kHeaderSize) return Parse::Incomplete;
    const quint32 length = qFromBigEndian<quint32>(data.constData() + kMagicSize);
    if (length > static_cast<quint32>(kMaxPayload)) return Parse::Malformed;
    const qsizetype total = kHeaderSize + static_cast<qsizetype>(length);
    if (data.size() < total) return Parse::Incomplete;
    if (data.size() > total) return Parse::Malformed;  // one message per connection
    const QByteArray payload = data.mid(kHeaderSize);
    if (!payload.isEmpty() && !payload.endsWith('\0')) return Parse::Malformed;
    QStringList paths;
    for (const QByteArray& part : payload.split('\0')) {
        if (part.isEmpty()) continue;
        const QString path = QString::fromUtf8(part);
        // The sender's folder is not ours: a relative path would name
        // another file here.
        if (!QDir::isAbsolutePath(path)) return Parse::Malformed;
        paths << path;
    }
    files = paths;
    return Parse::Complete;
}

SocketHandover::Claim SocketHandover::claim(const QStringList& files, Receive receive, int timeoutMs) {
    if (m_socketPath.isEmpty() || m_lockFd >= 0) return Claim::Alone;
    const int fd = ::open(QFile::encodeName(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return Claim::Alone;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_lockFd = fd;
        if (listen(std::move(receive))) return Claim::Owner;
        ::close(fd);
        m_lockFd = -1;
        return Claim::Alone;
    }
    const int error = errno;
    ::close(fd);
    if (error != EWOULDBLOCK) return Claim::Alone;
    return handOver(files, timeoutMs) ? Claim::HandedOver : Claim::Alone;
}

// With the lock held, a socket file there is a crashed window's: it goes.
bool SocketHandover::listen(Receive receive) {
    QLocalServer::removeServer(m_socketPath);
    auto* server = new QLocalServer;
    server->setSocketOptions(QLocalServer::UserAccessOption);
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("quillan-handover"));
    server->moveToThread(thread);
    // Emitted on the thread as it ends: the server and its clients end there.
    QObject::connect(thread, &QThread::finished, [server] { delete server; });
    thread->start();
    bool listening = false;
    const QString path = m_socketPath;
    QMetaObject::invokeMethod(
        server,
        [server, path, receive, &listening] {
            listening = server->listen(path);
            if (!listening) return;
            QObject::connect(server, &QLocalServer::newConnection, server, [server, receive] {
                while (QLocalSocket* client = server->nextPendingConnection()) serveClient(client, receive);
            });
        },
        Qt::BlockingQueuedConnection);
    if (listening) {
        m_thread = thread;
        return true;
    }
    thread->quit();
    thread->wait();
    delete thread;
    return false;
}

bool SocketHandover::handOver(const QStringList& files, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(remainingMs(deadline))) break;
        if (deadline.hasExpired()) return false;
        // The window has the lock but does not listen yet (it just started,
        // or it is ending).
        socket.abort();
        QThread::msleep(kConnectRetryMs);
    }
    socket.write(encodeMessage(files));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline))) return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(remainingMs(deadline))) return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kAccepted;
}

}  // namespace quillan::ui

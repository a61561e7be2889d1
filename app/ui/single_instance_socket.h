// The hand-over of files to the session's window when no session bus is
// reachable: a local socket in the user's private runtime folder, one per
// window name (the name SingleInstance uses on the bus).
//
// Who owns the socket is decided by a lock on a file beside it, not by the
// socket file: the lock goes with the process that holds it, so a socket
// file left by a crashed window never stops the next start, which removes it
// and listens afresh. A start that finds the lock held connects, sends its
// files and waits a short time for the window's answer; no answer in time
// means it opens a window of its own.
//
// The owner answers on a thread of its own, so a window busy running a
// script still takes files at once (they open when the script returns).
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QByteArray;
class QThread;

namespace quillan::ui {

class SocketHandover {
public:
    enum class Claim {
        Owner,       // this process listens for the name
        HandedOver,  // the running window took the files
        Alone,       // no safe folder, or the running window did not answer
    };
    // Called on the listening thread with the files of each start handed
    // over (absolute paths; none: raise the window).
    using Receive = std::function<void(const QStringList&)>;

    // The message: kMagic, the payload's length (4 bytes, big-endian), then
    // the payload, each file's absolute path in UTF-8 followed by a NUL. The
    // window answers kAccepted.
    static constexpr char kMagic[9] = "QLNOPEN1";
    static constexpr char kAccepted = 'A';
    static constexpr int kMaxPayload = 1 << 20;
    enum class Parse { Incomplete, Malformed, Complete };
    static QByteArray encodeMessage(const QStringList& files);
    // What the bytes received so far hold; Complete fills files. A message
    // that is too long, has bytes after it or names a relative path is
    // Malformed.
    static Parse parseMessage(const QByteArray& data, QStringList& files);

    SocketHandover(const QString& folder, const QString& name);
    ~SocketHandover();
    SocketHandover(const SocketHandover&) = delete;
    SocketHandover& operator=(const SocketHandover&) = delete;

    // The user's private folder for sockets: $XDG_RUNTIME_DIR, else
    // /tmp/quillan-UID (made when missing). Empty when the folder is not a
    // real folder of this user closed to others: a socket there could be
    // another user's.
    static QString privateFolder();

    // Listens for the name, or sends files (absolute paths) to the process
    // that does and waits up to timeoutMs for its answer.
    Claim claim(const QStringList& files, Receive receive, int timeoutMs);

    QString socketPath() const { return m_socketPath; }
    QString lockPath() const { return m_lockPath; }

private:
    bool listen(Receive receive);
    bool handOver(const QStringList& files, int timeoutMs);

    QString m_socketPath;
    QString m_lockPath;
    int m_lockFd = -1;
    QThread* m_thread = nullptr;  // the server lives and ends on it
};

}  // namespace quillan::ui

#include "app/ui/single_instance.h"

#include "app/ui/main_frame.h"
#include "app/ui/single_instance_socket.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>

#include <pwd.h>
#include <unistd.h>

namespace quillan::ui {
namespace {

// D-Bus activation wants the desktop entry's name as the bus name, and the
// object at the path made from it.
const QString kDefaultName = QStringLiteral("io.quillan.Quillan");
const QString kPath = QStringLiteral("/io/quillan/Quillan");
const QString kInterface = QStringLiteral("org.freedesktop.Application");
// A window busy running a script answers when the script returns.
constexpr int kCallTimeoutMs = 10000;

QString absoluteFolder(const QString& path) { return QDir::cleanPath(QDir::current().absoluteFilePath(path)); }

// The registry's folder when QUILLAN_REGISTRY_DIR does not name one
// (runtime/registry_file.cpp decides the same way).
QString defaultRegistryFolder() {
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    if (config.startsWith('/')) return QFile::decodeName(config) + QStringLiteral("/quillan");
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) home = entry->pw_dir;
    }
    return QFile::decodeName(home) + QStringLiteral("/.config/quillan");
}

// Open takes URIs; local files are sent as file:// URIs.
QString pathOfUri(const QString& uri) {
    const QUrl url(uri);
    return url.isLocalFile() ? url.toLocalFile() : uri;
}

QStringList absolutePaths(const QStringList& files) {
    QStringList paths;
    for (const QString& file : files) paths << QFileInfo(file).absoluteFilePath();
    return paths;
}

}  // namespace

// The object at kPath, and the receiver of the local socket's files. D-Bus
// delivers its calls on the bus's own thread, and the socket its files on
// its listening thread: both answer there and pass the files to the
// service's own (the window's) thread.
class SingleInstance::Service : public QDBusVirtualObject {
public:
    void setFrame(CMainFrame* frame, std::function<void()> reveal) {
        m_frame = frame;
        m_reveal = std::move(reveal);
        flush();
    }

    // On the window's thread: files handed over (none: raise the window).
    void receive(const QStringList& files) {
        m_pending << files;
        m_called = true;
        flush();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != kInterface) return false;
        QStringList files;
        if (message.member() == QStringLiteral("Open")) {
            const QVariantList arguments = message.arguments();
            if (arguments.isEmpty()) return false;
            for (const QString& uri : arguments.first().toStringList()) files << pathOfUri(uri);
        } else if (message.member() != QStringLiteral("Activate")) {
            return false;  // no actions to activate
        }
        connection.send(message.createReply());
        QMetaObject::invokeMethod(this, [this, files] { receive(files); }, Qt::QueuedConnection);
        return true;
    }

    QString introspect(const QString&) const override {
        return QStringLiteral(
            "<interface name=\"org.freedesktop.Application\">"
            "<method name=\"Activate\"><arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/></method>"
            "<method name=\"Open\"><arg type=\"as\" name=\"uris\" direction=\"in\"/>"
            "<arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/></method>"
            "<method name=\"ActivateAction\"><arg type=\"s\" name=\"action_name\" direction=\"in\"/>"
            "<arg type=\"av\" name=\"parameter\" direction=\"in\"/>"
            "<arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/></method>"
            "</interface>");
    }

private:
    // Calls that came before the window are kept for it.
    void flush() {
        if (!m_frame || !m_called) return;
        m_called = false;
        const QStringList files = std::exchange(m_pending, {});
        if (!m_frame->isVisible() && m_reveal) m_reveal();
        for (const QString& file : files) m_frame->document().openDocument(file.toStdU16String());
        m_frame->raise();
        m_frame->activateWindow();
    }

    QPointer<CMainFrame> m_frame;
    std::function<void()> m_reveal;
    QStringList m_pending;
    bool m_called = false;
};

SingleInstance::SingleInstance() = default;

SingleInstance::~SingleInstance() {
    m_socket.reset();
    if (!m_onBus) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(serviceName());
    bus.unregisterObject(kPath);
}

QString SingleInstance::serviceName() {
    const QByteArray registry = qgetenv("QUILLAN_REGISTRY_DIR");
    if (registry.isEmpty()) return kDefaultName;
    // A window kept apart by its own registry folder (a test, a second
    // profile) has a name of its own, so it neither takes nor hands files
    // to the user's window.
    const QString folder = absoluteFolder(QFile::decodeName(registry));
    if (folder == absoluteFolder(defaultRegistryFolder())) return kDefaultName;
    const QByteArray digest = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return kDefaultName + QStringLiteral(".Profile_") + QString::fromLatin1(digest);
}

SingleInstance::Claim SingleInstance::claim(const QStringList& files) {
    m_service = std::make_unique<Service>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        // Files reach the window's thread through the service's queue, as
        // they do from the bus.
        m_socket = std::make_unique<SocketHandover>(SocketHandover::privateFolder(), serviceName());
        Service* service = m_service.get();
        const auto receive = [service](const QStringList& handed) {
            QMetaObject::invokeMethod(service, [service, handed] { service->receive(handed); }, Qt::QueuedConnection);
        };
        const SocketHandover::Claim claim = m_socket->claim(absolutePaths(files), receive, kSocketAnswerMs);
        if (claim == SocketHandover::Claim::Owner) return Claim::Owner;
        m_socket.reset();
        m_service.reset();
        return claim == SocketHandover::Claim::HandedOver ? Claim::HandedOver : Claim::Alone;
    }
    if (takeBusName()) return Claim::Owner;

    QDBusMessage call = QDBusMessage::createMethodCall(serviceName(), kPath, kInterface,
                                                       files.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (!files.isEmpty()) {
        QStringList uris;
        for (const QString& file : absolutePaths(files)) uris << QUrl::fromLocalFile(file).toString();
        call << uris;
    }
    call << QVariantMap();
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage ? Claim::HandedOver : Claim::Alone;
}

SingleInstance::Claim SingleInstance::claimService() {
    if (!QDBusConnection::sessionBus().isConnected()) return Claim::Alone;
    m_service = std::make_unique<Service>();
    return takeBusName() ? Claim::Owner : Claim::HandedOver;
}

bool SingleInstance::takeBusName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The object first, so that a call arriving just after the name is ours
    // finds it (it waits in the queue until the window is up).
    if (bus.registerVirtualObject(kPath, m_service.get())) {
        if (bus.registerService(serviceName())) {
            m_onBus = true;
            return true;
        }
        bus.unregisterObject(kPath);
    }
    m_service.reset();
    return false;
}

void SingleInstance::serve(CMainFrame* frame, std::function<void()> reveal) {
    if (m_service) m_service->setFrame(frame, std::move(reveal));
}

}  // namespace quillan::ui

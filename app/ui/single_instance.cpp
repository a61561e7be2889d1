#include "app/ui/single_instance.h"

#include "app/ui/main_frame.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>

namespace quillan::ui {
namespace {

// The session's name; a window kept apart by its own registry folder
// (QUILLAN_REGISTRY_DIR: a test, a second profile) has a name of its own, so
// it neither takes nor hands files to the user's window.
QString serviceName() {
    const QByteArray registry = qgetenv("QUILLAN_REGISTRY_DIR");
    if (registry.isEmpty()) return QStringLiteral("io.quillan.Quillan");
    const QByteArray digest = QCryptographicHash::hash(registry, QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("io.quillan.Quillan.Profile_") + QString::fromLatin1(digest);
}

const QString kPath = QStringLiteral("/io/quillan/Quillan");
const QString kInterface = QStringLiteral("org.freedesktop.Application");
// A window busy running a script answers when the script returns.
constexpr int kCallTimeoutMs = 10000;

// Open takes URIs; local files are sent as file:// URIs.
QString pathOfUri(const QString& uri) {
    const QUrl url(uri);
    return url.isLocalFile() ? url.toLocalFile() : uri;
}

}  // namespace

// The object at kPath. D-Bus delivers its calls on the bus's own thread: it
// answers there and passes the files to its own (the window's) thread.
class SingleInstance::Service : public QDBusVirtualObject {
public:
    void setFrame(CMainFrame* frame) {
        m_frame = frame;
        deliver({});
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
        QMetaObject::invokeMethod(this, [this, files] { deliver(files); }, Qt::QueuedConnection);
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
    // Files that came before the window are kept for it.
    void deliver(const QStringList& files) {
        m_pending << files;
        if (!m_frame) return;
        const QStringList now = std::exchange(m_pending, {});
        for (const QString& file : now) m_frame->document().openDocument(file.toStdU16String());
        m_frame->raise();
        m_frame->activateWindow();
    }

    QPointer<CMainFrame> m_frame;
    QStringList m_pending;
};

SingleInstance::SingleInstance() = default;

SingleInstance::~SingleInstance() {
    if (!m_service) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(serviceName());
    bus.unregisterObject(kPath);
}

SingleInstance::Claim SingleInstance::claim(const QStringList& files) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return Claim::Alone;
    // The object first, so that a call arriving just after the name is ours
    // finds it (it waits in the queue until the window is up).
    auto service = std::make_unique<Service>();
    if (bus.registerVirtualObject(kPath, service.get())) {
        if (bus.registerService(serviceName())) {
            m_service = std::move(service);
            return Claim::Owner;
        }
        bus.unregisterObject(kPath);
    }

    QDBusMessage call = QDBusMessage::createMethodCall(serviceName(), kPath, kInterface,
                                                       files.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (!files.isEmpty()) {
        QStringList uris;
        for (const QString& file : files) uris << QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toString();
        call << uris;
    }
    call << QVariantMap();
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage ? Claim::HandedOver : Claim::Alone;
}

void SingleInstance::serve(CMainFrame* frame) {
    if (m_service) m_service->setFrame(frame);
}

}  // namespace quillan::ui

#include "app/ui/object_server.h"

#include "app/core/canvas.h"
#include "app/core/graf.h"
#include "runtime/activation.h"
#include "runtime/remote.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <map>

namespace quillan::ui {

// The runtime's sockets in Qt's event loop: what arrives is served from the
// loop, one notifier per socket.
class SocketWatch final : public qrt::remote::EventLoopHooks {
public:
    ~SocketWatch() {
        for (auto& [fd, notifier] : m_notifiers) delete notifier;
    }
    void watch(int fd) override {
        if (m_notifiers.count(fd)) return;
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(notifier, &QSocketNotifier::activated, [] { qrt::remote::processEvents(0); });
        m_notifiers[fd] = notifier;
    }
    void unwatch(int fd) override {
        auto it = m_notifiers.find(fd);
        if (it == m_notifiers.end()) return;
        // The notifier may be the one whose signal is being handled.
        it->second->setEnabled(false);
        it->second->deleteLater();
        m_notifiers.erase(it);
    }

private:
    std::map<int, QSocketNotifier*> m_notifiers;
};

ObjectServer::ObjectServer() : m_watch(std::make_unique<SocketWatch>()) {
    m_idle.setSingleShot(true);
}

ObjectServer::~ObjectServer() {
    revoke();
    qrt::remote::setAllReleasedHandler(nullptr);
    qrt::remote::shutdown();
    qrt::remote::setEventLoopHooks(nullptr);
    setCanvasGraf(nullptr);
}

HRESULT ObjectServer::start(Graf& graf) {
    setCanvasGraf(&graf);
    qrt::remote::setEventLoopHooks(m_watch.get());
    const qrt::ComPtr<IClassFactory> factory = canvasClassFactory();
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = CoRegisterClassObject(CLSID_Canvas, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &m_cookie);
    if (FAILED(hr)) m_cookie = 0;
    return hr;
}

void ObjectServer::quitWhenUnused(int idleMs) {
    const auto quitIfUnused = [this] {
        if (qrt::remote::servedObjectCount() != 0) return;
        // New clients go to a new server from now on.
        revoke();
        QCoreApplication::quit();
    };
    qrt::remote::setAllReleasedHandler(quitIfUnused);
    QObject::connect(&m_idle, &QTimer::timeout, quitIfUnused);
    m_idle.start(idleMs);
}

void ObjectServer::revoke() {
    if (m_cookie) CoRevokeClassObject(m_cookie);
    m_cookie = 0;
}

}  // namespace quillan::ui

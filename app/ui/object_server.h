// The program as a local server: the class object of Canvas registered for
// local-server activation with multiple use, the runtime's sockets watched
// by Qt's event loop, and, for a program started only to serve, the end of
// the program once its last client has let go.
#pragma once

#include "runtime/types.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace quillan {
class Graf;
}

namespace quillan::ui {

class SocketWatch;

class ObjectServer {
public:
    ObjectServer();
    // Revokes the class object, closes every connection (their clients'
    // proxies then report the server gone) and lets go of the Graf.
    ~ObjectServer();
    ObjectServer(const ObjectServer&) = delete;
    ObjectServer& operator=(const ObjectServer&) = delete;

    // Serves Canvas, whose Graf property hands out graf.
    HRESULT start(Graf& graf);
    // Windowless: quits the application when the last served object is let
    // go, or when nothing has been asked for within idleMs of the start.
    void quitWhenUnused(int idleMs);
    // Takes the class object back: new clients start another server.
    void revoke();

private:
    std::unique_ptr<SocketWatch> m_watch;
    DWORD m_cookie = 0;
    QTimer m_idle;
};

}  // namespace quillan::ui

// One workbench window per user session. The first window owns the session
// bus name io.quillan.Quillan (one of its own for a registry folder given in
// QUILLAN_REGISTRY_DIR other than the default one) and answers
// org.freedesktop.Application at /io/quillan/Quillan (the interface desktops
// use to open files in a running program, and to start it by D-Bus
// activation); a later start hands its files to that window and ends.
// Without a session bus the same hand-over goes through a local socket of
// the same name in the user's runtime folder (SocketHandover).
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace quillan::ui {

class CMainFrame;
class SocketHandover;

class SingleInstance {
public:
    enum class Claim {
        Owner,       // this process answers for the session: open the window
        HandedOver,  // a running window took the files: end here
        Alone,       // nowhere to answer from, or the running window did not answer
    };

    // How long a start waits for a running window to take its files over
    // the local socket before it opens its own.
    static constexpr int kSocketAnswerMs = 3000;

    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // The name on the bus and of the local socket: io.quillan.Quillan for
    // the default registry folder, io.quillan.Quillan.Profile_HASH for
    // another (its absolute path decides).
    static QString serviceName();

    // Becomes the session's window, or hands files (relative paths are taken
    // from the current folder) to the one that already is.
    Claim claim(const QStringList& files);
    // Started by the bus to answer for the name (D-Bus activation): Owner,
    // HandedOver when another process has it already, Alone without a bus.
    Claim claimService();
    // Files handed over from now on open in frame, which is raised. A frame
    // not shown yet (a start by the bus) is shown by reveal on the first
    // call that reaches it.
    void serve(CMainFrame* frame, std::function<void()> reveal = {});

    class Service;

private:
    // Registers m_service at the object path and owns the bus name; without
    // the name m_service goes.
    bool takeBusName();

    std::unique_ptr<Service> m_service;
    bool m_onBus = false;
    std::unique_ptr<SocketHandover> m_socket;  // ends before m_service, which it calls
};

}  // namespace quillan::ui

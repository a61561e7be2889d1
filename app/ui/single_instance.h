// One workbench window per user session. The first window owns the session
// bus name io.quillan.Quillan (one of its own for a registry folder given in
// QUILLAN_REGISTRY_DIR) and answers org.freedesktop.Application there
// (the interface desktops use to open files in a running program); a later
// start hands its files to that window and ends. Without a session bus
// every start opens its own window.
#pragma once

#include <QStringList>

#include <memory>

namespace quillan::ui {

class CMainFrame;

class SingleInstance {
public:
    enum class Claim {
        Owner,       // this process answers for the session: open the window
        HandedOver,  // a running window took the files: end here
        Alone,       // no session bus, or the running window did not answer
    };

    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Becomes the session's window, or hands files (relative paths are taken
    // from the current folder) to the one that already is.
    Claim claim(const QStringList& files);
    // Files handed over from now on open in frame, which is raised.
    void serve(CMainFrame* frame);

    class Service;

private:
    std::unique_ptr<Service> m_service;
};

}  // namespace quillan::ui

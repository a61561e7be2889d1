// Start-up and shutdown of the workbench: the component runtime is started
// (registry folder usable, the libraries beside the program registered), the
// settings key opened, the command line acted on (the window with the files
// given, registering or unregistering the program, the server switches), and
// the window shown. Exit statuses: 0 done, 2 start-up failed.
#pragma once

#include "app/ui/startup_options.h"
#include "hosting/module.h"

#include <QElapsedTimer>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCommandLineParser;

namespace quillan {
class CQuillanDoc;
class OffscreenGraph;
}  // namespace quillan

namespace quillan::ui {

class CMainFrame;
class ObjectServer;
class SingleInstance;

// What the program registers of itself: its application identifier, its
// type library and its class Canvas, served from the program
// (LocalServer32: the program's path and --embedding).
const qhost::ModuleInfo& programModule();

struct StartupOptions {
    // Service: started by the session bus to answer for the program's name
    // (D-Bus activation); the window shows with the first call.
    enum class Action { Window, Service, Register, Unregister, Embedding, Automation };
    Action action = Action::Window;
    QStringList files;                    // opened once the window is shown
    std::vector<std::string> components;  // the libraries beside the program
    // With --timings: the clock started when the program did; once the
    // window is up with its files opened, run, loaded and drawn, the time
    // it took is printed on standard error.
    const QElapsedTimer* timings = nullptr;
    // One window per session: a start with the window hands its files to
    // the session's window when one runs, and ends (SingleInstance).
    bool singleInstance = false;
};

// What the switches of the command line (startup_options.h) ask for.
StartupOptions startupOptions(const QCommandLineParser& parser);

// The message shown when the component runtime cannot start.
QString runtimeFailureMessage();

class Startup {
public:
    Startup();
    ~Startup();
    Startup(const Startup&) = delete;
    Startup& operator=(const Startup&) = delete;

    // Runs start-up. Nothing: the window is shown and the program goes on
    // with its event loop. Else the exit status of a program that ends here.
    std::optional<int> start(const StartupOptions& options);
    CMainFrame* frame() const { return m_frame.get(); }

private:
    std::unique_ptr<SingleInstance> m_instance;  // outlives the window
    std::unique_ptr<CMainFrame> m_frame;
    // Started as a server: the document and its graph without a window.
    std::unique_ptr<CQuillanDoc> m_serverDocument;
    std::unique_ptr<OffscreenGraph> m_serverGraph;
    // Declared last: revoked first, before the window and the document go.
    std::unique_ptr<ObjectServer> m_objects;
};

}  // namespace quillan::ui

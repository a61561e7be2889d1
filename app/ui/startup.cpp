#include "app/ui/startup.h"

#include "app/batch/offscreen_graph.h"
#include "app/core/canvas.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/graph_page.h"
#include "app/ui/main_frame.h"
#include "app/ui/message_box.h"
#include "app/ui/object_server.h"
#include "app/ui/recent_files.h"
#include "app/ui/single_instance.h"
#include "hosting/registration.h"
#include "runtime/registry.h"
#include "runtime/text.h"

#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <filesystem>

namespace quillan::ui {
namespace {

constexpr GUID LIBID_Quillan = qrt::makeGuid("{5C2E8A47-1D93-4B6F-9E05-7A3B21C4D8F6}");

// A start by the bus that no call reaches in this time ends.
constexpr int kServiceIdleMs = 10000;
// A start as a server that no client asks anything of in this time ends.
constexpr int kServerIdleMs = 30000;
// The size of the graph a server draws without a window.
constexpr QSize kServerGraphSize(1280, 800);

std::string programPath() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.string();
}

void report(const std::string& text) { std::fprintf(stderr, "quillan: %s\n", text.c_str()); }

// The component runtime starts when the registry can be written (the
// settings key is its first write) and every library beside the program is
// registered from there.
bool startComponentRuntime(const std::vector<std::string>& components, std::string& why) {
    if (const HRESULT hr = openSettingsKey(); FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        why = "the registry folder " + qrt::registry::directory() + " cannot be written (status " + code + ")";
        return false;
    }
    return SUCCEEDED(qhost::ensureLibrariesRegistered(qhost::programFolder(), components, &why));
}

}  // namespace

const qhost::ModuleInfo& programModule() {
    static const qhost::ModuleInfo module{
        "Quillan", LIBID_Quillan, "Quillan 1.0 Type Library", {canvasClass()}, {{ICanvas::IID, "ICanvas"}}, true,
        "--embedding",
    };
    return module;
}

StartupOptions startupOptions(const QCommandLineParser& parser) {
    StartupOptions options;
    using Action = StartupOptions::Action;
    if (parser.isSet(kRegister.first())) options.action = Action::Register;
    else if (parser.isSet(kUnregister.first())) options.action = Action::Unregister;
    else if (parser.isSet(kEmbedding.first())) options.action = Action::Embedding;
    else if (parser.isSet(kAutomation.first())) options.action = Action::Automation;
    else if (parser.isSet(kService.first())) options.action = Action::Service;
    options.files = parser.positionalArguments();
    return options;
}

QString runtimeFailureMessage() {
    return QStringLiteral("OLE initialization failed.  Make sure that the OLE libraries are the correct version.");
}

Startup::Startup() = default;

// The class object is withdrawn first (the members go in reverse order),
// then the window (and with it the document and its script) goes before
// the application.
Startup::~Startup() = default;

std::optional<int> Startup::start(const StartupOptions& options) {
    using Action = StartupOptions::Action;
    if (options.action == Action::Window && options.singleInstance) {
        m_instance = std::make_unique<SingleInstance>();
        if (m_instance->claim(options.files) == SingleInstance::Claim::HandedOver) return 0;
    } else if (options.action == Action::Service) {
        m_instance = std::make_unique<SingleInstance>();
        switch (m_instance->claimService()) {
        case SingleInstance::Claim::Owner:
            break;
        case SingleInstance::Claim::HandedOver:
            return 0;  // the name has its window: the bus sends the calls there
        case SingleInstance::Claim::Alone:
            report("--gapplication-service needs a session bus, and there is none");
            return 2;
        }
    }
    // Sockets need no start on this system; the runtime does.
    std::string why;
    if (!startComponentRuntime(options.components, why)) {
        report(why);
        tell(nullptr, runtimeFailureMessage(), QMessageBox::Critical);
        return 2;
    }

    switch (options.action) {
    case Action::Embedding:
    case Action::Automation: {
        // The document and a graph that no window shows; the program ends
        // when its clients let go.
        m_serverDocument = std::make_unique<CQuillanDoc>();
        m_serverGraph = std::make_unique<OffscreenGraph>(kServerGraphSize);
        std::string reason;
        if (!m_serverGraph->create(reason)) {
            report(reason);
            return 2;
        }
        m_serverDocument->addView(m_serverGraph.get());
        m_objects = std::make_unique<ObjectServer>();
        if (const HRESULT hr = m_objects->start(m_serverDocument->graf()); FAILED(hr)) {
            report(hr == CO_E_OBJISREG ? "another quillan serves Quillan.Canvas already"
                                       : "cannot serve Quillan.Canvas: " + qrt::encodeUtf8(qrt::statusText(hr)));
            return 2;
        }
        m_objects->quitWhenUnused(kServerIdleMs);
        return std::nullopt;
    }
    case Action::Register:
    case Action::Unregister: {
        const std::string path = programPath();
        const bool doRegister = options.action == Action::Register;
        const HRESULT hr = doRegister ? qhost::registerModule(programModule(), path)
                                      : qhost::unregisterModule(programModule(), path);
        if (FAILED(hr)) {
            report(std::string(doRegister ? "registering" : "unregistering") + " the program failed (is the registry folder " +
                   qrt::registry::directory() + " writable?)");
            return 2;
        }
        return 0;
    }
    case Action::Window:
    case Action::Service:
        break;
    }

    m_frame = std::make_unique<CMainFrame>();
    QString error;
    if (!m_frame->createControls(error)) {
        report(error.toStdString());
        tell(nullptr, error, QMessageBox::Critical);
        m_frame.reset();
        return 2;
    }
    CMainFrame* frame = m_frame.get();
    const auto show = [frame] {
        // The window fills the screen even where no window manager maximises it.
        if (const QScreen* screen = frame->screen()) frame->setGeometry(screen->availableGeometry());
        frame->showMaximized();
    };
    // Started by the bus, the window waits for the call that started it.
    if (options.action == Action::Service && options.files.isEmpty()) {
        QTimer::singleShot(kServiceIdleMs, frame, [frame] {
            if (!frame->isVisible()) QCoreApplication::quit();
        });
    } else {
        show();
    }
    if (m_instance) m_instance->serve(frame, show);
    // Other programs may draw into the window's graph through Canvas.
    // Another process serving it already keeps it: the window goes on.
    m_objects = std::make_unique<ObjectServer>();
    if (FAILED(m_objects->start(frame->document().graf()))) m_objects.reset();
    // The files given are opened once the window is up: opening a script
    // needs the window, its panes and its title.
    for (const QString& file : options.files) {
        QTimer::singleShot(0, frame, [frame, file] { frame->document().openDocument(file.toStdU16String()); });
    }
    if (options.timings) {
        // Runs after the files above: the window is painted as it stands,
        // and the graph page drawn even when the editor hides it.
        const QElapsedTimer clock = *options.timings;
        const qsizetype files = options.files.size();
        QTimer::singleShot(0, frame, [frame, clock, files] {
            frame->repaint();
            if (CGraphPage* graph = frame->formView()->graphPage()) graph->grab();
            std::fprintf(stderr, "quillan: window ready in %.1f ms (%lld file(s) opened, run, loaded and drawn)\n",
                         static_cast<double>(clock.nsecsElapsed()) / 1e6, static_cast<long long>(files));
            std::fflush(stderr);
        });
    }
    return std::nullopt;
}

}  // namespace quillan::ui

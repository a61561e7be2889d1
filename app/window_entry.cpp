// The workbench window as a library of its own, libquillan_window.so: the
// program loads it only when the window (or registration, or serving Canvas)
// is wanted, so that a batch run does without the window's code and the
// libraries only the window needs (the session bus, local sockets, X11).
// Its one entry point is quillan_run_window; everything else in it stays
// inside.
#include "app/ui/startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>

#include <optional>

// Start-up, then the event loop while the window is open; the exit status.
// The QApplication exists already; parser has processed the command line;
// clock, when not null, is the program's clock for --timings.
extern "C" __attribute__((visibility("default"))) int quillan_run_window(const QCommandLineParser* parser,
                                                                        const QElapsedTimer* clock) {
    quillan::ui::StartupOptions options = quillan::ui::startupOptions(*parser);
    options.timings = clock;
    options.components = {"Tarvik", "Sumtrel", "JScript", "VBScript", "Lexora", "Scripting"};
    options.singleInstance = true;
    quillan::ui::Startup startup;
    if (const std::optional<int> status = startup.start(options)) return *status;
    return QApplication::exec();
}

// quillan: the program. Without --run it opens the workbench window (and
// the script given, once the window is shown); with --run it runs a script
// without a display (the batch runner). The window's code is a library of
// its own (window_entry.cpp), loaded only for the window.
#include "app/batch/batch_runner.h"
#include "app/ui/startup_options.h"
#include "hosting/registration.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <dlfcn.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLeakChecked = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
constexpr bool kLeakChecked = true;
#else
constexpr bool kLeakChecked = false;
#endif
#else
constexpr bool kLeakChecked = false;
#endif

bool wantsBatch(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--run") == 0 || std::strncmp(argv[i], "--run=", 6) == 0) return true;
    }
    return false;
}

// Registering, unregistering and serving Canvas to other programs show no
// window, and so need no display.
bool wantsRegistration(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        for (const char* name : {"--register", "--regserver", "--unregister", "--unregserver", "--embedding", "--automation"})
            if (std::strcmp(argv[i], name) == 0) return true;
    }
    return false;
}

bool parseSize(const QString& text, QSize& size) {
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,5})\\s*[xX]\\s*(\\d{1,5})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) return false;
    size = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    return true;
}

// Qt's off-screen platform wants a private runtime folder; without one it
// makes its default and warns on every start.
void ensureRuntimeFolder() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    const std::string folder = "/tmp/runtime-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 && info.st_uid == ::getuid() && (info.st_mode & 0777) == 0700)
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(folder));
}

// The workbench lives in libquillan_window.so beside the component
// libraries, loaded only now: a batch run never maps it.
int runWindow(const QCommandLineParser& parser, const QElapsedTimer& clock) {
    const std::string path = qhost::componentFolder() + "/libquillan_window.so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        std::fprintf(stderr, "quillan: cannot load the workbench window: %s\n", why ? why : path.c_str());
        return 2;
    }
    using RunWindow = int (*)(const QCommandLineParser*, const QElapsedTimer*);
    const auto run = reinterpret_cast<RunWindow>(dlsym(library, "quillan_run_window"));
    if (!run) {
        std::fprintf(stderr, "quillan: %s has no entry point quillan_run_window\n", path.c_str());
        return 2;
    }
    return run(&parser, parser.isSet(QStringLiteral("timings")) ? &clock : nullptr);
}

// A script hands the graph arrays of a megabyte or two call after call
// (each converted on the way), and parsing a long script grows vectors of
// several megabytes. Left to itself, the allocator maps such blocks afresh
// or gives them back to the system at each free, until its limits happen to
// adapt; the memory then comes back as fresh pages, faulted in one at a
// time, at the next use. Fixed limits keep blocks up to 32 MB in the heap
// and up to 64 MB of freed memory there for the next call.
void keepFreedMemory() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer startup;
    startup.start();
    keepFreedMemory();
    // A batch run needs no display, and neither does --help without one.
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if ((wantsBatch(argc, argv) || wantsRegistration(argc, argv) || noDisplay) &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") ensureRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillan"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLAN_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Quillan, a scriptable graphing workbench.\n"
        "Runs VBScript (.vbs) and JScript (.js) programs that draw graphs through the object Graf.\n"
        "Scripts read their data with Scripting.FileSystemObject (text files in UTF-8, or UTF-16 with\n"
        "its mark; lines may end in CR LF, LF or CR, and WriteLine ends them with LF) and keep it in\n"
        "Scripting.Dictionary.\n"
        "\n"
        "Exit status of --run: 0 the script ran; 1 a script error (no picture is written then);\n"
        "2 a usage error (a script or function that is not there, a bad option) or a picture that\n"
        "could not be written; 3 the script was stopped by --timeout, SIGINT or SIGTERM."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption run(QStringList{QStringLiteral("run")},
                                 QStringLiteral("Run SCRIPT without a display, then exit. - reads the script from "
                                                "standard input."),
                                 QStringLiteral("SCRIPT"));
    const QCommandLineOption exportPicture(QStringList{QStringLiteral("export")},
                                           QStringLiteral("After the run, write the graph to FILE as a picture; the extension "
                                                          "picks the format: .jpg or .jpeg (JPEG), .png (lossless), "
                                                          ".svg or .pdf (vector)."),
                                           QStringLiteral("FILE"));
    const QCommandLineOption size(QStringList{QStringLiteral("size")},
                                  QStringLiteral("Size of the graph, WIDTHxHEIGHT pixels (default 1280x800)."),
                                  QStringLiteral("WxH"), QStringLiteral("1280x800"));
    const QCommandLineOption call(QStringList{QStringLiteral("call")},
                                  QStringLiteral("After the run, call the script's FUNCTION (may be repeated)."),
                                  QStringLiteral("FUNCTION"));
    const QCommandLineOption timings(QStringList{QStringLiteral("timings")},
                                     QStringLiteral("Print how long each stage took: start-up, set-up, script, rendering, encoding, finish. "
                                                    "With the window: how long it took to be ready with FILE run, "
                                                    "loaded and drawn."));
    const QCommandLineOption timeout(QStringList{QStringLiteral("timeout")},
                                     QStringLiteral("Stop the script after SECONDS (exit status 3)."),
                                     QStringLiteral("SECONDS"));
    const QCommandLineOption language(
        QStringList{QStringLiteral("language")},
        QStringLiteral("Run the script as vbscript or jscript, whatever its extension (a script from standard "
                       "input is VBScript unless told)."),
        QStringLiteral("LANGUAGE"));
    parser.addOptions({run, exportPicture, size, call, timings, timeout, language});
    quillan::ui::addStartupOptions(parser);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A script to open in the window."),
                                 QStringLiteral("[FILE]"));
    parser.process(app);

    if (!parser.isSet(run)) {
        if (noDisplay && !platformChosen && !wantsRegistration(argc, argv)) {
            std::fprintf(stderr,
                         "quillan: the workbench window needs a display, and there is none.\n"
                         "Run a script without a display: quillan --run SCRIPT [--export FILE.jpg]\n"
                         "See quillan --help.\n");
            return 2;
        }
        return runWindow(parser, startup);
    }

    std::string message;
    if (FAILED(qhost::ensureLibrariesRegistered(qhost::programFolder(),
                                                {"Tarvik", "Sumtrel", "JScript", "VBScript", "Lexora", "Scripting"}, &message))) {
        std::fprintf(stderr, "quillan: cannot register the component libraries: %s\n", message.c_str());
        return 2;
    }

    quillan::BatchOptions options;
    options.script = parser.value(run).toStdString();
    options.exportPath = parser.value(exportPicture).toStdString();
    if (!parseSize(parser.value(size), options.size)) {
        std::fprintf(stderr, "quillan: --size wants WIDTHxHEIGHT, for example 1280x800\n");
        return 2;
    }
    for (const QString& name : parser.values(call)) options.calls.push_back(name.toStdString());
    if (parser.isSet(timeout)) {
        bool ok = false;
        options.timeoutSeconds = parser.value(timeout).toDouble(&ok);
        if (!ok || !(options.timeoutSeconds > 0) || options.timeoutSeconds > 1e7) {
            std::fprintf(stderr, "quillan: --timeout wants a number of seconds greater than 0, for example 30\n");
            return 2;
        }
    }
    if (parser.isSet(language)) {
        const QString name = parser.value(language).toLower();
        if (name == QStringLiteral("vbscript") || name == QStringLiteral("vbs"))
            options.language = quillan::BatchOptions::Language::VBScript;
        else if (name == QStringLiteral("jscript") || name == QStringLiteral("js"))
            options.language = quillan::BatchOptions::Language::JScript;
        else {
            std::fprintf(stderr, "quillan: --language wants vbscript or jscript\n");
            return 2;
        }
    }
    options.timings = parser.isSet(timings);
    options.startupMs = startup.nsecsElapsed() / 1e6;
    const int status = quillan::runBatch(options);
    // The run is over: the picture is written, the graph, its scratch file
    // and the script are gone. Taking down the application, Qt and the
    // component libraries one by one would only free memory that the system
    // takes back at once, so the program ends here, once its output is out.
    // Leak checkers look at what is still allocated at the normal end: with
    // them the program ends as usual.
    if (!kLeakChecked) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

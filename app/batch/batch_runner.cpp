#include "app/batch/batch_runner.h"

#include "app/batch/offscreen_graph.h"
#include "app/batch/watchdog.h"
#include "app/core/run_control.h"
#include "app/core/document.h"
#include "app/core/script_ui.h"
#include "graph/graph_export.h"
#include "runtime/dispatch.h"
#include "runtime/text.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cctype>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

namespace quillan {
namespace {

// How a script file is named in messages.
std::string displayName(const std::u16string& file, const std::string& fallback) {
    if (file.empty()) return fallback;
    if (file == u"/dev/stdin") return "<stdin>";
    return qrt::encodeUtf8(file);
}

// Script errors as compilers print them: FILE:LINE:COLUMN: source: description;
// warnings as FILE:LINE: warning: text.
class BatchUi final : public StandardStreamsUi {
public:
    explicit BatchUi(std::string file) : m_file(std::move(file)) {}
    void showScriptError(const ScriptErrorReport& report) override {
        ++m_errors;
        const std::string file = displayName(report.file, "<script text>");
        if (report.line > 0)
            std::fprintf(stderr, "%s:%ld:%ld: %s: %s\n", file.c_str(), report.line, report.position + 1,
                         qrt::encodeUtf8(report.source).c_str(), qrt::encodeUtf8(report.description).c_str());
        else  // no place in the text: the file as a whole
            std::fprintf(stderr, "%s: %s: %s\n", file.c_str(), qrt::encodeUtf8(report.source).c_str(),
                         qrt::encodeUtf8(report.description).c_str());
    }
    void showScriptWarning(const ScriptWarning& warning) override {
        // A loop repeats its warning at every turn: each is told once, and
        // only so many in all.
        const std::string file = displayName(warning.file, "<script text>");
        const std::string key = file + ":" + std::to_string(warning.line) + ":" + qrt::encodeUtf8(warning.text);
        if (!m_warned.insert(key).second) return;
        if (m_warned.size() > kMaxWarnings) {
            if (m_warned.size() == kMaxWarnings + 1)
                std::fprintf(stderr, "%s: warning: more calls did nothing; they are not listed\n", file.c_str());
            return;
        }
        if (warning.line > 0)
            std::fprintf(stderr, "%s:%ld: warning: %s\n", file.c_str(), warning.line,
                         qrt::encodeUtf8(warning.text).c_str());
        else
            std::fprintf(stderr, "%s: warning: %s\n", file.c_str(), qrt::encodeUtf8(warning.text).c_str());
    }
    int errors() const { return m_errors; }

private:
    static constexpr std::size_t kMaxWarnings = 50;
    std::string m_file;
    int m_errors = 0;
    std::set<std::string> m_warned;
};

// Puts a UI in place for the lifetime of this object.
class UiScope {
public:
    explicit UiScope(ScriptUi* ui) : m_previous(setScriptUi(ui)) {}
    ~UiScope() { setScriptUi(m_previous); }
    UiScope(const UiScope&) = delete;
    UiScope& operator=(const UiScope&) = delete;

private:
    ScriptUi* m_previous;
};

bool readable(const std::string& path, std::string& reason) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        reason = "is a folder";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

// Writes the picture whole or not at all; gives up before the old file is
// replaced when cancelled() says so.
template <typename Cancelled>
bool writeFile(const std::string& path, const std::string& bytes, std::string& reason, Cancelled cancelled) {
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            reason = std::strerror(errno);
            return false;
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            reason = std::strerror(errno);
            std::filesystem::remove(temporary);
            return false;
        }
    }
    // A whole picture or none: the old file stays until the new one is complete.
    std::error_code ec;
    if (cancelled()) {
        reason = "the run was stopped";
        std::filesystem::remove(temporary, ec);
        return false;
    }
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        reason = ec.message();
        std::filesystem::remove(temporary);
        return false;
    }
    return true;
}

// The picture format --export writes, chosen by the file's extension in
// any case; -1 for an extension the program does not write.
LONG exportFormat(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return -1;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "jpg" || extension == "jpeg") return GraphPictureJpeg;
    if (extension == "png") return GraphPicturePng;
    if (extension == "svg") return GraphPictureSvg;
    if (extension == "pdf") return GraphPicturePdf;
    return -1;
}

const char* formatName(LONG format) {
    switch (format) {
    case GraphPicturePng: return "PNG";
    case GraphPictureSvg: return "SVG";
    case GraphPicturePdf: return "PDF";
    default: return "JPEG";
    }
}

}  // namespace

// Says why a function given with --call could not be called; nothing when
// the script reported its own error.
void reportCallFailure(const std::string& script, const std::string& name, HRESULT hr) {
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND)
        std::fprintf(stderr, "%s: no function named %s\n", script.c_str(), name.c_str());
    else if (hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_PARAMNOTOPTIONAL)
        std::fprintf(stderr, "%s: %s needs arguments; --call calls only functions without parameters\n",
                     script.c_str(), name.c_str());
    else
        std::fprintf(stderr, "%s: cannot call %s: %s (0x%08X)\n", script.c_str(), name.c_str(),
                     qrt::encodeUtf8(qrt::statusText(hr)).c_str(), static_cast<unsigned>(hr));
}

int runBatch(const BatchOptions& options) {
    std::string reason;
    const bool fromStdin = options.script == "-";
    if (!fromStdin && !readable(options.script, reason)) {
        std::fprintf(stderr, "quillan: cannot read %s: %s\n", options.script.c_str(), reason.c_str());
        return kBatchFailure;
    }
    if (options.size.width() < 1 || options.size.height() < 1 || options.size.width() > 16384 ||
        options.size.height() > 16384) {
        std::fprintf(stderr, "quillan: the picture size must be between 1x1 and 16384x16384\n");
        return kBatchFailure;
    }
    const LONG format = options.exportPath.empty() ? GraphPictureJpeg : exportFormat(options.exportPath);
    if (format < 0) {
        std::fprintf(stderr,
                     "quillan: --export %s: unknown picture format; the file name must end in .jpg, .jpeg, .png, "
                     ".svg or .pdf\n",
                     options.exportPath.c_str());
        return kBatchFailure;
    }
    const std::string scriptName = fromStdin ? std::string("<stdin>") : options.script;
    bool vbscript = false;
    switch (options.language) {
    case BatchOptions::Language::VBScript: vbscript = true; break;
    case BatchOptions::Language::JScript: vbscript = false; break;
    case BatchOptions::Language::ByExtension:
        // A script from a stream has no extension: VBScript unless told.
        vbscript = fromStdin || Graf::isVBScriptPath(qrt::decodeAnsi(options.script));
        break;
    }

    QElapsedTimer total;
    total.start();
    double setupMs = 0, scriptMs = 0, renderMs = 0, encodeMs = 0;
    BatchUi ui(scriptName);
    UiScope scope(&ui);
    runControl().clear();
    BatchWatchdog watchdog(options.timeoutSeconds, kBatchStopped);
    if (!options.exportPath.empty()) watchdog.removeOnForcedExit(options.exportPath + ".part");
    int status = kBatchOk;
    {
        CQuillanDoc document;
        OffscreenGraph graph(options.size);
        if (!graph.create(reason)) {
            std::fprintf(stderr, "quillan: %s\n", reason.c_str());
            return kBatchFailure;
        }
        document.addView(&graph);
        Graf& graf = document.graf();

        setupMs = total.nsecsElapsed() / 1e6;
        QElapsedTimer clock;
        clock.start();
        std::error_code ec;
        std::string path = "/dev/stdin";
        if (!fromStdin) {
            const std::filesystem::path full = std::filesystem::absolute(options.script, ec);
            path = ec ? options.script : full.string();
        }
        graf.loadScript(qrt::decodeAnsi(path), vbscript);
        if (!graf.host()) {
            std::fprintf(stderr, "quillan: the script could not be started\n");
            status = kBatchFailure;
        }

        for (const std::string& name : options.calls) {
            if (status != kBatchOk || ui.errors() > 0 || watchdog.stopped()) break;
            const int before = ui.errors();
            const HRESULT hr = graf.callFunction(qrt::decodeAnsi(name));
            if (FAILED(hr) && ui.errors() == before && !watchdog.stopped()) {
                reportCallFailure(scriptName, name, hr);
                status = kBatchFailure;
            }
        }

        scriptMs = clock.nsecsElapsed() / 1e6;
        // A failed or stopped script leaves the previous picture alone.
        const bool exportNow = status == kBatchOk && ui.errors() == 0 && !watchdog.stopped();
        if (exportNow && !options.exportPath.empty()) {
            clock.restart();
            graph.paint();
            renderMs = clock.nsecsElapsed() / 1e6;
            clock.restart();
            std::string bytes;
            HRESULT hr = S_OK;
            if (format == GraphPictureJpeg) {
                hr = graph.jpegBytes(bytes);
                if (FAILED(hr))
                    std::fprintf(stderr, "quillan: the graph could not be encoded as JPEG (0x%08X)\n",
                                 static_cast<unsigned>(hr));
            } else {
                // PNG, SVG and PDF: the control draws them at the window's size.
                hr = graph.pictureBytes(format, bytes, reason);
                if (FAILED(hr))
                    std::fprintf(stderr, "quillan: the graph could not be written as %s: %s\n", formatName(format),
                                 reason.c_str());
            }
            encodeMs = clock.nsecsElapsed() / 1e6;
            if (FAILED(hr)) {
                status = kBatchFailure;
            } else if (!writeFile(options.exportPath, bytes, reason, [&] { return watchdog.stopped(); })) {
                if (!watchdog.stopped()) {
                    std::fprintf(stderr, "quillan: cannot write %s: %s\n", options.exportPath.c_str(),
                                 reason.c_str());
                    status = kBatchFailure;
                }
            }
        } else if (!options.exportPath.empty() && status == kBatchOk) {
            std::fprintf(stderr, "quillan: %s was not written because the script did not complete\n",
                         options.exportPath.c_str());
        }
        document.graf().closeScript();
        document.removeView(&graph);
    }
    if (options.timings) {
        const double finishMs = total.nsecsElapsed() / 1e6 - setupMs - scriptMs - renderMs - encodeMs;
        std::fprintf(stderr,
                     "quillan: start-up %.1f ms, set-up %.1f ms, script %.1f ms, rendering %.1f ms, encoding %.1f ms, "
                     "finish %.1f ms\n",
                     options.startupMs, setupMs, scriptMs, renderMs, encodeMs, finishMs);
    }
    if (watchdog.stopped()) {
        std::fprintf(stderr, "quillan: the script was stopped: %s\n", watchdog.reason().c_str());
        return kBatchStopped;
    }
    if (status == kBatchOk && ui.errors() > 0) status = kBatchScriptError;
    return status;
}

}  // namespace quillan

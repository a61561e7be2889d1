#include "app/batch/batch_runner.h"

#include "app/batch/offscreen_graph.h"
#include "app/core/document.h"
#include "app/core/script_ui.h"
#include "runtime/text.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace quillan {
namespace {

// Script errors as compilers print them: FILE:LINE:COLUMN: source: description.
class BatchUi final : public StandardStreamsUi {
public:
    explicit BatchUi(std::string file) : m_file(std::move(file)) {}
    void showScriptError(const ScriptErrorReport& report) override {
        ++m_errors;
        std::fprintf(stderr, "%s:%ld:%ld: %s: %s\n", m_file.c_str(), report.line, report.position + 1,
                     qrt::encodeUtf8(report.source).c_str(), qrt::encodeUtf8(report.description).c_str());
    }
    int errors() const { return m_errors; }

private:
    std::string m_file;
    int m_errors = 0;
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

bool writeFile(const std::string& path, const std::string& bytes, std::string& reason) {
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
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        reason = ec.message();
        std::filesystem::remove(temporary);
        return false;
    }
    return true;
}

}  // namespace

int runBatch(const BatchOptions& options) {
    std::string reason;
    if (!readable(options.script, reason)) {
        std::fprintf(stderr, "quillan: cannot read %s: %s\n", options.script.c_str(), reason.c_str());
        return kBatchFailure;
    }
    if (options.size.width() < 1 || options.size.height() < 1 || options.size.width() > 16384 ||
        options.size.height() > 16384) {
        std::fprintf(stderr, "quillan: the picture size must be between 1x1 and 16384x16384\n");
        return kBatchFailure;
    }

    QElapsedTimer total;
    total.start();
    double setupMs = 0, scriptMs = 0, renderMs = 0, encodeMs = 0;
    BatchUi ui(options.script);
    UiScope scope(&ui);
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
        const std::filesystem::path full = std::filesystem::absolute(options.script, ec);
        graf.loadScript(qrt::decodeAnsi(ec ? options.script : full.string()));
        if (!graf.host()) {
            std::fprintf(stderr, "quillan: the script could not be started\n");
            status = kBatchFailure;
        }

        for (const std::string& name : options.calls) {
            if (status == kBatchFailure) break;
            const int before = ui.errors();
            const HRESULT hr = graf.callFunction(qrt::decodeAnsi(name));
            if (FAILED(hr) && ui.errors() == before) {
                std::fprintf(stderr, "%s: no function named %s\n", options.script.c_str(), name.c_str());
                status = kBatchFailure;
            }
        }

        scriptMs = clock.nsecsElapsed() / 1e6;
        if (status != kBatchFailure && !options.exportPath.empty()) {
            clock.restart();
            graph.paint();
            renderMs = clock.nsecsElapsed() / 1e6;
            clock.restart();
            std::string bytes;
            const HRESULT hr = graph.jpegBytes(bytes);
            encodeMs = clock.nsecsElapsed() / 1e6;
            if (FAILED(hr)) {
                std::fprintf(stderr, "quillan: the graph could not be encoded as JPEG (0x%08X)\n",
                             static_cast<unsigned>(hr));
                status = kBatchFailure;
            } else if (!writeFile(options.exportPath, bytes, reason)) {
                std::fprintf(stderr, "quillan: cannot write %s: %s\n", options.exportPath.c_str(), reason.c_str());
                status = kBatchFailure;
            }
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
    if (status == kBatchOk && ui.errors() > 0) status = kBatchScriptError;
    return status;
}

}  // namespace quillan

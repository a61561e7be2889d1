// A headless run of one script: the script runs against a real graph
// control on the off-screen platform, the listed functions are called, and
// the graph can be written as a JPEG, PNG, SVG or PDF picture.
#pragma once

#include <QSize>
#include <string>
#include <vector>

namespace quillan {

struct BatchOptions {
    std::string script;               // a .vbs or .js file; "-" reads standard input
    std::string exportPath;           // empty: no picture; the extension picks the format
    QSize size{1280, 800};
    std::vector<std::string> calls;   // functions called after the run, in order
    bool timings = false;             // print how long each stage took
    double timeoutSeconds = 0;        // > 0: stop the script after this long
    enum class Language { ByExtension, VBScript, JScript } language = Language::ByExtension;
    double startupMs = 0;             // the program's own start before the run, for the timings
};

// Exit codes of a batch run: 1 a script error, 2 a usage error (a script
// or function that is not there, a picture format the program does not
// write) or a picture that cannot be written, 3 the
// script was stopped by the time limit or a signal.
enum BatchStatus { kBatchOk = 0, kBatchScriptError = 1, kBatchFailure = 2, kBatchStopped = 3 };

// Runs the script; messages go to standard error. Needs a QApplication.
int runBatch(const BatchOptions& options);

}  // namespace quillan

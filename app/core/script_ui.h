// How a script error reaches the user. The program shows a modal box; a
// batch run prints to standard error; tests record what they are given.
#pragma once

#include <string>

namespace quillan {

struct ScriptErrorReport {
    std::u16string source;       // "VBScript runtime error"
    std::u16string description;
    long line = 0;               // counted from 1; 0 when unknown
    long position = 0;           // character position within the line

    // The text of the error box: source, a line break, description.
    std::u16string message() const { return source + u"\n" + description; }
};

class ScriptErrorReporter {
public:
    // Shows the error; returns when the user has seen it.
    virtual void showScriptError(const ScriptErrorReport& report) = 0;
    // After the listeners: bring the script editor forward.
    virtual void focusScriptEditor() {}

protected:
    ~ScriptErrorReporter() = default;
};

// The reporter of drivers that have none of their own; never null (the
// default writes to standard error). Returns the previous one.
ScriptErrorReporter* setScriptErrorReporter(ScriptErrorReporter* reporter);
ScriptErrorReporter& scriptErrorReporter();

}  // namespace quillan

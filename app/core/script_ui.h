// How a script reaches the user: its errors, and the message and input boxes
// of VBScript. The program shows modal dialogs; a batch run uses the
// standard streams; tests record what they are given.
#pragma once

#include <optional>
#include <string>

namespace quillan {

struct ScriptErrorReport {
    std::u16string source;       // "VBScript runtime error"
    std::u16string description;
    long line = 0;               // counted from 1; 0 when unknown
    long position = 0;           // character position within the line
    std::u16string file;         // the script file; empty for text from memory

    // The text of the error box: source, a line break, description.
    std::u16string message() const { return source + u"\n" + description; }
};

// A call that the script made and that did nothing because its input was
// unusable (a series that does not exist, arrays of different lengths). The
// call still succeeds, as scripts expect; the user is told.
struct ScriptWarning {
    std::u16string text;  // "AddPointToSeries: there is no series 3 ..."
    std::u16string file;  // the script file; empty for text from memory
    long line = 0;        // counted from 1; 0 when unknown
};

class ScriptUi {
public:
    // Shows the error; returns when the user has seen it.
    virtual void showScriptError(const ScriptErrorReport& report) = 0;
    // Tells of a call that did nothing; by default nobody is told.
    virtual void showScriptWarning(const ScriptWarning&) {}
    // After the error listeners: bring the script editor forward.
    virtual void focusScriptEditor() {}
    // A script starts running (the outermost entry into an engine) and
    // ends; between the two the engine asks queryContinue about every
    // 100 ms, on the script's thread. False stops the script ("Script
    // stopped by the user"). A window keeps itself painted there.
    virtual void scriptRunStarted() {}
    virtual void scriptRunEnded() {}
    virtual bool queryContinue() { return true; }
    // Whether the engines should poll at all: a UI that never stops a run
    // (the batch runner) spares them their polling thread.
    virtual bool wantsPolling() const { return false; }
    // MsgBox: buttons and the result as VBScript defines them (see
    // IScriptDialogs). By default on the standard streams.
    virtual long messageBox(const std::u16string& text, const std::u16string& title, long buttons);
    // InputBox: the text entered, or nothing when cancelled.
    virtual std::optional<std::u16string> inputBox(const std::u16string& prompt, const std::u16string& title,
                                                   const std::u16string& defaultText);

protected:
    ~ScriptUi() = default;
};

// The standard streams: errors as "source: description" on standard error
// (with the line when known), message boxes and prompts on standard output,
// answers from standard input.
class StandardStreamsUi : public ScriptUi {
public:
    void showScriptError(const ScriptErrorReport& report) override;

protected:
    ~StandardStreamsUi() = default;
};

// The UI of drivers that have none of their own; never null (by default the
// standard streams). Returns the previous one.
ScriptUi* setScriptUi(ScriptUi* ui);
ScriptUi& scriptUi();

}  // namespace quillan

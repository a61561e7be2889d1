// How a running script reaches the user of the window: its errors in a
// message box (source, description and line), VBScript's MsgBox and
// InputBox as modal dialogs, and the calls that did nothing in the status
// bar. Every box goes through the message seam.
#pragma once

#include "app/core/script_ui.h"
#include "app/ui/run_guard.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace quillan::ui {

class WindowScriptUi final : public ScriptUi {
public:
    WindowScriptUi(QWidget* parent, std::function<void()> focusEditor, std::function<void(const QString&)> warn);

    void showScriptError(const ScriptErrorReport& report) override;
    void showScriptWarning(const ScriptWarning& warning) override;
    void focusScriptEditor() override;
    long messageBox(const std::u16string& text, const std::u16string& title, long buttons) override;
    std::optional<std::u16string> inputBox(const std::u16string& prompt, const std::u16string& title,
                                           const std::u16string& defaultText) override;
    void scriptRunStarted() override;
    void scriptRunEnded() override;
    bool queryContinue() override;
    bool wantsPolling() const override { return true; }

    // What keeps the window painted and offers Stop during long runs.
    void setRunGuard(RunGuard* guard) { m_runGuard = guard; }

    // The text of a script error's box.
    static QString errorText(const ScriptErrorReport& report);

private:
    QPointer<QWidget> m_parent;
    std::function<void()> m_focusEditor;
    std::function<void(const QString&)> m_warn;
    QPointer<RunGuard> m_runGuard;
};

}  // namespace quillan::ui

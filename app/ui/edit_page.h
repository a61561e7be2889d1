// The "Edit script" page of the right pane: the script editor control under
// the script toolbar (save, check, import).
#pragma once

#include "app/ui/toolbar_layout.h"
#include "app/ui/xparse_wrapper.h"
#include "hosting/control_host.h"

#include <QWidget>

class QAction;
class QToolBar;

namespace quillan::ui {

class CEditPage : public QWidget {
public:
    // Command numbers of the script toolbar.
    static constexpr int SaveScript = 300, CheckScript = 301, ImportFunctions = 302;

    explicit CEditPage(QWidget* parent = nullptr);
    ~CEditPage() override;

    // Creates the editor control; false with a reason when that fails.
    bool createControl(QString& error);
    const CXparse1* editor() const { return m_wrapper.control() ? &m_wrapper : nullptr; }
    // The widget of the editor control that takes the keyboard.
    QWidget* editorWidget() const;
    QToolBar* toolBar() const { return m_toolBar; }
    // The toolbar's command of that number (300 to 302); null for others.
    QAction* command(int id) const;

    // Language of the editor: 1 JScript, 2 VBScript, 0 none yet.
    LONG language() const { return m_language; }
    void setLanguage(LONG language);

    // The user's arrangement of the toolbar (kept in the registry value
    // kToolBarValue): the "Customize Toolbar" dialog, from the toolbar's
    // context menu or a double click on it.
    static constexpr char kToolBarValue[] = "Standard Tool Bar";
    void customizeToolBar();
    const ToolBarLayout& toolBarLayout() const { return m_layout; }

    // Line numbers in the editor's margin, on unless the user turned them
    // off (kept in the registry value kLineNumbersValue, "0" for off): the
    // checkable command, in the toolbar's context menu and the View menu.
    static constexpr char kLineNumbersValue[] = "Editor Line Numbers";
    QAction* lineNumbersCommand() const { return m_lineNumbers; }
    void setLineNumbersShown(bool shown);
    // Completion (on a dot after a known object, and Ctrl+Space) and smart
    // indenting (Enter keeps the indentation, Tab/Shift+Tab on selected
    // lines), each on unless the user turned it off, kept like the line
    // numbers; the completions come from the Assistant's member texts of
    // the editor's language.
    static constexpr char kCompletionValue[] = "Editor Completion";
    static constexpr char kSmartIndentValue[] = "Editor Smart Indent";
    QAction* completionCommand() const { return m_completion; }
    QAction* smartIndentCommand() const { return m_smartIndent; }
    // Where the completions are read (the data folder's assistant.rcc
    // unless told); takes effect at the next setLanguage.
    void setAssistantFile(const QString& file) { m_assistantFile = file; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QAction*> commands() const;
    // A checkable editor setting kept in the registry value key ("0" off).
    QAction* setting(const QString& text, const char* name, const QString& tip, const char* key,
                     HRESULT (CXparse1::*apply)(bool) const);

    QToolBar* m_toolBar;
    qhost::ControlHost* m_host;
    CXparse1 m_wrapper;
    QAction* m_commands[3];
    QAction* m_lineNumbers;
    QAction* m_completion;
    QAction* m_smartIndent;
    QString m_assistantFile;
    ToolBarLayout m_layout;  // as the toolbar shows it
    LONG m_language = 0;
};

}  // namespace quillan::ui

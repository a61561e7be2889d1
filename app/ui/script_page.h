// The "Script functions" page of the left pane: the loaded scripts (full
// paths, or short names), the functions of the current script, and the
// "Edit Script" button.
#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QListWidget;
class QPushButton;

namespace quillan {
class CQuillanDoc;
}

namespace quillan::ui {

class CScriptPage : public QWidget {
public:
    explicit CScriptPage(CQuillanDoc& document, QWidget* parent = nullptr);

    // Refills the scripts list from the document, keeping its selection, and,
    // when a script is selected, the functions list from the current script
    // host, keeping its selection too.
    void refresh();
    // Selects a row of the scripts list without telling anyone.
    void setCurrentScript(int row);
    void clearFunctionSelection();

    // What happens when the user picks a script or a function.
    void setScriptChosen(std::function<void(int)> handler) { m_scriptChosen = std::move(handler); }
    void setFunctionChosen(std::function<void(const QString&)> handler) { m_functionChosen = std::move(handler); }

    QListWidget* scripts() const { return m_scripts; }
    QListWidget* functions() const { return m_functions; }
    QCheckBox* shortNames() const { return m_shortNames; }
    QPushButton* editButton() const { return m_edit; }

private:
    void fillScripts();
    void fillFunctions();

    CQuillanDoc& m_document;
    QListWidget* m_scripts;
    QCheckBox* m_shortNames;
    QListWidget* m_functions;
    QPushButton* m_edit;
    std::function<void(int)> m_scriptChosen;
    std::function<void(const QString&)> m_functionChosen;
};

}  // namespace quillan::ui

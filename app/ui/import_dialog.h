// CImport: the "Functions" dialog that offers the snippets of the current
// script language and returns the chosen one's text for the editor.
#pragma once

#include "runtime/types.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <optional>

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace quillan::ui {

class CImport : public QDialog {
public:
    // Lists names, the snippets of folder (see snippetNames).
    CImport(const QString& folder, const QStringList& names, QWidget* parent = nullptr);

    QListWidget* names() const { return m_names; }
    QPlainTextEdit* description() const { return m_description; }
    QPushButton* selectButton() const { return m_select; }

    // The chosen snippet's whole text, once "Select" closed the dialog with
    // a snippet chosen; nothing otherwise.
    const std::optional<QString>& snippetText() const { return m_result; }

private:
    void showDescription();
    void select();

    QString m_folder;
    QListWidget* m_names;
    QPlainTextEdit* m_description;
    QPushButton* m_select;
    std::optional<QString> m_result;
};

// Shows the snippets of language (1 JScript, 2 VBScript) from the data
// folder's Include folder, through the message seam; returns the text to
// insert into the editor (see snippetInsertText), or nothing when no snippet
// was chosen, the language is neither, or the file could not be read.
// dataFolder empty: the program's data folder.
std::optional<QString> runImportDialog(QWidget* parent, LONG language, const QString& dataFolder = {});

}  // namespace quillan::ui

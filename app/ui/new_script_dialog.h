// CNewScript, the "Create new script" dialog: the user picks a language,
// then a file name in a save dialog; the dialog keeps what was chosen.
#pragma once

#include "runtime/types.h"

#include <QDialog>
#include <QString>

class QListWidget;
class QPushButton;

namespace quillan::ui {

class CNewScript : public QDialog {
public:
    explicit CNewScript(QWidget* parent = nullptr);

    QListWidget* languages() const { return m_languages; }
    QPushButton* createButton() const { return m_create; }

    // The language chosen (1 JScript, 2 VBScript), and the file: its path
    // and title (name without extension); the title is empty when no file
    // was chosen.
    LONG language() const { return m_language; }
    const QString& path() const { return m_path; }
    const QString& title() const { return m_title; }

private:
    // "Create new script" or a double click: asks for the file and closes,
    // whether or not one was chosen.
    void create();

    QListWidget* m_languages;
    QPushButton* m_create;
    LONG m_language = 2;
    QString m_path;
    QString m_title;
};

}  // namespace quillan::ui

// The "Assistant" page of the left pane: the objects a script can use, the
// methods and properties of the chosen one, and a description of the chosen
// member.
#pragma once

#include "app/ui/assistant_text.h"
#include "runtime/types.h"

#include <QWidget>

class QListWidget;
class QTextEdit;

namespace quillan::ui {

class CAssistantPage : public QWidget {
public:
    // Starts with the texts for VBScript.
    explicit CAssistantPage(QWidget* parent = nullptr);

    QListWidget* objects() const { return m_objects; }
    QListWidget* members() const { return m_members; }
    QTextEdit* description() const { return m_description; }

    // Reloads the lists for language (1 JScript, 2 VBScript): the object
    // list is filled anew, the members and the description are cleared. Any
    // other code, or texts that cannot be read, leave the lists empty.
    void setLanguage(LONG language);
    LONG language() const { return m_language; }
    // Where the texts come from (the data folder's assistant.rcc unless
    // told); takes effect at the next setLanguage.
    void setResourceFile(const QString& file) { m_resourceFile = file; }

private:
    void showMembers();
    void showDescription();

    QListWidget* m_objects;
    QListWidget* m_members;
    QTextEdit* m_description;
    QString m_resourceFile;
    LONG m_language = 0;
    AssistantText m_text;
};

}  // namespace quillan::ui

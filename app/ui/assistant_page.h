// The "Assistant" page of the left pane: the objects a script can use, the
// methods and properties of the chosen one, and a description of the chosen
// member.
#pragma once

#include <QWidget>

class QListWidget;
class QTextEdit;

namespace quillan::ui {

class CAssistantPage : public QWidget {
public:
    explicit CAssistantPage(QWidget* parent = nullptr);

    QListWidget* objects() const { return m_objects; }
    QListWidget* members() const { return m_members; }
    QTextEdit* description() const { return m_description; }

private:
    QListWidget* m_objects;
    QListWidget* m_members;
    QTextEdit* m_description;
};

}  // namespace quillan::ui

// A toolbar the user arranges: which of its commands show, in what order.
// The arrangement is kept as text ("301,300,-302": command numbers in order,
// a minus for a hidden one) under the program's settings key, and changed
// in the "Customize Toolbar" dialog.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QAction;
class QListWidget;
class QToolBar;

namespace quillan::ui {

struct ToolBarLayout {
    struct Entry {
        int id = 0;
        bool shown = true;
        friend bool operator==(const Entry&, const Entry&) = default;
    };
    QList<Entry> entries;

    QString toText() const;
    // The layout the text describes for the commands known; commands the
    // text leaves out are added, shown, at the end; unknown or repeated
    // numbers are skipped.
    static ToolBarLayout fromText(const QString& text, const QList<int>& known);
};

// Fills the toolbar with the commands (each action's data is its number).
void applyLayout(QToolBar* toolBar, const QList<QAction*>& commands, const ToolBarLayout& layout);

// The registry value of a toolbar's layout, read and written under the
// settings key; reading gives an empty text when there is none.
QString readToolBarLayout(const char* valueName);
bool writeToolBarLayout(const char* valueName, const QString& text);

// The dialog: the commands with a check box each (shown or not), Move Up,
// Move Down, Reset (the original layout), Help and Close.
class CCustomizeToolBar : public QDialog {
public:
    CCustomizeToolBar(const QList<QAction*>& commands, const ToolBarLayout& layout, const ToolBarLayout& original,
                      QWidget* parent = nullptr);
    ToolBarLayout layout() const;
    QListWidget* list() const { return m_list; }

private:
    void fill(const ToolBarLayout& layout);
    void move(int step);

    QList<QAction*> m_commands;
    ToolBarLayout m_original;
    QListWidget* m_list;
};

}  // namespace quillan::ui

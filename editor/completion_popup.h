// The completion popup of the editor window: opened by typing a dot after
// an object the completion list knows (Graf, Math, a variable assigned
// from CreateObject or new ActiveXObject), or by Ctrl+Space anywhere. It
// narrows as the user types; Enter or Tab inserts the chosen name, Escape
// or a character that cannot be part of a name closes it.
#pragma once

#include "editor/completion.h"

#include <QObject>

#include <functional>
#include <memory>

class QAbstractItemView;
class QCompleter;
class QKeyEvent;
class QPlainTextEdit;
class QStandardItemModel;

namespace lexora {

class CompletionPopup final : public QObject {
public:
    // inserted runs after a completion changed the text.
    CompletionPopup(QPlainTextEdit* edit, std::function<void()> inserted);

    void setList(std::shared_ptr<const CompletionList> list) { m_list = std::move(list); }
    void setEnabled(bool on);
    bool enabled() const { return m_enabled; }
    void setVBScript(bool vbscript) { m_vbscript = vbscript; }

    // Before the window handles a key: true when the key is the popup's
    // (Ctrl+Space opens it; Enter, Tab and Escape belong to it while shown).
    bool takesKey(QKeyEvent& event);
    // After the window handled a key that typed text: a dot opens it.
    void afterTyping(const QString& typed);

    // Opens the popup at the caret. Asked for (Ctrl+Space), a single
    // candidate is inserted at once, and the words that stand anywhere are
    // offered where no member is being typed.
    void open(bool asked);
    void close();
    bool isShown() const;
    QAbstractItemView* view() const;
    // The names the popup offers now, in its order (for tests).
    QStringList shownNames() const;

private:
    void fill(const QList<CompletionEntry>& entries);
    void narrow();
    void insert(const QString& name);

    QPlainTextEdit* m_edit;
    std::function<void()> m_inserted;
    QCompleter* m_completer;
    QStandardItemModel* m_model;
    std::shared_ptr<const CompletionList> m_list;
    bool m_enabled = true;
    bool m_vbscript = true;
    int m_start = -1;  // where the word being completed starts
};

}  // namespace lexora

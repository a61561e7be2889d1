// The bars under the editor's text: FindBar (find, and with Ctrl+H replace,
// with match case, whole word and regular expression) and GoToLineBar. Each
// reports what it did, or why it could not, in its status text.
#pragma once

#include "editor/text_search.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace lexora {

class EditWindow;

class FindBar final : public QWidget {
public:
    // recolour runs after a replace-all.
    FindBar(EditWindow* edit, std::function<void()> recolour, QWidget* parent);

    // Shows the bar with the selection (one line of it) as the text to find.
    void open(bool replace);
    void onClose(std::function<void()> close) { m_close = std::move(close); }

    QString findText() const;
    void setFindText(const QString& text);
    void setReplaceText(const QString& text);
    void setOptions(const SearchOptions& options);
    SearchOptions options() const;
    bool replacing() const;
    QString status() const;

    // Each answers whether it found (or replaced) anything.
    bool findNext(bool backward = false);
    // Replaces the selection when it is a match, then finds the next one.
    bool replaceOne();
    int replaceAllMatches();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::optional<QRegularExpression> pattern();
    void setStatus(const QString& text, bool failed);

    EditWindow* m_edit;
    std::function<void()> m_recolour;
    std::function<void()> m_close;
    QLineEdit* m_find;
    QLineEdit* m_replace;
    QLabel* m_replaceLabel;
    QCheckBox* m_case;
    QCheckBox* m_word;
    QCheckBox* m_regex;
    QToolButton* m_replaceButton;
    QToolButton* m_replaceAllButton;
    QLabel* m_status;
};

class GoToLineBar final : public QWidget {
public:
    GoToLineBar(EditWindow* edit, QWidget* parent);

    void open();
    void onClose(std::function<void()> close) { m_close = std::move(close); }
    // Goes to the line typed; the bar closes when it was one, else it says why.
    bool go(const QString& input);
    QLineEdit* input() const { return m_input; }
    QString status() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    EditWindow* m_edit;
    std::function<void()> m_close;
    QLabel* m_prompt;
    QLineEdit* m_input;
    QLabel* m_status;
};

}  // namespace lexora

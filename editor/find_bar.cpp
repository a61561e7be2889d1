#include "editor/find_bar.h"

#include "editor/edit_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTextBlock>
#include <QToolButton>

namespace lexora {

namespace {

// Compact buttons, so that the bar fits beside a narrow editor.
QToolButton* button(const QString& text, const QString& name, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setObjectName(name);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

QToolButton* closeButton(QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QStringLiteral("close"));
    b->setText(QStringLiteral("\u2715"));
    b->setToolTip(QStringLiteral("Close (Esc)"));
    b->setAutoRaise(true);
    return b;
}

void showStatus(QLabel* label, const QString& text, bool failed) {
    label->setText(text);
    label->setStyleSheet(failed ? QStringLiteral("color: #B00000;") : QString());
}

}  // namespace

FindBar::FindBar(EditWindow* edit, std::function<void()> recolour, QWidget* parent)
    : QWidget(parent), m_edit(edit), m_recolour(std::move(recolour)) {
    setObjectName(QStringLiteral("findBar"));
    setAutoFillBackground(true);
    m_find = new QLineEdit(this);
    m_find->setObjectName(QStringLiteral("findText"));
    m_find->setPlaceholderText(QStringLiteral("Find"));
    m_replace = new QLineEdit(this);
    m_replace->setObjectName(QStringLiteral("replaceText"));
    m_replace->setPlaceholderText(QStringLiteral("Replace with"));
    m_case = new QCheckBox(QStringLiteral("Match &case"), this);
    m_word = new QCheckBox(QStringLiteral("&Whole word"), this);
    m_regex = new QCheckBox(QStringLiteral("Re&gex"), this);
    m_regex->setToolTip(QStringLiteral("Regular expression; \\1 to \\9 in the replacement stand for its groups"));
    m_case->setObjectName(QStringLiteral("matchCase"));
    m_word->setObjectName(QStringLiteral("wholeWord"));
    m_regex->setObjectName(QStringLiteral("regularExpression"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    QToolButton* next = button(QStringLiteral("Next"), QStringLiteral("next"), this);
    QToolButton* previous = button(QStringLiteral("Previous"), QStringLiteral("previous"), this);
    next->setToolTip(QStringLiteral("Find next (F3, Enter)"));
    previous->setToolTip(QStringLiteral("Find previous (Shift+F3, Shift+Enter)"));
    m_replaceButton = button(QStringLiteral("Replace"), QStringLiteral("replace"), this);
    m_replaceAllButton = button(QStringLiteral("Replace All"), QStringLiteral("replaceAll"), this);
    QToolButton* close = closeButton(this);

    // Two rows: finding with its options, then replacing with the status
    // text on the right (the status row stays while the replace fields hide).
    m_find->setMinimumWidth(100);
    m_replace->setMinimumWidth(100);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 3, 4, 3);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    grid->addWidget(new QLabel(QStringLiteral("Find:"), this), 0, 0);
    grid->addWidget(m_find, 0, 1);
    grid->addWidget(next, 0, 2);
    grid->addWidget(previous, 0, 3);
    for (QCheckBox* option : {m_case, m_word, m_regex}) option->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    auto* options = new QHBoxLayout;
    options->addWidget(m_case);
    options->addWidget(m_word);
    options->addWidget(m_regex);
    options->addStretch(1);
    grid->addLayout(options, 0, 4);
    grid->addWidget(close, 0, 5);
    m_replaceLabel = new QLabel(QStringLiteral("Replace:"), this);
    grid->addWidget(m_replaceLabel, 1, 0);
    grid->addWidget(m_replace, 1, 1);
    grid->addWidget(m_replaceButton, 1, 2);
    grid->addWidget(m_replaceAllButton, 1, 3);
    grid->addWidget(m_status, 1, 4, 1, 2);
    m_status->setMinimumHeight(m_replaceButton->sizeHint().height());
    grid->setColumnStretch(1, 1);

    connect(next, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(previous, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(m_replaceButton, &QToolButton::clicked, this, [this] { replaceOne(); });
    connect(m_replaceAllButton, &QToolButton::clicked, this, [this] { replaceAllMatches(); });
    connect(close, &QToolButton::clicked, this, [this] {
        if (m_close) m_close();
    });
    connect(m_find, &QLineEdit::textEdited, this, [this] { m_status->clear(); });
    m_find->installEventFilter(this);
    m_replace->installEventFilter(this);
}

void FindBar::open(bool replace) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_replaceLabel, m_replace, m_replaceButton, m_replaceAllButton})
        w->setVisible(replace);
    const QString selected = m_edit->textCursor().selectedText();
    // A regular expression typed before is kept: the selection is most
    // likely its last match.
    if (!m_regex->isChecked() && !selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        m_find->setText(selected);
    show();
    m_find->setFocus(Qt::ShortcutFocusReason);
    m_find->selectAll();
}

QString FindBar::findText() const { return m_find->text(); }
void FindBar::setFindText(const QString& text) { m_find->setText(text); }
void FindBar::setReplaceText(const QString& text) { m_replace->setText(text); }
bool FindBar::replacing() const { return m_replace->isVisibleTo(this); }
QString FindBar::status() const { return m_status->text(); }

void FindBar::setOptions(const SearchOptions& options) {
    m_case->setChecked(options.matchCase);
    m_word->setChecked(options.wholeWord);
    m_regex->setChecked(options.regularExpression);
}

SearchOptions FindBar::options() const { return {m_case->isChecked(), m_word->isChecked(), m_regex->isChecked()}; }

void FindBar::setStatus(const QString& text, bool failed) { showStatus(m_status, text, failed); }

std::optional<QRegularExpression> FindBar::pattern() {
    QString error;
    std::optional<QRegularExpression> p = searchPattern(m_find->text(), options(), error);
    if (!p) setStatus(error, true);
    return p;
}

bool FindBar::findNext(bool backward) {
    const std::optional<QRegularExpression> p = pattern();
    if (!p) return false;
    const FindResult found = findMatch(m_edit->document(), *p, m_edit->textCursor(), backward);
    if (found.match.isNull()) {
        setStatus(QStringLiteral("\"%1\" was not found.").arg(m_find->text()), true);
        return false;
    }
    m_edit->setTextCursor(found.match);
    m_edit->ensureCursorVisible();
    const int line = found.match.block().blockNumber() + 1;
    if (found.wrapped)
        setStatus(backward ? QStringLiteral("Went on from the end: line %1.").arg(line)
                           : QStringLiteral("Went on from the start: line %1.").arg(line),
                  false);
    else
        setStatus(QStringLiteral("Line %1.").arg(line), false);
    return true;
}

bool FindBar::replaceOne() {
    const std::optional<QRegularExpression> p = pattern();
    if (!p) return false;
    QTextCursor selection = m_edit->textCursor();
    bool replaced = false;
    if (selection.hasSelection()) {
        // Only a selection that is itself a whole match is replaced.
        QTextCursor start(m_edit->document());
        start.setPosition(selection.selectionStart());
        const QTextCursor match = findMatch(m_edit->document(), *p, start, false).match;
        if (!match.isNull() && match.selectionStart() == selection.selectionStart() &&
            match.selectionEnd() == selection.selectionEnd()) {
            const QString text =
                replacementFor(selection.selectedText(), *p, m_replace->text(), m_regex->isChecked());
            selection.insertText(text);
            m_edit->setTextCursor(selection);
            if (m_recolour) m_recolour();
            replaced = true;
        }
    }
    const bool more = findNext(false);
    if (replaced && !more) setStatus(QStringLiteral("Replaced; no more matches."), false);
    return replaced || more;
}

int FindBar::replaceAllMatches() {
    const std::optional<QRegularExpression> p = pattern();
    if (!p) return 0;
    const int count = replaceAll(m_edit->document(), *p, m_replace->text(), m_regex->isChecked());
    if (count == 0) {
        setStatus(QStringLiteral("\"%1\" was not found.").arg(m_find->text()), true);
        return 0;
    }
    if (m_recolour) m_recolour();
    setStatus(count == 1 ? QStringLiteral("1 replacement.") : QStringLiteral("%1 replacements.").arg(count), false);
    return count;
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_find || watched == m_replace) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool shift = key->modifiers() & Qt::ShiftModifier;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (watched == m_replace) replaceOne();
            else findNext(shift);
            return true;
        case Qt::Key_F3:
            findNext(shift);
            return true;
        case Qt::Key_Escape:
            if (m_close) m_close();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

GoToLineBar::GoToLineBar(EditWindow* edit, QWidget* parent) : QWidget(parent), m_edit(edit) {
    setObjectName(QStringLiteral("goToLineBar"));
    setAutoFillBackground(true);
    m_prompt = new QLabel(this);
    m_input = new QLineEdit(this);
    m_input->setObjectName(QStringLiteral("lineNumber"));
    m_input->setMaximumWidth(120);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    QToolButton* goButton = button(QStringLiteral("Go"), QStringLiteral("go"), this);
    QToolButton* close = closeButton(this);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 3, 4, 3);
    row->addWidget(m_prompt);
    row->addWidget(m_input);
    row->addWidget(goButton);
    row->addWidget(m_status, 1);
    row->addWidget(close);
    connect(goButton, &QToolButton::clicked, this, [this] { go(m_input->text()); });
    connect(close, &QToolButton::clicked, this, [this] {
        if (m_close) m_close();
    });
    m_input->installEventFilter(this);
}

void GoToLineBar::open() {
    m_prompt->setText(QStringLiteral("Go to line (1 to %1):").arg(m_edit->document()->blockCount()));
    m_input->setText(QString::number(m_edit->textCursor().blockNumber() + 1));
    m_status->clear();
    show();
    m_input->setFocus(Qt::ShortcutFocusReason);
    m_input->selectAll();
}

QString GoToLineBar::status() const { return m_status->text(); }

bool GoToLineBar::go(const QString& input) {
    QString message;
    if (!goToLine(m_edit, input, message)) {
        showStatus(m_status, message, true);
        m_input->setFocus(Qt::OtherFocusReason);
        m_input->selectAll();
        return false;
    }
    m_status->clear();
    if (m_close) m_close();
    return true;
}

bool GoToLineBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_input && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            go(m_input->text());
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            if (m_close) m_close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace lexora

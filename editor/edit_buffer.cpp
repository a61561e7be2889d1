#include "editor/edit_buffer.h"

#include <QGuiApplication>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace lexora {

QFont editorFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setPointSize(10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

EditBuffer::EditBuffer() = default;

EditBuffer::~EditBuffer() {
    // A window still showing the text must let go of it first.
    if (m_view && m_view->document() == m_document.get()) m_view->setDocument(nullptr);
}

bool EditBuffer::ready() {
    if (m_document) return true;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
    m_document = std::make_unique<QTextDocument>();
    m_document->setDocumentLayout(new QPlainTextDocumentLayout(m_document.get()));
    m_document->setDefaultFont(editorFont());
    m_document->setUndoRedoEnabled(true);
    QObject::connect(m_document.get(), &QTextDocument::contentsChange, m_document.get(),
                     [this](int from, int removed, int added) { contentsChanged(from, removed, added); });
    m_cursor = QTextCursor(m_document.get());
    m_lines.reset({0});
    return true;
}

void EditBuffer::attachView(QPlainTextEdit* view) {
    if (m_view) m_cursor = m_view->textCursor();
    m_view = view;
    if (m_view) m_view->setTextCursor(m_cursor);
}

QString EditBuffer::text() const {
    QString text = m_document->toRawText();
    if (m_lineBreak == QLatin1String("\n")) text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    else text.replace(QChar::ParagraphSeparator, m_lineBreak);
    return text;
}

void EditBuffer::setText(const QString& text) {
    // Lines break at "\r\n", "\r" or "\n"; the text is read back with the
    // break it came with, so a text put and read unchanged compares equal.
    qsizetype br = 0;
    while (br < text.size() && text[br] != QLatin1Char('\r') && text[br] != QLatin1Char('\n')) ++br;
    if (br == text.size() || text[br] == QLatin1Char('\n')) m_lineBreak = QStringLiteral("\n");
    else if (br + 1 < text.size() && text[br + 1] == QLatin1Char('\n')) m_lineBreak = QStringLiteral("\r\n");
    else m_lineBreak = QStringLiteral("\r");

    m_settingText = true;
    m_document->setPlainText(text);
    m_document->setModified(false);
    m_settingText = false;
    m_dirtyLines.clear();
    resetFormats();
    clearErrorMark();
    m_cursor = QTextCursor(m_document.get());
    if (m_view) {
        m_view->setTextCursor(m_cursor);
        m_view->horizontalScrollBar()->setValue(0);
        m_view->verticalScrollBar()->setValue(0);
    }
}

void EditBuffer::setErrorMark(int line, const QString& message) {
    const QTextBlock block = m_document->findBlockByNumber(line);
    if (!block.isValid()) return clearErrorMark();
    m_errorMark = QTextCursor(block);
    m_errorMessage = message;
}

void EditBuffer::clearErrorMark() {
    m_errorMark = QTextCursor();
    m_errorMessage.clear();
}

int EditBuffer::errorLine() const { return m_errorMark.isNull() ? -1 : m_errorMark.block().blockNumber(); }

void EditBuffer::resetFormats() {
    std::vector<int> lengths;
    lengths.reserve(static_cast<std::size_t>(m_document->blockCount()));
    for (QTextBlock b = m_document->begin(); b.isValid(); b = b.next()) lengths.push_back(b.length() - 1);
    m_lines.reset(lengths);
}

QTextCursor EditBuffer::cursor() const { return m_view ? m_view->textCursor() : m_cursor; }

void EditBuffer::setCursor(const QTextCursor& cursor, bool scroll) {
    if (!m_view) {
        m_cursor = cursor;
        return;
    }
    QScrollBar* h = m_view->horizontalScrollBar();
    QScrollBar* v = m_view->verticalScrollBar();
    const int hv = h->value(), vv = v->value();
    m_view->setTextCursor(cursor);
    if (!scroll) {
        h->setValue(hv);
        v->setValue(vv);
    }
}

Selection EditBuffer::selection() const {
    const QTextCursor c = cursor();
    return {c.anchor(), c.position()};
}

void EditBuffer::setSelection(int anchor, int caret) {
    const int last = m_document->characterCount() - 1;
    QTextCursor c(m_document.get());
    c.setPosition(std::clamp(anchor, 0, last));
    c.setPosition(std::clamp(caret, 0, last), QTextCursor::KeepAnchor);
    setCursor(c, false);
}

void EditBuffer::replaceSelection(const QString& text) {
    QTextCursor c = cursor();
    c.insertText(text);
    setCursor(c, true);
}

void EditBuffer::setSelectionCharFormat(const CharFormat& format) {
    const Selection s = selection();
    Batch batch(*this);
    formatRange(s.start(), s.end(), format);
}

int EditBuffer::lineCount() const { return m_document->blockCount(); }

int EditBuffer::lineOfPosition(int position) const { return m_document->findBlock(position).blockNumber(); }

int EditBuffer::lineIndex(int line) const {
    if (line == -1) return cursor().block().position();
    const QTextBlock b = m_document->findBlockByNumber(line);
    return b.isValid() ? b.position() : -1;
}

int EditBuffer::lineLength(int line) const {
    if (line == -1) return cursor().block().length() - 1;
    const QTextBlock b = m_document->findBlockByNumber(line);
    return b.isValid() ? b.length() - 1 : 0;
}

QString EditBuffer::lineText(int line) const {
    const QTextBlock b = m_document->findBlockByNumber(line);
    if (!b.isValid()) return {};
    return b.next().isValid() ? b.text() + QLatin1Char('\n') : b.text();
}

int EditBuffer::firstVisibleLine() const {
    // Lines do not wrap, so the scroll position counts whole lines.
    return m_view ? m_view->verticalScrollBar()->value() : 0;
}

void EditBuffer::scrollLines(int count) {
    if (m_view) m_view->verticalScrollBar()->setValue(m_view->verticalScrollBar()->value() + count);
}

void EditBuffer::textRange(int start, int end, std::string& out) {
    out.clear();
    const int last = m_document->characterCount() - 1;  // the text's final break is no character
    start = std::clamp(start, 0, last);
    end = std::clamp(end, start, last);
    QString text;
    for (QTextBlock b = m_document->findBlock(start); b.isValid() && b.position() < end; b = b.next()) {
        const int pos = b.position();
        const QString line = b.text();
        const int from = std::max(start - pos, 0);
        const int to = std::min<int>(end - pos, static_cast<int>(line.size()));
        if (from < to) text += QStringView(line).mid(from, to - from);
        if (end > pos + line.size()) text += QLatin1Char('\n');
    }
    const QByteArray utf8 = text.toUtf8();
    out.assign(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

void EditBuffer::formatRange(int start, int end, const CharFormat& format) {
    if (start >= end) return;
    if (m_lines.lineCount() != m_document->blockCount()) resetFormats();
    for (QTextBlock b = m_document->findBlock(std::max(start, 0)); b.isValid() && b.position() < end; b = b.next()) {
        const int line = b.blockNumber();
        m_lines.applyFormat(line, start - b.position(), end - b.position(), format, m_styles);
        markDirty(line);
    }
    if (m_batchDepth == 0) flushFormats();
}

void EditBuffer::contentsChanged(int from, int removed, int added) {
    ++m_editCount;
    if (m_settingText) return;
    const long long newTotal = m_document->characterCount();
    const long long oldTotal = m_lines.totalLength();
    bool ok = from >= 0 && removed >= 0 && added >= 0 && from + removed <= oldTotal && from + added <= newTotal &&
              newTotal - added == oldTotal - removed;
    int first = 0, lastNew = 0;
    if (ok) {
        const QTextBlock block = m_document->findBlock(from);
        first = block.blockNumber();
        QTextBlock endBlock = from + added >= newTotal ? m_document->lastBlock() : m_document->findBlock(from + added);
        const int endOffset = from + added >= newTotal ? endBlock.length() - 1 : from + added - endBlock.position();
        lastNew = endBlock.blockNumber();
        std::vector<int> lengths;
        lengths.reserve(static_cast<std::size_t>(lastNew - first + 1));
        for (QTextBlock b = block; b.isValid() && b.blockNumber() <= lastNew; b = b.next())
            lengths.push_back(b.length() - 1);
        ok = block.isValid() && m_lines.edit(first, from - block.position(), removed, lengths, endOffset);
    }
    if (!ok) {
        // Not an edit the lines can follow: show the text plain.
        resetFormats();
        for (QTextBlock b = m_document->begin(); b.isValid(); b = b.next())
            if (QTextLayout* layout = b.layout(); !layout->formats().isEmpty()) layout->clearFormats();
        m_document->markContentsDirty(0, m_document->characterCount());
        return;
    }
    for (int line = first; line <= lastNew; ++line) markDirty(line);
    if (m_batchDepth == 0) flushFormats();
}

void EditBuffer::markDirty(int line) {
    if (m_dirtyLines.empty() || m_dirtyLines.back() != line) m_dirtyLines.push_back(line);
}

const QTextCharFormat& EditBuffer::layoutFormat(int style) {
    const auto index = static_cast<std::size_t>(style);
    if (m_layoutFormats.size() <= index) m_layoutFormats.resize(static_cast<std::size_t>(m_styles.size()));
    QTextCharFormat& f = m_layoutFormats[index];
    if (f.hasProperty(QTextFormat::UserProperty)) return f;
    const CharStyle& s = m_styles.style(style);
    const CharStyle& plain = m_styles.style(0);
    f.setProperty(QTextFormat::UserProperty, style);  // never empty, so built once
    if (!(s.effects & CFE_AUTOCOLOR)) f.setForeground(QColor(s.color & 0xFF, (s.color >> 8) & 0xFF, (s.color >> 16) & 0xFF));
    f.setFontWeight((s.effects & CFE_BOLD) ? QFont::Bold : QFont::Normal);
    f.setFontItalic(s.effects & CFE_ITALIC);
    f.setFontUnderline(s.effects & CFE_UNDERLINE);
    f.setFontStrikeOut(s.effects & CFE_STRIKEOUT);
    if (s.face != plain.face) f.setFontFamilies(QStringList{QString::fromStdString(s.face)});
    if (s.height != plain.height && s.height > 0) f.setFontPointSize(s.height / 20.0);
    return f;
}

void EditBuffer::flushFormats() {
    if (m_batchDepth > 0 || m_dirtyLines.empty()) return;
    std::sort(m_dirtyLines.begin(), m_dirtyLines.end());
    m_dirtyLines.erase(std::unique(m_dirtyLines.begin(), m_dirtyLines.end()), m_dirtyLines.end());
    int from = -1, to = -1;
    QTextBlock block;
    QList<QTextLayout::FormatRange> ranges;
    for (int line : m_dirtyLines) {
        if (line >= m_lines.lineCount()) break;
        block = block.isValid() && block.blockNumber() + 1 == line ? block.next() : m_document->findBlockByNumber(line);
        if (!block.isValid()) break;
        ranges.clear();
        const int length = block.length() - 1;
        for (const StyleRun& r : m_lines.line(line).runs) {
            const int end = std::min(r.end, length);
            if (r.start < end) ranges.append({r.start, end - r.start, layoutFormat(r.style)});
        }
        QTextLayout* layout = block.layout();
        if (!(ranges.isEmpty() && layout->formats().isEmpty())) layout->setFormats(ranges);
        if (from < 0) from = block.position();
        to = block.position() + block.length();
    }
    m_dirtyLines.clear();
    if (from >= 0) m_document->markContentsDirty(from, std::min(to, m_document->characterCount()) - from);
}

}  // namespace lexora

#include "editor/line_margin.h"

#include "editor/edit_window.h"

#include <QHelpEvent>
#include <QPainter>
#include <QTextBlock>
#include <QToolTip>

namespace lexora {

namespace {
constexpr int kDotColumn = 12;  // the error dot's column, left of the numbers
constexpr int kNumberGap = 6;   // between the numbers and the text
}  // namespace

LineMargin::LineMargin(EditWindow* edit) : QWidget(edit), m_edit(edit) {
    setObjectName(QStringLiteral("lineMargin"));
    setMouseTracking(true);
}

QSize LineMargin::sizeHint() const { return {m_edit->marginWidth(), 0}; }

bool LineMargin::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = m_edit->marginToolTip(help->pos().y());
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, this);
        }
        return true;
    }
    return QWidget::event(event);
}

void LineMargin::paintEvent(QPaintEvent* event) { m_edit->paintMargin(event); }

int EditWindow::marginWidth() const {
    const bool error = m_buffer && m_buffer->errorLine() >= 0;
    if (!m_lineNumbers) return error ? kDotColumn : 0;
    int digits = 1;
    for (int n = std::max(1, document()->blockCount()); n >= 10; n /= 10) ++digits;
    return kDotColumn + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits + kNumberGap;
}

void EditWindow::setLineNumbersShown(bool shown) {
    m_lineNumbers = shown;
    updateMargin();
}

void EditWindow::updateMargin() {
    const int width = marginWidth();
    if (viewportMargins().left() != width) setViewportMargins(width, 0, 0, 0);
    const QRect cr = contentsRect();
    m_margin->setGeometry(cr.left(), cr.top(), width, cr.height());
    m_margin->setVisible(width > 0);
    m_margin->update();
}

QRectF EditWindow::errorLineRect() const {
    if (!m_buffer || m_buffer->errorLine() < 0 || document() != m_buffer->document()) return {};
    const QTextBlock block = document()->findBlockByNumber(m_buffer->errorLine());
    if (!block.isValid() || !block.isVisible()) return {};
    return blockBoundingGeometry(block).translated(contentOffset());
}

QString EditWindow::marginToolTip(int y) const {
    const QRectF line = errorLineRect();
    if (line.isEmpty() || y < line.top() || y >= line.bottom()) return {};
    const QString message = m_buffer->errorMessage();
    const QString where = QStringLiteral("Error on line %1").arg(m_buffer->errorLine() + 1);
    return message.isEmpty() ? where : where + QStringLiteral(": ") + message;
}

void EditWindow::paintMargin(QPaintEvent* event) {
    QPainter painter(m_margin);
    painter.fillRect(event->rect(), QColor::fromRgba(kMarginBackground));
    const int current = textCursor().blockNumber();
    const int error = m_buffer && document() == m_buffer->document() ? m_buffer->errorLine() : -1;
    const int numberRight = m_margin->width() - kNumberGap / 2;
    QFont bold = font();
    bold.setBold(true);
    QTextBlock block = firstVisibleBlock();
    double top = blockBoundingGeometry(block).translated(contentOffset()).top();
    while (block.isValid() && top <= event->rect().bottom()) {
        const double height = blockBoundingRect(block).height();
        if (block.isVisible() && top + height >= event->rect().top()) {
            const int number = block.blockNumber();
            const int lineHeight = fontMetrics().height();
            if (m_lineNumbers) {
                painter.setFont(number == current ? bold : font());
                painter.setPen(number == current ? QColor(Qt::black) : QColor::fromRgba(kMarginNumber));
                painter.drawText(QRectF(kDotColumn, top, numberRight - kDotColumn, lineHeight),
                                 Qt::AlignRight | Qt::AlignVCenter, QString::number(number + 1));
            }
            if (number == error) {
                painter.save();
                painter.setRenderHint(QPainter::Antialiasing);
                painter.setPen(Qt::NoPen);
                painter.setBrush(QColor::fromRgba(kErrorDot));
                const double d = std::min(8.0, lineHeight - 4.0);
                painter.drawEllipse(QRectF((kDotColumn - d) / 2.0, top + (lineHeight - d) / 2.0, d, d));
                painter.restore();
            }
        }
        top += height;
        block = block.next();
    }
}

void EditWindow::highlightCurrentLine() {
    QTextEdit::ExtraSelection line;
    line.format.setBackground(QColor::fromRgba(kCurrentLineBackground));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = textCursor();
    line.cursor.clearSelection();
    setExtraSelections({line});
}

}  // namespace lexora

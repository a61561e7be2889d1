// The margin left of the editor's text: the numbers of the lines shown, the
// current line's number in bold, and a red dot on the line of the last
// error whose tooltip is the error's message. EditWindow sizes and paints it.
#pragma once

#include <QWidget>

namespace lexora {

class EditWindow;

class LineMargin final : public QWidget {
public:
    explicit LineMargin(EditWindow* edit);
    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    EditWindow* m_edit;
};

// The margin's colours; the current line's background is a pale tint that
// leaves coloured text (the red of an error line too) readable.
inline constexpr QRgb kMarginBackground = 0xFFF0F0F0;
inline constexpr QRgb kMarginNumber = 0xFF8C8C8C;
inline constexpr QRgb kCurrentLineBackground = 0xFFFFFBE0;
inline constexpr QRgb kErrorDot = 0xFFE0201C;

}  // namespace lexora

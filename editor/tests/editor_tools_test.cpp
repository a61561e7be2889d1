// The editor's tools as a user reaches them with the keyboard: the line
// number margin and the current line, the last error's mark, the find and
// replace bar (Ctrl+F, Ctrl+H, F3, Shift+F3) and going to a line (Ctrl+G).
// With QUILLAN_EDITOR_SHOTS=FOLDER the tests keep pictures of what they show.
#include "editor/tests/lexora_fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QToolTip>

#include <optional>

namespace lexora_test {
namespace {

class EditorTools : public LexoraTest {
protected:
    QWidget* bar(const char* name) { return e->host.controlWindow()->findChild<QWidget*>(QLatin1String(name)); }
    QLineEdit* field(const char* barName, const char* name) {
        return bar(barName)->findChild<QLineEdit*>(QLatin1String(name));
    }
    QString status(const char* barName) { return bar(barName)->findChild<QLabel*>(QStringLiteral("status"))->text(); }
    void check(const char* name, bool on) {
        bar("findBar")->findChild<QCheckBox*>(QLatin1String(name))->setChecked(on);
    }
    void press(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, mods);
        QCoreApplication::sendEvent(target, &event);
    }
    // Opens the find bar and looks for text with Enter.
    void find(const QString& text) {
        e->key(Qt::Key_F, Qt::ControlModifier);
        field("findBar", "findText")->setText(text);
        press(field("findBar", "findText"), Qt::Key_Return);
    }
    QString selected() const { return e->edit->textCursor().selectedText(); }
    int selectionLine() const { return e->edit->textCursor().blockNumber(); }
    QWidget* margin() const { return e->edit->findChild<QWidget*>(QStringLiteral("lineMargin")); }
    // A picture of the editor, with the tooltip shown (a window of its own)
    // drawn in at tipAt.
    void shot(const char* name, std::optional<QPoint> tipAt = std::nullopt) {
        const QString folder = qEnvironmentVariable("QUILLAN_EDITOR_SHOTS");
        if (folder.isEmpty()) return;
        QDir().mkpath(folder);
        QPixmap picture = e->host.grab();
        if (tipAt) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (!w->inherits("QTipLabel") || !w->isVisible()) continue;
                QPainter painter(&picture);
                painter.drawPixmap(*tipAt, w->grab());
            }
        }
        picture.save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
    }

    void SetUp() override {
        LexoraTest::SetUp();
        e = std::make_unique<HostedEditor>(640, 360);
    }
    void TearDown() override { e.reset(); }
    std::unique_ptr<HostedEditor> e;
};

QString lines(int count) {
    QStringList out;
    for (int i = 1; i <= count; ++i) out << QStringLiteral("x = %1").arg(i);
    return out.join(QLatin1Char('\n'));
}

TEST_F(EditorTools, MarginGrowsWithTheLineCountAndCanBeTurnedOff) {
    e->setScript(lines(9).toStdU16String().c_str(), 2);
    QWidget* m = margin();
    ASSERT_NE(m, nullptr);
    const int nine = m->width();
    e->setScript(lines(10).toStdU16String().c_str(), 2);
    const int ten = m->width();
    e->setScript(lines(1000).toStdU16String().c_str(), 2);
    const int thousand = m->width();
    EXPECT_GT(nine, 0);
    EXPECT_GT(ten, nine);
    EXPECT_GT(thousand, ten);
    EXPECT_EQ(thousand - ten, 2 * (ten - nine));  // one digit's width per digit
    // The text starts right of the margin.
    EXPECT_EQ(e->edit->viewport()->geometry().left(), m->geometry().right() + 1);

    EXPECT_EQ(get(e->parse.get(), u"LineNumbers").value.boolVal, VARIANT_TRUE);
    ASSERT_EQ(put(e->parse.get(), u"LineNumbers", false).hr, S_OK);
    EXPECT_EQ(get(e->parse.get(), u"LineNumbers").value.boolVal, VARIANT_FALSE);
    EXPECT_FALSE(m->isVisible());
    EXPECT_EQ(e->edit->viewport()->geometry().left(), e->edit->contentsRect().left());
    ASSERT_EQ(put(e->parse.get(), u"LineNumbers", true).hr, S_OK);
    EXPECT_EQ(m->width(), thousand);
}

TEST_F(EditorTools, CurrentLineIsTintedWithoutHidingTheErrorColour) {
    e->setScript(u"Dim a\nx = 1\ny = 2", 2);
    ASSERT_EQ(call(e->parse.get(), u"ColorizeLine", {Variant(1), Variant(0), Variant(255)}).hr, S_OK);
    const QList<QTextEdit::ExtraSelection> extra = e->edit->extraSelections();
    ASSERT_EQ(extra.size(), 1);
    EXPECT_EQ(extra[0].cursor.blockNumber(), 1);
    EXPECT_TRUE(extra[0].format.property(QTextFormat::FullWidthSelection).toBool());
    EXPECT_FALSE(extra[0].format.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_EQ(e->colours(1), "RRRRR");
    e->setCaret(0);
    EXPECT_EQ(e->edit->extraSelections().at(0).cursor.blockNumber(), 0);
    shot("margin_current_line");
}

TEST_F(EditorTools, ErrorMarkShowsItsMessageAndGoesWithANewParse) {
    e->setScript(u"Dim a\nx = \ny = 2", 2);
    ASSERT_EQ(call(e->parse.get(), u"ColorizeLine", {Variant(1), Variant(0), Variant(255)}).hr, S_OK);
    ASSERT_EQ(call(e->parse.get(), u"MarkError", {Variant(1), Variant(u"Syntax error")}).hr, S_OK);
    QWidget* m = margin();
    const QRect line1 = e->edit->cursorRect(e->edit->textCursor());
    auto tipAt = [&](int y) {
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, QPoint(4, y), m->mapToGlobal(QPoint(4, y)));
        QCoreApplication::sendEvent(m, &help);
        // A margin without a tip for the place leaves the event unaccepted.
        return help.isAccepted() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt(line1.center().y()), QStringLiteral("Error on line 2: Syntax error"));
    EXPECT_EQ(tipAt(line1.center().y() + line1.height()), QString());
    tipAt(line1.center().y());
    shot("error_marker", margin()->mapTo(&e->host, QPoint(10, line1.bottom() + 4)));

    // The mark follows its line when lines are added above it.
    e->setCaret(0);
    e->key(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_EQ(tipAt(line1.center().y() + line1.height()), QStringLiteral("Error on line 3: Syntax error"));
    ASSERT_EQ(call(e->parse.get(), u"Parse").hr, S_OK);
    EXPECT_EQ(tipAt(line1.center().y() + line1.height()), QString());
    // A line that is not there marks nothing.
    EXPECT_EQ(call(e->parse.get(), u"MarkError", {Variant(99), Variant(u"x")}).hr, S_OK);
    QToolTip::hideText();
}

TEST_F(EditorTools, FindNextAndPreviousFollowTheOptionsAndWrap) {
    e->setScript(u"Dim Total\ntotal = totals\nTOTAL = 1", 2);
    find(QStringLiteral("total"));
    EXPECT_TRUE(bar("findBar")->isVisible());
    EXPECT_EQ(selected(), QStringLiteral("Total"));
    EXPECT_EQ(selectionLine(), 0);
    shot("find_bar");
    e->key(Qt::Key_F3);
    EXPECT_EQ(selectionLine(), 1);
    EXPECT_EQ(e->edit->textCursor().selectionStart(), 10);
    e->key(Qt::Key_F3);
    EXPECT_EQ(e->edit->textCursor().selectionStart(), 18);
    e->key(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(e->edit->textCursor().selectionStart(), 10);

    check("matchCase", true);
    check("wholeWord", true);
    e->key(Qt::Key_F3);  // "totals" is no whole word match; round the end to line 2 again
    EXPECT_EQ(e->edit->textCursor().selectionStart(), 10);
    EXPECT_TRUE(status("findBar").startsWith(QStringLiteral("Went on from the start"))) << status("findBar").toStdString();

    check("matchCase", false);
    press(field("findBar", "findText"), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(selected(), QStringLiteral("Total"));
    press(field("findBar", "findText"), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(selected(), QStringLiteral("TOTAL"));

    find(QStringLiteral("missing"));
    EXPECT_EQ(status("findBar"), QStringLiteral("\"missing\" was not found."));
    EXPECT_EQ(selected(), QStringLiteral("TOTAL"));  // the selection stays

    check("regularExpression", true);
    find(QStringLiteral("to(tal"));
    EXPECT_TRUE(status("findBar").startsWith(QStringLiteral("Invalid regular expression"))) << status("findBar").toStdString();
    find(QStringLiteral("t\\w+l"));
    EXPECT_EQ(selected(), QStringLiteral("Total"));

    press(field("findBar", "findText"), Qt::Key_Escape);
    EXPECT_FALSE(bar("findBar")->isVisible());
    EXPECT_TRUE(e->edit->hasFocus() || !e->host.isActiveWindow());

    // F3 with the bar closed finds again and shows the bar for its status.
    e->key(Qt::Key_F3);
    EXPECT_TRUE(bar("findBar")->isVisible());
    EXPECT_EQ(selected(), QStringLiteral("total"));
    EXPECT_EQ(field("findBar", "findText")->text(), QStringLiteral("t\\w+l"));
    // Ctrl+F keeps a regular expression, and takes the selection for plain text.
    e->key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(field("findBar", "findText")->text(), QStringLiteral("t\\w+l"));
    check("regularExpression", false);
    e->key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(field("findBar", "findText")->text(), QStringLiteral("total"));
}

TEST_F(EditorTools, ReplaceOneThenAllAsASingleUndoStep) {
    const std::u16string text = u"x = f(1, 2)\ny = f(3, 4)\nz = f(5, 6)";
    e->setScript(text.c_str(), 2);
    e->key(Qt::Key_H, Qt::ControlModifier);
    ASSERT_TRUE(bar("findBar")->isVisible());
    EXPECT_TRUE(field("findBar", "replaceText")->isVisible());
    check("regularExpression", true);
    field("findBar", "findText")->setText(QStringLiteral("f\\((\\d), (\\d)\\)"));
    field("findBar", "replaceText")->setText(QStringLiteral("g(\\2, \\1)"));
    // The first Replace only finds; the next replaces what it found.
    press(field("findBar", "replaceText"), Qt::Key_Return);
    EXPECT_EQ(selected(), QStringLiteral("f(1, 2)"));
    press(field("findBar", "replaceText"), Qt::Key_Return);
    EXPECT_EQ(e->script(), u"x = g(2, 1)\ny = f(3, 4)\nz = f(5, 6)");
    EXPECT_EQ(selected(), QStringLiteral("f(3, 4)"));
    shot("replace");

    auto* all = bar("findBar")->findChild<QAbstractButton*>(QStringLiteral("replaceAll"));
    all->click();
    EXPECT_EQ(e->script(), u"x = g(2, 1)\ny = g(4, 3)\nz = g(6, 5)");
    EXPECT_EQ(status("findBar"), QStringLiteral("2 replacements."));
    EXPECT_EQ(e->compareState(), 1);
    e->key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e->script(), u"x = g(2, 1)\ny = f(3, 4)\nz = f(5, 6)");
    e->key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e->script(), text);

    all->click();
    all->click();  // nothing left to replace
    EXPECT_EQ(status("findBar"), QString::fromUtf16(u"\"f\\((\\d), (\\d)\\)\" was not found."));
}

TEST_F(EditorTools, GoToLineTakesOnlyLinesOfTheText) {
    e->setScript(lines(40).toStdU16String().c_str(), 2);
    e->key(Qt::Key_G, Qt::ControlModifier);
    ASSERT_TRUE(bar("goToLineBar")->isVisible());
    QLineEdit* input = field("goToLineBar", "lineNumber");
    EXPECT_EQ(input->text(), QStringLiteral("1"));
    for (const char* bad : {"0", "41", "-3", "ten", ""}) {
        input->setText(QLatin1String(bad));
        press(input, Qt::Key_Return);
        EXPECT_EQ(selectionLine(), 0) << bad;
        EXPECT_TRUE(bar("goToLineBar")->isVisible()) << bad;
        EXPECT_TRUE(status("goToLineBar").endsWith(QStringLiteral("enter one from 1 to 40."))) << bad;
    }
    shot("go_to_line_refused");
    input->setText(QStringLiteral(" 40 "));
    press(input, Qt::Key_Return);
    EXPECT_EQ(selectionLine(), 39);
    EXPECT_EQ(e->edit->textCursor().positionInBlock(), 0);
    EXPECT_FALSE(bar("goToLineBar")->isVisible());
    EXPECT_TRUE(e->edit->cursorRect().intersects(e->edit->viewport()->rect()));

    e->key(Qt::Key_G, Qt::ControlModifier);
    input->setText(QStringLiteral("12"));
    shot("go_to_line");
    press(input, Qt::Key_Return);
    EXPECT_EQ(selectionLine(), 11);
}

}  // namespace
}  // namespace lexora_test

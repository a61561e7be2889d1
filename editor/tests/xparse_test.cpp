// The editor control through IDispatch and the keyboard: the script and its
// comparison, colouring by Parse, ScriptAdd and typing, the function search
// and the line highlight.
#include "editor/tests/lexora_fixture.h"

namespace lexora_test {
namespace {

TEST_F(LexoraTest, CompareStateFollowsPutGetAndTyping) {
    HostedEditor e;
    EXPECT_EQ(e.compareState(), 0);  // both null
    ASSERT_EQ(put(e.parse.get(), u"Script", u"Dim a\nDim b").hr, S_OK);
    EXPECT_EQ(e.compareState(), 0);  // before any read: the text put, with itself
    EXPECT_EQ(e.script(), u"Dim a\nDim b");
    EXPECT_EQ(e.compareState(), 0);
    e.setCaret(5);
    e.type("x");
    EXPECT_EQ(e.compareState(), 0);  // the text is read only by get Script
    EXPECT_EQ(e.script(), u"Dim ax\nDim b");
    EXPECT_EQ(e.compareState(), 1);
    // Same length, other text.
    e.key(Qt::Key_Backspace);
    e.type("y");
    EXPECT_EQ(e.script(), u"Dim ay\nDim b");
    ASSERT_EQ(put(e.parse.get(), u"Script", u"Dim ax\nDim b").hr, S_OK);
    EXPECT_EQ(e.script(), u"Dim ax\nDim b");
    EXPECT_EQ(e.compareState(), 0);

    // Text with other line breaks reads back as it was given.
    for (const char16_t* text : {u"a\r\nb\r\n", u"a\rb", u""}) {
        ASSERT_EQ(put(e.parse.get(), u"Script", text).hr, S_OK);
        EXPECT_EQ(e.script(), text);
        EXPECT_EQ(e.compareState(), 0);
    }
    // A null script clears the editor and both texts.
    Variant null;
    null.vt = VT_BSTR;
    null.bstrVal = nullptr;
    ASSERT_EQ(put(e.parse.get(), u"Script", null).hr, S_OK);
    EXPECT_EQ(e.edit->document()->characterCount(), 1);
    EXPECT_EQ(e.compareState(), 0);
    EXPECT_EQ(e.parse->CompareState(nullptr), E_POINTER);
}

TEST_F(LexoraTest, ScriptAddAppendsALineAndColoursEverything) {
    HostedEditor e;
    ASSERT_EQ(put(e.parse.get(), u"TypeScript", 2).hr, S_OK);
    ASSERT_EQ(call(e.parse.get(), u"ScriptAdd", {Variant(u"Dim x ' note")}).hr, S_OK);
    EXPECT_EQ(e.script(), u"\nDim x ' note\n");
    EXPECT_EQ(e.colours(1), "KKK...CCCCCC");
    EXPECT_EQ(e.compareState(), 1);
    ASSERT_EQ(call(e.parse.get(), u"ScriptAdd", {Variant(u"End")}).hr, S_OK);
    EXPECT_EQ(e.script(), u"\nDim x ' note\n\nEnd\n");
    EXPECT_EQ(e.colours(3), "KKK");
}

TEST_F(LexoraTest, ParseColoursWithoutEditingTheText) {
    HostedEditor e;
    ASSERT_EQ(put(e.parse.get(), u"TypeScript", 2).hr, S_OK);
    ASSERT_EQ(put(e.parse.get(), u"Script", u"Sub Draw()\n  x = \"a\" ' c\nEnd Sub").hr, S_OK);
    EXPECT_EQ(e.colours(0), "..........");  // no colouring before Parse
    EXPECT_FALSE(e.edit->document()->isModified());
    e.setCaret(3);
    ASSERT_EQ(call(e.parse.get(), u"Parse").hr, S_OK);
    EXPECT_EQ(e.colours(0), "KKK.......");
    EXPECT_EQ(e.colours(1), "......SSS.CCC");
    EXPECT_EQ(e.colours(2), "KKK.KKK");
    EXPECT_EQ(e.edit->textCursor().position(), 3);  // the selection is kept
    // Colours are no edits: nothing to undo, nothing modified.
    EXPECT_FALSE(e.edit->document()->isUndoAvailable());
    EXPECT_FALSE(e.edit->document()->isModified());

    // The same language again keeps its lists; another switches.
    ASSERT_EQ(put(e.parse.get(), u"TypeScript", 2).hr, S_OK);
    ASSERT_EQ(put(e.parse.get(), u"TypeScript", 1).hr, S_OK);
    EXPECT_EQ(get(e.parse.get(), u"TypeScript").value.lVal, 1);
    ASSERT_EQ(call(e.parse.get(), u"Parse").hr, S_OK);
    EXPECT_EQ(e.colours(0), "..........");  // "Sub" is no JScript word
}

TEST_F(LexoraTest, CharactersAfterMultiByteTextGetTheirColours) {
    HostedEditor e;
    e.setScript(u"var \u00e9 = \"\u00fc\U0001F600\" // \u00e0\nreturn", 1);
    EXPECT_EQ(e.colours(0), "KKK.....SSSSS.CCCC");
    EXPECT_EQ(e.colours(1), "KKKKKK");
}

TEST_F(LexoraTest, ANewWindowResetsTypeScriptButNotTheLists) {
    auto parse = make<IxParse>();
    ASSERT_TRUE(parse);
    ASSERT_EQ(put(parse.get(), u"TypeScript", 2).hr, S_OK);
    ASSERT_EQ(put(parse.get(), u"Script", u"dim x").hr, S_OK);  // kept without a window
    qhost::ControlHost host;
    host.resize(300, 200);
    host.show();
    ASSERT_EQ(host.attach(parse.get()), S_OK);
    EXPECT_EQ(get(parse.get(), u"TypeScript").value.lVal, 0);
    auto* edit = host.controlWindow()->findChild<QPlainTextEdit*>();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->toPlainText(), "dim x");
    ASSERT_EQ(call(parse.get(), u"Parse").hr, S_OK);
    EXPECT_EQ(shownColours(edit, 0), "KKK..");
    host.release();
    EXPECT_EQ(qrt::bstrView(get(parse.get(), u"Script").value.bstrVal), u"dim x");
    // A window made again shows the same text in the same colours.
    ASSERT_EQ(host.attach(parse.get()), S_OK);
    edit = host.controlWindow()->findChild<QPlainTextEdit*>();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->toPlainText(), "dim x");
    EXPECT_EQ(shownColours(edit, 0), "KKK..");
    host.release();
}

TEST_F(LexoraTest, TypingRecoloursOnlyTheCaretsLine) {
    HostedEditor e;
    ASSERT_EQ(put(e.parse.get(), u"TypeScript", 2).hr, S_OK);
    ASSERT_EQ(put(e.parse.get(), u"Script", u"Dim a\nDim b").hr, S_OK);
    e.setCaret(5);
    e.type(" '");
    EXPECT_EQ(e.edit->toPlainText(), "Dim a '\nDim b");
    EXPECT_EQ(e.colours(0), "KKK...C");  // with its line feed, a comment
    EXPECT_EQ(e.colours(1), ".....");
    // Typing is ordinary editing: it can be undone, and the undo recolours.
    EXPECT_TRUE(e.edit->document()->isUndoAvailable());
    e.key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e.edit->toPlainText(), "Dim a\nDim b");
    EXPECT_EQ(e.colours(0), "KKK..");
}

TEST_F(LexoraTest, TabInsertsATabAndLeavesTheColours) {
    HostedEditor e;
    e.setScript(u"Dim x\nx = 1", 2);
    QTextCursor c = e.edit->textCursor();
    c.setPosition(2);
    c.setPosition(1, QTextCursor::KeepAnchor);  // "i", selected backwards
    e.edit->setTextCursor(c);
    e.key(Qt::Key_Tab, Qt::NoModifier, "\t");
    EXPECT_EQ(e.edit->toPlainText(), "Di\tm x\nx = 1");
    EXPECT_EQ(e.edit->textCursor().position(), 3);
    EXPECT_EQ(e.colours(0), "KKKK..");  // not recoloured ("Di" and "m" are no words)
}

TEST_F(LexoraTest, EditingKeysKeepWorking) {
    HostedEditor e;
    e.setScript(u"Dim a", 2);
    e.setCaret(3);
    e.key(Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_EQ(e.edit->toPlainText(), "Dim\n a");
    EXPECT_EQ(e.colours(0), "KKK");
    e.key(Qt::Key_Return, Qt::ShiftModifier, "\r");  // a new line too, never a break inside one
    EXPECT_EQ(e.edit->document()->blockCount(), 3);
    e.key(Qt::Key_Backspace);
    e.key(Qt::Key_Backspace);
    EXPECT_EQ(e.edit->toPlainText(), "Dim a");
    EXPECT_EQ(e.colours(0), "KKK..");
    e.setCaret(0);
    e.key(Qt::Key_Delete);
    EXPECT_EQ(e.edit->toPlainText(), "im a");
    EXPECT_EQ(e.colours(0), "KK..");  // the colours move with their characters

    // Select all and copy keep the selection; paste inserts.
    e.key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(e.edit->textCursor().selectedText(), "im a");
    e.key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(e.edit->textCursor().selectedText(), "im a");
    e.key(Qt::Key_End, Qt::ControlModifier);
    e.key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(e.edit->toPlainText(), "im aim a");
    e.key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e.edit->toPlainText(), "im a");
}

// A script of 200 lines with definitions at the given lines.
std::u16string scriptWith(std::initializer_list<std::pair<int, const char16_t*>> lines) {
    std::u16string text;
    for (int i = 0; i < 200; ++i) {
        const char16_t* line = u"x = x + 1";
        for (const auto& [at, content] : lines)
            if (at == i) line = content;
        text += line;
        text += u"\n";
    }
    return text;
}

TEST_F(LexoraTest, GoToFunctionScrollsTheDefinitionToTheTop) {
    HostedEditor e(400, 160);
    const std::u16string text =
        scriptWith({{40, u"sub drawing()"}, {60, u"  sub draw()"}, {90, u"Sub Draw(x)"}, {120, u"Function Fit"}});
    e.setScript(text.c_str(), 2);
    e.setCaret(7);
    struct Step {
        const char16_t* prefix;
        const char16_t* name;
        int top;
    };
    for (const Step& s : {Step{u"Sub", u"Draw", 60}, Step{u"function", u"FIT", 120}, Step{u"Sub", u"Drawing", 40},
                          Step{u"Sub", u"Missing", 40}, Step{u"Sub", u"", 40}, Step{u"Class", u"Draw", 40}}) {
        ASSERT_EQ(call(e.parse.get(), u"GoToFunction", {Variant(s.prefix), Variant(s.name)}).hr, S_OK);
        EXPECT_EQ(e.firstVisibleLine(), s.top) << qrt::encodeUtf8(s.prefix) << " " << qrt::encodeUtf8(s.name);
    }
    EXPECT_EQ(e.edit->textCursor().position(), 7);  // the caret stays
}

TEST_F(LexoraTest, ColorizeLineHighlightsAndShowsTheLine) {
    HostedEditor e(400, 160);
    e.setScript(scriptWith({{0, u"Dim a"}}).c_str(), 2);
    e.setCaret(300);
    e.edit->verticalScrollBar()->setValue(50);
    ASSERT_EQ(call(e.parse.get(), u"ColorizeLine", {Variant(0), Variant(3), Variant(255)}).hr, S_OK);
    EXPECT_EQ(e.colours(0), "RRRRR");
    const auto ranges = e.edit->document()->firstBlock().layout()->formats();
    ASSERT_FALSE(ranges.isEmpty());
    EXPECT_TRUE(ranges.first().format.fontItalic());
    EXPECT_TRUE(ranges.first().format.fontUnderline());
    EXPECT_FALSE(ranges.first().format.fontStrikeOut());
    EXPECT_EQ(e.edit->textCursor().position(), 0);
    EXPECT_FALSE(e.edit->textCursor().hasSelection());
    EXPECT_EQ(e.firstVisibleLine(), 0);
    EXPECT_TRUE(e.edit->hasFocus() || !QApplication::focusWidget());
    EXPECT_FALSE(e.edit->document()->isUndoAvailable());

    // Typing on the line recolours it to the language's colours.
    e.setCaret(5);
    e.type(" ");
    EXPECT_EQ(e.colours(0), "KKK...");
    EXPECT_EQ(e.parse->ColorizeLine(200, 0, 255), S_OK);  // the empty last line
    EXPECT_EQ(e.parse->ColorizeLine(201, 0, 255), E_INVALIDARG);
    EXPECT_EQ(e.parse->ColorizeLine(-1, 0, 255), E_INVALIDARG);
}

}  // namespace
}  // namespace lexora_test

namespace lexora_test {
namespace {

// The pixels of one character as the window shows it.
QRect characterRect(QPlainTextEdit* edit, int position) {
    QTextCursor c(edit->document());
    c.setPosition(position);
    const QRect left = edit->cursorRect(c);
    c.setPosition(position + 1);
    const QRect right = edit->cursorRect(c);
    return QRect(QPoint(left.left(), left.top()), QPoint(right.left() - 1, left.bottom()));
}

// The colour of the darkest pixel in a rectangle: the ink of a glyph.
QColor ink(const QImage& image, const QRect& r) {
    QColor darkest(Qt::white);
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.lightness() < darkest.lightness()) darkest = c;
        }
    return darkest;
}

TEST_F(LexoraTest, TheWindowShowsEachCharacterInItsColour) {
    struct Sample {
        LONG language;
        const char16_t* script;
        const char* file;
        std::vector<std::pair<int, QColor>> expected;  // character position, colour
    };
    const QColor blue(0, 0, 255), dark(100, 0, 0), purple(200, 0, 100), green(0, 170, 0), violet(55, 0, 200);
    const Sample samples[] = {
        {2, u"' \u00e9t\u00e9 comment\nDim s\ns = \"\u00fc\" & Left(s, 1)\nSet o = Nothing", "vbscript.png",
         {{2, green}, {12, green}, {14, blue}, {25, violet}, {26, violet}, {30, dark}, {32, dark}, {41, blue}, {45, Qt::black}}},
        {1, u"var d = new Date(); // \u00e0\nreturn Math.abs(x) + 'str';", "jscript.png",
         {{0, blue}, {8, blue}, {12, purple}, {20, green}, {25, blue}, {32, dark}, {46, violet}, {4, Qt::black}}},
    };
    for (const Sample& s : samples) {
        HostedEditor e(420, 120);
        e.setScript(s.script, s.language);
        e.setCaret(e.edit->document()->characterCount() - 1);  // the caret away from the samples
        QApplication::processEvents();
        const QImage image = e.edit->viewport()->grab().toImage();
        if (const char* folder = std::getenv("QUILLAN_SAVE_PICTURES"))
            image.save(QString::fromUtf8(folder) + "/" + s.file);
        for (const auto& [position, colour] : s.expected) {
            const QColor seen = ink(image, characterRect(e.edit, position));
            EXPECT_LT(std::abs(seen.red() - colour.red()) + std::abs(seen.green() - colour.green()) +
                          std::abs(seen.blue() - colour.blue()),
                      90)
                << s.file << " character " << position << ": " << seen.name().toStdString() << " for "
                << colour.name().toStdString();
        }
    }
}

}  // namespace
}  // namespace lexora_test

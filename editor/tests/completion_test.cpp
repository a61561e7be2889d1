// Completion and smart indenting: what the completion list offers where,
// the popup as the user types into it, and Enter, Tab and Shift+Tab on
// indented lines, each one step of undo.
// With QUILLAN_EDITOR_SHOTS=FOLDER the popup's tests keep a picture.
#include "editor/completion.h"
#include "editor/tests/lexora_fixture.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QPainter>

namespace lexora_test {
namespace {

using lexora::CompletionList;
using lexora::completionContext;
using lexora::completionObject;

const char16_t* const kList =
    u"Graf\tAddPointToSeries\tGraf.AddPointToSeries series, x, y\tAppends a point.\n"
    u"Graf\tCreateSeries\tGraf.CreateSeries\tAdds a series.\n"
    u"Graf\tColorRGB\tcolor = Graf.ColorRGB(red, green, blue)\t\n"
    u"Graf\tAddFrame\tGraf.AddFrame name\n"
    u"Scripting.Dictionary\tAdd\td.Add key, item\n"
    u"Scripting.Dictionary\tExists\tfound = d.Exists(key)\n"
    u"RegExp\tPattern\tre.Pattern = text\n"
    u"\tCreateObject\tSet o = CreateObject(progid)\n"
    u"\tCos\tCos(x)\n"
    u"\tCStr\tCStr(v)\n"
    u"\tGraf\t\t\n"
    u"malformed line without a tab\n";

CompletionList list() {
    CompletionList l;
    l.setText(QString::fromStdU16String(kList));
    return l;
}

QStringList names(const QList<lexora::CompletionEntry>& entries) {
    QStringList out;
    for (const auto& e : entries) out << e.name;
    return out;
}

TEST(CompletionList, MembersAndGlobalWordsSortedWithoutRegardToCase) {
    const CompletionList l = list();
    EXPECT_EQ(names(l.membersOf(QStringLiteral("graf"))),
              (QStringList{"AddFrame", "AddPointToSeries", "ColorRGB", "CreateSeries"}));
    EXPECT_EQ(names(l.globals()), (QStringList{"Cos", "CreateObject", "CStr", "Graf"}));
    EXPECT_TRUE(l.membersOf(QStringLiteral("Nothing.Here")).isEmpty());
    EXPECT_TRUE(l.hasObject(QStringLiteral("scripting.dictionary")));
    EXPECT_FALSE(l.hasObject(QString()));
}

TEST(CompletionContext, TheWordBeforeTheCaretAndWhatStandsBeforeItsDot) {
    const QString text = QStringLiteral("x = Graf.AddP");
    auto c = completionContext(text, text.size());
    EXPECT_TRUE(c.member);
    EXPECT_EQ(c.receiver, QStringLiteral("Graf"));
    EXPECT_EQ(c.prefix, QStringLiteral("AddP"));
    EXPECT_EQ(c.start, 9);
    c = completionContext(QStringLiteral("Graf. Add"), 9);  // spaces after the dot
    EXPECT_TRUE(c.member);
    EXPECT_EQ(c.receiver, QStringLiteral("Graf"));
    c = completionContext(QStringLiteral("y = Co"), 6);
    EXPECT_FALSE(c.member);
    EXPECT_EQ(c.prefix, QStringLiteral("Co"));
    c = completionContext(QStringLiteral(".x"), 99);  // past the end: the end
    EXPECT_TRUE(c.member);
    EXPECT_TRUE(c.receiver.isEmpty());
    EXPECT_EQ(c.prefix, QStringLiteral("x"));
}

TEST(CompletionObject, KnownObjectsAndWhatVariablesWereMadeFrom) {
    const CompletionList l = list();
    const QString vbs = QStringLiteral(
        "Set d = createobject( \"Scripting.Dictionary\" )\n"
        "Set re = New RegExp\n"
        "o.e = CreateObject(\"Scripting.Dictionary\")\n"
        "Set u = CreateObject(\"Unknown.Thing\")\n");
    EXPECT_EQ(completionObject(l, vbs, vbs.size(), QStringLiteral("GRAF"), true), QStringLiteral("GRAF"));
    EXPECT_EQ(completionObject(l, vbs, vbs.size(), QStringLiteral("D"), true), QStringLiteral("Scripting.Dictionary"));
    EXPECT_EQ(completionObject(l, vbs, vbs.size(), QStringLiteral("re"), true), QStringLiteral("RegExp"));
    EXPECT_TRUE(completionObject(l, vbs, vbs.size(), QStringLiteral("e"), true).isEmpty()) << "a member, not e";
    EXPECT_TRUE(completionObject(l, vbs, vbs.size(), QStringLiteral("u"), true).isEmpty());
    EXPECT_TRUE(completionObject(l, vbs, vbs.size(), QStringLiteral("nobody"), true).isEmpty());

    // JScript: case matters; the last assignment before the caret counts,
    // else the first after it.
    const QString js = QStringLiteral(
        "var a = new ActiveXObject('Scripting.Dictionary');\n"
        "a = new RegExp(\"x\");\n"
        "var b = new ActiveXObject(\"Scripting.Dictionary\");\n");
    const int afterFirst = static_cast<int>(js.indexOf(QLatin1Char('\n'))) + 1;
    EXPECT_EQ(completionObject(l, js, afterFirst, QStringLiteral("a"), false), QStringLiteral("Scripting.Dictionary"));
    EXPECT_EQ(completionObject(l, js, js.size(), QStringLiteral("a"), false), QStringLiteral("RegExp"));
    EXPECT_EQ(completionObject(l, js, 0, QStringLiteral("b"), false), QStringLiteral("Scripting.Dictionary"));
    EXPECT_TRUE(completionObject(l, js, js.size(), QStringLiteral("A"), false).isEmpty());
}

class CompletionPopupTest : public LexoraTest {
protected:
    void SetUp() override {
        LexoraTest::SetUp();
        e = std::make_unique<HostedEditor>(640, 360);
        ASSERT_EQ(put(e->parse.get(), u"CompletionList", kList).hr, S_OK);
    }
    void TearDown() override { e.reset(); }

    // The popup is a window of its own, the completer's.
    QAbstractItemView* popup() const {
        auto* completer = e->edit->findChild<QCompleter*>();
        return completer ? completer->popup() : nullptr;
    }
    bool shown() const { return popup() && popup()->isVisible(); }
    QStringList offered() const {
        QStringList out;
        if (!shown()) return out;
        for (int row = 0; row < popup()->model()->rowCount(); ++row)
            out << popup()->model()->index(row, 0).data().toString();
        return out;
    }
    // Keys the popup takes while it is shown (the completer reads them there).
    void popupKey(int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(popup(), &press);
    }
    void caretToEnd() { e->setCaret(e->edit->document()->characterCount() - 1); }
    void shot(const char* name) {
        const QString folder = qEnvironmentVariable("QUILLAN_EDITOR_SHOTS");
        if (folder.isEmpty() || !shown()) return;
        QDir().mkpath(folder);
        QPixmap picture = e->host.grab();
        QPainter painter(&picture);
        const QPoint at = e->host.mapFromGlobal(popup()->window()->mapToGlobal(QPoint(0, 0)));
        painter.drawPixmap(at, popup()->window()->grab());
        painter.end();
        picture.save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
    }
    std::unique_ptr<HostedEditor> e;
};

TEST_F(CompletionPopupTest, ADotAfterGrafOffersItsMembersWithTheirArgumentsAndTypingNarrows) {
    e->setScript(u"Graf.CreateSeries\n", 2);
    caretToEnd();
    e->type(QStringLiteral("Graf."));
    ASSERT_TRUE(shown());
    EXPECT_EQ(offered(), (QStringList{"AddFrame name", "AddPointToSeries series, x, y", "ColorRGB(red, green, blue)",
                                      "CreateSeries"}));
    shot("completion_graf");
    e->type(QStringLiteral("addp"));
    EXPECT_EQ(offered(), (QStringList{"AddPointToSeries series, x, y"}));
    popupKey(Qt::Key_Return);
    EXPECT_FALSE(shown());
    EXPECT_EQ(e->script(), u"Graf.CreateSeries\nGraf.AddPointToSeries");
    // One undo takes the completion back to what was typed.
    e->key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e->script(), u"Graf.CreateSeries\nGraf.addp");
}

TEST_F(CompletionPopupTest, VariablesMadeByCreateObjectOfferTheirObjectsMembers) {
    e->setScript(u"Set dict = CreateObject(\"Scripting.Dictionary\")\n", 2);
    caretToEnd();
    e->type(QStringLiteral("dict."));
    EXPECT_EQ(offered(), (QStringList{"Add key, item", "Exists(key)"}));
    popupKey(Qt::Key_Escape);
    EXPECT_FALSE(shown());
    // A word nobody knows, or a character that ends the name, closes it.
    e->type(QStringLiteral("\nother."));
    EXPECT_FALSE(shown());
    e->type(QStringLiteral("\ndict.E"));
    EXPECT_TRUE(shown());
    e->type(QStringLiteral("("));
    EXPECT_FALSE(shown());
    e->type(QStringLiteral("\ndict.Q"));
    EXPECT_FALSE(shown()) << "nothing starts with Q";
}

TEST_F(CompletionPopupTest, CtrlSpaceOffersTheWordsAndInsertsASingleCandidateAtOnce) {
    e->setScript(u"x = ", 2);
    caretToEnd();
    e->key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(offered(), (QStringList{"Cos(x)", "CreateObject(progid)", "CStr(v)", "Graf"}));
    popupKey(Qt::Key_Escape);
    e->type(QStringLiteral("cs"));
    e->key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_FALSE(shown());
    EXPECT_EQ(e->script(), u"x = CStr");
    // After a dot Ctrl+Space offers the members again.
    e->type(QStringLiteral(" + Graf.Co"));
    e->key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(e->script(), u"x = CStr + Graf.ColorRGB");
}

TEST_F(CompletionPopupTest, TurnedOffNothingIsOfferedAndJScriptMatchesItsOwnAssignments) {
    ASSERT_EQ(put(e->parse.get(), u"Completion", false).hr, S_OK);
    EXPECT_EQ(get(e->parse.get(), u"Completion").value.boolVal, VARIANT_FALSE);
    e->setScript(u"", 2);
    e->type(QStringLiteral("Graf."));
    e->key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_FALSE(shown());
    ASSERT_EQ(put(e->parse.get(), u"Completion", true).hr, S_OK);
    e->setScript(u"var d = new ActiveXObject(\"Scripting.Dictionary\");\nvar D = 1;\n", 1);
    caretToEnd();
    e->type(QStringLiteral("D."));
    EXPECT_FALSE(shown()) << "JScript names differ by case";
    e->type(QStringLiteral("\nd."));
    EXPECT_EQ(offered().size(), 2);
    // The list given is the list read back.
    EXPECT_EQ(std::u16string(qrt::bstrView(get(e->parse.get(), u"CompletionList").value.bstrVal)), kList);
}

class SmartIndent : public LexoraTest {
protected:
    void SetUp() override {
        LexoraTest::SetUp();
        e = std::make_unique<HostedEditor>();
    }
    void TearDown() override { e.reset(); }
    void select(int from, int to) {
        QTextCursor c = e->edit->textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        e->edit->setTextCursor(c);
    }
    std::unique_ptr<HostedEditor> e;
};

TEST_F(SmartIndent, EnterKeepsTheIndentationBeforeTheCaretInOneUndoStep) {
    e->setScript(u"If a Then\n\t  b = 1", 2);
    e->setCaret(static_cast<int>(std::u16string_view(u"If a Then\n\t  b = 1").size()));
    e->key(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    e->type(QStringLiteral("c"));
    EXPECT_EQ(e->script(), u"If a Then\n\t  b = 1\n\t  c");
    e->key(Qt::Key_Z, Qt::ControlModifier);
    e->key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e->script(), u"If a Then\n\t  b = 1");
    // In the middle of the indentation only what stands before the caret.
    e->setCaret(11);
    e->key(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_EQ(e->script(), u"If a Then\n\t\n\t  b = 1");
}

TEST_F(SmartIndent, TabAndShiftTabIndentAndOutdentTheSelectedLines) {
    e->setScript(u"a = 1\n\nb = 2\n    c = 3\nd = 4", 2);
    // From inside line 0 to the very start of line 3: lines 0 to 2.
    select(2, static_cast<int>(std::u16string_view(u"a = 1\n\nb = 2\n").size()));
    e->key(Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    EXPECT_EQ(e->script(), u"\ta = 1\n\n\tb = 2\n    c = 3\nd = 4") << "empty lines stay empty";
    EXPECT_EQ(e->edit->textCursor().selectedText(), QStringLiteral("\ta = 1\u2029\u2029\tb = 2"));
    e->key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e->script(), u"a = 1\n\nb = 2\n    c = 3\nd = 4") << "one undo step";
    // Shift+Tab takes a tab or up to four spaces, on the caret's line too.
    select(0, static_cast<int>(e->script().size()));
    e->key(Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    e->key(Qt::Key_Backtab, Qt::ShiftModifier);
    e->key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(e->script(), u"a = 1\n\nb = 2\nc = 3\nd = 4");
    e->setCaret(0);
    e->key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(e->script(), u"a = 1\n\nb = 2\nc = 3\nd = 4");
    // A selection within one line keeps the plain Tab: a tab at its end.
    select(0, 1);
    e->key(Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    EXPECT_EQ(e->script().substr(0, 6), u"a\t = 1");
}

TEST_F(SmartIndent, TurnedOffEnterStartsAnEmptyLineAndTabTypesATab) {
    ASSERT_EQ(put(e->parse.get(), u"SmartIndent", false).hr, S_OK);
    e->setScript(u"\tx = 1\n\ty = 2", 2);
    e->setCaret(6);
    e->key(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_EQ(e->script(), u"\tx = 1\n\n\ty = 2");
    select(0, static_cast<int>(e->script().size()));
    e->key(Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    EXPECT_EQ(e->script(), u"\tx = 1\n\n\ty = 2\t");
}

}  // namespace
}  // namespace lexora_test

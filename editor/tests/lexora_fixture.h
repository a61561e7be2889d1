// Reaches the editor library as its users do: registered in the test's
// registry, created by class identifier or ProgID, called through IDispatch
// (or through the interface where only the program goes), and typed into
// with key events.
#pragma once

#include "editor/lexora.h"
#include "hosting/control_host.h"
#include "runtime/activation.h"
#include "runtime/bstr.h"
#include "runtime/connection.h"
#include "runtime/text.h"
#include "runtime/object.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/testing/test_support.h"

#include "runtime/testing/qt_application.h"
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace lexora_test {

using qrt::ComPtr;
using qrt::Variant;
using qtest::call;
using qtest::get;
using qtest::put;
using qtest::refTo;

using qtest::ensureApplication;

// One letter per character of a line as the editor shows it: '.' plain,
// K keyword blue, F function dark red, O object purple, C comment green,
// S string, R red, ? any other colour.
inline std::string shownColours(QPlainTextEdit* edit, int line) {
    const QTextBlock block = edit->document()->findBlockByNumber(line);
    std::string mask(static_cast<std::size_t>(block.length() - 1), '.');
    for (const QTextLayout::FormatRange& r : block.layout()->formats()) {
        if (!r.format.hasProperty(QTextFormat::ForegroundBrush)) continue;
        const QRgb c = r.format.foreground().color().rgb() & 0xFFFFFF;
        char letter = '?';
        switch (c) {
        case 0x000000: letter = '.'; break;
        case 0x0000FF: letter = 'K'; break;
        case 0x640000: letter = 'F'; break;
        case 0xC80064: letter = 'O'; break;
        case 0x00AA00: letter = 'C'; break;
        case 0x3700C8: letter = 'S'; break;
        case 0xFF0000: letter = 'R'; break;
        default: break;
        }
        for (int i = r.start; i < r.start + r.length && i < static_cast<int>(mask.size()); ++i) mask[i] = letter;
    }
    return mask;
}

// A control shown in a host widget of the given size.
class HostedEditor {
public:
    explicit HostedEditor(int width = 480, int height = 320) {
        host.resize(width, height);
        host.show();
        EXPECT_EQ(host.create(CLSID_xParse), S_OK) << qrt::lastActivationError();
        parse = ComPtr<IUnknown>(host.control()).as<IxParse>();
        edit = host.controlWindow() ? host.controlWindow()->findChild<QPlainTextEdit*>() : nullptr;
        EXPECT_NE(edit, nullptr);
    }
    ~HostedEditor() { host.release(); }

    void setScript(const char16_t* text, LONG language) {
        ASSERT_EQ(put(parse.get(), u"TypeScript", static_cast<int>(language)).hr, S_OK);
        ASSERT_EQ(put(parse.get(), u"Script", text).hr, S_OK);
        ASSERT_EQ(call(parse.get(), u"Parse").hr, S_OK);
    }
    std::u16string script() {
        auto r = get(parse.get(), u"Script");
        EXPECT_EQ(r.hr, S_OK);
        return std::u16string(qrt::bstrView(r.value.bstrVal));
    }
    LONG compareState() {
        Variant state(-5);
        EXPECT_EQ(call(parse.get(), u"CompareState", {refTo(&state)}).hr, S_OK);
        return state.lVal;
    }
    void key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = QString()) {
        QKeyEvent press(QEvent::KeyPress, key, mods, text);
        QCoreApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, key, mods, text);
        QCoreApplication::sendEvent(edit, &release);
    }
    void type(const QString& text) {
        for (QChar c : text) key(c.toUpper().unicode(), Qt::NoModifier, QString(c));
    }
    void setCaret(int position) {
        QTextCursor c = edit->textCursor();
        c.setPosition(position);
        edit->setTextCursor(c);
    }
    int firstVisibleLine() const { return edit->verticalScrollBar()->value(); }
    std::string colours(int line) const { return shownColours(edit, line); }

    qhost::ControlHost host;
    ComPtr<IxParse> parse;
    QPlainTextEdit* edit = nullptr;
};

class LexoraTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        qtest::registerLibrary("Lexora");
    }

    template <class T>
    ComPtr<T> make() {
        ComPtr<T> object;
        EXPECT_EQ(qrt::createObject(u"Lexora.xParse", object), S_OK) << qrt::lastActivationError();
        return object;
    }
};

}  // namespace lexora_test

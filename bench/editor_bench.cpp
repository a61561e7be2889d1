// The editor control with a 10,000-line VBScript: Parse (every line
// coloured, then the window repainted) and one typed character (the caret's
// line recoloured, then the window repainted).
#include "bench/bench_support.h"
#include "editor/lexora.h"
#include "hosting/control_host.h"
#include "runtime/bstr.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct Editor {
    std::unique_ptr<qhost::ControlHost> host;
    qrt::ComPtr<IxParse> parse;
    QPlainTextEdit* edit = nullptr;
};

std::u16string script(int lines) {
    static const char16_t* const kBody[] = {
        u"' Computes a value from the two arguments",
        u"Function F(x, y)",
        u"  Dim s : s = \"text \" & CStr(x)",
        u"  If x > y Then s = Left(s, 3) Else s = UCase(s)",
        u"  F = Len(s) + Abs(y) ' trailing comment",
        u"End Function",
    };
    std::u16string text;
    for (int i = 0; i < lines; ++i) {
        text += kBody[i % 6];
        text += u"\n";
    }
    return text;
}

Editor& editor() {
    static Editor e = [] {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "editor_bench";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        bench::useLibraries({"Lexora"});
        Editor made;
        made.host = std::make_unique<qhost::ControlHost>();
        made.host->resize(800, 600);
        made.host->show();
        if (FAILED(made.host->create(CLSID_xParse))) std::exit(1);
        made.parse = qrt::ComPtr<IUnknown>(made.host->control()).as<IxParse>();
        made.edit = made.host->controlWindow()->findChild<QPlainTextEdit*>();
        made.parse->put_TypeScript(ScriptLanguageVBScript);
        qrt::Bstr text(script(10'000));
        made.parse->put_Script(text.get());
        QApplication::processEvents();
        return made;
    }();
    return e;
}

void BM_Parse_10000Lines(benchmark::State& state) {
    Editor& e = editor();
    for (auto _ : state) {
        e.parse->Parse();
        e.edit->viewport()->repaint();
    }
}
BENCHMARK(BM_Parse_10000Lines)->Unit(benchmark::kMillisecond);

// Parse right after the script was put, as a host loads a file: every line
// is coloured for the first time.
void BM_ParseFreshScript_10000Lines(benchmark::State& state) {
    Editor& e = editor();
    qrt::Bstr text(script(10'000));
    for (auto _ : state) {
        state.PauseTiming();
        e.parse->put_Script(text.get());
        state.ResumeTiming();
        e.parse->Parse();
        e.edit->viewport()->repaint();
    }
}
BENCHMARK(BM_ParseFreshScript_10000Lines)->Unit(benchmark::kMillisecond);

void key(QWidget* target, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &release);
}

// A character typed in the middle of line 5,000 (a line with a string and
// a comment); Backspace restores the line outside the timing.
void BM_TypeCharacter_10000Lines(benchmark::State& state) {
    Editor& e = editor();
    e.parse->Parse();
    QTextCursor c(e.edit->document()->findBlockByNumber(5000 + 2));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 12);
    e.edit->setTextCursor(c);
    e.edit->centerCursor();
    e.edit->viewport()->repaint();
    for (auto _ : state) {
        key(e.edit, Qt::Key_X, QStringLiteral("x"));
        e.edit->viewport()->repaint();
        state.PauseTiming();
        key(e.edit, Qt::Key_Backspace, QString());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TypeCharacter_10000Lines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

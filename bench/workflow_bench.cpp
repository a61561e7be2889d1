// The window's script workflow with a 10,000-line VBScript: selecting it in
// the loaded-scripts list (the run, the lists refreshed, the text loaded into
// the editor and coloured) and one Check of it (the editor's text run from
// memory, recoloured, the lists refreshed). Check also reports the script's
// own run of the same text alone, so the Check's cost beyond the run shows.
#include "app/ui/edit_page.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/left_pane.h"
#include "app/ui/main_frame.h"
#include "app/ui/message_box.h"
#include "app/ui/script_page.h"
#include "bench/bench_support.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

// 10,000 lines: functions of six lines each, and a body that draws.
std::string longScript(int variant) {
    std::string text = "' A long script (" + std::to_string(variant) + ")\n";
    text += "Graf.CreateSeries\nDim i\nFor i = 0 To 200\n  Graf.AddPointToSeries 0, i, Sin(i / 20)\nNext\n";
    int lines = 6;
    for (int f = 0; lines + 6 <= 10000; ++f, lines += 6) {
        const std::string name = "F" + std::to_string(f);
        text += "Function " + name + "(x)\n";
        text += "  Dim s : s = \"text \" & CStr(x) ' a comment\n";
        text += "  If x > 3 Then s = Left(s, 3) Else s = UCase(s)\n";
        text += "  " + name + " = Len(s) + Abs(x)\n";
        text += "End Function\n";
        text += "\n";
    }
    while (lines++ < 10000) text += "' end\n";
    return text;
}

struct Workbench {
    std::unique_ptr<quillan::ui::CMainFrame> frame;
    std::string folder;
};

Workbench& workbench() {
    static Workbench w = [] {
        static int argc = 1;
        static char name[] = "workflow_bench";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
        bench::useLibraries({"Tarvik", "Sumtrel", "JScript", "VBScript", "Lexora", "Scripting"});
        Workbench made;
        char dir[] = "/tmp/quillan-workflow-XXXXXX";
        made.folder = mkdtemp(dir) ? dir : "/tmp";
        made.frame = std::make_unique<quillan::ui::CMainFrame>();
        QString error;
        if (!made.frame->createControls(error)) {
            std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
            std::exit(1);
        }
        made.frame->resize(1280, 800);
        made.frame->show();
        QApplication::processEvents();
        for (int v = 0; v < 2; ++v) {
            const std::string path = made.folder + "/long" + std::to_string(v) + ".vbs";
            std::ofstream(path) << longScript(v);
            made.frame->openScript(QString::fromStdString(path));
        }
        QApplication::processEvents();
        return made;
    }();
    return w;
}

// Alternates between the two long scripts, so each selection does the work.
void SelectLongScript(benchmark::State& state) {
    Workbench& w = workbench();
    quillan::ui::CScriptPage* scripts = w.frame->leftPane()->scriptPage();
    int next = 0;
    for (auto _ : state) {
        scripts->scripts()->setCurrentRow(next);  // as a click in the list does
        QApplication::processEvents();           // the window repainted
        next = 1 - next;
    }
    state.counters["lines"] = 10000;
}
BENCHMARK(SelectLongScript)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void CheckLongScript(benchmark::State& state) {
    Workbench& w = workbench();
    for (auto _ : state) {
        w.frame->checkScript();
        QApplication::processEvents();
    }
}
BENCHMARK(CheckLongScript)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The script's own run of the editor's text, as Check starts it.
void RunLongScriptAlone(benchmark::State& state) {
    Workbench& w = workbench();
    const std::u16string text = w.frame->formView()->editor()->script();
    for (auto _ : state) w.frame->document().graf().loadMemScript(text);
}
BENCHMARK(RunLongScriptAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();

#include "app/core/script_ui.h"

#include "runtime/text.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace quillan {
namespace {

// MsgBox button sets and the codes of their buttons.
struct ButtonSet {
    const char* prompt;
    long answers[3];      // codes in the order of the choices
    const char* keys[3];  // what the user types for each
};
constexpr ButtonSet kButtonSets[] = {
    {"", {1, 0, 0}, {"", nullptr, nullptr}},                                   // OK
    {"[O]K / [C]ancel", {1, 2, 0}, {"o", "c", nullptr}},                       // OK, Cancel
    {"[A]bort / [R]etry / [I]gnore", {3, 4, 5}, {"a", "r", "i"}},              // Abort, Retry, Ignore
    {"[Y]es / [N]o / [C]ancel", {6, 7, 2}, {"y", "n", "c"}},                   // Yes, No, Cancel
    {"[Y]es / [N]o", {6, 7, 0}, {"y", "n", nullptr}},                          // Yes, No
    {"[R]etry / [C]ancel", {4, 2, 0}, {"r", "c", nullptr}},                    // Retry, Cancel
};

class DefaultUi final : public StandardStreamsUi {};

ScriptUi*& current() {
    static DefaultUi standard;
    static ScriptUi* ui = &standard;
    return ui;
}

bool readLine(std::string& line) {
    if (!std::cin.good()) return false;
    return static_cast<bool>(std::getline(std::cin, line));
}

}  // namespace

long ScriptUi::messageBox(const std::u16string& text, const std::u16string& title, long buttons) {
    const ButtonSet& set = kButtonSets[(buttons & 0xF) < 6 ? (buttons & 0xF) : 0];
    const long defaultIndex = (buttons >> 8) & 0x3;  // vbDefaultButton1..3
    if (!title.empty()) std::printf("%s: ", qrt::encodeUtf8(title).c_str());
    std::printf("%s\n", qrt::encodeUtf8(text).c_str());
    long answer = set.answers[0];
    if (set.keys[1]) {
        answer = set.answers[defaultIndex < 3 && set.keys[defaultIndex] ? defaultIndex : 0];
        std::printf("%s? ", set.prompt);
        std::fflush(stdout);
        std::string line;
        if (readLine(line) && !line.empty()) {
            const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
            for (int i = 0; i < 3; ++i) {
                if (set.keys[i] && set.keys[i][0] == key) answer = set.answers[i];
            }
        }
    }
    std::fflush(stdout);
    return answer;
}

std::optional<std::u16string> ScriptUi::inputBox(const std::u16string& prompt, const std::u16string& title,
                                                 const std::u16string& defaultText) {
    if (!title.empty()) std::printf("%s: ", qrt::encodeUtf8(title).c_str());
    std::printf("%s", qrt::encodeUtf8(prompt).c_str());
    if (!defaultText.empty()) std::printf(" [%s]", qrt::encodeUtf8(defaultText).c_str());
    std::printf(" ");
    std::fflush(stdout);
    std::string line;
    // Without an answer (no input, or its end) the default is taken.
    if (!readLine(line)) {
        std::printf("\n");
        return defaultText;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return defaultText;
    return qrt::decodeAnsi(line);
}

void StandardStreamsUi::showScriptError(const ScriptErrorReport& report) {
    const std::string text = qrt::encodeUtf8(report.source) + ": " + qrt::encodeUtf8(report.description);
    if (report.line > 0) std::fprintf(stderr, "line %ld: %s\n", report.line, text.c_str());
    else std::fprintf(stderr, "%s\n", text.c_str());
}

ScriptUi* setScriptUi(ScriptUi* ui) {
    ScriptUi* previous = current();
    if (ui) current() = ui;
    return previous;
}

ScriptUi& scriptUi() { return *current(); }

}  // namespace quillan

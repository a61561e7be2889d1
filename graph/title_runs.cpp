#include "graph/title_runs.h"

#include "runtime/text.h"

#include <string>

namespace tarvik {

namespace {

void applyStyleCode(std::string_view code, TitleFontKind& font, TitlePosition& position) {
    if (code.empty()) return;
    switch (code[0]) {
    case 'g': case 'G': font = TitleFontKind::Symbol; break;
    case 'l': case 'L': font = TitleFontKind::Text; break;
    default: break;
    }
    if (code.size() > 1) {
        switch (code[1]) {
        case 'n': case 'N': position = TitlePosition::Baseline; break;
        case 'u': case 'U': position = TitlePosition::Superscript; break;
        default: break;
        }
    }
    // Checked last, so a code "dn" ends on the subscript position.
    if (code[0] == 'd' || code[0] == 'D') position = TitlePosition::Subscript;
}

}  // namespace

std::vector<TitleRun> parseTitle(std::u16string_view title) {
    // The markup is scanned in the narrow (UTF-8) form, "@" being one byte.
    const std::string narrow = qrt::encodeUtf8(title);
    std::vector<TitleRun> runs;
    TitleFontKind font = TitleFontKind::Symbol;
    TitlePosition position = TitlePosition::Baseline;
    std::size_t tokenIndex = 0;
    std::size_t pos = 0;
    while (pos < narrow.size()) {
        // Runs of "@" separate tokens; leading and trailing ones make none.
        while (pos < narrow.size() && narrow[pos] == '@') ++pos;
        if (pos >= narrow.size()) break;
        std::size_t end = narrow.find('@', pos);
        if (end == std::string::npos) end = narrow.size();
        std::string_view token(narrow.data() + pos, end - pos);
        if (tokenIndex % 2 == 0) {
            applyStyleCode(token, font, position);
        } else {
            runs.push_back({QString::fromUtf8(token.data(), static_cast<qsizetype>(token.size())), font, position});
        }
        ++tokenIndex;
        pos = end;
    }
    return runs;
}

}  // namespace tarvik

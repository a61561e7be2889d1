// Axis titles: a small markup that cuts the title at "@" into alternating
// style codes and texts. A code's first letter picks the font (g: symbol,
// l: text) or, as d, the subscript position; its second letter picks the
// position (n: baseline, u: superscript). "@gn@a@LU@2" is alpha on the
// baseline in the symbol font, then a superscript 2 in the text font.
#pragma once

#include <QString>

#include <string_view>
#include <vector>

namespace tarvik {

enum class TitleFontKind : unsigned char { Symbol = 0, Text = 1 };
enum class TitlePosition : int { Baseline = 0, Superscript = 1, Subscript = 2 };

struct TitleRun {
    QString Text;
    TitleFontKind FontKind = TitleFontKind::Symbol;
    TitlePosition Position = TitlePosition::Baseline;

    friend bool operator==(const TitleRun&, const TitleRun&) = default;
};

// Parses a title (UTF-16) into its runs. A title without "@" is a lone style
// code and gives no run.
std::vector<TitleRun> parseTitle(std::u16string_view title);

}  // namespace tarvik

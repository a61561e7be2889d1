// The title markup: style codes and texts separated by "@".
#include "graph/title_runs.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using F = TitleFontKind;
using P = TitlePosition;

TEST(TitleRuns, CodesPickFontAndPosition) {
    struct Case {
        const char16_t* title;
        std::vector<TitleRun> runs;
    } cases[] = {
        {u"@gN@a@LU@2", {{"a", F::Symbol, P::Baseline}, {"2", F::Text, P::Superscript}}},
        {u"@LN@Time@D@0", {{"Time", F::Text, P::Baseline}, {"0", F::Text, P::Subscript}}},
        // "d" as a second letter is no position: the 0 stays on the baseline.
        {u"@LN@Time@LD@0", {{"Time", F::Text, P::Baseline}, {"0", F::Text, P::Baseline}}},
        // DN: N selects the baseline first, then D the subscript.
        {u"@DN@i", {{"i", F::Symbol, P::Subscript}}},
        // The style starts as symbol font on the baseline; unknown letters change nothing.
        {u"@xx@b", {{"b", F::Symbol, P::Baseline}}},
        // Runs of "@" are one separator; leading and trailing ones make no token.
        {u"@@LN@@@x@@@", {{"x", F::Text, P::Baseline}}},
        {u"LN@y", {{"y", F::Text, P::Baseline}}},
        // Without "@" a title is a lone style code.
        {u"Temperature", {}},
        {u"", {}},
        // Non-ASCII text survives the narrow form.
        {u"@LN@Température °C", {{QString::fromUtf8("Température °C"), F::Text, P::Baseline}}},
    };
    for (const Case& c : cases) EXPECT_EQ(parseTitle(c.title), c.runs) << QString::fromStdU16String(c.title).toStdString();
}

}  // namespace
}  // namespace tarvik

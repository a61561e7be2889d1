// What RegExp.Execute returns: the Matches collection, its Match objects and
// their SubMatches, all reading one shared, immutable record of the search.
#pragma once

#include "engines/vbscript/regexp/regexp.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vbs::regexp {

// The subject of one Execute and the spans of every match in it.
struct MatchSet {
    static constexpr std::uint32_t kUnset = 0xFFFFFFFFu;

    std::u16string subject;
    std::uint32_t groups = 0;          // capture groups of the pattern
    std::vector<std::uint32_t> spans;  // per match (groups + 1) pairs of start, end; kUnset: no part in it

    std::size_t stride() const { return 2 * (static_cast<std::size_t>(groups) + 1); }
    std::size_t count() const { return spans.size() / stride(); }
    // Group g of match m (0: the whole match).
    std::uint32_t start(std::size_t m, std::uint32_t g) const { return spans[m * stride() + 2 * g]; }
    std::uint32_t end(std::size_t m, std::uint32_t g) const { return spans[m * stride() + 2 * g + 1]; }
};

// A Matches collection over the set; *out receives the first reference.
HRESULT createMatchCollection(std::shared_ptr<const MatchSet> set, IDispatch** out);

// Builds the dispatch tables of Matches, Match and SubMatches now instead of
// on first use. May throw std::bad_alloc.
void buildDispatchTables();

}  // namespace vbs::regexp

// The spellings of names a runtime's script text uses, grouped by their
// case-folded form. Component members bind without regard to case, as their
// IDispatch does; a typed object's prototype holds its members under their
// declared names, and under every other spelling of them the scripts use, so
// that obj.colorrgb finds ColorRGB by an ordinary property lookup.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace jscript {

// Folds ASCII and Latin-1 letters to lower case.
std::u16string foldName(std::u16string_view name);

class MemberSpellings {
public:
    // Records the identifiers in text; gives those not seen before.
    std::vector<std::u16string> add(std::u16string_view text);
    // The spellings seen of a folded name.
    const std::vector<std::u16string>* spellingsOf(const std::u16string& folded) const;

private:
    std::unordered_set<std::u16string> m_seen;
    std::unordered_map<std::u16string, std::vector<std::u16string>> m_byFolded;
};

}  // namespace jscript

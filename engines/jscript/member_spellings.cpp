#include "engines/jscript/member_spellings.h"

#include "engines/jscript/duk_bridge.h"
#include "engines/jscript/duk_runtime.h"

namespace jscript {
namespace {

constexpr const char* kFoldedNamesKey = DUK_HIDDEN_SYMBOL("qfolded");

char16_t foldChar(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    // Latin-1 capitals, except the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    return c;
}

bool isNameStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'$' || c >= 0x80;
}
bool isNamePart(char16_t c) { return isNameStart(c) || (c >= u'0' && c <= u'9'); }

// Defines the property `to` of the object at idx as a copy of its own
// property `from` (value or accessors, and the same attributes).
void copyProperty(duk_context* ctx, duk_idx_t idx, std::u16string_view from, std::u16string_view to) {
    idx = duk_normalize_index(ctx, idx);
    pushText(ctx, from);
    duk_get_prop_desc(ctx, idx, 0);  // [desc]
    duk_uint_t flags = 0;
    auto attribute = [&](const char* name, duk_uint_t set, duk_uint_t clear) {
        duk_get_prop_string(ctx, -1, name);
        flags |= duk_to_boolean(ctx, -1) ? set : clear;
        duk_pop(ctx);
    };
    attribute("enumerable", DUK_DEFPROP_SET_ENUMERABLE, DUK_DEFPROP_CLEAR_ENUMERABLE);
    attribute("configurable", DUK_DEFPROP_SET_CONFIGURABLE, DUK_DEFPROP_CLEAR_CONFIGURABLE);
    const bool isData = duk_has_prop_string(ctx, -1, "value");
    if (isData) attribute("writable", DUK_DEFPROP_SET_WRITABLE, DUK_DEFPROP_CLEAR_WRITABLE);
    pushText(ctx, to);  // [desc to]
    duk_idx_t pushed = 0;
    if (isData) {
        duk_get_prop_string(ctx, -2, "value");  // [desc to value]
        flags |= DUK_DEFPROP_HAVE_VALUE;
        pushed = 1;
    } else {
        for (const char* accessor : {"get", "set"}) {
            duk_get_prop_string(ctx, -2 - pushed, accessor);  // [desc to accessors.. accessor]
            if (duk_is_undefined(ctx, -1)) {
                duk_pop(ctx);
                continue;
            }
            flags |= accessor[0] == 'g' ? DUK_DEFPROP_HAVE_GETTER : DUK_DEFPROP_HAVE_SETTER;
            ++pushed;
        }
    }
    duk_def_prop(ctx, idx, flags);  // [desc]
    duk_pop(ctx);
}

// Pushes the prototype's map of folded member names to declared ones,
// making it from the prototype's own names the first time.
void pushFoldedNames(duk_context* ctx, duk_idx_t proto) {
    proto = duk_normalize_index(ctx, proto);
    if (duk_get_prop_string(ctx, proto, kFoldedNamesKey)) return;  // [map]
    duk_pop(ctx);
    duk_push_bare_object(ctx);  // [map]
    duk_enum(ctx, proto, DUK_ENUM_OWN_PROPERTIES_ONLY | DUK_ENUM_INCLUDE_NONENUMERABLE);  // [map enum]
    while (duk_next(ctx, -1, 0)) {  // [map enum key]
        const std::u16string name = textAt(ctx, -1);
        pushText(ctx, foldName(name));  // [map enum key folded]
        duk_swap_top(ctx, -2);          // [map enum folded key]
        duk_put_prop(ctx, -4);          // [map enum]
    }
    duk_pop(ctx);      // [map]
    duk_dup_top(ctx);  // [map map]
    duk_put_prop_string(ctx, proto, kFoldedNamesKey);  // [map]
}

// Gives the prototype at idx each spelling that names one of its members
// but is not one of its own names.
void aliasSpellings(duk_context* ctx, duk_idx_t proto, const std::vector<std::u16string>& spellings) {
    proto = duk_normalize_index(ctx, proto);
    pushFoldedNames(ctx, proto);  // [map]
    for (const std::u16string& spelling : spellings) {
        pushText(ctx, foldName(spelling));
        if (!duk_get_prop(ctx, -2)) {  // [map declared|undefined]
            duk_pop(ctx);
            continue;
        }
        const std::u16string declared = textAt(ctx, -1);
        duk_pop(ctx);  // [map]
        pushText(ctx, spelling);
        duk_get_prop_desc(ctx, proto, 0);  // [map desc|undefined]
        const bool own = !duk_is_undefined(ctx, -1);
        duk_pop(ctx);  // [map]
        if (!own) copyProperty(ctx, proto, declared, spelling);
    }
    duk_pop(ctx);
}

}  // namespace

std::u16string foldName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded) c = foldChar(c);
    return folded;
}

std::vector<std::u16string> MemberSpellings::add(std::u16string_view text) {
    std::vector<std::u16string> added;
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (!isNamePart(c)) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < text.size() && isNamePart(text[i])) ++i;
        if (!isNameStart(c)) continue;  // a number
        std::u16string name(text.substr(start, i - start));
        if (!m_seen.insert(name).second) continue;
        m_byFolded[foldName(name)].push_back(name);
        added.push_back(std::move(name));
    }
    return added;
}

const std::vector<std::u16string>* MemberSpellings::spellingsOf(const std::u16string& folded) const {
    auto it = m_byFolded.find(folded);
    return it == m_byFolded.end() ? nullptr : &it->second;
}

void aliasKnownSpellings(duk_context* ctx, duk_idx_t proto) {
    proto = duk_normalize_index(ctx, proto);
    const MemberSpellings& table = runtimeOf(ctx).spellings();
    std::vector<std::u16string> spellings;
    pushFoldedNames(ctx, proto);  // [map]
    duk_enum(ctx, -1, 0);         // [map enum]
    while (duk_next(ctx, -1, 0)) {  // [map enum folded]
        if (const auto* seen = table.spellingsOf(textAt(ctx, -1))) spellings.insert(spellings.end(), seen->begin(), seen->end());
        duk_pop(ctx);
    }
    duk_pop_2(ctx);
    aliasSpellings(ctx, proto, spellings);
}

void noteSpellings(duk_context* ctx, std::u16string_view text) {
    const std::vector<std::u16string> added = runtimeOf(ctx).spellings().add(text);
    if (added.empty()) return;
    // Prototypes made earlier learn the new spellings too.
    duk_push_heap_stash(ctx);  // [stash]
    if (!duk_get_prop_string(ctx, -1, kPrototypesKey)) {  // [stash protos|undefined]
        duk_pop_2(ctx);
        return;
    }
    duk_enum(ctx, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);  // [stash protos enum]
    while (duk_next(ctx, -1, 1)) {                    // [stash protos enum key proto]
        aliasSpellings(ctx, -1, added);
        duk_pop_2(ctx);
    }
    duk_pop_3(ctx);
}

}  // namespace jscript

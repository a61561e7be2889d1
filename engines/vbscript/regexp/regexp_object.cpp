// The RegExp object: its four properties, the compiled pattern they make,
// and Test, Execute and Replace.
#include "engines/vbscript/regexp/match_objects.h"
#include "engines/vbscript/regexp/pattern.h"
#include "engines/vbscript/regexp/regexp.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"

#include <new>
#include <vector>

namespace vbs {

namespace {

using regexp::MatchSet;
using regexp::Pattern;
using regexp::raiseError;
using regexp::Search;
namespace rxerr = regexp::rxerr;

// One part of a Replace template.
struct Piece {
    enum Kind { Literal, Group, Before, After } kind;
    std::size_t a;  // Literal: start in the template; Group: the group number (0: the whole match)
    std::size_t b;  // Literal: length
};

// Splits replaceWith into literal runs and $ references: $& the match, $`
// the text before it, $' the text after it, $$ a dollar sign, $n and $nn
// (01..99) a group. Two digits are read as one number when the pattern has
// that many groups, else the first digit alone; a reference to a group the
// pattern lacks stays literal text.
std::vector<Piece> parseTemplate(std::u16string_view t, std::uint32_t groups) {
    std::vector<Piece> pieces;
    std::size_t literal = 0;
    auto flush = [&](std::size_t upTo) {
        if (upTo > literal) pieces.push_back({Piece::Literal, literal, upTo - literal});
    };
    auto digit = [&](std::size_t i) { return i < t.size() && t[i] >= u'0' && t[i] <= u'9' ? int(t[i] - u'0') : -1; };
    std::size_t i = 0;
    while (i < t.size()) {
        if (t[i] != u'$' || i + 1 >= t.size()) {
            ++i;
            continue;
        }
        const char16_t c = t[i + 1];
        Piece piece{Piece::Literal, 0, 0};
        std::size_t used = 2;
        if (c == u'$') piece = {Piece::Literal, i + 1, 1};
        else if (c == u'&') piece = {Piece::Group, 0, 0};
        else if (c == u'`') piece = {Piece::Before, 0, 0};
        else if (c == u'\'') piece = {Piece::After, 0, 0};
        else if (const int d1 = digit(i + 1); d1 >= 0) {
            const int d2 = digit(i + 2);
            if (d2 >= 0 && d1 * 10 + d2 >= 1 && static_cast<std::uint32_t>(d1 * 10 + d2) <= groups) {
                piece = {Piece::Group, static_cast<std::size_t>(d1 * 10 + d2), 0};
                used = 3;
            } else if (d1 >= 1 && static_cast<std::uint32_t>(d1) <= groups) {
                piece = {Piece::Group, static_cast<std::size_t>(d1), 0};
            } else {
                used = 0;
            }
        } else {
            used = 0;
        }
        if (used == 0) {  // a dollar sign that starts no reference is itself
            ++i;
            continue;
        }
        flush(i);
        pieces.push_back(piece);
        i += used;
        literal = i;
    }
    flush(t.size());
    return pieces;
}

class RegExp final : public qrt::ComObject<qrt::DispatchImpl<RegExp, IRegExp2>, IProvideClassInfo> {
public:
    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::DispatchTable table(u"IRegExp2", IRegExp2::IID, {
            qrt::getter<&IRegExp2::get_Pattern>(u"Pattern", 10001),
            qrt::putter<&IRegExp2::put_Pattern>(u"Pattern", 10001),
            qrt::getter<&IRegExp2::get_IgnoreCase>(u"IgnoreCase", 10002),
            qrt::putter<&IRegExp2::put_IgnoreCase>(u"IgnoreCase", 10002),
            qrt::getter<&IRegExp2::get_Global>(u"Global", 10003),
            qrt::putter<&IRegExp2::put_Global>(u"Global", 10003),
            qrt::getter<&IRegExp2::get_Multiline>(u"Multiline", 10004),
            qrt::putter<&IRegExp2::put_Multiline>(u"Multiline", 10004),
            qrt::member<&IRegExp2::Execute>(u"Execute", 10005, {u"sourceString"}, qrt::Retval),
            qrt::member<&IRegExp2::Test>(u"Test", 10006, {u"sourceString"}, qrt::Retval),
            qrt::member<&IRegExp2::Replace>(u"Replace", 10007, {u"sourceString", u"replaceString"}, qrt::Retval),
        });
        return table;
    }

    HRESULT get_Pattern(BSTR* value) override {
        if (!value) return E_POINTER;
        *value = qrt::allocBstr(std::u16string_view(m_pattern));
        return *value ? S_OK : raiseError(rxerr::OutOfMemory);
    }
    HRESULT put_Pattern(BSTR value) override {
        const std::u16string_view text = qrt::bstrView(value);
        if (text != m_pattern) {
            m_pattern.assign(text);
            m_compiled.reset();
        }
        return S_OK;
    }
    HRESULT get_IgnoreCase(VARIANT_BOOL* value) override { return getFlag(m_ignoreCase, value); }
    HRESULT put_IgnoreCase(VARIANT_BOOL value) override { return putFlag(m_ignoreCase, value, true); }
    HRESULT get_Global(VARIANT_BOOL* value) override { return getFlag(m_global, value); }
    HRESULT put_Global(VARIANT_BOOL value) override { return putFlag(m_global, value, false); }
    HRESULT get_Multiline(VARIANT_BOOL* value) override { return getFlag(m_multiline, value); }
    HRESULT put_Multiline(VARIANT_BOOL value) override { return putFlag(m_multiline, value, true); }

    HRESULT Test(BSTR source, VARIANT_BOOL* found) override {
        if (!found) return E_POINTER;
        *found = VARIANT_FALSE;
        std::shared_ptr<const Pattern> pattern;
        if (HRESULT hr = compiled(pattern); FAILED(hr)) return hr;
        Search search(*pattern, qrt::bstrView(source));
        bool any = false;
        if (HRESULT hr = search.next(any); FAILED(hr)) return hr;
        *found = any ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    HRESULT Execute(BSTR source, IDispatch** matches) override {
        if (!matches) return E_POINTER;
        *matches = nullptr;
        std::shared_ptr<const Pattern> pattern;
        if (HRESULT hr = compiled(pattern); FAILED(hr)) return hr;
        auto set = std::make_shared<MatchSet>();
        set->subject.assign(qrt::bstrView(source));
        set->groups = pattern->captureCount();
        Search search(*pattern, set->subject);
        for (;;) {
            bool found = false;
            if (HRESULT hr = search.next(found); FAILED(hr)) return hr;
            if (!found) break;
            for (std::uint32_t g = 0; g <= set->groups; ++g) {
                const bool taken = search.isSet(g);
                set->spans.push_back(taken ? static_cast<std::uint32_t>(search.start(g)) : MatchSet::kUnset);
                set->spans.push_back(taken ? static_cast<std::uint32_t>(search.end(g)) : MatchSet::kUnset);
            }
            if (!m_global) break;
        }
        return regexp::createMatchCollection(std::move(set), matches);
    }

    HRESULT Replace(BSTR source, BSTR replaceWith, BSTR* result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        std::shared_ptr<const Pattern> pattern;
        if (HRESULT hr = compiled(pattern); FAILED(hr)) return hr;
        const std::u16string_view subject = qrt::bstrView(source);
        const std::u16string_view with = qrt::bstrView(replaceWith);
        const std::vector<Piece> pieces = parseTemplate(with, pattern->captureCount());

        std::u16string out;
        out.reserve(subject.size() + subject.size() / 4);
        Search search(*pattern, subject);
        std::size_t copied = 0;  // the subject up to here is in out
        for (;;) {
            bool found = false;
            if (HRESULT hr = search.next(found); FAILED(hr)) return hr;
            if (!found) break;
            const std::size_t start = search.start(0), end = search.end(0);
            out.append(subject.substr(copied, start - copied));
            for (const Piece& p : pieces) {
                switch (p.kind) {
                case Piece::Literal: out.append(with.substr(p.a, p.b)); break;
                case Piece::Group: {
                    const auto g = static_cast<std::uint32_t>(p.a);
                    if (search.isSet(g)) out.append(subject.substr(search.start(g), search.end(g) - search.start(g)));
                    break;
                }
                case Piece::Before: out.append(subject.substr(0, start)); break;
                case Piece::After: out.append(subject.substr(end)); break;
                }
            }
            copied = end;
            if (!m_global) break;
        }
        out.append(subject.substr(copied));
        *result = qrt::allocBstr(std::u16string_view(out));
        return *result ? S_OK : raiseError(rxerr::OutOfMemory);
    }

    HRESULT GetClassInfo(ITypeInfo** info) override {
        return qrt::classTypeInfo(u"IRegExp2", CLSID_RegExp, dispatchTable().typeInfo(), nullptr, info);
    }

private:
    static HRESULT getFlag(bool flag, VARIANT_BOOL* value) {
        if (!value) return E_POINTER;
        *value = flag ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT putFlag(bool& flag, VARIANT_BOOL value, bool shapesPattern) {
        const bool on = value != VARIANT_FALSE;
        if (on != flag && shapesPattern) m_compiled.reset();
        flag = on;
        return S_OK;
    }
    // The pattern compiled for the current properties; compiled again only
    // after Pattern, IgnoreCase or Multiline changed.
    HRESULT compiled(std::shared_ptr<const Pattern>& out) {
        if (!m_compiled) {
            if (HRESULT hr = Pattern::compile(m_pattern, m_ignoreCase, m_multiline, m_compiled); FAILED(hr)) return hr;
        }
        out = m_compiled;
        return S_OK;
    }

    std::u16string m_pattern;
    bool m_ignoreCase = false;
    bool m_global = false;
    bool m_multiline = false;
    std::shared_ptr<const Pattern> m_compiled;
};

// The dispatch tables hold type information objects, which count as live
// objects. Building them when the library loads keeps them out of the counts
// that leak checks compare before and after a script uses RegExp.
const bool g_tablesBuilt = [] {
    try {
        RegExp::dispatchTable();
        regexp::buildDispatchTables();
    } catch (...) {
        // Out of memory this early: the tables are built on first use instead.
    }
    return true;
}();

}  // namespace

HRESULT createRegExpInstance(REFIID iid, void** out) { return qrt::createInstance<RegExp>(iid, out); }

HRESULT createRegExp(IDispatch** out) {
    if (!out) return E_POINTER;
    try {
        return createRegExpInstance(IDispatch::IID, reinterpret_cast<void**>(out));
    } catch (const std::bad_alloc&) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
}

}  // namespace vbs

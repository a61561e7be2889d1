#include "hosting/rgs.h"

#include "runtime/registry.h"

#include <cstdint>
#include <new>
#include <optional>

namespace qhost {
namespace {

namespace reg = qrt::registry;

// ---------------------------------------------------------------- text ----

struct SyntaxError {
    int line;
    std::string message;
};

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Characters that end a bare word besides whitespace.
bool endsWord(char c) { return isSpace(c) || c == '\'' || c == '=' || c == '{' || c == '}'; }

enum class Tok { Word, String, Open, Close, Equals, End };

struct Token {
    Tok kind = Tok::End;
    std::string raw;   // as written (quotes undone), for keyword checks
    std::string text;  // with substitutions applied
    int line = 0;
};

class Lexer {
public:
    Lexer(std::string_view src, const RgsSubstitutions& subs) : m_src(src), m_subs(subs) {
        if (m_src.substr(0, 3) == "\xEF\xBB\xBF") m_src.remove_prefix(3);
    }

    std::vector<Token> run() {
        std::size_t n = m_src.size();
        while (m_pos < n) {
            char c = m_src[m_pos];
            if (c == '\n') {
                flushWord();
                ++m_line;
                ++m_pos;
            } else if (isSpace(c)) {
                flushWord();
                ++m_pos;
            } else if (c == '\'') {
                flushWord();
                readString();
            } else if (c == '=') {
                flushWord();
                push(Tok::Equals, "=");
                ++m_pos;
            } else if (c == '{') {
                std::size_t close = bracedPieceEnd();
                if (close != std::string_view::npos) {
                    if (m_word.empty()) m_wordLine = m_line;
                    m_word.append(m_src.substr(m_pos, close + 1 - m_pos));
                    m_pos = close + 1;
                } else {
                    flushWord();
                    push(Tok::Open, "{");
                    ++m_pos;
                }
            } else if (c == '}') {
                flushWord();
                push(Tok::Close, "}");
                ++m_pos;
            } else {
                if (m_word.empty()) m_wordLine = m_line;
                m_word.push_back(c);
                ++m_pos;
            }
        }
        flushWord();
        push(Tok::End, {});
        return std::move(m_tokens);
    }

private:
    // For a '{' at m_pos: the position of the '}' closing a braced piece of a
    // word such as a {GUID}, or npos when the '{' opens a block.
    std::size_t bracedPieceEnd() const {
        std::size_t i = m_pos + 1;
        while (i < m_src.size() && !endsWord(m_src[i])) ++i;
        if (i < m_src.size() && m_src[i] == '}' && i > m_pos + 1) return i;
        return std::string_view::npos;
    }

    void readString() {
        int startLine = m_line;
        std::string raw;
        ++m_pos;  // opening quote
        for (;;) {
            if (m_pos >= m_src.size() || m_src[m_pos] == '\n')
                throw SyntaxError{startLine, "unterminated quoted text (a quote inside is written '')"};
            char c = m_src[m_pos++];
            if (c != '\'') {
                raw.push_back(c);
            } else if (m_pos < m_src.size() && m_src[m_pos] == '\'') {
                raw.push_back('\'');
                ++m_pos;
            } else {
                break;
            }
        }
        Token t{Tok::String, raw, substitute(raw, startLine), startLine};
        m_tokens.push_back(std::move(t));
    }

    void flushWord() {
        if (m_word.empty()) return;
        Token t{Tok::Word, m_word, substitute(m_word, m_wordLine), m_wordLine};
        m_tokens.push_back(std::move(t));
        m_word.clear();
    }

    void push(Tok kind, std::string text) { m_tokens.push_back(Token{kind, text, text, m_line}); }

    std::string substitute(std::string_view in, int line) const {
        std::string out;
        std::size_t i = 0;
        while (i < in.size()) {
            if (in[i] != '%') {
                out.push_back(in[i++]);
                continue;
            }
            std::size_t end = in.find('%', i + 1);
            if (end == std::string_view::npos)
                throw SyntaxError{line, "unterminated substitution '" + std::string(in.substr(i)) +
                                            "' (a literal % is written %%)"};
            std::string_view name = in.substr(i + 1, end - i - 1);
            i = end + 1;
            if (name.empty()) {
                out.push_back('%');
                continue;
            }
            const std::string* value = nullptr;
            for (const auto& [key, v] : m_subs) {
                if (iequals(key, name)) {
                    value = &v;
                    break;
                }
            }
            if (!value) throw SyntaxError{line, "unknown substitution %" + std::string(name) + "%"};
            out += *value;
        }
        return out;
    }

    std::string_view m_src;
    const RgsSubstitutions& m_subs;
    std::size_t m_pos = 0;
    int m_line = 1;
    std::string m_word;
    int m_wordLine = 1;
    std::vector<Token> m_tokens;
};

// ------------------------------------------------------------- grammar ----

enum class Flag { None, NoRemove, ForceRemove, Delete };

struct Entry {
    bool isValue = false;  // a "val" line rather than a key
    Flag flag = Flag::None;
    std::string name;
    std::optional<std::string> value;  // a key's default value, or the named value
    std::vector<Entry> children;
};

struct RootBlock {
    reg::Hive hive;
    std::vector<Entry> entries;
};

std::optional<Flag> flagKeyword(const Token& t) {
    if (t.kind != Tok::Word) return std::nullopt;
    if (iequals(t.raw, "NoRemove")) return Flag::NoRemove;
    if (iequals(t.raw, "ForceRemove")) return Flag::ForceRemove;
    if (iequals(t.raw, "Delete")) return Flag::Delete;
    return std::nullopt;
}

bool isVal(const Token& t) { return t.kind == Tok::Word && iequals(t.raw, "val"); }

std::string describe(const Token& t) {
    switch (t.kind) {
    case Tok::Word: return "'" + t.raw + "'";
    case Tok::String: return "quoted text";
    case Tok::Open: return "'{'";
    case Tok::Close: return "'}'";
    case Tok::Equals: return "'='";
    case Tok::End: return "the end of the script";
    }
    return {};
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    std::vector<RootBlock> parse() {
        std::vector<RootBlock> blocks;
        while (peek().kind != Tok::End) {
            const Token& root = next();
            RootBlock block{reg::Hive::ClassesRoot, {}};
            if (root.kind == Tok::Word && (iequals(root.raw, "HKCR") || iequals(root.raw, "HKEY_CLASSES_ROOT")))
                block.hive = reg::Hive::ClassesRoot;
            else if (root.kind == Tok::Word && (iequals(root.raw, "HKCU") || iequals(root.raw, "HKEY_CURRENT_USER")))
                block.hive = reg::Hive::CurrentUser;
            else if (root.kind == Tok::Word)
                throw SyntaxError{root.line, "unknown root key '" + root.raw + "' (expected HKCR or HKCU)"};
            else
                throw SyntaxError{root.line, "expected a root key (HKCR or HKCU), found " + describe(root)};
            const Token& open = next();
            if (open.kind != Tok::Open)
                throw SyntaxError{open.line, "expected '{' after " + root.raw + ", found " + describe(open)};
            block.entries = parseBlock(open.line, false);
            blocks.push_back(std::move(block));
        }
        return blocks;
    }

private:
    const Token& peek() const { return m_tokens[m_pos]; }
    const Token& next() {
        const Token& t = m_tokens[m_pos];
        if (t.kind != Tok::End) ++m_pos;
        return t;
    }

    // Entries up to the '}' closing the block opened on openLine.
    std::vector<Entry> parseBlock(int openLine, bool insideKey) {
        std::vector<Entry> entries;
        for (;;) {
            const Token& t = peek();
            if (t.kind == Tok::Close) {
                next();
                return entries;
            }
            if (t.kind == Tok::End)
                throw SyntaxError{openLine, "the '{' opened here is never closed"};
            entries.push_back(parseEntry(insideKey));
        }
    }

    Entry parseEntry(bool insideKey) {
        Entry e;
        if (isVal(peek())) {
            const Token& val = next();
            if (!insideKey) throw SyntaxError{val.line, "a named value must be inside a key"};
            e.isValue = true;
            e.name = parseName("a value name after 'val'");
            if (e.name.empty()) throw SyntaxError{val.line, "a named value needs a name"};
            const Token& eq = next();
            if (eq.kind != Tok::Equals)
                throw SyntaxError{eq.line, "expected '=' after the value name, found " + describe(eq)};
            e.value = parseTypedValue();
            if (peek().kind == Tok::Open) throw SyntaxError{peek().line, "a named value cannot have subkeys"};
            return e;
        }
        if (auto flag = flagKeyword(peek())) {
            const Token& f = next();
            e.flag = *flag;
            if (isVal(peek())) throw SyntaxError{peek().line, "'" + f.raw + "' cannot be applied to a named value"};
        }
        int line = peek().line;
        e.name = parseName("a key name");
        if (e.name.empty()) throw SyntaxError{line, "a key needs a name"};
        if (e.name.find('\\') != std::string::npos)
            throw SyntaxError{line, "key name '" + e.name + "' contains '\\'; nest keys in blocks instead"};
        if (peek().kind == Tok::Equals) {
            next();
            e.value = parseTypedValue();
        }
        if (peek().kind == Tok::Open) {
            int openLine = next().line;
            e.children = parseBlock(openLine, true);
        }
        return e;
    }

    std::string parseName(const char* what) {
        const Token& t = next();
        if (t.kind == Tok::String) return t.text;
        if (t.kind == Tok::Word) {
            if (flagKeyword(t) || isVal(t))
                throw SyntaxError{t.line, "'" + t.raw + "' is a keyword; quote it to use it as a name"};
            return t.text;
        }
        throw SyntaxError{t.line, std::string("expected ") + what + ", found " + describe(t)};
    }

    std::string parseTypedValue() {
        const Token& type = next();
        if (type.kind != Tok::Word)
            throw SyntaxError{type.line, "expected a value type ('s' or 'd') after '=', found " + describe(type)};
        if (iequals(type.raw, "s")) {
            const Token& t = next();
            if (t.kind != Tok::String)
                throw SyntaxError{t.line, "expected quoted text after 's', found " + describe(t)};
            return t.text;
        }
        if (iequals(type.raw, "d")) {
            const Token& t = next();
            if (t.kind != Tok::String && t.kind != Tok::Word)
                throw SyntaxError{t.line, "expected a number after 'd', found " + describe(t)};
            std::optional<std::uint32_t> n = parseNumber(t.text);
            if (!n) throw SyntaxError{t.line, "'" + t.text + "' is not a 32-bit unsigned number"};
            return std::to_string(*n);
        }
        throw SyntaxError{type.line, "unsupported value type '" + type.raw + "' (expected 's' or 'd')"};
    }

    static std::optional<std::uint32_t> parseNumber(std::string_view s) {
        unsigned base = 10;
        if (s.size() > 2 && s[0] == '0' && lower(s[1]) == 'x') {
            base = 16;
            s.remove_prefix(2);
        }
        if (s.empty()) return std::nullopt;
        std::uint64_t v = 0;
        for (char c : s) {
            unsigned digit;
            if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
            else if (base == 16 && lower(c) >= 'a' && lower(c) <= 'f') digit = static_cast<unsigned>(lower(c) - 'a' + 10);
            else return std::nullopt;
            v = v * base + digit;
            if (v > 0xFFFFFFFFu) return std::nullopt;
        }
        return static_cast<std::uint32_t>(v);
    }

    std::vector<Token> m_tokens;
    std::size_t m_pos = 0;
};

// ----------------------------------------------------------- execution ----

// Empties a key in place, so it keeps its place among its siblings.
void clearKey(reg::Key& key) {
    while (!key.children().empty()) {
        std::string name = key.children().front()->name();
        if (!key.removeChild(name)) break;
    }
    while (!key.values().empty()) {
        std::string name = key.values().front().first;
        if (!key.removeValue(name)) break;
    }
}

void registerEntries(reg::Key& parent, const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        if (e.isValue) {
            parent.setValue(e.name, *e.value);
            continue;
        }
        reg::Key* key = parent.child(e.name);
        switch (e.flag) {
        case Flag::Delete:
            parent.removeChild(e.name);
            continue;
        case Flag::ForceRemove:
            if (key && key->name() == e.name) {
                clearKey(*key);
            } else {
                // Recreated so that the key takes the name as written.
                if (key) parent.removeChild(e.name);
                key = &parent.create(e.name);
            }
            break;
        case Flag::None:
        case Flag::NoRemove:
            if (!key) key = &parent.create(e.name);
            break;
        }
        if (e.value) key->setValue({}, *e.value);
        registerEntries(*key, e.children);
    }
}

void unregisterEntries(reg::Key& parent, const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        if (e.isValue) {
            parent.removeValue(e.name);
            continue;
        }
        reg::Key* key = parent.child(e.name);
        if (!key) continue;
        switch (e.flag) {
        case Flag::Delete:
        case Flag::ForceRemove:
            parent.removeChild(e.name);
            break;
        case Flag::NoRemove:
            unregisterEntries(*key, e.children);
            break;
        case Flag::None:
            unregisterEntries(*key, e.children);
            if (key->children().empty()) parent.removeChild(e.name);
            break;
        }
    }
}

void fail(RgsError* error, int line, std::string message) noexcept {
    if (!error) return;
    error->line = line;
    try {
        error->message = std::move(message);
    } catch (...) {
        error->message.clear();
    }
}

HRESULT run(std::string_view script, const RgsSubstitutions& substitutions, bool doRegister, RgsError* error) {
    std::vector<RootBlock> blocks;
    try {
        blocks = Parser(Lexer(script, substitutions).run()).parse();
    } catch (const SyntaxError& e) {
        fail(error, e.line, e.message);
        return E_INVALIDARG;
    }

    std::vector<reg::Hive> hives;
    for (const RootBlock& b : blocks) {
        bool seen = false;
        for (reg::Hive h : hives) seen = seen || h == b.hive;
        if (!seen) hives.push_back(b.hive);
    }

    for (reg::Hive hive : hives) {
        HRESULT hr = reg::transact(hive, [&](reg::Key& root) -> HRESULT {
            try {
                for (const RootBlock& b : blocks) {
                    if (b.hive != hive) continue;
                    if (doRegister) registerEntries(root, b.entries);
                    else unregisterEntries(root, b.entries);
                }
                return S_OK;
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            } catch (...) {
                return E_FAIL;
            }
        });
        if (FAILED(hr)) {
            fail(error, 0, std::string("could not update ") + reg::hiveName(hive));
            return hr;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT runRegistrationScript(std::string_view script, const RgsSubstitutions& substitutions, bool doRegister,
                              RgsError* error) {
    try {
        return run(script, substitutions, doRegister, error);
    } catch (const std::bad_alloc&) {
        fail(error, 0, "out of memory");  // short enough not to allocate
        return E_OUTOFMEMORY;
    } catch (...) {
        fail(error, 0, "internal error");
        return E_FAIL;
    }
}

}  // namespace qhost

// The parser's token cursor and its expression grammar, shared by the
// statement parser (parser.cpp) and defined in parser_expressions.cpp.
#pragma once

#include "engines/vbscript/ast.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/lexer.h"

#include <vector>

namespace vbs {

class ParserBase {
public:
    explicit ParserBase(std::vector<Token> tokens) : m_t(std::move(tokens)) {}

protected:
    // ---- token helpers -------------------------------------------------
    const Token& cur() const { return m_t[m_i]; }
    bool at(Tok t) const { return cur().type == t; }
    bool isKw(Kw k) const { return cur().type == Tok::Name && cur().kw == k; }
    // Keywords only in their own constructs, names everywhere else.
    static bool isContextual(Kw k) {
        return k == Kw::Property || k == Kw::Error || k == Kw::Explicit || k == Kw::Step || k == Kw::Get;
    }
    bool atName() const { return at(Tok::Name) && (cur().kw == Kw::None || isContextual(cur().kw)); }
    Kw kwAfter() const { return m_i + 1 < m_t.size() && m_t[m_i + 1].type == Tok::Name ? m_t[m_i + 1].kw : Kw::None; }
    // Property followed by a name (Get, Let, Set, or a misspelling of them)
    // starts a declaration; elsewhere Property is a name.
    bool atPropertyDecl() const {
        return isKw(Kw::Property) && m_i + 1 < m_t.size() && m_t[m_i + 1].type == Tok::Name;
    }
    // End Sub / Function / Property / Class (or End If, in a one-line If) may
    // follow a statement on the same line without a ':'.
    bool atInlineEnd() const {
        if (!isKw(Kw::End)) return false;
        const Kw k = kwAfter();
        return k == Kw::Sub || k == Kw::Function || k == Kw::Property || k == Kw::Class || k == Kw::If;
    }
    bool atClosingEnd() const { return atInlineEnd() && kwAfter() != Kw::If; }
    bool peekName(std::u16string_view folded) const {
        return cur().type == Tok::Name && cur().kw == Kw::None && foldName(cur().text) == folded;
    }
    void next() { if (m_i + 1 < m_t.size()) ++m_i; }
    SourcePos pos() const { return {cur().line, cur().column}; }

    [[noreturn]] void failAt(int number, std::size_t token) {
        m_i = token;
        fail(number);
    }
    [[noreturn]] void fail(int number) {
        ScriptError e;
        e.scode = errorStatus(number);
        e.description = errorText(number);
        e.compile = true;
        e.positioned = true;
        e.line = cur().line;
        e.column = cur().column;
        throw e;
    }
    // Nesting (statements inside statements, expressions inside
    // expressions) is bounded, so that deep text fails with "Out of stack
    // space" rather than exhausting the parser's or compiler's stack.
    static constexpr int kMaxNesting = 256;
    class Nesting {
    public:
        explicit Nesting(ParserBase& p) : m_p(p) {
            if (m_p.m_depth >= kMaxNesting) m_p.fail(err::OutOfStack);
            ++m_p.m_depth;
        }
        ~Nesting() { --m_p.m_depth; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        ParserBase& m_p;
    };

    void expect(Tok t, int number) {
        if (!at(t)) fail(number);
        next();
    }
    void expectKw(Kw k, int number) {
        if (!isKw(k)) fail(number);
        next();
    }
    std::u16string identifier() {
        if (!atName()) fail(err::ExpectedIdentifier);
        std::u16string name = cur().text;
        next();
        return name;
    }
    bool atStatementEnd() const { return at(Tok::Newline) || at(Tok::Colon) || at(Tok::End); }
    void endOfStatement() {
        if (!atStatementEnd()) fail(err::ExpectedEndOfStatement);
    }
    void skipSeparators() {
        while (at(Tok::Newline) || at(Tok::Colon)) next();
    }

    // ---- expressions (parser_expressions.cpp) ----------------------------
    ExprPtr binaryExpr(BinOp op, ExprPtr l, ExprPtr r, SourcePos p);
    ExprPtr expression();
    ExprPtr impExpr();
    ExprPtr eqvExpr();
    ExprPtr xorExpr();
    ExprPtr orExpr();
    ExprPtr andExpr();
    ExprPtr notExpr();
    ExprPtr compareExpr();
    ExprPtr concatExpr();
    ExprPtr addExpr();
    ExprPtr modExpr();
    ExprPtr intDivExpr();
    ExprPtr mulExpr();
    ExprPtr unaryExpr();
    ExprPtr powExpr();
    ExprPtr literal(Value v);
    ExprPtr primary();
    ExprPtr primaryName();
    ExprPtr postfix(ExprPtr e);

    std::vector<Token> m_t;
    std::size_t m_i = 0;
    int m_withDepth = 0;
    int m_depth = 0;
};

}  // namespace vbs

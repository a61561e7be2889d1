#include "engines/vbscript/parser.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"

namespace vbs {

namespace {

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : m_t(std::move(tokens)) {}

    Program program() {
        Program prog;
        m_prog = &prog;
        skipSeparators();
        if (isKw(Kw::Option)) {
            next();
            expectKw(Kw::Explicit, err::SyntaxError);
            prog.optionExplicit = true;
            endOfStatement();
        }
        while (!at(Tok::End)) {
            skipSeparators();
            if (at(Tok::End)) break;
            if (isKw(Kw::Option)) fail(err::OptionExplicitFirst);
            if (isKw(Kw::Class)) {
                prog.classes.push_back(classDecl());
                continue;
            }
            const std::size_t mark = m_i;
            Scope scope = scopePrefix();
            if (isKw(Kw::Sub) || isKw(Kw::Function) || atPropertyDecl()) {
                if (isKw(Kw::Property)) fail(err::MustBeInClass);
                if (scope.isDefault) failAt(err::MustBeInClass, scope.defaultToken);
                prog.procs.push_back(procedure(scope.isPrivate, false));
                continue;
            }
            if (scope.given) {
                // Public x / Private x / Public Const at global level.
                if (scope.isDefault) failAt(err::DefaultPlacement, scope.defaultToken);
                if (isKw(Kw::Const)) {
                    prog.globals.push_back(constant());
                } else {
                    m_i = mark;
                    prog.globals.push_back(dim());
                }
                endOfStatement();
                continue;
            }
            statementLine(prog.globals, false);
        }
        return prog;
    }

    ExprPtr expressionOnly() {
        skipSeparators();
        ExprPtr e = expression();
        skipSeparators();
        if (!at(Tok::End)) fail(err::ExpectedEndOfStatement);
        return e;
    }

private:
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
        explicit Nesting(Parser& p) : m_p(p) {
            if (m_p.m_depth >= kMaxNesting) m_p.fail(err::OutOfStack);
            ++m_p.m_depth;
        }
        ~Nesting() { --m_p.m_depth; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        Parser& m_p;
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

    // ---- procedures and classes ----------------------------------------
    // Public / Private / Public Default before a declaration.
    struct Scope {
        bool given = false;
        bool isPrivate = false;
        bool isDefault = false;
        std::size_t defaultToken = 0;
    };
    Scope scopePrefix() {
        Scope s;
        if (isKw(Kw::Public) || isKw(Kw::Private)) {
            s.given = true;
            s.isPrivate = isKw(Kw::Private);
            next();
            if (peekName(u"default")) {
                s.isDefault = true;
                s.defaultToken = m_i;
                next();
            }
        }
        return s;
    }

    std::unique_ptr<ProcDecl> procedure(bool isPrivate, bool inClass) {
        auto p = std::make_unique<ProcDecl>();
        p->isPrivate = isPrivate;
        Kw closing = cur().kw;
        if (isKw(Kw::Property)) {
            if (!inClass) fail(err::MustBeInClass);
            next();
            if (isKw(Kw::Get)) p->kind = ProcKind::PropertyGet;
            else if (isKw(Kw::Let)) p->kind = ProcKind::PropertyLet;
            else if (isKw(Kw::Set)) p->kind = ProcKind::PropertySet;
            else fail(err::ExpectedPropertyKind);
        } else {
            p->kind = isKw(Kw::Function) ? ProcKind::Function : ProcKind::Sub;
        }
        p->isFunction = p->kind == ProcKind::Function || p->kind == ProcKind::PropertyGet;
        next();
        p->pos = pos();
        p->name = identifier();
        if (at(Tok::LParen)) {
            next();
            while (!at(Tok::RParen)) {
                Param param;
                if (isKw(Kw::ByVal)) { param.byVal = true; next(); }
                else if (isKw(Kw::ByRef)) next();
                param.name = identifier();
                if (at(Tok::LParen)) {
                    next();
                    expect(Tok::RParen, err::ExpectedRParen);
                    param.isArray = true;
                }
                p->params.push_back(std::move(param));
                if (!at(Tok::Comma)) break;
                next();
            }
            expect(Tok::RParen, err::ExpectedRParen);
        }
        // The body may start on the declaration's own line (Sub f() x = 1 End Sub).
        p->body = block([&] { return isKw(Kw::End); }, true);
        expectKw(Kw::End, err::ExpectedEnd);
        expectKw(closing, closing == Kw::Property ? err::ExpectedProperty
                          : closing == Kw::Function ? err::ExpectedFunction : err::ExpectedSub);
        if (!atClosingEnd()) endOfStatement();
        return p;
    }

    std::unique_ptr<ClassDecl> classDecl() {
        auto c = std::make_unique<ClassDecl>();
        next();
        c->pos = pos();
        c->name = identifier();
        endOfStatement();
        for (;;) {
            skipSeparators();
            if (at(Tok::End)) fail(err::ExpectedEnd);
            if (isKw(Kw::End)) {
                next();
                expectKw(Kw::Class, err::ExpectedClass);
                endOfStatement();
                return c;
            }
            Scope scope = scopePrefix();
            if (isKw(Kw::Sub) || isKw(Kw::Function) || atPropertyDecl()) {
                const std::size_t start = m_i;
                auto method = procedure(scope.isPrivate, true);
                if (scope.isDefault) {
                    if (scope.isPrivate) failAt(err::DefaultNotPublic, scope.defaultToken);
                    if (method->kind == ProcKind::PropertyLet || method->kind == ProcKind::PropertySet) {
                        failAt(err::DefaultNotGet, scope.defaultToken);
                    }
                    method->isDefault = true;
                }
                (void)start;
                c->methods.push_back(std::move(method));
                continue;
            }
            if (isKw(Kw::Const)) {
                StmtPtr s = constant();
                for (DimItem& item : s->items) c->consts.push_back(std::move(item));
                endOfStatement();
                continue;
            }
            if (scope.isDefault) failAt(err::DefaultPlacement, scope.defaultToken);
            if (!scope.given && !isKw(Kw::Dim)) fail(err::ExpectedStatement);
            if (scope.given && isKw(Kw::Dim)) fail(err::ExpectedIdentifier);
            if (isKw(Kw::Dim)) next();
            StmtPtr s = variableList(StmtKind::Dim);
            for (DimItem& item : s->items) {
                c->fields.push_back(std::move(item));
                c->fieldPrivate.push_back(scope.isPrivate);
            }
            if (!atClosingEnd()) endOfStatement();
        }
    }

    // ---- statements ----------------------------------------------------
    // Statements up to (not including) the one for which stop() holds.
    template <class Stop>
    Block block(Stop stop, bool inProc) {
        Block b;
        for (;;) {
            skipSeparators();
            if (at(Tok::End)) return b;
            if (stop()) return b;
            statementLine(b, inProc);
        }
    }

    void statementLine(Block& out, bool inProc) {
        if (isKw(Kw::Sub) || isKw(Kw::Function) || isKw(Kw::Public) || isKw(Kw::Private) || isKw(Kw::Class) ||
            atPropertyDecl()) {
            if (inProc) fail(err::SyntaxError);
            if (m_depth > 0 && hoistedDeclaration()) return;
        }
        if (StmtPtr s = statement(inProc)) out.push_back(std::move(s));
        if (!atClosingEnd()) endOfStatement();
    }

    // A procedure or class inside a block of global code (If, loops) is
    // declared as though it stood at the top level.
    bool hoistedDeclaration() {
        if (!m_prog) return false;
        if (isKw(Kw::Class)) {
            m_prog->classes.push_back(classDecl());
            return true;
        }
        const std::size_t mark = m_i;
        Scope scope = scopePrefix();
        if (isKw(Kw::Sub) || isKw(Kw::Function)) {
            if (scope.isDefault) failAt(err::MustBeInClass, scope.defaultToken);
            m_prog->procs.push_back(procedure(scope.isPrivate, false));
            return true;
        }
        m_i = mark;
        return false;
    }

    StmtPtr statement(bool inProc) {
        Nesting nesting(*this);
        if (at(Tok::Name)) {
            switch (cur().kw) {
            case Kw::Dim: return dim();
            case Kw::ReDim: return redim();
            case Kw::Const: return constant();
            case Kw::Erase: return erase();
            case Kw::If: return ifStatement(inProc);
            case Kw::Select: return selectStatement(inProc);
            case Kw::For: return forStatement(inProc);
            case Kw::Do: return doStatement(inProc);
            case Kw::While: return whileStatement(inProc);
            case Kw::Exit: return exitStatement();
            case Kw::Call: return callStatement();
            case Kw::Set: return assignment(true);
            case Kw::Let: return assignment(false);
            case Kw::With: return withStatement(inProc);
            case Kw::On: return onError();
            case Kw::Stop: next(); return nullptr;  // a breakpoint for debuggers: nothing to do here
            case Kw::Me:
            case Kw::Property:
            case Kw::Error:
            case Kw::Explicit:
            case Kw::Step:
            case Kw::Get:
            case Kw::None: return assignOrCall();
            case Kw::Loop: fail(err::LoopWithoutDo);
            case Kw::Next: fail(err::UnexpectedNext);
            default: break;
            }
        }
        if (at(Tok::Dot)) return assignOrCall();
        fail(err::ExpectedStatement);
    }

    StmtPtr withStatement(bool inProc) {
        auto s = make(StmtKind::With);
        next();
        s->value = expression();
        endOfStatement();
        ++m_withDepth;
        s->blocks.push_back(block([&] { return isKw(Kw::End); }, inProc));
        --m_withDepth;
        expectKw(Kw::End, err::ExpectedEnd);
        expectKw(Kw::With, err::ExpectedWith);
        return s;
    }

    StmtPtr onError() {
        auto s = make(StmtKind::OnError);
        next();
        expectKw(Kw::Error, err::SyntaxError);
        if (isKw(Kw::Resume)) {
            next();
            expectKw(Kw::Next, err::SyntaxError);
            s->resumeNext = true;
            return s;
        }
        expectKw(Kw::GoTo, err::SyntaxError);
        // Only GoTo 0: VBScript has no line labels.
        if (!at(Tok::Literal) || !isNumericTag(cur().value.tag()) || toDouble(cur().value) != 0) fail(err::SyntaxError);
        next();
        return s;
    }

    StmtPtr make(StmtKind kind) {
        auto s = std::make_unique<Stmt>();
        s->kind = kind;
        s->pos = pos();
        return s;
    }

    // Dim, or Public / Private at global level: the keyword, then the names.
    StmtPtr dim() {
        next();
        return variableList(StmtKind::Dim);
    }

    StmtPtr variableList(StmtKind kind) {
        auto s = make(kind);
        for (;;) {
            DimItem item;
            item.pos = pos();
            item.name = identifier();
            if (at(Tok::LParen)) {
                next();
                item.isArray = true;
                while (!at(Tok::RParen)) {
                    if (!at(Tok::Literal) || !isNumericTag(cur().value.tag())) fail(err::ExpectedInteger);
                    auto e = std::make_unique<Expr>();
                    e->pos = pos();
                    e->value = cur().value;
                    item.bounds.push_back(std::move(e));
                    next();
                    if (!at(Tok::Comma)) break;
                    next();
                }
                expect(Tok::RParen, err::ExpectedRParen);
            }
            s->items.push_back(std::move(item));
            if (!at(Tok::Comma)) break;
            next();
        }
        return s;
    }

    StmtPtr redim() {
        auto s = make(StmtKind::ReDim);
        next();
        if (isKw(Kw::Preserve)) { s->preserve = true; next(); }
        for (;;) {
            DimItem item;
            item.pos = pos();
            item.name = identifier();
            item.isArray = true;
            expect(Tok::LParen, err::ExpectedLParen);
            for (;;) {
                item.bounds.push_back(expression());
                if (!at(Tok::Comma)) break;
                next();
            }
            expect(Tok::RParen, err::ExpectedRParen);
            s->items.push_back(std::move(item));
            if (!at(Tok::Comma)) break;
            next();
        }
        return s;
    }

    StmtPtr constant() {
        auto s = make(StmtKind::Const);
        next();
        for (;;) {
            DimItem item;
            item.pos = pos();
            item.name = identifier();
            expect(Tok::Eq, err::ExpectedEquals);
            item.bounds.push_back(expression());
            s->items.push_back(std::move(item));
            if (!at(Tok::Comma)) break;
            next();
        }
        return s;
    }

    StmtPtr erase() {
        auto s = make(StmtKind::Erase);
        next();
        for (;;) {
            DimItem item;
            item.pos = pos();
            item.name = identifier();
            s->items.push_back(std::move(item));
            if (!at(Tok::Comma)) break;
            next();
        }
        return s;
    }

    StmtPtr ifStatement(bool inProc) {
        auto s = make(StmtKind::If);
        next();
        s->conditions.push_back(expression());
        expectKw(Kw::Then, err::ExpectedThen);
        if (at(Tok::Newline)) {
            // Block form.
            auto stop = [&] { return isKw(Kw::ElseIf) || isKw(Kw::Else) || isKw(Kw::End); };
            s->blocks.push_back(block(stop, inProc));
            while (isKw(Kw::ElseIf)) {
                next();
                s->conditions.push_back(expression());
                expectKw(Kw::Then, err::ExpectedThen);
                s->blocks.push_back(block(stop, inProc));
            }
            if (isKw(Kw::Else)) {
                next();
                s->hasElse = true;
                s->elseBlock = block([&] { return isKw(Kw::End); }, inProc);
            }
            expectKw(Kw::End, err::ExpectedEnd);
            expectKw(Kw::If, err::ExpectedIf);
            return s;
        }
        // Single-line form: statements separated by ':' up to the end of the line.
        s->blocks.push_back(singleLineBlock(inProc));
        if (isKw(Kw::Else)) {
            next();
            s->hasElse = true;
            s->elseBlock = singleLineBlock(inProc);
        }
        if (isKw(Kw::End) && m_i + 1 < m_t.size() && m_t[m_i + 1].kw == Kw::If) {
            next();
            next();
        }
        return s;
    }

    Block singleLineBlock(bool inProc) {
        Block b;
        for (;;) {
            while (at(Tok::Colon)) next();
            if (at(Tok::Newline) || at(Tok::End) || isKw(Kw::Else)) break;
            if (isKw(Kw::End) && m_i + 1 < m_t.size() && m_t[m_i + 1].kw == Kw::If) break;
            if (StmtPtr st = statement(inProc)) b.push_back(std::move(st));
            if (!atStatementEnd() && !isKw(Kw::Else) && !atInlineEnd()) fail(err::ExpectedEndOfStatement);
        }
        return b;
    }

    StmtPtr selectStatement(bool inProc) {
        auto s = make(StmtKind::Select);
        next();
        expectKw(Kw::Case, err::ExpectedCase);
        s->value = expression();
        endOfStatement();
        skipSeparators();
        while (isKw(Kw::Case)) {
            next();
            CaseClause clause;
            if (isKw(Kw::Else)) {
                next();
                s->hasElse = true;
                s->elseBlock = block([&] { return isKw(Kw::End) || isKw(Kw::Case); }, inProc);
                break;
            }
            for (;;) {
                CaseItem item;
                if (isKw(Kw::Is)) {
                    next();
                    item.kind = CaseItem::Compare;
                    switch (cur().type) {
                    case Tok::Eq: item.op = BinOp::Eq; break;
                    case Tok::Ne: item.op = BinOp::Ne; break;
                    case Tok::Lt: item.op = BinOp::Lt; break;
                    case Tok::Gt: item.op = BinOp::Gt; break;
                    case Tok::Le: item.op = BinOp::Le; break;
                    case Tok::Ge: item.op = BinOp::Ge; break;
                    default: fail(err::SyntaxError);
                    }
                    next();
                    item.value = expression();
                } else {
                    item.value = expression();
                    if (isKw(Kw::To)) {
                        next();
                        item.kind = CaseItem::Range;
                        item.upper = expression();
                    }
                }
                clause.items.push_back(std::move(item));
                if (!at(Tok::Comma)) break;
                next();
            }
            clause.body = block([&] { return isKw(Kw::End) || isKw(Kw::Case); }, inProc);
            s->cases.push_back(std::move(clause));
        }
        expectKw(Kw::End, err::ExpectedEnd);
        expectKw(Kw::Select, err::ExpectedSelect);
        return s;
    }

    ExprPtr nameExpr() {
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Name;
        e->pos = pos();
        if (!atName()) fail(err::InvalidForVariable);
        e->name = cur().text;
        next();
        return e;
    }

    StmtPtr forStatement(bool inProc) {
        auto s = make(StmtKind::For);
        next();
        if (isKw(Kw::Each)) {
            s->kind = StmtKind::ForEach;
            next();
            s->target = nameExpr();
            expectKw(Kw::In, err::ExpectedIn);
            s->value = expression();
        } else {
            s->target = nameExpr();
            expect(Tok::Eq, err::ExpectedEquals);
            s->value = expression();
            expectKw(Kw::To, err::ExpectedTo);
            s->limit = expression();
            if (isKw(Kw::Step)) {
                next();
                s->step = expression();
            }
        }
        endOfStatement();
        s->blocks.push_back(block([&] { return isKw(Kw::Next); }, inProc));
        expectKw(Kw::Next, err::ExpectedNext);
        if (atName()) next();
        return s;
    }

    StmtPtr doStatement(bool inProc) {
        auto s = make(StmtKind::Do);
        next();
        if (isKw(Kw::While) || isKw(Kw::Until)) {
            s->test = isKw(Kw::While) ? LoopTest::PreWhile : LoopTest::PreUntil;
            next();
            s->value = expression();
        }
        if (!atStatementEnd()) fail(err::ExpectedWhileUntilEnd);
        s->blocks.push_back(block([&] { return isKw(Kw::Loop); }, inProc));
        expectKw(Kw::Loop, err::ExpectedLoop);
        if (isKw(Kw::While) || isKw(Kw::Until)) {
            if (s->test != LoopTest::None) fail(err::ExpectedEndOfStatement);
            s->test = isKw(Kw::While) ? LoopTest::PostWhile : LoopTest::PostUntil;
            next();
            s->value = expression();
        }
        return s;
    }

    StmtPtr whileStatement(bool inProc) {
        auto s = make(StmtKind::Do);
        next();
        s->test = LoopTest::PreWhile;
        s->value = expression();
        endOfStatement();
        s->blocks.push_back(block([&] { return isKw(Kw::Wend); }, inProc));
        expectKw(Kw::Wend, err::ExpectedWend);
        return s;
    }

    StmtPtr exitStatement() {
        auto s = make(StmtKind::Exit);
        next();
        if (!(isKw(Kw::Do) || isKw(Kw::For) || isKw(Kw::Sub) || isKw(Kw::Function) || isKw(Kw::Property))) {
            fail(err::InvalidExit);
        }
        s->exitWhat = cur().kw;
        next();
        return s;
    }

    StmtPtr callStatement() {
        auto s = make(StmtKind::Call);
        next();
        s->explicitCall = true;
        // Call (New C).m() and Call (f) (x): a parenthesised callee.
        s->target = at(Tok::LParen) ? primary() : postfix(primaryName());
        return s;
    }

    StmtPtr assignment(bool isSet) {
        auto s = make(isSet ? StmtKind::Set : StmtKind::Assign);
        next();
        s->target = postfix(primaryName());
        expect(Tok::Eq, err::ExpectedEquals);
        s->value = expression();
        return s;
    }

    StmtPtr assignOrCall() {
        auto s = make(StmtKind::Assign);
        ExprPtr target = postfix(primaryName());
        if (at(Tok::Eq)) {
            next();
            s->target = std::move(target);
            s->value = expression();
            return s;
        }
        s->kind = StmtKind::Call;
        if (atStatementEnd() || isKw(Kw::Else) || atInlineEnd()) {
            if (target->kind == ExprKind::Call) {
                // f(x) as a statement: one parenthesised argument, passed by value.
                if (target->args.size() > 1) {
                    m_i = target->parenToken;
                    fail(err::ParensOnSubCall);
                }
                if (target->args.size() == 1 && target->args[0]->kind != ExprKind::Missing) {
                    auto paren = std::make_unique<Expr>();
                    paren->kind = ExprKind::Paren;
                    paren->pos = target->args[0]->pos;
                    paren->left = std::move(target->args[0]);
                    target->args[0] = std::move(paren);
                }
            }
            s->target = std::move(target);
            return s;
        }
        // f (a) + 1, b: what looked like the callee's parentheses starts its
        // first argument (and f (a)(1), b: the first of them).
        if (target->kind == ExprKind::Call) {
            while (target->left->kind == ExprKind::Call) {
                ExprPtr inner = std::move(target->left);
                target = std::move(inner);
            }
            m_i = target->parenToken;
            target = std::move(target->left);
        }
        s->target = std::move(target);
        for (;;) {
            if (at(Tok::Comma)) {
                auto missing = std::make_unique<Expr>();
                missing->kind = ExprKind::Missing;
                missing->pos = pos();
                s->args.push_back(std::move(missing));
            } else {
                s->args.push_back(expression());
            }
            if (!at(Tok::Comma)) break;
            next();
            if (atStatementEnd()) fail(err::ExpectedExpression);
        }
        return s;
    }

    // ---- expressions ---------------------------------------------------
    ExprPtr binaryExpr(BinOp op, ExprPtr l, ExprPtr r, SourcePos p) {
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Binary;
        e->op = op;
        e->pos = p;
        e->left = std::move(l);
        e->right = std::move(r);
        return e;
    }

    ExprPtr expression() {
        Nesting nesting(*this);
        return impExpr();
    }

    ExprPtr impExpr() {
        ExprPtr l = eqvExpr();
        while (isKw(Kw::Imp)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Imp, std::move(l), eqvExpr(), p); }
        return l;
    }
    ExprPtr eqvExpr() {
        ExprPtr l = xorExpr();
        while (isKw(Kw::Eqv)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Eqv, std::move(l), xorExpr(), p); }
        return l;
    }
    ExprPtr xorExpr() {
        ExprPtr l = orExpr();
        while (isKw(Kw::Xor)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Xor, std::move(l), orExpr(), p); }
        return l;
    }
    ExprPtr orExpr() {
        ExprPtr l = andExpr();
        while (isKw(Kw::Or)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Or, std::move(l), andExpr(), p); }
        return l;
    }
    ExprPtr andExpr() {
        ExprPtr l = notExpr();
        while (isKw(Kw::And)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::And, std::move(l), notExpr(), p); }
        return l;
    }
    ExprPtr notExpr() {
        if (isKw(Kw::Not)) {
            auto e = std::make_unique<Expr>();
            e->kind = ExprKind::Unary;
            e->unaryNot = true;
            e->pos = pos();
            next();
            Nesting nesting(*this);
            e->left = notExpr();
            return e;
        }
        return compareExpr();
    }
    ExprPtr compareExpr() {
        ExprPtr l = concatExpr();
        for (;;) {
            BinOp op;
            switch (cur().type) {
            case Tok::Eq: op = BinOp::Eq; break;
            case Tok::Ne: op = BinOp::Ne; break;
            case Tok::Lt: op = BinOp::Lt; break;
            case Tok::Gt: op = BinOp::Gt; break;
            case Tok::Le: op = BinOp::Le; break;
            case Tok::Ge: op = BinOp::Ge; break;
            default:
                if (!isKw(Kw::Is)) return l;
                op = BinOp::Is;
            }
            SourcePos p = pos();
            next();
            l = binaryExpr(op, std::move(l), concatExpr(), p);
        }
    }
    ExprPtr concatExpr() {
        ExprPtr l = addExpr();
        while (at(Tok::Amp)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Concat, std::move(l), addExpr(), p); }
        return l;
    }
    ExprPtr addExpr() {
        ExprPtr l = modExpr();
        while (at(Tok::Plus) || at(Tok::Minus)) {
            BinOp op = at(Tok::Plus) ? BinOp::Add : BinOp::Sub;
            SourcePos p = pos();
            next();
            l = binaryExpr(op, std::move(l), modExpr(), p);
        }
        return l;
    }
    ExprPtr modExpr() {
        ExprPtr l = intDivExpr();
        while (isKw(Kw::Mod)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Mod, std::move(l), intDivExpr(), p); }
        return l;
    }
    ExprPtr intDivExpr() {
        ExprPtr l = mulExpr();
        while (at(Tok::Backslash)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::IntDiv, std::move(l), mulExpr(), p); }
        return l;
    }
    ExprPtr mulExpr() {
        ExprPtr l = powExpr();
        while (at(Tok::Star) || at(Tok::Slash)) {
            BinOp op = at(Tok::Star) ? BinOp::Mul : BinOp::Div;
            SourcePos p = pos();
            next();
            l = binaryExpr(op, std::move(l), powExpr(), p);
        }
        return l;
    }
    // A sign binds tighter than ^ (-3 ^ 2 is 9), on either side of it.
    ExprPtr unaryExpr() {
        if (at(Tok::Minus) || at(Tok::Plus)) {
            bool minus = at(Tok::Minus);
            SourcePos p = pos();
            next();
            Nesting nesting(*this);
            ExprPtr operand = unaryExpr();
            if (!minus) return operand;
            auto e = std::make_unique<Expr>();
            e->kind = ExprKind::Unary;
            e->pos = p;
            e->left = std::move(operand);
            return e;
        }
        return primary();
    }
    ExprPtr powExpr() {
        ExprPtr l = unaryExpr();
        while (at(Tok::Caret)) {
            SourcePos p = pos();
            next();
            l = binaryExpr(BinOp::Pow, std::move(l), unaryExpr(), p);
        }
        return l;
    }

    ExprPtr literal(Value v) {
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Literal;
        e->pos = pos();
        e->value = std::move(v);
        next();
        return e;
    }

    ExprPtr primary() {
        switch (cur().type) {
        case Tok::Literal: return literal(cur().value);
        case Tok::Dot: return postfix(primaryName());
        case Tok::LParen: {
            auto e = std::make_unique<Expr>();
            e->kind = ExprKind::Paren;
            e->pos = pos();
            next();
            e->left = expression();
            expect(Tok::RParen, err::ExpectedRParen);
            return postfix(std::move(e));
        }
        case Tok::Name:
            switch (cur().kw) {
            case Kw::True: return literal(Value::boolean(true));
            case Kw::False: return literal(Value::boolean(false));
            case Kw::Empty: return literal(Value());
            case Kw::Null: return literal(Value::null());
            case Kw::Nothing: return literal(Value::nothing());
            case Kw::None:
            case Kw::Property:
            case Kw::Error:
            case Kw::Explicit:
            case Kw::Step:
            case Kw::Get:
            case Kw::Me: return postfix(primaryName());
            case Kw::New: {
                auto e = std::make_unique<Expr>();
                e->kind = ExprKind::New;
                e->pos = pos();
                next();
                e->name = identifier();
                return e;
            }
            default: break;
            }
            break;
        default: break;
        }
        fail(err::ExpectedExpression);
    }

    // A name, Me, or (inside With) the With object before a leading '.'.
    ExprPtr primaryName() {
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Name;
        e->pos = pos();
        if (at(Tok::Dot)) {
            if (m_withDepth == 0) fail(err::InvalidReference);
            e->kind = ExprKind::With;
            next();
            auto m = std::make_unique<Expr>();
            m->kind = ExprKind::Member;
            m->pos = pos();
            if (!at(Tok::Name)) fail(err::ExpectedIdentifier);
            m->name = cur().text;
            next();
            m->left = std::move(e);
            return m;
        }
        if (isKw(Kw::Me)) {
            e->kind = ExprKind::Me;
            next();
            return e;
        }
        if (!atName()) fail(err::ExpectedStatement);
        e->name = cur().text;
        next();
        return e;
    }

    // Member accesses and argument lists after a name.
    ExprPtr postfix(ExprPtr e) {
        // Each link of a.b(1).c nests the tree one level deeper, as a
        // parenthesis would.
        for (int links = 0;; ++links) {
            if (m_depth + links > kMaxNesting) fail(err::OutOfStack);
            if (at(Tok::Dot) && !(m_withDepth > 0 && cur().spaced)) {
                next();
                auto m = std::make_unique<Expr>();
                m->kind = ExprKind::Member;
                m->pos = pos();
                if (!at(Tok::Name)) fail(err::ExpectedIdentifier);
                m->name = cur().text;
                next();
                m->left = std::move(e);
                e = std::move(m);
            } else if (at(Tok::LParen)) {
                // (f)(x) calls f: parentheses around a callee only group.
                while (e->kind == ExprKind::Paren && (e->left->kind == ExprKind::Name ||
                                                      e->left->kind == ExprKind::Member ||
                                                      e->left->kind == ExprKind::Call ||
                                                      e->left->kind == ExprKind::Paren)) {
                    ExprPtr inner = std::move(e->left);
                    e = std::move(inner);
                }
                auto c = std::make_unique<Expr>();
                c->kind = ExprKind::Call;
                c->pos = e->pos;
                c->parenToken = m_i;
                next();
                while (!at(Tok::RParen)) {
                    if (at(Tok::Comma)) {
                        auto missing = std::make_unique<Expr>();
                        missing->kind = ExprKind::Missing;
                        missing->pos = pos();
                        c->args.push_back(std::move(missing));
                    } else {
                        c->args.push_back(expression());
                    }
                    if (!at(Tok::Comma)) break;
                    next();
                    if (at(Tok::RParen)) {
                        auto missing = std::make_unique<Expr>();
                        missing->kind = ExprKind::Missing;
                        missing->pos = pos();
                        c->args.push_back(std::move(missing));
                    }
                }
                expect(Tok::RParen, err::ExpectedRParen);
                c->left = std::move(e);
                e = std::move(c);
            } else {
                return e;
            }
        }
    }

    std::vector<Token> m_t;
    Program* m_prog = nullptr;  // where hoisted declarations go; null for a lone expression
    std::size_t m_i = 0;
    int m_withDepth = 0;
    int m_depth = 0;
};

}  // namespace

Program parseProgram(std::u16string_view text) { return Parser(tokenize(text)).program(); }

ExprPtr parseExpression(std::u16string_view text) { return Parser(tokenize(text)).expressionOnly(); }

}  // namespace vbs

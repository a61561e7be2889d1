#include "engines/vbscript/parser.h"
#include "engines/vbscript/parser_base.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"

namespace vbs {

namespace {

class Parser : public ParserBase {
public:
    explicit Parser(std::vector<Token> tokens) : ParserBase(std::move(tokens)) {}

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

    Program* m_prog = nullptr;  // where hoisted declarations go; null for a lone expression
};

}  // namespace

Program parseProgram(std::u16string_view text) { return Parser(tokenize(text)).program(); }

ExprPtr parseExpression(std::u16string_view text) { return Parser(tokenize(text)).expressionOnly(); }

}  // namespace vbs

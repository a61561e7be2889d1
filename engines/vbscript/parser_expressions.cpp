// Expressions: precedence climbing from Imp down to primaries, then the
// member accesses and argument lists that follow a name.
#include "engines/vbscript/parser_base.h"

namespace vbs {

ExprPtr ParserBase::binaryExpr(BinOp op, ExprPtr l, ExprPtr r, SourcePos p) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Binary;
    e->op = op;
    e->pos = p;
    e->left = std::move(l);
    e->right = std::move(r);
    return e;
}

ExprPtr ParserBase::expression() {
    Nesting nesting(*this);
    return impExpr();
}

ExprPtr ParserBase::impExpr() {
    ExprPtr l = eqvExpr();
    while (isKw(Kw::Imp)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Imp, std::move(l), eqvExpr(), p); }
    return l;
}
ExprPtr ParserBase::eqvExpr() {
    ExprPtr l = xorExpr();
    while (isKw(Kw::Eqv)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Eqv, std::move(l), xorExpr(), p); }
    return l;
}
ExprPtr ParserBase::xorExpr() {
    ExprPtr l = orExpr();
    while (isKw(Kw::Xor)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Xor, std::move(l), orExpr(), p); }
    return l;
}
ExprPtr ParserBase::orExpr() {
    ExprPtr l = andExpr();
    while (isKw(Kw::Or)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Or, std::move(l), andExpr(), p); }
    return l;
}
ExprPtr ParserBase::andExpr() {
    ExprPtr l = notExpr();
    while (isKw(Kw::And)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::And, std::move(l), notExpr(), p); }
    return l;
}
ExprPtr ParserBase::notExpr() {
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
ExprPtr ParserBase::compareExpr() {
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
ExprPtr ParserBase::concatExpr() {
    ExprPtr l = addExpr();
    while (at(Tok::Amp)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Concat, std::move(l), addExpr(), p); }
    return l;
}
ExprPtr ParserBase::addExpr() {
    ExprPtr l = modExpr();
    while (at(Tok::Plus) || at(Tok::Minus)) {
        BinOp op = at(Tok::Plus) ? BinOp::Add : BinOp::Sub;
        SourcePos p = pos();
        next();
        l = binaryExpr(op, std::move(l), modExpr(), p);
    }
    return l;
}
ExprPtr ParserBase::modExpr() {
    ExprPtr l = intDivExpr();
    while (isKw(Kw::Mod)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::Mod, std::move(l), intDivExpr(), p); }
    return l;
}
ExprPtr ParserBase::intDivExpr() {
    ExprPtr l = mulExpr();
    while (at(Tok::Backslash)) { SourcePos p = pos(); next(); l = binaryExpr(BinOp::IntDiv, std::move(l), mulExpr(), p); }
    return l;
}
ExprPtr ParserBase::mulExpr() {
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
ExprPtr ParserBase::unaryExpr() {
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
ExprPtr ParserBase::powExpr() {
    ExprPtr l = unaryExpr();
    while (at(Tok::Caret)) {
        SourcePos p = pos();
        next();
        l = binaryExpr(BinOp::Pow, std::move(l), unaryExpr(), p);
    }
    return l;
}

ExprPtr ParserBase::literal(Value v) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Literal;
    e->pos = pos();
    e->value = std::move(v);
    next();
    return e;
}

ExprPtr ParserBase::primary() {
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
ExprPtr ParserBase::primaryName() {
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
ExprPtr ParserBase::postfix(ExprPtr e) {
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

}  // namespace vbs

// Searching the editor's text without a window: the options as one
// pattern, matches in both directions with wrapping, replacements with
// captured groups, replacing everything as one undo step.
#include "editor/text_search.h"

#include "runtime/testing/qt_application.h"

#include <QPlainTextDocumentLayout>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

struct Doc {
    explicit Doc(const QString& text) {
        qtest::ensureApplication();
        doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
        doc.setPlainText(text);
    }
    QTextCursor at(int position) {
        QTextCursor c(&doc);
        c.setPosition(position);
        return c;
    }
    QTextDocument doc;
};

QRegularExpression pattern(const QString& text, lexora::SearchOptions options = {}) {
    QString error;
    auto p = lexora::searchPattern(text, options, error);
    EXPECT_TRUE(p) << error.toStdString();
    return p.value_or(QRegularExpression());
}

TEST(TextSearch, OptionsShapeWhatMatches) {
    Doc d(QStringLiteral("Dim total\ntotals = Total + 1\nx.y = 2"));
    auto starts = [&](const QRegularExpression& p) {
        std::vector<int> out;
        QTextCursor c = d.at(0);
        for (int i = 0; i < 10; ++i) {
            auto r = lexora::findMatch(&d.doc, p, c, false);
            if (r.match.isNull() || r.wrapped) break;
            out.push_back(r.match.selectionStart());
            c = r.match;
        }
        return out;
    };
    EXPECT_EQ(starts(pattern(QStringLiteral("total"))), (std::vector<int>{4, 10, 19}));
    EXPECT_EQ(starts(pattern(QStringLiteral("total"), {true, false, false})), (std::vector<int>{4, 10}));
    EXPECT_EQ(starts(pattern(QStringLiteral("total"), {false, true, false})), (std::vector<int>{4, 19}));
    EXPECT_EQ(starts(pattern(QStringLiteral("total"), {true, true, false})), (std::vector<int>{4}));
    // Without regular expressions a dot is a dot.
    EXPECT_EQ(starts(pattern(QStringLiteral("."))), (std::vector<int>{30}));
    EXPECT_EQ(starts(pattern(QStringLiteral("t.t"), {false, false, true})), (std::vector<int>{4, 10, 19}));
}

TEST(TextSearch, EmptyAndInvalidPatternsAreRefusedWithAReason) {
    QString error;
    EXPECT_FALSE(lexora::searchPattern(QString(), {}, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(lexora::searchPattern(QStringLiteral("(abc"), {false, false, true}, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Invalid regular expression"))) << error.toStdString();
    // The same text is fine when it is not a regular expression.
    EXPECT_TRUE(lexora::searchPattern(QStringLiteral("(abc"), {}, error));
}

TEST(TextSearch, FindsBothWaysAndWrapsOnce) {
    Doc d(QStringLiteral("ab ab\nab"));
    const QRegularExpression p = pattern(QStringLiteral("ab"));
    auto r = lexora::findMatch(&d.doc, p, d.at(4), false);
    EXPECT_EQ(r.match.selectionStart(), 6);
    EXPECT_FALSE(r.wrapped);
    r = lexora::findMatch(&d.doc, p, r.match, false);
    EXPECT_EQ(r.match.selectionStart(), 0);
    EXPECT_TRUE(r.wrapped);
    r = lexora::findMatch(&d.doc, p, r.match, true);
    EXPECT_EQ(r.match.selectionStart(), 6);
    EXPECT_TRUE(r.wrapped);
    r = lexora::findMatch(&d.doc, p, r.match, true);
    EXPECT_EQ(r.match.selectionStart(), 3);
    EXPECT_FALSE(r.wrapped);
    EXPECT_TRUE(lexora::findMatch(&d.doc, pattern(QStringLiteral("zz")), d.at(0), false).match.isNull());
    // A pattern that matches only empty text finds nothing (and ends).
    EXPECT_TRUE(lexora::findMatch(&d.doc, pattern(QStringLiteral("x*"), {false, false, true}), d.at(0), false)
                    .match.isNull());
}

TEST(TextSearch, ReplaceAllIsOneUndoStepAndExpandsGroups) {
    const QString text = QStringLiteral("f(a, b)\ng(c, d)\nnone");
    Doc d(text);
    const QRegularExpression p = pattern(QStringLiteral("(\\w)\\((\\w), (\\w)\\)"), {false, false, true});
    EXPECT_EQ(lexora::replaceAll(&d.doc, p, QStringLiteral("\\1(\\3, \\2) \\\\ \\0"), true), 2);
    EXPECT_EQ(d.doc.toPlainText(), QStringLiteral("f(b, a) \\ f(a, b)\ng(d, c) \\ g(c, d)\nnone"));
    d.doc.undo();
    EXPECT_EQ(d.doc.toPlainText(), text);
    EXPECT_FALSE(d.doc.isUndoAvailable());

    // Plain replacements are taken as typed, and a replacement that
    // contains the text found is not found again.
    Doc plain(QStringLiteral("a.a"));
    EXPECT_EQ(lexora::replaceAll(&plain.doc, pattern(QStringLiteral("a")), QStringLiteral("\\1a"), false), 2);
    EXPECT_EQ(plain.doc.toPlainText(), QStringLiteral("\\1a.\\1a"));
    EXPECT_EQ(lexora::replaceAll(&plain.doc, pattern(QStringLiteral("zz")), QStringLiteral("y"), false), 0);
}

}  // namespace

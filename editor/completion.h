// What the editor offers to complete: the members of the objects a script
// uses, with their call forms, and the words that stand anywhere (the
// language's functions, statements and global objects). The host gives
// them as text, one entry a line:
//
//   object<TAB>name<TAB>call form<TAB>description
//
// An empty object makes the entry global. The call form and description
// may be left out.
#pragma once

#include <QList>
#include <QString>

namespace lexora {

struct CompletionEntry {
    QString object;
    QString name;
    QString callForm;
    QString description;
};

class CompletionList {
public:
    void setText(const QString& text);
    bool empty() const { return m_entries.isEmpty(); }

    // The object names that have members, as given (first spelling).
    bool hasObject(const QString& object) const;
    // The entries of object (matched without regard to case), sorted by
    // name without regard to case; each name once.
    QList<CompletionEntry> membersOf(const QString& object) const;
    // The global entries, sorted likewise.
    QList<CompletionEntry> globals() const;

private:
    QList<CompletionEntry> m_entries;
};

// Where completion looks in the text before the caret.
struct CompletionContext {
    int start = 0;        // where the word being completed starts
    QString prefix;       // what of it is typed (up to the caret)
    bool member = false;  // the word follows "expression."
    QString receiver;     // the identifier before the dot; empty if none
};

// The context at position in text: the identifier characters before it,
// and whether a dot comes before them (with the identifier before the dot).
CompletionContext completionContext(const QString& text, int position);

// The object whose members follow receiver in text: receiver itself when
// the list has it (Graf, Math), otherwise what the last assignment to
// receiver before position (or the first after it, when there is none
// before) makes: the ProgID of CreateObject("...") or a class of New
// (VBScript), of new ActiveXObject("...") or new Name (JScript). Empty
// when that is not in the list either.
QString completionObject(const CompletionList& list, const QString& text, int position, const QString& receiver,
                         bool vbscript);

bool isIdentifierChar(QChar c);

}  // namespace lexora

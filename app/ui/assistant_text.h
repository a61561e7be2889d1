// The Assistant's texts: which objects a script of a language can use,
// their members and a description of each member. They come from the
// resource file assistant.rcc in the data folder, two texts per language:
//
//   object list   one object name a line
//                   JScript :/OBJECTS/131     VBScript :/VBOBJECTS/132
//   member text   sections "%%Object%%%", each followed by its member names,
//                 one a line, then "#Member#description###" for the members
//                   JScript :/JSCRIPT/130     VBScript :/VBSCRIPT/133
#pragma once

#include "runtime/types.h"

#include <QString>
#include <QStringList>

namespace quillan::ui {

class AssistantText {
public:
    AssistantText() = default;
    AssistantText(QStringList objects, QString members);

    // Reads the texts of language (1 JScript, 2 VBScript) from the resource
    // file: registered for the read, unregistered after. A missing file,
    // resource or language gives empty texts.
    static AssistantText load(const QString& resourceFile, LONG language);
    // The resource file in the program's data folder.
    static QString defaultResourceFile();

    // The object list: each line trimmed, empty lines left out.
    static QStringList parseObjects(const QString& text);

    const QStringList& objects() const { return m_objects; }
    const QString& memberText() const { return m_members; }

    // The members of object (its name trimmed first): the non-empty trimmed
    // lines after its "%%object%%%" line, up to the first description or
    // the next section. Empty for an object without a section.
    QStringList members(const QString& object) const;
    // The description of member in object's section: the text between
    // "#member#" and the next "###". Empty when either is missing.
    QString description(const QString& object, const QString& member) const;

    // The same members for the editor's completion, one a line:
    // "object<TAB>name<TAB>call form<TAB>description" (the call form is
    // the description's first line). The sections of functions and
    // statements ("Math functions", "Statements") give words that stand
    // anywhere (an empty object), as do the objects a script names
    // directly (Graf, Math; not the ProgIDs, which have a dot).
    QString completionList() const;

private:
    // Where object's section starts (after its header) and ends; false when
    // it has none.
    bool section(const QString& object, qsizetype& begin, qsizetype& end) const;

    QStringList m_objects;
    QString m_members;
};

}  // namespace quillan::ui

#include "app/ui/assistant_text.h"

#include "app/core/data_folder.h"
#include "runtime/text.h"

#include <QFile>
#include <QResource>

#include <utility>

namespace quillan::ui {
namespace {

// A resource's text, UTF-8 with the Windows-1252 fallback; empty when the
// resource is missing.
QString resourceText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    return QString::fromStdU16String(qrt::decodeText(std::string_view(bytes.constData(), bytes.size())));
}

QStringList trimmedLines(QStringView text) {
    QStringList lines;
    for (const QStringView line : text.split(QLatin1Char('\n'))) {
        const QStringView trimmed = line.trimmed();
        if (!trimmed.isEmpty()) lines << trimmed.toString();
    }
    return lines;
}

}  // namespace

AssistantText::AssistantText(QStringList objects, QString members)
    : m_objects(std::move(objects)), m_members(std::move(members)) {}

QString AssistantText::defaultResourceFile() {
    return QString::fromStdString(dataFolder()) + QStringLiteral("/assistant.rcc");
}

AssistantText AssistantText::load(const QString& resourceFile, LONG language) {
    const char* objects = language == 1 ? ":/OBJECTS/131" : language == 2 ? ":/VBOBJECTS/132" : nullptr;
    const char* members = language == 1 ? ":/JSCRIPT/130" : ":/VBSCRIPT/133";
    if (!objects || !QResource::registerResource(resourceFile)) return {};
    AssistantText text(parseObjects(resourceText(QLatin1String(objects))), resourceText(QLatin1String(members)));
    QResource::unregisterResource(resourceFile);
    return text;
}

QStringList AssistantText::parseObjects(const QString& text) { return trimmedLines(text); }

bool AssistantText::section(const QString& object, qsizetype& begin, qsizetype& end) const {
    const QString name = object.trimmed();
    if (name.isEmpty()) return false;
    const QString header = QStringLiteral("%%") + name + QStringLiteral("%%%");
    const qsizetype at = m_members.indexOf(header);
    if (at < 0) return false;
    begin = at + header.size();
    end = m_members.indexOf(QStringLiteral("%%"), begin);
    if (end < 0) end = m_members.size();
    return true;
}

QStringList AssistantText::members(const QString& object) const {
    qsizetype begin = 0, end = 0;
    if (!section(object, begin, end)) return {};
    // The member lines end where the descriptions start.
    const qsizetype hash = m_members.indexOf(QLatin1Char('#'), begin);
    if (hash >= 0 && hash < end) end = hash;
    return trimmedLines(QStringView(m_members).mid(begin, end - begin));
}

QString AssistantText::description(const QString& object, const QString& member) const {
    qsizetype begin = 0, end = 0;
    const QString name = member.trimmed();
    if (name.isEmpty() || !section(object, begin, end)) return {};
    const QString key = QLatin1Char('#') + name + QLatin1Char('#');
    // An entry starts a line (or follows the previous entry's "###"), so a
    // member's name inside another's description is not taken for it.
    for (qsizetype at = m_members.indexOf(key, begin); at >= 0 && at + key.size() <= end;
         at = m_members.indexOf(key, at + 1)) {
        const QChar before = at > begin ? m_members.at(at - 1) : QLatin1Char('\n');
        if (!before.isSpace() && before != QLatin1Char('#')) continue;
        const qsizetype from = at + key.size();
        const qsizetype to = m_members.indexOf(QStringLiteral("###"), from);
        if (to < 0 || to > end) return {};
        return m_members.mid(from, to - from).trimmed();
    }
    return {};
}

QString AssistantText::completionList() const {
    QString out;
    const auto add = [&out](const QString& object, const QString& name, const QString& callForm,
                            const QString& description) {
        out += object + QLatin1Char('\t') + name + QLatin1Char('\t') + callForm + QLatin1Char('\t') + description +
               QLatin1Char('\n');
    };
    for (const QString& object : m_objects) {
        const bool words = object.contains(QLatin1Char(' ')) || object == QLatin1String("Statements");
        if (!words && !object.contains(QLatin1Char('.'))) add({}, object, {}, {});
        for (const QString& member : members(object)) {
            // How an object is made is listed with it, but is not one of its members.
            if (!words && (member == QLatin1String("CreateObject") || member == QLatin1String("new ActiveXObject")))
                continue;
            const QString text = description(object, member);
            const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
            const QString callForm = (lineEnd < 0 ? text : text.left(lineEnd)).simplified();
            QString rest = lineEnd < 0 ? QString() : text.mid(lineEnd + 1).simplified();
            add(words ? QString() : object, member, callForm, rest);
        }
    }
    return out;
}

}  // namespace quillan::ui

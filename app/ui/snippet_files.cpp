#include "app/ui/snippet_files.h"

#include "runtime/text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillan::ui {

QString snippetFolder(const QString& dataFolder, LONG language) {
    const char* sub = language == 1 ? "JScript" : language == 2 ? "VBScript" : nullptr;
    if (!sub || dataFolder.isEmpty()) return {};
    return QDir::cleanPath(dataFolder + QStringLiteral("/Include/") + QLatin1String(sub));
}

QStringList snippetNames(const QString& folder) {
    QStringList names;
    if (folder.isEmpty()) return names;
    const QDir dir(folder);
    // Hidden files count. The pattern matches with regard to case, so that
    // every name listed reads back as NAME.i.
    const QFileInfoList entries =
        dir.entryInfoList({QStringLiteral("*.i")}, QDir::Files | QDir::Hidden | QDir::CaseSensitive, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString file = entry.fileName();
        const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
        if (dot <= 0) continue;  // ".i" alone names nothing
        names << file.left(dot);
    }
    return names;
}

QString snippetPath(const QString& folder, const QString& name) {
    return QDir(folder).filePath(name + QStringLiteral(".i"));
}

std::optional<QString> readSnippet(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return QString::fromStdU16String(qrt::decodeText(std::string_view(bytes.constData(), bytes.size())));
}

QString snippetDescription(const QString& text) {
    if (!text.startsWith(QStringLiteral("//"))) return {};
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    if (end < 0) return {};
    // The carriage return before the line feed goes with the trimming.
    return text.mid(2, end - 2).trimmed();
}

QString snippetInsertText(const QString& text, LONG language) {
    if (language != 2 || !text.startsWith(QStringLiteral("//"))) return text;
    return QLatin1Char('\'') + text.mid(2);
}

}  // namespace quillan::ui

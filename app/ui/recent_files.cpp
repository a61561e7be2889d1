#include "app/ui/recent_files.h"

#include "runtime/registry.h"

namespace quillan::ui {
namespace {

namespace reg = qrt::registry;

std::string valueName(int index) { return "File" + std::to_string(index + 1); }

// The list a key holds: File1, File2, ... up to the first gap, each path
// once, at most capacity of them.
QStringList readList(const reg::Key* key, int capacity) {
    QStringList files;
    if (!key) return files;
    for (int i = 0; i < capacity; ++i) {
        const std::optional<std::string> value = key->value(valueName(i));
        if (!value || value->empty()) break;
        const QString path = QString::fromStdString(*value);
        if (!files.contains(path)) files << path;
    }
    return files;
}

void writeList(reg::Key& root, const QStringList& files) {
    root.remove(kRecentFilesKey);
    reg::Key& key = root.create(kRecentFilesKey);
    for (int i = 0; i < files.size(); ++i) key.setValue(valueName(i), files[i].toStdString());
}

void apply(QStringList& files, const QString& path, bool keep, int capacity) {
    files.removeAll(path);
    if (keep) files.prepend(path);
    while (files.size() > capacity) files.removeLast();
}

}  // namespace

HRESULT openSettingsKey() {
    return reg::transact(reg::Hive::CurrentUser, [](reg::Key& root) {
        root.create(kSettingsKey);
        return S_OK;
    });
}

void RecentFileList::load() {
    const reg::Key root = reg::load(reg::Hive::CurrentUser);
    m_files = readList(root.find(kRecentFilesKey), m_capacity);
}

HRESULT RecentFileList::add(const QString& path) { return update(path, true); }

HRESULT RecentFileList::remove(const QString& path) { return update(path, false); }

HRESULT RecentFileList::update(const QString& path, bool keep) {
    QStringList updated;
    const HRESULT hr = reg::transact(reg::Hive::CurrentUser, [&](reg::Key& root) {
        updated = readList(root.find(kRecentFilesKey), m_capacity);
        apply(updated, path, keep, m_capacity);
        writeList(root, updated);
        return S_OK;
    });
    if (SUCCEEDED(hr)) {
        m_files = updated;
    } else {
        // The registry is out of reach: this window still keeps its list.
        apply(m_files, path, keep, m_capacity);
    }
    return hr;
}

}  // namespace quillan::ui

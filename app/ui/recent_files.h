// The program's settings in the current user's hive, and the list of the
// files opened most recently, kept there so that it outlives the program.
#pragma once

#include "runtime/types.h"

#include <QString>
#include <QStringList>

namespace quillan::ui {

// The program's own key in the current user's hive.
inline constexpr char kSettingsKey[] = "Software\\Quillan\\Quillan";
// Under it, the recent files as the values "File1" (newest) to "File20".
inline constexpr char kRecentFilesKey[] = "Software\\Quillan\\Quillan\\Recent File List";

// Creates the settings key: the first write of a run, and so the check that
// the registry can be written at all. A failure status when it cannot.
HRESULT openSettingsKey();

class RecentFileList {
public:
    explicit RecentFileList(int capacity) : m_capacity(capacity) {}

    int capacity() const { return m_capacity; }
    const QStringList& files() const { return m_files; }

    // Reads the list the registry holds now.
    void load();
    // Puts path first (once) and drops the oldest beyond the capacity. The
    // registry's list is read afresh and written back in one transaction, so
    // that another window of the program loses none of its entries.
    // The list in memory changes even when the registry cannot be written.
    HRESULT add(const QString& path);
    // Takes path out of the list (a file that is gone).
    HRESULT remove(const QString& path);

private:
    HRESULT update(const QString& path, bool keep);

    int m_capacity;
    QStringList m_files;
};

}  // namespace quillan::ui

// The registry: the HKEY_CLASSES_ROOT and HKEY_CURRENT_USER hives, each a
// tree of keys with a default value and named string values.
//
// Each hive lives in a REGEDIT4 text file in $QUILLAN_REGISTRY_DIR, else
// $XDG_CONFIG_HOME/quillan (else ~/.config/quillan): "classes.reg" and
// "user.reg". Every change is a transaction: take the hive's file lock, read
// the file afresh, apply the change, write a temporary file and rename it over
// the old one. So concurrent writers in several processes never lose each
// other's entries. A damaged file is reported on standard error and copied
// aside ("classes.reg.damaged-<time>") with its content kept; the entries
// that could be read stay in force.
//
// Key paths use "\" between key names; names match without regard to ASCII
// case and keep the case they were created with. The empty value name is the
// default value ("@" in the file). Subkeys and values keep insertion order.
#pragma once

#include "runtime/types.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qrt::registry {

enum class Hive { ClassesRoot, CurrentUser };

// One key of a hive held in memory.
class Key {
public:
    explicit Key(std::string name = {}) : m_name(std::move(name)) {}

    const std::string& name() const { return m_name; }

    // Child lookup by name (case-insensitive); nullptr if absent.
    Key* child(std::string_view name);
    const Key* child(std::string_view name) const;
    // Walks a "\"-separated path; an empty path is this key.
    Key* find(std::string_view path);
    const Key* find(std::string_view path) const;
    // Creates the path's keys as needed and returns the last.
    Key& create(std::string_view path);
    // Removes a direct child and everything under it; false if absent.
    bool removeChild(std::string_view name);
    // Removes the key at path with everything under it; false if absent.
    bool remove(std::string_view path);

    const std::vector<std::unique_ptr<Key>>& children() const { return m_children; }

    void setValue(std::string_view name, std::string value);
    std::optional<std::string> value(std::string_view name) const;
    bool removeValue(std::string_view name);
    const std::vector<std::pair<std::string, std::string>>& values() const { return m_values; }
    bool empty() const { return m_children.empty() && m_values.empty(); }

    // A deep copy (keys are not copyable: a copy of a large tree is made on
    // purpose only).
    Key clone() const;

private:
    struct NameHash {
        size_t operator()(std::string_view name) const;
    };
    struct NameEqual {
        bool operator()(std::string_view a, std::string_view b) const;
    };
    // Children by name, kept once a key has many (CLSID, the hive roots), so
    // lookups and parsing do not scan. The views point at the children's own
    // names.
    using Index = std::unordered_map<std::string_view, Key*, NameHash, NameEqual>;

    void indexChildren();

    std::string m_name;
    std::vector<std::unique_ptr<Key>> m_children;
    std::vector<std::pair<std::string, std::string>> m_values;
    std::unique_ptr<Index> m_index;
};

// The folder holding the hive files (created on first save).
std::string directory();
// The file of one hive.
std::string hiveFile(Hive hive);
// "HKEY_CLASSES_ROOT" or "HKEY_CURRENT_USER".
const char* hiveName(Hive hive);

// Deepest key a hive may hold, counted in key names below the hive's root.
// Trees are copied, written and freed recursively; a change that would go
// deeper fails with E_INVALIDARG, and a file line naming a deeper key is
// damage.
constexpr size_t kMaxKeyDepth = 512;

// Text form and parsing of a hive. parse() fills root with what it can read
// and returns false (with a reason in error) when some of the text was damaged.
std::string serialize(const Key& root, Hive hive);
bool parse(std::string_view text, Hive hive, Key& root, std::string* error);

// A consistent read of the whole hive as it is on disk now.
Key load(Hive hive);

// Runs change on the hive under the file lock and saves the result when
// change succeeds (returns a success code). A failure to save is returned as
// REGDB_E_WRITEREGDB or the system error. change must not start another
// transaction on the same hive (that one fails with E_UNEXPECTED).
HRESULT transact(Hive hive, const std::function<HRESULT(Key& root)>& change);

// Convenience wrappers, each one transaction or one read.
HRESULT setValue(Hive hive, std::string_view keyPath, std::string_view valueName, std::string_view value);
std::optional<std::string> getValue(Hive hive, std::string_view keyPath, std::string_view valueName = {});
bool keyExists(Hive hive, std::string_view keyPath);
std::vector<std::string> subkeys(Hive hive, std::string_view keyPath);
// Removes the key with everything under it; S_FALSE when it was not there.
HRESULT deleteTree(Hive hive, std::string_view keyPath);

}  // namespace qrt::registry

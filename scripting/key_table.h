// The store behind a Dictionary: entries in the order they were added, found
// through an open-addressing hash index. A key is classified once, when it
// arrives: numbers of every numeric type (and dates, currency, Booleans) by
// their value, strings by their characters (folded for text comparison),
// objects by the identity of their IUnknown.
#pragma once

#include "runtime/variant.h"

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

struct IUnknown;

namespace scripting {

enum class KeyKind : std::uint8_t { Empty, Null, Number, Text, Object };

// A key as compared: no ownership; text points into the caller's string.
struct KeyView {
    KeyKind kind = KeyKind::Empty;
    double number = 0;
    std::u16string_view text;
    IUnknown* identity = nullptr;
};

// The key a value stands for; false for values that cannot be keys (arrays,
// error values, records).
bool classifyKey(const VARIANT& value, KeyView& key);

class KeyTable {
public:
    struct Entry {
        qrt::Variant key;
        qrt::Variant item;
        KeyView view;  // text points into key's string
        std::uint64_t hash = 0;
        bool live = true;
    };

    // True: strings compare without regard to case.
    void setTextMode(bool text) { m_textMode = text; }
    bool textMode() const { return m_textMode; }

    std::uint64_t hashOf(const KeyView& key) const;
    // The index of the entry holding key, or -1.
    long find(const KeyView& key, std::uint64_t hash) const;
    // Appends an entry (the key must not be present); returns its index.
    std::size_t insert(const VARIANT& key, const VARIANT& item, std::uint64_t hash);
    // Removes the entry at index and hands back its key and item, so that
    // the caller releases them once the table is whole again (releasing an
    // object may run code that uses this table).
    std::pair<qrt::Variant, qrt::Variant> erase(std::size_t index);
    // Gives the entry at index another key (not present elsewhere), keeping its place.
    void rekey(std::size_t index, const VARIANT& key, std::uint64_t hash);
    void clear();

    std::size_t count() const { return m_live; }
    // Entries in order; dead ones have live == false.
    const std::vector<Entry>& entries() const { return m_entries; }
    Entry& at(std::size_t index) { return m_entries[index]; }

private:
    bool same(const KeyView& a, const KeyView& b) const;
    void placeInIndex(std::size_t entry);
    void rebuild(std::size_t size);
    void compact();

    std::vector<Entry> m_entries;
    // Slots hold entry index + 1; 0 is free, kRemoved a removed entry's slot.
    std::vector<std::uint32_t> m_slots;
    std::size_t m_live = 0;
    std::size_t m_used = 0;  // slots that are not free (live and removed)
    bool m_textMode = false;
};

}  // namespace scripting

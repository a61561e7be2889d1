#include "scripting/key_table.h"

#include "runtime/dispatch.h"

#include <QChar>

#include <cmath>
#include <cstring>
#include <limits>

namespace scripting {

namespace {

constexpr std::uint32_t kRemoved = 0xFFFFFFFFu;

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

char16_t fold(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    return static_cast<char16_t>(QChar::toCaseFolded(static_cast<char32_t>(c)));
}

const VARIANT& deref(const VARIANT& v) {
    const VARIANT* p = &v;
    while (p->vt == (VT_BYREF | VT_VARIANT) && p->pvarVal) p = p->pvarVal;
    return *p;
}

bool numberOf(const VARIANT& v, double& out) {
    switch (v.vt) {
    case VT_I2: out = v.iVal; return true;
    case VT_I4: case VT_INT: out = v.lVal; return true;
    case VT_R4: out = v.fltVal; return true;
    case VT_R8: out = v.dblVal; return true;
    case VT_DATE: out = v.date; return true;
    case VT_CY: out = static_cast<double>(v.cyVal.int64) / 10000.0; return true;
    case VT_BOOL: out = v.boolVal ? -1.0 : 0.0; return true;
    case VT_UI1: out = v.bVal; return true;
    case VT_I1: out = v.cVal; return true;
    case VT_UI2: out = v.uiVal; return true;
    case VT_UI4: case VT_UINT: out = v.ulVal; return true;
    case VT_I8: out = static_cast<double>(v.llVal); return true;
    case VT_UI8: out = static_cast<double>(v.ullVal); return true;
    case VT_DECIMAL: {
        qrt::Variant d;
        if (FAILED(VariantChangeType(&d, &v, 0, VT_R8))) return false;
        out = d.dblVal;
        return true;
    }
    default: return false;
    }
}

}  // namespace

bool classifyKey(const VARIANT& value, KeyView& key) {
    const VARIANT& v = deref(value);
    key = KeyView{};
    if (v.vt & VT_BYREF) {
        // A reference to a plain value: read it as a value of its type.
        VARIANT copy;
        VariantInit(&copy);
        if (FAILED(VariantCopyInd(&copy, &v))) return false;
        const bool ok = (copy.vt & VT_ARRAY) == 0 && copy.vt != VT_BSTR && copy.vt != VT_DISPATCH &&
                        copy.vt != VT_UNKNOWN && numberOf(copy, key.number);
        if (ok) key.kind = KeyKind::Number;
        VariantClear(&copy);
        if (ok) return true;
        // Strings and objects by reference point at storage the caller keeps.
        if ((v.vt & ~VT_BYREF) == VT_BSTR) {
            key.kind = KeyKind::Text;
            key.text = qrt::bstrView(*v.pbstrVal);
            return true;
        }
        if ((v.vt & ~VT_BYREF) == VT_DISPATCH || (v.vt & ~VT_BYREF) == VT_UNKNOWN) {
            VARIANT object;
            object.vt = static_cast<VARTYPE>(v.vt & ~VT_BYREF);
            object.punkVal = *v.ppunkVal;
            return classifyKey(object, key);
        }
        return false;
    }
    if (v.vt & VT_ARRAY) return false;
    switch (v.vt) {
    case VT_EMPTY: key.kind = KeyKind::Empty; return true;
    case VT_NULL: key.kind = KeyKind::Null; return true;
    case VT_BSTR:
        key.kind = KeyKind::Text;
        key.text = qrt::bstrView(v.bstrVal);
        return true;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        key.kind = KeyKind::Object;
        if (v.punkVal) {
            // The identity of a component is its IUnknown; the caller's
            // reference keeps it alive while the key is in use.
            IUnknown* identity = nullptr;
            if (SUCCEEDED(v.punkVal->QueryInterface(IUnknown::IID, reinterpret_cast<void**>(&identity))) && identity) {
                identity->Release();
                key.identity = identity;
            } else {
                key.identity = v.punkVal;
            }
        }
        return true;
    default:
        if (!numberOf(v, key.number)) return false;
        key.kind = KeyKind::Number;
        return true;
    }
}

std::uint64_t KeyTable::hashOf(const KeyView& key) const {
    switch (key.kind) {
    case KeyKind::Empty: return mix(1);
    case KeyKind::Null: return mix(2);
    case KeyKind::Number: {
        double d = key.number;
        if (d == 0) d = 0;  // -0 and 0 are one key
        if (std::isnan(d)) d = std::numeric_limits<double>::quiet_NaN();
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        return mix(bits ^ 0x9E3779B97F4A7C15ull);
    }
    case KeyKind::Text: {
        std::uint64_t h = 0xCBF29CE484222325ull;
        if (m_textMode) {
            for (char16_t c : key.text) h = (h ^ fold(c)) * 0x100000001B3ull;
        } else {
            for (char16_t c : key.text) h = (h ^ c) * 0x100000001B3ull;
        }
        return mix(h);
    }
    case KeyKind::Object: return mix(reinterpret_cast<std::uintptr_t>(key.identity) ^ 0x5555);
    }
    return 0;
}

bool KeyTable::same(const KeyView& a, const KeyView& b) const {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
    case KeyKind::Empty:
    case KeyKind::Null: return true;
    case KeyKind::Number: return a.number == b.number || (std::isnan(a.number) && std::isnan(b.number));
    case KeyKind::Object: return a.identity == b.identity;
    case KeyKind::Text:
        if (a.text.size() != b.text.size()) return false;
        if (!m_textMode) return a.text == b.text;
        for (std::size_t i = 0; i < a.text.size(); ++i) {
            if (a.text[i] != b.text[i] && fold(a.text[i]) != fold(b.text[i])) return false;
        }
        return true;
    }
    return false;
}

long KeyTable::find(const KeyView& key, std::uint64_t hash) const {
    if (m_slots.empty()) return -1;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint32_t slot = m_slots[i];
        if (slot == 0) return -1;
        if (slot == kRemoved) continue;
        const Entry& e = m_entries[slot - 1];
        if (e.hash == hash && same(e.view, key)) return static_cast<long>(slot - 1);
    }
}

void KeyTable::placeInIndex(std::size_t entry) {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = m_entries[entry].hash & mask;; i = (i + 1) & mask) {
        if (m_slots[i] == 0 || m_slots[i] == kRemoved) {
            if (m_slots[i] == 0) ++m_used;
            m_slots[i] = static_cast<std::uint32_t>(entry + 1);
            return;
        }
    }
}

void KeyTable::rebuild(std::size_t size) {
    m_slots.assign(size, 0);
    m_used = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].live) placeInIndex(i);
    }
}

void KeyTable::compact() {
    std::size_t out = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (!m_entries[i].live) continue;
        if (out != i) m_entries[out] = std::move(m_entries[i]);
        ++out;
    }
    m_entries.resize(out);
}

std::size_t KeyTable::insert(const VARIANT& key, const VARIANT& item, std::uint64_t hash) {
    // Removed entries are dropped once they are as many as the live ones.
    if (m_entries.size() - m_live > 16 && m_entries.size() - m_live > m_live) {
        compact();
        rebuild(m_slots.size());
    }
    // The index stays at most half full, counting removed slots.
    if ((m_used + 1) * 2 > m_slots.size()) {
        std::size_t size = 16;
        while (size < (m_live + 1) * 4) size *= 2;
        rebuild(size);
    }
    Entry& e = m_entries.emplace_back();
    VariantCopyInd(&e.key, &key);
    VariantCopyInd(&e.item, &item);
    classifyKey(e.key, e.view);
    e.hash = hash;
    placeInIndex(m_entries.size() - 1);
    ++m_live;
    return m_entries.size() - 1;
}

std::pair<qrt::Variant, qrt::Variant> KeyTable::erase(std::size_t index) {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = m_entries[index].hash & mask;; i = (i + 1) & mask) {
        if (m_slots[i] == index + 1) {
            m_slots[i] = kRemoved;
            break;
        }
        if (m_slots[i] == 0) break;
    }
    Entry& e = m_entries[index];
    std::pair<qrt::Variant, qrt::Variant> removed(std::move(e.key), std::move(e.item));
    e.live = false;
    e.view = KeyView{};
    --m_live;
    if (m_live == 0) clear();
    return removed;
}

void KeyTable::rekey(std::size_t index, const VARIANT& key, std::uint64_t hash) {
    auto [oldKey, item] = erase(index);
    if (m_entries.empty()) {
        insert(key, item, hash);
        return;
    }
    Entry& e = m_entries[index];
    VariantCopyInd(&e.key, &key);
    e.item = std::move(item);
    classifyKey(e.key, e.view);
    e.hash = hash;
    e.live = true;
    ++m_live;
    if ((m_used + 1) * 2 > m_slots.size()) rebuild(m_slots.size() * 2);  // places it too
    else placeInIndex(index);
}

void KeyTable::clear() {
    m_entries.clear();
    m_slots.clear();
    m_live = 0;
    m_used = 0;
}

}  // namespace scripting

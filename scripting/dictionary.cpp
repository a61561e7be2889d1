#include "scripting/dictionary.h"

#include "runtime/safearray.h"
#include "scripting/errors.h"
#include "scripting/variant_enumerator.h"

namespace scripting {

namespace {

constexpr std::u16string_view kSource = u"Scripting.Dictionary";

HRESULT fail(int number) { return raise(kSource, number); }

}  // namespace

const qrt::DispatchTable& CDictionary::dispatchTable() {
    using I = IDictionary;
    static const qrt::DispatchTable table(u"IDictionary", IDictionary::IID, {
        qrt::putRefer<&I::putref_Item>(u"Item", DISPID_VALUE, {u"Key", u"pRetItem"}),
        qrt::putter<&I::put_Item>(u"Item", DISPID_VALUE, {u"Key", u"pRetItem"}),
        qrt::getter<&I::get_Item>(u"Item", DISPID_VALUE, {u"Key"}),
        qrt::member<&I::Add>(u"Add", 1, {u"Key", u"Item"}),
        qrt::getter<&I::get_Count>(u"Count", 2),
        qrt::member<&I::Exists>(u"Exists", 3, {u"Key"}, qrt::Retval),
        qrt::member<&I::Items>(u"Items", 4, {}, qrt::Retval),
        qrt::putter<&I::put_Key>(u"Key", 5, {u"Key", u"pRetItem"}),
        qrt::member<&I::Keys>(u"Keys", 6, {}, qrt::Retval),
        qrt::member<&I::Remove>(u"Remove", 7, {u"Key"}),
        qrt::member<&I::RemoveAll>(u"RemoveAll", 8),
        qrt::putter<&I::put_CompareMode>(u"CompareMode", 9, {u"pcomp"}),
        qrt::getter<&I::get_CompareMode>(u"CompareMode", 9),
        qrt::getter<&I::get_HashVal>(u"HashVal", 10, {u"Key"}),
        qrt::member<&I::_NewEnum>(u"_NewEnum", DISPID_NEWENUM, {}, qrt::Retval),
    });
    return table;
}

HRESULT CDictionary::create(REFIID iid, void** out) { return qrt::createInstance<CDictionary>(iid, out); }

HRESULT CDictionary::lookUp(const VARIANT& key, KeyView& view, std::uint64_t& hash, long& index) const {
    if (!classifyKey(key, view)) return fail(err::TypeMismatch);
    hash = m_table.hashOf(view);
    index = m_table.find(view, hash);
    return S_OK;
}

HRESULT CDictionary::setItem(const VARIANT& key, const VARIANT& item) {
    KeyView view;
    std::uint64_t hash = 0;
    long index = -1;
    if (HRESULT hr = lookUp(key, view, hash, index); FAILED(hr)) return hr;
    if (index < 0) {
        m_table.insert(key, item, hash);
        return S_OK;
    }
    qrt::Variant value;
    if (HRESULT hr = VariantCopyInd(&value, &item); FAILED(hr)) return hr;
    // The old item is released after the store, when the table is whole.
    qrt::Variant& slot = m_table.at(static_cast<std::size_t>(index)).item;
    qrt::Variant old(std::move(slot));
    slot = std::move(value);
    return S_OK;
}

HRESULT CDictionary::putref_Item(VARIANT key, VARIANT item) { return setItem(key, item); }

HRESULT CDictionary::put_Item(VARIANT key, VARIANT item) { return setItem(key, item); }

HRESULT CDictionary::get_Item(VARIANT key, VARIANT* item) {
    if (!item) return E_POINTER;
    KeyView view;
    std::uint64_t hash = 0;
    long index = -1;
    if (HRESULT hr = lookUp(key, view, hash, index); FAILED(hr)) return hr;
    if (index < 0) {
        // Reading a key that is not there adds it with an Empty item.
        VARIANT empty;
        VariantInit(&empty);
        m_table.insert(key, empty, hash);
        VariantClear(item);
        return S_OK;
    }
    return VariantCopy(item, &m_table.at(static_cast<std::size_t>(index)).item);
}

HRESULT CDictionary::Add(VARIANT key, VARIANT item) {
    KeyView view;
    std::uint64_t hash = 0;
    long index = -1;
    if (HRESULT hr = lookUp(key, view, hash, index); FAILED(hr)) return hr;
    if (index >= 0) return fail(err::KeyExists);
    m_table.insert(key, item, hash);
    return S_OK;
}

HRESULT CDictionary::get_Count(LONG* count) {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(m_table.count());
    return S_OK;
}

HRESULT CDictionary::Exists(VARIANT key, VARIANT_BOOL* exists) {
    if (!exists) return E_POINTER;
    KeyView view;
    std::uint64_t hash = 0;
    long index = -1;
    if (HRESULT hr = lookUp(key, view, hash, index); FAILED(hr)) return hr;
    *exists = toVariantBool(index >= 0);
    return S_OK;
}

HRESULT CDictionary::toArray(bool keys, VARIANT* out) const {
    if (!out) return E_POINTER;
    VariantClear(out);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(m_table.count()));
    if (!array) return fail(err::OutOfMemory);
    VARIANT* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    std::size_t i = 0;
    for (const KeyTable::Entry& e : m_table.entries()) {
        if (!e.live) continue;
        const HRESULT hr = VariantCopy(&data[i++], keys ? &e.key : &e.item);
        if (FAILED(hr)) {
            SafeArrayUnaccessData(array);
            SafeArrayDestroy(array);
            return hr;
        }
    }
    SafeArrayUnaccessData(array);
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return S_OK;
}

HRESULT CDictionary::Items(VARIANT* items) { return toArray(false, items); }

HRESULT CDictionary::Keys(VARIANT* keys) { return toArray(true, keys); }

HRESULT CDictionary::put_Key(VARIANT key, VARIANT newKey) {
    KeyView view;
    std::uint64_t hash = 0;
    long index = -1;
    if (HRESULT hr = lookUp(key, view, hash, index); FAILED(hr)) return hr;
    if (index < 0) return fail(err::ElementNotFound);
    KeyView newView;
    std::uint64_t newHash = 0;
    long other = -1;
    if (HRESULT hr = lookUp(newKey, newView, newHash, other); FAILED(hr)) return hr;
    if (other >= 0 && other != index) return fail(err::KeyExists);
    m_table.rekey(static_cast<std::size_t>(index), newKey, newHash);
    return S_OK;
}

HRESULT CDictionary::Remove(VARIANT key) {
    KeyView view;
    std::uint64_t hash = 0;
    long index = -1;
    if (HRESULT hr = lookUp(key, view, hash, index); FAILED(hr)) return hr;
    if (index < 0) return fail(err::ElementNotFound);
    auto removed = m_table.erase(static_cast<std::size_t>(index));
    return S_OK;
}

HRESULT CDictionary::RemoveAll() {
    // Items may be objects whose release calls back into this dictionary:
    // take them out first, release them after.
    KeyTable old;
    std::swap(old, m_table);
    m_table.setTextMode(old.textMode());
    old.clear();
    return S_OK;
}

HRESULT CDictionary::put_CompareMode(LONG mode) {
    if (mode < 0) return fail(err::InvalidCall);
    if (m_table.count() > 0) return fail(err::InvalidCall);
    m_compareMode = mode;
    // Binary compares exactly; text, database and locale comparisons all
    // compare without regard to case.
    m_table.setTextMode(mode != 0);
    m_table.clear();
    return S_OK;
}

HRESULT CDictionary::get_CompareMode(LONG* mode) {
    if (!mode) return E_POINTER;
    *mode = m_compareMode;
    return S_OK;
}

HRESULT CDictionary::get_HashVal(VARIANT key, VARIANT* hash) {
    if (!hash) return E_POINTER;
    KeyView view;
    if (!classifyKey(key, view)) return fail(err::TypeMismatch);
    VariantClear(hash);
    hash->vt = VT_I4;
    hash->lVal = static_cast<LONG>(m_table.hashOf(view) & 0x7FFFFFFF);
    return S_OK;
}

HRESULT CDictionary::_NewEnum(IUnknown** keys) {
    std::vector<qrt::Variant> list;
    list.reserve(m_table.count());
    for (const KeyTable::Entry& e : m_table.entries()) {
        if (e.live) list.push_back(e.key);
    }
    return VariantEnumerator::create(std::move(list), keys);
}

HRESULT CDictionary::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"Dictionary", CLSID_Dictionary, dispatchTable().typeInfo(), nullptr, info);
}

}  // namespace scripting

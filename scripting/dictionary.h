// Dictionary: items under keys of any automation type, in the order added.
#pragma once

#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"
#include "scripting/key_table.h"
#include "scripting/scripting.h"

namespace scripting {

class CDictionary final : public qrt::ComObject<qrt::DispatchImpl<CDictionary, IDictionary>, IProvideClassInfo> {
public:
    static const qrt::DispatchTable& dispatchTable();
    static HRESULT create(REFIID iid, void** out);

    HRESULT putref_Item(VARIANT key, VARIANT item) override;
    HRESULT put_Item(VARIANT key, VARIANT item) override;
    HRESULT get_Item(VARIANT key, VARIANT* item) override;
    HRESULT Add(VARIANT key, VARIANT item) override;
    HRESULT get_Count(LONG* count) override;
    HRESULT Exists(VARIANT key, VARIANT_BOOL* exists) override;
    HRESULT Items(VARIANT* items) override;
    HRESULT put_Key(VARIANT key, VARIANT newKey) override;
    HRESULT Keys(VARIANT* keys) override;
    HRESULT Remove(VARIANT key) override;
    HRESULT RemoveAll() override;
    HRESULT put_CompareMode(LONG mode) override;
    HRESULT get_CompareMode(LONG* mode) override;
    HRESULT get_HashVal(VARIANT key, VARIANT* hash) override;
    HRESULT _NewEnum(IUnknown** keys) override;

    HRESULT GetClassInfo(ITypeInfo** info) override;

private:
    // Classifies key and finds it: the entry index or -1 in *index. Fails
    // (with the script error recorded) for a value that cannot be a key.
    HRESULT lookUp(const VARIANT& key, KeyView& view, std::uint64_t& hash, long& index) const;
    HRESULT setItem(const VARIANT& key, const VARIANT& item);
    // The keys or the items as a zero-based array of variants.
    HRESULT toArray(bool keys, VARIANT* out) const;

    KeyTable m_table;
    LONG m_compareMode = 0;
};

}  // namespace scripting

#include "engines/vbscript/regexp/match_objects.h"

#include "engines/vbscript/regexp/pattern.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"

namespace vbs::regexp {

namespace {

constexpr CLSID CLSID_MatchCollection = qrt::makeGuid("{F28F526B-2681-444C-BD7E-0D9C7B0400AF}");
constexpr CLSID CLSID_Match = qrt::makeGuid("{E0FDAC3D-B7E0-4163-B8B5-7FE2328643BF}");
constexpr CLSID CLSID_SubMatches = qrt::makeGuid("{038B687E-8020-47A2-B209-781EEDBB8532}");

// Hands out a new reference to an object as the interface I.
template <class I, class T>
HRESULT handOut(const qrt::ComPtr<T>& object, I** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!object) return raiseError(rxerr::OutOfMemory);
    *out = static_cast<I*>(object.get());
    (*out)->AddRef();
    return S_OK;
}

// Walks a collection for For Each. It holds the collection, which produces
// item i through the function given.
class VariantEnumerator final : public qrt::ComObject<IEnumVARIANT> {
public:
    using ItemFn = HRESULT (*)(IUnknown* owner, ULONG index, VARIANT* out);
    VariantEnumerator(IUnknown* owner, ULONG count, ItemFn item, ULONG position = 0)
        : m_owner(owner), m_count(count), m_item(item), m_position(position) {}

    HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (count > 0 && !items) return E_POINTER;
        ULONG done = 0;
        while (done < count && m_position < m_count) {
            VariantInit(&items[done]);
            const HRESULT hr = m_item(m_owner.get(), m_position, &items[done]);
            if (FAILED(hr)) {
                for (ULONG i = 0; i < done; ++i) VariantClear(&items[i]);
                return hr;
            }
            ++done;
            ++m_position;
        }
        if (fetched) *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        const ULONG left = m_count - m_position;
        m_position += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        m_position = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumVARIANT** out) override {
        if (!out) return E_POINTER;
        auto copy = qrt::create<VariantEnumerator>(m_owner.get(), m_count, m_item, m_position);
        *out = copy.detach();
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    qrt::ComPtr<IUnknown> m_owner;
    ULONG m_count;
    ItemFn m_item;
    ULONG m_position;
};

HRESULT newEnumerator(IUnknown* owner, ULONG count, VariantEnumerator::ItemFn item, IUnknown** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto e = qrt::create<VariantEnumerator>(owner, count, item);
    if (!e) return raiseError(rxerr::OutOfMemory);
    *out = e.detach();
    return S_OK;
}

bool outside(LONG index, std::size_t count) { return index < 0 || static_cast<std::size_t>(index) >= count; }

class SubMatchesObject final
    : public qrt::ComObject<qrt::DispatchImpl<SubMatchesObject, ISubMatches>, IProvideClassInfo> {
public:
    SubMatchesObject(std::shared_ptr<const MatchSet> set, std::size_t match) : m_set(std::move(set)), m_match(match) {}

    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::DispatchTable table(u"ISubMatches", ISubMatches::IID, {
            qrt::getter<&ISubMatches::get_Item>(u"Item", DISPID_VALUE, {u"index"}),
            qrt::getter<&ISubMatches::get_Count>(u"Count", 1),
            qrt::getter<&ISubMatches::get__NewEnum>(u"_NewEnum", DISPID_NEWENUM),
        });
        return table;
    }

    HRESULT get_Item(LONG index, VARIANT* value) override {
        if (!value) return E_POINTER;
        VariantInit(value);
        if (outside(index, m_set->groups)) return raiseError(rxerr::InvalidCall);
        const auto g = static_cast<std::uint32_t>(index) + 1;
        const std::uint32_t start = m_set->start(m_match, g);
        if (start == MatchSet::kUnset) return S_OK;  // a group that took no part: Empty
        const std::uint32_t end = m_set->end(m_match, g);
        value->bstrVal = qrt::allocBstr(std::u16string_view(m_set->subject).substr(start, end - start));
        if (!value->bstrVal) return raiseError(rxerr::OutOfMemory);
        value->vt = VT_BSTR;
        return S_OK;
    }
    HRESULT get_Count(LONG* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(m_set->groups);
        return S_OK;
    }
    HRESULT get__NewEnum(IUnknown** out) override {
        return newEnumerator(unknown(), m_set->groups, &item, out);
    }
    HRESULT GetClassInfo(ITypeInfo** info) override {
        return qrt::classTypeInfo(u"ISubMatches", CLSID_SubMatches, dispatchTable().typeInfo(), nullptr, info);
    }

private:
    static HRESULT item(IUnknown* owner, ULONG index, VARIANT* out) {
        auto* self = static_cast<SubMatchesObject*>(static_cast<ISubMatches*>(owner));
        return self->get_Item(static_cast<LONG>(index), out);
    }

    std::shared_ptr<const MatchSet> m_set;
    std::size_t m_match;
};

class MatchObject final : public qrt::ComObject<qrt::DispatchImpl<MatchObject, IMatch2>, IProvideClassInfo> {
public:
    MatchObject(std::shared_ptr<const MatchSet> set, std::size_t match) : m_set(std::move(set)), m_match(match) {}

    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::DispatchTable table(u"IMatch2", IMatch2::IID, {
            qrt::getter<&IMatch2::get_Value>(u"Value", DISPID_VALUE),
            qrt::getter<&IMatch2::get_FirstIndex>(u"FirstIndex", 10001),
            qrt::getter<&IMatch2::get_Length>(u"Length", 10002),
            subMatchesMember(),
        });
        return table;
    }

    HRESULT get_Value(BSTR* value) override {
        if (!value) return E_POINTER;
        const std::uint32_t start = m_set->start(m_match, 0);
        *value = qrt::allocBstr(std::u16string_view(m_set->subject).substr(start, m_set->end(m_match, 0) - start));
        return *value ? S_OK : raiseError(rxerr::OutOfMemory);
    }
    HRESULT get_FirstIndex(LONG* index) override {
        if (!index) return E_POINTER;
        *index = static_cast<LONG>(m_set->start(m_match, 0));
        return S_OK;
    }
    HRESULT get_Length(LONG* length) override {
        if (!length) return E_POINTER;
        *length = static_cast<LONG>(m_set->end(m_match, 0) - m_set->start(m_match, 0));
        return S_OK;
    }
    HRESULT get_SubMatches(VARIANT index, VARIANT* result) override {
        if (!result) return E_POINTER;
        VariantInit(result);
        // One SubMatches per match, so that the same object comes back each time.
        if (!m_subMatches) m_subMatches = qrt::create<SubMatchesObject>(m_set, m_match);
        if (!m_subMatches) return raiseError(rxerr::OutOfMemory);
        if (index.vt == VT_ERROR && index.scode == DISP_E_PARAMNOTFOUND) {
            IDispatch* collection = nullptr;
            handOut<IDispatch>(m_subMatches, &collection);
            result->vt = VT_DISPATCH;
            result->pdispVal = collection;
            return S_OK;
        }
        qrt::Variant number;
        if (FAILED(VariantChangeType(&number, &index, 0, VT_I4))) return raiseError(rxerr::TypeMismatch);
        return m_subMatches->get_Item(number.lVal, result);
    }
    HRESULT GetClassInfo(ITypeInfo** info) override {
        return qrt::classTypeInfo(u"IMatch2", CLSID_Match, dispatchTable().typeInfo(), nullptr, info);
    }

private:
    // SubMatches as a property with an optional index.
    static qrt::DispMember subMatchesMember() {
        using F = qrt::detail::MemberFn<&IMatch2::get_SubMatches>;
        return qrt::detail::makeMember(u"SubMatches", 10003, INVOKE_PROPERTYGET, F::types(), {u"index"},
                                       qrt::MemberOptions{.retval = true, .optional = 1, .defaults = {}}, &F::call,
                                       &F::callGuarded);
    }

    std::shared_ptr<const MatchSet> m_set;
    std::size_t m_match;
    qrt::ComPtr<SubMatchesObject> m_subMatches;
};

class MatchCollection final
    : public qrt::ComObject<qrt::DispatchImpl<MatchCollection, IMatchCollection2>, IProvideClassInfo> {
public:
    explicit MatchCollection(std::shared_ptr<const MatchSet> set) : m_set(std::move(set)) {}

    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::DispatchTable table(u"IMatchCollection2", IMatchCollection2::IID, {
            qrt::getter<&IMatchCollection2::get_Item>(u"Item", DISPID_VALUE, {u"index"}),
            qrt::getter<&IMatchCollection2::get_Count>(u"Count", 1),
            qrt::getter<&IMatchCollection2::get__NewEnum>(u"_NewEnum", DISPID_NEWENUM),
        });
        return table;
    }

    HRESULT get_Item(LONG index, IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outside(index, m_set->count())) return raiseError(rxerr::InvalidCall);
        // Match objects are made when first asked for and kept, so that a
        // large result costs no object per match until a script reads it.
        if (m_matches.empty()) m_matches.resize(m_set->count());
        qrt::ComPtr<MatchObject>& match = m_matches[static_cast<std::size_t>(index)];
        if (!match) match = qrt::create<MatchObject>(m_set, static_cast<std::size_t>(index));
        return handOut<IDispatch>(match, out);
    }
    HRESULT get_Count(LONG* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(m_set->count());
        return S_OK;
    }
    HRESULT get__NewEnum(IUnknown** out) override {
        return newEnumerator(unknown(), static_cast<ULONG>(m_set->count()), &item, out);
    }
    HRESULT GetClassInfo(ITypeInfo** info) override {
        return qrt::classTypeInfo(u"IMatchCollection2", CLSID_MatchCollection, dispatchTable().typeInfo(), nullptr,
                                  info);
    }

private:
    static HRESULT item(IUnknown* owner, ULONG index, VARIANT* out) {
        auto* self = static_cast<MatchCollection*>(static_cast<IMatchCollection2*>(owner));
        IDispatch* match = nullptr;
        const HRESULT hr = self->get_Item(static_cast<LONG>(index), &match);
        if (FAILED(hr)) return hr;
        out->vt = VT_DISPATCH;
        out->pdispVal = match;
        return S_OK;
    }

    std::shared_ptr<const MatchSet> m_set;
    std::vector<qrt::ComPtr<MatchObject>> m_matches;
};

}  // namespace

void buildDispatchTables() {
    MatchCollection::dispatchTable();
    MatchObject::dispatchTable();
    SubMatchesObject::dispatchTable();
}

HRESULT createMatchCollection(std::shared_ptr<const MatchSet> set, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto matches = qrt::create<MatchCollection>(std::move(set));
    return handOut<IDispatch>(matches, out);
}

}  // namespace vbs::regexp

// The interpreter's work on values that is not in its main loop: indexing
// arrays and default members, stores into elements, and the iterators of
// For Each over arrays and collections.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"
#include "engines/vbscript/store_mode.h"

namespace vbs {

namespace {


class ArrayIter final : public IterBody {
public:
    explicit ArrayIter(Value array) : m_array(std::move(array)) {}
    bool next(Value& out) override {
        const ArrayBody* a = m_array.arr();
        if (m_index >= a->data.size()) return false;
        out = a->data[m_index++];
        return true;
    }

private:
    Value m_array;
    std::size_t m_index = 0;
};

class EnumIter final : public IterBody {
public:
    explicit EnumIter(IEnumVARIANT* e) : m_enum(e) {}
    ~EnumIter() override { m_enum->Release(); }
    bool next(Value& out) override {
        VARIANT v;
        VariantInit(&v);
        ULONG fetched = 0;
        HRESULT hr = m_enum->Next(1, &v, &fetched);
        if (FAILED(hr)) raiseHost(hr, {}, {});
        if (hr != S_OK || fetched != 1) return false;
        try {
            out = fromVariant(v);
        } catch (...) {
            VariantClear(&v);
            throw;
        }
        VariantClear(&v);
        return true;
    }

private:
    IEnumVARIANT* m_enum;
};

Value& element(ArrayBody* a, const Value* args, int argc) {
    if (static_cast<std::size_t>(argc) != a->bounds.size() || argc == 0) raise(err::SubscriptRange);
    std::size_t offset = 0, scale = 1;
    for (int d = 0; d < argc; ++d) {
        const ArrayBody::Bound& b = a->bounds[static_cast<std::size_t>(d)];
        std::int64_t i = static_cast<std::int64_t>(toLong(args[d])) - b.lower;
        if (i < 0 || i >= b.count) raise(err::SubscriptRange);
        offset += static_cast<std::size_t>(i) * scale;
        scale *= static_cast<std::size_t>(b.count);
    }
    return a->data[offset];
}

}  // namespace

Value Interpreter::indexInto(const Value& container, Value* args, int argc, bool invoke) {
    const Value& c = container.deref();
    if (c.isArray()) {
        if (argc == 0) return c;
        return element(c.arr(), args, argc);
    }
    if (c.isObject()) {
        if (argc == 0 && !invoke) return c;
        if (!c.obj()) raise(err::ObjectRequired);
        MemberSite site;
        site.id = DISPID_VALUE;
        return invokeMember(c.obj(), site, args, argc, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    }
    if (argc == 0) return c;
    raise(err::TypeMismatch);
}

Value Interpreter::elementReference(Value& var, Value* args, int argc) {
    Value& target = element(var.uniqueArray(), args, argc);
    return Value::elementRef(var, &target);
}

void Interpreter::storeElement(Value& var, Value* args, int argc, Value& value, std::uint16_t mode) {
    if (var.isArray()) {
        prepareStore(value, mode);
        element(var.uniqueArray(), args, argc) = std::move(value);
        return;
    }
    if (var.isObject()) {
        if (!var.obj()) raise(err::ObjectRequired);
        MemberSite site;
        site.id = DISPID_VALUE;
        invokeMember(var.obj(), site, args, argc, mode == kModeSet ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT, &value);
        return;
    }
    raise(err::TypeMismatch);
}

Value Interpreter::makeIterator(const Value& collection) {
    const Value& c = collection.deref();
    if (c.isArray()) return Value::iter(new ArrayIter(c));
    if (!c.isObject() || !c.obj()) raise(c.isObject() ? err::ObjectRequired : err::ObjectNotCollection);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    qrt::Variant result;
    EXCEPINFO excep{};
    HRESULT hr = c.obj()->Invoke(DISPID_NEWENUM, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                 &none, &result, &excep, nullptr);
    qrt::clearExcepInfo(&excep);
    if (FAILED(hr) || (result.vt != VT_UNKNOWN && result.vt != VT_DISPATCH) || !result.punkVal) {
        raise(err::ObjectNotCollection);
    }
    IEnumVARIANT* e = nullptr;
    if (FAILED(result.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&e))) || !e) {
        raise(err::ObjectNotCollection);
    }
    return Value::iter(new EnumIter(e));
}

}  // namespace vbs

#include "engines/vbscript/coerce.h"

#include "engines/vbscript/errors.h"
#include "runtime/bstr.h"
#include "runtime/safearray.h"

#include <cmath>
#include <limits>

namespace vbs {

namespace {

constexpr int kInvalidUseOfNull = 94;

std::u16string widen(std::string_view s) { return std::u16string(s.begin(), s.end()); }

// Text of a VARIANT-convertible scalar through the runtime's formatting.
std::u16string formatThroughVariant(VARIANT& v) {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, &v, VARIANT_ALPHABOOL, VT_BSTR))) raise(err::TypeMismatch);
    std::u16string out(qrt::bstrView(text.bstrVal));
    VariantClear(&text);
    return out;
}

bool isBoolWord(std::u16string_view text, bool& value) {
    std::size_t b = 0, e = text.size();
    while (b < e && (text[b] == u' ' || text[b] == u'\t')) ++b;
    while (e > b && (text[e - 1] == u' ' || text[e - 1] == u'\t')) --e;
    auto eq = [&](std::u16string_view word) {
        if (e - b != word.size()) return false;
        for (std::size_t i = 0; i < word.size(); ++i) {
            char16_t c = text[b + i];
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
            if (c != word[i]) return false;
        }
        return true;
    };
    // #TRUE# and #FALSE# are how Booleans are written out for files.
    if (eq(u"true") || eq(u"#true#")) { value = true; return true; }
    if (eq(u"false") || eq(u"#false#")) { value = false; return true; }
    return false;
}

double numberOf(const Value& v) {
    switch (v.tag()) {
    case Tag::Empty: return 0;
    case Tag::Boolean: return v.asBool() ? -1 : 0;
    case Tag::Byte: return v.asByte();
    case Tag::Integer: return v.asInteger();
    case Tag::Long: return v.asLong();
    case Tag::Single: return v.asSingle();
    case Tag::Double:
    case Tag::Date: return v.asDouble();
    case Tag::Currency: return static_cast<double>(v.asCurrency()) / 10000.0;
    case Tag::String: {
        // "True" and "False" are Booleans' texts, not numbers.
        double d;
        if (parseNumber(v.str(), d)) return d;
        raise(err::TypeMismatch);
    }
    case Tag::Null: raise(kInvalidUseOfNull);
    case Tag::Object: return numberOf(defaultValue(v.obj()));
    default: raise(err::TypeMismatch);
    }
}

std::int64_t checkedRound(double d, double lo, double hi) {
    if (std::isnan(d)) raise(err::Overflow);
    double r = roundEven(d);
    if (r < lo || r > hi) raise(err::Overflow);
    return static_cast<std::int64_t>(r);
}

}  // namespace

double roundEven(double d) { return std::nearbyint(d); }

bool isNumericTag(Tag t) { return t <= Tag::Date && t != Tag::Null; }

bool parseNumber(std::u16string_view text, double& out) {
    // The common case, plain decimal digits, without a round trip through BSTR.
    if (!text.empty() && text.size() < 10) {
        bool plain = true;
        std::int64_t n = 0;
        for (char16_t c : text) {
            if (c < u'0' || c > u'9') { plain = false; break; }
            n = n * 10 + (c - u'0');
        }
        if (plain) { out = static_cast<double>(n); return true; }
    }
    VARIANT in, num;
    VariantInit(&in);
    VariantInit(&num);
    in.vt = VT_BSTR;
    in.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    HRESULT hr = VariantChangeType(&num, &in, 0, VT_R8);
    VariantClear(&in);
    if (hr == DISP_E_OVERFLOW) raise(err::Overflow);
    if (FAILED(hr)) return false;
    out = num.dblVal;
    return true;
}

std::u16string formatNumber(double d) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = d;
    return formatThroughVariant(v);
}

Value defaultValue(IDispatch* object) {
    if (!object) raise(err::ObjectRequired);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    qrt::Variant result;
    EXCEPINFO excep{};
    HRESULT hr = object->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                                &none, &result, &excep, nullptr);
    if (FAILED(hr)) {
        std::u16string source(qrt::bstrView(excep.bstrSource)), text(qrt::bstrView(excep.bstrDescription));
        HRESULT code = hr == DISP_E_EXCEPTION && excep.scode ? excep.scode : hr;
        qrt::clearExcepInfo(&excep);
        if (code == DISP_E_MEMBERNOTFOUND || code == DISP_E_UNKNOWNNAME) raise(err::NotSupported);
        raiseHost(code, std::move(source), std::move(text));
    }
    Value v = fromVariant(result);
    if (v.isObject()) raise(err::NotSupported);
    return v;
}

Value toNumeric(const Value& value) {
    const Value& v = value.deref();
    switch (v.tag()) {
    case Tag::Empty: return Value::integer(0);
    case Tag::String: {
        double d;
        if (parseNumber(v.str(), d)) return Value::number(d);
        bool b;
        if (isBoolWord(v.str(), b)) return Value::boolean(b);
        raise(err::TypeMismatch);
    }
    case Tag::Object: return toNumeric(defaultValue(v.obj()));
    case Tag::Array:
    case Tag::Iter:
    case Tag::Error: raise(err::TypeMismatch);
    default: return v;
    }
}

double toDouble(const Value& value) { return numberOf(value.deref()); }

std::int32_t toLong(const Value& value) {
    const Value& v = value.deref();
    switch (v.tag()) {
    case Tag::Integer: return v.asInteger();
    case Tag::Long: return v.asLong();
    case Tag::Byte: return v.asByte();
    case Tag::Boolean: return v.asBool() ? -1 : 0;
    case Tag::Empty: return 0;
    default: return static_cast<std::int32_t>(checkedRound(numberOf(v), -2147483648.0, 2147483647.0));
    }
}

bool toBool(const Value& value) {
    const Value& v = value.deref();
    switch (v.tag()) {
    case Tag::Boolean: return v.asBool();
    case Tag::Empty: return false;
    case Tag::Integer: return v.asInteger() != 0;
    case Tag::Long: return v.asLong() != 0;
    case Tag::String: {
        bool b;
        if (isBoolWord(v.str(), b)) return b;
        double d;
        if (parseNumber(v.str(), d)) return d != 0;
        raise(err::TypeMismatch);
    }
    case Tag::Null: raise(kInvalidUseOfNull);
    case Tag::Object: return toBool(defaultValue(v.obj()));
    default: return numberOf(v) != 0;
    }
}

std::u16string toString(const Value& value) {
    const Value& v = value.deref();
    switch (v.tag()) {
    case Tag::Empty: return {};
    case Tag::String: return v.str();
    case Tag::Boolean: return v.asBool() ? u"True" : u"False";
    case Tag::Byte: return widen(std::to_string(v.asByte()));
    case Tag::Integer: return widen(std::to_string(v.asInteger()));
    case Tag::Long: return widen(std::to_string(v.asLong()));
    case Tag::Single:
    case Tag::Double:
    case Tag::Date:
    case Tag::Currency: {
        VARIANT x;
        toVariant(v, x);
        return formatThroughVariant(x);
    }
    case Tag::Null: raise(kInvalidUseOfNull);
    case Tag::Object: return toString(defaultValue(v.obj()));
    default: raise(err::TypeMismatch);
    }
}

Value convert(const Value& value, Tag target) {
    const Value& v = value.deref();
    if (v.isObject() && target != Tag::Object) return convert(defaultValue(v.obj()), target);
    if (v.tag() == target && target != Tag::Object) return v;
    if (v.isNull() && target != Tag::String) raise(kInvalidUseOfNull);
    switch (target) {
    case Tag::Boolean: return Value::boolean(toBool(v));
    case Tag::Byte:
        // True is all bits set: 255 in a byte.
        if (v.tag() == Tag::Boolean) return Value::byte(v.asBool() ? 255 : 0);
        return Value::byte(static_cast<std::uint8_t>(checkedRound(numberOf(v), 0, 255)));
    case Tag::Integer: return Value::integer(static_cast<std::int16_t>(checkedRound(numberOf(v), -32768, 32767)));
    case Tag::Long: return Value::longInt(toLong(v));
    case Tag::Single: {
        double d = numberOf(v);
        if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) raise(err::Overflow);
        return Value::single(static_cast<float>(d));
    }
    case Tag::Double: return Value::number(numberOf(v));
    case Tag::Currency: {
        double d = numberOf(v) * 10000.0;
        if (!(std::fabs(d) < 9.2233720368547e18)) raise(err::Overflow);
        return Value::currency(static_cast<std::int64_t>(roundEven(d)));
    }
    case Tag::Date: {
        if (v.isString()) {
            VARIANT in, out;
            VariantInit(&out);
            toVariant(v, in);
            HRESULT hr = VariantChangeType(&out, &in, 0, VT_DATE);
            VariantClear(&in);
            if (FAILED(hr)) raise(err::TypeMismatch);
            return Value::date(out.date);
        }
        return Value::date(numberOf(v));
    }
    case Tag::String:
        if (v.isNull()) raise(kInvalidUseOfNull);
        return Value::string(toString(v));
    default: raise(err::TypeMismatch);
    }
}

namespace {

// Arrays nested deeper than this (a = Array(a) in a loop) are refused rather
// than converted by ever deeper recursion.
constexpr int kMaxVariantNesting = 256;

void toVariantAt(const Value& value, VARIANT& out, int depth);

}  // namespace

void toVariant(const Value& value, VARIANT& out) { toVariantAt(value, out, 0); }

namespace {

void toVariantAt(const Value& value, VARIANT& out, int depth) {
    const Value& v = value.deref();
    out.vt = VT_EMPTY;
    out.wReserved1 = out.wReserved2 = out.wReserved3 = 0;
    switch (v.tag()) {
    case Tag::Empty: break;
    case Tag::Null: out.vt = VT_NULL; break;
    case Tag::Boolean: out.vt = VT_BOOL; out.boolVal = toVariantBool(v.asBool()); break;
    case Tag::Byte: out.vt = VT_UI1; out.bVal = v.asByte(); break;
    case Tag::Integer: out.vt = VT_I2; out.iVal = v.asInteger(); break;
    case Tag::Long: out.vt = VT_I4; out.lVal = v.asLong(); break;
    case Tag::Single: out.vt = VT_R4; out.fltVal = v.asSingle(); break;
    case Tag::Double: out.vt = VT_R8; out.dblVal = v.asDouble(); break;
    case Tag::Date: out.vt = VT_DATE; out.date = v.asDouble(); break;
    case Tag::Currency: out.vt = VT_CY; out.cyVal.int64 = v.asCurrency(); break;
    case Tag::Error: out.vt = VT_ERROR; out.scode = v.asError(); break;
    case Tag::String:
        out.vt = VT_BSTR;
        out.bstrVal = SysAllocStringLen(v.str().data(), static_cast<UINT>(v.str().size()));
        break;
    case Tag::Object:
        out.vt = VT_DISPATCH;
        out.pdispVal = v.obj();
        if (out.pdispVal) out.pdispVal->AddRef();
        break;
    case Tag::Array: {
        if (depth >= kMaxVariantNesting) raise(err::OutOfStack);
        const ArrayBody* a = v.arr();
        std::vector<SAFEARRAYBOUND> bounds;
        for (const auto& b : a->bounds) bounds.push_back({static_cast<ULONG>(b.count), b.lower});
        SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, static_cast<UINT>(bounds.size()), bounds.data());
        if (!psa) raise(err::OutOfMemory);
        VARIANT* data = nullptr;
        SafeArrayAccessData(psa, reinterpret_cast<void**>(&data));
        try {
            for (std::size_t i = 0; i < a->data.size(); ++i) toVariantAt(a->data[i], data[i], depth + 1);
        } catch (...) {
            SafeArrayUnaccessData(psa);
            SafeArrayDestroy(psa);
            throw;
        }
        SafeArrayUnaccessData(psa);
        out.vt = VT_ARRAY | VT_VARIANT;
        out.parray = psa;
        break;
    }
    default: break;
    }
}

Value fromSafeArray(SAFEARRAY* psa) {
    if (!psa) return Value::array(newArray({}));
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(psa, &vt);
    const UINT dims = SafeArrayGetDim(psa);
    auto* a = new ArrayBody;
    Value result = Value::array(a);
    std::size_t total = 1;
    for (UINT d = 1; d <= dims; ++d) {
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(psa, d, &lo);
        SafeArrayGetUBound(psa, d, &hi);
        a->bounds.push_back({lo, hi - lo + 1});
        total *= static_cast<std::size_t>(hi - lo + 1);
    }
    a->data.resize(dims ? total : 0);
    // Walk the elements in storage order: the first index fastest.
    std::vector<LONG> index(dims);
    for (UINT d = 0; d < dims; ++d) index[d] = a->bounds[d].lower;
    for (std::size_t i = 0; i < a->data.size(); ++i) {
        VARIANT element;
        VariantInit(&element);
        void* ptr = nullptr;
        if (SUCCEEDED(SafeArrayPtrOfIndex(psa, index.data(), &ptr))) {
            if (vt == VT_VARIANT) {
                a->data[i] = fromVariant(*static_cast<VARIANT*>(ptr));
            } else {
                VARIANT ref;
                VariantInit(&ref);
                ref.vt = static_cast<VARTYPE>(vt | VT_BYREF);
                ref.byref = ptr;
                a->data[i] = fromVariant(ref);
            }
        }
        for (UINT d = 0; d < dims; ++d) {
            if (++index[d] < a->bounds[d].lower + a->bounds[d].count) break;
            index[d] = a->bounds[d].lower;
        }
    }
    return result;
}

}  // namespace

Value fromVariant(const VARIANT& in) {
    const VARIANT* v = &in;
    if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
    if (!v) return {};
    const bool byRef = (v->vt & VT_BYREF) != 0;
    const VARTYPE vt = static_cast<VARTYPE>(v->vt & ~VT_BYREF);
    auto field = [&](auto VARIANT::*direct, auto VARIANT::*pointer) { return byRef ? *(v->*pointer) : v->*direct; };
    if (vt & VT_ARRAY) return fromSafeArray(byRef ? *v->pparray : v->parray);
    switch (vt) {
    case VT_EMPTY: return {};
    case VT_NULL: return Value::null();
    case VT_I2: return Value::integer(field(&VARIANT::iVal, &VARIANT::piVal));
    case VT_I4:
    case VT_INT: return Value::longInt(byRef ? *v->plVal : v->lVal);
    case VT_R4: return Value::single(field(&VARIANT::fltVal, &VARIANT::pfltVal));
    case VT_R8: return Value::number(field(&VARIANT::dblVal, &VARIANT::pdblVal));
    case VT_CY: return Value::currency((byRef ? *v->pcyVal : v->cyVal).int64);
    case VT_DATE: return Value::date(field(&VARIANT::date, &VARIANT::pdate));
    case VT_BSTR: return Value::string(qrt::bstrView(field(&VARIANT::bstrVal, &VARIANT::pbstrVal)));
    case VT_DISPATCH: return Value::object(field(&VARIANT::pdispVal, &VARIANT::ppdispVal));
    case VT_UNKNOWN: {
        IUnknown* unk = field(&VARIANT::punkVal, &VARIANT::ppunkVal);
        if (!unk) return Value::nothing();
        IDispatch* d = nullptr;
        if (FAILED(unk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)))) raise(err::NoAutomation);
        return Value::attachObject(d);
    }
    case VT_ERROR: return Value::error(field(&VARIANT::scode, &VARIANT::pscode));
    case VT_BOOL: return Value::boolean(field(&VARIANT::boolVal, &VARIANT::pboolVal) != VARIANT_FALSE);
    case VT_UI1: return Value::byte(field(&VARIANT::bVal, &VARIANT::pbVal));
    case VT_I1: return Value::integer(byRef ? *v->pcVal : v->cVal);
    case VT_UI2: return Value::longInt(byRef ? *v->puiVal : v->uiVal);
    case VT_UI4:
    case VT_UINT: {
        ULONG u = byRef ? *v->pulVal : v->ulVal;
        return u <= 0x7FFFFFFFu ? Value::longInt(static_cast<std::int32_t>(u)) : Value::number(u);
    }
    case VT_I8: {
        LONGLONG n = byRef ? *v->pllVal : v->llVal;
        return n >= INT32_MIN && n <= INT32_MAX ? Value::longInt(static_cast<std::int32_t>(n))
                                                : Value::number(static_cast<double>(n));
    }
    case VT_UI8: return Value::number(static_cast<double>(byRef ? *v->pullVal : v->ullVal));
    case VT_VARIANT:
        if (byRef && v->pvarVal) return fromVariant(*v->pvarVal);
        return {};
    default: raise(err::TypeMismatch);
    }
}

}  // namespace vbs

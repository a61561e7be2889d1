// Values between scripts and components: VARIANT <-> script value, strings,
// and safe arrays as VBArray objects.
#include "engines/jscript/duk_bridge.h"
#include "runtime/bstr.h"
#include "runtime/safearray.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace jscript {

std::string toCesu8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string fromCesu8(const char* bytes, duk_size_t length) {
    std::u16string out;
    out.reserve(length);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* end = p + length;
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            out.push_back(b);
            ++p;
        } else if ((b & 0xE0) == 0xC0 && end - p >= 2) {
            out.push_back(static_cast<char16_t>(((b & 0x1F) << 6) | (p[1] & 0x3F)));
            p += 2;
        } else if ((b & 0xF0) == 0xE0 && end - p >= 3) {
            out.push_back(static_cast<char16_t>(((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F)));
            p += 3;
        } else if ((b & 0xF8) == 0xF0 && end - p >= 4) {
            // Plain UTF-8 for a supplementary character (Duktape keeps such
            // text as given): a surrogate pair.
            const char32_t cp = ((b & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            const char32_t v = cp - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
            p += 4;
        } else {
            out.push_back(u'\uFFFD');
            ++p;
        }
    }
    return out;
}

void pushText(duk_context* ctx, std::u16string_view text) {
    bool ascii = true;
    for (char16_t c : text) {
        if (c >= 0x80) { ascii = false; break; }
    }
    if (ascii) {
        // Fast path: narrow in a small buffer.
        char small[128];
        if (text.size() <= sizeof small) {
            for (std::size_t i = 0; i < text.size(); ++i) small[i] = static_cast<char>(text[i]);
            duk_push_lstring(ctx, small, text.size());
            return;
        }
    }
    const std::string bytes = toCesu8(text);
    duk_push_lstring(ctx, bytes.data(), bytes.size());
}

std::u16string textAt(duk_context* ctx, duk_idx_t idx) {
    // The coercion replaces the value it converts, so convert a copy.
    duk_dup(ctx, idx);
    duk_size_t length = 0;
    const char* bytes = duk_safe_to_lstring(ctx, -1, &length);
    std::u16string text = fromCesu8(bytes, length);
    duk_pop(ctx);
    return text;
}

namespace {

// A DATE is local wall-clock time; the script's Date the same moment.
void pushDate(duk_context* ctx, DATE date) {
    duk_get_global_string(ctx, "Date");             // [... Date]
    duk_push_number(ctx, timeOfVarDate(date));      // [... Date ms]
    duk_new(ctx, 1);                                // [... date]
}

bool isDate(duk_context* ctx, duk_idx_t idx) {
    idx = duk_normalize_index(ctx, idx);
    duk_get_global_string(ctx, "Date");
    const bool result = duk_instanceof(ctx, idx, -1);
    duk_pop(ctx);
    return result;
}

// A copy of one element of a safe array, as a VARIANT.
void readElement(SAFEARRAY* array, const void* element, qrt::Variant& out) {
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(array, &vt);
    if (vt == VT_VARIANT) {
        VariantCopy(&out, static_cast<const VARIANT*>(element));
        return;
    }
    // Every other element type lies at the start of the value union.
    VARIANT view;
    VariantInit(&view);
    view.vt = vt;
    std::memcpy(&view.llVal, element, std::min<std::size_t>(array->cbElements, sizeof view.llVal));
    VariantCopy(&out, &view);  // deep copy of strings and interfaces
}

std::size_t elementCountOf(SAFEARRAY* array) {
    std::size_t count = 1;
    for (USHORT d = 0; d < array->cDims; ++d) count *= array->rgsabound[d].cElements;
    return array->cDims == 0 ? 0 : count;
}

void pushArrayAsVBArray(duk_context* ctx, SAFEARRAY* source) {
    SAFEARRAY* copy = nullptr;
    if (!source || FAILED(SafeArrayCopy(source, &copy))) {
        duk_push_null(ctx);
        return;
    }
    pushVBArray(ctx, copy);
}

// A script array as a one-dimensional safe array of VARIANTs, lower bound 0.
void arrayToVariant(duk_context* ctx, duk_idx_t idx, VARIANT* out) {
    idx = duk_normalize_index(ctx, idx);
    const duk_size_t length = duk_get_length(ctx, idx);
    if (length > std::numeric_limits<ULONG>::max()) throwScriptError(ctx, DUK_ERR_RANGE_ERROR, E_OUTOFMEMORY, "Array too large");
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(length));
    if (!array) throwScriptError(ctx, DUK_ERR_RANGE_ERROR, E_OUTOFMEMORY, "Out of memory");
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;  // owned by *out from here, so an error below frees it with the caller's variant
    auto* elements = static_cast<VARIANT*>(array->pvData);
    for (duk_size_t i = 0; i < length; ++i) {
        duk_get_prop_index(ctx, idx, static_cast<duk_uarridx_t>(i));
        toVariant(ctx, -1, &elements[i]);
        duk_pop(ctx);
    }
}

}  // namespace

void pushVariant(duk_context* ctx, const VARIANT& value) {
    if (value.vt & VT_BYREF) {
        qrt::Variant plain;
        if (FAILED(VariantCopyInd(&plain, &value))) {
            duk_push_undefined(ctx);
            return;
        }
        pushVariant(ctx, plain);
        return;
    }
    if (value.vt & VT_ARRAY) {
        pushArrayAsVBArray(ctx, value.parray);
        return;
    }
    switch (value.vt) {
    case VT_EMPTY: duk_push_undefined(ctx); return;
    case VT_NULL: duk_push_null(ctx); return;
    case VT_I1: duk_push_int(ctx, value.cVal); return;
    case VT_I2: duk_push_int(ctx, value.iVal); return;
    case VT_I4: duk_push_int(ctx, value.lVal); return;
    case VT_INT: duk_push_int(ctx, value.intVal); return;
    case VT_UI1: duk_push_uint(ctx, value.bVal); return;
    case VT_UI2: duk_push_uint(ctx, value.uiVal); return;
    case VT_UI4: duk_push_uint(ctx, value.ulVal); return;
    case VT_UINT: duk_push_uint(ctx, value.uintVal); return;
    case VT_I8: duk_push_number(ctx, static_cast<double>(value.llVal)); return;
    case VT_UI8: duk_push_number(ctx, static_cast<double>(value.ullVal)); return;
    case VT_R4: duk_push_number(ctx, value.fltVal); return;
    case VT_R8: duk_push_number(ctx, value.dblVal); return;
    case VT_BOOL: duk_push_boolean(ctx, value.boolVal != VARIANT_FALSE); return;
    case VT_BSTR: pushText(ctx, qrt::bstrView(value.bstrVal)); return;
    case VT_DATE: pushDate(ctx, value.date); return;
    case VT_DISPATCH: pushDispatch(ctx, value.pdispVal); return;
    case VT_UNKNOWN: {
        qrt::ComPtr<IDispatch> dispatch;
        if (value.punkVal) value.punkVal->QueryInterface(IDispatch::IID, dispatch.outVoid());
        if (dispatch) pushDispatch(ctx, dispatch.get());
        else duk_push_null(ctx);
        return;
    }
    case VT_ERROR:
        // A missing optional argument reads as undefined.
        if (value.scode == DISP_E_PARAMNOTFOUND) duk_push_undefined(ctx);
        else duk_push_int(ctx, value.scode);
        return;
    default: {
        qrt::Variant number;
        if (SUCCEEDED(VariantChangeType(&number, &value, 0, VT_R8))) duk_push_number(ctx, number.dblVal);
        else duk_push_undefined(ctx);
        return;
    }
    }
}

void toVariant(duk_context* ctx, duk_idx_t idx, VARIANT* out) {
    switch (duk_get_type(ctx, idx)) {
    case DUK_TYPE_NONE:
    case DUK_TYPE_UNDEFINED: out->vt = VT_EMPTY; return;
    case DUK_TYPE_NULL: out->vt = VT_NULL; return;
    case DUK_TYPE_BOOLEAN:
        out->vt = VT_BOOL;
        out->boolVal = duk_get_boolean(ctx, idx) ? VARIANT_TRUE : VARIANT_FALSE;
        return;
    case DUK_TYPE_NUMBER: {
        const double d = duk_get_number(ctx, idx);
        // Integral numbers in range travel as 32-bit integers; -0 keeps its sign as a double.
        if (d >= std::numeric_limits<LONG>::min() && d <= std::numeric_limits<LONG>::max() && d == std::trunc(d) &&
            !(d == 0 && std::signbit(d))) {
            out->vt = VT_I4;
            out->lVal = static_cast<LONG>(d);
        } else {
            out->vt = VT_R8;
            out->dblVal = d;
        }
        return;
    }
    case DUK_TYPE_STRING: {
        duk_size_t length = 0;
        const char* bytes = duk_get_lstring(ctx, idx, &length);
        out->vt = VT_BSTR;
        out->bstrVal = qrt::allocBstr(fromCesu8(bytes, length));
        return;
    }
    case DUK_TYPE_OBJECT:
    case DUK_TYPE_LIGHTFUNC:
        break;
    default:
        out->vt = VT_EMPTY;
        return;
    }
    if (IDispatch* object = dispatchOf(ctx, idx)) {
        object->AddRef();
        out->vt = VT_DISPATCH;
        out->pdispVal = object;
        return;
    }
    if (SAFEARRAY* array = vbArrayOf(ctx, idx)) {
        SAFEARRAY* copy = nullptr;
        VARTYPE vt = VT_VARIANT;
        SafeArrayGetVartype(array, &vt);
        if (FAILED(SafeArrayCopy(array, &copy))) throwScriptError(ctx, DUK_ERR_RANGE_ERROR, E_OUTOFMEMORY, "Out of memory");
        out->vt = VT_ARRAY | vt;
        out->parray = copy;
        return;
    }
    if (duk_is_array(ctx, idx)) {
        arrayToVariant(ctx, idx, out);
        return;
    }
    // A var-date (getVarDate) and a Date both cross as dates.
    if (duk_get_prop_literal(ctx, idx, kVarDateKey)) {  // [... date]
        out->vt = VT_DATE;
        out->date = duk_get_number(ctx, -1);
        duk_pop(ctx);
        return;
    }
    duk_pop(ctx);
    if (isDate(ctx, idx)) {
        idx = duk_normalize_index(ctx, idx);
        duk_get_prop_string(ctx, idx, "getTime");  // [... getTime]
        duk_dup(ctx, idx);                         // [... getTime date]
        duk_call_method(ctx, 0);                   // [... ms]
        const double ms = duk_get_number(ctx, -1);
        duk_pop(ctx);
        if (!std::isfinite(ms)) {
            out->vt = VT_NULL;  // an invalid date has no DATE
            return;
        }
        out->vt = VT_DATE;
        out->date = varDateOfTime(ms);
        return;
    }
    qrt::ComPtr<IDispatch> object = scriptObjectDispatch(ctx, idx);
    out->vt = VT_DISPATCH;
    out->pdispVal = object.detach();
}

// --- VBArray ---------------------------------------------------------------

SAFEARRAY* vbArrayOf(duk_context* ctx, duk_idx_t idx) {
    if (!duk_is_object(ctx, idx)) return nullptr;
    duk_get_prop_literal(ctx, idx, kSafeArrayKey);
    auto* array = static_cast<SAFEARRAY*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    return array;
}

namespace {

constexpr HRESULT kSubscriptOutOfRange = static_cast<HRESULT>(0x800A0009);
constexpr HRESULT kVBArrayExpected = static_cast<HRESULT>(0x800A1395);

duk_ret_t finalizeVBArray(duk_context* ctx) {
    // [obj]; objects merely inheriting from a VBArray own nothing.
    auto* array = static_cast<SAFEARRAY*>(ownPointer(ctx, 0, kSafeArrayKey));
    if (!array) return 0;
    SafeArrayDestroy(array);
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, kSafeArrayKey);
    return 0;
}

SAFEARRAY* thisArray(duk_context* ctx) {
    duk_push_this(ctx);
    SAFEARRAY* array = vbArrayOf(ctx, -1);
    duk_pop(ctx);
    if (!array) throwScriptError(ctx, DUK_ERR_TYPE_ERROR, kVBArrayExpected, "VBArray expected");
    return array;
}

UINT dimensionArgument(duk_context* ctx, SAFEARRAY* array) {
    const double d = duk_is_undefined(ctx, 0) ? 1 : duk_to_number(ctx, 0);
    if (!(d >= 1 && d <= array->cDims)) throwScriptError(ctx, DUK_ERR_RANGE_ERROR, kSubscriptOutOfRange, "Subscript out of range");
    return static_cast<UINT>(d);
}

duk_ret_t vbDimensions(duk_context* ctx) {
    duk_push_uint(ctx, thisArray(ctx)->cDims);
    return 1;
}

duk_ret_t vbLbound(duk_context* ctx) {
    SAFEARRAY* array = thisArray(ctx);
    LONG bound = 0;
    SafeArrayGetLBound(array, dimensionArgument(ctx, array), &bound);
    duk_push_int(ctx, bound);
    return 1;
}

duk_ret_t vbUbound(duk_context* ctx) {
    SAFEARRAY* array = thisArray(ctx);
    LONG bound = 0;
    SafeArrayGetUBound(array, dimensionArgument(ctx, array), &bound);
    duk_push_int(ctx, bound);
    return 1;
}

duk_ret_t vbGetItem(duk_context* ctx) {
    SAFEARRAY* array = thisArray(ctx);
    const duk_idx_t count = duk_get_top(ctx);
    if (count != static_cast<duk_idx_t>(array->cDims))
        throwScriptError(ctx, DUK_ERR_RANGE_ERROR, kSubscriptOutOfRange, "Subscript out of range");
    std::vector<LONG> indices(array->cDims);
    for (duk_idx_t i = 0; i < count; ++i) {
        const double d = duk_to_number(ctx, i);
        if (!(d >= std::numeric_limits<LONG>::min() && d <= std::numeric_limits<LONG>::max()))
            throwScriptError(ctx, DUK_ERR_RANGE_ERROR, kSubscriptOutOfRange, "Subscript out of range");
        indices[i] = static_cast<LONG>(d);
    }
    void* element = nullptr;
    if (FAILED(SafeArrayPtrOfIndex(array, indices.data(), &element)))
        throwScriptError(ctx, DUK_ERR_RANGE_ERROR, kSubscriptOutOfRange, "Subscript out of range");
    qrt::Variant value;
    readElement(array, element, value);
    pushVariant(ctx, value);
    return 1;
}

// All elements in storage order (the first index varies fastest).
duk_ret_t vbToArray(duk_context* ctx) {
    SAFEARRAY* array = thisArray(ctx);
    const std::size_t count = elementCountOf(array);
    duk_push_array(ctx);  // [result]
    const auto* data = static_cast<const unsigned char*>(array->pvData);
    for (std::size_t i = 0; i < count; ++i) {
        qrt::Variant value;
        readElement(array, data + i * array->cbElements, value);
        pushVariant(ctx, value);  // [result value]
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    }
    return 1;
}

// new VBArray(value): a VBArray from a safe array the script received.
duk_ret_t vbConstruct(duk_context* ctx) {
    SAFEARRAY* array = vbArrayOf(ctx, 0);
    if (!array) throwScriptError(ctx, DUK_ERR_TYPE_ERROR, kVBArrayExpected, "VBArray expected");
    pushArrayAsVBArray(ctx, array);
    return 1;
}

constexpr const char* kVBArrayPrototypeKey = DUK_HIDDEN_SYMBOL("qVBArrayPrototype");

}  // namespace

void installVBArray(duk_context* ctx) {
    duk_push_c_function(ctx, vbConstruct, 1);  // [ctor]
    duk_push_object(ctx);                      // [ctor proto]
    const duk_function_list_entry methods[] = {
        {"dimensions", vbDimensions, 0},
        {"lbound", vbLbound, 1},
        {"ubound", vbUbound, 1},
        {"getItem", vbGetItem, DUK_VARARGS},
        {"toArray", vbToArray, 0},
        {nullptr, nullptr, 0},
    };
    duk_put_function_list(ctx, -1, methods);
    duk_push_c_function(ctx, finalizeVBArray, 1);
    duk_set_finalizer(ctx, -2);  // instances inherit the finalizer
    duk_push_heap_stash(ctx);    // [ctor proto stash]
    duk_dup(ctx, -2);
    duk_put_prop_string(ctx, -2, kVBArrayPrototypeKey);
    duk_pop(ctx);                // [ctor proto]
    duk_put_prop_string(ctx, -2, "prototype");
    duk_put_global_string(ctx, "VBArray");
}

void pushVBArray(duk_context* ctx, SAFEARRAY* array) {
    duk_push_object(ctx);  // [obj]
    duk_push_pointer(ctx, array);
    duk_put_prop_string(ctx, -2, kSafeArrayKey);
    duk_push_heap_stash(ctx);  // [obj stash]
    duk_get_prop_string(ctx, -1, kVBArrayPrototypeKey);
    duk_remove(ctx, -2);        // [obj proto]
    duk_set_prototype(ctx, -2);  // [obj]
}

}  // namespace jscript

// The script's ways to components: ActiveXObject and GetObject make them,
// and Enumerator walks a collection (its _NewEnum) or a script array.
#include "engines/jscript/duk_bridge.h"
#include "runtime/activation.h"

#include <memory>

namespace jscript {
namespace {

constexpr const char* kEnumStateKey = DUK_HIDDEN_SYMBOL("qenum");
constexpr const char* kEnumArrayKey = DUK_HIDDEN_SYMBOL("qenumArray");
constexpr const char* kEnumeratorPrototypeKey = DUK_HIDDEN_SYMBOL("qEnumeratorPrototype");

constexpr HRESULT kInvalidCall = static_cast<HRESULT>(0x800A0005);
constexpr HRESULT kCannotCreateObject = static_cast<HRESULT>(0x800A01AD);
constexpr HRESULT kFileOrClassNotFound = static_cast<HRESULT>(0x800A01B0);
constexpr HRESULT kNotACollection = static_cast<HRESULT>(0x800A01C3);
constexpr HRESULT kEnumeratorExpected = static_cast<HRESULT>(0x800A1397);

void pushCreated(duk_context* ctx, const std::u16string& progId) {
    qrt::ComPtr<IDispatch> object;
    const HRESULT hr = qrt::createObject(progId, object);
    if (FAILED(hr) || !object) {
        throwScriptError(ctx, DUK_ERR_ERROR, kCannotCreateObject,
                         "Automation server can't create object: " + toCesu8(progId));
    }
    pushDispatch(ctx, object.get());  // [.. object]
}

duk_ret_t activeXObject(duk_context* ctx) {
    pushCreated(ctx, textAt(ctx, 0));
    return 1;
}

// GetObject(path, class). The runtime has neither monikers nor a table of
// running objects, so the one form it serves is GetObject("", "Class"): a
// new object of the class, as ActiveXObject makes it. A path names a file
// nothing can bind to; a class alone asks for a running object.
duk_ret_t getObject(duk_context* ctx) {
    const bool hasPath = !duk_is_undefined(ctx, 0) && !duk_is_null(ctx, 0);
    const bool hasClass = !duk_is_undefined(ctx, 1) && !duk_is_null(ctx, 1);
    const std::u16string path = hasPath ? textAt(ctx, 0) : std::u16string();
    const std::u16string progId = hasClass ? textAt(ctx, 1) : std::u16string();
    if (!path.empty()) {
        throwScriptError(ctx, DUK_ERR_ERROR, kFileOrClassNotFound,
                         "File name or class name not found during Automation operation");
    }
    if (progId.empty()) throwScriptError(ctx, DUK_ERR_ERROR, kInvalidCall, "Invalid procedure call or argument");
    if (!hasPath) {
        throwScriptError(ctx, DUK_ERR_ERROR, kCannotCreateObject,
                         "Automation server can't create object: " + toCesu8(progId));
    }
    pushCreated(ctx, progId);
    return 1;
}

// What an Enumerator walks: a component's IEnumVARIANT, or the script array
// kept on the enumerator object (kEnumArrayKey) by index.
struct EnumState {
    qrt::ComPtr<IEnumVARIANT> items;
    qrt::Variant current;
    bool overArray = false;
    duk_uarridx_t index = 0;
    bool atEnd = true;

    void fetch() {
        current.clear();
        ULONG fetched = 0;
        atEnd = !items || items->Next(1, &current, &fetched) != S_OK || fetched != 1;
        if (atEnd) current.clear();
    }
};

EnumState* thisEnum(duk_context* ctx) {
    duk_push_this(ctx);
    auto* state = static_cast<EnumState*>(ownPointer(ctx, -1, kEnumStateKey));
    duk_pop(ctx);
    if (!state) throwScriptError(ctx, DUK_ERR_TYPE_ERROR, kEnumeratorExpected, "Enumerator object expected");
    return state;
}

// The enumerated array's length; the array may have changed since the last step.
duk_size_t arrayLength(duk_context* ctx) {
    duk_push_this(ctx);
    duk_get_prop_string(ctx, -1, kEnumArrayKey);  // [this array]
    const duk_size_t length = duk_get_length(ctx, -1);
    duk_pop_2(ctx);
    return length;
}

bool atEnd(duk_context* ctx, EnumState& state) {
    return state.overArray ? state.index >= arrayLength(ctx) : state.atEnd;
}

duk_ret_t finalizeEnum(duk_context* ctx) {
    auto* state = static_cast<EnumState*>(ownPointer(ctx, 0, kEnumStateKey));
    if (!state) return 0;
    delete state;
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, kEnumStateKey);
    return 0;
}

duk_ret_t enumAtEnd(duk_context* ctx) {
    EnumState* state = thisEnum(ctx);
    duk_push_boolean(ctx, atEnd(ctx, *state));
    return 1;
}

duk_ret_t enumItem(duk_context* ctx) {
    EnumState* state = thisEnum(ctx);
    if (!state->overArray) {
        pushVariant(ctx, state->current);
        return 1;
    }
    if (state->index >= arrayLength(ctx)) return 0;  // undefined at the end
    duk_push_this(ctx);
    duk_get_prop_string(ctx, -1, kEnumArrayKey);  // [this array]
    duk_get_prop_index(ctx, -1, state->index);     // [this array item]
    return 1;
}

duk_ret_t enumMoveNext(duk_context* ctx) {
    EnumState* state = thisEnum(ctx);
    if (state->overArray) {
        if (state->index < arrayLength(ctx)) ++state->index;
    } else if (!state->atEnd) {
        state->fetch();
    }
    return 0;
}

duk_ret_t enumMoveFirst(duk_context* ctx) {
    EnumState* state = thisEnum(ctx);
    if (state->overArray) {
        state->index = 0;
        return 0;
    }
    if (state->items) state->items->Reset();
    state->fetch();
    return 0;
}

// new Enumerator(collection | array)
duk_ret_t enumConstruct(duk_context* ctx) {
    auto state = std::make_unique<EnumState>();
    const bool overArray = duk_is_array(ctx, 0);
    if (overArray) {
        state->overArray = true;
    } else if (!duk_is_undefined(ctx, 0)) {
        IDispatch* collection = dispatchOf(ctx, 0);
        if (!collection) throwScriptError(ctx, DUK_ERR_TYPE_ERROR, kNotACollection, "Object not a collection");
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        qrt::Variant result;
        EXCEPINFO excep{};
        UINT argErr = 0;
        const HRESULT hr = collection->Invoke(DISPID_NEWENUM, GUID_NULL, LOCALE_USER_DEFAULT,
                                              DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result, &excep, &argErr);
        if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) {
            qrt::clearExcepInfo(&excep);
            throwScriptError(ctx, DUK_ERR_TYPE_ERROR, kNotACollection, "Object not a collection");
        }
        if (FAILED(hr)) throwHostFailure(ctx, hr, excep);
        IUnknown* unknown = result.vt == VT_UNKNOWN || result.vt == VT_DISPATCH ? result.punkVal : nullptr;
        if (!unknown || FAILED(unknown->QueryInterface(IEnumVARIANT::IID, state->items.outVoid())))
            throwScriptError(ctx, DUK_ERR_TYPE_ERROR, kNotACollection, "Object not a collection");
        state->fetch();
    }
    duk_push_object(ctx);  // [arg obj]
    duk_push_pointer(ctx, state.release());
    duk_put_prop_string(ctx, -2, kEnumStateKey);
    if (overArray) {
        duk_dup(ctx, 0);  // [arg obj array]
        duk_put_prop_string(ctx, -2, kEnumArrayKey);
    }
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kEnumeratorPrototypeKey);  // [arg obj stash proto]
    duk_remove(ctx, -2);
    duk_set_prototype(ctx, -2);  // [arg obj]
    return 1;
}

void installEnumerator(duk_context* ctx) {
    duk_push_c_function(ctx, enumConstruct, 1);  // [ctor]
    duk_push_object(ctx);                        // [ctor proto]
    const duk_function_list_entry methods[] = {
        {"atEnd", enumAtEnd, 0},
        {"item", enumItem, 0},
        {"moveFirst", enumMoveFirst, 0},
        {"moveNext", enumMoveNext, 0},
        {nullptr, nullptr, 0},
    };
    duk_put_function_list(ctx, -1, methods);
    duk_push_c_function(ctx, finalizeEnum, 1);
    duk_set_finalizer(ctx, -2);
    duk_push_heap_stash(ctx);  // [ctor proto stash]
    duk_dup(ctx, -2);
    duk_put_prop_string(ctx, -2, kEnumeratorPrototypeKey);
    duk_pop(ctx);  // [ctor proto]
    duk_put_prop_string(ctx, -2, "prototype");
    duk_put_global_string(ctx, "Enumerator");
}

}  // namespace

void installHostObjects(duk_context* ctx) {
    duk_push_c_function(ctx, activeXObject, 1);
    duk_put_global_string(ctx, "ActiveXObject");
    duk_push_c_function(ctx, getObject, 2);
    duk_put_global_string(ctx, "GetObject");
    installEnumerator(ctx);
}

}  // namespace jscript

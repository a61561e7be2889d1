// Component objects inside scripts.
//
// An object that describes itself with type information gets a prototype
// built once per interface: methods as functions, properties as accessors,
// each bound to its dispatch identifier, so a call costs one Invoke and no
// name lookup. Members bind without regard to case: the prototype also holds
// each member under the other spellings the script text uses. An object without type information is wrapped in a Proxy
// whose traps ask GetIDsOfNames (cached per object and name).
#include "engines/jscript/duk_bridge.h"
#include "engines/jscript/duk_runtime.h"
#include "runtime/bstr.h"

#include <algorithm>
#include <cmath>
#include <array>
#include <memory>
#include <limits>
#include <map>
#include <vector>

namespace jscript {
namespace {

constexpr const char* kMemberIdKey = DUK_HIDDEN_SYMBOL("qid");
constexpr const char* kIdCacheKey = DUK_HIDDEN_SYMBOL("qids");
constexpr const char* kProxyHandlerKey = DUK_HIDDEN_SYMBOL("qhandler");

constexpr HRESULT kObjectExpected = static_cast<HRESULT>(0x800A138F);
// The magic value of a member function whose identifier does not fit 16 bits.
constexpr duk_int_t kIdInProperty = std::numeric_limits<duk_int16_t>::min();

duk_ret_t finalizeDispatch(duk_context* ctx) {
    // [obj]; objects merely inheriting from a wrapper own nothing.
    HeapData& data = heapDataOf(ctx);
    if (data.cachedWrapper == duk_get_heapptr(ctx, 0)) {
        data.cachedWrapper = nullptr;
        data.cachedDispatch = nullptr;
    }
    auto* object = static_cast<IDispatch*>(ownPointer(ctx, 0, kDispatchKey));
    if (!object) return 0;
    if (data.cachedDispatch == object) {
        data.cachedWrapper = nullptr;
        data.cachedDispatch = nullptr;
    }
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_literal(ctx, 0, kDispatchKey);
    object->Release();
    return 0;
}

// Pushes a function calling member id; its identifier is kept in its magic
// value when it fits, else in a hidden property.
void pushMemberFunction(duk_context* ctx, duk_c_function fn, duk_idx_t nargs, DISPID id) {
    if (id >= -128 && id <= 127) {
        // Small identifiers fit a light function: no function object, and a
        // cheaper call.
        duk_push_c_lightfunc(ctx, fn, nargs, nargs == DUK_VARARGS ? 0 : nargs, id);
        return;
    }
    duk_push_c_function(ctx, fn, nargs);  // [fn]
    if (id > kIdInProperty && id <= std::numeric_limits<duk_int16_t>::max()) {
        duk_set_magic(ctx, -1, id);
    } else {
        duk_set_magic(ctx, -1, kIdInProperty);
        duk_push_int(ctx, id);
        duk_put_prop_string(ctx, -2, kMemberIdKey);
    }
}

DISPID currentMemberId(duk_context* ctx) {
    const duk_int_t magic = duk_get_current_magic(ctx);
    if (magic != kIdInProperty) return magic;
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kMemberIdKey);
    const DISPID id = duk_get_int(ctx, -1);
    duk_pop_2(ctx);
    return id;
}

IDispatch* thisDispatch(duk_context* ctx) {
    duk_push_this(ctx);
    HeapData& data = heapDataOf(ctx);
    void* wrapper = duk_get_heapptr(ctx, -1);
    if (wrapper && wrapper == data.cachedWrapper) {
        duk_pop(ctx);
        return data.cachedDispatch;
    }
    IDispatch* object = dispatchOf(ctx, -1);
    // Only a wrapper that owns its pointer is finalized as itself, which is
    // what keeps the cache right.
    if (object && ownPointer(ctx, -1, kDispatchKey) == object) {
        data.cachedWrapper = wrapper;
        data.cachedDispatch = object;
    }
    duk_pop(ctx);
    if (!object) throwScriptError(ctx, DUK_ERR_TYPE_ERROR, kObjectExpected, "Object expected");
    return object;
}

// A method of an object without type information, reached through its Proxy.
duk_ret_t proxiedMethod(duk_context* ctx) {
    duk_push_this(ctx);
    IDispatch* object = dispatchOf(ctx, -1);
    duk_pop(ctx);
    if (!object) throwScriptError(ctx, DUK_ERR_TYPE_ERROR, kObjectExpected, "Object expected");
    invokeHost(ctx, object, currentMemberId(ctx), DISPATCH_METHOD, 0, duk_get_top(ctx));
    return 1;
}

duk_ret_t hostMethod(duk_context* ctx) {
    IDispatch* object = thisDispatch(ctx);
    invokeHost(ctx, object, currentMemberId(ctx), DISPATCH_METHOD, 0, duk_get_top(ctx));
    return 1;
}

// A property with parameters: read as a call, obj.Item(3).
duk_ret_t hostIndexedGet(duk_context* ctx) {
    IDispatch* object = thisDispatch(ctx);
    invokeHost(ctx, object, currentMemberId(ctx), DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, duk_get_top(ctx));
    return 1;
}

duk_ret_t hostGetter(duk_context* ctx) {
    IDispatch* object = thisDispatch(ctx);
    invokeHost(ctx, object, currentMemberId(ctx), DISPATCH_PROPERTYGET, 0, 0);
    return 1;
}

WORD putFlags(duk_context* ctx, duk_idx_t value) {
    // Objects may be assigned by reference (Set) or by value; the object picks.
    return dispatchOf(ctx, value) || duk_is_object(ctx, value) ? DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF
                                                               : DISPATCH_PROPERTYPUT;
}

duk_ret_t hostSetter(duk_context* ctx) {
    // [value]
    IDispatch* object = thisDispatch(ctx);
    invokeHost(ctx, object, currentMemberId(ctx), putFlags(ctx, 0), 0, 1);
    return 0;
}

struct MemberShape {
    DISPID id = DISPID_UNKNOWN;
    bool method = false;
    bool indexedGet = false;
    bool getter = false;
    bool setter = false;
};

// Pushes the prototype for objects described by info, building it once per
// interface identifier.
void pushTypedPrototype(duk_context* ctx, ITypeInfo* info, const GUID& iid) {
    const std::string key = qrt::guidToString(iid);
    const bool cacheable = iid != GUID_NULL;
    if (cacheable) {
        duk_push_heap_stash(ctx);                   // [stash]
        if (!duk_get_prop_string(ctx, -1, kPrototypesKey)) {  // [stash protos|undefined]
            duk_pop(ctx);
            duk_push_object(ctx);
            duk_dup_top(ctx);
            duk_put_prop_string(ctx, -3, kPrototypesKey);
        }
        duk_remove(ctx, -2);                         // [protos]
        if (duk_get_prop_lstring(ctx, -1, key.data(), key.size())) {  // [protos proto]
            duk_remove(ctx, -2);                     // [proto]
            return;
        }
        duk_pop(ctx);                                // [protos]
    }

    // Collect the members by name, in the order the type lists them.
    std::vector<std::pair<std::u16string, MemberShape>> members;
    TYPEATTR* attr = nullptr;
    WORD funcCount = 0;
    if (SUCCEEDED(info->GetTypeAttr(&attr)) && attr) {
        funcCount = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
    }
    for (UINT i = 0; i < funcCount; ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(i, &desc)) || !desc) continue;
        BSTR name = nullptr;
        UINT count = 0;
        if (SUCCEEDED(info->GetNames(desc->memid, &name, 1, &count)) && count == 1 && name) {
            std::u16string text(qrt::bstrView(name));
            auto it = std::find_if(members.begin(), members.end(), [&](const auto& m) { return m.first == text; });
            if (it == members.end()) {
                members.push_back({text, MemberShape{}});
                it = members.end() - 1;
            }
            MemberShape& shape = it->second;
            shape.id = desc->memid;
            switch (desc->invkind) {
            case INVOKE_FUNC: shape.method = true; break;
            case INVOKE_PROPERTYGET:
                if (desc->cParams > 0) shape.indexedGet = true;
                else shape.getter = true;
                break;
            case INVOKE_PROPERTYPUT:
            case INVOKE_PROPERTYPUTREF: shape.setter = true; break;
            }
        }
        SysFreeString(name);
        info->ReleaseFuncDesc(desc);
    }

    duk_push_object(ctx);  // [protos? proto]
    for (const auto& [name, shape] : members) {
        pushText(ctx, name);  // [.. proto key]
        if (shape.method || shape.indexedGet) {
            pushMemberFunction(ctx, shape.method ? hostMethod : hostIndexedGet, DUK_VARARGS, shape.id);
            duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE);
        } else {
            duk_uint_t flags = DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_SET_CONFIGURABLE;
            if (shape.getter) {
                pushMemberFunction(ctx, hostGetter, 0, shape.id);
                flags |= DUK_DEFPROP_HAVE_GETTER;
            }
            if (shape.setter) {
                pushMemberFunction(ctx, hostSetter, 1, shape.id);
                flags |= DUK_DEFPROP_HAVE_SETTER;
            }
            duk_def_prop(ctx, -2 - (shape.getter ? 1 : 0) - (shape.setter ? 1 : 0), flags);
        }
    }
    duk_push_c_function(ctx, finalizeDispatch, 1);
    duk_set_finalizer(ctx, -2);  // instances inherit it
    // Other spellings of the members that the scripts use (member_spellings.h).
    aliasKnownSpellings(ctx, -1);

    if (cacheable) {
        duk_dup_top(ctx);                                  // [protos proto proto]
        duk_put_prop_lstring(ctx, -3, key.data(), key.size());  // [protos proto]
        duk_remove(ctx, -2);                               // [proto]
    }
}

// --- Objects without type information: a Proxy ------------------------------

// Looks name up on the object (cached on the proxy target); false when unknown.
bool lookUpId(duk_context* ctx, duk_idx_t target, IDispatch* object, duk_idx_t key, DISPID& id) {
    target = duk_normalize_index(ctx, target);
    key = duk_normalize_index(ctx, key);
    if (!duk_get_prop_string(ctx, target, kIdCacheKey)) {  // [cache|undefined]
        duk_pop(ctx);
        duk_push_object(ctx);
        duk_dup_top(ctx);
        duk_put_prop_string(ctx, target, kIdCacheKey);
    }
    duk_dup(ctx, key);  // [cache key]
    if (duk_get_prop(ctx, -2)) {  // [cache id]
        id = duk_get_int(ctx, -1);
        duk_pop_2(ctx);
        return true;
    }
    duk_pop(ctx);  // [cache]
    std::u16string name = textAt(ctx, key);
    LPOLESTR names[] = {name.data()};
    if (FAILED(object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        duk_pop(ctx);
        return false;
    }
    duk_dup(ctx, key);
    duk_push_int(ctx, id);
    duk_put_prop(ctx, -3);  // [cache]
    duk_pop(ctx);
    return true;
}

IDispatch* targetDispatch(duk_context* ctx) {
    IDispatch* object = dispatchOf(ctx, 0);
    if (!object) throwScriptError(ctx, DUK_ERR_TYPE_ERROR, kObjectExpected, "Object expected");
    return object;
}

// get(target, key, receiver)
duk_ret_t proxyGet(duk_context* ctx) {
    if (!duk_is_string(ctx, 1)) return 0;  // symbols: undefined
    IDispatch* object = targetDispatch(ctx);
    DISPID id = 0;
    if (!lookUpId(ctx, 0, object, 1, id)) return 0;
    // A member that reads as a property gives its value; one that does not
    // is a method, given as a function bound to its identifier.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    qrt::Variant result;
    EXCEPINFO excep{};
    UINT argErr = 0;
    const HRESULT hr = object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, &excep, &argErr);
    if (SUCCEEDED(hr)) {
        pushVariant(ctx, result);
        return 1;
    }
    if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_PARAMNOTOPTIONAL) {
        qrt::clearExcepInfo(&excep);
        pushMemberFunction(ctx, proxiedMethod, DUK_VARARGS, id);
        return 1;
    }
    throwHostFailure(ctx, hr, excep);
}

// set(target, key, value, receiver)
duk_ret_t proxySet(duk_context* ctx) {
    if (!duk_is_string(ctx, 1)) return 0;
    IDispatch* object = targetDispatch(ctx);
    DISPID id = 0;
    if (!lookUpId(ctx, 0, object, 1, id)) {
        const std::string name = toCesu8(textAt(ctx, 1));
        throwScriptError(ctx, DUK_ERR_TYPE_ERROR, static_cast<HRESULT>(0x800A01B6),
                         "Object doesn't support this property or method: '" + name + "'");
    }
    invokeHost(ctx, object, id, putFlags(ctx, 2), 2, 1);
    duk_push_true(ctx);
    return 1;
}

// has(target, key)
duk_ret_t proxyHas(duk_context* ctx) {
    if (!duk_is_string(ctx, 1)) {
        duk_push_false(ctx);
        return 1;
    }
    IDispatch* object = targetDispatch(ctx);
    DISPID id = 0;
    duk_push_boolean(ctx, lookUpId(ctx, 0, object, 1, id));
    return 1;
}

void pushProxyHandler(duk_context* ctx) {
    duk_push_heap_stash(ctx);  // [stash]
    if (!duk_get_prop_string(ctx, -1, kProxyHandlerKey)) {  // [stash handler|undefined]
        duk_pop(ctx);
        duk_push_object(ctx);
        const duk_function_list_entry traps[] = {
            {"get", proxyGet, 3},
            {"set", proxySet, 4},
            {"has", proxyHas, 2},
            {nullptr, nullptr, 0},
        };
        duk_put_function_list(ctx, -1, traps);
        duk_dup_top(ctx);
        duk_put_prop_string(ctx, -3, kProxyHandlerKey);
    }
    duk_remove(ctx, -2);  // [handler]
}

// --- Assignment to a call (call_assignment.h) ---------------------------------

constexpr const char* kRefTargetKey = DUK_HIDDEN_SYMBOL("qreftarget");
constexpr const char* kRefIdKey = DUK_HIDDEN_SYMBOL("qrefid");
constexpr const char* kRefArgsKey = DUK_HIDDEN_SYMBOL("qrefargs");
constexpr const char* kRefPrototypeKey = DUK_HIDDEN_SYMBOL("qrefproto");

constexpr HRESULT kCannotAssignToResult = static_cast<HRESULT>(0x800A138B);  // 5003

// Pushes the member, object and arguments of the reference that is this;
// returns the object and the member's identifier, and sets first and count
// to where the arguments lie.
IDispatch* pushReference(duk_context* ctx, DISPID& id, duk_idx_t& first, duk_idx_t& count) {
    duk_push_this(ctx);                            // [.. ref]
    duk_get_prop_string(ctx, -1, kRefTargetKey);  // [.. ref target]
    IDispatch* object = dispatchOf(ctx, -1);
    duk_get_prop_string(ctx, -2, kRefIdKey);      // [.. ref target id]
    id = duk_get_int(ctx, -1);
    duk_get_prop_string(ctx, -3, kRefArgsKey);    // [.. ref target id args]
    const duk_idx_t args = duk_get_top_index(ctx);
    if (!object || !duk_is_array(ctx, args)) throwScriptError(ctx, DUK_ERR_TYPE_ERROR, kObjectExpected, "Object expected");
    count = static_cast<duk_idx_t>(duk_get_length(ctx, args));
    first = args + 1;
    for (duk_idx_t i = 0; i < count; ++i) duk_get_prop_index(ctx, args, static_cast<duk_uarridx_t>(i));
    return object;                                // [.. ref target id args arg0 .. argN-1]
}

// ref.v read: the member with the arguments (a compound assignment reads first).
duk_ret_t referenceGet(duk_context* ctx) {
    DISPID id = 0;
    duk_idx_t first = 0, count = 0;
    IDispatch* object = pushReference(ctx, id, first, count);
    invokeHost(ctx, object, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, first, count);
    return 1;
}

// ref.v = value: puts the member with the arguments.
duk_ret_t referenceSet(duk_context* ctx) {
    // [value]
    DISPID id = 0;
    duk_idx_t first = 0, count = 0;
    IDispatch* object = pushReference(ctx, id, first, count);
    duk_dup(ctx, 0);  // [value ref target id args arg0 .. argN-1 value]
    invokeHost(ctx, object, id, putFlags(ctx, 0), first, count + 1);
    return 0;
}

// __qRef(target, name, args): a reference to member name (null: the
// default member) of a component object, with the arguments in the array
// args. Anything but a component object cannot take the assignment.
duk_ret_t makeReference(duk_context* ctx) {
    duk_set_top(ctx, 3);  // [target name args]
    IDispatch* object = dispatchOf(ctx, 0);
    if (!object)
        throwScriptError(ctx, DUK_ERR_REFERENCE_ERROR, kCannotAssignToResult, "Cannot assign to a function result");
    DISPID id = DISPID_VALUE;
    if (!duk_is_null_or_undefined(ctx, 1)) {
        std::u16string name = textAt(ctx, 1);
        LPOLESTR names[] = {name.data()};
        if (FAILED(object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
            throwScriptError(ctx, DUK_ERR_TYPE_ERROR, static_cast<HRESULT>(0x800A01B6),
                             "Object doesn't support this property or method: '" + toCesu8(name) + "'");
    }
    duk_push_object(ctx);  // [target name args ref]
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kRefPrototypeKey);  // [target name args ref stash proto]
    duk_set_prototype(ctx, -3);
    duk_pop(ctx);  // [target name args ref]
    duk_dup(ctx, 0);
    duk_put_prop_string(ctx, -2, kRefTargetKey);
    duk_push_int(ctx, id);
    duk_put_prop_string(ctx, -2, kRefIdKey);
    duk_dup(ctx, 2);
    duk_put_prop_string(ctx, -2, kRefArgsKey);
    return 1;
}

}  // namespace

IDispatch* dispatchOf(duk_context* ctx, duk_idx_t idx) {
    if (!duk_is_object(ctx, idx)) return nullptr;
    duk_get_prop_literal(ctx, idx, kDispatchKey);
    auto* object = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    return object;
}

void pushDispatch(duk_context* ctx, IDispatch* object) {
    if (!object) {
        duk_push_null(ctx);
        return;
    }
    qrt::ComPtr<ITypeInfo> info;
    UINT infoCount = 0;
    GUID iid = GUID_NULL;
    if (SUCCEEDED(object->GetTypeInfoCount(&infoCount)) && infoCount > 0 &&
        SUCCEEDED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out())) && info) {
        TYPEATTR* attr = nullptr;
        if (SUCCEEDED(info->GetTypeAttr(&attr)) && attr) {
            iid = attr->guid;
            info->ReleaseTypeAttr(attr);
        }
    }

    duk_push_object(ctx);  // [obj]
    object->AddRef();
    duk_push_pointer(ctx, object);
    duk_put_prop_string(ctx, -2, kDispatchKey);
    if (info) {
        pushTypedPrototype(ctx, info.get(), iid);  // [obj proto]
        duk_set_prototype(ctx, -2);                // [obj]
        return;
    }
    duk_push_c_function(ctx, finalizeDispatch, 1);
    duk_set_finalizer(ctx, -2);
    pushProxyHandler(ctx);   // [obj handler]
    duk_push_proxy(ctx, 0);  // [proxy]
}

namespace {

// Whether clearing a variant of this type frees anything.
bool ownsResources(VARTYPE vt) {
    return (vt & (VT_ARRAY | VT_BYREF)) == VT_ARRAY || vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

// A call result, cleared when the call is over.
struct CallResult : VARIANT {
    CallResult() { vt = VT_EMPTY; }
    ~CallResult() {
        if (ownsResources(vt)) VariantClear(this);
    }
    CallResult(const CallResult&) = delete;
    CallResult& operator=(const CallResult&) = delete;
};

// The argument variants of one call, cleared when the call is over (also
// when a script error unwinds it).
class CallArguments {
public:
    explicit CallArguments(duk_idx_t count) : m_count(count) {
        if (count > static_cast<duk_idx_t>(std::size(m_small))) m_large.resize(count);
        m_args = m_large.empty() ? m_small : m_large.data();
        for (duk_idx_t i = 0; i < count; ++i) m_args[i].vt = VT_EMPTY;
    }
    ~CallArguments() {
        for (duk_idx_t i = 0; i < m_count; ++i) {
            if (ownsResources(m_args[i].vt)) VariantClear(&m_args[i]);
        }
    }
    CallArguments(const CallArguments&) = delete;
    CallArguments& operator=(const CallArguments&) = delete;
    VARIANT* data() { return m_args; }

private:
    duk_idx_t m_count;
    VARIANT m_small[6];
    std::vector<VARIANT> m_large;
    VARIANT* m_args;
};

}  // namespace

void invokeHost(duk_context* ctx, IDispatch* object, DISPID id, WORD flags, duk_idx_t first, duk_idx_t count) {
    // A script asked to stop calls no more components (the interpreter
    // itself notices the request only every so many instructions).
    if (heapDataOf(ctx).interruptRequested.load(std::memory_order_relaxed))
        throwScriptError(ctx, DUK_ERR_RANGE_ERROR, E_ABORT, "Script stopped");
    // Arguments go in reverse order.
    CallArguments arguments(count);
    VARIANT* args = arguments.data();
    for (duk_idx_t i = 0; i < count; ++i) {
        VARIANT& arg = args[count - 1 - i];
        if (duk_is_number(ctx, first + i)) {
            // The common case inline: numbers, integral ones as 32-bit integers.
            const double d = duk_get_number(ctx, first + i);
            if (d >= -2147483648.0 && d <= 2147483647.0 && std::trunc(d) == d && (d != 0 || !std::signbit(d))) {
                arg.vt = VT_I4;
                arg.lVal = static_cast<LONG>(d);
            } else {
                arg.vt = VT_R8;
                arg.dblVal = d;
            }
            continue;
        }
        toVariant(ctx, first + i, &arg);
    }
    DISPID putId = DISPID_PROPERTYPUT;
    const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPPARAMS params{args, isPut ? &putId : nullptr, static_cast<UINT>(count), isPut ? 1u : 0u};
    CallResult result;
    EXCEPINFO excep{};
    UINT argErr = 0;
    const HRESULT hr = object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, isPut ? nullptr : &result,
                                      &excep, &argErr);
    if (FAILED(hr)) throwHostFailure(ctx, hr, excep);
    if (result.vt == VT_EMPTY) duk_push_undefined(ctx);
    else pushVariant(ctx, result);
}


void installCallAssignment(duk_context* ctx) {
    duk_push_heap_stash(ctx);  // [stash]
    duk_push_object(ctx);      // [stash proto]
    duk_push_string(ctx, "v");
    duk_push_c_function(ctx, referenceGet, 0);
    duk_push_c_function(ctx, referenceSet, 1);  // [stash proto "v" get set]
    duk_def_prop(ctx, -4, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_HAVE_SETTER);
    duk_put_prop_string(ctx, -2, kRefPrototypeKey);
    duk_pop(ctx);
    duk_push_global_object(ctx);  // [global]
    duk_push_string(ctx, "__qRef");
    duk_push_c_function(ctx, makeReference, 3);  // [global "__qRef" fn]
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                              DUK_DEFPROP_CLEAR_CONFIGURABLE);
    duk_pop(ctx);
}

}  // namespace jscript

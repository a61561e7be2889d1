#include "engines/jscript/duk_runtime.h"

#include "engines/jscript/call_assignment.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

namespace jscript {
namespace {

constexpr const char* kChunksKey = DUK_HIDDEN_SYMBOL("qchunks");    // compiled chunks waiting to run
constexpr const char* kObjectsKey = DUK_HIDDEN_SYMBOL("qobjects");  // script objects held by hosts
constexpr const char* kItemNameKey = DUK_HIDDEN_SYMBOL("qname");

constexpr HRESULT kSyntaxError = static_cast<HRESULT>(0x800A03EA);
constexpr HRESULT kUncaughtException = static_cast<HRESULT>(0x800A139E);
constexpr HRESULT kUndefinedName = static_cast<HRESULT>(0x800A1391);

std::mutex& interruptMutex() {
    static std::mutex mutex;
    return mutex;
}

void fatalError(void*, const char* message) {
    // Only reached when an error escapes every protected call, which the
    // runtime never allows; there is no way to continue.
    std::fprintf(stderr, "JScript engine: fatal error: %s\n", message ? message : "(unknown)");
    std::abort();
}

constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x800A0007);

// The heap's allocator: the C library's, with the bytes counted against the
// heap's budget. A failed allocation ends the running script: Duktape throws
// a RangeError the script could catch and retry, so the request to stop
// makes sure the script does end, with "Out of memory".
void outOfMemory(HeapData& heap) {
    if (!heap.runtime) return;
    heap.runtime->requestInterrupt(kOutOfMemory, u"Out of memory");
    if (heap.interruptRequested.load(std::memory_order_relaxed) && heap.runtime->context())
        quillan_duk_interrupt_soon(heap.runtime->context());
}

void* heapAlloc(void* udata, duk_size_t size) {
    auto& heap = *static_cast<HeapData*>(udata);
    if (size > heap.budget - std::min(heap.used, heap.budget)) {
        outOfMemory(heap);
        return nullptr;
    }
    void* block = std::malloc(size);
    if (!block) {
        outOfMemory(heap);
        return nullptr;
    }
    heap.used += malloc_usable_size(block);
    return block;
}

void* heapRealloc(void* udata, void* block, duk_size_t size) {
    auto& heap = *static_cast<HeapData*>(udata);
    const std::size_t old = block ? malloc_usable_size(block) : 0;
    if (size > old && size - old > heap.budget - std::min(heap.used, heap.budget)) {
        outOfMemory(heap);
        return nullptr;
    }
    if (size == 0) {
        // Duktape never asks for this, but it means freeing the block.
        heap.used -= std::min(heap.used, old);
        std::free(block);
        return nullptr;
    }
    void* moved = std::realloc(block, size);
    if (!moved) {
        outOfMemory(heap);
        return nullptr;  // the old block stays as it was
    }
    heap.used = heap.used - std::min(heap.used, old) + malloc_usable_size(moved);
    return moved;
}

void heapFree(void* udata, void* block) {
    if (!block) return;
    auto& heap = *static_cast<HeapData*>(udata);
    heap.used -= std::min(heap.used, malloc_usable_size(block));
    std::free(block);
}

// Reads a named item from the host the first time the script uses its name,
// then keeps it as a plain global value.
duk_ret_t namedItemGetter(duk_context* ctx) {
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kItemNameKey);  // [fn name]
    const std::u16string name = textAt(ctx, -1);
    qrt::ComPtr<IDispatch> object;
    if (FAILED(runtimeOf(ctx).host().namedItem(name, object)) || !object)
        throwScriptError(ctx, DUK_ERR_REFERENCE_ERROR, kUndefinedName, "'" + toCesu8(name) + "' is undefined");
    pushDispatch(ctx, object.get());  // [fn name item]
    duk_push_global_object(ctx);      // [fn name item global]
    duk_dup(ctx, -3);
    duk_dup(ctx, -3);                 // [fn name item global name item]
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                              DUK_DEFPROP_SET_CONFIGURABLE);  // [fn name item global]
    duk_pop(ctx);                     // [fn name item]
    return 1;
}

// Duktape.errThrow: sees every thrown value. A thrown value that is not an
// Error object carries no position, so remember where it was thrown.
duk_ret_t errThrowHook(duk_context* ctx) {
    if (!duk_is_error(ctx, 0)) runtimeOf(ctx).recordThrow(ctx);
    duk_dup(ctx, 0);
    return 1;
}

void setUp(duk_context* ctx) {
    duk_push_heap_stash(ctx);  // [stash]
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, kChunksKey);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, kObjectsKey);
    duk_pop(ctx);
    installVBArray(ctx);
    installHostObjects(ctx);
    installCallAssignment(ctx);
    installLanguageBuiltins(ctx);
    installErrorNumbers(ctx);
    duk_get_global_string(ctx, "Duktape");  // [Duktape]
    duk_push_c_function(ctx, errThrowHook, 1);
    duk_put_prop_string(ctx, -2, "errThrow");
    duk_pop(ctx);
}

void pushStashEntry(duk_context* ctx, const char* table, int key) {
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, table);  // [stash table]
    duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(key));  // [stash table value]
    duk_remove(ctx, -2);
    duk_remove(ctx, -2);  // [value]
}

void removeStashEntry(duk_context* ctx, const char* table, int key) {
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, table);
    duk_del_prop_index(ctx, -1, static_cast<duk_uarridx_t>(key));
    duk_pop_2(ctx);
}

// Runs fn(ctx) under duk_safe_call; true on success, else the error is on
// top of the stack.
bool safely(duk_context* ctx, const std::function<void(duk_context*)>& fn) {
    auto trampoline = [](duk_context* c, void* udata) -> duk_ret_t {
        (*static_cast<const std::function<void(duk_context*)>*>(udata))(c);
        return 0;
    };
    const duk_int_t rc = duk_safe_call(ctx, trampoline, const_cast<std::function<void(duk_context*)>*>(&fn), 0, 1);
    if (rc == DUK_EXEC_SUCCESS) {
        duk_pop(ctx);
        return true;
    }
    return false;
}

std::u16string lineOf(std::u16string_view text, int index) {
    std::size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const std::size_t next = text.find(u'\n', start);
        if (next == std::u16string_view::npos) return {};
        start = next + 1;
    }
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string_view::npos) end = text.size();
    if (end > start && text[end - 1] == u'\r') --end;
    return std::u16string(text.substr(start, end - start));
}

}  // namespace

HeapData& heapDataOf(duk_context* ctx) {
    duk_memory_functions functions{};
    duk_get_memory_functions(ctx, &functions);
    return *static_cast<HeapData*>(functions.udata);
}

DukRuntime& runtimeOf(duk_context* ctx) { return *heapDataOf(ctx).runtime; }

void* ownPointer(duk_context* ctx, duk_idx_t idx, const char* key) {
    idx = duk_normalize_index(ctx, idx);
    duk_push_string(ctx, key);
    duk_get_prop_desc(ctx, idx, 0);  // [desc|undefined]
    void* pointer = nullptr;
    if (duk_is_object(ctx, -1)) {
        duk_get_prop_literal(ctx, -1, "value");
        pointer = duk_get_pointer(ctx, -1);
        duk_pop(ctx);
    }
    duk_pop(ctx);
    return pointer;
}

// One call from outside into the heap: the site hears of entering and leaving
// the script, and a stop request ends with the outermost call.
class DukRuntime::Entry {
public:
    explicit Entry(DukRuntime& runtime) : m_runtime(runtime) {
        if (m_runtime.m_depth++ == 0) {
            m_runtime.m_throwFile.clear();
            m_runtime.m_throwLine = 0;
            m_runtime.m_host.enterScript();
            if (m_runtime.m_polling) {
                if (!m_runtime.m_ticker) {
                    HeapData* heap = &m_runtime.m_heapData;
                    m_runtime.m_ticker = std::make_unique<qrt::PollTicker>([heap] { heap->pollDue = true; });
                }
                m_runtime.m_ticker->runStarted();
            }
        }
    }
    ~Entry() {
        if (--m_runtime.m_depth == 0) {
            if (m_runtime.m_ticker) m_runtime.m_ticker->runEnded();
            m_runtime.m_heapData.pollDue = false;
            m_runtime.m_heapData.interruptRequested = false;
            m_runtime.m_host.leaveScript();
        }
    }
    bool outermost() const { return m_runtime.m_depth == 1; }

private:
    DukRuntime& m_runtime;
};

DukRuntime::DukRuntime(RuntimeHost& host) : m_host(host), m_link(std::make_shared<RuntimeLink>(RuntimeLink{this})) {
    m_heapData.runtime = this;
    m_heapData.budget = heapBudget();
    m_heapData.poll = [](ExecutionGuard* guard) {
        DukRuntime* runtime = static_cast<HeapData*>(guard)->runtime;
        if (!runtime || runtime->m_host.queryContinue()) return true;
        runtime->requestInterrupt(E_ABORT, u"Script stopped by the user");
        return false;
    };
    m_ctx = duk_create_heap(heapAlloc, heapRealloc, heapFree, &m_heapData, fatalError);
    if (!m_ctx) throw std::bad_alloc();
    if (!safely(m_ctx, setUp)) {
        duk_destroy_heap(m_ctx);
        throw std::bad_alloc();
    }
}

DukRuntime::~DukRuntime() {
    m_link->runtime = nullptr;
    // Finalizers release the host objects the scripts still hold.
    duk_destroy_heap(m_ctx);
}

HRESULT DukRuntime::addNamedItem(std::u16string_view name) {
    m_namedItems.emplace_back(name);
    const bool ok = safely(m_ctx, [&](duk_context* ctx) {
        duk_push_global_object(ctx);  // [global]
        pushText(ctx, name);          // [global name]
        duk_push_c_function(ctx, namedItemGetter, 0);
        pushText(ctx, name);
        duk_put_prop_string(ctx, -2, kItemNameKey);  // [global name getter]
        duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_CLEAR_ENUMERABLE | DUK_DEFPROP_SET_CONFIGURABLE |
                                  DUK_DEFPROP_FORCE);
        duk_pop(ctx);
    });
    if (!ok) {
        duk_pop(m_ctx);
        m_namedItems.pop_back();
        return E_FAIL;
    }
    return S_OK;
}

bool DukRuntime::isNamedItem(std::u16string_view name) const {
    for (const auto& item : m_namedItems) {
        if (item == name) return true;
    }
    return false;
}

qrt::ScriptErrorInfo DukRuntime::errorInfo(const CaughtError& error, bool compile) const {
    qrt::ScriptErrorInfo info;
    info.source = compile ? u"JScript compilation error" : u"JScript runtime error";
    info.description = error.description;
    info.scode = error.number ? error.number : (compile ? kSyntaxError : kUncaughtException);
    std::string fileName = error.fileName;
    int line = error.line;
    if (fileName.empty() && !m_throwFile.empty()) {
        fileName = m_throwFile;
        line = m_throwLine;
    }
    // A compile error without a position of its own belongs to the newest chunk.
    std::size_t chunk = m_chunks.size();
    if (fileName.starts_with(kChunkPrefix)) chunk = std::strtoul(fileName.c_str() + kChunkPrefix.size(), nullptr, 10);
    else if (compile && !m_chunks.empty()) chunk = m_chunks.size() - 1;
    if (chunk < m_chunks.size() && line > 0) {
        info.sourceContext = static_cast<DWORD>(m_chunks[chunk].cookie);
        info.line = m_chunks[chunk].startLine + static_cast<ULONG>(line) - 1;
        info.lineText = lineOf(m_chunks[chunk].text, line - 1);
    }
    return info;
}

HRESULT DukRuntime::protectedCall(const std::function<void(duk_context*)>& fn, EXCEPINFO* excep, bool compile) {
    Entry entry(*this);
    if (safely(m_ctx, fn)) return S_OK;
    // [error]
    HRESULT result = SCRIPT_E_REPORTED;
    if (m_heapData.interruptRequested) {
        // A stop request: the script ends; only a host that described the
        // stop hears of it as an error.
        HRESULT code = E_ABORT;
        std::u16string description;
        {
            std::lock_guard lock(interruptMutex());
            code = m_interruptCode;
            description = m_interruptDescription;
        }
        if (entry.outermost()) {
            if (!description.empty()) {
                qrt::ScriptErrorInfo info = errorInfo(describeError(m_ctx, -1), false);
                info.description = description;
                info.scode = code;
                m_host.scriptError(std::move(info));
            }
            result = code;
        } else {
            result = DISP_E_EXCEPTION;
            if (excep) {
                qrt::clearExcepInfo(excep);
                excep->scode = code;
                excep->bstrSource = qrt::allocBstr(std::u16string_view(u"JScript runtime error"));
                excep->bstrDescription = qrt::allocBstr(description.empty() ? std::u16string_view(u"Script stopped")
                                                                            : std::u16string_view(description));
            }
        }
    } else {
        qrt::ScriptErrorInfo info = errorInfo(describeError(m_ctx, -1), compile);
        if (entry.outermost()) {
            m_host.scriptError(std::move(info));
        } else {
            result = DISP_E_EXCEPTION;
            if (excep) {
                qrt::clearExcepInfo(excep);
                excep->scode = info.scode;
                excep->bstrSource = qrt::allocBstr(info.source);
                excep->bstrDescription = qrt::allocBstr(info.description);
            }
        }
    }
    duk_pop(m_ctx);
    return result;
}

HRESULT DukRuntime::parse(std::u16string_view code, ULONG startLine, DWORD_PTR cookie, bool expression, bool runNow,
                          VARIANT* result) {
    const int index = static_cast<int>(m_chunks.size());
    m_chunks.push_back({std::u16string(code), startLine, cookie});
    // Conditional compilation first; the text keeps its lines.
    std::u16string compiled;
    ConditionalCompiler::Error ccError;
    const bool ccDone = m_conditional.process(code, compiled, ccError);
    // Then assignments to calls, keeping the lines too.
    const std::string source = toCesu8(ccDone ? rewriteCallAssignments(compiled) : compiled);
    const std::string fileName = std::string(kChunkPrefix) + std::to_string(index);
    HRESULT hr = protectedCall(
        [&](duk_context* ctx) {
            if (!ccDone)
                throwErrorAt(ctx, DUK_ERR_SYNTAX_ERROR, ccError.number, toCesu8(ccError.description), fileName, ccError.line);
            noteSpellings(ctx, compiled);
            duk_push_heap_stash(ctx);
            duk_get_prop_string(ctx, -1, kChunksKey);  // [stash chunks]
            duk_push_lstring(ctx, source.data(), source.size());
            duk_push_lstring(ctx, fileName.data(), fileName.size());  // [stash chunks source fileName]
            duk_compile(ctx, expression ? DUK_COMPILE_EVAL : 0);       // [stash chunks fn]
            duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(index));
            duk_pop_2(ctx);
        },
        nullptr, true);
    if (FAILED(hr)) return hr;
    if (!runNow) {
        ++m_pending;
        return S_OK;
    }
    return protectedCall(
        [&](duk_context* ctx) {
            pushStashEntry(ctx, kChunksKey, index);  // [fn]
            removeStashEntry(ctx, kChunksKey, index);
            duk_call(ctx, 0);                          // [value]
            if (result) toVariant(ctx, -1, result);
            duk_pop(ctx);
        },
        nullptr, false);
}

HRESULT DukRuntime::runPending() {
    HRESULT first = S_OK;
    const int count = static_cast<int>(m_chunks.size());
    for (int index = count - m_pending; index < count; ++index) {
        const HRESULT hr = protectedCall(
            [&](duk_context* ctx) {
                pushStashEntry(ctx, kChunksKey, index);
                removeStashEntry(ctx, kChunksKey, index);
                duk_call(ctx, 0);
                duk_pop(ctx);
            },
            nullptr, false);
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    m_pending = 0;
    return first;
}

std::vector<DukRuntime::GlobalFunction> DukRuntime::globalFunctions() {
    std::vector<GlobalFunction> functions;
    const bool ok = safely(m_ctx, [&](duk_context* ctx) {
        duk_push_global_object(ctx);
        duk_enum(ctx, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);  // [global enum]
        while (duk_next(ctx, -1, 1)) {                    // [global enum key value]
            if (duk_is_ecmascript_function(ctx, -1)) {
                std::u16string name = textAt(ctx, -2);
                if (!isNamedItem(name)) {
                    duk_get_prop_string(ctx, -1, "length");
                    functions.push_back({std::move(name), duk_get_int(ctx, -1)});
                    duk_pop(ctx);
                }
            }
            duk_pop_2(ctx);
        }
        duk_pop_2(ctx);
    });
    if (!ok) duk_pop(m_ctx);
    return functions;
}

bool DukRuntime::hasGlobal(std::u16string_view name) {
    bool found = false;
    if (!safely(m_ctx, [&](duk_context* ctx) {
            duk_push_global_object(ctx);
            pushText(ctx, name);
            found = duk_has_prop(ctx, -2);
            duk_pop(ctx);
        }))
        duk_pop(m_ctx);
    return found;
}

HRESULT DukRuntime::invoke(int objectId, std::u16string_view name, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excep) {
    const UINT argCount = params ? params->cArgs : 0;
    if (argCount > 0 && !params->rgvarg) return E_INVALIDARG;
    const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (isPut && argCount < 1) return DISP_E_BADPARAMCOUNT;
    return protectedCall(
        [&](duk_context* ctx) {
            if (objectId == 0) duk_push_global_object(ctx);
            else pushStashEntry(ctx, kObjectsKey, objectId);  // [target]
            if (duk_is_undefined(ctx, -1)) throwScriptError(ctx, DUK_ERR_REFERENCE_ERROR, E_UNEXPECTED, "Object released");
            if (isPut) {
                pushText(ctx, name);
                pushVariant(ctx, params->rgvarg[0]);  // [target name value]
                duk_put_prop(ctx, -3);
                duk_pop(ctx);
                return;
            }
            if (name.empty()) {
                duk_dup_top(ctx);  // the object's own value: [target target]
            } else {
                pushText(ctx, name);
                duk_get_prop(ctx, -2);  // [target member]
            }
            if ((flags & DISPATCH_METHOD) && duk_is_callable(ctx, -1)) {
                duk_dup(ctx, -2);  // [target member this]
                for (UINT i = argCount; i-- > 0;) pushVariant(ctx, params->rgvarg[i]);
                duk_call_method(ctx, static_cast<duk_idx_t>(argCount));  // [target value]
            } else if (!(flags & DISPATCH_PROPERTYGET)) {
                throwScriptError(ctx, DUK_ERR_TYPE_ERROR, static_cast<HRESULT>(0x800A138A), "Function expected");
            }
            if (result) toVariant(ctx, -1, result);
            duk_pop_2(ctx);
        },
        excep, false);
}

int DukRuntime::keepObject(duk_context* ctx, duk_idx_t idx) {
    idx = duk_normalize_index(ctx, idx);
    const int id = m_nextObjectId++;
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kObjectsKey);  // [stash objects]
    duk_dup(ctx, idx);
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(id));
    duk_pop_2(ctx);
    return id;
}

void DukRuntime::releaseObject(int objectId) {
    if (!safely(m_ctx, [&](duk_context* ctx) { removeStashEntry(ctx, kObjectsKey, objectId); })) duk_pop(m_ctx);
}

bool DukRuntime::objectHas(int objectId, std::u16string_view name) {
    if (objectId == 0) return hasGlobal(name);
    bool found = false;
    if (!safely(m_ctx, [&](duk_context* ctx) {
            pushStashEntry(ctx, kObjectsKey, objectId);
            if (duk_is_object(ctx, -1)) {
                pushText(ctx, name);
                found = duk_has_prop(ctx, -2);
            }
            duk_pop(ctx);
        }))
        duk_pop(m_ctx);
    return found;
}

std::size_t heapBudget() {
    // Asked anew for each heap: the limits may have changed since the last.
    const std::size_t budget = [] {
        std::size_t limit = SIZE_MAX;
        for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
            struct rlimit bound {};
            if (::getrlimit(resource, &bound) == 0 && bound.rlim_cur != RLIM_INFINITY)
                limit = std::min(limit, static_cast<std::size_t>(bound.rlim_cur));
        }
        if (limit == SIZE_MAX) {
            const long pages = ::sysconf(_SC_PHYS_PAGES);
            const long pageSize = ::sysconf(_SC_PAGESIZE);
            if (pages > 0 && pageSize > 0) limit = static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
        }
        return limit == SIZE_MAX ? limit : limit / 4 * 3;
    }();
    return budget;
}

ULONG DukRuntime::currentLine() {
    if (m_depth == 0) return 0;
    std::string fileName;
    int line = 0;
    if (!callerPosition(m_ctx, fileName, line) || line <= 0 || !fileName.starts_with(kChunkPrefix)) return 0;
    const std::size_t chunk = std::strtoul(fileName.c_str() + kChunkPrefix.size(), nullptr, 10);
    if (chunk >= m_chunks.size()) return 0;
    return m_chunks[chunk].startLine + static_cast<ULONG>(line) - 1;
}

void DukRuntime::requestInterrupt(HRESULT code, std::u16string description) {
    {
        std::lock_guard lock(interruptMutex());
        m_interruptCode = code;
        m_interruptDescription = std::move(description);
    }
    // Only a running script can be stopped; a request between runs is dropped.
    if (m_depth > 0) m_heapData.interruptRequested = true;
}

void DukRuntime::recordThrow(duk_context* ctx) {
    std::string fileName;
    int line = 0;
    if (callerPosition(ctx, fileName, line)) {
        m_throwFile = std::move(fileName);
        m_throwLine = line;
    }
}

}  // namespace jscript

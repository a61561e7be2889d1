// The Duktape adapter's internal interface: how values, host objects and
// errors cross between the script world (a Duktape heap) and the component
// world (VARIANT, IDispatch, EXCEPINFO). Only the engine's own files include
// this header.
//
// Duktape is built with C++ exceptions for its errors, so a script error
// thrown from one of these functions unwinds the calling C++ frames normally.
#pragma once

#include <cstddef>

#include "engines/jscript/duktape_interrupt.h"
#include "runtime/activscp.h"

#include <duktape.h>

#include <string>
#include <string_view>

namespace jscript {

class DukRuntime;

// The heap's user data: the interrupt request (read by Duktape's executor)
// and the runtime that owns the heap.
struct HeapData : ExecutionGuard {
    DukRuntime* runtime = nullptr;
    // The host object wrapper last used as `this` of a member call, so that
    // loops calling one object skip the property lookup. Cleared when that
    // wrapper is finalized.
    void* cachedWrapper = nullptr;
    IDispatch* cachedDispatch = nullptr;
    // The bytes the heap holds and the most it may hold (see heapBudget).
    std::size_t used = 0;
    std::size_t budget = 0;
};

// The most memory one script heap may take: three quarters of the
// process's data or address-space limit when one is set, else of the
// machine's memory. A script that reaches it ends with "Out of memory"
// instead of driving the machine into swap or the process into the limit.
std::size_t heapBudget();

HeapData& heapDataOf(duk_context* ctx);
DukRuntime& runtimeOf(duk_context* ctx);

// The pointer kept under key as an own property of the object at idx (an
// object inheriting from a wrapper does not own the wrapper's pointer).
void* ownPointer(duk_context* ctx, duk_idx_t idx, const char* key);

// Script strings are CESU-8 inside Duktape: each UTF-16 unit on its own.
std::string toCesu8(std::u16string_view text);
std::u16string fromCesu8(const char* bytes, duk_size_t length);
void pushText(duk_context* ctx, std::u16string_view text);
std::u16string textAt(duk_context* ctx, duk_idx_t idx);  // ToString of the value

// Values. pushVariant follows references; toVariant writes a new value into
// *out, which must be empty (VT_EMPTY).
void pushVariant(duk_context* ctx, const VARIANT& value);
void toVariant(duk_context* ctx, duk_idx_t idx, VARIANT* out);

// Safe arrays in scripts: VBArray objects.
void installVBArray(duk_context* ctx);
void pushVBArray(duk_context* ctx, SAFEARRAY* array);  // takes ownership
SAFEARRAY* vbArrayOf(duk_context* ctx, duk_idx_t idx);  // borrowed, or null

// Host objects: script objects whose members are the object's dispatch members.
void installHostObjects(duk_context* ctx);  // ActiveXObject, GetObject, Enumerator
void pushDispatch(duk_context* ctx, IDispatch* object);  // null gives null
IDispatch* dispatchOf(duk_context* ctx, duk_idx_t idx);  // borrowed, or null
// Calls a dispatch member with the values at [first, first + count) as its
// arguments and pushes the result.
void invokeHost(duk_context* ctx, IDispatch* object, DISPID id, WORD flags, duk_idx_t first, duk_idx_t count);

// __qRef, which the text of an assignment to a call is rewritten to use
// (call_assignment.h).
void installCallAssignment(duk_context* ctx);

// Member names without regard to case (member_spellings.h): records the
// names in a chunk of script text and gives typed prototypes their other
// spellings; aliasKnownSpellings does so for a prototype just made.
void noteSpellings(duk_context* ctx, std::u16string_view text);
void aliasKnownSpellings(duk_context* ctx, duk_idx_t proto);

// Script objects handed to a host become IDispatch objects.
qrt::ComPtr<IDispatch> scriptObjectDispatch(duk_context* ctx, duk_idx_t idx);

// What this language adds to the built-ins (language_builtins.cpp): the
// ScriptEngine functions, dates' text forms and getVarDate.
void installLanguageBuiltins(duk_context* ctx);
// Error objects get number and description (error_numbers.cpp).
void installErrorNumbers(duk_context* ctx);

// Dates as components keep them (VT_DATE): local wall-clock time in days
// since 30 December 1899. A var-date is the script value getVarDate gives:
// an object holding such a DATE, which crosses to a component as VT_DATE.
double varDateOfTime(double ms);
double timeOfVarDate(double date);
void pushVarDate(duk_context* ctx, double date);

// Errors. throwScriptError blames the script line that called into C code;
// throwHostFailure turns a failed Invoke (status and exception record) into
// a script exception that try/catch can catch.
[[noreturn]] void throwScriptError(duk_context* ctx, duk_errcode_t type, HRESULT number, const std::string& message);
// throwErrorAt gives the position itself (fileName empty: none).
[[noreturn]] void throwErrorAt(duk_context* ctx, duk_errcode_t type, HRESULT number, const std::string& message,
                               const std::string& fileName, int line);
[[noreturn]] void throwHostFailure(duk_context* ctx, HRESULT hr, EXCEPINFO& excep);

// What a caught error value says, for the site or for an EXCEPINFO.
struct CaughtError {
    std::u16string description;
    HRESULT number = 0;
    std::string fileName;  // the script chunk, when known
    int line = 0;          // within that chunk, from 1
};
CaughtError describeError(duk_context* ctx, duk_idx_t idx);

// The chunk and line of the innermost running script function.
bool callerPosition(duk_context* ctx, std::string& fileName, int& line);

// Each chunk of script text is compiled under the file name kChunkPrefix + index.
inline constexpr std::string_view kChunkPrefix = "chunk:";

// Keys of hidden properties.
// Arrays, so that the literal forms of the property calls (which cache the
// interned key) can be used.
inline constexpr char kDispatchKey[] = DUK_HIDDEN_SYMBOL("qd");
inline constexpr char kSafeArrayKey[] = DUK_HIDDEN_SYMBOL("qa");
// A var-date's DATE; the line of a compile error whose message had it.
inline constexpr char kVarDateKey[] = DUK_HIDDEN_SYMBOL("qvardate");
inline constexpr char kCompileLineKey[] = DUK_HIDDEN_SYMBOL("qline");
// The heap stash's table of typed prototypes, by interface identifier.
inline constexpr char kPrototypesKey[] = DUK_HIDDEN_SYMBOL("qprotos");

}  // namespace jscript

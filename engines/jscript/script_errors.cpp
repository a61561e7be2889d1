// Script errors: throwing them from C code with the script's own position,
// and reading what a caught error value says.
#include "engines/jscript/duk_bridge.h"
#include "runtime/bstr.h"

#include <cstdint>
#include <cstdlib>

namespace jscript {

bool callerPosition(duk_context* ctx, std::string& fileName, int& line) {
    for (duk_int_t level = -1; level >= -256; --level) {
        duk_inspect_callstack_entry(ctx, level);  // [entry|undefined]
        if (duk_is_undefined(ctx, -1)) {
            duk_pop(ctx);
            return false;
        }
        duk_get_prop_string(ctx, -1, "function");  // [entry fn]
        duk_get_prop_string(ctx, -1, "fileName");  // [entry fn fileName]
        duk_size_t length = 0;
        const char* name = duk_get_lstring(ctx, -1, &length);
        if (name && std::string_view(name, length).starts_with(kChunkPrefix)) {
            fileName.assign(name, length);
            duk_get_prop_string(ctx, -3, "lineNumber");  // [entry fn fileName line]
            line = duk_get_int(ctx, -1);
            duk_pop_n(ctx, 4);
            return true;
        }
        duk_pop_3(ctx);
    }
    return false;
}

void throwScriptError(duk_context* ctx, duk_errcode_t type, HRESULT number, const std::string& message) {
    std::string fileName;
    int line = 0;
    callerPosition(ctx, fileName, line);
    throwErrorAt(ctx, type, number, message, fileName, line);
}

void throwErrorAt(duk_context* ctx, duk_errcode_t type, HRESULT number, const std::string& message,
                  const std::string& fileName, int line) {
    duk_push_error_object_raw(ctx, type, fileName.empty() ? nullptr : fileName.c_str(), line, "%s", message.c_str());
    duk_push_number(ctx, static_cast<double>(number));
    duk_put_prop_string(ctx, -2, "number");
    duk_push_lstring(ctx, message.data(), message.size());
    duk_put_prop_string(ctx, -2, "description");
    duk_throw(ctx);
    __builtin_unreachable();  // duk_throw does not return
}

void throwHostFailure(duk_context* ctx, HRESULT hr, EXCEPINFO& excep) {
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    HRESULT number = hr;
    if (hr == DISP_E_EXCEPTION) {
        if (excep.scode) number = excep.scode;
        else if (excep.wCode) number = static_cast<HRESULT>(0x800A0000u | excep.wCode);
    }
    std::u16string description(qrt::bstrView(excep.bstrDescription));
    qrt::clearExcepInfo(&excep);
    if (description.empty()) description = qrt::statusText(number);
    throwScriptError(ctx, DUK_ERR_ERROR, number, toCesu8(description));
}

namespace {

// Duktape's compiler ends its messages with " (line N)".
bool takeLineSuffix(std::u16string& text, int& line) {
    const std::size_t open = text.rfind(u" (line ");
    if (open == std::u16string::npos || text.empty() || text.back() != u')') return false;
    int value = 0;
    for (std::size_t i = open + 7; i + 1 < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9') return false;
        value = value * 10 + (text[i] - u'0');
    }
    line = value;
    text.erase(open);
    return true;
}

// "at f (chunk:2:14)" in a stack trace: the first script position.
bool positionFromStack(const std::string& stack, std::string& fileName, int& line) {
    const std::size_t at = stack.find(std::string("(") + std::string(kChunkPrefix));
    if (at == std::string::npos) return false;
    const std::size_t colon = stack.find(':', at + 1 + kChunkPrefix.size());
    const std::size_t close = stack.find_first_of(") ", colon);
    if (colon == std::string::npos || close == std::string::npos) return false;
    fileName = stack.substr(at + 1, colon - at - 1);
    line = std::atoi(stack.c_str() + colon + 1);
    return true;
}

std::string stringProperty(duk_context* ctx, duk_idx_t idx, const char* key) {
    std::string value;
    if (duk_get_prop_string(ctx, idx, key) && duk_is_string(ctx, -1)) {
        duk_size_t length = 0;
        const char* bytes = duk_get_lstring(ctx, -1, &length);
        value.assign(bytes, length);
    }
    duk_pop(ctx);
    return value;
}

}  // namespace

CaughtError describeError(duk_context* ctx, duk_idx_t idx) {
    idx = duk_normalize_index(ctx, idx);
    CaughtError error;
    if (!duk_is_error(ctx, idx)) {
        error.description = u"Exception thrown and not caught";
        if (duk_is_string(ctx, idx) || duk_is_number(ctx, idx) || duk_is_boolean(ctx, idx))
            error.description += u": " + textAt(ctx, idx);
        return error;
    }
    if (duk_get_prop_string(ctx, idx, "description") && duk_is_string(ctx, -1) && duk_get_length(ctx, -1) > 0) {
        error.description = textAt(ctx, -1);
    } else {
        error.description = textAt(ctx, idx);  // "TypeError: ..."
    }
    duk_pop(ctx);
    int suffixLine = 0;
    bool hasSuffix = takeLineSuffix(error.description, suffixLine);
    if (!hasSuffix) {
        // A compile error whose message lost its line when it got its number.
        duk_get_prop_string(ctx, idx, kCompileLineKey);
        suffixLine = duk_get_int_default(ctx, -1, 0);
        hasSuffix = suffixLine > 0;
        duk_pop(ctx);
    }

    if (duk_get_prop_string(ctx, idx, "number") && duk_is_number(ctx, -1))
        error.number = static_cast<HRESULT>(static_cast<std::uint32_t>(static_cast<std::int64_t>(duk_get_number(ctx, -1))));
    duk_pop(ctx);

    const std::string fileName = stringProperty(ctx, idx, "fileName");
    if (std::string_view(fileName).starts_with(kChunkPrefix)) {
        error.fileName = fileName;
        duk_get_prop_string(ctx, idx, "lineNumber");
        error.line = duk_get_int(ctx, -1);
        duk_pop(ctx);
    } else if (!positionFromStack(stringProperty(ctx, idx, "stack"), error.fileName, error.line) && hasSuffix) {
        error.line = suffixLine;  // a compile error: the chunk being compiled
    }
    return error;
}

}  // namespace jscript

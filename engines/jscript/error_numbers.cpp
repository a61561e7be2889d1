// Error objects as scripts of this language know them: every error carries
// a `number` (an HRESULT of facility 0x800A) and a `description` equal to
// its `message`. Duktape's own errors (a TypeError from the executor, a
// RangeError from toFixed, a compile-time SyntaxError) get the number and
// text of the closest error of this language; errors a script constructs
// keep their message and have number 0.
#include "engines/jscript/duk_bridge.h"

#include <cstdint>
#include <string>

namespace jscript {
namespace {

// Marks an error the hook has given its number.
constexpr const char* kNumberedKey = DUK_HIDDEN_SYMBOL("numbered");

constexpr HRESULT err(unsigned code) { return static_cast<HRESULT>(0x800A0000u | code); }

struct Mapped {
    HRESULT number = 0;
    std::string text;  // empty: keep the message
};

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The text between the first pair of single quotes, as Duktape quotes names.
std::string quoted(std::string_view message) {
    const std::size_t open = message.find('\'');
    const std::size_t close = open == std::string_view::npos ? open : message.find('\'', open + 1);
    if (close == std::string_view::npos) return {};
    return std::string(message.substr(open + 1, close - open - 1));
}

Mapped mapSyntaxError(std::string_view message, std::string_view creator) {
    if (creator == "RegExp" || creator == "compile") {
        if (contains(message, "quantifier")) return {err(5018), "Unexpected quantifier"};
        if (contains(message, "character class")) return {err(5019), "Expected ']' in regular expression"};
        if (contains(message, "end of pattern")) return {err(5020), "Expected ')' in regular expression"};
        return {err(5017), "Syntax error in regular expression"};
    }
    if (contains(message, "unterminated string")) return {err(1015), "Unterminated string constant"};
    if (contains(message, "unterminated comment")) return {err(1016), "Unterminated comment"};
    if (contains(message, "invalid number")) return {err(1013), "Invalid number"};
    if (contains(message, "invalid token")) return {err(1014), "Invalid character"};
    if (contains(message, "invalid return")) return {err(1018), "'return' statement outside of function"};
    if (contains(message, "unterminated statement")) return {err(1004), "Expected ';'"};
    if (contains(message, "invalid regexp")) return {err(5017), "Syntax error in regular expression"};
    return {err(1002), "Syntax error"};
}

Mapped mapTypeError(std::string_view message, std::string_view creator) {
    if (message.starts_with("cannot read property") || message.starts_with("cannot write property") ||
        message.starts_with("object required") || message == "unexpected type" || message == "not object coercible")
        return {err(5007), "Object expected"};
    if (contains(message, "not callable")) {
        // A member that is not a function, or a value called as one.
        if (contains(message, "(property '")) return {err(438), "Object doesn't support this property or method"};
        return {err(5002), "Function expected"};
    }
    if (contains(message, "not constructable")) return {err(445), "Object doesn't support this action"};
    if (message == "expected Date" || contains(message, "date required")) return {err(5006), "Date object expected"};
    if (contains(message, "cyclic input")) return {err(5034), "Circular reference in value argument not supported"};
    if (message == "invalid args" && (creator == "apply" || creator.empty()))
        return {err(5028), "Array or arguments object expected"};
    if (contains(message, "number required")) return {err(5001), "Number expected"};
    if (contains(message, "string required")) return {err(5005), "String expected"};
    if (contains(message, "boolean required")) return {err(5010), "Boolean expected"};
    return {err(438), {}};
}

Mapped mapRangeError(std::string_view message, std::string_view creator) {
    if (contains(message, "stack limit") || contains(message, "stack depth")) return {err(28), "Out of stack space"};
    if (contains(message, "alloc") || contains(message, "out of memory")) return {err(7), "Out of memory"};
    if (contains(message, "array length") || message == "invalid length")
        return {err(5029), "Array length must be a finite positive integer"};
    if (message == "number outside range") {
        if (creator == "toFixed" || creator == "toExponential")
            return {err(5026), "The number of fractional digits is out of range"};
        if (creator == "toPrecision") return {err(5027), "The precision is out of range"};
        return {err(5), "Invalid procedure call or argument"};
    }
    return {err(5), {}};
}

Mapped mapError(std::string_view name, std::string_view message, std::string_view creator) {
    if (name == "ReferenceError") {
        if (message.starts_with("identifier '")) return {err(5009), "'" + quoted(message) + "' is undefined"};
        if (contains(message, "lvalue")) return {err(5008), "Illegal assignment"};
        return {err(5009), {}};
    }
    if (name == "TypeError") return mapTypeError(message, creator);
    if (name == "RangeError") return mapRangeError(message, creator);
    if (name == "SyntaxError") return mapSyntaxError(message, creator);
    if (name == "URIError") {
        if (creator.starts_with("decode")) return {err(5025), "The URI to be decoded is not a valid encoding"};
        return {err(5024), "The URI to be encoded contains an invalid character"};
    }
    return {0, {}};
}

// Duktape's compiler ends its messages with " (line N)" or
// " (line N, end of input)": the line, and the message without it.
int takeCompileLine(std::string& message) {
    const std::size_t open = message.rfind(" (line ");
    if (open == std::string::npos || message.empty() || message.back() != ')') return 0;
    int line = 0;
    for (std::size_t i = open + 7; i < message.size() && message[i] >= '0' && message[i] <= '9'; ++i)
        line = line * 10 + (message[i] - '0');
    message.erase(open);
    return line;
}

// The name of the function that created the error: a built-in such as
// toFixed or decodeURI, an Error constructor the script called, or empty
// for the executor and the compiler.
std::string creatorName(duk_context* ctx) {
    std::string name;
    duk_inspect_callstack_entry(ctx, -2);  // [e entry|undefined]
    if (duk_is_object(ctx, -1)) {
        duk_get_prop_string(ctx, -1, "function");  // [e entry fn]
        if (duk_is_c_function(ctx, -1) || duk_is_lightfunc(ctx, -1)) {
            duk_get_prop_string(ctx, -1, "name");  // [e entry fn name]
            if (duk_is_string(ctx, -1)) name = duk_get_string(ctx, -1);
            duk_pop(ctx);
        }
        duk_pop(ctx);
    }
    duk_pop(ctx);  // [e]
    return name;
}

bool isErrorConstructorName(std::string_view name) {
    return name == "Error" || name == "TypeError" || name == "RangeError" || name == "ReferenceError" ||
           name == "SyntaxError" || name == "URIError" || name == "EvalError";
}

// Duktape.errCreate: sees each error object as it is made.
duk_ret_t errCreateHook(duk_context* ctx) {
    duk_set_top(ctx, 1);  // [e]
    if (!duk_is_error(ctx, 0)) return 1;
    // The hook sees an error again when a constructor call returns it:
    // what was set the first time stays.
    // (The mark is the object's own address, so that an error inheriting
    // from a marked one is still seen.)
    void* const self = duk_get_heapptr(ctx, 0);
    duk_get_prop_string(ctx, 0, kNumberedKey);
    const bool seen = duk_get_pointer(ctx, -1) == self;
    duk_pop(ctx);
    if (seen) return 1;
    duk_push_pointer(ctx, self);
    duk_put_prop_string(ctx, 0, kNumberedKey);
    duk_get_prop_string(ctx, 0, "name");
    const std::string name = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : "";
    duk_pop(ctx);
    duk_get_prop_string(ctx, 0, "message");
    std::string message = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : "";
    duk_pop(ctx);
    const std::string creator = creatorName(ctx);

    Mapped mapped;
    if (!isErrorConstructorName(creator)) {
        if (name == "SyntaxError") {
            if (const int line = takeCompileLine(message)) {
                duk_push_int(ctx, line);
                duk_put_prop_string(ctx, 0, kCompileLineKey);
            }
        }
        mapped = mapError(name, message, creator);
    }
    const std::string& text = mapped.text.empty() ? message : mapped.text;
    duk_push_lstring(ctx, text.data(), text.size());
    duk_put_prop_string(ctx, 0, "message");
    duk_push_lstring(ctx, text.data(), text.size());
    duk_put_prop_string(ctx, 0, "description");
    duk_push_number(ctx, static_cast<double>(mapped.number));
    duk_put_prop_string(ctx, 0, "number");
    return 1;
}

// Error([number[, description]]) and Error(message): a number alone, or a
// number and a description, set the error's number; a single argument of
// any other kind is the message, as in ECMAScript. The position is the
// calling script's.
duk_ret_t errorConstructor(duk_context* ctx) {
    const duk_idx_t argc = duk_get_top(ctx);
    double number = 0;
    std::string text;
    auto textOf = [ctx](duk_idx_t i) -> std::string {
        if (duk_is_undefined(ctx, i)) return {};
        duk_size_t length = 0;
        const char* s = duk_safe_to_lstring(ctx, i, &length);
        return std::string(s, length);
    };
    if (argc >= 2) {
        number = static_cast<double>(duk_to_int32(ctx, 0));
        text = textOf(1);
    } else if (argc == 1 && duk_is_number(ctx, 0)) {
        number = static_cast<double>(duk_to_int32(ctx, 0));
    } else if (argc == 1) {
        text = textOf(0);
    }
    std::string fileName;
    int line = 0;
    callerPosition(ctx, fileName, line);
    duk_push_error_object_raw(ctx, DUK_ERR_ERROR, fileName.empty() ? nullptr : fileName.c_str(), line, "%s",
                              text.c_str());
    duk_push_lstring(ctx, text.data(), text.size());
    duk_put_prop_string(ctx, -2, "message");
    duk_push_lstring(ctx, text.data(), text.size());
    duk_put_prop_string(ctx, -2, "description");
    duk_push_number(ctx, number);
    duk_put_prop_string(ctx, -2, "number");
    return 1;
}

}  // namespace

void installErrorNumbers(duk_context* ctx) {
    duk_get_global_string(ctx, "Duktape");  // [Duktape]
    duk_push_c_function(ctx, errCreateHook, 1);
    duk_put_prop_string(ctx, -2, "errCreate");
    duk_pop(ctx);

    // Error itself takes this language's (number, description) form. The
    // prototype stays the built-in one, so instanceof and the other error
    // types are unchanged.
    duk_get_global_string(ctx, "Error");  // [Error]
    duk_get_prop_string(ctx, -1, "prototype");  // [Error proto]
    duk_push_c_function(ctx, errorConstructor, DUK_VARARGS);  // [Error proto ctor]
    duk_push_string(ctx, "name");
    duk_push_string(ctx, "Error");
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE | DUK_DEFPROP_SET_CONFIGURABLE);
    duk_push_string(ctx, "length");
    duk_push_int(ctx, 1);
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE | DUK_DEFPROP_SET_CONFIGURABLE);
    duk_push_string(ctx, "prototype");
    duk_dup(ctx, -3);
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE | DUK_DEFPROP_CLEAR_WRITABLE |
                              DUK_DEFPROP_CLEAR_ENUMERABLE | DUK_DEFPROP_CLEAR_CONFIGURABLE);
    duk_push_string(ctx, "constructor");
    duk_dup(ctx, -2);
    duk_def_prop(ctx, -4, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE | DUK_DEFPROP_SET_WRITABLE |
                              DUK_DEFPROP_CLEAR_ENUMERABLE | DUK_DEFPROP_SET_CONFIGURABLE);
    duk_put_global_string(ctx, "Error");  // [Error proto]
    duk_pop_2(ctx);
}

}  // namespace jscript

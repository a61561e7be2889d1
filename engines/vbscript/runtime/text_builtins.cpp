// More string functions: Filter over an array of strings, and the byte
// views of a string's UTF-16 storage, LenB and AscB.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/runtime/builtins.h"
#include "engines/vbscript/runtime/text_case.h"

namespace vbs {

namespace {

// Filter(strings, value[, include[, compare]]): a zero-based array of the
// elements that contain value (include True, the default) or do not.
Value fnFilter(Interpreter&, Value* a, int argc) {
    if (a[0].isNull()) raise(94, u"Filter");
    if (!a[0].isArray() || a[0].arr()->bounds.size() != 1) raise(err::TypeMismatch, u"Filter");
    if (a[1].isNull()) raise(94, u"Filter");
    const std::u16string match = toString(a[1]);
    bool include = true;
    if (given(a, argc, 2)) {
        if (a[2].isNull()) raise(94, u"Filter");
        include = toBool(a[2]);
    }
    const bool text = textCompareArg(a, argc, 3);
    const std::u16string needle = text ? lowerText(match) : match;
    std::vector<std::u16string> kept;
    for (const Value& element : a[0].arr()->data) {
        std::u16string s = toString(element);
        const bool found = (text ? lowerText(s) : s).find(needle) != std::u16string::npos;
        if (found == include) kept.push_back(std::move(s));
    }
    ArrayBody* out = newArray({static_cast<std::int32_t>(kept.size()) - 1});
    for (std::size_t i = 0; i < kept.size(); ++i) out->data[i] = Value::string(std::move(kept[i]));
    return Value::array(out);
}

// The string's length in bytes: two for each UTF-16 unit.
Value fnLenB(Interpreter&, Value* a, int) {
    if (a[0].isNull()) return Value::null();
    return Value::longInt(static_cast<std::int32_t>(toString(a[0]).size() * 2));
}

// The first byte of the string's storage: the low byte of its first unit.
Value fnAscB(Interpreter&, Value* a, int) {
    if (a[0].isNull()) raise(94, u"AscB");
    const std::u16string s = toString(a[0]);
    if (s.empty()) raise(err::InvalidCall, u"AscB");
    return Value::integer(static_cast<std::int16_t>(s[0] & 0xFF));
}

const Builtin kText[] = {
    {u"Filter", fnFilter, 2, 4},
    {u"LenB", fnLenB, 1, 1},
    {u"AscB", fnAscB, 1, 1},
};

}  // namespace

std::span<const Builtin> textBuiltins() { return kText; }

}  // namespace vbs

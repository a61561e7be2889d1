// Array functions: Array, LBound, UBound, Split, Join.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"
#include "engines/vbscript/runtime/builtins.h"
#include "engines/vbscript/runtime/text_case.h"

namespace vbs {

namespace {

const ArrayBody& arrayOf(const Value& v) {
    if (!v.isArray()) raise(err::TypeMismatch);
    return *v.arr();
}

// The bound of dimension `dim` (1-based): lower or upper.
Value bound(Value* a, int argc, bool upper) {
    const ArrayBody& arr = arrayOf(a[0]);
    std::int32_t dim = given(a, argc, 1) ? toLong(a[1]) : 1;
    if (dim < 1 || static_cast<std::size_t>(dim) > arr.bounds.size()) raise(err::SubscriptRange);
    const ArrayBody::Bound& b = arr.bounds[static_cast<std::size_t>(dim - 1)];
    return Value::longInt(upper ? b.lower + b.count - 1 : b.lower);
}

Value fnLBound(Interpreter&, Value* a, int argc) { return bound(a, argc, false); }
Value fnUBound(Interpreter&, Value* a, int argc) { return bound(a, argc, true); }

Value fnArray(Interpreter&, Value* a, int argc) {
    ArrayBody* arr = newArray({argc - 1});
    for (int i = 0; i < argc; ++i) arr->data[static_cast<std::size_t>(i)] = a[i];
    return Value::array(arr);
}

Value fnSplit(Interpreter&, Value* a, int argc) {
    if (a[0].isNull()) raise(94);
    std::u16string s = toString(a[0]);
    std::u16string delim = given(a, argc, 1) ? toString(a[1]) : std::u16string(u" ");
    std::int32_t limit = given(a, argc, 2) ? toLong(a[2]) : -1;
    if (limit < -1) raise(err::InvalidCall);
    const bool text = textCompareArg(a, argc, 3);
    std::vector<std::u16string> parts;
    if (!s.empty() && limit != 0) {
        if (delim.empty()) {
            parts.push_back(s);
        } else {
            const std::u16string hay = text ? lowerText(s) : s, needle = text ? lowerText(delim) : delim;
            std::size_t pos = 0;
            for (;;) {
                if (limit > 0 && static_cast<std::int32_t>(parts.size()) == limit - 1) break;
                std::size_t at = hay.find(needle, pos);
                if (at == std::u16string::npos) break;
                parts.push_back(s.substr(pos, at - pos));
                pos = at + needle.size();
            }
            parts.push_back(s.substr(pos));
        }
    }
    ArrayBody* arr = newArray({static_cast<std::int32_t>(parts.size()) - 1});
    for (std::size_t i = 0; i < parts.size(); ++i) arr->data[i] = Value::string(std::move(parts[i]));
    return Value::array(arr);
}

Value fnJoin(Interpreter& vm, Value* a, int argc) {
    if (a[0].isNull()) raise(94);
    if (a[0].isObject()) {
        // An object joins as its default property (438 when it has none).
        Value args[2] = {defaultValue(a[0].obj()), given(a, argc, 1) ? a[1] : Value::missing()};
        return fnJoin(vm, args, argc);
    }
    const ArrayBody& arr = arrayOf(a[0]);
    if (arr.bounds.size() != 1) raise(err::TypeMismatch);
    std::u16string delim = given(a, argc, 1) ? toString(a[1]) : std::u16string(u" ");
    // The length first: a result too long fails before it is built.
    std::uint64_t length = arr.data.empty() ? 0 : std::uint64_t{delim.size()} * (arr.data.size() - 1);
    for (const Value& element : arr.data) {
        if (element.isNull()) raise(err::TypeMismatch);
        if (element.isString()) length += element.str().size();
        else length += toString(element).size();
        checkStringLength(length);
    }
    std::u16string out;
    out.reserve(static_cast<std::size_t>(length));
    for (std::size_t i = 0; i < arr.data.size(); ++i) {
        if (i) out += delim;
        const Value& element = arr.data[i];
        if (element.isString()) out += element.str();
        else if (!element.isNull()) out += toString(element);
    }
    return Value::string(std::move(out));
}

const Builtin kArrays[] = {
    {u"Array", fnArray, 0, 127}, {u"LBound", fnLBound, 1, 2}, {u"UBound", fnUBound, 1, 2},
    {u"Split", fnSplit, 1, 4},   {u"Join", fnJoin, 1, 2},
};

}  // namespace

std::span<const Builtin> arrayBuiltins() { return kArrays; }

}  // namespace vbs

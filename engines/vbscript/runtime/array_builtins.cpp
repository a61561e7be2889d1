// Array functions: Array, LBound, UBound, Split, Join.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"
#include "engines/vbscript/runtime/builtins.h"
#include "engines/vbscript/runtime/text_case.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstdint>
#include <string_view>
#include <vector>

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
    ArrayBody* arr = newList(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) arr->data[static_cast<std::size_t>(i)] = a[i];
    return Value::array(arr);
}

// The text of a string argument without a copy; other values are
// converted into scratch, which must outlive the view.
std::u16string_view textOf(const Value& v, std::u16string& scratch) {
    if (v.isString()) return v.str();
    scratch = toString(v);
    return scratch;
}

// Where the delimiters of Split are, as offsets: the first few on the stack.
class Cuts {
public:
    void push(std::size_t at) {
        if (m_count < kInline) m_inline[m_count] = at;
        else m_more.push_back(at);
        ++m_count;
    }
    std::size_t operator[](std::size_t i) const { return i < kInline ? m_inline[i] : m_more[i - kInline]; }
    std::size_t size() const { return m_count; }

private:
    static constexpr std::size_t kInline = 32;
    std::size_t m_inline[kInline];
    std::size_t m_count = 0;
    std::vector<std::size_t> m_more;
};

// Where the first c at or after from is in text (its size when there is none).
std::size_t findUnit(std::u16string_view text, char16_t c, std::size_t from) {
    const char16_t* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(c));
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int found = _mm_movemask_epi8(_mm_cmpeq_epi16(v, wanted));
        if (found) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(found))) / 2;
    }
#endif
    while (i < n && p[i] != c) ++i;
    return i;
}

// Finds the delimiters in hay, at most limit - 1 of them (no limit: -1).
void findCuts(std::u16string_view hay, std::u16string_view needle, std::int32_t limit, Cuts& cuts) {
    const std::size_t most = limit < 0 ? SIZE_MAX : static_cast<std::size_t>(limit) - 1;
    if (needle.size() == 1) {
        for (std::size_t at = findUnit(hay, needle[0], 0); at < hay.size() && cuts.size() < most;
             at = findUnit(hay, needle[0], at + 1))
            cuts.push(at);
        return;
    }
    for (std::size_t pos = 0; cuts.size() < most;) {
        const std::size_t at = hay.find(needle, pos);
        if (at == std::u16string_view::npos) break;
        cuts.push(at);
        pos = at + needle.size();
    }
}

// The delimiters are found first, so that the array is made once at its
// size and each piece is copied once, straight into its element. In text
// mode they are looked for in lower-case copies (lower-casing keeps every
// offset), and the pieces taken from the original.
Value fnSplit(Interpreter&, Value* a, int argc) {
    if (a[0].isNull()) raise(94);
    std::u16string textScratch, delimScratch;
    const std::u16string_view s = textOf(a[0], textScratch);
    const std::u16string_view delim = given(a, argc, 1) ? textOf(a[1], delimScratch) : std::u16string_view(u" ");
    const std::int32_t limit = given(a, argc, 2) ? toLong(a[2]) : -1;
    if (limit < -1) raise(err::InvalidCall);
    const bool text = textCompareArg(a, argc, 3);
    if (s.empty() || limit == 0) return Value::array(newList(0));
    Cuts cuts;
    if (!delim.empty() && text) findCuts(lowerText(s), lowerText(delim), limit, cuts);
    else if (!delim.empty()) findCuts(s, delim, limit, cuts);
    // Too many pieces fail here (error 7).
    ArrayBody* arr = newList(cuts.size() + 1);
    Value result = Value::array(arr);  // frees the array if a piece cannot be made
    std::size_t pos = 0;
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        arr->data[i] = Value::string(s.substr(pos, cuts[i] - pos));
        pos = cuts[i] + delim.size();
    }
    arr->data[cuts.size()] = Value::string(s.substr(pos));
    return result;
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

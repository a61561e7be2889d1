// The interpreter's value: a 16-byte tagged union with the variant subtypes
// scripts see (Empty, Null, Boolean, Byte, Integer, Long, Single, Double,
// Currency, Date, String, Object, arrays) plus two internal kinds: a
// reference to a variable (a ByRef parameter slot) and a For Each iterator.
// Strings, arrays and iterators are reference counted; objects hold an
// IDispatch reference. Values convert to VARIANT only at host boundaries.
#pragma once

#include "runtime/dispatch.h"

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vbs {

enum class Tag : std::uint8_t {
    Empty,
    Null,
    Boolean,
    Byte,
    Integer,   // 16-bit
    Long,      // 32-bit
    Single,
    Double,
    Currency,  // 64-bit integer scaled by 10000
    Date,
    Error,     // an error code; DISP_E_PARAMNOTFOUND marks a left-out argument
    // Counted kinds from here on (Object may hold null: Nothing).
    String,
    Object,
    Array,
    Iter,
    // A reference to an array element (a ByRef argument): holds the array
    // and locks it against ReDim and Erase while it lives.
    ElemRef,
    // Not counted: a pointer to a variable owned elsewhere.
    Ref,
};

class Value;

// The longest string a script may make, in UTF-16 code units; anything
// longer is the script's error 7 (Out of memory).
constexpr std::uint64_t kMaxStringLength = 0x7FFFFFFF;
// Throws std::bad_alloc (which the interpreter reports as error 7) when a
// string of n code units would be too long.
inline void checkStringLength(std::uint64_t n) {
    if (n > kMaxStringLength) throw std::bad_alloc();
}

// A shared string. refs counts the values holding it; a string held by one
// value may be appended to in place.
struct StringBody {
    std::uint32_t refs = 1;
    std::u16string text;
    // The next body in this thread's list of freed ones (value.cpp).
    StringBody* nextFree = nullptr;
};

// One dimension of an array: its lower bound and element count.
struct ArrayBound {
    std::int32_t lower = 0;
    std::int32_t count = 0;
};

// The dimensions of an array. Nearly every array has one or two, kept in
// the array itself: a Split of each line of a file then costs one
// allocation for the elements instead of two.
class BoundList {
public:
    BoundList() = default;
    BoundList(const BoundList& o) { *this = o; }
    BoundList& operator=(const BoundList& o) {
        if (this != &o) {
            clear();
            for (const ArrayBound& b : o) push_back(b);
        }
        return *this;
    }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    // Every bound is in m_more once there were more than fit inline.
    ArrayBound* data() { return m_more.empty() ? m_inline : m_more.data(); }
    const ArrayBound* data() const { return m_more.empty() ? m_inline : m_more.data(); }
    ArrayBound& operator[](std::size_t i) { return data()[i]; }
    const ArrayBound& operator[](std::size_t i) const { return data()[i]; }
    ArrayBound* begin() { return data(); }
    ArrayBound* end() { return data() + m_size; }
    const ArrayBound* begin() const { return data(); }
    const ArrayBound* end() const { return data() + m_size; }
    ArrayBound& back() { return data()[m_size - 1]; }
    const ArrayBound& back() const { return data()[m_size - 1]; }
    void push_back(ArrayBound b) {
        if (m_more.empty() && m_size < kInline) {
            m_inline[m_size++] = b;
            return;
        }
        if (m_more.empty()) m_more.assign(m_inline, m_inline + m_size);
        m_more.push_back(b);
        ++m_size;
    }
    void clear() {
        m_size = 0;
        m_more.clear();
    }

private:
    static constexpr std::size_t kInline = 2;
    std::uint32_t m_size = 0;
    ArrayBound m_inline[kInline];
    std::vector<ArrayBound> m_more;
};

// A multi-dimensional array; elements are stored with the first index
// varying fastest, so resizing the last dimension keeps every element.
struct ArrayBody {
    using Bound = ArrayBound;
    std::uint32_t refs = 1;
    bool fixed = false;  // declared with Dim a(n): cannot be resized or erased
    BoundList bounds;
    std::vector<Value> data;
    // Element references alive into this array; each also holds one of
    // refs. While any lives, the array may not be resized or erased.
    std::uint32_t locks = 0;
    // The next body in this thread's list of freed ones (value.cpp).
    ArrayBody* nextFree = nullptr;
};

struct ElementRef;

// State of a For Each loop.
struct IterBody {
    std::uint32_t refs = 1;
    virtual ~IterBody() = default;
    // Writes the next element into out; false at the end.
    virtual bool next(Value& out) = 0;
};

class Value {
public:
    Value() noexcept : m_tag(Tag::Empty) { m_bits = 0; }
    Value(const Value& o) noexcept : m_tag(o.m_tag) { m_bits = o.m_bits; retain(); }
    Value(Value&& o) noexcept : m_tag(o.m_tag) { m_bits = o.m_bits; o.m_tag = Tag::Empty; }
    ~Value() { release(); }
    Value& operator=(const Value& o) noexcept {
        if (this != &o) {
            Value copy(o);
            swap(copy);
        }
        return *this;
    }
    // The new value is in place before the old one is released: releasing
    // may run script code (Class_Terminate) that reads or writes this slot.
    Value& operator=(Value&& o) noexcept {
        if (this != &o) {
            const Tag oldTag = m_tag;
            const std::uint64_t oldBits = m_bits;
            m_tag = o.m_tag;
            m_bits = o.m_bits;
            o.m_tag = Tag::Empty;
            if (isCounted(oldTag)) releaseDetached(oldTag, oldBits);
        }
        return *this;
    }
    void swap(Value& o) noexcept {
        std::swap(m_tag, o.m_tag);
        std::swap(m_bits, o.m_bits);
    }

    static Value null() { Value v; v.m_tag = Tag::Null; return v; }
    static Value boolean(bool b) { Value v; v.m_tag = Tag::Boolean; v.m_bits = b ? 1u : 0u; return v; }
    static Value byte(std::uint8_t b) { Value v; v.m_tag = Tag::Byte; v.m_bits = b; return v; }
    static Value integer(std::int16_t i) { Value v; v.m_tag = Tag::Integer; v.m_bits = static_cast<std::uint16_t>(i); return v; }
    static Value longInt(std::int32_t i) { Value v; v.m_tag = Tag::Long; v.m_bits = static_cast<std::uint32_t>(i); return v; }
    static Value single(float f) { Value v; v.m_tag = Tag::Single; v.m_r4 = f; return v; }
    static Value number(double d) { Value v; v.m_tag = Tag::Double; v.m_r8 = d; return v; }
    static Value currency(std::int64_t scaled) { Value v; v.m_tag = Tag::Currency; v.m_cy = scaled; return v; }
    static Value date(double serial) { Value v; v.m_tag = Tag::Date; v.m_r8 = serial; return v; }
    static Value error(SCODE code) { Value v; v.m_tag = Tag::Error; v.m_i4 = code; return v; }
    static Value missing() { return error(DISP_E_PARAMNOTFOUND); }
    static Value string(std::u16string text);
    // Copies text into a body whose buffer is often already there (one
    // freed earlier on this thread), so that making a string of a few
    // dozen characters rarely allocates.
    static Value string(std::u16string_view text);
    static Value string(const char16_t* text) { return string(std::u16string_view(text)); }
    static Value ascii(std::string_view text);
    // A new empty string whose text the caller writes in place through
    // *text (its body often keeps a buffer from earlier use); the caller
    // checks the length it wrote with checkStringLength.
    static Value stringToFill(std::u16string*& text);
    // Adds a reference to d (null: Nothing).
    static Value object(IDispatch* d);
    static Value nothing() { return object(nullptr); }
    // Takes over the reference the caller holds.
    static Value attachObject(IDispatch* d) { Value v; v.m_tag = Tag::Object; v.m_obj = d; return v; }
    static Value array(ArrayBody* body) { Value v; v.m_tag = Tag::Array; v.m_arr = body; return v; }  // takes the reference
    static Value iter(IterBody* body) { Value v; v.m_tag = Tag::Iter; v.m_iter = body; return v; }    // takes the reference
    static Value ref(Value* target) { Value v; v.m_tag = Tag::Ref; v.m_ref = target; return v; }
    // A reference to element of the array held by arrayValue, which must
    // hold the only reference apart from other element references (see
    // uniqueArray). Locks the array until the last copy is released.
    static Value elementRef(const Value& arrayValue, Value* element);

    Tag tag() const { return m_tag; }
    bool isEmpty() const { return m_tag == Tag::Empty; }
    bool isNull() const { return m_tag == Tag::Null; }
    bool isString() const { return m_tag == Tag::String; }
    bool isObject() const { return m_tag == Tag::Object; }
    bool isArray() const { return m_tag == Tag::Array; }
    // A variable reference or an array element reference.
    bool isRef() const { return m_tag >= Tag::ElemRef; }
    bool isMissing() const { return m_tag == Tag::Error && m_i4 == DISP_E_PARAMNOTFOUND; }
    bool isNothing() const { return m_tag == Tag::Object && !m_obj; }

    bool asBool() const { return m_bool; }
    std::uint8_t asByte() const { return m_byte; }
    std::int16_t asInteger() const { return m_i2; }
    std::int32_t asLong() const { return m_i4; }
    float asSingle() const { return m_r4; }
    double asDouble() const { return m_r8; }  // Double and Date
    std::int64_t asCurrency() const { return m_cy; }
    SCODE asError() const { return m_i4; }
    const std::u16string& str() const { return m_str->text; }
    StringBody* stringBody() const { return m_str; }
    IDispatch* obj() const { return m_obj; }
    ArrayBody* arr() const { return m_arr; }
    IterBody* iterBody() const { return m_iter; }
    inline Value* target() const;

    // The value itself, or the variable a reference points to.
    const Value& deref() const { return isRef() ? *target() : *this; }
    Value& deref() { return isRef() ? *target() : *this; }

    // Releases what is held; the value is Empty before the release runs.
    void clear() noexcept {
        const Tag oldTag = m_tag;
        m_tag = Tag::Empty;
        if (isCounted(oldTag)) releaseDetached(oldTag, m_bits);
    }
    // Setters for a value known to hold no counted kind (the interpreter's
    // fast paths over numbers). Small kinds write all eight bytes, so a
    // later copy of the value reads back one whole store (no partial-store
    // stall).
    void setPlainDouble(double d) { m_tag = Tag::Double; m_r8 = d; }
    void setPlainLong(std::int32_t i) { m_tag = Tag::Long; m_bits = static_cast<std::uint32_t>(i); }
    void setPlainInteger(std::int16_t i) { m_tag = Tag::Integer; m_bits = static_cast<std::uint16_t>(i); }
    void setPlainBool(bool b) { m_tag = Tag::Boolean; m_bits = b ? 1u : 0u; }

    // Appends to a string held only here, in place; otherwise makes a new one.
    void appendString(std::u16string_view tail);
    // Makes the array body unshared (copy on write) and returns it.
    ArrayBody* uniqueArray();

private:
    static bool isCounted(Tag t) { return t >= Tag::String && t < Tag::Ref; }
    bool counted() const { return isCounted(m_tag); }
    void retain() noexcept {
        if (!counted()) return;
        switch (m_tag) {
        case Tag::String: ++m_str->refs; break;
        case Tag::Object: if (m_obj) m_obj->AddRef(); break;
        case Tag::Array: ++m_arr->refs; break;
        case Tag::Iter: ++m_iter->refs; break;
        case Tag::ElemRef: ++*reinterpret_cast<std::uint32_t*>(m_eref); break;
        default: break;
        }
    }
    void release() noexcept {
        if (counted()) {
            const Tag oldTag = m_tag;
            m_tag = Tag::Empty;
            releaseDetached(oldTag, m_bits);
        }
    }
    // Drops one reference to what a value of kind tag with payload bits
    // held; the value itself no longer refers to it. The last reference
    // to an array, iterator or object goes through a per-thread queue, so
    // long chains (linked objects, arrays of arrays) are freed one link at
    // a time rather than by recursion.
    static void releaseDetached(Tag tag, std::uint64_t bits) noexcept;

    Tag m_tag;
    union {
        std::uint64_t m_bits;
        bool m_bool;
        std::uint8_t m_byte;
        std::int16_t m_i2;
        std::int32_t m_i4;
        float m_r4;
        double m_r8;
        std::int64_t m_cy;
        StringBody* m_str;
        IDispatch* m_obj;
        ArrayBody* m_arr;
        IterBody* m_iter;
        ElementRef* m_eref;
        Value* m_ref;
    };
};

static_assert(sizeof(Value) == 16);

struct ElementRef {
    std::uint32_t refs = 1;  // first: Value::retain counts it without the full type
    Value* element = nullptr;
    Value array;
};

inline Value* Value::target() const { return m_tag == Tag::Ref ? m_ref : m_eref->element; }

// The most elements one array may hold (2^28 values: 4 GiB).
constexpr std::uint64_t kMaxArrayElements = std::uint64_t{1} << 28;

// How many elements an array with these upper bounds holds (upper bounds
// of -1 give empty dimensions); throws std::bad_alloc past kMaxArrayElements.
std::size_t arrayElementCount(const std::vector<std::int32_t>& upperBounds);

// A new array with the given bounds (upper bounds, lower bound 0), elements
// Empty; throws std::bad_alloc when it would be too large.
ArrayBody* newArray(const std::vector<std::int32_t>& upperBounds);
// A new one-dimensional array of count Empty elements, lower bound 0;
// throws std::bad_alloc past kMaxArrayElements.
ArrayBody* newList(std::size_t count);

}  // namespace vbs

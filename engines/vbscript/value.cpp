#include "engines/vbscript/value.h"

#include <cstdint>
#include <algorithm>
#include <deque>
#include <memory>
#include <new>
#include <utility>

namespace vbs {

// Under AddressSanitizer freed bodies are not kept, so that a use after
// free is still caught (GCC and clang say so differently).
#if defined(__SANITIZE_ADDRESS__)
#define VBS_KEEP_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VBS_KEEP_BLOCKS 0
#endif
#endif
#ifndef VBS_KEEP_BLOCKS
#define VBS_KEEP_BLOCKS 1
#endif

namespace {

// Freed string and array bodies are kept per thread, one list for each,
// whole: a string keeps its buffer and an array its element storage. The
// interpreter makes and frees one for nearly every string or array it
// computes (a Split of each line of a file makes an array and a string per
// field), and a kept body with room for the new text or elements costs a
// few instructions where malloc and free cost about a hundred each. At
// most kKeptBodies wait in a list, and only small buffers stay with them;
// the rest goes back to the allocator, as does everything once the
// thread's lists are closed at its end. Under AddressSanitizer nothing is
// kept, so that a body used after it was freed is still caught.
constexpr std::uint32_t kKeptBodies = 512;
constexpr std::size_t kKeptTextUnits = 256;   // UTF-16 units a kept string may hold
constexpr std::size_t kKeptElements = 64;     // elements a kept array may hold

template <class Body>
struct BodyList {
    Body* head = nullptr;
    std::uint32_t count = 0;
    bool closing = false;  // the thread is ending: keep nothing more
    bool watched = false;  // the thread's end will empty it
};
// The lists are plain data reached in the initial-exec model: a
// thread-local lookup then costs one load instead of a call into the
// dynamic loader, on every string and array made or freed. The model needs
// a little of the static thread-local space that the C library keeps for
// libraries opened later; these few dozen bytes fit in it.
#define VBS_FAST_TLS __attribute__((tls_model("initial-exec"))) constinit thread_local
VBS_FAST_TLS BodyList<StringBody> t_strings;
VBS_FAST_TLS BodyList<ArrayBody> t_arrays;

template <class Body>
void drain(BodyList<Body>& list) noexcept {
    list.closing = true;
    while (Body* b = list.head) {
        list.head = b->nextFree;
        delete b;
    }
    list.count = 0;
}

// Empties both lists when the thread ends. Made on the first body kept.
struct BodyListsCloser {
    ~BodyListsCloser() {
        drain(t_strings);
        drain(t_arrays);
    }
    void watch() {}
};
thread_local BodyListsCloser t_bodyCloser;

// A body from the list (refs 1, otherwise as left by keep), or null.
template <class Body>
Body* reuse(BodyList<Body>& list) noexcept {
#if VBS_KEEP_BLOCKS
    if (Body* b = list.head) {
        list.head = b->nextFree;
        b->nextFree = nullptr;
        b->refs = 1;
        --list.count;
        return b;
    }
#else
    (void)list;
#endif
    return nullptr;
}

// Puts an emptied body on the list, or frees it when the list is full.
template <class Body>
void keep(BodyList<Body>& list, Body* b) noexcept {
#if VBS_KEEP_BLOCKS
    if (!list.closing && list.count < kKeptBodies) {
        if (!list.watched) {
            t_bodyCloser.watch();
            list.watched = true;
        }
        b->nextFree = list.head;
        list.head = b;
        ++list.count;
        return;
    }
#else
    (void)list;
#endif
    delete b;
}

void dropString(StringBody* s) noexcept {
    if (s->text.capacity() > kKeptTextUnits) std::u16string().swap(s->text);
    else s->text.clear();
    keep(t_strings, s);
}

// The elements were released already; what is left is the storage.
void dropArray(ArrayBody* a) noexcept {
    if (a->data.capacity() > kKeptElements) std::vector<Value>().swap(a->data);
    a->fixed = false;
    a->bounds.clear();
    a->locks = 0;
    keep(t_arrays, a);
}

StringBody* newStringBody() {
    if (StringBody* s = reuse(t_strings)) return s;
    return new StringBody;
}

// An empty array body: kept, or new.
ArrayBody* arrayBody() {
    if (ArrayBody* a = reuse(t_arrays)) return a;
    return new ArrayBody;
}

// Holds a body being filled, which goes back to its list if filling fails.
struct PendingArray {
    ArrayBody* body;
    ~PendingArray() {
        if (body) dropArray(body);
    }
    ArrayBody* release() { return std::exchange(body, nullptr); }
};

}  // namespace

Value Value::string(std::u16string text) {
    checkStringLength(text.size());
    StringBody* body = newStringBody();
    body->text = std::move(text);
    Value v;
    v.m_tag = Tag::String;
    v.m_str = body;
    return v;
}

Value Value::stringToFill(std::u16string*& text) {
    StringBody* body = newStringBody();
    text = &body->text;
    Value v;
    v.m_tag = Tag::String;
    v.m_str = body;
    return v;
}

Value Value::string(std::u16string_view text) {
    checkStringLength(text.size());
    StringBody* body = newStringBody();
    try {
        body->text.assign(text);
    } catch (...) {
        dropString(body);
        throw;
    }
    Value v;
    v.m_tag = Tag::String;
    v.m_str = body;
    return v;
}

Value Value::ascii(std::string_view text) {
    return string(std::u16string(text.begin(), text.end()));
}

Value Value::object(IDispatch* d) {
    Value v;
    v.m_tag = Tag::Object;
    v.m_obj = d;
    if (d) d->AddRef();
    return v;
}

namespace {

// What is left to free while a release is under way. The outermost release
// drains it; anything freed meanwhile (the elements of a dying array, the
// fields of a dying object, what its Class_Terminate lets go) waits here
// instead of being freed from inside the release that reached it.
struct PendingRelease {
    Tag tag;
    std::uint64_t bits;
};
// Plain data, so that reaching it costs one thread-local lookup and no
// initialization check: the list itself is made the first time anything
// waits, and freed when the thread ends.
struct ReleaseQueue {
    bool draining = false;
    bool closed = false;  // the thread is ending: nothing waits any more
    std::deque<PendingRelease>* items = nullptr;
};
VBS_FAST_TLS ReleaseQueue t_releases;

struct ReleaseQueueCloser {
    ~ReleaseQueueCloser() {
        t_releases.closed = true;
        delete t_releases.items;
        t_releases.items = nullptr;
    }
    void watch() {}
};
thread_local ReleaseQueueCloser t_releaseCloser;

template <class T>
T* payload(std::uint64_t bits) {
    return reinterpret_cast<T*>(static_cast<std::uintptr_t>(bits));
}

void finish(Tag tag, std::uint64_t bits) noexcept {
    switch (tag) {
    case Tag::Object: payload<IDispatch>(bits)->Release(); break;
    case Tag::Array: {
        // The elements go first (anything they free waits in the queue).
        ArrayBody* a = payload<ArrayBody>(bits);
        a->data.clear();
        dropArray(a);
        break;
    }
    case Tag::Iter: delete payload<IterBody>(bits); break;
    case Tag::ElemRef: {
        ElementRef* r = payload<ElementRef>(bits);
        --r->array.arr()->locks;
        delete r;
        break;
    }
    default: break;
    }
}

}  // namespace

void Value::releaseDetached(Tag tag, std::uint64_t bits) noexcept {
    switch (tag) {
    case Tag::String: {
        StringBody* s = payload<StringBody>(bits);
        if (--s->refs == 0) dropString(s);
        return;
    }
    case Tag::Object:
        // Not knowing whether this is the last reference, the whole
        // Release waits its turn.
        if (!bits) return;
        break;
    case Tag::Array:
        if (--payload<ArrayBody>(bits)->refs != 0) return;
        break;
    case Tag::Iter:
        if (--payload<IterBody>(bits)->refs != 0) return;
        break;
    case Tag::ElemRef:
        if (--payload<ElementRef>(bits)->refs != 0) return;
        break;
    default: return;
    }
    ReleaseQueue& queue = t_releases;
    if (queue.draining) {
        if (!queue.closed) {
            try {
                if (!queue.items) {
                    queue.items = new std::deque<PendingRelease>;
                    t_releaseCloser.watch();
                }
                queue.items->push_back({tag, bits});
                return;
            } catch (...) {
                // No room to wait: free it now.
            }
        }
        finish(tag, bits);
        return;
    }
    queue.draining = true;
    finish(tag, bits);
    while (queue.items && !queue.items->empty()) {
        const PendingRelease next = queue.items->front();
        queue.items->pop_front();
        finish(next.tag, next.bits);
    }
    queue.draining = false;
}

void Value::appendString(std::u16string_view tail) {
    checkStringLength(std::uint64_t{m_tag == Tag::String ? m_str->text.size() : 0} + tail.size());
    if (m_tag == Tag::String && m_str->refs == 1) {
        m_str->text.append(tail);
        return;
    }
    std::u16string text;
    if (m_tag == Tag::String) {
        text.reserve(m_str->text.size() + tail.size());
        text = m_str->text;
    }
    text.append(tail);
    *this = string(std::move(text));
}

Value Value::elementRef(const Value& arrayValue, Value* element) {
    auto* r = new ElementRef{1, element, arrayValue};
    ++arrayValue.arr()->locks;
    Value v;
    v.m_tag = Tag::ElemRef;
    v.m_eref = r;
    return v;
}

ArrayBody* Value::uniqueArray() {
    // Element references share the array without making it shared: what
    // is written through this value must reach them.
    if (m_arr->refs - m_arr->locks > 1) {
        auto* copy = new ArrayBody{1, m_arr->fixed, m_arr->bounds, m_arr->data, 0};
        --m_arr->refs;
        m_arr = copy;
    }
    return m_arr;
}

std::size_t arrayElementCount(const std::vector<std::int32_t>& upperBounds) {
    if (upperBounds.empty()) return 0;
    std::uint64_t total = 1;
    for (std::int32_t ub : upperBounds) {
        const std::int64_t count = std::max<std::int64_t>(0, static_cast<std::int64_t>(ub) + 1);
        if (static_cast<std::uint64_t>(count) > kMaxArrayElements ||
            (count > 0 && total > kMaxArrayElements / static_cast<std::uint64_t>(count))) {
            throw std::bad_alloc();
        }
        total *= static_cast<std::uint64_t>(count);
    }
    return static_cast<std::size_t>(total);
}

ArrayBody* newArray(const std::vector<std::int32_t>& upperBounds) {
    const std::size_t total = arrayElementCount(upperBounds);
    PendingArray a{arrayBody()};
    for (std::int32_t ub : upperBounds) a.body->bounds.push_back({0, static_cast<std::int32_t>(std::max<std::int64_t>(0, std::int64_t{ub} + 1))});
    a.body->data.resize(total);
    return a.release();
}

ArrayBody* newList(std::size_t count) {
    if (count > kMaxArrayElements) throw std::bad_alloc();
    PendingArray a{arrayBody()};
    a.body->bounds.push_back({0, static_cast<std::int32_t>(count)});
    a.body->data.resize(count);
    return a.release();
}

}  // namespace vbs

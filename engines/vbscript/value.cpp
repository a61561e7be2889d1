#include "engines/vbscript/value.h"

#include <cstdint>
#include <algorithm>
#include <deque>
#include <memory>
#include <new>

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

// Freed string and array bodies are kept per thread, one list for each, for
// the next body made: the interpreter makes and frees one for nearly every
// string or array it computes (a Split of each line of a file), and a block
// from the list costs a few instructions where malloc and free cost about a
// hundred. At most kKeptBlocks wait in a list; the rest go back to the
// allocator, as does everything once the thread's lists are closed at its
// end. Under AddressSanitizer nothing is kept, so that a body used after it
// was freed is still caught.
struct FreeBlock {
    FreeBlock* next;
};
struct BlockList {
    FreeBlock* head = nullptr;
    std::uint32_t count = 0;
    bool closing = false;  // the thread is ending: keep nothing more
    bool watched = false;  // the thread's end will empty it
};
constexpr std::uint32_t kKeptBlocks = 512;
// The lists are plain data reached in the initial-exec model: a
// thread-local lookup then costs one load instead of a call into the
// dynamic loader, on every string and array made or freed. The model needs
// a little of the static thread-local space that the C library keeps for
// libraries opened later; these few dozen bytes fit in it.
#define VBS_FAST_TLS __attribute__((tls_model("initial-exec"))) constinit thread_local
VBS_FAST_TLS BlockList t_stringBlocks, t_arrayBlocks;

void drain(BlockList& list) noexcept {
    list.closing = true;
    while (FreeBlock* b = list.head) {
        list.head = b->next;
        ::operator delete(b);
    }
    list.count = 0;
}

// Empties both lists when the thread ends. Made on the first block kept.
struct BlockListsCloser {
    ~BlockListsCloser() {
        drain(t_stringBlocks);
        drain(t_arrayBlocks);
    }
    void watch() {}
};
thread_local BlockListsCloser t_blockCloser;

[[maybe_unused]] void* takeBlock(BlockList& list, std::size_t size) {
#if VBS_KEEP_BLOCKS
    if (FreeBlock* b = list.head) {
        list.head = b->next;
        --list.count;
        return b;
    }
#endif
    return ::operator new(size);
}

[[maybe_unused]] void giveBlock(BlockList& list, void* block, std::size_t size) noexcept {
#if VBS_KEEP_BLOCKS
    if (!list.closing && list.count < kKeptBlocks) {
        if (!list.watched) {
            t_blockCloser.watch();
            list.watched = true;
        }
        auto* b = static_cast<FreeBlock*>(block);
        b->next = list.head;
        list.head = b;
        ++list.count;
        return;
    }
#endif
    (void)size;  // the unsized form: clang offers the sized one only when asked
    ::operator delete(block);
}

}  // namespace

void* StringBody::operator new(std::size_t size) { return takeBlock(t_stringBlocks, size); }
void StringBody::operator delete(void* block, std::size_t size) noexcept { giveBlock(t_stringBlocks, block, size); }
void* ArrayBody::operator new(std::size_t size) { return takeBlock(t_arrayBlocks, size); }
void ArrayBody::operator delete(void* block, std::size_t size) noexcept { giveBlock(t_arrayBlocks, block, size); }

Value Value::string(std::u16string text) {
    checkStringLength(text.size());
    Value v;
    v.m_tag = Tag::String;
    v.m_str = new StringBody{1, std::move(text)};
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
    case Tag::Array: delete payload<ArrayBody>(bits); break;
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
        if (--s->refs == 0) delete s;
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
    auto a = std::make_unique<ArrayBody>();
    for (std::int32_t ub : upperBounds) a->bounds.push_back({0, static_cast<std::int32_t>(std::max<std::int64_t>(0, std::int64_t{ub} + 1))});
    a->data.resize(total);
    return a.release();
}

ArrayBody* newList(std::size_t count) {
    if (count > kMaxArrayElements) throw std::bad_alloc();
    auto a = std::make_unique<ArrayBody>();
    a->bounds.push_back({0, static_cast<std::int32_t>(count)});
    a->data.resize(count);
    return a.release();
}

}  // namespace vbs

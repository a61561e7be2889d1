#include "engines/vbscript/value.h"

namespace vbs {

Value Value::string(std::u16string text) {
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

void Value::releaseSlow() noexcept {
    switch (m_tag) {
    case Tag::String:
        if (--m_str->refs == 0) delete m_str;
        break;
    case Tag::Object:
        if (m_obj) m_obj->Release();
        break;
    case Tag::Array:
        if (--m_arr->refs == 0) delete m_arr;
        break;
    case Tag::Iter:
        if (--m_iter->refs == 0) delete m_iter;
        break;
    default: break;
    }
    m_tag = Tag::Empty;
}

void Value::appendString(std::u16string_view tail) {
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

ArrayBody* Value::uniqueArray() {
    if (m_arr->refs > 1) {
        auto* copy = new ArrayBody{1, m_arr->fixed, m_arr->bounds, m_arr->data};
        --m_arr->refs;
        m_arr = copy;
    }
    return m_arr;
}

ArrayBody* newArray(const std::vector<std::int32_t>& upperBounds) {
    auto* a = new ArrayBody;
    std::size_t total = 1;
    for (std::int32_t ub : upperBounds) {
        std::int32_t count = ub + 1 < 0 ? 0 : ub + 1;
        a->bounds.push_back({0, count});
        total *= static_cast<std::size_t>(count);
    }
    a->data.resize(upperBounds.empty() ? 0 : total);
    return a;
}

}  // namespace vbs

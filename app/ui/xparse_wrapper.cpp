#include "app/ui/xparse_wrapper.h"

#include "runtime/bstr.h"
#include "runtime/variant.h"

namespace quillan::ui {
namespace {

// A string argument that frees itself.
class StringArg {
public:
    explicit StringArg(std::u16string_view text) : m_bstr(qrt::allocBstr(text)) {}
    ~StringArg() { SysFreeString(m_bstr); }
    StringArg(const StringArg&) = delete;
    StringArg& operator=(const StringArg&) = delete;
    VARIANT arg() const { return argString(m_bstr); }

private:
    BSTR m_bstr;
};

}  // namespace

std::u16string CXparse1::script() const {
    qrt::Variant result;
    if (FAILED(invoke(xparse::Script, DISPATCH_PROPERTYGET, {}, &result)) || result.vt != VT_BSTR) return {};
    return std::u16string(qrt::bstrView(result.bstrVal));
}

HRESULT CXparse1::setScript(std::u16string_view text) const {
    const StringArg value(text);
    return invoke(xparse::Script, DISPATCH_PROPERTYPUT, {value.arg()});
}

HRESULT CXparse1::parse() const { return method(xparse::Parse); }

HRESULT CXparse1::setTypeScript(LONG language) const { return putLong(xparse::TypeScript, VT_I4, language); }

HRESULT CXparse1::goToFunction(std::u16string_view prefix, std::u16string_view name) const {
    const StringArg first(prefix), second(name);
    return method(xparse::GoToFunction, {first.arg(), second.arg()});
}

HRESULT CXparse1::colorizeLine(LONG line, LONG position, ULONG colour) const {
    return method(xparse::ColorizeLine, {argLong(line), argLong(position), argUnsigned(colour)});
}

bool CXparse1::changed() const {
    LONG state = 0;
    if (FAILED(method(xparse::CompareState, {refLong(&state)}))) return false;
    return state != 0;
}

HRESULT CXparse1::scriptAdd(std::u16string_view text) const {
    const StringArg value(text);
    return method(xparse::ScriptAdd, {value.arg()});
}

bool CXparse1::lineNumbers() const {
    qrt::Variant result;
    if (FAILED(invoke(xparse::LineNumbers, DISPATCH_PROPERTYGET, {}, &result)) || result.vt != VT_BOOL) return true;
    return result.boolVal != VARIANT_FALSE;
}

HRESULT CXparse1::setLineNumbers(bool shown) const {
    return putLong(xparse::LineNumbers, VT_BOOL, shown ? VARIANT_TRUE : VARIANT_FALSE);
}

HRESULT CXparse1::setCompletion(bool on) const {
    return putLong(xparse::Completion, VT_BOOL, on ? VARIANT_TRUE : VARIANT_FALSE);
}

HRESULT CXparse1::setCompletionList(std::u16string_view list) const {
    const StringArg value(list);
    return invoke(xparse::CompletionList, DISPATCH_PROPERTYPUT, {value.arg()});
}

HRESULT CXparse1::setSmartIndent(bool on) const {
    return putLong(xparse::SmartIndent, VT_BOOL, on ? VARIANT_TRUE : VARIANT_FALSE);
}

HRESULT CXparse1::markError(LONG line, std::u16string_view message) const {
    const StringArg text(message);
    return method(xparse::MarkError, {argLong(line), text.arg()});
}

}  // namespace quillan::ui

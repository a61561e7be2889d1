// Conversion functions: CBool, CByte, CCur, CDate, CDbl, CInt, CLng, CSng,
// CStr. Each is the one conversion function with its target subtype.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/runtime/builtins.h"
#include "engines/vbscript/runtime/date_core.h"
#include "runtime/bstr.h"
#include "runtime/variant.h"

namespace vbs {

namespace {

template <Tag T>
Value to(Interpreter&, Value* a, int) {
    return convert(a[0], T);
}

// CCur: the whole range of the 64-bit count of ten-thousandths; text may
// carry a leading "$".
Value toCurrency(Interpreter&, Value* a, int) {
    const Value& v = a[0];
    if (v.tag() == Tag::Currency) return v;
    if (v.isNull()) raise(94, u"CCur");
    if (v.isString()) {
        // Text converts exactly, digit by digit.
        std::u16string text = v.str();
        const std::size_t at = text.find_first_not_of(u" \t-+");
        if (at != std::u16string::npos && text[at] == u'$') text.erase(at, 1);
        qrt::Variant in, out;
        in.vt = VT_BSTR;
        in.bstrVal = qrt::allocBstr(text);
        const HRESULT hr = VariantChangeType(&out, &in, 0, VT_CY);
        if (hr == DISP_E_OVERFLOW) raise(err::Overflow, u"CCur");
        if (FAILED(hr)) raise(err::TypeMismatch, u"CCur");
        return Value::currency(out.cyVal.int64);
    }
    const double d = toDouble(v);
    const double scaled = roundEven(d * 10000.0);
    if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) raise(err::Overflow, u"CCur");
    return Value::currency(static_cast<std::int64_t>(scaled));
}

// CDate also reads the longer date forms ("January 5, 2024") and checks
// the date range.
Value toDate(Interpreter&, Value* a, int) { return dates::toDate(a[0]); }

const Builtin kConversions[] = {
    {u"CBool", to<Tag::Boolean>, 1, 1},  {u"CByte", to<Tag::Byte>, 1, 1},   {u"CCur", toCurrency, 1, 1},
    {u"CDate", toDate, 1, 1},     {u"CDbl", to<Tag::Double>, 1, 1},  {u"CInt", to<Tag::Integer>, 1, 1},
    {u"CLng", to<Tag::Long>, 1, 1},      {u"CSng", to<Tag::Single>, 1, 1},  {u"CStr", to<Tag::String>, 1, 1},
};

}  // namespace

std::span<const Builtin> conversionBuiltins() { return kConversions; }

}  // namespace vbs

// Conversion functions: CBool, CByte, CCur, CDate, CDbl, CInt, CLng, CSng,
// CStr. Each is the one conversion function with its target subtype.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/runtime/builtins.h"

namespace vbs {

namespace {

template <Tag T>
Value to(Interpreter&, Value* a, int) {
    return convert(a[0], T);
}

const Builtin kConversions[] = {
    {u"CBool", to<Tag::Boolean>, 1, 1},  {u"CByte", to<Tag::Byte>, 1, 1},   {u"CCur", to<Tag::Currency>, 1, 1},
    {u"CDate", to<Tag::Date>, 1, 1},     {u"CDbl", to<Tag::Double>, 1, 1},  {u"CInt", to<Tag::Integer>, 1, 1},
    {u"CLng", to<Tag::Long>, 1, 1},      {u"CSng", to<Tag::Single>, 1, 1},  {u"CStr", to<Tag::String>, 1, 1},
};

}  // namespace

std::span<const Builtin> conversionBuiltins() { return kConversions; }

}  // namespace vbs

// The declaration of IGraf and the class Graf in the program's type library,
// as the program has always declared them. Scripts bind by Graf's dispatch
// table instead, so these names (Color_RGB, X_axis) are not what they call.
#include "app/core/graf.h"

namespace quillan {
namespace {

constexpr GUID DIID_IGraf = qrt::makeGuid("{2B8F4D6A-91C3-4E0B-8D57-A6F3C1E2B904}");
constexpr CLSID CLSID_Graf = qrt::makeGuid("{7D1C5E92-3A4B-4F8E-B06D-E2C9A7F51B38}");

qrt::FuncDesc method(std::u16string name, MEMBERID id, std::vector<qrt::ParamDesc> params, VARTYPE result = VT_VOID) {
    qrt::FuncDesc f;
    f.name = std::move(name);
    f.id = id;
    f.kind = INVOKE_FUNC;
    f.params = std::move(params);
    f.returnType = result;
    return f;
}

}  // namespace

GrafTypeLibrary grafTypeLibrary() {
    const VARTYPE L = VT_I4, D = VT_R8, S = VT_BSTR, V = VT_VARIANT;
    qrt::TypeDesc desc;
    desc.name = u"IGraf";
    desc.doc = u"Dispatch interface for Graf";
    desc.guid = DIID_IGraf;
    desc.kind = TKIND_DISPATCH;
    desc.funcs = {
        method(u"X_axis", 1, {}, S),
        method(u"Y_axis", 2, {}, S),
        method(u"CreateSeries", 3, {}),
        method(u"AddPointToSeries", 4, {{u"series", L}, {u"x", D}, {u"y", D}}),
        method(u"SetBox", 5, {{u"x", D}, {u"y", D}, {u"w", D}, {u"h", D}}),
        method(u"RecalcSeries", 6, {}),
        method(u"CountSeries", 7, {}, L),
        method(u"SetPoints", 8, {{u"series", L}, {u"count", L}, {u"x", D}, {u"y", D}}),
        method(u"SetPointVar", 9, {{u"series", L}, {u"x", V}, {u"y", V}}),
        method(u"SetPropertySeries", 10, {{u"series", L}, {u"alpha", L}, {u"color", L}}),
        method(u"GetPropertySeries", 11,
               {{u"series", L}, {u"alpha", VT_BYREF | VT_I4, PARAMFLAG_FIN | PARAMFLAG_FOUT},
                {u"color", VT_BYREF | VT_I4, PARAMFLAG_FIN | PARAMFLAG_FOUT}}),
        method(u"ReDrawGraph", 12, {}),
        method(u"LoadScript", 13, {{u"path", S}}),
        method(u"Clear", 14, {}),
        method(u"Color_RGB", 15, {{u"R", L}, {u"G", L}, {u"B", L}}, L),
        method(u"LoadMemScript", 16, {{u"text", S}}),
        method(u"AddFrame", 17, {{u"file", S}}),
        method(u"GetBox", 18,
               {{u"x", VT_BYREF | VT_R8, PARAMFLAG_FIN | PARAMFLAG_FOUT},
                {u"y", VT_BYREF | VT_R8, PARAMFLAG_FIN | PARAMFLAG_FOUT},
                {u"w", VT_BYREF | VT_R8, PARAMFLAG_FIN | PARAMFLAG_FOUT},
                {u"h", VT_BYREF | VT_R8, PARAMFLAG_FIN | PARAMFLAG_FOUT}}),
        method(u"XAddPointToSeries", 19, {{u"series", V}, {u"x", V}, {u"y", V}}),
        method(u"DrawPoints", 20, {{u"series", L}, {u"size", L}}),
    };
    GrafTypeLibrary library;
    library.dispinterface = qrt::createTypeInfo(std::move(desc));
    if (library.dispinterface)
        qrt::classTypeInfo(u"Graf", CLSID_Graf, library.dispinterface.get(), nullptr, library.coclass.out());
    return library;
}

}  // namespace quillan

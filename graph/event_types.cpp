#include "graph/event_types.h"

#include "graph/tarvik.h"

namespace tarvik {

namespace {

qrt::FuncDesc event(const char16_t* name, MEMBERID id, std::vector<qrt::ParamDesc> params = {}) {
    qrt::FuncDesc f;
    f.name = name;
    f.id = id;
    f.kind = INVOKE_FUNC;
    f.params = std::move(params);
    return f;
}

}  // namespace

ITypeInfo* viGrafEventsTypeInfo() {
    static const qrt::ComPtr<ITypeInfo> info = [] {
        qrt::TypeDesc desc;
        desc.name = u"_IViGrafEvents";
        desc.guid = DIID__IViGrafEvents;
        desc.kind = TKIND_DISPATCH;
        desc.funcs = {
            event(u"ChangePosition", DISPID_ChangePosition),
            event(u"LeftClickIn", DISPID_LeftClickIn),
            event(u"LeftClickUp", DISPID_LeftClickUp),
            event(u"RightClickIn", DISPID_RightClickIn),
            event(u"RightClickUp", DISPID_RightClickUp),
            event(u"RealPosition", DISPID_RealPosition,
                  {{u"X", VT_R8 | VT_BYREF, PARAMFLAG_FIN | PARAMFLAG_FOUT},
                   {u"Y", VT_R8 | VT_BYREF, PARAMFLAG_FIN | PARAMFLAG_FOUT}}),
        };
        return qrt::createTypeInfo(std::move(desc));
    }();
    return info.get();
}

ITypeInfo* simGraEventsTypeInfo() {
    static const qrt::ComPtr<ITypeInfo> info = [] {
        qrt::TypeDesc desc;
        desc.name = u"_ISimGraEvents";
        desc.guid = DIID__ISimGraEvents;
        desc.kind = TKIND_DISPATCH;
        return qrt::createTypeInfo(std::move(desc));
    }();
    return info.get();
}

}  // namespace tarvik

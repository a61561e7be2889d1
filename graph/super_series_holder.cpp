#include "graph/super_series_holder.h"

namespace tarvik {

const qrt::DispatchTable& CSuperSeriesHolder::dispatchTable() {
    static const qrt::DispatchTable table(u"ISuperSeriesHolder", ISuperSeriesHolder::IID, {});
    return table;
}

HRESULT CSuperSeriesHolder::create(REFIID iid, void** out) { return qrt::createInstance<CSuperSeriesHolder>(iid, out); }

HRESULT CSuperSeriesHolder::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"SuperSeriesHolder", CLSID_SuperSeriesHolder, dispatchTable().typeInfo(), nullptr, info);
}

}  // namespace tarvik

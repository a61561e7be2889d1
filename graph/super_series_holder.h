// SuperSeriesHolder: a creatable object with an interface without members.
#pragma once

#include "graph/tarvik.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"

namespace tarvik {

class CSuperSeriesHolder final
    : public qrt::ComObject<qrt::DispatchImpl<CSuperSeriesHolder, ISuperSeriesHolder>, IProvideClassInfo> {
public:
    static const qrt::DispatchTable& dispatchTable();
    static HRESULT create(REFIID iid, void** out);

    HRESULT GetClassInfo(ITypeInfo** info) override;
};

}  // namespace tarvik

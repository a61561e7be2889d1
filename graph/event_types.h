// Type information of the controls' event interfaces, for hosts that look
// the events up through IProvideClassInfo.
#pragma once

#include "runtime/typeinfo.h"

namespace tarvik {

// _IViGrafEvents: ChangePosition, LeftClickIn, LeftClickUp, RightClickIn,
// RightClickUp, RealPosition(double* X, double* Y). No reference added.
ITypeInfo* viGrafEventsTypeInfo();
// _ISimGraEvents: no members.
ITypeInfo* simGraEventsTypeInfo();

}  // namespace tarvik

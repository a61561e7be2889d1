// How a value is prepared for a store: Let takes an object's default value,
// Set insists on an object, a raw store (For Each) takes it as it is.
#pragma once

#include "engines/vbscript/bytecode.h"
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"

namespace vbs {

inline void prepareStore(Value& v, std::uint16_t mode) {
    if (mode == kModeLet) {
        if (v.isObject()) {
            // x = Nothing: a Let of no object at all.
            if (!v.obj()) raise(err::ObjectNotSet);
            v = defaultValue(v.obj());
        }
    } else if (mode == kModeSet) {
        if (!v.isObject()) raise(err::ObjectRequired);
    }
}

}  // namespace vbs

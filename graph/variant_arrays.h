// Script arrays as doubles. A script hands over point coordinates as a safe
// array: a VBScript Array(...) or a JScript array is an array of VARIANTs,
// other callers pass typed arrays (VT_ARRAY|VT_R8 and the like).
//
// Accepted: a one-dimensional safe array whose elements are numbers, reached
// directly, through VT_BYREF|VT_ARRAY|x or through VT_BYREF|VT_VARIANT; an
// empty variant counts as no elements. Numbers are the integer types, VT_R4,
// VT_R8 and VT_CY. Strings (even numeric ones), Booleans, dates, Empty, Null
// and objects are not numbers, neither as the element type of a typed array
// nor as the value of a VARIANT element.
#pragma once

#include "runtime/safearray.h"

namespace tarvik {

// A script array opened for reading: open() checks the shape and every
// element, so reading can no longer fail.
class NumberArray {
public:
    NumberArray() = default;
    NumberArray(const NumberArray&) = delete;
    NumberArray& operator=(const NumberArray&) = delete;
    ~NumberArray() { close(); }

    // S_OK when v is usable (count() then tells its size); S_FALSE when it is
    // no one-dimensional array of numbers; a failure status when the array
    // cannot be accessed.
    HRESULT open(const VARIANT& v);
    LONG count() const { return m_count; }
    // Writes elements [first, first + n) as doubles; needs first + n <= count().
    void read(LONG first, LONG n, double* out) const;

private:
    void close();

    SAFEARRAY* m_array = nullptr;  // accessed while open
    const void* m_data = nullptr;
    VARTYPE m_vt = VT_EMPTY;       // element type
    LONG m_count = 0;
};

// The number of elements v holds: S_OK for an empty variant (0) and for a
// one-dimensional array (its element count, whatever its lower bound);
// S_FALSE (count 0) for anything else. Elements are not examined.
HRESULT elementCount(const VARIANT& v, LONG* count);

// Converts the first count elements of v to out. S_OK; S_FALSE when v is not
// a one-dimensional array of numbers or holds fewer than count elements, and
// then out is left untouched.
HRESULT toDoubles(const VARIANT& v, LONG count, double* out);

}  // namespace tarvik

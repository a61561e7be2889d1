// Safe arrays: arrays of any number of dimensions, each with its own lower
// bound, holding elements of one variant type.
#pragma once

#include "runtime/variant.h"

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

// Feature flags.
constexpr USHORT FADF_AUTO = 0x0001;
constexpr USHORT FADF_STATIC = 0x0002;
constexpr USHORT FADF_EMBEDDED = 0x0004;
constexpr USHORT FADF_FIXEDSIZE = 0x0010;
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    VARTYPE vt;  // element type (the platform keeps it before the descriptor)
    // Elements are stored with the first index varying fastest.
    // Bounds in declaration order: rgsabound[0] is the leftmost (first) index.
    // (The platform stores them reversed; our accessors hide the difference.)
    SAFEARRAYBOUND rgsabound[1];
};

// Supported element types: VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4,
// VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_BOOL,
// VT_ERROR, VT_VARIANT, VT_DISPATCH, VT_UNKNOWN.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);  // DISP_E_ARRAYISLOCKED while locked
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt);
// dim is 1-based, counted from the first (leftmost) index.
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* lbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* ubound);
// indices has one entry per dimension, first index first.
// As on the platform, PutElement takes a BSTR or interface element by value
// (the BSTR or pointer itself) and every other type by address; GetElement
// always writes through an address (BSTR*, IUnknown**, VARIANT*, ...) and
// treats the destination as uninitialised.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* indices, void* out);  // copies (BSTR, VARIANT, interfaces deep)
HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* indices, const void* in);  // copies
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, const LONG* indices, void** element);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data);  // locks
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out);
// Resizes the last (rightmost) dimension, keeping existing elements.
HRESULT SafeArrayRedim(SAFEARRAY* psa, const SAFEARRAYBOUND* lastBound);

namespace qrt {
// Number of live safe arrays (for leak checks).
long liveSafeArrayCount();
// Bytes of one element of type vt; 0 when vt is not a supported element type.
UINT safeArrayElementSize(VARTYPE vt);
}

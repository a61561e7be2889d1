#include "math/math_class.h"

#include <cmath>

namespace sumtrel {

namespace {

// Valid arguments: |x| <= 1e20 for the first kind, 1e-10 < x <= 1e20 for the
// second. A NaN fails no comparison and so is passed on to the function.
bool outsideFirstKind(double x) { return x < -1e20 || x > 1e20; }
bool outsideSecondKind(double x) { return x <= 1e-10 || x > 1e20; }

template <class F>
HRESULT evaluate(double* res, bool outside, F f) {
    if (!res) return E_POINTER;
    *res = 0;
    if (outside) return S_FALSE;
    *res = f();
    return S_OK;
}

}  // namespace

const qrt::DispatchTable& CMathClass::dispatchTable() {
    static const qrt::DispatchTable table(u"IMathClass", IMathClass::IID, {
        qrt::member<&IMathClass::J0>(u"J0", 1, {u"x"}, qrt::Retval),
        qrt::member<&IMathClass::J1>(u"J1", 2, {u"x"}, qrt::Retval),
        qrt::member<&IMathClass::Jn>(u"Jn", 3, {u"n", u"x"}, qrt::Retval),
        qrt::member<&IMathClass::Y0>(u"Y0", 4, {u"x"}, qrt::Retval),
        qrt::member<&IMathClass::Y1>(u"Y1", 5, {u"x"}, qrt::Retval),
        qrt::member<&IMathClass::Yn>(u"Yn", 6, {u"n", u"x"}, qrt::Retval),
    });
    return table;
}

HRESULT CMathClass::create(REFIID iid, void** out) { return qrt::createInstance<CMathClass>(iid, out); }

HRESULT CMathClass::J0(double x, double* res) { return evaluate(res, outsideFirstKind(x), [&] { return ::j0(x); }); }
HRESULT CMathClass::J1(double x, double* res) { return evaluate(res, outsideFirstKind(x), [&] { return ::j1(x); }); }
HRESULT CMathClass::Jn(LONG n, double x, double* res) {
    return evaluate(res, outsideFirstKind(x), [&] { return ::jn(n, x); });
}
HRESULT CMathClass::Y0(double x, double* res) { return evaluate(res, outsideSecondKind(x), [&] { return ::y0(x); }); }
HRESULT CMathClass::Y1(double x, double* res) { return evaluate(res, outsideSecondKind(x), [&] { return ::y1(x); }); }
HRESULT CMathClass::Yn(LONG n, double x, double* res) {
    return evaluate(res, outsideSecondKind(x), [&] { return ::yn(n, x); });
}

HRESULT CMathClass::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"MathClass", CLSID_MathClass, dispatchTable().typeInfo(), nullptr, info);
}

}  // namespace sumtrel

// MathClass: Bessel functions with argument guards.
#pragma once

#include "math/sumtrel.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"

namespace sumtrel {

class CMathClass final : public qrt::ComObject<qrt::DispatchImpl<CMathClass, IMathClass>, IProvideClassInfo> {
public:
    static const qrt::DispatchTable& dispatchTable();
    static HRESULT create(REFIID iid, void** out);

    HRESULT J0(double x, double* res) override;
    HRESULT J1(double x, double* res) override;
    HRESULT Jn(LONG n, double x, double* res) override;
    HRESULT Y0(double x, double* res) override;
    HRESULT Y1(double x, double* res) override;
    HRESULT Yn(LONG n, double x, double* res) override;

    HRESULT GetClassInfo(ITypeInfo** info) override;
};

}  // namespace sumtrel

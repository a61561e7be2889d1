// complex: functions of complex numbers passed as (real, im) pairs.
#pragma once

#include "math/sumtrel.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"

namespace sumtrel {

class Ccomplex final : public qrt::ComObject<qrt::DispatchImpl<Ccomplex, Icomplex>, IProvideClassInfo> {
public:
    static const qrt::DispatchTable& dispatchTable();
    static HRESULT create(REFIID iid, void** out);

    HRESULT abs(double real, double im, double* res) override;
    HRESULT arg(double real, double im, double* res) override;
    HRESULT conj(double real, double im, double* outreal, double* outim) override;
    HRESULT cos(double real, double im, double* outreal, double* outim) override;
    HRESULT exp(double real, double im, double* outreal, double* outim) override;
    HRESULT log(double real, double im, double* outreal, double* outim) override;
    HRESULT log10(double real, double im, double* outreal, double* outim) override;
    HRESULT norm(double real, double im, double* res) override;
    HRESULT sin(double real, double im, double* outreal, double* outim) override;
    HRESULT sinh(double real, double im, double* outreal, double* outim) override;
    HRESULT sqrt(double real, double im, double* outreal, double* outim) override;
    HRESULT tan(double real, double im, double* outreal, double* outim) override;
    HRESULT tanh(double real, double im, double* outreal, double* outim) override;
    HRESULT polar(double Modulus, double Argument, double* outreal, double* outim) override;

    HRESULT GetClassInfo(ITypeInfo** info) override;
};

}  // namespace sumtrel

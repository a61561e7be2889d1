#include "math/complex_class.h"


#include <cmath>
#include <complex>

namespace sumtrel {

namespace {

using Complex = std::complex<double>;

HRESULT split(Complex z, double* outreal, double* outim) {
    if (!outreal || !outim) return E_POINTER;
    *outreal = z.real();
    *outim = z.imag();
    return S_OK;
}

HRESULT scalar(double value, double* res) {
    if (!res) return E_POINTER;
    *res = value;
    return S_OK;
}

}  // namespace

const qrt::DispatchTable& Ccomplex::dispatchTable() {
    using I = Icomplex;
    static const qrt::DispatchTable table(u"Icomplex", Icomplex::IID, {
        qrt::member<&I::abs>(u"abs", 1, {u"real", u"im"}, qrt::Retval),
        qrt::member<&I::arg>(u"arg", 2, {u"real", u"im"}, qrt::Retval),
        qrt::member<&I::conj>(u"conj", 3, {u"real", u"im", u"outreal", u"outim"}),
        qrt::member<&I::cos>(u"cos", 4, {u"real", u"im", u"outreal", u"outim"}),
        qrt::member<&I::exp>(u"exp", 5, {u"real", u"im", u"outreal", u"outim"}),
        qrt::member<&I::log>(u"log", 6, {u"real", u"im", u"outreal", u"outim"}),
        qrt::member<&I::log10>(u"log10", 7, {u"real", u"im", u"outreal", u"outim"}),
        qrt::member<&I::norm>(u"norm", 8, {u"real", u"im"}, qrt::Retval),
        qrt::member<&I::sin>(u"sin", 9, {u"real", u"im", u"outreal", u"outim"}),
        qrt::member<&I::sinh>(u"sinh", 10, {u"real", u"im", u"outreal", u"outim"}),
        qrt::member<&I::sqrt>(u"sqrt", 11, {u"real", u"im", u"outreal", u"outim"}),
        qrt::member<&I::tan>(u"tan", 12, {u"real", u"im", u"outreal", u"outim"}),
        qrt::member<&I::tanh>(u"tanh", 13, {u"real", u"im", u"outreal", u"outim"}),
        qrt::member<&I::polar>(u"polar", 14, {u"Modulus", u"Argument", u"outreal", u"outim"}),
    });
    return table;
}

HRESULT Ccomplex::create(REFIID iid, void** out) { return qrt::createInstance<Ccomplex>(iid, out); }

HRESULT Ccomplex::abs(double real, double im, double* res) { return scalar(std::abs(Complex(real, im)), res); }
HRESULT Ccomplex::arg(double real, double im, double* res) { return scalar(std::atan2(im, real), res); }
HRESULT Ccomplex::conj(double real, double im, double* outreal, double* outim) {
    return split(Complex(real, -im), outreal, outim);
}
HRESULT Ccomplex::cos(double real, double im, double* outreal, double* outim) {
    return split(std::cos(Complex(real, im)), outreal, outim);
}
HRESULT Ccomplex::exp(double real, double im, double* outreal, double* outim) {
    return split(std::exp(Complex(real, im)), outreal, outim);
}
HRESULT Ccomplex::log(double real, double im, double* outreal, double* outim) {
    return split(std::log(Complex(real, im)), outreal, outim);
}
HRESULT Ccomplex::log10(double real, double im, double* outreal, double* outim) {
    // The natural logarithm scaled by log10(e) in both parts.
    Complex z = std::log(Complex(real, im));
    return split(Complex(z.real() * 0.4342944819032518, z.imag() * 0.4342944819032518), outreal, outim);
}
HRESULT Ccomplex::norm(double real, double im, double* res) { return scalar(im * im + real * real, res); }
HRESULT Ccomplex::sin(double real, double im, double* outreal, double* outim) {
    return split(std::sin(Complex(real, im)), outreal, outim);
}
HRESULT Ccomplex::sinh(double real, double im, double* outreal, double* outim) {
    return split(std::sinh(Complex(real, im)), outreal, outim);
}
HRESULT Ccomplex::sqrt(double real, double im, double* outreal, double* outim) {
    return split(std::sqrt(Complex(real, im)), outreal, outim);
}
HRESULT Ccomplex::tan(double real, double im, double* outreal, double* outim) {
    // tan z = -i tanh(i z), with i z = -im + i real.
    Complex w = std::tanh(Complex(-im, real));
    return split(Complex(w.imag(), -w.real()), outreal, outim);
}
HRESULT Ccomplex::tanh(double real, double im, double* outreal, double* outim) {
    return split(std::tanh(Complex(real, im)), outreal, outim);
}
HRESULT Ccomplex::polar(double Modulus, double Argument, double* outreal, double* outim) {
    if (!outreal || !outim) return E_POINTER;
    *outreal = Modulus * std::cos(Argument);
    *outim = Modulus * std::sin(Argument);
    return S_OK;
}

HRESULT Ccomplex::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"complex", CLSID_complex, dispatchTable().typeInfo(), nullptr, info);
}

}  // namespace sumtrel

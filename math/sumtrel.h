// The interfaces and identifiers of the math library, for its clients.
#pragma once

#include "runtime/dispatch.h"

constexpr GUID LIBID_Sumtrel = qrt::makeGuid("{5383DCE1-0270-4901-AEA9-E90ABEDB3790}");
constexpr CLSID CLSID_MathClass = qrt::makeGuid("{15D47F8C-CD0D-4B84-BC79-3C9C83F42783}");
constexpr CLSID CLSID_complex = qrt::makeGuid("{0217D216-066A-49BD-8062-41782ECC94FE}");

// Bessel functions of the first and second kind. Each method sets *res to 0
// first; an argument outside the valid range returns S_FALSE with *res 0.
struct IMathClass : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{7B388A11-3C72-4AE1-BDFA-6231822ECCD6}");
    using Base = IDispatch;
    virtual HRESULT J0(double x, double* res) = 0;          // DISPID 1
    virtual HRESULT J1(double x, double* res) = 0;          // DISPID 2
    virtual HRESULT Jn(LONG n, double x, double* res) = 0;  // DISPID 3
    virtual HRESULT Y0(double x, double* res) = 0;          // DISPID 4
    virtual HRESULT Y1(double x, double* res) = 0;          // DISPID 5
    virtual HRESULT Yn(LONG n, double x, double* res) = 0;  // DISPID 6

protected:
    ~IMathClass() = default;
};

// Functions of a complex number given as (real, im); every method returns S_OK.
struct Icomplex : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{6712B680-79A3-49AE-BCA3-328783303EA3}");
    using Base = IDispatch;
    virtual HRESULT abs(double real, double im, double* res) = 0;                       // 1
    virtual HRESULT arg(double real, double im, double* res) = 0;                       // 2
    virtual HRESULT conj(double real, double im, double* outreal, double* outim) = 0;   // 3
    virtual HRESULT cos(double real, double im, double* outreal, double* outim) = 0;    // 4
    virtual HRESULT exp(double real, double im, double* outreal, double* outim) = 0;    // 5
    virtual HRESULT log(double real, double im, double* outreal, double* outim) = 0;    // 6
    virtual HRESULT log10(double real, double im, double* outreal, double* outim) = 0;  // 7
    virtual HRESULT norm(double real, double im, double* res) = 0;                      // 8
    virtual HRESULT sin(double real, double im, double* outreal, double* outim) = 0;    // 9
    virtual HRESULT sinh(double real, double im, double* outreal, double* outim) = 0;   // 10
    virtual HRESULT sqrt(double real, double im, double* outreal, double* outim) = 0;   // 11
    virtual HRESULT tan(double real, double im, double* outreal, double* outim) = 0;    // 12
    virtual HRESULT tanh(double real, double im, double* outreal, double* outim) = 0;   // 13
    virtual HRESULT polar(double Modulus, double Argument, double* outreal, double* outim) = 0;  // 14

protected:
    ~Icomplex() = default;
};

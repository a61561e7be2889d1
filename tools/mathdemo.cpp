// quillan-mathdemo: creates "Sumtrel.MathClass" and "Sumtrel.complex" by
// ProgID, as a script does, and prints values computed through IDispatch.
#include "hosting/registration.h"
#include "runtime/activation.h"
#include "runtime/dispatch.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using qrt::ComPtr;
using qrt::Variant;

// Calls a method by name with the given arguments (first to last).
HRESULT call(IDispatch* object, const char16_t* name, std::vector<Variant> args, Variant* result) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it);
    DISPPARAMS dp{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO excep{};
    hr = object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, result, &excep, nullptr);
    qrt::clearExcepInfo(&excep);
    return hr;
}

Variant byRef(VARIANT* target) {
    Variant v;
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = target;
    return v;
}

int fail(const char* what, HRESULT hr) {
    std::string why = qrt::lastActivationError();
    std::fprintf(stderr, "quillan-mathdemo: %s failed (status 0x%08X)%s%s\n", what, static_cast<unsigned>(hr),
                 why.empty() ? "" : ": ", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::printf("Usage: quillan-mathdemo\nPrints Bessel and complex values computed by the Sumtrel library "
                        "through late-bound calls.\n");
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("quillan-mathdemo 0.1.0\n");
            return 0;
        }
        std::fprintf(stderr, "quillan-mathdemo: unknown argument %s (try --help)\n", argv[i]);
        return 2;
    }

    std::string message;
    HRESULT hr = qhost::ensureLibrariesRegistered(qhost::programFolder(), {"Sumtrel"}, &message);
    if (FAILED(hr)) {
        std::fprintf(stderr, "quillan-mathdemo: %s\n", message.c_str());
        return 1;
    }
    CoInitialize(nullptr);
    int rc = 0;
    {
        ComPtr<IDispatch> math;
        hr = qrt::createObject(u"Sumtrel.MathClass", math);
        if (FAILED(hr)) return fail("creating \"Sumtrel.MathClass\"", hr);

        std::printf("Bessel functions through Sumtrel.MathClass\n");
        std::printf("%6s %14s %14s %14s %14s %14s\n", "x", "J0(x)", "J1(x)", "Jn(2,x)", "Y0(x)", "Y1(x)");
        for (double x : {0.0, 0.5, 1.0, 2.0, 2.404825557695773, 5.0, 10.0}) {
            Variant j0, j1, j2, y0, y1;
            if (FAILED(hr = call(math.get(), u"J0", {x}, &j0)) || FAILED(hr = call(math.get(), u"J1", {x}, &j1)) ||
                FAILED(hr = call(math.get(), u"Jn", {2, x}, &j2)) || FAILED(hr = call(math.get(), u"Y0", {x}, &y0)) ||
                FAILED(hr = call(math.get(), u"Y1", {x}, &y1)))
                return fail("a call", hr);
            std::printf("%6.3f %14.10f %14.10f %14.10f %14.10f %14.10f\n", x, j0.dblVal, j1.dblVal, j2.dblVal,
                        y0.dblVal, y1.dblVal);
        }
        std::printf("(Y0 and Y1 are 0 where x <= 1e-10: outside their range)\n\n");

        ComPtr<IDispatch> cplx;
        hr = qrt::createObject(u"Sumtrel.complex", cplx);
        if (FAILED(hr)) return fail("creating \"Sumtrel.complex\"", hr);
        Variant re, im, magnitude;
        if (FAILED(hr = call(cplx.get(), u"sqrt", {-4.0, 0.0, byRef(&re), byRef(&im)}, nullptr)))
            return fail("complex sqrt", hr);
        std::printf("Through Sumtrel.complex: sqrt(-4) = %g %+gi", re.dblVal, im.dblVal);
        if (FAILED(hr = call(cplx.get(), u"abs", {3.0, 4.0}, &magnitude))) return fail("complex abs", hr);
        std::printf(", |3+4i| = %g\n", magnitude.dblVal);
    }
    CoUninitialize();
    return rc;
}

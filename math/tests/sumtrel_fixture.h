// Reaches the math library as a script does: registration in the test's own
// registry, creation by ProgID, calls through IDispatch by name.
#pragma once

#include "hosting/registration.h"
#include "runtime/activation.h"
#include "runtime/dispatch.h"
#include "runtime/text.h"
#include "runtime/typeinfo.h"
#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sumtrel_test {

inline std::string libraryPath() { return qtest::binaryDir() + "/libSumtrel.so"; }

inline void registerSumtrel() {
    std::string message;
    HRESULT hr = qhost::registerLibraryFile(libraryPath(), false, &message);
    ASSERT_EQ(hr, S_OK) << message;
}

struct CallResult {
    HRESULT hr = S_OK;
    qrt::Variant value;
    UINT argErr = ~0u;
    SCODE scode = 0;
};

// Calls name(args...) with args given first to last.
inline CallResult call(IDispatch* object, const char16_t* name, std::vector<qrt::Variant> args,
                       WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    CallResult r;
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    r.hr = object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(r.hr)) return r;
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it);
    DISPPARAMS dp{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO excep{};
    r.hr = object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &dp, &r.value, &excep, &r.argErr);
    r.scode = excep.scode;
    qrt::clearExcepInfo(&excep);
    return r;
}

// A variable passed by reference, as a script engine passes one.
inline qrt::Variant refTo(VARIANT* target) {
    qrt::Variant v;
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = target;
    return v;
}

class SumtrelTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerSumtrel();
        ASSERT_EQ(qrt::createObject(u"Sumtrel.MathClass", math), S_OK) << qrt::lastActivationError();
        ASSERT_EQ(qrt::createObject(u"Sumtrel.complex", complex), S_OK) << qrt::lastActivationError();
    }
    // Calls a Bessel method; returns its value.
    double bessel(const char16_t* name, std::vector<qrt::Variant> args) {
        CallResult r = call(math.get(), name, std::move(args));
        EXPECT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.value.vt, VT_R8);
        return r.value.dblVal;
    }
    // Calls a complex method with two outputs.
    std::pair<double, double> pair(const char16_t* name, double a, double b) {
        qrt::Variant re, im;
        CallResult r = call(complex.get(), name, {a, b, refTo(&re), refTo(&im)});
        EXPECT_EQ(r.hr, S_OK);
        EXPECT_EQ(re.vt, VT_R8);
        EXPECT_EQ(im.vt, VT_R8);
        return {re.dblVal, im.dblVal};
    }
    double scalar(const char16_t* name, double a, double b) {
        CallResult r = call(complex.get(), name, {a, b});
        EXPECT_EQ(r.hr, S_OK);
        return r.value.dblVal;
    }

    qrt::ComPtr<IDispatch> math;
    qrt::ComPtr<IDispatch> complex;
};

}  // namespace sumtrel_test

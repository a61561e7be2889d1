// Reaches the math library as a script does: registration in the test's own
// registry, creation by ProgID, calls through IDispatch by name.
#pragma once

#include "hosting/registration.h"
#include "runtime/activation.h"
#include "runtime/dispatch.h"
#include "runtime/text.h"
#include "runtime/typeinfo.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sumtrel_test {

inline std::string libraryPath() { return qtest::binaryDir() + "/libSumtrel.so"; }

inline void registerSumtrel() { qtest::registerLibrary("Sumtrel"); }

using qtest::call;
using qtest::CallResult;
using qtest::refTo;

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

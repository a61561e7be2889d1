// Complex functions as a script sees them.
#include "math/sumtrel.h"
#include "math/tests/sumtrel_fixture.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace sumtrel_test {
namespace {

using qrt::Variant;
using Complex = std::complex<double>;

TEST_F(SumtrelTest, ComplexScalars) {
    EXPECT_DOUBLE_EQ(scalar(u"norm", 3, 4), 25.0);
    EXPECT_DOUBLE_EQ(scalar(u"abs", 3, 4), 5.0);
    EXPECT_DOUBLE_EQ(scalar(u"abs", 3e200, 4e200), 5e200);  // no overflow of the squares
    EXPECT_DOUBLE_EQ(scalar(u"arg", 0, 1), std::numbers::pi / 2);
    EXPECT_DOUBLE_EQ(scalar(u"arg", -1, 0), std::numbers::pi);
}

TEST_F(SumtrelTest, ComplexPairs) {
    EXPECT_EQ(pair(u"conj", 1, 2), std::make_pair(1.0, -2.0));
    EXPECT_EQ(pair(u"polar", 2, 0), std::make_pair(2.0, 0.0));
    auto [lr, li] = pair(u"log10", 100, 0);
    EXPECT_DOUBLE_EQ(lr, 2.0);
    EXPECT_DOUBLE_EQ(li, 0.0);
    auto [sr, si] = pair(u"sqrt", -4, 0);
    EXPECT_DOUBLE_EQ(sr, 0.0);
    EXPECT_DOUBLE_EQ(si, 2.0);

    const Complex z(0.7, -1.3);
    struct Case {
        const char16_t* name;
        Complex expected;
    } cases[] = {
        {u"cos", std::cos(z)},   {u"exp", std::exp(z)},   {u"log", std::log(z)},   {u"sin", std::sin(z)},
        {u"sinh", std::sinh(z)}, {u"sqrt", std::sqrt(z)}, {u"tanh", std::tanh(z)}, {u"tan", std::tan(z)},
    };
    for (const Case& c : cases) {
        auto [re, im] = pair(c.name, z.real(), z.imag());
        EXPECT_NEAR(re, c.expected.real(), 1e-14) << qrt::encodeUtf8(c.name);
        EXPECT_NEAR(im, c.expected.imag(), 1e-14) << qrt::encodeUtf8(c.name);
    }
    // There is no hyperbolic cosine.
    EXPECT_EQ(call(complex.get(), u"cosh", {1.0, 0.0}).hr, DISP_E_UNKNOWNNAME);
}

TEST_F(SumtrelTest, SpecialValuesComeBackAsTheLibraryMakesThem) {
    auto [re, im] = pair(u"log", 0, 0);
    EXPECT_TRUE(std::isinf(re) && re < 0);
    EXPECT_EQ(im, 0.0);
    EXPECT_TRUE(std::isnan(scalar(u"abs", std::nan(""), 1)));
}

TEST_F(SumtrelTest, OutputsReachEveryKindOfCallerVariable) {
    // Typed references are written in place.
    double re = 0, im = 0;
    Variant refRe, refIm;
    refRe.vt = refIm.vt = VT_BYREF | VT_R8;
    refRe.pdblVal = &re;
    refIm.pdblVal = &im;
    EXPECT_EQ(call(complex.get(), u"conj", {5.0, 6.0, refRe, refIm}).hr, S_OK);
    EXPECT_EQ(re, 5.0);
    EXPECT_EQ(im, -6.0);

    // A script variable holding another type is retyped to the result.
    Variant text("3"), empty;
    EXPECT_EQ(call(complex.get(), u"polar", {1.0, 0.0, refTo(&text), refTo(&empty)}).hr, S_OK);
    EXPECT_EQ(text.vt, VT_R8);
    EXPECT_EQ(text.dblVal, 1.0);
    EXPECT_EQ(empty.vt, VT_R8);

    // Constants are copies: the call succeeds and nothing is written back.
    Variant constant(7.0);
    EXPECT_EQ(call(complex.get(), u"conj", {1.0, 2.0, constant, constant}).hr, S_OK);
    EXPECT_EQ(constant.dblVal, 7.0);

    // A variable whose value cannot become a double is a type mismatch.
    Variant word("word");
    CallResult r = call(complex.get(), u"conj", {1.0, 2.0, refTo(&word), refTo(&empty)});
    EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.argErr, 1u);
    EXPECT_EQ(word.vt, VT_BSTR);
}

}  // namespace
}  // namespace sumtrel_test

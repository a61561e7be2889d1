// Bessel functions as a script sees them.
#include "math/sumtrel.h"
#include "math/tests/sumtrel_fixture.h"

#include <cmath>

namespace sumtrel_test {
namespace {

using qrt::Variant;

TEST_F(SumtrelTest, BesselFirstKindRangeIsPlusMinus1e20) {
    EXPECT_DOUBLE_EQ(bessel(u"J0", {0.0}), 1.0);
    EXPECT_DOUBLE_EQ(bessel(u"J0", {1e20}), ::j0(1e20));
    EXPECT_DOUBLE_EQ(bessel(u"J0", {-1e20}), ::j0(-1e20));
    EXPECT_EQ(bessel(u"J0", {1.0000001e20}), 0.0);
    EXPECT_EQ(bessel(u"J0", {-2e20}), 0.0);
    EXPECT_EQ(bessel(u"J1", {3e20}), 0.0);
    EXPECT_EQ(bessel(u"Jn", {2, -3e20}), 0.0);
    EXPECT_DOUBLE_EQ(bessel(u"J1", {2.5}), ::j1(2.5));
}

TEST_F(SumtrelTest, BesselSecondKindNeedsXAbove1eMinus10) {
    EXPECT_EQ(bessel(u"Y0", {1e-10}), 0.0);
    EXPECT_EQ(bessel(u"Y0", {0.0}), 0.0);
    EXPECT_EQ(bessel(u"Y0", {-3.0}), 0.0);
    EXPECT_EQ(bessel(u"Y1", {2e20}), 0.0);
    EXPECT_EQ(bessel(u"Yn", {3, -1.0}), 0.0);
    EXPECT_DOUBLE_EQ(bessel(u"Y0", {2e-10}), ::y0(2e-10));
    EXPECT_DOUBLE_EQ(bessel(u"Y1", {1e20}), ::y1(1e20));
    EXPECT_DOUBLE_EQ(bessel(u"Yn", {2, 4.0}), ::yn(2, 4.0));
}

TEST_F(SumtrelTest, NaNPassesTheRangeTests) {
    EXPECT_TRUE(std::isnan(bessel(u"J0", {std::nan("")})));
    EXPECT_TRUE(std::isnan(bessel(u"Y0", {std::nan("")})));
}

TEST_F(SumtrelTest, IntegerOrdersMatchTheDedicatedFunctions) {
    for (double x : {0.3, 1.0, 7.5, -4.0}) {
        EXPECT_DOUBLE_EQ(bessel(u"Jn", {0, x}), bessel(u"J0", {x}));
        EXPECT_DOUBLE_EQ(bessel(u"Jn", {1, x}), bessel(u"J1", {x}));
        EXPECT_DOUBLE_EQ(bessel(u"Jn", {-3, x}), ::jn(-3, x));
    }
    EXPECT_DOUBLE_EQ(bessel(u"Yn", {0, 2.0}), bessel(u"Y0", {2.0}));
    EXPECT_DOUBLE_EQ(bessel(u"Yn", {-1, 2.0}), ::yn(-1, 2.0));
}

TEST_F(SumtrelTest, OutOfRangeIsSFalseThroughTheInterface) {
    qrt::ComPtr<IMathClass> direct = math.as<IMathClass>();
    ASSERT_TRUE(direct);
    double r = 42;
    EXPECT_EQ(direct->Y0(0.0, &r), S_FALSE);
    EXPECT_EQ(r, 0.0);
    EXPECT_EQ(direct->J0(1.0, &r), S_OK);
    EXPECT_DOUBLE_EQ(r, ::j0(1.0));
    EXPECT_EQ(direct->J0(1.0, nullptr), E_POINTER);
}

TEST_F(SumtrelTest, ScriptArgumentsAreConvertedToTheDeclaredTypes) {
    // Text and integers as a script may pass them; the order n is a long.
    EXPECT_DOUBLE_EQ(bessel(u"J0", {Variant("2.5")}), ::j0(2.5));
    EXPECT_DOUBLE_EQ(bessel(u"Jn", {Variant("2"), Variant(short(3))}), ::jn(2, 3.0));
    EXPECT_DOUBLE_EQ(bessel(u"Jn", {2.5, 3.0}), ::jn(2, 3.0));  // 2.5 rounds half to even

    CallResult bad = call(math.get(), u"J0", {Variant("not a number")});
    EXPECT_EQ(bad.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bad.argErr, 0u);
    CallResult overflow = call(math.get(), u"Jn", {1e12, 1.0});
    EXPECT_EQ(overflow.hr, DISP_E_OVERFLOW);
    EXPECT_EQ(overflow.argErr, 1u);  // rgvarg index: the first of two arguments
    EXPECT_EQ(call(math.get(), u"J0", {}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(call(math.get(), u"J0", {1.0, 2.0}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(call(math.get(), u"K0", {1.0}).hr, DISP_E_UNKNOWNNAME);
}

TEST_F(SumtrelTest, NamesMatchWithoutRegardToCase) {
    EXPECT_DOUBLE_EQ(bessel(u"j0", {1.0}), ::j0(1.0));
    EXPECT_DOUBLE_EQ(bessel(u"YN", {1, 1.0}), ::yn(1, 1.0));
}

TEST_F(SumtrelTest, TypeInformationDescribesTheMethods) {
    qrt::ComPtr<ITypeInfo> info;
    ASSERT_EQ(math->GetTypeInfo(0, 0, info.out()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IMathClass::IID);
    EXPECT_EQ(attr->cFuncs, 6);
    info->ReleaseTypeAttr(attr);

    FUNCDESC* desc = nullptr;
    ASSERT_EQ(info->GetFuncDesc(2, &desc), S_OK);
    EXPECT_EQ(desc->memid, 3);
    EXPECT_EQ(desc->invkind, INVOKE_FUNC);
    ASSERT_EQ(desc->cParams, 2);
    EXPECT_EQ(desc->lprgelemdescParam[0].tdesc.vt, VT_I4);
    EXPECT_EQ(desc->lprgelemdescParam[1].tdesc.vt, VT_R8);
    EXPECT_EQ(desc->elemdescFunc.tdesc.vt, VT_R8);
    EXPECT_EQ(desc->oVft, static_cast<SHORT>(9 * sizeof(void*)));  // after the seven base slots
    info->ReleaseFuncDesc(desc);

    BSTR names[3] = {};
    UINT count = 0;
    ASSERT_EQ(info->GetNames(6, names, 3, &count), S_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(qrt::bstrToUtf8(names[0]), "Yn");
    EXPECT_EQ(qrt::bstrToUtf8(names[1]), "n");
    for (BSTR b : names) SysFreeString(b);

    qrt::ComPtr<IProvideClassInfo> provider = math.as<IProvideClassInfo>();
    ASSERT_TRUE(provider);
    qrt::ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(provider->GetClassInfo(coclass.out()), S_OK);
    BSTR name = nullptr;
    ASSERT_EQ(coclass->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(qrt::bstrToUtf8(name), "MathClass");
    SysFreeString(name);
    HREFTYPE ref = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
    qrt::ComPtr<ITypeInfo> iface;
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, iface.out()), S_OK);
    EXPECT_EQ(iface.get(), info.get());
}

}  // namespace
}  // namespace sumtrel_test

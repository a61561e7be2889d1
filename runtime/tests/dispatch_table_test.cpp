// Table-driven IDispatch: name lookup, argument conversion, by-reference
// write-back, property put, errors and type information.
#include "runtime/dispatch_table.h"
#include "runtime/object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qrt::ComPtr;
using qrt::Variant;

struct ISample : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{8A3F0C61-1D55-4B55-9E25-6E1B2B0C7A01}");
    using Base = IDispatch;
    virtual HRESULT Add(LONG a, double b, double* res) = 0;
    virtual HRESULT get_Title(BSTR* value) = 0;
    virtual HRESULT put_Title(BSTR value) = 0;
    virtual HRESULT Swap(VARIANT* a, VARIANT* b) = 0;
    virtual HRESULT Bump(LONG* value) = 0;
    virtual HRESULT Describe(VARIANT value, VARIANT opt, BSTR* res) = 0;
    virtual HRESULT Scaled(double x, double factor, double* res) = 0;
    virtual HRESULT Fail() = 0;
    virtual HRESULT get_Item(LONG index, LONG* value) = 0;
    virtual HRESULT put_Item(LONG index, LONG value) = 0;
    virtual HRESULT putref_Target(IDispatch* value) = 0;
    virtual HRESULT get_Flag(VARIANT_BOOL* value) = 0;
    virtual HRESULT Mask(ULONG colour, ULONG* res) = 0;
};

class Sample final : public qrt::ComObject<qrt::DispatchImpl<Sample, ISample>> {
public:
    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::DispatchTable table(u"ISample", ISample::IID, {
            qrt::member<&ISample::Add>(u"Add", 1, {u"a", u"b"}, qrt::Retval),
            qrt::getter<&ISample::get_Title>(u"Title", 2),
            qrt::putter<&ISample::put_Title>(u"Title", 2),
            qrt::member<&ISample::Swap>(u"Swap", 3, {u"a", u"b"}),
            qrt::member<&ISample::Bump>(u"Bump", 4, {u"value"}),
            qrt::member<&ISample::Describe>(u"Describe", 5, {u"value", u"opt"},
                                            {.retval = true, .optional = 1, .defaults = {}}),
            qrt::member<&ISample::Scaled>(u"Scaled", 6, {u"x", u"factor"},
                                          {.retval = true, .optional = 1, .defaults = {Variant(10.0)}}),
            qrt::member<&ISample::Fail>(u"Fail", 7),
            qrt::getter<&ISample::get_Item>(u"Item", 0, {u"index"}),
            qrt::putter<&ISample::put_Item>(u"Item", 0, {u"index"}),
            qrt::putRefer<&ISample::putref_Target>(u"Target", 9),
            qrt::getter<&ISample::get_Flag>(u"Flag", 10),
            qrt::member<&ISample::Mask>(u"Mask", 5000, {u"colour"}, qrt::Retval),
        });
        return table;
    }

    HRESULT Add(LONG a, double b, double* res) override { *res = a + b; return S_OK; }
    HRESULT get_Title(BSTR* value) override { *value = qrt::allocBstr(std::u16string_view(title)); return S_OK; }
    HRESULT put_Title(BSTR value) override { title = qrt::bstrView(value); return S_OK; }
    HRESULT Swap(VARIANT* a, VARIANT* b) override { std::swap(*a, *b); return S_OK; }
    HRESULT Bump(LONG* value) override { ++*value; return S_OK; }
    HRESULT Describe(VARIANT value, VARIANT opt, BSTR* res) override {
        std::string s = std::to_string(value.vt) + "/" + std::to_string(opt.vt);
        if (opt.vt == VT_ERROR) s += opt.scode == DISP_E_PARAMNOTFOUND ? " missing" : " error";
        *res = qrt::allocBstr(s);
        return S_OK;
    }
    HRESULT Scaled(double x, double factor, double* res) override { *res = x * factor; return S_OK; }
    HRESULT Fail() override {
        qrt::setErrorInfo(u"Sample", u"Nothing to fail with");
        return E_INVALIDARG;
    }
    HRESULT get_Item(LONG index, LONG* value) override {
        if (index < 0 || index >= 4) return DISP_E_BADINDEX;
        *value = items[index];
        return S_OK;
    }
    HRESULT put_Item(LONG index, LONG value) override {
        if (index < 0 || index >= 4) return DISP_E_BADINDEX;
        items[index] = value;
        return S_OK;
    }
    HRESULT putref_Target(IDispatch* value) override { target = value; return S_OK; }
    HRESULT get_Flag(VARIANT_BOOL* value) override { *value = VARIANT_TRUE; return S_OK; }
    HRESULT Mask(ULONG colour, ULONG* res) override { *res = colour & 0xFFFFFF; return S_OK; }

    std::u16string title = u"none";
    LONG items[4] = {};
    ComPtr<IDispatch> target;
};

struct Outcome {
    HRESULT hr;
    Variant result;
    UINT argErr = ~0u;
    EXCEPINFO excep{};
    ~Outcome() { qrt::clearExcepInfo(&excep); }
};

class DispatchTableTest : public ::testing::Test {
protected:
    void SetUp() override { object = qrt::create<Sample>(); }

    DISPID id(const char16_t* name) {
        DISPID d = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        object->GetIDsOfNames(GUID_NULL, names, 1, 0, &d);
        return d;
    }
    // args first to last.
    std::unique_ptr<Outcome> invoke(DISPID member, WORD flags, std::vector<VARIANT> args, bool put = false) {
        auto o = std::make_unique<Outcome>();
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS dp{reversed.data(), put ? &named : nullptr, static_cast<UINT>(reversed.size()), put ? 1u : 0u};
        o->hr = object->Invoke(member, GUID_NULL, 0, flags, &dp, &o->result, &o->excep, &o->argErr);
        return o;
    }

    ComPtr<Sample> object;
};

TEST_F(DispatchTableTest, NamesAreFoundWithoutRegardToCase) {
    EXPECT_EQ(id(u"add"), 1);
    EXPECT_EQ(id(u"TITLE"), 2);
    EXPECT_EQ(id(u"sCaLeD"), 6);
    EXPECT_EQ(id(u"Missing"), DISPID_UNKNOWN);

    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Add"), const_cast<LPOLESTR>(u"B"), const_cast<LPOLESTR>(u"zz")};
    DISPID ids[3];
    EXPECT_EQ(object->GetIDsOfNames(GUID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 1);  // parameter b is the second
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
    constexpr IID other = qrt::makeGuid("{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(object->GetIDsOfNames(other, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTableTest, ArgumentsAreConvertedToTheirDeclaredTypes) {
    auto r = invoke(1, DISPATCH_METHOD, {Variant("40"), Variant(short(2))});
    ASSERT_EQ(r->hr, S_OK);
    EXPECT_EQ(r->result.vt, VT_R8);
    EXPECT_EQ(r->result.dblVal, 42.0);

    auto bad = invoke(1, DISPATCH_METHOD, {Variant(1), Variant("two")});
    EXPECT_EQ(bad->hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bad->argErr, 0u);
    auto overflow = invoke(1, DISPATCH_METHOD, {Variant(3e10), Variant(1)});
    EXPECT_EQ(overflow->hr, DISP_E_OVERFLOW);
    EXPECT_EQ(overflow->argErr, 1u);

    EXPECT_EQ(invoke(1, DISPATCH_METHOD, {Variant(1)})->hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(1, DISPATCH_METHOD, {Variant(1), Variant(2), Variant(3)})->hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(99, DISPATCH_METHOD, {})->hr, DISP_E_MEMBERNOTFOUND);
    // A method is not a property to read, nor a property a method.
    EXPECT_EQ(invoke(1, DISPATCH_PROPERTYGET, {Variant(1), Variant(2)})->hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(10, DISPATCH_METHOD, {})->hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(10, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {})->result.boolVal, VARIANT_TRUE);
}

TEST_F(DispatchTableTest, NumbersTakeTheShortPathWithTheSameOutcome) {
    // Numbers reached through a variant reference, and widened.
    Variant small(short(40)), half(2.0);
    VARIANT refs[2];
    refs[0].vt = refs[1].vt = VT_BYREF | VT_VARIANT;
    refs[0].pvarVal = &small;
    refs[1].pvarVal = &half;
    auto r = invoke(1, DISPATCH_METHOD, {refs[0], refs[1]});
    ASSERT_EQ(r->hr, S_OK);
    EXPECT_EQ(r->result.dblVal, 42.0);
    // A flag is no number to widen: the general conversion takes it.
    EXPECT_EQ(invoke(1, DISPATCH_METHOD, {Variant(true), Variant(1.5)})->result.dblVal, 0.5);
    // Colours written as negative literals keep their bits; identifiers far
    // beyond the others are found as well, and unknown ones are not.
    auto colour = invoke(5000, DISPATCH_METHOD, {Variant(-16777216 | 0x123456)});
    ASSERT_EQ(colour->hr, S_OK);
    EXPECT_EQ(colour->result.vt, VT_UI4);
    EXPECT_EQ(colour->result.ulVal, 0x123456u);
    EXPECT_EQ(invoke(4999, DISPATCH_METHOD, {Variant(1)})->hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(-7, DISPATCH_METHOD, {})->hr, DISP_E_MEMBERNOTFOUND);
    // Without a place for the result the call still runs.
    VARIANT args[2] = {Variant(2.0).detach(), Variant(1).detach()};
    DISPPARAMS dp{args, nullptr, 2, 0};
    EXPECT_EQ(object->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(DispatchTableTest, NamedArgumentsOtherThanPropertyPutAreRefused) {
    VARIANT args[2] = {Variant(1).detach(), Variant(2).detach()};
    DISPID named[] = {0};
    DISPPARAMS dp{args, named, 2, 1};
    Variant result;
    EXPECT_EQ(object->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, nullptr), DISP_E_NONAMEDARGS);
    // A put without the DISPID_PROPERTYPUT name is refused too.
    EXPECT_EQ(invoke(2, DISPATCH_PROPERTYPUT, {Variant("x")}, false)->hr, DISP_E_PARAMNOTFOUND);
}

TEST_F(DispatchTableTest, PropertiesGetAndPut) {
    ASSERT_EQ(invoke(2, DISPATCH_PROPERTYPUT, {Variant(12.5)}, true)->hr, S_OK);
    EXPECT_EQ(object->title, u"12.5");
    auto got = invoke(2, DISPATCH_PROPERTYGET, {});
    ASSERT_EQ(got->hr, S_OK);
    ASSERT_EQ(got->result.vt, VT_BSTR);
    EXPECT_EQ(qrt::bstrToUtf8(got->result.bstrVal), "12.5");

    // Indexed property: the value is the last argument, after the index.
    ASSERT_EQ(invoke(DISPID_VALUE, DISPATCH_PROPERTYPUT, {Variant(2), Variant(77)}, true)->hr, S_OK);
    EXPECT_EQ(object->items[2], 77);
    EXPECT_EQ(invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, {Variant(2)})->result.lVal, 77);
    auto outside = invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, {Variant(9)});
    EXPECT_EQ(outside->hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outside->excep.scode, DISP_E_BADINDEX);

    // Put-by-reference falls back to nothing else; put falls back to putref.
    ComPtr<Sample> other = qrt::create<Sample>();
    Variant ref(static_cast<IDispatch*>(other.get()));
    EXPECT_EQ(invoke(9, DISPATCH_PROPERTYPUTREF, {ref}, true)->hr, S_OK);
    EXPECT_EQ(object->target.get(), static_cast<IDispatch*>(other.get()));
    object->target.reset();
    EXPECT_EQ(invoke(9, DISPATCH_PROPERTYPUT, {ref}, true)->hr, S_OK);
    EXPECT_EQ(object->target.get(), static_cast<IDispatch*>(other.get()));
    object->target.reset();
}

TEST_F(DispatchTableTest, ByReferenceResultsAreWrittenBack) {
    // A typed reference: updated in place.
    LONG counter = 5;
    VARIANT typed;
    typed.vt = VT_BYREF | VT_I4;
    typed.plVal = &counter;
    ASSERT_EQ(invoke(4, DISPATCH_METHOD, {typed})->hr, S_OK);
    EXPECT_EQ(counter, 6);

    // A script variable holding another type: converted in, result written back as the declared type.
    Variant variable("41");
    VARIANT ref;
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &variable;
    ASSERT_EQ(invoke(4, DISPATCH_METHOD, {ref})->hr, S_OK);
    EXPECT_EQ(variable.vt, VT_I4);
    EXPECT_EQ(variable.lVal, 42);

    // A constant: the call works on a copy.
    Variant constant(1);
    ASSERT_EQ(invoke(4, DISPATCH_METHOD, {constant})->hr, S_OK);
    EXPECT_EQ(constant.lVal, 1);

    // Variant references swap the caller's variables, strings and all.
    Variant a("left"), b(3.5);
    VARIANT ra{}, rb{};
    ra.vt = rb.vt = VT_BYREF | VT_VARIANT;
    ra.pvarVal = &a;
    rb.pvarVal = &b;
    ASSERT_EQ(invoke(3, DISPATCH_METHOD, {ra, rb})->hr, S_OK);
    EXPECT_EQ(a.vt, VT_R8);
    ASSERT_EQ(b.vt, VT_BSTR);
    EXPECT_EQ(qrt::bstrToUtf8(b.bstrVal), "left");
}

TEST_F(DispatchTableTest, OptionalArgumentsTakeMissingOrDefault) {
    auto r = invoke(5, DISPATCH_METHOD, {Variant(1.5)});
    ASSERT_EQ(r->hr, S_OK);
    EXPECT_EQ(qrt::bstrToUtf8(r->result.bstrVal), "5/10 missing");
    auto passed = invoke(5, DISPATCH_METHOD, {Variant(1.5), Variant("x")});
    EXPECT_EQ(qrt::bstrToUtf8(passed->result.bstrVal), "5/8");
    // A variant by value sees the caller's value, not the reference to it.
    Variant inner(short(4));
    VARIANT ref;
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &inner;
    EXPECT_EQ(qrt::bstrToUtf8(invoke(5, DISPATCH_METHOD, {ref})->result.bstrVal), "2/10 missing");

    EXPECT_EQ(invoke(6, DISPATCH_METHOD, {Variant(2.0)})->result.dblVal, 20.0);
    EXPECT_EQ(invoke(6, DISPATCH_METHOD, {Variant(2.0), Variant(3.0)})->result.dblVal, 6.0);
    EXPECT_EQ(invoke(6, DISPATCH_METHOD, {Variant(2.0), Variant::missing()})->result.dblVal, 20.0);
}

TEST_F(DispatchTableTest, FailuresBecomeExceptionsWithTheirDescription) {
    auto r = invoke(7, DISPATCH_METHOD, {});
    EXPECT_EQ(r->hr, DISP_E_EXCEPTION);
    EXPECT_EQ(r->excep.scode, E_INVALIDARG);
    EXPECT_EQ(qrt::bstrToUtf8(r->excep.bstrSource), "Sample");
    EXPECT_EQ(qrt::bstrToUtf8(r->excep.bstrDescription), "Nothing to fail with");
    // Without EXCEPINFO the status itself comes back.
    DISPPARAMS dp{nullptr, nullptr, 0, 0};
    EXPECT_EQ(object->Invoke(7, GUID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(DispatchTableTest, CallsLeakNothing) {
    id(u"Add");  // the table and its type information are made once, on first use
    const long bstrs = qrt::liveBstrCount();
    const long objects = qrt::liveObjectCount();
    {
        Variant variable("41");
        VARIANT ref;
        ref.vt = VT_BYREF | VT_VARIANT;
        ref.pvarVal = &variable;
        invoke(4, DISPATCH_METHOD, {ref});
        invoke(2, DISPATCH_PROPERTYPUT, {Variant("title")}, true);
        invoke(2, DISPATCH_PROPERTYGET, {});
        invoke(1, DISPATCH_METHOD, {Variant(1), Variant("two")});
        invoke(7, DISPATCH_METHOD, {});
        invoke(5, DISPATCH_METHOD, {Variant("a"), Variant("b")});
    }
    EXPECT_EQ(qrt::liveBstrCount(), bstrs);
    EXPECT_EQ(qrt::liveObjectCount(), objects);
}

TEST_F(DispatchTableTest, TypeInformationComesFromTheSameTable) {
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(object->GetTypeInfo(0, 0, info.out()), S_OK);
    EXPECT_EQ(object->GetTypeInfo(1, 0, info.out()), DISP_E_BADINDEX);
    ASSERT_EQ(object->GetTypeInfo(0, 0, info.out()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->cFuncs, 13);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    info->ReleaseTypeAttr(attr);

    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(2, &f), S_OK);  // put_Title
    EXPECT_EQ(f->invkind, INVOKE_PROPERTYPUT);
    EXPECT_EQ(f->cParams, 1);
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_VOID);
    info->ReleaseFuncDesc(f);
    ASSERT_EQ(info->GetFuncDesc(4, &f), S_OK);  // Bump
    EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_BYREF | VT_I4);
    EXPECT_EQ(f->lprgelemdescParam[0].wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOUT);
    info->ReleaseFuncDesc(f);
    ASSERT_EQ(info->GetFuncDesc(6, &f), S_OK);  // Scaled
    EXPECT_EQ(f->cParamsOpt, 1);
    EXPECT_EQ(f->lprgelemdescParam[1].wParamFlags & PARAMFLAG_FOPT, PARAMFLAG_FOPT);
    info->ReleaseFuncDesc(f);
    EXPECT_EQ(info->GetFuncDesc(13, &f), TYPE_E_ELEMENTNOTFOUND);

    // Invoke through the type information reaches the same member.
    VARIANT args[2] = {Variant(2.0).detach(), Variant(3).detach()};
    DISPPARAMS dp{args, nullptr, 2, 0};
    Variant result;
    ASSERT_EQ(info->Invoke(static_cast<ISample*>(object.get()), 1, DISPATCH_METHOD, &dp, &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.dblVal, 5.0);
}

}  // namespace

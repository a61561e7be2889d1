// Drives RegExp as a script does: created by ProgID from the test's own
// registry, every call by name through IDispatch.
#pragma once

#include "engines/vbscript/regexp/regexp.h"
#include "runtime/activation.h"
#include "runtime/object.h"
#include "runtime/testing/dispatch_calls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace regexp_test {

using qrt::Variant;
using qtest::call;
using qtest::CallResult;
using qtest::get;
using qtest::put;

inline std::u16string text(const Variant& v) {
    return v.vt == VT_BSTR ? std::u16string(qrt::bstrView(v.bstrVal)) : u"<not a string>";
}

class RegExpTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::registerLibrary("VBScript");
        objectsBefore = qrt::liveObjectCount();
        ASSERT_EQ(qrt::createObject(u"VBScript.RegExp", re), S_OK) << qrt::lastActivationError();
    }
    void TearDown() override {
        re.reset();
        EXPECT_EQ(qrt::liveObjectCount(), objectsBefore) << "objects leaked";
    }

    // Sets the pattern and flags in one go.
    void setUp(const char16_t* pattern, bool global = false, bool ignoreCase = false, bool multiline = false) {
        ASSERT_EQ(put(re.get(), u"Pattern", pattern).hr, S_OK);
        ASSERT_EQ(put(re.get(), u"Global", global).hr, S_OK);
        ASSERT_EQ(put(re.get(), u"IgnoreCase", ignoreCase).hr, S_OK);
        ASSERT_EQ(put(re.get(), u"Multiline", multiline).hr, S_OK);
    }
    bool test(const char16_t* subject) {
        CallResult r = call(re.get(), u"Test", {subject});
        EXPECT_EQ(r.hr, S_OK) << r.description;
        EXPECT_EQ(r.value.vt, VT_BOOL);
        return r.value.boolVal != VARIANT_FALSE;
    }
    std::u16string replace(const char16_t* subject, const char16_t* with) {
        CallResult r = call(re.get(), u"Replace", {subject, with});
        EXPECT_EQ(r.hr, S_OK) << r.description;
        return text(r.value);
    }
    qrt::ComPtr<IDispatch> execute(const char16_t* subject) {
        CallResult r = call(re.get(), u"Execute", {subject});
        EXPECT_EQ(r.hr, S_OK) << r.description;
        if (r.value.vt != VT_DISPATCH) return {};
        return qrt::ComPtr<IDispatch>(r.value.pdispVal);
    }
    // "value@index" for every match, joined by spaces.
    std::u16string listMatches(const char16_t* subject) {
        qrt::ComPtr<IDispatch> matches = execute(subject);
        if (!matches) return u"<no collection>";
        std::u16string out;
        const LONG count = get(matches.get(), u"Count").value.lVal;
        for (LONG i = 0; i < count; ++i) {
            CallResult m = call(matches.get(), u"Item", {static_cast<int>(i)});
            if (m.value.vt != VT_DISPATCH) return u"<no match object>";
            if (!out.empty()) out += u' ';
            out += text(get(m.value.pdispVal, u"Value").value);
            out += u'@';
            for (char c : std::to_string(get(m.value.pdispVal, u"FirstIndex").value.lVal)) out += static_cast<char16_t>(c);
        }
        return out;
    }
    // The number of a failed call's VBScript error (0 when it succeeded).
    int errorNumber(const CallResult& r) {
        if (SUCCEEDED(r.hr)) return 0;
        EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(static_cast<std::uint32_t>(r.scode) & 0xFFFF0000u, 0x800A0000u);
        return static_cast<int>(r.scode & 0xFFFF);
    }

    long objectsBefore = 0;
    qrt::ComPtr<IDispatch> re;
};

}  // namespace regexp_test

// Reaches the graph library as its users do: registered in the test's
// registry, created by ProgID, called through IDispatch by name (or through
// the interface where only the program goes).
#pragma once

#include "graph/tarvik.h"
#include "runtime/activation.h"
#include "runtime/control.h"
#include "runtime/object.h"
#include "runtime/safearray.h"
#include "runtime/text.h"
#include "runtime/typeinfo.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/testing/test_support.h"

#include "runtime/testing/qt_application.h"
#include <QApplication>
#include <gtest/gtest.h>

namespace tarvik_test {

using qrt::ComPtr;
using qrt::Variant;
using qtest::call;
using qtest::get;
using qtest::put;
using qtest::refTo;

using qtest::ensureApplication;

// A VBScript-style array: a safe array of variants.
inline Variant scriptArray(std::initializer_list<Variant> items) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
    LONG i = 0;
    for (const Variant& item : items) {
        SafeArrayPutElement(sa, &i, &item);
        ++i;
    }
    Variant v;
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = sa;
    return v;
}

class TarvikTest : public ::testing::Test {
protected:
    void SetUp() override { qtest::registerLibrary("Tarvik"); }

    template <class T>
    ComPtr<T> make(const char16_t* progId) {
        ComPtr<T> object;
        EXPECT_EQ(qrt::createObject(progId, object), S_OK) << qrt::lastActivationError();
        return object;
    }
};

}  // namespace tarvik_test

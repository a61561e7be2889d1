// Components as this language binds them: members in any case, Enumerator
// over collections and arrays, dates handed over with getVarDate, GetObject.
#include "engines/jscript/tests/recorder.h"
#include "engines/jscript/tests/script_values.h"
#include "engines/jscript/tests/test_site.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>

namespace {

using qtest::EngineUnderTest;
using qtest::Recorder;

using qtest::text;

std::string number(unsigned code) { return std::to_string(static_cast<std::int32_t>(0x800A0000u | code)); }

class JScriptHost : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::registerLibrary("JScript");
        qtest::registerLibrary("Sumtrel");
        qtest::registerLibrary("Tarvik");
        static const bool warmedUp = [] {
            EngineUnderTest js(u"JScript");
            return SUCCEEDED(js.run(u"new ActiveXObject('Sumtrel.MathClass'); new ActiveXObject('Tarvik.Series');"
                                    u"new ActiveXObject('Tarvik.ViGraf');"));
        }();
        EXPECT_TRUE(warmedUp);
        m_objects = qrt::liveObjectCount();
    }
    void TearDown() override { EXPECT_EQ(qrt::liveObjectCount(), m_objects) << "objects leaked"; }

private:
    long m_objects = 0;
};

TEST_F(JScriptHost, TypedMembersBindWithoutRegardToCase) {
    EngineUnderTest js(u"JScript");
    ASSERT_EQ(js.run(u"var g = new ActiveXObject('Tarvik.ViGraf');\n"
                     u"g.createseries(); g.CREATESERIES(); g.CreateSeries();\n"
                     u"var count = g.countseries + g.COUNTSERIES;\n"
                     u"g.forecolor = 255; var fore = g.FORECOLOR + '|' + g.ForeColor;\n"
                     u"var m = new ActiveXObject('Sumtrel.MathClass');\n"
                     u"var j = [m.j0(0), m.J0(0), m.jN(1, 0) === m.Jn(1, 0)].join();\n"
                     u"var bracket = typeof m['JN'];\n"
                     u"var missing = typeof m.j9 + '|' + typeof m.jn9;\n"),
              S_OK)
        << (js.site->errors.empty() ? "" : js.site->errors[0].description);
    EXPECT_EQ(text(js.eval(u"count")), "6");
    EXPECT_EQ(text(js.eval(u"fore")), "255|255");
    EXPECT_EQ(text(js.eval(u"j")), "1,1,true");
    EXPECT_EQ(text(js.eval(u"bracket")), "function");
    EXPECT_EQ(text(js.eval(u"missing")), "undefined|undefined");
    // A spelling first used in text that comes after the object was made.
    EXPECT_EQ(text(js.eval(u"String(m.Y0(1) === m.y0(1))")), "true");
    EXPECT_EQ(text(js.eval(u"var s = new ActiveXObject('Tarvik.Series'); s.ADD(1, 2); s.add(3, 4); typeof s.Add")),
              "function");
    // Own script properties of another case stay apart from the members.
    EXPECT_EQ(text(js.eval(u"m.myValue = 3; String(m.MYVALUE === undefined)")), "true");
    EXPECT_TRUE(js.site->errors.empty());
}

TEST_F(JScriptHost, EnumeratorWalksCollectionsAndArrays) {
    auto recorder = qrt::create<Recorder>();
    recorder->items = {qrt::Variant(1), qrt::Variant(u"two"), qrt::Variant(3.5)};
    {
        EngineUnderTest js(u"JScript");
        js.publish(u"rec", recorder->unknown());
        ASSERT_EQ(js.run(u"function walk(e) { var seen = []; for (; !e.atEnd(); e.moveNext()) seen.push(e.item()); return seen; }\n"
                         u"var fromHost = walk(new Enumerator(rec)).join('|');\n"
                         u"var list = ['a', 'b'];\n"
                         u"var e = new Enumerator(list), first = e.item();\n"
                         u"list.push('c');\n"
                         u"var fromArray = walk(e).join('|');\n"
                         u"var after = typeof e.item(); e.moveNext();\n"
                         u"e.moveFirst(); var again = e.item();\n"
                         u"var empty = new Enumerator([]).atEnd() && new Enumerator().atEnd();\n"
                         u"var notCollection = [], candidates = [{}, new ActiveXObject('Tarvik.Series'), 5];\n"
                         u"for (var i = 0; i < candidates.length; i++) {\n"
                         u"  try { new Enumerator(candidates[i]); }\n"
                         u"  catch (err) { notCollection.push(err.number + ':' + err.description); }\n"
                         u"}\n"),
                  S_OK)
            << (js.site->errors.empty() ? "" : js.site->errors[0].description);
        EXPECT_EQ(text(js.eval(u"fromHost")), "1|two|3.5");
        EXPECT_EQ(text(js.eval(u"first")), "a");
        EXPECT_EQ(text(js.eval(u"fromArray")), "a|b|c");
        EXPECT_EQ(text(js.eval(u"after")), "undefined");
        EXPECT_EQ(text(js.eval(u"again")), "a");
        EXPECT_EQ(text(js.eval(u"String(empty)")), "true");
        const std::string notCollection = number(451) + ":Object not a collection";
        EXPECT_EQ(text(js.eval(u"notCollection.join()")), notCollection + "," + notCollection + "," + notCollection);
    }
}

using qtest::ZoneScope;

TEST_F(JScriptHost, DatesCrossAsLocalTimeAndGetVarDateIsADate) {
    ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    auto recorder = qrt::create<Recorder>();
    {
        EngineUnderTest js(u"JScript");
        js.publish(u"rec", recorder->unknown());
        ASSERT_EQ(js.run(u"var d = new Date(2024, 0, 5, 6, 0, 0), v = d.getVarDate();\n"
                         u"rec.Take(v, d, new Date(1899, 11, 29, 6, 0, 0), new Date(NaN));\n"
                         u"var back = new Date(v).getTime() === d.getTime(), text = String(v);\n"
                         u"var summer = new Date(2024, 6, 14, 12, 0, 0).getVarDate();\n"
                         u"rec.Take(summer);\n"),
                  S_OK)
            << (js.site->errors.empty() ? "" : js.site->errors[0].description);
        ASSERT_EQ(recorder->calls.size(), 2u);
        const auto& dates = recorder->calls[0];
        ASSERT_EQ(dates[0].vt, VT_DATE);
        EXPECT_DOUBLE_EQ(dates[0].date, 45296.25);  // 5 January 2024, 6:00 local time
        ASSERT_EQ(dates[1].vt, VT_DATE);
        EXPECT_DOUBLE_EQ(dates[1].date, 45296.25);
        ASSERT_EQ(dates[2].vt, VT_DATE);
        EXPECT_DOUBLE_EQ(dates[2].date, -1.25);  // before day 0 the fraction counts forward
        EXPECT_EQ(dates[3].vt, VT_NULL);
        ASSERT_EQ(recorder->calls[1][0].vt, VT_DATE);
        EXPECT_DOUBLE_EQ(recorder->calls[1][0].date, 45487.5);  // noon in summer time
        EXPECT_EQ(text(js.eval(u"String(back)")), "true");
        EXPECT_EQ(text(js.eval(u"text")), "Fri Jan 5 06:00:00 UTC+0100 2024");

        // A DATE from a component is the same local time in the script.
        recorder->toGive = qrt::Variant();
        recorder->toGive.vt = VT_DATE;
        recorder->toGive.date = 45296.75;
        EXPECT_EQ(text(js.eval(u"var g = rec.Give(); [g.getFullYear(), g.getMonth(), g.getDate(), g.getHours()].join()")),
                  "2024,0,5,18");
        recorder->toGive.date = -1.25;
        EXPECT_EQ(text(js.eval(u"var g = rec.Give(); [g.getFullYear(), g.getMonth(), g.getDate(), g.getHours()].join()")),
                  "1899,11,29,6");
        recorder->calls.clear();
    }
}

TEST_F(JScriptHost, GetObjectMakesObjectsByClassOnly) {
    EngineUnderTest js(u"JScript");
    ASSERT_EQ(js.run(u"function failure(f) { try { f(); return 'no error'; } catch (e) { return e.number + ':' + e.description; } }\n"
                     u"var j0 = GetObject('', 'Sumtrel.MathClass').J0(0);\n"
                     u"var path = failure(function () { GetObject('/tmp/drawing.grf'); });\n"
                     u"var pathAndClass = failure(function () { GetObject('/tmp/drawing.grf', 'Sumtrel.MathClass'); });\n"
                     u"var running = failure(function () { GetObject(undefined, 'Sumtrel.MathClass'); });\n"
                     u"var unknown = failure(function () { GetObject('', 'No.Such.Class'); });\n"
                     u"var nothing = failure(function () { GetObject(); });\n"),
              S_OK)
        << (js.site->errors.empty() ? "" : js.site->errors[0].description);
    EXPECT_EQ(text(js.eval(u"j0")), "1");
    const std::string notFound = number(432) + ":File name or class name not found during Automation operation";
    EXPECT_EQ(text(js.eval(u"path")), notFound);
    EXPECT_EQ(text(js.eval(u"pathAndClass")), notFound);
    EXPECT_EQ(text(js.eval(u"running")), number(429) + ":Automation server can't create object: Sumtrel.MathClass");
    EXPECT_EQ(text(js.eval(u"unknown")), number(429) + ":Automation server can't create object: No.Such.Class");
    EXPECT_EQ(text(js.eval(u"nothing")), number(5) + ":Invalid procedure call or argument");
}

}  // namespace

// String and array bodies are kept per thread for reuse once freed, and
// what a release frees in turn waits in a per-thread list: values made on
// one thread must stay whole when freed on another, when the thread that
// made them has ended, and when many more are freed than are kept.
#include "engines/vbscript/value.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using vbs::Value;

std::u16string textFor(int i) { return u"piece " + std::u16string(static_cast<std::size_t>(i % 40), u'x') + u"#"; }

// Strings, and arrays of strings, numbered from first.
std::vector<Value> makeValues(int first, int count) {
    std::vector<Value> values;
    for (int i = first; i < first + count; ++i) {
        if (i % 10 == 0) {
            vbs::ArrayBody* arr = vbs::newList(3);
            for (int k = 1; k < 3; ++k) arr->data[static_cast<std::size_t>(k)] = Value::string(textFor(i + k));
            // An array inside: freeing the outer one makes the inner wait its turn.
            vbs::ArrayBody* inner = vbs::newList(1);
            inner->data[0] = Value::string(textFor(i));
            arr->data[0] = Value::array(inner);
            values.push_back(Value::array(arr));
        } else {
            values.push_back(Value::string(textFor(i)));
        }
    }
    return values;
}

// The number of values that do not hold what makeValues put in them.
int damaged(const std::vector<Value>& values, int first) {
    int bad = 0;
    for (int i = 0; i < static_cast<int>(values.size()); ++i) {
        const Value& v = values[static_cast<std::size_t>(i)];
        const int n = first + i;
        if (n % 10 == 0) {
            bad += !v.isArray() || v.arr()->data.size() != 3 || v.arr()->data[2].str() != textFor(n + 2) ||
                   !v.arr()->data[0].isArray() || v.arr()->data[0].arr()->data[0].str() != textFor(n);
        } else {
            bad += !v.isString() || v.str() != textFor(n);
        }
    }
    return bad;
}

TEST(ValueBodies, OutliveTheThreadThatMadeThemAndAreReusedWhole) {
    std::vector<Value> fromWorker;
    std::thread worker([&] {
        // More than a thread keeps, made and freed, then some kept for later.
        for (int round = 0; round < 3; ++round) {
            std::vector<Value> scratch = makeValues(round * 5000, 5000);
            EXPECT_EQ(damaged(scratch, round * 5000), 0);
        }
        fromWorker = makeValues(100000, 3000);
    });
    worker.join();
    EXPECT_EQ(damaged(fromWorker, 100000), 0);

    // Freed here, their blocks are reused here, while others stay in use.
    std::vector<Value> kept = makeValues(200000, 2000);
    fromWorker.resize(1000);
    std::vector<Value> reused = makeValues(300000, 2000);
    EXPECT_EQ(damaged(fromWorker, 100000), 0);
    EXPECT_EQ(damaged(kept, 200000), 0);
    EXPECT_EQ(damaged(reused, 300000), 0);

    // And freed by another thread again.
    std::thread other([moved = std::move(reused)]() mutable { moved.clear(); });
    other.join();
    std::vector<Value> again = makeValues(400000, 2000);
    EXPECT_EQ(damaged(again, 400000), 0);
    EXPECT_EQ(damaged(kept, 200000), 0);
}

}  // namespace

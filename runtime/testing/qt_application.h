// A Qt application for tests that make windows or paint text (header only:
// included by test programs that link Qt Widgets).
#pragma once

#include <QApplication>

namespace qtest {

inline void ensureApplication() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "quillan_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives for the whole test process
}

}  // namespace qtest

#pragma once
#include "app/Application.h"

#include <QTest>

// Like QTEST_MAIN, but with the program's own application object, so that a
// failing statement inside an event handler is reported as in the program.
#define TABEL_TEST_MAIN(TestObject)                                  \
    int main(int argc, char *argv[])                                 \
    {                                                                \
        Application app(argc, argv);                                 \
        app.setAttribute(Qt::AA_Use96Dpi, true);                     \
        TestObject tc;                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                   \
        return QTest::qExec(&tc, argc, argv);                        \
    }

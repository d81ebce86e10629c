#pragma once
#include "app/Application.h"
#include "records/Actor.h"

#include <QTemporaryDir>
#include <QTest>

// The tests work as the administrator signed in, unless a test signs in as
// someone else.
inline void signInAsAdministrator()
{
    Actor::set({QStringLiteral("Администратор"), QStringLiteral("administrator"), QStringLiteral("тест")});
}

// Like QTEST_MAIN, but with the program's own application object, so that a
// failing statement inside an event handler is reported as in the program.
// Exported workbooks go to a throwaway documents folder.
#define TABEL_TEST_MAIN(TestObject)                                  \
    int main(int argc, char *argv[])                                 \
    {                                                                \
        QTemporaryDir documents;                                     \
        if (qEnvironmentVariableIsEmpty("TABEL_DOCUMENTS_DIR"))      \
            qputenv("TABEL_DOCUMENTS_DIR", documents.path().toUtf8()); \
        Application app(argc, argv);                                 \
        app.setAttribute(Qt::AA_Use96Dpi, true);                     \
        signInAsAdministrator();                                     \
        TestObject tc;                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                   \
        return QTest::qExec(&tc, argc, argv);                        \
    }

#include "app/Startup.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"

#include <QtTest>

class TestDataModule : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TDataModule6 *dm = nullptr;

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        dm = app->forms.DataModule6;
    }
    void init() { TestDb::clearData(); }
    void cleanupTestCase() { app.reset(); }

    void journalQueryLists()
    {
        const int g = Seed::group("Группа");
        const int p = Seed::product("M-1", g);
        const int k = Seed::kind("Сборка");
        const int o = Seed::operation(p, k, 0, {2.5});
        const int w = Seed::worker("Петров П.П.");
        Seed::entry({QDate(2024, 3, 5), 1, w, p, o});
        dm->Smena1.setParam("data", QDate(2024, 3, 5));
        dm->Smena1.setParam("OK", "ta");
        dm->Smena1.open();
        QCOMPARE(dm->Smena1.recordCount(), 1);
        QCOMPARE(dm->Smena1.asString("FIO"), QString("Петров П.П."));
        dm->Smena1.close();
    }
};

QTEST_MAIN(TestDataModule)
#include "tst_datamodule.moc"

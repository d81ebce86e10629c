#include "app/Startup.h"
#include "db/TDataModule6.h"
#include "journal/JournalQueries.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QtTest>

// The day journal matches each entry with the ERP's persons by id or by the
// number in s_code. A real ERP holds every contractor, not only our workers:
// the match must go through indexes, not read every person for every entry.
class TestJournalPlan : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        TestDb::clearData();
        TestDb::exec(QStringLiteral("insert into cmn_contractor.person (s_caption, s_code) "
                                    "select 'Контрагент ' || g, (500000 + g)::text from generate_series(1, 21000) g"));
        const int group = Seed::group(QStringLiteral("Корпуса"));
        const int product = Seed::product(QStringLiteral("M-1"), group);
        const int oper = Seed::operation(product, Seed::kind(QStringLiteral("Сборка")), 0, {2.5});
        for (int w = 0; w < 20; ++w) {
            const int worker = Seed::worker(QStringLiteral("Работник %1").arg(w));
            for (int shift = 1; shift <= 4; ++shift)
                Seed::entry({QDate(2024, 3, 5), shift, worker, product, oper});
        }
    }
    void cleanupTestCase() { app.reset(); }

    void personsFoundThroughIndexes_data()
    {
        QTest::addColumn<int>("shift");
        for (int shift = 1; shift <= 4; ++shift)
            QTest::addRow("shift %d", shift) << shift;
    }
    void personsFoundThroughIndexes()
    {
        QFETCH(int, shift);
        QString sql = JournalQueries::shiftStatement(shift).join(QLatin1Char('\n'));
        sql.replace(QStringLiteral(":data"), QStringLiteral("'05.03.2024'")).replace(QStringLiteral(":ok"), QStringLiteral("'да'"));
        QStringList plan;
        for (const QVariantList &row : TestDb::rows(QStringLiteral("explain ") + sql))
            plan << row.value(0).toString();
        const QString text = plan.join(QLatin1Char('\n'));
        QVERIFY2(!text.contains(QStringLiteral("Seq Scan on person")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("person_s_code_t_id")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("person_pkey")), qPrintable(text));
    }
};

TABEL_TEST_MAIN(TestJournalPlan)
#include "tst_journalplan.moc"

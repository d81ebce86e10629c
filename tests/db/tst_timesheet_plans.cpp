#include "app/Startup.h"
#include "db/TDataModule6.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "timesheets/TForm27.h"

#include <QtTest>

// The monthly timesheets read a month through indexes, not by scanning the
// journal or the timesheet: checked on the plans of a plant of some size.
class TestTimesheetPlans : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;

    static QString plan(const QString &sql)
    {
        QStringList lines;
        for (const QVariantList &r : TestDb::rows("explain " + sql))
            lines << r.at(0).toString();
        return lines.join('\n');
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        TestDb::clearData();
        // 400 workers, two years of entries on working days, their shift lines,
        // and housekeeping hours now and then
        TestDb::exec("insert into accounts_dep.person (fio, s_staffpos_hl) select 'Рабочий ' || g, '' from generate_series(1, 400) g");
        TestDb::exec("insert into accounts_dep.smena (data, smena, w_id, i_id, o_id, kol_vo, brak, cena, time, color, ok) "
                     "select d::date, 1 + p.id % 3, p.id, 1, 1, 10, 0, 1.5, 8, 0, 'no' "
                     "from accounts_dep.person p, generate_series('2023-01-01'::date, '2024-12-31'::date, '1 day') d "
                     "where extract(isodow from d) < 6");
        TestDb::exec("insert into accounts_dep.h_tabel (w_id, month, year, smena, d1) "
                     "select w_id, extract(month from data), extract(year from data), smena, sum(time) "
                     "from accounts_dep.smena group by 1, 2, 3, 4");
        TestDb::exec("insert into accounts_dep.fatigue (id_o, id_p, d_date, i_mnth, i_year, i_smena, cnt, price, i_night) "
                     "select 7777, p.id, d::date, extract(month from d), extract(year from d), 1, 4, 100, 0 "
                     "from accounts_dep.person p, generate_series('2023-01-01'::date, '2024-12-31'::date, '9 day') d");
        TestDb::exec("analyze accounts_dep.smena; analyze accounts_dep.h_tabel; analyze accounts_dep.fatigue");
    }
    void cleanupTestCase() { app.reset(); }

    void monthlyTimesheets()
    {
        TForm27 *w = app->forms.Form27;
        for (int mode : {9, 17}) {
            w->prepare(mode, QDate(2024, 3, 1));
            const QString p = plan(w->query()->boundText());
            QVERIFY2(p.contains("smena_w_id_num_data"), qPrintable(p));
            QVERIFY2(!p.contains("Seq Scan on smena"), qPrintable(p));
            QVERIFY2(!p.contains("Seq Scan on h_tabel"), qPrintable(p));
            if (mode == 17)
                QVERIFY2(p.contains("fatigue_id_p_date"), qPrintable(p));
            w->closeDown();
        }
    }

    void shiftPages()
    {
        Dataset &q = app->forms.DataModule6->H_Tabel_2;
        q.setParam("mnth", 3);
        q.setParam("yea", 2024);
        q.setParam("date1", QDate(2024, 3, 1));
        q.setParam("date2", QDate(2024, 4, 1));
        const QString p = plan(q.boundText());
        QVERIFY2(p.contains("h_tabel_month_smena"), qPrintable(p));
        QVERIFY2(!p.contains("Seq Scan on smena"), qPrintable(p));
    }
};

TABEL_TEST_MAIN(TestTimesheetPlans)
#include "tst_timesheet_plans.moc"

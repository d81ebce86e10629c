#include "db/Gateway.h"
#include "app/Startup.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "records/DayCells.h"
#include "records/MonthRebuild.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

// The month rebuilds against the row-by-row way they replace: per day, per
// worker and line, a count and then an update or an insert.
class TestMonthRebuild : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    QString conn;
    int product = 0, oper = 0;
    QList<int> workers;

    void entry(const QDate &d, int shift, int w, int hours)
    {
        Seed::Entry e{d, shift, w, product, oper};
        e.time = hours;
        e.color = TestDb::scalar("select count(*) from accounts_dep.smena").toInt(); // distinct entries
        Seed::entry(e);
    }
    void hours(const QDate &d, int kind, int w, int night, int cnt)
    {
        TestDb::exec(QString("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, price, i_night) "
                             "values (%1, %2, 0, '%3', %4, %5, 1, %6, 100, %7)")
                         .arg(kind).arg(w).arg(d.toString("dd.MM.yyyy")).arg(d.month()).arg(d.year()).arg(cnt).arg(night));
    }
    // The month's lines as text, without their generated ids, in a fixed order
    QStringList lines(int month, int year)
    {
        QStringList out;
        QString days;
        for (int d = 1; d <= 31; ++d)
            days += QString(",coalesce(d%1::text,'-')").arg(d);
        for (const QVariantList &r : TestDb::rows(QString("select concat_ws(' ', w_id, smena, i_type, i_night%1) from accounts_dep.h_tabel "
                                                          "where month=%2 and year=%3 order by 1")
                                                      .arg(days).arg(month).arg(year)))
            out << r.at(0).toString();
        return out;
    }
    // The row-by-row rebuild of the shift lines, statement for statement
    void rowByRow(int month, int year)
    {
        TestDb::exec(QString("delete from accounts_dep.h_tabel where smena>0 and month=%1 and year=%2").arg(month).arg(year));
        const int days = QDate(year, month, 1).daysInMonth();
        for (int i = 1; i <= days; ++i) {
            const auto dt = TestDb::rows(QString(" select smena, w_id, sum(time) as tim from accounts_dep.smena where data='%1' group by smena,w_id;")
                                             .arg(QDate(year, month, i).toString("dd.MM.yyyy")));
            for (const QVariantList &r : dt) {
                const QString s = r[0].toString(), w = r[1].toString(), t = r[2].toString();
                const int cnt = TestDb::scalar(QString("select count(w_id) as cnt from accounts_dep.h_tabel h_tabel where w_id=%1 and smena=%2 and month=%3 and year=%4")
                                                   .arg(w, s).arg(month).arg(year)).toInt();
                if (cnt != 0)
                    TestDb::exec(QString("update accounts_dep.h_tabel set d%1='%2' where w_id=%3 and smena=%4 and month=%5 and year=%6")
                                     .arg(i).arg(t, w, s).arg(month).arg(year));
                else
                    TestDb::exec(QString("insert into accounts_dep.h_tabel(smena, w_id, month, year, d%1) values(%2, %3, %4, %5, %6)")
                                     .arg(i).arg(s, w).arg(month).arg(year).arg(t));
            }
        }
    }
    void rowByRowHousekeeping(int month, int year)
    {
        TestDb::exec(QString("delete from accounts_dep.h_tabel where smena=0 and month=%1 and year=%2").arg(month).arg(year));
        const int days = QDate(year, month, 1).daysInMonth();
        for (int i = 1; i <= days; ++i) {
            const auto dt = TestDb::rows(QString(" select f.id_p, f.id_o, f.i_night, sum(f.cnt) as tim from accounts_dep.fatigue f where f.d_date ='%1' group by f.id_p, f.id_o, f.i_night order by id_p;")
                                             .arg(QDate(year, month, i).toString("dd.MM.yyyy")));
            for (const QVariantList &r : dt) {
                const QString p = r[0].toString(), o = r[1].toString(), n = r[2].toString(), t = r[3].toString();
                const int cnt = TestDb::scalar(QString("select count(w_id) as cnt from accounts_dep.h_tabel h_tabel where w_id=%1 and i_type=%2 and i_night=%3 and month=%4 and year=%5")
                                                   .arg(p, o, n).arg(month).arg(year)).toInt();
                if (cnt != 0)
                    TestDb::exec(QString("update accounts_dep.h_tabel set d%1=%2 where w_id=%3 and i_type=%4 and i_night=%5 and month=%6 and year=%7")
                                     .arg(i).arg(t, p, o, n).arg(month).arg(year));
                else
                    TestDb::exec(QString("insert into accounts_dep.h_tabel(i_type, w_id, i_night, month, year, d%1) values(%2, %3, %4, %5, %6, %7)")
                                     .arg(i).arg(o, p, n).arg(month).arg(year).arg(t));
            }
        }
    }
    // A month with all four shifts, two entries adding up, a worker in two
    // shifts, entries on the last day and just outside the month, and
    // housekeeping hours by day and by night.
    void seedMonth()
    {
        const QDate feb(2024, 2, 1);
        entry(feb, 1, workers[0], 8);
        entry(feb, 1, workers[0], 3); // adds up with the one before
        entry(feb.addDays(28), 2, workers[0], 10); // 29 February
        entry(feb.addDays(4), 3, workers[1], 7);
        entry(feb.addDays(4), 4, workers[1], 2);
        entry(feb.addDays(9), 2, workers[2], 0);
        entry(QDate(2024, 1, 31), 1, workers[2], 8);
        entry(QDate(2024, 3, 1), 1, workers[2], 8);
        hours(feb.addDays(2), 7777, workers[0], 0, 4);
        hours(feb.addDays(2), 7777, workers[0], 0, 2);
        hours(feb.addDays(2), 7777, workers[0], 1, 5);
        hours(feb.addDays(6), 7778, workers[1], 0, 6);
        hours(QDate(2024, 3, 1), 7777, workers[1], 0, 6);
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        conn = app->forms.DataModule6->connectionName();
    }
    void init()
    {
        TestDb::clearData();
        const int g = Seed::group("Фурнитура");
        product = Seed::product("РК-128", g);
        oper = Seed::operation(product, Seed::kind("Сборка"), 0, {1.5});
        workers = {Seed::worker("Алексеев А.В."), Seed::worker("Белова Н.С."), Seed::worker("Васильев П.И.")};
    }
    void cleanupTestCase() { app.reset(); }

    void shiftLinesEqualTheRowByRowWay()
    {
        seedMonth();
        // stale lines of both kinds, and a line of another month that stays
        Seed::shiftLine(workers[1], 1, 2, 2024, {{3, 9}});
        Seed::shiftLine(workers[2], 1, 3, 2024, {{1, 8}});
        MonthRebuild::housekeepingLines(conn, 2, 2024);
        const QStringList before = lines(2, 2024);
        rowByRow(2, 2024);
        const QStringList expected = lines(2, 2024);
        Seed::shiftLine(workers[1], 1, 2, 2024, {{3, 9}});

        QList<int> progress;
        MonthRebuild::shiftLines(conn, 2, 2024, [&](int d) { progress << d; });
        QCOMPARE(lines(2, 2024), expected);
        QVERIFY(expected != before);
        QCOMPARE(progress.size(), 29); // leap February, one step a day
        QCOMPARE(progress.last(), 29);
        // the worker's two entries of 1 February in one cell; shift 4 rebuilt too
        QCOMPARE(TestDb::scalar(QString("select d1 from accounts_dep.h_tabel where w_id=%1 and smena=1 and month=2").arg(workers[0])).toInt(), 11);
        QCOMPARE(TestDb::scalar(QString("select d5 from accounts_dep.h_tabel where w_id=%1 and smena=4 and month=2").arg(workers[1])).toInt(), 2);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel where month=3").toInt(), 1);
    }

    void housekeepingLinesEqualTheRowByRowWay()
    {
        seedMonth();
        MonthRebuild::shiftLines(conn, 2, 2024);
        Seed::shiftLine(workers[0], 0, 2, 2024, {{20, 9}}); // a stale housekeeping line (smena 0)
        rowByRowHousekeeping(2, 2024);
        const QStringList expected = lines(2, 2024);
        TestDb::exec(QString("update accounts_dep.h_tabel set d3=1 where smena=0 and month=2"));
        MonthRebuild::housekeepingLines(conn, 2, 2024);
        QCOMPARE(lines(2, 2024), expected);
        QCOMPARE(TestDb::scalar(QString("select d3 from accounts_dep.h_tabel where w_id=%1 and i_type=7777 and i_night=0 and month=2").arg(workers[0])).toInt(), 6);
    }

    void monthWithoutEntriesLosesItsLines()
    {
        Seed::shiftLine(workers[0], 2, 4, 2024, {{2, 8}});
        Seed::shiftLine(workers[0], 0, 4, 2024, {{3, 4}});
        MonthRebuild::shiftLines(conn, 4, 2024);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel where smena>0").toInt(), 0);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel where smena=0").toInt(), 1);
        MonthRebuild::housekeepingLines(conn, 4, 2024);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), 0);
    }

    // A failure after the deletion: the month is as it was, and the connection usable.
    void failureLeavesTheMonthAsItWas()
    {
        seedMonth();
        Seed::shiftLine(workers[1], 1, 2, 2024, {{3, 9}});
        const QStringList before = lines(2, 2024);
        TestDb::exec("create function accounts_dep.refuse() returns trigger language plpgsql as "
                     "$$ begin raise exception 'отказ записи'; end $$;"
                     "create trigger refuse before insert on accounts_dep.h_tabel for each row execute function accounts_dep.refuse();");
        bool failed = false;
        try {
            MonthRebuild::shiftLines(conn, 2, 2024);
        } catch (const DbError &e) {
            failed = e.text().contains("отказ записи");
        }
        TestDb::exec("drop trigger refuse on accounts_dep.h_tabel; drop function accounts_dep.refuse();");
        QVERIFY(failed);
        QCOMPARE(lines(2, 2024), before);

        // a failure inside the steps (here the progress) rolls back as well
        try {
            MonthRebuild::housekeepingLines(conn, 2, 2024, [](int d) {
                if (d == 15)
                    throw DbError("прервано");
            });
            QFAIL("no error");
        } catch (const DbError &) {
        }
        QCOMPARE(lines(2, 2024), before);
        MonthRebuild::shiftLines(conn, 2, 2024); // the connection is not left inside a transaction
        QVERIFY(lines(2, 2024) != before);
    }

    // An entry being saved in the month holds the month's lock shared: the
    // rebuild waits for it (here: gives up after the lock timeout) and changes nothing.
    void rebuildWaitsForTheMonthLock()
    {
        seedMonth();
        const QStringList before = lines(2, 2024);
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QPSQL", "other");
            other.setHostName(TestDb::host());
            other.setDatabaseName(TestDb::databaseName());
            other.setUserName("tabel_owner"); // advisory locks are the owner's alone
            QVERIFY(other.open());
            QVERIFY(other.transaction());
            QSqlQuery q(other);
            QVERIFY(q.exec(QString("select pg_advisory_xact_lock_shared(%1::bigint)").arg(DayCells::monthKey(2024, 2))));
            const QString lockLimit = Gateway::run(conn, "show lock_timeout").valueAt(0, 0).toString();
            Gateway::run(conn, "set lock_timeout = '300ms'");
            QVERIFY_THROWS_EXCEPTION(DbError, MonthRebuild::shiftLines(conn, 2, 2024));
            QCOMPARE(lines(2, 2024), before);
            MonthRebuild::shiftLines(conn, 3, 2024); // another month is not held up
            other.rollback();
            MonthRebuild::shiftLines(conn, 2, 2024);
            Gateway::run(conn, "select set_config('lock_timeout', ?, false)", {lockLimit});
            other.close();
        }
        QSqlDatabase::removeDatabase("other");
        QVERIFY(lines(2, 2024) != before);
    }
};

TABEL_TEST_MAIN(TestMonthRebuild)
#include "tst_month_rebuild.moc"

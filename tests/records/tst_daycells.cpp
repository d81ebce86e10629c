#include "db/Gateway.h"
#include "app/Startup.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "db/Transaction.h"
#include "records/DayCells.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {
const QDate kDay(2024, 3, 5);
// What a refresh does when the line of the cell does not exist yet.
const QString kCreate = "create", kCreateUnlessZero = "create_unless_zero", kLeave = "leave";
}

class TestDayCells : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    QString conn;
    int worker = 0, other = 0, product = 0, oper = 0;

    void entry(int w, int shift, const QDate &d, int hours)
    {
        Seed::Entry e{d, shift, w, product, oper};
        e.time = hours;
        Seed::entry(e);
    }
    void fatigue(int w, int kind, int night, const QDate &d, int hours)
    {
        TestDb::exec(QString("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, price, i_holiday, i_night) "
                             "values (%1, %2, 1, '%3', %4, %5, 1, %6, 100, 0, %7)")
                         .arg(kind).arg(w).arg(d.toString("dd.MM.yyyy")).arg(d.month()).arg(d.year()).arg(hours).arg(night));
    }
    // (line count, d5, d6) of a worker's lines matching `where`
    QVariantList lineOf(const QString &where)
    {
        const auto r = TestDb::rows("select count(*) over (), d5, d6, smena, i_type, i_night from accounts_dep.h_tabel where " + where);
        if (r.isEmpty())
            return {0};
        QVariantList out;
        for (const QVariant &v : r.first())
            out << (v.isNull() ? QVariant() : v); // an empty cell compares as QVariant()
        return out;
    }
    // A second workstation (the program's connection): can it take this lock right now?
    bool otherCanTake(const QString &tryLock)
    {
        // another session of the owner's: advisory locks are the owner's alone
        QSqlDatabase other = QSqlDatabase::contains("other_owner") ? QSqlDatabase::database("other_owner")
                                                                  : QSqlDatabase::addDatabase("QPSQL", "other_owner");
        if (!other.isOpen()) {
            other.setHostName(TestDb::host());
            other.setDatabaseName(TestDb::databaseName());
            other.setUserName("tabel_owner");
            other.open();
        }
        QSqlQuery q(other);
        q.exec("begin");
        q.exec("select " + tryLock);
        const bool got = q.next() && q.value(0).toBool();
        q.exec("rollback");
        return got;
    }
    // A rule of the database's write functions run on its own; the error's
    // text, empty when it went through.
    QString rule(const QString &call)
    {
        return TestDb::scalar("select pg_temp.attempt($q$select accounts_dep." + call + "$q$)").toString();
    }
    QString shiftRefresh(int w, int shift, const QDate &d, const QString &missing = kCreate)
    {
        return rule(QString("day_cell_shift(%1, %2, '%3', '%4')").arg(w).arg(shift).arg(d.toString(Qt::ISODate), missing));
    }
    QString housekeepingRefresh(int w, int kind, int night, const QDate &d, const QString &missing = kCreate)
    {
        return rule(QString("day_cell_housekeeping(%1, %2, %3, '%4', '%5')").arg(w).arg(kind).arg(night).arg(d.toString(Qt::ISODate), missing));
    }

private slots:
    void initTestCase()
    {
        TestDb::letSysWrite({"h_tabel"}); // the statements' road is under test here, not the rights
        app = TestDb::startApp();
        conn = app->forms.DataModule6->connectionName();
        TestDb::exec("create function pg_temp.attempt(q text) returns text language plpgsql as "
                     "$$ begin execute q; return ''; exception when others then return sqlerrm; end $$");
    }
    void init()
    {
        TestDb::clearData();
        worker = Seed::worker("Петров П.П.");
        other = Seed::worker("Сидоров С.С.");
        product = Seed::product("M-1", Seed::group("Корпуса"));
        oper = Seed::operation(product, Seed::kind("Сборка"), 0, {1.0});
    }
    void cleanupTestCase() { app.reset(); }

    // The worker's shift-1 cell of the 5th, with entries of other workers,
    // shifts and days around it that must not count.
    void shiftRefresh_data()
    {
        QTest::addColumn<bool>("lineBefore");      // a line with d5=1, d6=8 exists
        QTest::addColumn<QList<int>>("hours");      // the worker's entries of the day
        QTest::addColumn<QString>("missing");
        QTest::addColumn<QVariantList>("expected"); // lines, d5, d6
        const QVariant null;
        QTest::newRow("save: first of the month makes the line") << false << QList<int>{4, 3} << kCreate << QVariantList{1, 7, null};
        QTest::newRow("save: line kept, other days kept") << true << QList<int>{4, 3} << kCreate << QVariantList{1, 7, 8};
        QTest::newRow("save of 0 hours still makes the line") << false << QList<int>{0} << kCreate << QVariantList{1, 0, null};
        QTest::newRow("deletion: last entry leaves 0, other days kept") << true << QList<int>{} << kLeave << QVariantList{1, 0, 8};
        QTest::newRow("deletion never inserts a line") << false << QList<int>{5} << kLeave << QVariantList{0};
        QTest::newRow("left cell: no line made for 0") << false << QList<int>{} << kCreateUnlessZero << QVariantList{0};
        QTest::newRow("left cell: hours still there make the line") << false << QList<int>{2} << kCreateUnlessZero << QVariantList{1, 2, null};
        QTest::newRow("left cell: existing line gets 0") << true << QList<int>{} << kCreateUnlessZero << QVariantList{1, 0, 8};
    }
    void shiftRefresh()
    {
        QFETCH(bool, lineBefore);
        QFETCH(QList<int>, hours);
        QFETCH(QString, missing);
        QFETCH(QVariantList, expected);
        if (lineBefore)
            Seed::shiftLine(worker, 1, 3, 2024, {{5, 1}, {6, 8}});
        for (int h : hours)
            entry(worker, 1, kDay, h);
        entry(worker, 2, kDay, 100);            // another shift
        entry(other, 1, kDay, 100);             // another worker
        entry(worker, 1, kDay.addDays(1), 100); // another day
        entry(worker, 1, kDay.addMonths(1), 100);
        QCOMPARE(shiftRefresh(worker, 1, kDay, missing), QString());
        const QVariantList got = lineOf(QString("w_id=%1 and smena=1 and month=3 and year=2024").arg(worker));
        QCOMPARE(got.mid(0, expected.size()), expected);
        if (got.first().toInt() == 1) // a new line is a shift line by the defaults
            QCOMPARE(got.mid(4), (QVariantList{0, 0}));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), expected.first().toInt());
    }

    // Housekeeping lines: one per worker, kind and night flag; smena 0.
    void housekeepingRefresh()
    {
        fatigue(worker, 7777, 0, kDay, 3);
        fatigue(worker, 7777, 0, kDay, 5);
        fatigue(worker, 7777, 1, kDay, 2);        // the night line
        fatigue(worker, 7778, 0, kDay, 40);       // the other kind
        fatigue(other, 7777, 0, kDay, 40);        // another worker
        fatigue(worker, 7777, 0, kDay.addDays(1), 40);
        Seed::shiftLine(worker, 1, 3, 2024, {{5, 9}}); // a shift line is not touched
        QCOMPARE(housekeepingRefresh(worker, 7777, 0, kDay), QString());
        QCOMPARE(housekeepingRefresh(worker, 7777, 1, kDay), QString());
        const QString line = QString("w_id=%1 and i_type=7777 and month=3 and year=2024 and ").arg(worker);
        QCOMPARE(lineOf(line + "i_night=0"), (QVariantList{1, 8, QVariant(), 0, 7777, 0}));
        QCOMPARE(lineOf(line + "i_night=1"), (QVariantList{1, 2, QVariant(), 0, 7777, 1}));
        QCOMPARE(lineOf(QString("w_id=%1 and smena=1").arg(worker)).mid(0, 2), (QVariantList{1, 9}));

        // deleting every day entry leaves 0 in the day line and no line is made
        TestDb::exec(QString("delete from accounts_dep.fatigue where id_p=%1 and id_o=7777 and i_night=0 and d_date='05.03.2024'").arg(worker));
        QCOMPARE(housekeepingRefresh(worker, 7777, 0, kDay, kLeave), QString());
        QCOMPARE(housekeepingRefresh(worker, 7778, 1, kDay, kLeave), QString());
        QCOMPARE(lineOf(line + "i_night=0").mid(0, 2), (QVariantList{1, 0}));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel where i_type=7778").toInt(), 0);
    }

    // A sum the cell cannot hold is refused before anything is written.
    void overflowRefused()
    {
        Seed::shiftLine(worker, 1, 3, 2024, {{5, 8}});
        entry(worker, 1, kDay, 8);
        entry(worker, 1, kDay, 2147483647);
        fatigue(worker, 7777, 0, kDay, 2147483647);
        fatigue(worker, 7777, 0, kDay, 1);
        for (int kind : {0, 7777}) {
            const QString error = kind == 0 ? shiftRefresh(worker, 1, kDay) : housekeepingRefresh(worker, kind, 0, kDay);
            QVERIFY2(error.contains("2147483655") || error.contains("2147483648"), qPrintable(error));
            QVERIFY2(error.contains("не помещаются в табель"), qPrintable(error));
        }
        QCOMPARE(lineOf(QString("w_id=%1 and smena=1").arg(worker)).mid(0, 2), (QVariantList{1, 8}));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), 1);
    }

    // Many cells at once give what one refresh per cell gives; missing lines stay missing.
    void manyCellsAtOnce()
    {
        struct Cell {
            int worker, shift;
            QDate date;
        };
        QVector<Cell> cells;
        for (int w : {worker, other})
            for (int s = 1; s <= 2; ++s) {
                Seed::shiftLine(w, s, 3, 2024, {{5, 99}, {6, 99}, {31, 99}});
                for (const QDate &d : {kDay, kDay.addDays(1), QDate(2024, 3, 31)}) {
                    if (d.day() != 6)
                        entry(w, s, d, w == worker ? s : 10 + s);
                    cells.append({w, s, d});
                }
            }
        cells.append(cells.first());                  // a repeated cell
        cells.append({worker, 3, kDay});              // no line: none is made
        QStringList w, s, d;
        for (const Cell &c : cells) {
            w << QString::number(c.worker);
            s << QString::number(c.shift);
            d << c.date.toString(Qt::ISODate);
        }
        QCOMPARE(rule(QString("day_cells_shift_existing('{%1}', '{%2}', '{%3}')").arg(w.join(','), s.join(','), d.join(','))),
                 QString());
        const auto got = TestDb::rows("select w_id, smena, d5, d6, d31 from accounts_dep.h_tabel order by w_id, smena");
        QCOMPARE(got.size(), 4);
        for (const auto &r : got) {
            const int hours = (r[0].toInt() == worker ? 0 : 10) + r[1].toInt();
            QCOMPARE(r.mid(2), (QVariantList{hours, 0, hours}));
        }
    }

    // The lock scheme as another workstation meets it.
    void locks()
    {
        const int key = DayCells::monthKey(kDay);
        QCOMPARE(key, 202403);
        auto lock = [&](const QString &workers, const QString &dates, const QString &months) {
            TestDb::exec("begin");
            TestDb::exec(QString("select accounts_dep.lock_months(%1, %2, %3)").arg(workers, dates, months));
        };
        {
            lock(QString("array[%1]").arg(worker), "array[date '2024-03-05']", "null");
            QVERIFY(!otherCanTake(QString("pg_try_advisory_xact_lock(%1, %2)").arg(key).arg(worker)));  // same worker, month
            QVERIFY(otherCanTake(QString("pg_try_advisory_xact_lock(%1, %2)").arg(key).arg(other)));    // another worker
            QVERIFY(otherCanTake(QString("pg_try_advisory_xact_lock(%1, %2)").arg(key + 1).arg(worker))); // another month
            QVERIFY(otherCanTake(QString("pg_try_advisory_xact_lock_shared(%1::bigint)").arg(key)));   // other saves of the month
            QVERIFY(!otherCanTake(QString("pg_try_advisory_xact_lock(%1::bigint)").arg(key)));         // a month rebuild waits
            TestDb::exec("rollback");
        }
        // released with the transaction
        QVERIFY(otherCanTake(QString("pg_try_advisory_xact_lock(%1, %2)").arg(key).arg(worker)));
        {
            // a whole month together with a worker month of it and of the next month
            lock(QString("array[%1, %1]").arg(worker), "array[date '2024-03-20', date '2024-04-01']", "array[date '2024-03-09']");
            QVERIFY(!otherCanTake(QString("pg_try_advisory_xact_lock_shared(%1::bigint)").arg(key))); // saves of the month wait
            QVERIFY(otherCanTake(QString("pg_try_advisory_xact_lock_shared(%1::bigint)").arg(key + 1)));
            QVERIFY(!otherCanTake(QString("pg_try_advisory_xact_lock(%1, %2)").arg(key + 1).arg(worker)));
            TestDb::exec("commit");
        }
        QVERIFY(otherCanTake(QString("pg_try_advisory_xact_lock(%1::bigint)").arg(key)));
    }

    void transactionGuard()
    {
        auto insertLine = [&](int shift) {
            Command c(conn);
            c.exec(QString("insert into accounts_dep.h_tabel (w_id, smena, month, year) values (%1, %2, 3, 2024)").arg(worker).arg(shift));
        };
        {
            Transaction tx(conn);
            insertLine(1);
        } // not committed: rolled back
        {
            Transaction tx(conn);
            insertLine(2);
            {
                Transaction inner(conn); // joins the outer one
                insertLine(3);
                inner.commit();
            }
            QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), 0); // not visible before the commit
            tx.commit();
        }
        QCOMPARE(TestDb::scalar("select string_agg(smena::text, ',' order by smena) from accounts_dep.h_tabel").toString(), QString("2,3"));
        {
            // an inner guard that gives up spoils the whole transaction
            Transaction tx(conn);
            insertLine(4);
            {
                Transaction inner(conn);
                insertLine(5);
            }
            QVERIFY_THROWS_EXCEPTION(DbError, tx.commit());
        }
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), 2);
    }
};

TABEL_TEST_MAIN(TestDayCells)
#include "tst_daycells.moc"

#include "app/Startup.h"
#include "db/DbSession.h"
#include "db/Gateway.h"
#include "db/TDataModule6.h"
#include "records/OfflineQueue.h"
#include "support/CommitProxy.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

// The entries keyed while no server answered, and their sending.
namespace {
const QDate kDay(2024, 3, 5);

int cell(int worker, int shift, const QDate &d)
{
    return TestDb::scalar(QString("select coalesce(sum(d%1), 0) from accounts_dep.h_tabel where w_id=%2 and smena=%3 "
                                  "and month=%4 and year=%5")
                              .arg(d.day()).arg(worker).arg(shift).arg(d.month()).arg(d.year()))
        .toInt();
}

int count(const QString &sql) { return TestDb::scalar(sql).toInt(); }
} // namespace

class TestOfflineQueue : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    QString conn;
    Users::User master;
    int worker = 0, worker2 = 0, product = 0, oper = 0, oper2 = 0, group = 0;
    std::unique_ptr<QTemporaryDir> dir;

    Entries::Entry entry(int w, int o, int shift, const QDate &day, int quantity, int hours)
    {
        Entries::Entry e;
        e.worker = w;
        e.item = product;
        e.operation = o;
        e.shift = shift;
        e.date = day;
        e.quantity = quantity;
        e.hours = hours;
        return e;
    }
    HousekeepingEntries::Entry housekeeping(int w, const QDate &day, int hours)
    {
        HousekeepingEntries::Entry h;
        h.worker = w;
        h.nomenclature = group;
        h.kind = 7777;
        h.date = day;
        h.shift = 1;
        h.hours = hours;
        return h;
    }
    std::unique_ptr<OfflineQueue> queue(int user, const QString &folder = QString())
    {
        auto q = std::make_unique<OfflineQueue>(OfflineQueue::databaseOf(conn), user, folder.isEmpty() ? dir->path() : folder);
        if (!q->isOpen())
            qFatal("queue: %s", qPrintable(q->error()));
        return q;
    }
    void useApp(std::unique_ptr<AppContext> ctx)
    {
        app = std::move(ctx);
        conn = app->forms.DataModule6->connectionName();
        master = TestDb::signInAs(conn, "masters", "Мастер М.М.");
    }

private slots:
    void initTestCase() { useApp(TestDb::startApp()); }
    void init()
    {
        TestDb::clearData();
        TestDb::exec("delete from accounts_dep.audit");
        TestDb::exec("delete from accounts_dep.closed_months");
        TestDb::exec("update accounts_dep.users set active = true");
        TestDb::exec("update accounts_dep.norm set price=100 where o_id=7777");
        worker = Seed::worker("Петров П.П.");
        worker2 = Seed::worker("Сидоров С.С.");
        group = Seed::group("Корпуса");
        product = Seed::product("M-1", group);
        const int k = Seed::kind("Сборка");
        oper = Seed::operation(product, k, 0, {10.0});
        oper2 = Seed::operation(product, k, 1, {12.0});
        dir = std::make_unique<QTemporaryDir>();
    }

    // 50 entries keyed into the queue go in once, in keying order, in a
    // couple of round trips; the day cells hold their hours and the trail
    // names the user, with the time keyed.
    void drainStoresEachOnce()
    {
        {
            auto q = queue(master.id);
            for (int i = 0; i < 40; ++i) {
                // 4 shifts x 10 days x 2 workers of 1 hour each; the second operation on even rows
                const QDate d = kDay.addDays(i % 10);
                QVERIFY(q->add(entry(i % 20 < 10 ? worker : worker2, i % 2 ? oper : oper2, 1 + i / 20, d, 3, 1)).ok());
            }
            for (int i = 0; i < 10; ++i)
                QVERIFY(q->add(housekeeping(worker, kDay.addDays(i), 2)).ok());
            QCOMPARE(q->waiting(), 50);
        }
        // the program closed and started again: the queue is still there
        auto q = queue(master.id);
        QCOMPARE(q->waiting(), 50);
        QStringList keyed;
        for (const OfflineQueue::Item &it : q->items())
            if (it.kind == OfflineQueue::EntryKind)
                keyed << it.key().toString(QUuid::WithoutBraces);
        const quint64 trips = Gateway::roundTrips();
        const OfflineQueue::Sending s = q->send(conn);
        QVERIFY2(s.text.isEmpty(), qPrintable(s.text));
        QCOMPARE(s.stored, 50);
        QCOMPARE(s.refused, 0);
        QVERIFY2(Gateway::roundTrips() - trips <= 2, qPrintable(QString::number(Gateway::roundTrips() - trips)));
        QCOMPARE(q->items().size(), 0);
        QCOMPARE(count("select count(*) from accounts_dep.smena"), 40);
        QCOMPARE(count("select count(distinct save_key) from accounts_dep.smena"), 40);
        QCOMPARE(count("select count(*) from accounts_dep.fatigue"), 10);
        // stored in keying order
        QStringList stored;
        for (const QVariantList &r : TestDb::rows("select save_key::text from accounts_dep.smena order by id"))
            stored << r.value(0).toString();
        QCOMPARE(stored, keyed);
        for (int i = 0; i < 10; ++i) {
            const QDate d = kDay.addDays(i);
            QCOMPARE(cell(worker, 1, d), 1);
            QCOMPARE(cell(worker2, 1, d), 1);
            QCOMPARE(cell(worker, 2, d), 1);
            QCOMPARE(cell(worker2, 2, d), 1);
            QCOMPARE(TestDb::scalar(QString("select d%1 from accounts_dep.h_tabel where w_id=%2 and smena=0 and month=3")
                                        .arg(d.day()).arg(worker))
                         .toInt(),
                     2);
        }
        QCOMPARE(count("select count(*) from accounts_dep.audit where action='добавление' and user_name='Мастер М.М.' "
                       "and not outside"),
                 50);
        QCOMPARE(count("select count(*) from accounts_dep.audit where action='из очереди рабочего места' "
                       "and user_name='Мастер М.М.' and (after->>'keyed')::timestamptz <= (after->>'sent')::timestamptz"),
                 50);
        // a second sending has nothing to do
        QCOMPARE(q->send(conn).stored, 0);
    }

    // What the database refuses stays in the queue with its message; the
    // rest goes in. Changed, a refused entry waits again.
    void refusalsKept_data()
    {
        QTest::addColumn<QString>("meanwhile"); // done as the owner before sending
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("allRefused");
        QTest::newRow("closed month") << "insert into accounts_dep.closed_months values (2024, 3)"
                                      << "Месяц март 2024 закрыт: изменения невозможны." << false;
        QTest::newRow("the user switched off") << "update accounts_dep.users set active=false where name='Мастер М.М.'"
                                               << "Войдите в программу" << true;
        QTest::newRow("the operation deleted") << "delete from accounts_dep.norm where o_id in (select id from accounts_dep.oper where naimen=1);"
                                                  "delete from accounts_dep.oper where naimen=1"
                                               << "Операция не найдена" << false;
    }
    void refusalsKept()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, message);
        QFETCH(bool, allRefused);
        auto q = queue(master.id);
        const QDate april(2024, 4, 2);
        QVERIFY(q->add(entry(worker, oper2, 1, kDay, 2, 3)).ok()); // March
        QVERIFY(q->add(entry(worker, oper, 1, april, 2, 3)).ok()); // April
        TestDb::exec(meanwhile);
        const OfflineQueue::Sending s = q->send(conn);
        QVERIFY(!s.lost);
        QCOMPARE(s.refused, allRefused ? 2 : 1);
        QCOMPARE(s.stored, allRefused ? 0 : 1);
        const QList<OfflineQueue::Item> kept = q->items();
        QCOMPARE(kept.size(), allRefused ? 2 : 1);
        QCOMPARE(kept.first().date(), kDay);
        QVERIFY2(kept.first().refusal.contains(message), qPrintable(kept.first().refusal));
        QCOMPARE(q->waiting(), 0);
        // not sent again by itself
        QCOMPARE(q->send(conn).refused, 0);
        // moved to April by the foreman (and the user on again), it goes in
        TestDb::exec("delete from accounts_dep.closed_months; update accounts_dep.users set active=true");
        if (allRefused)
            master = TestDb::signInAs(conn, "masters", "Мастер М.М.");
        Entries::Entry e = kept.first().entry;
        e.date = april.addDays(1);
        e.operation = oper;
        QVERIFY(q->change(kept.first().slot, e).ok());
        QVERIFY(q->item(kept.first().slot).refusal.isEmpty());
        if (allRefused) // the other one unchanged, sent again as it stands
            QVERIFY(q->retry(kept.last().slot).ok());
        const OfflineQueue::Sending again = q->send(conn);
        QCOMPARE(again.stored, allRefused ? 2 : 1);
        QCOMPARE(q->items().size(), 0);
        QCOMPARE(count("select count(*) from accounts_dep.smena"), 2);
    }

    // Two workstations queued the same worker, operation, day and shift:
    // the first sent is stored, the second refused as a duplicate and kept.
    void twoWorkstations()
    {
        QTemporaryDir other;
        auto a = queue(master.id);
        auto b = queue(master.id, other.path());
        QVERIFY(a->add(entry(worker, oper, 1, kDay, 5, 4)).ok());
        QVERIFY(b->add(entry(worker, oper, 1, kDay, 7, 4)).ok());
        QCOMPARE(a->send(conn).stored, 1);
        const OfflineQueue::Sending s = b->send(conn);
        QCOMPARE(s.stored, 0);
        QCOMPARE(s.refused, 1);
        QCOMPARE(b->items().size(), 1);
        QCOMPARE(b->items().first().refusal, QString("Позиция с такими параметрами уже заведена!"));
        QCOMPARE(count("select count(*) from accounts_dep.smena"), 1);
        QCOMPARE(count("select kol_vo from accounts_dep.smena"), 5);
        QCOMPARE(cell(worker, 1, kDay), 4);
    }

    // The reply to the sending is lost on the way: the entries stay in the
    // queue (maybe stored, so they may not be changed), and the next sending
    // stores nothing twice.
    void replyLostHalfway()
    {
        CommitProxy proxy(TestDb::host());
        app.reset();
        useApp(TestDb::startAppAt(proxy.folder()));
        auto q = queue(master.id);
        for (int i = 0; i < 20; ++i)
            QVERIFY(q->add(entry(i % 2 ? worker : worker2, oper, 1, kDay.addDays(i / 2), 1, 2)).ok());
        proxy.dropNextReplyHolding("saved");
        const OfflineQueue::Sending lost = q->send(conn);
        QCOMPARE(proxy.dropped(), 1);
        QVERIFY(lost.lost);
        QCOMPARE(lost.stored, 0);
        QCOMPARE(q->items().size(), 20);
        const int storedMeanwhile = count("select count(*) from accounts_dep.smena");
        QVERIFY(storedMeanwhile > 0);
        const OfflineQueue::Item first = q->items().first();
        QVERIFY(first.interrupted);
        QVERIFY(!q->remove(first.slot).ok());
        QVERIFY(!q->change(first.slot, first.entry).ok());

        const OfflineQueue::Sending s = q->send(conn);
        QVERIFY2(s.text.isEmpty(), qPrintable(s.text));
        QCOMPARE(s.stored, 20);
        QCOMPARE(q->items().size(), 0);
        QCOMPARE(count("select count(*) from accounts_dep.smena"), 20);
        QCOMPARE(count("select count(*) from accounts_dep.audit where action='добавление'"), 20);
        QCOMPARE(count("select count(*) from accounts_dep.audit where action='из очереди рабочего места'"), 20);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(cell(worker, 1, kDay.addDays(i)), 2);
        app.reset();
        useApp(TestDb::startApp());
    }

    // Another user at the same workstation neither sees nor sends the queue;
    // nor does the same user against another database.
    void otherUserLeavesItAlone()
    {
        auto a = queue(master.id);
        QVERIFY(a->add(entry(worker, oper, 1, kDay, 5, 4)).ok());
        const Users::User other = TestDb::signInAs(conn, "masters", "Мастер Б.Б.");
        QVERIFY(other.id != master.id);
        auto b = queue(other.id);
        QCOMPARE(b->items().size(), 0);
        QCOMPARE(b->send(conn).stored, 0);
        QVERIFY(!b->remove(a->items().first().slot).ok());
        OfflineQueue elsewhere("another-server:5432/tabel", master.id, dir->path());
        QCOMPARE(elsewhere.items().size(), 0);
        QCOMPARE(count("select count(*) from accounts_dep.smena"), 0);
        QCOMPARE(a->waiting(), 1);
        // no code is kept on the workstation
        {
            QSqlDatabase file = QSqlDatabase::addDatabase("QSQLITE", "peek");
            file.setDatabaseName(a->path());
            QVERIFY(file.open());
            QSqlQuery cols(file);
            QVERIFY(cols.exec("select name from pragma_table_info('queue')"));
            while (cols.next())
                QVERIFY(!cols.value(0).toString().contains("code"));
        }
        QSqlDatabase::removeDatabase("peek");
        master = TestDb::signInAs(conn, "masters", "Мастер М.М.");
    }
};

TABEL_TEST_MAIN(TestOfflineQueue)
#include "tst_offline_queue.moc"

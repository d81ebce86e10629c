#include "db/Gateway.h"
#include "app/Startup.h"
#include "db/ChangeNotice.h"
#include "db/Dataset.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/StructureUpgrade.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "journal/TForm11.h"
#include "journal/TForm24.h"
#include "journal/TForm25.h"
#include "records/Actor.h"
#include "records/ClosedMonths.h"
#include "records/Entries.h"
#include "records/HousekeepingEntries.h"
#include "records/MonthRebuild.h"
#include "records/Products.h"
#include "support/CommitProxy.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "timesheets/MonthGrid.h"
#include "ui/DigitEdit.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QtTest>

// The writes when several workstations work at once or the network stumbles.
namespace {
const QDate kDay(2024, 3, 5); // a Tuesday
const char *kSecond = "second_workstation";
const int kRounds = 200;

// A connection of its own, as a second workstation's program has.
QString secondConnection()
{
    if (!QSqlDatabase::contains(kSecond)) {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kSecond);
        c.setHostName(TestDb::host());
        c.setDatabaseName(TestDb::databaseName());
        c.setUserName(QStringLiteral("sys"));
        c.setPassword(QStringLiteral("vomtuxa"));
        if (!c.open())
            qFatal("no second connection");
        QSqlQuery q(c);
        q.exec(QStringLiteral("SET DateStyle TO 'ISO, DMY'"));
        q.exec(QStringLiteral("SET lock_timeout = '3s'")); // a wait that would hang fails instead
        TestDb::signInAs(QString::fromLatin1(kSecond), QStringLiteral("administrator"));
    }
    return QString::fromLatin1(kSecond);
}

int cell(int worker, int shift, const QDate &d)
{
    return TestDb::scalar(QString("select d%1 from accounts_dep.h_tabel where w_id=%2 and smena=%3 and month=%4 and year=%5")
                              .arg(d.day()).arg(worker).arg(shift).arg(d.month()).arg(d.year()))
        .toInt();
}

// A helper process of the crossed deletions: each round moves one of its
// entries to the other's worker and month (two worker months locked in one
// transaction) and deletes it (read, lock, delete).
int deleter(int index)
{
    const QString conn = secondConnection();
    const auto rows = TestDb::rows(QString("select id, w_id, o_id, i_id, data from accounts_dep.smena where color=%1 order by id").arg(index));
    const auto other = TestDb::rows(QString("select w_id, data from accounts_dep.smena where color=%1 limit 1").arg(1 - index));
    TestDb::scalar(QStringLiteral("select pg_advisory_lock_shared(4343)")); // the start gate
    for (const QVariantList &r : rows) {
        Entries::Entry e;
        e.id = r[0].toLongLong();
        e.worker = other[0][0].toInt();
        e.operation = r[2].toInt();
        e.item = r[3].toInt();
        e.date = other[0][1].toDate();
        e.hours = 0;
        e.quantity = 1;
        e.colour = index;
        e.key = QUuid::createUuid();
        Outcome o = Entries::save(conn, e);
        if (!o.ok() && o.kind != Outcome::Duplicate) {
            qWarning("move: %s", qPrintable(o.text));
            return 1;
        }
        o = Entries::remove(conn, e.id);
        if (!o.ok()) {
            qWarning("delete: %s", qPrintable(o.text));
            return 2;
        }
    }
    return 0;
}
} // namespace

class TestWriteLayer : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    int worker = 0, worker2 = 0, product = 0, oper = 0, oper2 = 0;

    // The entry editor filled for a new entry of `hours` hours on kDay, shift 1.
    void typeEntry(AppContext &ctx, int w, int o, int hours)
    {
        TDataModule6 *dm = ctx.forms.DataModule6;
        for (int s = 1; s <= 4; ++s)
            dm->smena(s)->setParam("ok", "ta");
        ctx.forms.Form1->DateT->setDate(kDay);
        ctx.forms.Form1->readJournals();
        TForm11 *ed = ctx.forms.Form11;
        ed->prepareAdd();
        ed->setWorker("Петров П.П.", w);
        dm->Oper.close();
        dm->Oper.open();
        QVERIFY(dm->Oper.locate("id", o));
        ed->setOperation(OperationChoice::fromOper(dm->Oper));
        ed->Edit3->setText("5");
        ed->Edit6->setText(QString::number(hours));
    }

private slots:
    void initTestCase() { app = TestDb::startApp(); }
    void init()
    {
        TestDb::clearData();
        worker = Seed::worker("Петров П.П.");
        worker2 = Seed::worker("Сидоров С.С.");
        product = Seed::product("M-1", Seed::group("Корпуса"));
        const int k = Seed::kind("Сборка");
        oper = Seed::operation(product, k, 0, {10.0});
        oper2 = Seed::operation(product, k, 1, {12.0});
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    // While A's duplicate question is shown nothing of A's save is held:
    // B's save for the same worker and month goes through at once.
    void duplicateQuestionHoldsNothing()
    {
        Seed::entry({kDay, 1, worker, product, oper, 5, 0, 10.0, 2});
        typeEntry(*app, worker, oper, 3); // the same keys: a duplicate
        struct Station : ScriptedDialogs {
            int worker = 0, oper = 0, product = 0;
            bool inTransaction = false;
            qint64 waited = -1;
            Outcome other;
            bool show(Dialogs::Kind kind, const QString &caption, const QString &text) override
            {
                inTransaction = DbSession::anyTransaction();
                QElapsedTimer t;
                t.start();
                Entries::Entry e;
                e.worker = worker;
                e.operation = oper;
                e.item = product;
                e.date = kDay.addDays(1);
                e.hours = 4;
                e.key = QUuid::createUuid();
                other = Entries::save(secondConnection(), e);
                waited = t.elapsed();
                return ScriptedDialogs::show(kind, caption, text);
            }
        } station;
        station.worker = worker;
        station.oper = oper2;
        station.product = product;
        QVERIFY(!app->forms.Form11->save());
        QCOMPARE(station.texts(), QStringList{"Позиция с такими параметрами уже заведена!"});
        QVERIFY(!station.inTransaction);
        QVERIFY2(station.other.ok(), qPrintable(station.other.text));
        QVERIFY2(station.waited < 1000, qPrintable(QString::number(station.waited)));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 2);
        QCOMPARE(cell(worker, 1, kDay.addDays(1)), 4);
    }

    // The server session killed between the rebuild's delete and its insert:
    // the month stays as it was, and the user is told it was not rebuilt.
    void reconnectInsideRebuild_data()
    {
        QTest::addColumn<bool>("housekeeping");
        QTest::newRow("shift lines") << false;
        QTest::newRow("housekeeping lines") << true;
    }
    void reconnectInsideRebuild()
    {
        QFETCH(bool, housekeeping);
        Seed::entry({kDay, 1, worker, product, oper, 5, 0, 10.0, 2});
        TestDb::exec(QString("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, price) "
                             "values (7777, %1, 1, '05.03.2024', 3, 2024, 1, 3, 10)").arg(worker));
        // lines as they stood before (not what a rebuild would make)
        TestDb::exec(QString("insert into accounts_dep.h_tabel (w_id, smena, month, year, d5) values (%1, 1, 3, 2024, 7)").arg(worker));
        TestDb::exec(QString("insert into accounts_dep.h_tabel (w_id, smena, i_type, i_night, month, year, d5) "
                             "values (%1, 0, 7777, 0, 3, 2024, 9)").arg(worker));
        const QString before = TestDb::scalar("select string_agg(h::text, '|' order by smena) from accounts_dep.h_tabel h").toString();
        TDataModule6 *dm = app->forms.DataModule6;
        const int pid = Gateway::run(dm->connectionName(), QStringLiteral("select pg_backend_pid() as pid")).valueAt(0, 0).toInt();
        ScriptedDialogs dialogs;
        QPushButton button;
        QProgressBar bar;
        bool killed = false;
        MonthGrid::rebuild(&button, &bar, dm->connectionName(), 3, 2024,
                           [&](const QString &c, int m, int y, const MonthRebuild::Progress &progress) {
                               auto killing = [&](int day) {
                                   if (!killed) {
                                       TestDb::exec(QString("select pg_terminate_backend(%1, 5000)").arg(pid));
                                       killed = true;
                                       // a read meanwhile (as the journal's timer once made) meets
                                       // the loss first; its error ends only that read
                                       try {
                                           Gateway::run(dm->connectionName(), QStringLiteral("select 1 as one")).valueAt(0, 0).toInt();
                                       } catch (const DbError &) {
                                       }
                                   }
                                   progress(day);
                               };
                               if (housekeeping)
                                   MonthRebuild::housekeepingLines(c, m, y, killing);
                               else
                                   MonthRebuild::shiftLines(c, m, y, killing);
                           });
        QVERIFY(killed);
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY2(dialogs.texts().first().startsWith("Табель не перестроен, данные месяца остались прежними."),
                 qPrintable(dialogs.texts().first()));
        QCOMPARE(TestDb::scalar("select string_agg(h::text, '|' order by smena) from accounts_dep.h_tabel h").toString(), before);
        // the connection works again, outside any transaction
        QVERIFY(!DbSession::inTransaction(dm->connectionName()));
        QCOMPARE(Gateway::run(dm->connectionName(), QStringLiteral("select 1 as one")).valueAt(0, 0).toInt(), 1);
    }

    // The reply to COMMIT lost: the server stored the entry, the program
    // cannot know. Pressing the save button again leaves one row, in both editors.
    void lostCommitReply_data()
    {
        QTest::addColumn<bool>("housekeeping");
        QTest::newRow("entry editor") << false;
        QTest::newRow("housekeeping editor") << true;
    }
    void lostCommitReply()
    {
        QFETCH(bool, housekeeping);
        CommitProxy proxy(TestDb::host());
        app.reset(); // one program per process: this one talks through the proxy
        auto ctx = TestDb::startAppAt(proxy.folder());
        ScriptedDialogs dialogs;
        QDialog *ed = nullptr;
        QPushButton *save = nullptr;
        if (housekeeping) {
            TestDb::exec("update accounts_dep.norm set price=100 where o_id=7777");
            TForm25 *list = ctx->forms.Form25;
            list->chooseDate(kDay);
            list->CBox1->setChecked(false);
            list->FormActivate();
            TForm24 *hk = ctx->forms.Form24;
            hk->prepareAdd();
            hk->Edit1->setText("picked");
            hk->id_p = worker;
            hk->Edit2->setText("group");
            hk->id_nom = Seed::group("Рамы");
            hk->setWorkKind(7777);
            hk->Edit6->setText("6");
            ed = hk;
            save = hk->Button1;
        } else {
            typeEntry(*ctx, worker, oper, 6);
            ed = ctx->forms.Form11;
            save = ctx->forms.Form11->Button1;
        }
        bool stayed = false, closed = false;
        DialogDriver::onNextModal([&](QWidget *) {
            proxy.dropNextReplyHolding("saved");
            save->click();
            stayed = ed->isVisible();
            save->click();
            closed = !ed->isVisible();
        });
        ed->exec();
        QCOMPARE(proxy.dropped(), 1);
        QVERIFY(stayed);
        QVERIFY(closed);
        QCOMPARE(dialogs.texts().first(), QString::fromUtf8(DbSession::LostCommitText));
        const QString table = housekeeping ? "fatigue" : "smena";
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep." + table).toInt(), 1);
        const QString hours = housekeeping ? "select d5 from accounts_dep.h_tabel where smena=0"
                                           : "select d5 from accounts_dep.h_tabel where smena=1";
        QCOMPARE(TestDb::scalar(hours).toInt(), 6);
        ctx.reset();
        app = TestDb::startApp();
    }

    // The database checks the signed-in user's role as the windows do,
    // whoever calls its write functions.
    void rolesChecked_data()
    {
        QTest::addColumn<QString>("role"); // empty: nobody signed in
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("nobody: add") << "" << "add" << false;
        QTest::newRow("masters: add") << "masters" << "add" << true;
        QTest::newRow("masters: change") << "masters" << "change" << false;
        QTest::newRow("masters: delete") << "masters" << "delete" << false;
        QTest::newRow("masters: close the entry") << "masters" << "mark" << false;
        QTest::newRow("masters: delete the product") << "masters" << "product" << false;
        QTest::newRow("masters: close the month") << "masters" << "month" << false;
        QTest::newRow("masters: rebuild") << "masters" << "rebuild" << false;
        QTest::newRow("sklad: add") << "sklad" << "add" << false;
        QTest::newRow("sklad: close the entry") << "sklad" << "mark" << true;
        QTest::newRow("sklad: delete") << "sklad" << "delete" << false;
        QTest::newRow("econom: add") << "econom" << "add" << false;
        QTest::newRow("econom: hours of housekeeping") << "econom" << "housekeeping" << true;
        QTest::newRow("administrator: delete") << "administrator" << "delete" << true;
    }
    void rolesChecked()
    {
        QFETCH(QString, role);
        QFETCH(QString, action);
        QFETCH(bool, allowed);
        const int id = Seed::entry({kDay, 1, worker, product, oper, 5, 0, 10.0, 2});
        const QString conn = app->forms.DataModule6->connectionName();
        const QString state = "select (select string_agg(s::text, '|' order by id) from accounts_dep.smena s) || "
                              "(select count(*) from accounts_dep.fatigue)";
        const QString before = TestDb::scalar(state).toString() + TestDb::scalar("select count(*) from accounts_dep.closed_months").toString()
            + TestDb::scalar("select count(*) from cmn_gds_and_srv.gds_and_srv").toString();
        TestDb::signInAs(conn, role, "Иванов И.И.");
        Entries::Entry e;
        e.worker = worker;
        e.operation = oper2;
        e.item = product;
        e.date = kDay;
        e.hours = 3;
        e.key = QUuid::createUuid();
        Outcome o;
        if (action == "add") {
            o = Entries::save(conn, e);
        } else if (action == "change") {
            e.id = id;
            o = Entries::save(conn, e);
        } else if (action == "delete") {
            o = Entries::remove(conn, id);
        } else if (action == "mark") {
            o = Entries::setMark(conn, id, "ok");
        } else if (action == "product") {
            o = Products::remove(conn, {product, true, true, true});
        } else if (action == "housekeeping") {
            HousekeepingEntries::Entry h;
            h.worker = worker;
            h.nomenclature = Seed::group("Рамы");
            h.kind = 7777;
            h.date = kDay;
            h.hours = 2;
            h.key = QUuid::createUuid();
            o = HousekeepingEntries::save(conn, h);
        } else if (action == "month") {
            try {
                ClosedMonths::close(conn, 2024, 3);
            } catch (const DbError &err) {
                o = Outcome::refused(Outcome::Refused, err.text());
            }
        } else if (action == "rebuild") {
            try {
                MonthRebuild::shiftLines(conn, 3, 2024);
            } catch (const DbError &err) {
                o = Outcome::refused(Outcome::Refused, err.text());
            }
        }
        TestDb::signInAs(conn, "administrator");
        const QString after = TestDb::scalar(state).toString() + TestDb::scalar("select count(*) from accounts_dep.closed_months").toString()
            + TestDb::scalar("select count(*) from cmn_gds_and_srv.gds_and_srv").toString();
        TestDb::exec("delete from accounts_dep.closed_months");
        QCOMPARE(o.ok(), allowed);
        if (allowed) {
            QVERIFY(after != before);
            return;
        }
        QCOMPARE(o.kind, Outcome::Refused);
        QCOMPARE(after, before);
        if (role.isEmpty())
            QCOMPARE(o.text, QString("Войдите в программу: без входа запись невозможна."));
        else
            QVERIFY2(o.text.startsWith("Недостаточно прав: пользователь с ролью «"), qPrintable(o.text));
    }

    // The same save key twice (a second press after an unknown outcome):
    // one row, the same id, the day cell not counted twice.
    void sameKeyStoresOnce()
    {
        const QString conn = app->forms.DataModule6->connectionName();
        Entries::Entry e;
        e.worker = worker;
        e.operation = oper;
        e.item = product;
        e.date = kDay;
        e.hours = 6;
        e.key = QUuid::createUuid();
        const Outcome first = Entries::save(conn, e);
        const Outcome second = Entries::save(conn, e);
        QVERIFY2(first.ok() && second.ok(), qPrintable(first.text + second.text));
        QCOMPARE(second.id, first.id);
        HousekeepingEntries::Entry h;
        h.worker = worker;
        h.nomenclature = Seed::group("Рамы");
        h.kind = 7777;
        h.date = kDay;
        h.hours = 3;
        h.key = QUuid::createUuid();
        const Outcome hFirst = HousekeepingEntries::save(conn, h);
        const Outcome hSecond = HousekeepingEntries::save(conn, h);
        QVERIFY2(hFirst.ok() && hSecond.ok(), qPrintable(hFirst.text + hSecond.text));
        QCOMPARE(hSecond.id, hFirst.id);
        QCOMPARE(TestDb::rows("select count(*) from accounts_dep.smena union all select count(*) from accounts_dep.fatigue"),
                 (QList<QVariantList>{{1}, {1}}));
        QCOMPARE(TestDb::rows("select smena, d5 from accounts_dep.h_tabel order by smena"), (QList<QVariantList>{{0, 3}, {1, 6}}));
    }

    // Two processes, each moving its entries onto the other's worker and
    // month and deleting them, 200 rounds: no deadlock, nothing left over.
    void crossedDeletions()
    {
        const QDate april(2024, 4, 9);
        for (int i = 0; i < kRounds; ++i) {
            // without hours: 200 entries on one day stay within a worker's day
            Seed::entry({kDay, 1, worker, product, oper, 1, 0, 1.0, 0, 0});
            Seed::entry({april, 1, worker2, product, oper2, 1, 0, 1.0, 0, 1});
        }
        TestDb::scalar("select pg_advisory_lock(4343)");
        QList<QProcess *> stations;
        for (int i = 0; i < 2; ++i) {
            auto *proc = new QProcess(this);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TABEL_DELETER", QString::number(i));
            env.insert("TABEL_TEST_DATABASE", TestDb::databaseName());
            proc->setProcessEnvironment(env);
            proc->setProcessChannelMode(QProcess::ForwardedChannels);
            proc->start(QCoreApplication::applicationFilePath(), {});
            stations << proc;
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            TestDb::scalar("select count(*) from pg_locks where locktype='advisory' and objid=4343 and not granted").toInt(), 2, 30000);
        TestDb::scalar("select pg_advisory_unlock(4343)");
        for (QProcess *proc : stations) {
            QVERIFY(proc->waitForFinished(240000));
            QCOMPARE(proc->exitStatus(), QProcess::NormalExit);
            QCOMPARE(proc->exitCode(), 0);
        }
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 0);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel where coalesce(d5,0)+coalesce(d9,0) <> 0").toInt(), 0);
    }

    // An entry without a night flag is a day entry for the rebuild and for
    // the day cell a later save keeps: its hours stay.
    void nullNightFlagKeptAfterRebuildAndSave()
    {
        const int group = Seed::group("Рамы");
        TestDb::exec(QString("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, price, "
                             "i_night) values (7777, %1, %2, '05.03.2024', 3, 2024, 1, 3, 10, NULL)").arg(worker).arg(group));
        MonthRebuild::housekeepingLines(app->forms.DataModule6->connectionName(), 3, 2024);
        HousekeepingEntries::Entry e;
        e.worker = worker;
        e.nomenclature = group;
        e.kind = 7777;
        e.date = kDay;
        e.hours = 2;
        e.key = QUuid::createUuid();
        const Outcome o = HousekeepingEntries::save(app->forms.DataModule6->connectionName(), e);
        QVERIFY2(o.ok(), qPrintable(o.text));
        QCOMPARE(TestDb::rows("select i_night, d5 from accounts_dep.h_tabel where smena=0"), (QList<QVariantList>{{0, 5}}));
    }

    // A read after a reconnect comes back exact (decimals as text), as before it.
    void exactAfterReconnect()
    {
        TDataModule6 *dm = app->forms.DataModule6;
        ScriptedDialogs dialogs;
        Gateway::close(dm->connectionName()); // as a connection found lost
        Dataset d(dm->connectionName());
        d.setSql("select 1234.50::numeric as v");
        d.open();
        QCOMPARE(dialogs.texts(), QStringList{QString::fromUtf8(DbSession::ReconnectedText)});
        QCOMPARE(d.asString("v"), QString("1234.50"));
    }

    // Every write tells the other workstations what it changed, once committed.
    void changeNotices()
    {
        QSqlDriver *listener = QSqlDatabase::database(secondConnection()).driver();
        QStringList got;
        auto c = connect(listener, &QSqlDriver::notification, this,
                         [&](const QString &, QSqlDriver::NotificationSource, const QVariant &payload) {
                             ChangeNotice::Change ch;
                             QVERIFY(ChangeNotice::parse(payload.toString(), &ch));
                             got << QString("%1 %2 %3.%4 s%5 w%6")
                                        .arg(ChangeNotice::tableName(ch.table), ch.date.toString("dd.MM"))
                                        .arg(ch.month).arg(ch.year).arg(ch.shift).arg(ch.worker == worker ? "1" : ch.worker == worker2 ? "2" : QString::number(ch.worker));
                         });
        QVERIFY(listener->subscribeToNotification(ChangeNotice::Channel));
        const QString conn = app->forms.DataModule6->connectionName();
        Entries::Entry e;
        e.worker = worker;
        e.operation = oper;
        e.item = product;
        e.date = kDay;
        e.hours = 2;
        e.key = QUuid::createUuid();
        const Outcome added = Entries::save(conn, e);
        QVERIFY(added.ok());
        e.id = added.id;
        e.worker = worker2;
        e.date = kDay.addDays(1);
        e.shift = 2;
        e.key = QUuid::createUuid();
        QVERIFY(Entries::save(conn, e).ok());
        MonthRebuild::shiftLines(conn, 3, 2024);
        QVERIFY(HousekeepingEntries::recalculate(conn, 2024, 3).ok());
        QTRY_COMPARE(got.size(), 5);
        QCOMPARE(got, (QStringList{"entries 05.03 3.2024 s1 w1", "entries 06.03 3.2024 s2 w2", "entries 05.03 3.2024 s1 w1",
                                   "timesheet  3.2024 s0 w0", "housekeeping  3.2024 s0 w0"}));
        listener->unsubscribeFromNotification(ChangeNotice::Channel);
        disconnect(c);
    }

    // An older database gets the save keys and the write functions from the
    // structure upgrade, its rows kept.
    void saveKeysByUpgrade()
    {
        Seed::entry({kDay, 1, worker, product, oper, 5, 0, 10.0, 2});
        TestDb::exec("alter table accounts_dep.smena drop column save_key");
        TestDb::exec("drop function accounts_dep.entry_delete(bigint)");
        runStructureUpgrade(*app->forms.DataModule6);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena where save_key is null").toInt(), 1);
        QVERIFY(!TestDb::scalar("select to_regprocedure('accounts_dep.entry_delete(bigint)')").isNull());
        const QString key = QUuid::createUuid().toString(QUuid::WithoutBraces);
        TestDb::exec("update accounts_dep.smena set save_key='" + key + "'");
        QVERIFY_THROWS_EXCEPTION(std::exception, [&] {
            QSqlQuery q(QSqlDatabase::database(secondConnection()));
            if (!q.exec(QString("insert into accounts_dep.smena (w_id, save_key) values (1, '%1')").arg(key)))
                throw std::runtime_error("refused");
        }());
    }
};

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    signInAsAdministrator();
    if (qEnvironmentVariableIsSet("TABEL_DELETER")) {
        TestDb::ensureDatabase();
        return deleter(qEnvironmentVariableIntValue("TABEL_DELETER"));
    }
    TestWriteLayer tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_write_layer.moc"

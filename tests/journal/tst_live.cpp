#include "db/Gateway.h"
#include "app/Application.h"
#include "app/Startup.h"
#include "db/ChangeListener.h"
#include "db/ChangeNotice.h"
#include "db/DbSession.h"
#include "db/TDataModule6.h"
#include "catalogues/TForm5.h"
#include "catalogues/TForm9.h"
#include "journal/TForm1.h"
#include "records/Entries.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/LiveRefresh.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QSqlDriver>
#include <QProcess>
#include <QSqlQuery>
#include <QTableView>
#include <QTextStream>
#include <QThread>
#include <QtTest>

// Workstation A is this process with its journal open; workstation B is a
// process of its own on its own connection, told what to write line by line
// on its standard input. It answers "done <id>" after each commit.
namespace {
const QDate kDay(2024, 3, 5);
const char *const kB = "testdb_sys"; // the test support's own connection as the program's login

int workstationB()
{
    TestDb::sysScalar(QStringLiteral("select 1")); // opens the connection
    TestDb::signInAs(QString::fromLatin1(kB), QStringLiteral("administrator"));
    const int product = TestDb::scalar("select min(id) from accounts_dep.izdel").toInt();
    const int oper = TestDb::scalar("select min(id) from accounts_dep.oper where id not in (7777, 7778)").toInt();
    QTextStream in(stdin), out(stdout);
    QString line;
    int colour = 100; // each save its own entry, never a duplicate of the one before
    while (in.readLineInto(&line)) {
        const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (w.isEmpty() || w[0] == QLatin1String("quit"))
            break;
        qint64 id = 0;
        if (w[0] == QLatin1String("save")) { // save <worker> <yyyy-mm-dd> <shift>
            Entries::Entry e;
            e.worker = w[1].toInt();
            e.date = QDate::fromString(w[2], Qt::ISODate);
            e.shift = w[3].toInt();
            e.item = product;
            e.operation = oper;
            e.quantity = 5;
            e.hours = 0; // many entries of one worker and day: the day holds 24 hours at most
            e.colour = ++colour;
            e.key = QUuid::createUuid();
            const Outcome o = Entries::save(kB, e);
            if (!o.ok()) {
                qWarning("B: %s", qPrintable(o.text));
                return 2;
            }
            id = o.id ? o.id : TestDb::scalar(QStringLiteral("select max(id) from accounts_dep.smena")).toLongLong();
        } else if (w[0] == QLatin1String("delete")) {
            id = w[1].toLongLong();
            if (!Entries::remove(kB, id).ok())
                return 3;
        } else if (w[0] == QLatin1String("mark")) {
            id = w[1].toLongLong();
            if (!Entries::setMark(kB, id, QStringLiteral("ok")).ok())
                return 4;
        } else if (w[0] == QLatin1String("burst")) { // burst <n> <yyyy-mm-dd> <shift> [<ms apart>]: n commits, one notice each
            for (int i = 0; i < w[1].toInt(); ++i) {
                if (i && w.size() > 4)
                    QThread::msleep(w[4].toInt());
                DbSession::begin(kB);
                ChangeNotice::Change c;
                c.date = QDate::fromString(w[2], Qt::ISODate);
                c.shift = w[3].toInt();
                c.worker = i + 1;
                ChangeNotice::send(kB, c);
                DbSession::commit(kB);
            }
        }
        out << "done " << id << Qt::endl;
    }
    return 0;
}
} // namespace

class TestLive : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> ctx;
    TForm1 *journal = nullptr;
    QProcess *b = nullptr;
    int w1 = 0, w2 = 0;
    QList<int> ids; // the seeded entries of A's day and shift, in the journal's order

    // Sends one command to B and waits for its commit; returns the id it names.
    qint64 tell(const QString &command, QElapsedTimer *committed = nullptr)
    {
        b->write(command.toUtf8() + '\n');
        b->waitForBytesWritten();
        QElapsedTimer waited;
        waited.start();
        while (!b->canReadLine()) { // A keeps hearing notices meanwhile
            if (waited.elapsed() > 20000)
                return -1;
            QTest::qWait(2);
        }
        if (committed)
            committed->start();
        const QString answer = QString::fromUtf8(b->readLine()).trimmed();
        return answer.section(QLatin1Char(' '), 1).toLongLong();
    }
    Dataset *shown() const { return journal->journal(); }
    QList<qint64> shownIds() const
    {
        QList<qint64> r;
        for (int i = 0; i < shown()->recordCount(); ++i)
            r << shown()->valueAt(i, "id").toLongLong();
        return r;
    }
    qint64 currentId() const { return shown()->value("id").toLongLong(); }

private slots:
    void initTestCase()
    {
        TestDb::clearData();
        w1 = Seed::worker("Агеев А.А.");
        w2 = Seed::worker("Борисов Б.Б.");
        const int p = Seed::product("M-1", Seed::group("Корпуса"));
        const int k = Seed::kind("Сборка");
        const int op = Seed::operation(p, k, 0, {1.0});
        for (int i = 0; i < 6; ++i)
            ids << Seed::entry({kDay, 1, i % 2 ? w2 : w1, p, op, 10 + i});

        ctx = TestDb::startApp();
        journal = ctx->forms.Form1;
        for (int s = 1; s <= 4; ++s)
            ctx->forms.DataModule6->smena(s)->setParam("ok", "ta");
        journal->show();
        journal->chooseDay(kDay);
        QVERIFY(ctx->forms.DataModule6->Changes && ctx->forms.DataModule6->Changes->listening());
        QCOMPARE(shown()->recordCount(), 6);
        {
            QSignalSpy heard(ctx->forms.DataModule6->Changes, &ChangeListener::changed);
            TestDb::exec(QStringLiteral("select pg_notify('tabel_changes', '{\"t\":\"kinds\"}')"));
            QTRY_COMPARE(heard.count(), 1);
        }

        b = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TABEL_LIVE_B", "1");
        env.insert("TABEL_TEST_DATABASE", TestDb::databaseName());
        b->setProcessEnvironment(env);
        b->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        b->setReadChannel(QProcess::StandardOutput);
        b->start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(b->waitForStarted());
    }

    void cleanupTestCase()
    {
        if (b) {
            b->write("quit\n");
            QVERIFY(b->waitForFinished(20000));
            QCOMPARE(b->exitCode(), 0);
        }
        ctx.reset();
    }

    // What B saves, marks or deletes on A's day and shift is in A's journal
    // within a second; A's current row stays, or its neighbour when it goes.
    void otherWorkstationsWritesAppear()
    {
        const qint64 kept = shownIds().at(3);
        QVERIFY(shown()->locate("id", kept));
        QElapsedTimer t;

        const qint64 added = tell(QStringLiteral("save %1 %2 1").arg(w1).arg(kDay.toString(Qt::ISODate)), &t);
        QVERIFY(added > 0);
        QTRY_VERIFY_WITH_TIMEOUT(shownIds().contains(added), 1000);
        QCOMPARE(currentId(), kept);

        tell(QStringLiteral("mark %1").arg(kept), &t);
        QTRY_COMPARE_WITH_TIMEOUT(shown()->asString("ok"), QStringLiteral("ok"), 1000);
        QCOMPARE(currentId(), kept);

        const qint64 other = shownIds().first() == kept ? shownIds().last() : shownIds().first();
        tell(QStringLiteral("delete %1").arg(other), &t);
        QTRY_VERIFY_WITH_TIMEOUT(!shownIds().contains(other), 1000);
        QCOMPARE(currentId(), kept);

        // the current row itself goes: its neighbour takes its place
        const int at = shown()->recNo();
        const int before = shown()->recordCount();
        tell(QStringLiteral("delete %1").arg(kept), &t);
        QTRY_COMPARE_WITH_TIMEOUT(shown()->recordCount(), before - 1, 1000);
        QCOMPARE(shown()->recNo(), qMin(at, before - 1));
        QCOMPARE(journal->DBGrid2->currentIndex().row(), shown()->recNo() - 1);
    }

    // Another day or another shift: the journal is not read again.
    void otherDayOrShiftIsLeftAlone()
    {
        QTest::qWait(700); // past the last re-read's interval
        const int rereads = journal->live->rereads();
        tell(QStringLiteral("save %1 %2 2").arg(w2).arg(kDay.toString(Qt::ISODate)));
        tell(QStringLiteral("save %1 %2 1").arg(w2).arg(kDay.addDays(1).toString(Qt::ISODate)));
        QTest::qWait(800);
        QCOMPARE(journal->live->rereads(), rereads);
        QVERIFY(!journal->live->pending());

        // the other shift of the day is read when it is chosen
        const int inShift2 = TestDb::scalar(QStringLiteral("select count(*) from accounts_dep.smena where smena=2 and data='%1'")
                                                .arg(kDay.toString(Qt::ISODate))).toInt();
        journal->setShift(2);
        QCOMPARE(shown()->recordCount(), inShift2);
        journal->setShift(1);
    }

    // 100 commits spread over about a second: no more than two re-reads in
    // any second.
    void burstIsCoalesced()
    {
        QTest::qWait(700);
        QList<qint64> at;
        QElapsedTimer t;
        t.start();
        auto conn = connect(journal->live, &LiveRefresh::reread, this, [&]() { at << t.elapsed(); });
        tell(QStringLiteral("burst 100 %1 1 9").arg(kDay.toString(Qt::ISODate)));
        QTest::qWait(1200);
        disconnect(conn);
        QVERIFY(!at.isEmpty());
        for (int i = 2; i < at.size(); ++i)
            QVERIFY2(at[i] - at[i - 2] >= 1000, qPrintable(QStringLiteral("re-reads at %1 ms").arg(
                                                    [&] { QStringList l; for (qint64 v : at) l << QString::number(v); return l.join(", "); }())));
        QVERIFY(!journal->live->pending());
    }

    // An editor open over the journal holds the re-read until it closes.
    void noRereadUnderAnEditor()
    {
        QTest::qWait(700);
        QDialog editor(journal);
        editor.setModal(true);
        editor.show();
        QTRY_COMPARE(QApplication::activeModalWidget(), &editor);
        const int rereads = journal->live->rereads();
        const qint64 added = tell(QStringLiteral("save %1 %2 1").arg(w2).arg(kDay.toString(Qt::ISODate)));
        QTest::qWait(800);
        QCOMPARE(journal->live->rereads(), rereads);
        QVERIFY(!shownIds().contains(added));
        editor.close();
        QTRY_VERIFY_WITH_TIMEOUT(shownIds().contains(added), 1000);
        QCOMPARE(journal->live->rereads(), rereads + 1);
    }

    // A's connection is cut (as by a server restart): the idle check finds
    // it, listens again and reads once, and a save made afterwards arrives.
    void afterAReconnect()
    {
        ScriptedDialogs dialogs;
        ChangeListener *l = ctx->forms.DataModule6->Changes;
        l->setProbeInterval(200);
        const int pid = Gateway::backendPid(QString::fromLatin1(TDataModule6::ConnectionName));
        QVERIFY(pid != 0);
        TestDb::adminExec(QStringLiteral("select pg_terminate_backend(%1)").arg(pid));
        QSignalSpy reconnected(l, &ChangeListener::reconnected);
        QTRY_COMPARE_WITH_TIMEOUT(reconnected.count(), 1, 3000);
        QVERIFY(l->listening());
        const qint64 added = tell(QStringLiteral("save %1 %2 1").arg(w1).arg(kDay.toString(Qt::ISODate)));
        QTRY_VERIFY_WITH_TIMEOUT(shownIds().contains(added), 1000);
        QVERIFY(dialogs.shown.isEmpty()); // nothing of the user's was lost: nothing to tell
        l->setProbeInterval(3000);
    }

    // A catalogue write tells the others; a catalogue list shown elsewhere
    // reads its table again and keeps its search filter.
    void catalogues()
    {
        TestDb::sysScalar(QStringLiteral("select 1")); // opens the connection
        QSqlDriver *other = QSqlDatabase::database(kB).driver();
        QVERIFY(other->subscribeToNotification(QString::fromLatin1(ChangeNotice::Channel)));
        QSignalSpy heard(other, &QSqlDriver::notification);
        TForm9 *kind = ctx->forms.Form9;
        kind->Tag = 1;
        kind->Edit1->setText(QStringLiteral("Покраска"));
        // the catalogues are the administrator's
        TestDb::signInAs(ctx->forms.DataModule6->connectionName(), QStringLiteral("administrator"));
        const bool saved = kind->save();
        QVERIFY(saved);
        QTRY_VERIFY(!heard.isEmpty());
        ChangeNotice::Change c;
        QVERIFY(ChangeNotice::parse(heard.first().at(2).toString(), &c));
        QCOMPARE(c.table, ChangeNotice::Table::Kinds);
        other->unsubscribeFromNotification(QString::fromLatin1(ChangeNotice::Channel));

        TForm5 *workers = ctx->forms.Form5;
        Dataset &ds = ctx->forms.DataModule6->Workers;
        ds.open();
        workers->show();
        workers->search(QStringLiteral("аг"));
        QCOMPARE(ds.recordCount(), 1);
        TestDb::exec(QStringLiteral("insert into accounts_dep.person (fio) values ('Агафонов В.В.'), ('Васильев В.В.'); "
                                    "select pg_notify('tabel_changes', '{\"t\":\"workers\"}')"));
        QTRY_COMPARE_WITH_TIMEOUT(ds.recordCount(), 2, 1000);
        workers->hide();
    }

    // A re-read that fails keeps the rows and says so once.
    void failedRereadKeepsRows()
    {
        ScriptedDialogs dialogs;
        QTest::qWait(700);
        const QList<qint64> before = shownIds();
        Dataset *ds = shown();
        const QStringList sql = ds->sql;
        ds->sql = QStringList{QStringLiteral("select * from no_such_table where 1=:ok")};
        for (int i = 0; i < 3; ++i) {
            tell(QStringLiteral("burst 1 %1 1").arg(kDay.toString(Qt::ISODate)));
            QTest::qWait(700);
        }
        ds->sql = sql;
        QCOMPARE(shownIds(), before);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Error);
    }
};

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    signInAsAdministrator();
    if (qEnvironmentVariableIsSet("TABEL_LIVE_B"))
        return workstationB();
    TestLive tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_live.moc"

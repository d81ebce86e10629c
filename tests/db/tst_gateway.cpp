#include <QSqlDatabase>
#include "app/Startup.h"
#include "db/Dataset.h"
#include "db/DbSession.h"
#include "db/Gateway.h"
#include "db/Sql.h"
#include "db/TDataModule6.h"
#include "db/Transaction.h"
#include "journal/TForm1.h"
#include "records/Entries.h"
#include "timesheets/TForm19.h"
#include "timesheets/TForm27.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QDateEdit>
#include <QScopeGuard>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QtTest>

namespace {
const QDate kDay(2024, 3, 5);
const QString kConn = QString::fromLatin1(TDataModule6::ConnectionName);

// Round trips and statements prepared while `step` runs
struct Cost {
    quint64 trips, prepares;
};
template <class F> Cost cost(F step)
{
    const quint64 t = Gateway::roundTrips(), p = Gateway::prepares();
    step();
    return {Gateway::roundTrips() - t, Gateway::prepares() - p};
}
} // namespace

// The road every statement travels: parameters, prepared statements, round
// trips, a lost connection.
class TestGateway : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TDataModule6 *dm = nullptr;

    void terminateProgramsBackend()
    {
        const int pid = Gateway::run(kConn, "select pg_backend_pid()").valueAt(0, 0).toInt();
        TestDb::exec(QString("select pg_terminate_backend(%1, 5000)").arg(pid));
    }

private slots:
    void initTestCase()
    {
        TestDb::letSysWrite({"vid_oper"}); // the statements' road is under test here, not the rights
        app = TestDb::startApp();
        dm = app->forms.DataModule6;
    }
    void init() { TestDb::clearData(); }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    // "?" becomes "$n" only where it is code.
    void placeholders_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sent");
        QTest::addRow("plain") << "select ? where a = ?" << "select $1 where a = $2";
        QTest::addRow("in a literal") << "select '?', ? " << "select '?', $1 ";
        QTest::addRow("doubled quote") << "select 'it''s ?', ?" << "select 'it''s ?', $1";
        QTest::addRow("escape literal") << "select E'\\' ?', ?" << "select E'\\' ?', $1";
        QTest::addRow("quoted name") << "select 1 as \"a?\", ?" << "select 1 as \"a?\", $1";
        QTest::addRow("comment") << "select ? -- why?\n, ?" << "select $1 -- why?\n, $2";
        QTest::addRow("block comment") << "select /* ? */ ?" << "select /* ? */ $1";
        QTest::addRow("dollar quote") << "select $$ ? $$, $f$ it's ? $f$, ?" << "select $$ ? $$, $f$ it's ? $f$, $1";
        QTest::addRow("cast") << "select ?::numeric" << "select $1::numeric";
        QTest::addRow("numbered already") << "select $1, $2" << "select $1, $2";
    }
    void placeholders()
    {
        QFETCH(QString, text);
        QFETCH(QString, sent);
        QCOMPARE(Gateway::numbered(text), sent);
    }

    // Named parameters of a dataset skip what quoting hides too.
    void namedParameters()
    {
        QVariantList values;
        const QString text = Sql::positional("select :a, ':b', $q$ :c $q$, x::date, :d from t", {{"a", 1}, {"d", 2}}, &values);
        QCOMPARE(text, QString("select ?, ':b', $q$ :c $q$, x::date, ? from t"));
        QCOMPARE(values, (QVariantList{1, 2}));
    }

    // A statement with parameters costs one round trip every time: prepared
    // in the same trip the first time, only executed afterwards.
    void oneRoundTripPerStatement()
    {
        const QString text = "select count(*) from accounts_dep.smena where data = ? and smena = ?";
        for (int run = 1; run <= 10; ++run) {
            const Cost c = cost([&] { Gateway::run(kConn, text, {kDay, run % 4 + 1}); });
            QCOMPARE(c.trips, quint64(1));
            QCOMPARE(c.prepares, quint64(run == 1 ? 1 : 0));
        }
        // statements sent together share one trip
        const Cost together = cost([&] {
            const QList<Rows> r = Gateway::runTogether(kConn, {{text, {kDay, 1}}, {"select ?::int + 1", {41}}, {text, {kDay, 2}}});
            QCOMPARE(r.size(), 3);
            QCOMPARE(r.at(1).valueAt(0, 0).toInt(), 42);
        });
        QCOMPARE(together.trips, quint64(1));
    }

    // The first failure of statements sent together is reported, and the
    // connection goes on working afterwards.
    void failureAmongStatementsSentTogether()
    {
        try {
            Gateway::runTogether(kConn, {{"select 1", {}}, {"select 1/0", {}}, {"select 2", {}}});
            QFAIL("no error");
        } catch (const DbError &e) {
            QVERIFY2(e.text().contains("division by zero") || e.text().contains("деление на ноль"), qPrintable(e.text()));
        }
        try {
            Gateway::run(kConn, "select nonsense from");
            QFAIL("no error");
        } catch (const DbError &e) {
            QVERIFY(!e.text().isEmpty());
        }
        QCOMPARE(Gateway::run(kConn, "select ?::int * 2", {21}).valueAt(0, 0).toInt(), 42);
    }

    // A text of several statements goes as it stands.
    void severalStatementsInOneText()
    {
        const Cost c = cost([&] { Gateway::run(kConn, "set application_name = 'a'; set application_name = 'tabel'"); });
        QCOMPARE(c.trips, quint64(1));
        QCOMPARE(Gateway::run(kConn, "select current_setting('application_name')").valueAt(0, 0).toString(), QString("tabel"));
    }

    // Every value arrives as it was typed, whatever the server's quoting rules.
    void valuesArriveAsTyped_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addRow("apostrophe") << QString::fromUtf8("О'Нил");
        QTest::addRow("backslash") << QString("C:\\temp\\ \\' x");
        QTest::addRow("injection") << QString("'); drop table accounts_dep.vid_oper; --");
        QTest::addRow("dollar quote") << QString("$$; select 1; $$");
        QTest::addRow("question mark") << QString("что? где?");
    }
    void valuesArriveAsTyped()
    {
        QFETCH(QString, value);
        Gateway::run(kConn, "set standard_conforming_strings to off");
        const auto restore = qScopeGuard([] { Gateway::run(kConn, "set standard_conforming_strings to on"); });
        Gateway::run(kConn, "insert into accounts_dep.vid_oper (vid) values (?)", {value}, Gateway::Retry::Never);
        QCOMPARE(TestDb::scalar("select rtrim(vid) from accounts_dep.vid_oper where id > 0 and id not in (7777, 7778) "
                                "order by id desc limit 1").toString(),
                 value);
        Dataset d(kConn);
        d.setSql("select count(*) as n from accounts_dep.vid_oper where vid = :v");
        d.setParam("v", value);
        d.open();
        QCOMPARE(d.asInt("n"), 1);
    }

    // The guard against statements built from typed text: a value spliced
    // into a literal is refused and recorded; the same value as a parameter
    // passes.
    void typedTextNeverSpliced()
    {
        const QString typed = QString::fromUtf8("О'Нил");
        Gateway::guardTyped({typed});
        const auto off = qScopeGuard([] { Gateway::guardTyped({}); });
        Dataset d(kConn);
        d.setSql("select count(*) as n from accounts_dep.person where fio = :f");
        d.setParam("f", typed);
        d.open(); // as a parameter
        QVERIFY(Gateway::splicedStatements().isEmpty());
        const QStringList spliced{
            d.boundText(),                                             // 'О''Нил'
            "select E'" + QString::fromUtf8("О\\'Нил") + "'",          // E'О\'Нил'
            "select $$" + typed + "$$",                                // $$О'Нил$$
            "select 'x" + QString(typed).replace("'", "''") + "x'",   // inside a longer text
        };
        for (const QString &text : spliced) {
            QVERIFY_THROWS_EXCEPTION(DbError, Gateway::run(kConn, text));
            QCOMPARE(Gateway::splicedStatements().last(), text);
        }
    }

    // The rows read as Qt's driver reads them: the same types and values, so
    // grids, reports and exact decimals do not change.
    void valuesReadAsQtReadsThem()
    {
        const QString text = "select 1::int2 a, 2::int4 b, 3000000000::int8 c, 12.3450::numeric d, 0.1::float8 e, "
                             "'т'::text f, 'x'::varchar(5) g, true h, false i, '2024-03-05'::date j, "
                             "'2024-03-05 10:11:12.5'::timestamp k, '10:11:12'::time l, null::numeric m, null::date n, "
                             "null::text o, 7::oid p, '\\x01ff'::bytea q, '2024-03-05 10:11:12+03'::timestamptz r";
        // Qt's PostgreSQL driver on a connection of its own, as the reference
        QSqlDatabase qt = QSqlDatabase::addDatabase("QPSQL", "qt_reference");
        qt.setHostName(TestDb::host());
        qt.setDatabaseName(TestDb::databaseName());
        qt.setUserName("sys");
        qt.setPassword("vomtuxa");
        QVERIFY(qt.open());
        auto dropQt = qScopeGuard([] { QSqlDatabase::removeDatabase("qt_reference"); });
        QSqlQuery q(qt);
        QVERIFY(q.exec("SET DateStyle TO 'ISO, DMY'"));
        q.setForwardOnly(true);
        q.setNumericalPrecisionPolicy(QSql::HighPrecision);
        QVERIFY(q.exec(text));
        QVERIFY(q.next());
        Rows r = Gateway::run(kConn, text);
        QVERIFY(r.next());
        const QSqlRecord rec = q.record();
        QCOMPARE(r.columnCount(), rec.count());
        for (int i = 0; i < rec.count(); ++i) {
            const QString col = rec.fieldName(i);
            QCOMPARE(r.columnName(i), col);
            QVERIFY2(r.columnType(i) == rec.field(i).metaType(), qPrintable(col));
            const QVariant want = q.value(i), got = r.value(i);
            QVERIFY2(got.metaType() == want.metaType(), qPrintable(col + ": " + got.metaType().name() + " / " + want.metaType().name()));
            QVERIFY2(got.isNull() == want.isNull(), qPrintable(col));
            QVERIFY2(got == want, qPrintable(col + ": " + got.toString() + " / " + want.toString()));
        }
        q.finish();
        q = QSqlQuery();
        qt.close();
        qt = QSqlDatabase();
    }

    // After the server ended the session, the next statement prepares again
    // on the new one and succeeds.
    void preparedAgainAfterReconnect()
    {
        ScriptedDialogs dialogs;
        const QString text = "select ?::int + 1 as n";
        QCOMPARE(Gateway::run(kConn, text, {1}).valueAt(0, 0).toInt(), 2);
        const quint64 generation = DbSession::generation(kConn);
        terminateProgramsBackend();
        const Cost c = cost([&] { QCOMPARE(Gateway::run(kConn, text, {2}).valueAt(0, 0).toInt(), 3); });
        QCOMPARE(c.prepares, quint64(2)); // the statement, and the sign-in's tie of the new session
        QCOMPARE(DbSession::generation(kConn), generation + 1);
        QCOMPARE(dialogs.texts(), QStringList{QString::fromUtf8(DbSession::ReconnectedText)});
        // and stays prepared there
        QCOMPARE(cost([&] { Gateway::run(kConn, text, {3}); }).prepares, quint64(0));
    }

    // Inside a transaction the loss is a broken transaction: the statement
    // fails, nothing of it runs on the new connection, the commit fails.
    void lossInsideTransaction()
    {
        ScriptedDialogs dialogs;
        Transaction tx(kConn);
        Gateway::run(kConn, "insert into accounts_dep.vid_oper (vid) values (?)", {"до"}, Gateway::Retry::Never);
        terminateProgramsBackend();
        try {
            Gateway::run(kConn, "insert into accounts_dep.vid_oper (vid) values (?)", {"после"}, Gateway::Retry::Never);
            QFAIL("no error");
        } catch (const DbSession::ConnectionLost &e) {
            QCOMPARE(e.text(), QString::fromUtf8(DbSession::LostWriteText));
            QVERIFY(!e.unknownOutcome());
        }
        QVERIFY_THROWS_EXCEPTION(DbSession::ConnectionLost, Gateway::run(kConn, "select 1"));
        QVERIFY_THROWS_EXCEPTION(DbSession::ConnectionLost, tx.commit());
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.vid_oper where vid in ('до', 'после')").toInt(), 0);
        QVERIFY(!DbSession::inTransaction(kConn));
        // the next action works on the new connection
        QCOMPARE(Gateway::run(kConn, "select 5").valueAt(0, 0).toInt(), 5);
    }

    // A write sent on its own whose reply never came may have been stored:
    // it is reported as an unknown outcome, never run again.
    void lostWriteOutsideTransactionIsUnknown()
    {
        ScriptedDialogs dialogs;
        try {
            Gateway::run(kConn, "select pg_terminate_backend(pg_backend_pid())", {}, Gateway::Retry::Never);
            QFAIL("no error");
        } catch (const DbSession::ConnectionLost &e) {
            QVERIFY(e.unknownOutcome());
            QCOMPARE(e.text(), QString::fromUtf8(DbSession::LostCommitText));
        }
        QCOMPARE(Gateway::run(kConn, "select 6").valueAt(0, 0).toInt(), 6);
    }

    // A reply lost while no server takes the connection again (the primary
    // died, its standby not yet promoted): a write is still an unknown
    // outcome, told as one whose server does not answer yet; a read, and a
    // commit whose session was seen ended before it went, fail plainly. Once a server answers, the next action works.
    void lossWhileNoServerAnswers_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("unknown");
        QTest::newRow("write on its own") << "write" << true;
        // the end of the session is read before the commit goes: known, not stored
        QTest::newRow("commit found lost before it is sent") << "commit" << false;
        QTest::newRow("read") << "read" << false;
    }
    void lossWhileNoServerAnswers()
    {
        QFETCH(QString, step);
        QFETCH(bool, unknown);
        ScriptedDialogs dialogs;
        bool serverDown = true;
        TDataModule6 *d = dm;
        DbSession::setReopen(kConn, [&serverDown, d] {
            if (serverDown)
                throw DbError("could not connect to server");
            d->openConnection();
        });
        auto restore = qScopeGuard([d] { DbSession::setReopen(kConn, [d] { d->openConnection(); }); });
        const QString suicide = "select pg_terminate_backend(pg_backend_pid())";
        try {
            if (step == "write") {
                Gateway::run(kConn, suicide, {}, Gateway::Retry::Never);
            } else if (step == "read") {
                Gateway::run(kConn, suicide, {}, Gateway::Retry::Read);
            } else {
                Transaction tx(kConn);
                Gateway::run(kConn, "insert into accounts_dep.vid_oper (vid) values (?)", {"до"}, Gateway::Retry::Never);
                terminateProgramsBackend();
                tx.commit();
            }
            QFAIL("no error");
        } catch (const DbSession::ConnectionLost &e) {
            QVERIFY2(unknown, qPrintable(e.text()));
            QVERIFY(e.unknownOutcome());
            QCOMPARE(e.text(), QString::fromUtf8(DbSession::LostCommitOfflineText));
        } catch (const DbError &e) {
            QVERIFY2(!unknown, qPrintable(e.text()));
        }
        QVERIFY(!DbSession::inTransaction(kConn));
        serverDown = false;
        QCOMPARE(Gateway::run(kConn, "select 7").valueAt(0, 0).toInt(), 7);
    }

    // Opening the journal's day (four shifts) and the timesheets take at
    // most two round trips.
    void windowsReadInFewTrips()
    {
        const int w = Seed::worker("Петров П.П.");
        const int p = Seed::product("M-1", Seed::group("Корпуса"));
        const int o = Seed::operation(p, Seed::kind("Сборка"), 0, {10.0});
        for (int s = 1; s <= 4; ++s)
            Seed::entry({kDay, s, w, p, o});
        TForm1 *journal = app->forms.Form1;
        for (int s = 1; s <= 4; ++s)
            dm->smena(s)->setParam("ok", "ta");
        journal->DateT->setDate(kDay.addDays(-1));
        journal->readJournals();
        const Cost day = cost([&] { journal->chooseDay(kDay); });
        QVERIFY2(day.trips <= 2, qPrintable(QString::number(day.trips)));
        for (int s = 1; s <= 4; ++s)
            QCOMPARE(dm->smena(s)->recordCount(), 1);

        const Cost piecework = cost([&] { app->forms.Form27->prepare(9, kDay); });
        QVERIFY2(piecework.trips <= 2, qPrintable(QString::number(piecework.trips)));
        const Cost shifts = cost([&] { app->forms.Form19->prepare(kDay); });
        QVERIFY2(shifts.trips <= 2, qPrintable(QString::number(shifts.trips)));
    }

    // The entry save costs no more trips the 10th time than the 2nd: nothing
    // is prepared again.
    void savesPrepareOnce()
    {
        const int w = Seed::worker("Петров П.П.");
        const int p = Seed::product("M-1", Seed::group("Корпуса"));
        const int o = Seed::operation(p, Seed::kind("Сборка"), 0, {10.0});
        QList<Cost> costs;
        for (int i = 1; i <= 10; ++i) {
            Entries::Entry e;
            e.worker = w;
            e.item = p;
            e.operation = o;
            e.quantity = 1;
            e.hours = 1;
            e.colour = i; // each an entry of its own
            e.date = kDay;
            e.key = QUuid::createUuid();
            costs << cost([&] { QVERIFY(Entries::save(kConn, e).ok()); });
        }
        // the 2nd save updates the day cell the 1st one made: its own statements
        QCOMPARE(costs.at(9).trips, costs.at(1).trips);
        QVERIFY(costs.at(1).trips <= costs.at(0).trips);
        QCOMPARE(costs.at(9).prepares, quint64(0));
    }
};

TABEL_TEST_MAIN(TestGateway)
#include "tst_gateway.moc"

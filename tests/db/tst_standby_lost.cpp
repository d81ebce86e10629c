#include "app/Application.h"
#include "app/Startup.h"
#include "db/DbSession.h"
#include "db/Gateway.h"
#include "db/TDataModule6.h"
#include "records/Entries.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/RunUnder.h"
#include "support/TestDb.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QtTest>

#include <unistd.h>

// The primary and its one synchronous standby, the standby stopped hard:
// every commit on the primary would wait for it for ever. The save ends
// within its limit with an unknown outcome, and pressing it again once the
// standby is back stores the entry once.
namespace {
const int kStatementMs = 3000;

bool pgCtl(const QStringList &args)
{
    QStringList cmd = qEnvironmentVariable("TABEL_PG_RUNAS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    cmd << qEnvironmentVariable("TABEL_PGBIN") + QStringLiteral("/pg_ctl");
    cmd << args;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(cmd.takeFirst(), cmd);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The first column of the first row, as the superuser on a server of the pair.
QVariant scalarOn(const QString &host, const QString &sql)
{
    QVariant v;
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pair_admin"));
        c.setHostName(host);
        c.setDatabaseName(TestDb::databaseName());
        c.setUserName(QStringLiteral("postgres"));
        if (c.open()) {
            QSqlQuery q(c);
            if (q.exec(sql) && q.next())
                v = q.value(0);
        }
        c.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("pair_admin"));
    return v;
}

template <class F> bool waitFor(F done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(100);
    }
    return true;
}
} // namespace

class TestStandbyLost : public QObject {
    Q_OBJECT
    ScriptedDialogs dialogs;
    std::unique_ptr<AppContext> app;
    QString conn;
    int worker = 0, product = 0, operation = 0;

private slots:
    void initTestCase()
    {
        TestDb::ensureDatabase();
        worker = Seed::worker(QStringLiteral("Рабочий 1"));
        product = Seed::product(QStringLiteral("К-1"), Seed::group(QStringLiteral("Корпуса")));
        operation = Seed::operation(product, Seed::kind(QStringLiteral("Сборка")), 0, {1.5});
        QVERIFY(waitFor([&] {
            return scalarOn(qEnvironmentVariable("TABEL_STANDBY_HOST"),
                            QString("select count(*) from accounts_dep.oper where id = %1").arg(operation))
                       .toInt() == 1;
        }, 20000));
        qputenv("TABEL_STATEMENT_TIMEOUT", QByteArray::number(kStatementMs) + "ms");
        app = TestDb::startAppAt(qEnvironmentVariable("TABEL_PGHOST"));
        conn = app->forms.DataModule6->connectionName();
        TestDb::signInAs(conn, QStringLiteral("administrator"), QStringLiteral("Оператор"));
    }
    void cleanupTestCase() { app.reset(); }

    void saveWhileTheStandbyIsGone()
    {
        Entries::Entry e;
        e.worker = worker;
        e.item = product;
        e.operation = operation;
        e.quantity = 3;
        e.hours = 8;
        e.colour = 1;
        e.shift = 1;
        e.date = QDate(2024, 3, 5);
        e.key = QUuid::createUuid();

        const QString data = qEnvironmentVariable("TABEL_STANDBY_DATA");
        QVERIFY(pgCtl({"-D", data, "-m", "immediate", "stop"}));
        QElapsedTimer t;
        t.start();
        const Outcome o = Entries::save(conn, e);
        const qint64 took = t.elapsed();
        QVERIFY(!o.ok());
        QCOMPARE(o.text, QString::fromUtf8(DbSession::UnconfirmedText));
        QVERIFY2(took < kStatementMs + 4000, qPrintable(QString::number(took)));
        // stored on the primary, not yet on any standby
        const QString key = e.key.toString(QUuid::WithoutBraces);
        const QString count = QString("select count(*) from accounts_dep.smena where save_key = '%1'").arg(key);
        QCOMPARE(TestDb::scalar(count).toInt(), 1);

        // the standby back (with the options it ran with), in step again
        QVERIFY(pgCtl({"-D", data, "-w", "-l", data + "/../standby-again.log", "restart"}));
        QVERIFY(waitFor([&] {
            return scalarOn(qEnvironmentVariable("TABEL_PRIMARY_HOST"),
                            "select sync_state from pg_stat_replication where application_name = 'standby1'")
                       .toString() == QLatin1String("sync");
        }, 30000));
        // the user presses "Запись" again: the save key finds it
        const Outcome again = Entries::save(conn, e);
        QVERIFY2(again.ok(), qPrintable(again.text));
        QCOMPARE(TestDb::scalar(count).toInt(), 1);
        QCOMPARE(scalarOn(qEnvironmentVariable("TABEL_STANDBY_HOST"), count).toInt(), 1);
    }
};

int main(int argc, char *argv[])
{
    // Run inside a pair of clusters of its own (the plain pair: no engine
    // that would turn the synchronous standby off); the template the test
    // databases are cloned from made there first.
    if (qEnvironmentVariableIsEmpty("TABEL_STANDBY_HOST")) {
        runUnder("with-standby", {"--plain"}, argc, argv);
    }
    Application a(argc, argv);
    TestStandbyLost tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_standby_lost.moc"

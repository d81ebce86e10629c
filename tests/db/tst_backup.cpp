#include "app/Application.h"
#include "app/Startup.h"
#include "db/DayColumns.h"
#include "db/Decimal.h"
#include "db/TDataModule6.h"
#include "records/Entries.h"
#include "support/Seed.h"
#include "support/RunUnder.h"
#include "support/TestDb.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

#include <unistd.h>

// Backups to any minute: a full backup and the WAL archived after it
// (scripts/backup, pgBackRest), a month deleted by a wrong statement, and the
// cluster restored into a new folder as it was just before
// (scripts/restore): every entry is back, the day cells with them.
namespace {
const int kYear = 2024, kMonth = 5;

bool run(const QStringList &cmd)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(cmd.first(), cmd.mid(1));
    return p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}
QString script(const char *name) { return QStringLiteral(TABEL_SOURCE_DIR "/scripts/") + QLatin1String(name); }

// The month's entries and timesheet lines as text, in a stable order.
const char *kEntries = "select id, w_id, data, smena, time, kol_vo, cena, color, save_key from accounts_dep.smena "
                       "where data >= make_date(%1, %2, 1) and data < make_date(%1, %2, 1) + interval '1 month' order by id";
const char *kLines = "select * from accounts_dep.h_tabel where year = %1 and month = %2 order by 1";

QList<QStringList> rowsOn(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    QList<QStringList> out;
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << q.value(i).toString();
        out << row;
    }
    return out;
}
} // namespace

class TestBackup : public QObject {
    Q_OBJECT
    QList<int> workers;
    int product = 0, operation = 0;

    // Entries keyed through the program's write path, spread over the month.
    void key(const QString &connection, int from, int count)
    {
        for (int n = from; n < from + count; ++n) {
            Entries::Entry e;
            e.worker = workers.at(n % workers.size());
            e.item = product;
            e.operation = operation;
            e.quantity = 1 + n % 5;
            e.hours = 1 + n % 3;
            e.colour = n + 1;
            e.shift = 1 + n % 2;
            e.date = QDate(kYear, kMonth, 1 + n % 28);
            e.key = QUuid::createUuid();
            const Outcome o = Entries::save(connection, e);
            QVERIFY2(o.ok(), qPrintable(o.text));
        }
    }

private slots:
    void initTestCase()
    {
        TestDb::ensureDatabase();
        for (int i = 0; i < 3; ++i)
            workers << Seed::worker(QStringLiteral("Рабочий %1").arg(i + 1));
        product = Seed::product(QStringLiteral("К-1"), Seed::group(QStringLiteral("Корпуса")));
        operation = Seed::operation(product, Seed::kind(QStringLiteral("Сборка")), 0, {2.5});
    }

    void pointInTimeRestore()
    {
        auto app = TestDb::startApp();
        const QString conn = app->forms.DataModule6->connectionName();
        TestDb::signInAs(conn, QStringLiteral("administrator"), QStringLiteral("Оператор"));
        key(conn, 0, 20); // in the full backup
        QVERIFY(run({script("backup")}));
        key(conn, 20, 20); // only in the WAL archived after it
        const QString entries = QString::fromLatin1(kEntries).arg(kYear).arg(kMonth);
        const QString lines = QString::fromLatin1(kLines).arg(kYear).arg(kMonth);
        QSqlDatabase owner = QSqlDatabase::database(QStringLiteral("testdb_owner"));
        const auto keyedEntries = rowsOn(owner, entries);
        const auto keyedLines = rowsOn(owner, lines);
        QCOMPARE(keyedEntries.size(), 40);
        QVERIFY(!keyedLines.isEmpty());

        // The moment noted, in whole seconds as a person gives it, on the server's clock.
        QTest::qWait(1100);
        const QString moment = TestDb::scalar("select to_char(now(), 'YYYY-MM-DD HH24:MI:SS')").toString();
        QTest::qWait(1100);
        // A wrong statement as the owner: the month is gone.
        TestDb::exec(QStringLiteral("delete from accounts_dep.smena where data >= make_date(%1, %2, 1) "
                                    "and data < make_date(%1, %2, 1) + interval '1 month'").arg(kYear).arg(kMonth));
        TestDb::exec(QStringLiteral("delete from accounts_dep.h_tabel where year = %1 and month = %2").arg(kYear).arg(kMonth));
        QVERIFY(rowsOn(owner, entries).isEmpty());

        const QString target = qEnvironmentVariable("TABEL_BACKUP_DIR") + QStringLiteral("/restored");
        QElapsedTimer t;
        t.start();
        QVERIFY(run({script("restore"), "--time", moment, target, "--start"}));
        qInfo("restored to %s in %lld ms", qPrintable(moment), qint64(t.elapsed()));

        QSqlDatabase restored = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("restored"));
        restored.setHostName(target);
        restored.setPort(5432);
        restored.setDatabaseName(TestDb::databaseName());
        restored.setUserName(QStringLiteral("postgres"));
        QVERIFY2(restored.open(), qPrintable(restored.lastError().text()));
        // every entry back, each once, as it was; the timesheet lines too
        QCOMPARE(rowsOn(restored, entries), keyedEntries);
        QCOMPARE(rowsOn(restored, lines), keyedLines);
        // and each day cell is the sum of its entries' hours
        const QString cells = DayColumns::list(QStringLiteral("(%2, %1)"));
        const auto wrong = rowsOn(restored, QStringLiteral(
            "with cell as (select h.w_id, h.smena, make_date(h.year, h.month, c.day) as data, c.hours "
            "              from accounts_dep.h_tabel h cross join lateral (values %1) c(day, hours) "
            "              where h.year = %2 and h.month = %3 and h.smena between 1 and 4 and coalesce(c.hours, 0) <> 0), "
            "     sums as (select w_id, smena, data, sum(time) as hours from accounts_dep.smena "
            "              where data >= make_date(%2, %3, 1) and data < make_date(%2, %3, 1) + interval '1 month' "
            "              group by 1, 2, 3) "
            "select count(*) from cell full join sums using (w_id, smena, data) "
            "where coalesce(cell.hours, 0) <> coalesce(sums.hours, 0)").arg(cells).arg(kYear).arg(kMonth));
        QCOMPARE(wrong.value(0).value(0), QString("0"));
        // the restored copy takes writes, and sends no WAL into the repository
        QCOMPARE(rowsOn(restored, "select pg_is_in_recovery()::text, current_setting('archive_mode')"),
                 (QList<QStringList>{{"false", "off"}}));
        restored.close();
    }
};

int main(int argc, char *argv[])
{
    // Run inside a cluster of its own whose WAL is archived, with a
    // repository beside it; the template the test database is cloned from
    // made there first.
    if (qEnvironmentVariableIsEmpty("TABEL_BACKUP_DIR")) {
        runUnder("with-backups", {}, argc, argv);
    }
    Application a(argc, argv);
    TestBackup tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_backup.moc"

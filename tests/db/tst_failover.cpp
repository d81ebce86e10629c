#include "app/Application.h"
#include "app/Connection.h"
#include "app/ReportLag.h"
#include "app/Startup.h"
#include "db/ChangeListener.h"
#include "db/Dataset.h"
#include "db/DayColumns.h"
#include "db/DbSession.h"
#include "db/Decimal.h"
#include "db/ReportConnection.h"
#include "db/TDataModule6.h"
#include "records/Actor.h"
#include "records/Entries.h"
#include "reports/MonthOverviewData.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/RunUnder.h"
#include "support/TestDb.h"
#include "timesheets/TForm19.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// The program against a pg_auto_failover formation (a monitor, a primary and
// its synchronous secondary, all throwaway): it follows whichever node accepts
// writes, reads reports from the secondary, keeps keying when the secondary
// dies, and loses nothing when the primary dies in the middle of the keying
// and the monitor promotes the secondary, with no command of ours.
namespace {
const int kYear = 2024, kMonth = 3;
const int kWorkers = 4;

QString primaryHost() { return qEnvironmentVariable("TABEL_PRIMARY_HOST"); }
QString standbyHost() { return qEnvironmentVariable("TABEL_STANDBY_HOST"); }
QString bothHosts() { return qEnvironmentVariable("TABEL_PGHOST"); }

// A superuser's connection to one server of the pair, in this test's database.
QSqlDatabase adminOn(const QString &name, const QString &host)
{
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name);
    QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    c.setHostName(host);
    c.setPort(5432);
    c.setDatabaseName(TestDb::databaseName());
    c.setUserName(QStringLiteral("postgres"));
    if (!c.open())
        qFatal("no connection to %s: %s", qPrintable(host), qPrintable(c.lastError().text()));
    return c;
}

QVariant scalarOn(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        qWarning("SQL failed: %s\n%s", qPrintable(q.lastError().text()), qPrintable(sql));
        return QVariant();
    }
    return q.next() ? q.value(0) : QVariant();
}

// The program's settings for a server argument, as start-up makes them.
Connection::Settings settingsFor(const QString &server)
{
    return Connection::settingsFrom(Connection::connectionString({TestDb::databaseName(), server}));
}

// Who keys in (the audit records name them).
void signIn(const QString &connection)
{
    TestDb::signInAs(connection, QStringLiteral("administrator"), QStringLiteral("Оператор"));
}

// The entry the keying makes as its n-th: always a new one (its colour), spread
// over the month's days, two shifts and the workers.
Entries::Entry nthEntry(int n, const QList<int> &workers, int product, int operation)
{
    Entries::Entry e;
    e.worker = workers.at(n % workers.size());
    e.item = product;
    e.operation = operation;
    e.quantity = 1 + n % 7;
    // hours while a worker's day has room for them (a day holds 24 at most)
    e.hours = n / (56 * workers.size()) < 4 ? 1 + n % 2 : 0;
    e.colour = n + 1;
    e.shift = 1 + (n / workers.size()) % 2;
    e.date = QDate(kYear, kMonth, 1 + (n / (2 * workers.size())) % 28);
    e.key = QUuid::createUuid();
    return e;
}

// The second workstation: keys entries through the write path until the stop
// file appears, and says on its output what each press gave. A press that
// failed (the server gone, the outcome unknown) is pressed again with the
// same entry and key, as the user would.
int keyer()
{
    TestDb::ensureDatabase();
    const QStringList ids = qEnvironmentVariable("TABEL_KEYER_SEED").split(QLatin1Char(','));
    QList<int> workers;
    for (int i = 2; i < ids.size(); ++i)
        workers << ids[i].toInt();
    const int product = ids[0].toInt(), operation = ids[1].toInt();
    const QString stopFile = qEnvironmentVariable("TABEL_KEYER_STOP");
    const int from = qEnvironmentVariableIntValue("TABEL_KEYER_FROM");

    TDataModule6 dm;
    const Connection::Settings s = settingsFor(bothHosts());
    dm.connectDb(s.host, s.port, s.database, s.user, s.password, s.connectOptions());
    signIn(dm.connectionName());
    auto say = [](const QString &line) {
        const QByteArray b = (line + QLatin1Char('\n')).toUtf8();
        ::write(1, b.constData(), size_t(b.size()));
    };
    say(QStringLiteral("pid ")
        + DbSession::exec(dm.connectionName(), QStringLiteral("select pg_backend_pid()"), DbSession::Retry::Read)
              .valueAt(0, 0)
              .toString());
    const QString reconnected = QString::fromUtf8(DbSession::LostCommitText);
    const QString offline = QString::fromUtf8(DbSession::LostCommitOfflineText);
    const auto ms = [] { return QString::number(QDateTime::currentMSecsSinceEpoch()); };
    for (int n = from; n < from + 5000 && !QFile::exists(stopFile); ++n) {
        const Entries::Entry e = nthEntry(n, workers, product, operation);
        const QString key = e.key.toString(QUuid::WithoutBraces);
        say(QStringLiteral("try %1 %2").arg(key, ms()));
        for (;;) {
            const Outcome o = Entries::save(dm.connectionName(), e);
            if (o.ok()) {
                say(QStringLiteral("saved %1 %2 %3").arg(key).arg(o.id).arg(ms()));
                break;
            }
            if (o.kind != Outcome::Refused) {
                say(QStringLiteral("refused ") + key + QLatin1Char(' ') + o.text.simplified());
                return 3;
            }
            // an unknown outcome says whether a server took the connection again
            if (o.text == offline || o.text == reconnected)
                say(QStringLiteral("unknown %1 %2").arg(key, o.text == offline ? "offline" : "reconnected"));
            else
                say(QStringLiteral("failed %1 %2").arg(key, o.text.simplified()));
            QThread::msleep(100);
        }
    }
    return 0;
}

// What the keying process said, line by line, as it comes.
struct KeyerLog {
    QStringList tried;
    QSet<QString> saved;
    QHash<QString, QString> unknown; // presses whose outcome was lost with the server: "offline" or "reconnected"
    QHash<QString, qint64> ids;
    QHash<QString, qint64> triedAt, savedAt; // the keying's clock (ms since the epoch)
    QStringList failures;
    QStringList all; // every line, for a failure's message
    int pid = 0;     // the keying's first server session
    QString partial;

    void read(QProcess &p)
    {
        partial += QString::fromUtf8(p.readAllStandardOutput());
        int nl;
        while ((nl = partial.indexOf(QLatin1Char('\n'))) >= 0) {
            const QString line = partial.left(nl);
            partial.remove(0, nl + 1);
            all << line.left(400);
            const QStringList w = line.split(QLatin1Char(' '));
            if (w.size() < 2)
                continue;
            if (w[0] == QLatin1String("pid"))
                pid = w[1].toInt();
            else if (w[0] == QLatin1String("try")) {
                tried << w[1];
                triedAt[w[1]] = w.value(2).toLongLong();
            } else if (w[0] == QLatin1String("saved")) {
                saved << w[1];
                ids[w[1]] = w.value(2).toLongLong();
                savedAt[w[1]] = w.value(3).toLongLong();
            } else if (w[0] == QLatin1String("unknown"))
                unknown.insert(w[1], w.value(2));
            else
                failures << line;
        }
    }
};

// Waits, processing events, until `done` holds; false after `ms`.
template <class F> bool waitFor(F done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    return true;
}

QList<QVariantList> readAll(Dataset &d)
{
    d.close();
    d.open();
    QList<QVariantList> out;
    for (int r = 0; r < d.recordCount(); ++r) {
        QVariantList row;
        for (int c = 0; c < d.fieldCount(); ++c)
            row << d.valueAt(r, d.fieldName(c)).toString();
        out << row;
    }
    return out;
}
// A node of the formation started, killed, or waited for (scripts/with-standby --node).
bool node(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral(TABEL_SOURCE_DIR "/scripts/with-standby"), QStringList{QStringLiteral("--node")} + args);
    return p.waitForFinished(180000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct Seeded {
    QList<int> workers;
    int product = 0, operation = 0;
};

// The second workstation (this program run again as the keying process),
// from its start to its stop.
struct Keying {
    QTemporaryDir dir;
    QProcess process;
    KeyerLog log;

    Keying(const Seeded &s, int from)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QStringList seed{QString::number(s.product), QString::number(s.operation)};
        for (int w : s.workers)
            seed << QString::number(w);
        env.insert("TABEL_KEYER", "1");
        env.insert("TABEL_KEYER_SEED", seed.join(','));
        env.insert("TABEL_KEYER_FROM", QString::number(from));
        env.insert("TABEL_KEYER_STOP", dir.filePath("stop"));
        env.insert("TABEL_TEST_DATABASE", TestDb::databaseName());
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] { log.read(process); });
        process.start(QCoreApplication::applicationFilePath(), {});
        process.waitForStarted();
    }
    ~Keying()
    {
        if (process.state() != QProcess::NotRunning) {
            QFile(dir.filePath("stop")).open(QIODevice::WriteOnly);
            if (!process.waitForFinished(20000))
                process.kill();
        }
    }
    static qint64 now() { return QDateTime::currentMSecsSinceEpoch(); }
    bool waitSaved(int n, int ms)
    {
        return waitFor([&] { return log.saved.size() >= n || process.state() == QProcess::NotRunning; }, ms)
            && log.saved.size() >= n;
    }
    // Until n saves were made after `t` (the keying's clock).
    bool waitSavedAfter(qint64 t, int n, int ms)
    {
        auto count = [&] {
            int c = 0;
            for (qint64 at : log.savedAt)
                c += at > t;
            return c;
        };
        return waitFor([&] { return count() >= n || process.state() == QProcess::NotRunning; }, ms) && count() >= n;
    }
    // The end of the keying: every press it began has ended.
    bool stop()
    {
        QFile(dir.filePath("stop")).open(QIODevice::WriteOnly);
        const bool ended = process.waitForFinished(60000);
        log.read(process);
        return ended && process.exitCode() == 0;
    }
    // The longest a press (pressed again until saved) took, counted from `t` on.
    qint64 longestWaitSince(qint64 t) const
    {
        qint64 longest = 0;
        for (auto it = log.savedAt.cbegin(); it != log.savedAt.cend(); ++it)
            if (it.value() >= t)
                longest = std::max(longest, it.value() - std::max(t, log.triedAt.value(it.key())));
        return longest;
    }
    qint64 firstSaveAfter(qint64 t) const
    {
        qint64 first = 0;
        for (qint64 at : log.savedAt)
            if (at > t && (first == 0 || at < first))
                first = at;
        return first;
    }
};
} // namespace

class TestFailover : public QObject {
    Q_OBJECT
    ScriptedDialogs dialogs; // whatever the program says, nothing waits for a hand
    std::unique_ptr<AppContext> app;
    TDataModule6 *dm = nullptr;
    QList<int> workers;
    int product = 0, operation = 0;

    static QVariant scalar(const QString &connection, const QString &sql)
    {
        return DbSession::exec(connection, sql, DbSession::Retry::Read).valueAt(0, 0);
    }
    bool inRecovery(const QString &connection) { return scalar(connection, QStringLiteral("select pg_is_in_recovery()")).toBool(); }
    // Which node a connection reached (by the port it listens on).
    QString serverOf(const QString &connection)
    {
        return scalar(connection, QStringLiteral("select current_setting('port')")).toString()
                == qEnvironmentVariable("TABEL_PRIMARY_PORT")
            ? primaryHost()
            : standbyHost();
    }
    // Every entry a keying reported saved is stored once, under the row it
    // was told; nothing else the keyings made is stored; the day cells are
    // the entries' sums.
    QSet<QString> everSaved;
    QHash<QString, qint64> everIds;
    void checkStored(const KeyerLog &log)
    {
        everSaved += log.saved;
        for (auto it = log.ids.cbegin(); it != log.ids.cend(); ++it)
            everIds.insert(it.key(), it.value());
        const auto stored = TestDb::rows("select save_key::text, count(*), min(id) from accounts_dep.smena "
                                         "where color >= 10000 group by save_key");
        QSet<QString> storedKeys;
        int doubled = 0;
        for (const QVariantList &r : stored) {
            storedKeys << r[0].toString();
            if (r[1].toInt() != 1)
                ++doubled;
            else if (everIds.value(r[0].toString()) != r[2].toLongLong())
                QFAIL(qPrintable("a save reported another row than the one stored: " + r[0].toString()));
        }
        const int lost = (everSaved - storedKeys).size();
        const int unreported = (storedKeys - everSaved).size();
        qInfo("keyed %d entries (%d so far): %d lost, %d doubled, %d stored without a report", int(log.saved.size()),
              int(everSaved.size()), lost, doubled, unreported);
        QCOMPARE(lost, 0);
        QCOMPARE(doubled, 0);
        QCOMPARE(unreported, 0);

        // Day cells: each the sum of its entries' hours, no other cell filled.
        const QString cells = DayColumns::list(QStringLiteral("(%2, %1)"));
        const int wrong = TestDb::scalar(QStringLiteral(
            "with cell as (select h.w_id, h.smena, make_date(h.year, h.month, c.day) as data, c.hours "
            "              from accounts_dep.h_tabel h cross join lateral (values %1) c(day, hours) "
            "              where h.year = %2 and h.month = %3 and h.smena between 1 and 4 and coalesce(c.hours, 0) <> 0), "
            "     sums as (select w_id, smena, data, sum(time) as hours from accounts_dep.smena group by 1, 2, 3) "
            "select count(*) from cell full join sums using (w_id, smena, data) "
            "where coalesce(cell.hours, 0) <> coalesce(sums.hours, 0)")
                                                 .arg(cells).arg(kYear).arg(kMonth)).toInt();
        QCOMPARE(wrong, 0);
    }
    // The shift timesheet of the month, as its window reads it, on a connection.
    QList<QVariantList> shiftTimesheet(const QString &connection, int shift)
    {
        Dataset d(connection);
        d.sql = TDataModule6::hTabelStatement(shift);
        const QDate first(kYear, kMonth, 1);
        d.setParam(QStringLiteral("mnth"), kMonth);
        d.setParam(QStringLiteral("yea"), kYear);
        d.setParam(QStringLiteral("date1"), first);
        d.setParam(QStringLiteral("date2"), first.addMonths(1));
        return readAll(d);
    }

private slots:
    void initTestCase()
    {
        TestDb::ensureDatabase();
        for (int i = 0; i < kWorkers; ++i)
            workers << Seed::worker(QStringLiteral("Рабочий %1").arg(i + 1));
        product = Seed::product(QStringLiteral("К-1"), Seed::group(QStringLiteral("Корпуса")));
        operation = Seed::operation(product, Seed::kind(QStringLiteral("Сборка")), 0, {1.5});
        // A commit waits for the standby to store it, not to show it: wait
        // until it shows this database and its rows.
        QVERIFY(waitFor([&] {
            QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("standby_probe"));
            c.setHostName(standbyHost());
            c.setDatabaseName(TestDb::databaseName());
            c.setUserName(QStringLiteral("postgres"));
            bool ready = c.open();
            if (ready) {
                QSqlQuery q(c);
                ready = q.exec(QString("select count(*) from accounts_dep.oper where id = %1").arg(operation)) && q.next()
                    && q.value(0).toInt() == 1;
            }
            c.close();
            c = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("standby_probe"));
            return ready;
        }, 20000));
    }

    // Whatever the order of the servers, the program writes to the primary;
    // its reports read on the standby.
    void connectsToThePrimary()
    {
        const QString reversed = standbyHost() + "," + primaryHost();
        // the engine's own URI too (TCP), as pg_autoctl show uri prints it
        for (const QString &order : {reversed, "host=" + reversed, qEnvironmentVariable("TABEL_STANDBY_URI"), bothHosts()}) {
            app = TestDb::startAppAt(order, {QStringLiteral("--reports-from-standby")});
            dm = app->forms.DataModule6;
            QCOMPARE(serverOf(dm->connectionName()), primaryHost());
            QVERIFY(!inRecovery(dm->connectionName()));
            QCOMPARE(ReportConnection::name(), QString::fromLatin1(ReportConnection::Name));
            QCOMPARE(serverOf(ReportConnection::name()), standbyHost());
            QVERIFY(inRecovery(ReportConnection::name()));
            // the timesheet by shifts reads there too
            QCOMPARE(dm->H_Tabel_1.connectionName(), ReportConnection::name());
            if (order != bothHosts())
                app.reset();
        }
        // the report connection refuses a write even where it could land on the primary
        QCOMPARE(scalar(ReportConnection::name(), "show default_transaction_read_only").toString(), QString("on"));
    }

    // A save returns once the standby shows it: the report read right after
    // it on the standby is the report of the primary.
    void reportFromStandbyEqualsPrimary()
    {
        signIn(dm->connectionName());
        for (int n = 0; n < 3 * kWorkers; ++n) {
            Entries::Entry e = nthEntry(n, workers, product, operation);
            e.colour = 900 + n;
            QVERIFY(Entries::save(dm->connectionName(), e).ok());
        }
        for (int shift = 1; shift <= 2; ++shift) {
            const auto fromStandby = shiftTimesheet(ReportConnection::name(), shift);
            QVERIFY(!fromStandby.isEmpty());
            QCOMPARE(fromStandby, shiftTimesheet(dm->connectionName(), shift));
        }
        // the month overview too: the same month as the primary's
        auto overview = [](const QString &connection) {
            const MonthOverviewData d = MonthOverviewData::read(connection, kMonth, kYear);
            return QStringList{MonthOverviewData::money(d.current.earnings, "."), QString::number(d.current.pieces),
                               QString::number(d.current.hours), QString::number(d.current.workers),
                               QString::number(d.days.size())};
        };
        const QStringList standbyOverview = overview(ReportConnection::name());
        QCOMPARE(standbyOverview, overview(dm->connectionName()));
        QVERIFY(standbyOverview.value(1).toInt() > 0);
        // the window itself reads it from there
        TForm19 *w = app->forms.Form19;
        w->ComboBox2->setCurrentText(QString::number(kYear));
        w->ComboBox1->setCurrentIndex(kMonth - 1);
        w->ComboBox1Change();
        QCOMPARE(readAll(dm->H_Tabel_1), shiftTimesheet(dm->connectionName(), 1));
        // caught up: no time shown
        QCOMPARE(ReportConnection::lagText(0), QString());
    }

    // A standby that stopped replaying: the report window says how old its data is.
    void lagShown()
    {
        QSqlDatabase standby = adminOn("standby_admin", standbyHost());
        QVERIFY(scalarOn(standby, "select pg_wal_replay_pause() is null").isValid());
        QTest::qWait(1500);
        // another workstation's change the standby does not show yet
        TestDb::exec("select txid_current()"); // a commit the standby receives
        const bool lagging = waitFor([&] { return !ReportConnection::lagText(1).isEmpty(); }, 5000);
        if (!lagging) {
            Rows q = DbSession::exec(ReportConnection::name(),
                                     "select pg_is_in_recovery(), pg_last_wal_receive_lsn(), pg_last_wal_replay_lsn(), "
                                     "pg_last_xact_replay_timestamp(), now(), pg_get_wal_replay_pause_state()",
                                     DbSession::Retry::Read);
            QStringList state;
            if (q.next())
                for (int i = 0; i < q.columnCount(); ++i)
                    state << q.value(i).toString();
            qWarning("standby: %s", qPrintable(state.join(' ')));
        }
        QVERIFY(lagging);
        const QDateTime replayed = scalarOn(standby, "select pg_last_xact_replay_timestamp()").toDateTime();
        QCOMPARE(ReportConnection::lagText(1),
                 QStringLiteral("данные на ") + replayed.toLocalTime().toString("HH:mm:ss"));
        QCOMPARE(ReportConnection::lagText(600), QString()); // within what is tolerated

        TForm19 *w = app->forms.Form19;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        auto *label = w->findChild<QLabel *>(ReportLag::LabelName);
        QVERIFY(label);
        // the window's own check tolerates a few seconds
        QVERIFY(waitFor([&] {
            ReportLag::update(w);
            return label->isVisible();
        }, 10000));
        QVERIFY(label->text().startsWith(QStringLiteral("данные на ")));
        w->grab().save(QDir::temp().filePath("tst_failover_lag.png"));

        QVERIFY(scalarOn(standby, "select pg_wal_replay_resume() is null").isValid());
        QVERIFY(waitFor([&] {
            ReportLag::update(w);
            return !label->isVisible();
        }, 10000));
        w->hide();
    }

    // The secondary is killed (its keeper and its postgres) while another
    // workstation keys entries: the primary's commits wait for it only until
    // the monitor finds it unhealthy and drops synchronous replication; the
    // keying goes on on the same primary. Then it is started again and
    // rejoins as the synchronous secondary.
    void secondaryLostWhileKeying()
    {
        // the secondary synchronous again after the paused replay above
        QVERIFY(node({"wait", "b", "secondary", "60"}));
        QVERIFY(node({"wait", "a", "primary", "60"}));
        QSqlDatabase primary = adminOn("primary_admin", primaryHost());
        QVERIFY(waitFor([&] {
            return scalarOn(primary, "select count(*) from pg_stat_replication where sync_state in ('sync', 'quorum')").toInt() == 1;
        }, 30000));
        primary.close();
        Keying keying({workers, product, operation}, 20000);
        QVERIFY2(keying.waitSaved(20, 60000), qPrintable(keying.log.failures.join('\n')));
        QElapsedTimer sinceDeath;
        sinceDeath.start();
        const qint64 killed = keying.now();
        QVERIFY(node({"kill", "b"}));
        QVERIFY2(keying.waitSavedAfter(killed, 20, 60000), qPrintable(keying.log.all.mid(keying.log.all.size() - 5).join('\n')));
        // the longest any save waited from the kill on: the engine's detection, not a wait without an end
        const qint64 longest = keying.longestWaitSince(killed);
        qInfo("secondary killed: the longest save waited %lld ms (the engine drops synchronous replication)", longest);
        QVERIFY2(longest < 30000, qPrintable(QString::number(longest)));
        QVERIFY(keying.stop());
        QCOMPARE(serverOf(dm->connectionName()), primaryHost());
        QVERIFY(keying.log.failures.isEmpty());
        checkStored(keying.log);

        // back as the secondary: the next test fails over to it
        QVERIFY(node({"start", "b"}));
        QVERIFY(node({"wait", "b", "secondary", "120"}));
        QVERIFY(node({"wait", "a", "primary", "60"}));
        qInfo("secondary back %lld ms after it was killed", qint64(sinceDeath.elapsed()));
    }

    // The primary is killed (its keeper and its postgres) while another
    // workstation keys entries, and nothing here promotes anything: the
    // monitor promotes the secondary. The keying goes on there, every entry
    // reported saved is stored exactly once (one whose reply was lost with
    // the primary too), the day cells are the entries' sums, and this
    // program's live refresh hears the new primary.
    void primaryLostWhileKeying()
    {
        ChangeListener *listener = dm->Changes;
        listener->setProbeInterval(300);
        QStringList notices;
        DbSession::setNotifier([&](const QString &t) { notices << t; });
        QSignalSpy reconnected(listener, &ChangeListener::reconnected);

        Keying keying({workers, product, operation}, 40000);
        QVERIFY2(keying.waitSaved(20, 60000), qPrintable(keying.log.failures.join('\n')));
        QElapsedTimer sinceDeath;
        sinceDeath.start();
        const qint64 killing = keying.now();
        QVERIFY(node({"kill", "a"}));
        const qint64 killed = keying.now(); // the old primary gone: a save after this is on the new one
        // From here the secondary is the database of the test.
        qputenv("PGHOST", standbyHost().toUtf8());
        for (const char *c : {"testdb_admin", "testdb_sys", "testdb_owner"}) {
            QSqlDatabase::database(c, false).close();
            QSqlDatabase::removeDatabase(c);
        }
        QVERIFY2(keying.waitSavedAfter(killed, 1, 90000), qPrintable(keying.log.all.mid(keying.log.all.size() - 5).join('\n')));
        qInfo("primary killed: first save on the new primary %lld ms after the kill", keying.firstSaveAfter(killed) - killing);
        QSignalSpy changes(listener, &ChangeListener::changed);
        QVERIFY(keying.waitSavedAfter(killed, 20, 30000));
        // this program hears the new primary without an action of its own
        QVERIFY(waitFor([&] { return !changes.isEmpty(); }, 15000));
        QCOMPARE(reconnected.count(), 1);
        QVERIFY(listener->listening());
        QVERIFY(keying.stop());
        qInfo("%lld ms from the kill to the end of the keying", qint64(sinceDeath.elapsed()));

        QVERIFY(!inRecovery(dm->connectionName()));
        QCOMPARE(serverOf(dm->connectionName()), standbyHost());
        // a press whose outcome was lost says it is unknown, never that it failed for good
        QVERIFY(keying.log.failures.isEmpty() || keying.log.failures.first().startsWith("failed"));
        checkStored(keying.log);

        // This program's own next action works there, with at most one word to the user.
        signIn(dm->connectionName());
        Entries::Entry e = nthEntry(0, workers, product, operation);
        e.colour = 999;
        QVERIFY(Entries::save(dm->connectionName(), e).ok());
        QVERIFY(notices.size() <= 1);
        for (const QString &n : notices)
            QCOMPARE(n, QString::fromUtf8(DbSession::ReconnectedText));
        // and its reports read there (no standby left: from the primary), without a time shown
        QCOMPARE(shiftTimesheet(ReportConnection::name(), 1), shiftTimesheet(dm->connectionName(), 1));
        QCOMPARE(ReportConnection::lagText(0), QString());
    }

    void cleanupTestCase()
    {
        app.reset();
        DbSession::setNotifier({});
    }
};

int main(int argc, char *argv[])
{
    // Run inside a pg_auto_failover formation of its own (about a minute to
    // start on a busy machine); the template the test databases are cloned
    // from made there first.
    if (qEnvironmentVariableIsEmpty("TABEL_FORMATION")) {
        runUnder("with-standby", {}, argc, argv);
    }
    Application a(argc, argv);
    if (qEnvironmentVariableIsSet("TABEL_KEYER"))
        return keyer();
    TestFailover tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_failover.moc"

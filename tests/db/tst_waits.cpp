#include "app/Startup.h"
#include "db/DayColumns.h"
#include "db/DbSession.h"
#include "db/Gateway.h"
#include "db/TDataModule6.h"
#include "records/DayCells.h"
#include "records/Entries.h"
#include "records/Write.h"
#include "records/MonthRebuild.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/ServerBusyBox.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QUuid>
#include <QtTest>

// No wait for the server without an end: a held lock ends the save within
// the lock limit while the window repaints, the busy box cancels a long
// statement, and the prepared statements of a session stay bounded.
namespace {
const int kYear = 2024, kMonth = 3;
const QDate kDay(kYear, kMonth, 5);
const int kLockMs = 1500, kStatementMs = 4000;
const int kWriteLockMs = 3000; // the lock_timeout the database sets on its write functions

// A window that counts how often it was painted.
class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        ++paints;
        QPainter(this).fillRect(rect(), paints % 2 ? Qt::white : Qt::lightGray);
    }
};

// The busy box, once it is up.
ServerBusyBox *busyBox()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("ServerBusyBox") && w->isVisible())
            return qobject_cast<ServerBusyBox *>(w);
    return nullptr;
}
} // namespace

class TestWaits : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    QString conn;
    int worker = 0, product = 0, operation = 0;

    Entries::Entry entry(int colour)
    {
        Entries::Entry e;
        e.worker = worker;
        e.item = product;
        e.operation = operation;
        e.quantity = 2;
        e.hours = 8;
        e.colour = colour;
        e.date = kDay;
        e.key = QUuid::createUuid();
        return e;
    }
    static QStringList monthLines()
    {
        QStringList out;
        for (const QVariantList &r : TestDb::rows(QString("select concat_ws(' ', w_id, smena, %1) from accounts_dep.h_tabel "
                                                          "where month = %2 and year = %3 order by 1")
                                                      .arg(DayColumns::list(QStringLiteral("coalesce(%1::text, '-')"), QStringLiteral(",")))
                                                      .arg(kMonth)
                                                      .arg(kYear)))
            out << r.at(0).toString();
        return out;
    }

private slots:
    void initTestCase()
    {
        // short limits, so that the test waits seconds, not a site's minutes
        qputenv("TABEL_STATEMENT_TIMEOUT", QByteArray::number(kStatementMs) + "ms");
        qputenv("TABEL_LOCK_TIMEOUT", QByteArray::number(kLockMs) + "ms");
        qputenv("TABEL_LONG_STATEMENT_TIMEOUT", "60s");
        app = TestDb::startApp();
        conn = app->forms.DataModule6->connectionName();
        worker = Seed::worker("Петров П.П.");
        product = Seed::product("М-1", Seed::group("Корпуса"));
        operation = Seed::operation(product, Seed::kind("Сборка"), 0, {10.0});
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void limitsFromTheSite()
    {
        const Gateway::Limits l = Gateway::limits(conn);
        QCOMPARE(l.statementMs, kStatementMs);
        QCOMPARE(l.lockMs, kLockMs);
        QCOMPARE(Gateway::run(conn, "show statement_timeout").valueAt(0, 0).toString(), QString("4s"));
        QCOMPARE(Gateway::run(conn, "show lock_timeout").valueAt(0, 0).toString(), QString("1500ms"));
        {
            const Gateway::LongStatements longer;
            QCOMPARE(Gateway::run(conn, "show statement_timeout").valueAt(0, 0).toString(), QString("1min"));
        }
        QCOMPARE(Gateway::run(conn, "show statement_timeout").valueAt(0, 0).toString(), QString("4s"));
    }

    // Another session holds the day's month lock (as the owner in psql
    // would): the save ends within the lock limit, stores nothing, says so in
    // Russian, and the window goes on painting meanwhile.
    void frozenLock()
    {
        PaintCounter window;
        window.setObjectName("PaintCounter");
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTimer repaint;
        connect(&repaint, &QTimer::timeout, &window, qOverload<>(&QWidget::update));
        repaint.start(50);

        const qint64 key = DayCells::monthKey(kDay);
        TestDb::exec(QString("select pg_advisory_lock(%1::bigint)").arg(key));
        auto unlock = qScopeGuard([&] { TestDb::exec(QString("select pg_advisory_unlock(%1::bigint)").arg(key)); });
        const int paintsBefore = window.paints;
        QElapsedTimer t;
        t.start();
        const Entries::Entry e = entry(1);
        const Outcome o = Entries::save(conn, e);
        const qint64 took = t.elapsed();
        QVERIFY(!o.ok());
        QCOMPARE(o.text, Write::busyText());
        // the write functions wait at most their own few seconds, whatever the session allows
        QVERIFY2(took >= kLockMs - 100 && took < kWriteLockMs + 2000, qPrintable(QString::number(took)));
        QVERIFY2(window.paints - paintsBefore >= 10, qPrintable(QString::number(window.paints - paintsBefore)));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 0);
        QVERIFY(!busyBox()); // the box went with the wait

        // the lock given back, the same press stores it
        unlock.dismiss();
        TestDb::exec(QString("select pg_advisory_unlock(%1::bigint)").arg(key));
        QVERIFY(Entries::save(conn, e).ok());
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 1);
    }

    // A month rebuild that waits (another session holds the month) is
    // cancelled from the busy box: the month's lines stay as they were.
    void cancelFromTheBox()
    {
        MonthRebuild::shiftLines(conn, kMonth, kYear);
        const QStringList before = monthLines();
        QVERIFY(!before.isEmpty());
        Seed::entry({kDay.addDays(1), 1, worker, product, operation});

        const qint64 key = DayCells::monthKey(kDay);
        TestDb::exec(QString("select pg_advisory_lock_shared(%1::bigint)").arg(key));
        auto unlock = qScopeGuard([&] { TestDb::exec(QString("select pg_advisory_unlock_shared(%1::bigint)").arg(key)); });
        // the lock waits as long as the statement may: only the user ends it
        const QString lockLimit = Gateway::run(conn, "show lock_timeout").valueAt(0, 0).toString();
        Gateway::run(conn, "set lock_timeout = '50s'");

        QElapsedTimer t;
        qint64 shownAt = -1, clickedAt = -1;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            ServerBusyBox *box = busyBox();
            if (!box || clickedAt >= 0)
                return;
            shownAt = t.elapsed();
            QCOMPARE(box->Label->text(), QString("Сервер занят: ждём ответа…"));
            QCOMPARE(box->cancelButton->text(), QString("Отменить"));
            QVERIFY(box->isModal());
            if (qEnvironmentVariableIsSet("TABEL_SHOT"))
                box->grab().save(qEnvironmentVariable("TABEL_SHOT"));
            clickedAt = t.elapsed();
            QTest::mouseClick(box->cancelButton, Qt::LeftButton);
        });
        watch.start(50);
        t.start();
        QString error;
        {
            const Gateway::LongStatements longer; // as the window's rebuild runs
            try {
                MonthRebuild::shiftLines(conn, kMonth, kYear);
            } catch (const DbError &e) {
                error = e.text();
            }
        }
        const qint64 took = t.elapsed();
        watch.stop();
        QVERIFY2(shownAt >= Gateway::BusyAfterMs - 100 && shownAt < Gateway::BusyAfterMs + 1000, qPrintable(QString::number(shownAt)));
        QVERIFY2(took - clickedAt < 2000, qPrintable(QString::number(took - clickedAt)));
        QVERIFY2(error.startsWith("Ожидание ответа сервера отменено") && error.contains("изменения не сохранены"), qPrintable(error));
        QCOMPARE(monthLines(), before);
        QVERIFY(!busyBox());

        // the connection goes on, with its limits as they were set
        Gateway::run(conn, "select set_config('lock_timeout', ?, false)", {lockLimit});
        QCOMPARE(Gateway::run(conn, "select 7").valueAt(0, 0).toInt(), 7);
        unlock.dismiss();
        TestDb::exec(QString("select pg_advisory_unlock_shared(%1::bigint)").arg(key));
        MonthRebuild::shiftLines(conn, kMonth, kYear);
        QVERIFY(monthLines() != before);
    }

    // A statement is refused, not run inside another's wait on the same connection.
    void noSecondStatementWhileOneWaits()
    {
        QString inner;
        QTimer::singleShot(300, this, [&] {
            try {
                Gateway::run(conn, "select 1");
                inner = "ran";
            } catch (const DbError &e) {
                inner = e.text();
            }
        });
        QCOMPARE(Gateway::run(conn, "select 3 from pg_sleep(0.8)").valueAt(0, 0).toInt(), 3);
        QVERIFY2(inner.startsWith("Сервер ещё выполняет предыдущий запрос"), qPrintable(inner));
    }

    // A statement past its limit ends with a message; the connection goes on.
    void statementLimit()
    {
        QElapsedTimer t;
        t.start();
        try {
            Gateway::run(conn, "select pg_sleep(30)");
            QFAIL("no end");
        } catch (const DbError &e) {
            QVERIFY2(e.text().startsWith("Сервер не выполнил запрос за 4 с"), qPrintable(e.text()));
        }
        QVERIFY(t.elapsed() < kStatementMs + 1500);
        QCOMPARE(Gateway::run(conn, "select 8").valueAt(0, 0).toInt(), 8);
    }

    // Any number of distinct statements: the server keeps at most the cap.
    void preparedStatementsBounded()
    {
        for (int i = 0; i < 2000; ++i)
            QCOMPARE(Gateway::run(conn, QString("select ?::int + %1 as n").arg(i), {1}).valueAt(0, 0).toInt(), i + 1);
        const int held = Gateway::run(conn, "select count(*) from pg_prepared_statements").valueAt(0, 0).toInt();
        QVERIFY2(held <= Gateway::PreparedCap, qPrintable(QString::number(held)));
        // what stays cached is what is used: the latest ones run unprepared again
        const quint64 prepares = Gateway::prepares();
        Gateway::run(conn, "select ?::int + 1999 as n", {1});
        QCOMPARE(Gateway::prepares(), prepares);
    }
};

TABEL_TEST_MAIN(TestWaits)
#include "tst_waits.moc"

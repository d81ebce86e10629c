#include "db/Gateway.h"
#include "records/Entries.h"
#include "records/HousekeepingEntries.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

// The database prices what it stores and refuses values no editor lets be
// typed, whoever calls its write functions: here the program's login signed
// in as each role, typing into psql what the windows never send.
namespace {
const QDate kDay(2024, 3, 5); // a Tuesday

// A connection of the program's login signed in as `role`, as a workstation's.
QString as(const QString &role)
{
    const QString name = QStringLiteral("limits_") + role;
    if (!QSqlDatabase::contains(name)) {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        c.setHostName(TestDb::host());
        c.setDatabaseName(TestDb::databaseName());
        c.setUserName(QStringLiteral("sys"));
        c.setPassword(QStringLiteral("vomtuxa"));
        if (!c.open())
            qFatal("no connection: %s", qPrintable(c.lastError().text()));
        TestDb::signInAs(name, role);
    }
    return name;
}

// The outcome of a statement typed by hand: the message of its answer row,
// or the server's refusal.
QString typed(const QString &connection, const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(connection));
    if (!q.exec(sql))
        return q.lastError().databaseText();
    if (!q.next())
        return QStringLiteral("(ничего)");
    return q.value(0).toString() + QStringLiteral(": ") + q.value(2).toString();
}
} // namespace

class TestLimits : public QObject {
    Q_OBJECT
    int worker = 0, product = 0, other = 0, oper = 0, dearOper = 0, unpriced = 0, group = 0;
    qint64 entry = 0; // 20 hours of the worker on kDay, stored

    // What the journal, the housekeeping entries and the timesheet hold
    static QString stored()
    {
        return TestDb::scalar("select concat_ws(' | ', (select string_agg(concat_ws(',', id, w_id, i_id, o_id, cena, kol_vo, brak, time, "
                              "color, smena, ok), ';' order by id) from accounts_dep.smena), "
                              "(select string_agg(concat_ws(',', id, id_p, id_o, cnt, price), ';' order by id) from accounts_dep.fatigue), "
                              "(select string_agg(concat_ws(',', w_id, smena, i_type, d5), ';' order by id) from accounts_dep.h_tabel))")
            .toString();
    }
    // An entry_save call as typed, with the values the windows never send
    QString entrySave(const QString &values) const
    {
        return QString("select * from accounts_dep.entry_save(%1)").arg(values);
    }

private slots:
    void initTestCase()
    {
        TestDb::ensureDatabase();
        TestDb::clearData();
        worker = Seed::worker("Алексеев А.В.");
        group = Seed::group("Фурнитура");
        product = Seed::product("РК-128", group);
        other = Seed::product("РК-129", group);
        oper = Seed::operation(product, Seed::kind("Сборка"), 0, {10.0, 12.0});
        dearOper = Seed::operation(product, Seed::kind("Окраска"), 0, {20.0});
        unpriced = Seed::operation(product, Seed::kind("Упаковка"), 0, {1.0});
        TestDb::exec(QString("update accounts_dep.norm set price = null where o_id = %1").arg(unpriced));
    }
    void init()
    {
        TestDb::exec("delete from accounts_dep.smena; delete from accounts_dep.fatigue; delete from accounts_dep.h_tabel");
        TestDb::exec("update accounts_dep.norm set price = 100 where o_id = 7777");
        Seed::Entry e{kDay, 1, worker, product, oper, 10, 0, 10.0, 20};
        entry = Seed::entry(e);
        Seed::shiftLine(worker, 1, 3, 2024, {{5, 20}});
    }

    // Each refused with the message naming the field, and nothing stored.
    void attacksRefused_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        const QString w = QString::number(worker), p = QString::number(product), o = QString::number(oper);
        const auto add = [&](const QString &quantity, const QString &defects, const QString &hours, const QString &colour,
                             const QString &shift = "1", const QString &item = QString(), const QString &op = QString(),
                             const QString &day = "'2024-03-05'") {
            return entrySave(QString("0, %1, %2, %3, false, false, %4, %5, %6, %7, %8, %9, null, null, null, null")
                                 .arg(w, item.isEmpty() ? p : item, op.isEmpty() ? o : op, quantity, defects, hours, colour, shift, day));
        };
        QTest::newRow("a price sent, as before")
            << "masters"
            << entrySave(QString("0, %1, %2, %3, 99999.9999, 1000, 0, 1, 0, 1, date '2024-03-06', null, null, null, null").arg(w, p, o))
            << "does not exist";
        QTest::newRow("quantity of a billion") << "masters" << add("1000000000", "0", "1", "0") << "Кол-во: не больше 100 000.";
        QTest::newRow("quantity just past the limit") << "masters" << add("100001", "0", "1", "0") << "Кол-во: не больше 100 000.";
        QTest::newRow("negative quantity") << "masters" << add("-5", "0", "1", "0") << "Кол-во: не меньше 0.";
        QTest::newRow("defects past the limit") << "masters" << add("0", "100001", "1", "0") << "Брак: не больше 100 000.";
        QTest::newRow("negative defects") << "masters" << add("1", "-1", "1", "0") << "Брак: не меньше 0.";
        QTest::newRow("25 hours") << "masters" << add("1", "0", "25", "0", "1", QString(), QString(), "'2024-03-06'")
                                  << "Часы: не больше 24.";
        QTest::newRow("negative hours") << "masters" << add("1", "0", "-1", "0") << "Часы: не меньше 0.";
        QTest::newRow("hours making the day 25, another shift")
            << "masters" << add("1", "0", "5", "0", "4") << "Часы: за день у рабочего не больше 24.";
        QTest::newRow("negative colour") << "masters" << add("1", "0", "1", "-3") << "Цвет: не меньше 0.";
        QTest::newRow("shift 7") << "masters" << add("1", "0", "1", "0", "7") << "Смена: только 1, 2, 3 или 4";
        QTest::newRow("another product than the operation's")
            << "masters" << add("1", "0", "1", "0", "1", QString::number(other)) << "Изделие не то";
        QTest::newRow("an operation without a price")
            << "masters" << add("1", "0", "1", "0", "1", QString(), QString::number(unpriced)) << "нет расценки";
        QTest::newRow("no quantity") << "masters" << add("null", "0", "1", "0") << "Все поля должны быть заполнены!";
        const QString h = QString("select * from accounts_dep.housekeeping_save(0, %1, %2, %3, date '2024-03-06', 1, %4, false, false, null)");
        QTest::newRow("housekeeping: a price sent, as before")
            << "econom"
            << QString("select * from accounts_dep.housekeeping_save(0, %1, %2, 7777, date '2024-03-06', 1, 8, 99999, false, false, null)")
                   .arg(w).arg(group)
            << "does not exist";
        QTest::newRow("housekeeping: 99999 hours") << "econom" << h.arg(w).arg(group).arg(7777).arg(99999) << "Часы: не больше 24.";
        QTest::newRow("housekeeping: 0 hours") << "econom" << h.arg(w).arg(group).arg(7777).arg(0) << "Нужно завести количество!";
        QTest::newRow("housekeeping: hours making the day 25")
            << "econom" << h.arg(w).arg(group).arg(7777).arg(5).replace("2024-03-06", "2024-03-05")
            << "Часы: за день у рабочего не больше 24.";
        QTest::newRow("housekeeping: a kind that is not hours-paid")
            << "econom" << h.arg(w).arg(group).arg(oper).arg(8) << "Вид работ";
        QTest::newRow("a closing mark of its own")
            << "sklad" << QString("select * from accounts_dep.entry_mark(%1, 'оплачено')") << "Отметка закрытия: только";
        QTest::newRow("an empty closing mark")
            << "administrator" << QString("select * from accounts_dep.entry_mark(%1, null)") << "Отметка закрытия: только";
    }
    void attacksRefused()
    {
        QFETCH(QString, role);
        QFETCH(QString, sql);
        QFETCH(QString, message);
        if (sql.contains("%1"))
            sql = sql.arg(entry);
        const QString before = stored();
        const QString answer = typed(as(role), sql);
        QVERIFY2(answer.contains(message), qPrintable(answer));
        QCOMPARE(stored(), before);
    }

    // The price the database stores, whatever the caller believes: a new
    // entry and a change to another operation or with the operation picked
    // again take the operation's price for the shift and day; other changes
    // keep the stored one.
    void pricedByDatabase()
    {
        const QString conn = as("administrator");
        TestDb::exec("delete from accounts_dep.smena; delete from accounts_dep.h_tabel");
        Entries::Entry e;
        e.worker = worker;
        e.item = product;
        e.operation = oper;
        e.quantity = 7;
        e.hours = 8;
        e.shift = 3;
        e.dayOff = true;
        e.date = kDay;
        e.key = QUuid::createUuid();
        Outcome o = Entries::save(conn, e);
        QVERIFY2(o.ok(), qPrintable(o.text));
        const auto price = [&]() { return TestDb::scalar(QString("select cena from accounts_dep.smena where id = %1").arg(o.id)).toDouble(); };
        QCOMPARE(price(), 24.0); // 10 x 2.0 x 1.2

        e.id = o.id;
        e.shift = 4; // moved to overtime without picking the operation again
        e.dayOff = false;
        e.hours = 9;
        e.key = QUuid::createUuid();
        QVERIFY(Entries::save(conn, e).ok());
        QCOMPARE(price(), 24.0);
        QCOMPARE(TestDb::scalar(QString("select time from accounts_dep.smena where id = %1").arg(o.id)).toInt(), 9);

        e.reprice = true; // the operation picked again
        e.key = QUuid::createUuid();
        QVERIFY(Entries::save(conn, e).ok());
        QCOMPARE(price(), 15.0); // 10 x 1.5

        e.reprice = false;
        e.operation = dearOper; // another operation is priced anew
        e.key = QUuid::createUuid();
        QVERIFY(Entries::save(conn, e).ok());
        QCOMPARE(price(), 30.0); // 20 x 1.5

        // the operation's norm deleted since: a change of the hours keeps the stored price
        TestDb::exec(QString("update accounts_dep.norm set price = null where o_id = %1").arg(dearOper));
        e.hours = 7;
        e.key = QUuid::createUuid();
        o = Entries::save(conn, e);
        QVERIFY2(o.ok(), qPrintable(o.text));
        QCOMPARE(price(), 30.0);
        e.reprice = true; // ... but it cannot be priced again
        e.key = QUuid::createUuid();
        o = Entries::save(conn, e);
        QCOMPARE(o.kind, Outcome::Refused);
        QVERIFY2(o.text.contains("нет расценки"), qPrintable(o.text));
        TestDb::exec(QString("update accounts_dep.norm set price = 20 where o_id = %1").arg(dearOper));
    }

    // The edges a plant does reach are stored.
    void limitsReached()
    {
        const QString conn = as("masters");
        Entries::Entry e;
        e.worker = worker;
        e.item = product;
        e.operation = oper;
        e.date = kDay;
        e.shift = 2;
        e.quantity = 0; // defects only
        e.defects = 100000;
        e.hours = 4; // 20 + 4: a whole day
        e.key = QUuid::createUuid();
        Outcome o = Entries::save(conn, e);
        QVERIFY2(o.ok(), qPrintable(o.text));
        e.quantity = 100000;
        e.defects = 0;
        e.hours = 0; // a day already full takes entries without hours
        e.shift = 3;
        e.key = QUuid::createUuid();
        o = Entries::save(conn, e);
        QVERIFY2(o.ok(), qPrintable(o.text));
        QCOMPARE(TestDb::scalar("select sum(time) from accounts_dep.smena").toInt(), 24);
        QCOMPARE(TestDb::scalar("select accounts_dep.worker_day_hours(" + QString::number(worker) + ", '2024-03-05', null, null)").toInt(),
                 24);

        // housekeeping hours count in the same day
        HousekeepingEntries::Entry h;
        h.worker = worker;
        h.nomenclature = group;
        h.kind = 7777;
        h.date = kDay;
        h.hours = 1;
        h.key = QUuid::createUuid();
        o = HousekeepingEntries::save(as("econom"), h);
        QCOMPARE(o.kind, Outcome::Refused);
        QVERIFY2(o.text.contains("Часы: за день у рабочего не больше 24."), qPrintable(o.text));
        h.date = kDay.addDays(1);
        h.hours = 24;
        h.holiday = true;
        h.night = true;
        h.key = QUuid::createUuid();
        o = HousekeepingEntries::save(as("econom"), h);
        QVERIFY2(o.ok(), qPrintable(o.text));
        QCOMPARE(TestDb::scalar(QString("select price from accounts_dep.fatigue where id = %1").arg(o.id)).toDouble(), 240.0);
    }

    // A day stored longer than 24 hours before the limit existed may be
    // shortened, not lengthened.
    void longDayOfOldMayShorten()
    {
        Seed::Entry old{kDay, 2, worker, product, oper, 5, 0, 10.0, 10}; // 20 + 10 hours
        Seed::entry(old);
        const QString conn = as("administrator");
        Entries::Entry e;
        e.id = entry;
        e.worker = worker;
        e.item = product;
        e.operation = oper;
        e.date = kDay;
        e.quantity = 10;
        e.hours = 18; // 28 hours: still long, but shorter
        e.key = QUuid::createUuid();
        Outcome o = Entries::save(conn, e);
        QVERIFY2(o.ok(), qPrintable(o.text));
        e.hours = 19;
        e.key = QUuid::createUuid();
        o = Entries::save(conn, e);
        QCOMPARE(o.kind, Outcome::Refused);
        QVERIFY2(o.text.contains("Часы: за день у рабочего не больше 24. За 05.03.2024 у него уже 10 ч."), qPrintable(o.text));
        QCOMPARE(TestDb::scalar(QString("select time from accounts_dep.smena where id = %1").arg(entry)).toInt(), 18);
    }
};

TABEL_TEST_MAIN(TestLimits)
#include "tst_limits.moc"

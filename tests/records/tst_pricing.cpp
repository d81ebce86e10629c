#include "db/Gateway.h"
#include "records/Pricing.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QtTest>

// Prices as the database sets them (the saves store them, the windows show
// them), read as the program's login reads them.
namespace {
const char *kConn = "pricing";

Decimal dec(const QString &text)
{
    Decimal d;
    if (!Decimal::parse(text, &d))
        qFatal("not a number: %s", qPrintable(text));
    return d;
}

QString text(const std::optional<Decimal> &d) { return d ? d->toString() : QStringLiteral("нет"); }
} // namespace

class TestPricing : public QObject {
    Q_OBJECT
    int product = 0, kind = 0;

    // An operation whose norms have these prices (texts, as exact as the column keeps them)
    int operation(const QStringList &prices)
    {
        const int o = Seed::operation(product, kind, 0, QList<double>(prices.size() ? prices.size() : 1, 1.0));
        TestDb::exec(QString("update accounts_dep.norm set price = null where o_id = %1").arg(o));
        const auto ids = TestDb::rows(QString("select id from accounts_dep.norm where o_id = %1 order by id").arg(o));
        for (int i = 0; i < prices.size(); ++i)
            TestDb::exec(QString("update accounts_dep.norm set price = %1 where id = %2").arg(prices[i]).arg(ids[i][0].toInt()));
        return o;
    }

private slots:
    void initTestCase()
    {
        TestDb::ensureDatabase();
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QLatin1String(kConn));
        c.setHostName(TestDb::host());
        c.setDatabaseName(TestDb::databaseName());
        c.setUserName(QStringLiteral("sys"));
        c.setPassword(QStringLiteral("vomtuxa"));
        QVERIFY2(c.open(), qPrintable(c.lastError().text()));
        product = Seed::product("РК-128", Seed::group("Фурнитура"));
        kind = Seed::kind("Сборка");
    }

    // The smallest norm price, doubled on a day off, then raised for shift 3
    // or overtime; stored rounded to four places with ties to even. The sum
    // shown is the quantity at the unrounded price, rounded once.
    void entryPrice_data()
    {
        QTest::addColumn<QStringList>("norms");
        QTest::addColumn<int>("shift");
        QTest::addColumn<bool>("dayOff");
        QTest::addColumn<qint64>("quantity");
        QTest::addColumn<QString>("price");
        QTest::addColumn<QString>("sum");
        const QStringList ten{"10"};
        QTest::newRow("shift 1") << ten << 1 << false << qint64(3) << "10" << "30";
        QTest::newRow("shift 2") << ten << 2 << false << qint64(3) << "10" << "30";
        QTest::newRow("shift 3") << ten << 3 << false << qint64(3) << "12" << "36";
        QTest::newRow("day off, shift 3") << ten << 3 << true << qint64(1) << "24" << "24";
        QTest::newRow("overtime") << ten << 4 << false << qint64(1) << "15" << "15";
        QTest::newRow("day off, shift 1") << ten << 1 << true << qint64(1) << "20" << "20";
        QTest::newRow("day off, overtime") << ten << 4 << true << qint64(1) << "30" << "30";
        QTest::newRow("the smallest norm") << QStringList{"12", "10.5", "11"} << 1 << false << qint64(2) << "10.5" << "21";
        QTest::newRow("a norm without a price is no price") << QStringList{"7", "null"} << 1 << false << qint64(1) << "7" << "7";
        // 1.0288 x 1.2 = 1.23456
        QTest::newRow("editor's example") << QStringList{"1.0288"} << 3 << false << qint64(7) << "1.2346" << "8.6419";
        // ties, exact in decimals: to the even neighbour (round() would go up)
        QTest::newRow("tie down to even") << QStringList{"1.2347"} << 4 << false << qint64(1) << "1.852" << "1.852"; // 1.85205
        QTest::newRow("tie up to even") << QStringList{"1.2345"} << 4 << false << qint64(1) << "1.8518" << "1.8518"; // 1.85175
        QTest::newRow("tie, smallest price") << QStringList{"0.0003"} << 4 << false << qint64(0) << "0.0004" << "0"; // 0.00045
        // 0.2778 x 1.2 = 0.33336: three pieces are 1.00008, not 3 x 0.3334
        QTest::newRow("sum from the unrounded price") << QStringList{"0.2778"} << 3 << false << qint64(3) << "0.3334" << "1.0001";
        QTest::newRow("the most pieces") << QStringList{"0.0001"} << 1 << false << qint64(100000) << "0.0001" << "10";
        QTest::newRow("no norm price") << QStringList{"null"} << 1 << false << qint64(1) << "нет" << "нет";
    }
    void entryPrice()
    {
        QFETCH(QStringList, norms);
        QFETCH(int, shift);
        QFETCH(bool, dayOff);
        QFETCH(qint64, quantity);
        QFETCH(QString, price);
        QFETCH(QString, sum);
        const int o = operation(norms);
        const auto p = Pricing::entryPrice(QLatin1String(kConn), o, shift, dayOff);
        QCOMPARE(text(p ? std::optional<Decimal>(p->price) : std::nullopt), price);
        // the sum the editor shows, from the database and from the unrounded price it hands out
        Rows q = Gateway::run(QLatin1String(kConn), "select accounts_dep.entry_amount(?::int, ?::int, ?::boolean, ?::bigint)",
                              {o, shift, dayOff ? "true" : "false", quantity});
        Decimal dbSum;
        QVERIFY(q.next());
        QCOMPARE(text(Decimal::fromVariant(q.value(0), &dbSum) ? std::optional<Decimal>(dbSum) : std::nullopt), sum);
        if (p)
            QCOMPARE(Pricing::amount(p->exact, quantity).toString(), sum);
    }

    // An hour of housekeeping work: the kind's norm price, doubled on a day
    // off, then 20 % more at night; four places.
    void housekeepingPrice_data()
    {
        QTest::addColumn<QString>("norm");
        QTest::addColumn<bool>("dayOff");
        QTest::addColumn<bool>("night");
        QTest::addColumn<QString>("price");
        QTest::newRow("working day") << "150" << false << false << "150";
        QTest::newRow("day off") << "150" << true << false << "300";
        QTest::newRow("day off at night") << "150" << true << true << "360";
        QTest::newRow("night") << "123" << false << true << "147.6";
        QTest::newRow("four places") << "100.1234" << false << true << "120.1481"; // 120.14808
        QTest::newRow("no norm price") << "null" << false << false << "нет";
    }
    void housekeepingPrice()
    {
        QFETCH(QString, norm);
        QFETCH(bool, dayOff);
        QFETCH(bool, night);
        QFETCH(QString, price);
        TestDb::exec("update accounts_dep.norm set price = " + norm + " where o_id = 7777");
        QCOMPARE(text(Pricing::housekeepingPrice(QLatin1String(kConn), 7777, dayOff, night)), price);
        // a kind that is not an hours-paid one has no hour price
        QCOMPARE(text(Pricing::housekeepingPrice(QLatin1String(kConn), kind, dayOff, night)), QStringLiteral("нет"));
    }

    // What the windows show rounded on their own: four places, ties to even.
    void round4_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("rounded");
        QTest::newRow("tie down") << "1.85025" << "1.8502";
        QTest::newRow("tie up") << "1.85175" << "1.8518";
        QTest::newRow("just above a tie") << "1.234550000001" << "1.2346";
        QTest::newRow("just below a tie") << "1.234549999999" << "1.2345";
        QTest::newRow("tie at zero") << "0.00005" << "0";
        QTest::newRow("negative tie") << "-1.23445" << "-1.2344";
    }
    void round4()
    {
        QFETCH(QString, value);
        QFETCH(QString, rounded);
        QCOMPARE(Pricing::round4(dec(value)).toString(), rounded);
    }

    // A kind is a painting one by its own name, whatever the letter case
    void paintingKind_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("painting");
        QTest::newRow("lower case inside a word") << "Покраска" << true;
        QTest::newRow("upper case") << "КРАСКА СЕРАЯ" << true;
        QTest::newRow("another kind") << "Сборка" << false;
        QTest::newRow("latin look-alike") << "Kpacka" << false;
        QTest::newRow("no name") << "" << false;
    }
    void paintingKind()
    {
        QFETCH(QString, kind);
        QFETCH(bool, painting);
        QCOMPARE(Pricing::isPaintingKind(kind), painting);
    }
};

TABEL_TEST_MAIN(TestPricing)
#include "tst_pricing.moc"

#include "records/Pricing.h"

#include <QtTest>

namespace {
Decimal dec(const QString &text)
{
    Decimal d;
    if (!Decimal::parse(text, &d))
        qFatal("not a number: %s", qPrintable(text));
    return d;
}
} // namespace

class TestPricing : public QObject {
    Q_OBJECT
private slots:
    // The list price raised for a day off, then for shift 3 or overtime;
    // shown and written rounded to four places.
    void finalPrice_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("dayOff");
        QTest::addColumn<int>("shift");
        QTest::addColumn<QString>("rounded");
        QTest::newRow("shift 1") << "10" << false << 1 << "10";
        QTest::newRow("shift 2") << "10" << false << 2 << "10";
        QTest::newRow("day off, shift 3") << "10" << true << 3 << "24";
        QTest::newRow("overtime") << "10" << false << 4 << "15";
        QTest::newRow("day off, shift 1") << "10" << true << 1 << "20";
        QTest::newRow("shift 3") << "10" << false << 3 << "12";
        QTest::newRow("day off, overtime") << "10" << true << 4 << "30";
        QTest::newRow("a shift beyond 4 adds nothing") << "10" << false << 5 << "10";
        QTest::newRow("ordinary rounding") << "1.23456" << false << 1 << "1.2346";
        // ties, exact in decimals: to the even neighbour
        QTest::newRow("tie from a factor, down") << "1.2335" << false << 4 << "1.8502"; // 1.85025
        QTest::newRow("tie from a factor, up") << "1.2345" << false << 4 << "1.8518";   // 1.85175
        QTest::newRow("tie, day off and shift 3") << "0.5206875" << true << 3 << "1.2496"; // 1.24965
        QTest::newRow("just above a tie") << "1.234550000001" << false << 1 << "1.2346";
        QTest::newRow("just below a tie") << "1.234549999999" << false << 1 << "1.2345";
        QTest::newRow("tie at zero") << "0.00005" << false << 1 << "0";
        QTest::newRow("negative tie") << "-1.23445" << false << 1 << "-1.2344";
    }
    void finalPrice()
    {
        QFETCH(QString, base);
        QFETCH(bool, dayOff);
        QFETCH(int, shift);
        QFETCH(QString, rounded);
        QCOMPARE(Pricing::round4(Pricing::finalPrice(dec(base), dayOff, shift)).toString(), rounded);
    }

    // A sum is the quantity at the unrounded price, rounded once.
    void amount_data()
    {
        QTest::addColumn<QString>("price");
        QTest::addColumn<qint64>("quantity");
        QTest::addColumn<QString>("sum");
        QTest::newRow("editor's example") << "1.23456" << qint64(7) << "8.6419";
        QTest::newRow("unrounded price counts") << "0.33335" << qint64(3) << "1";  // not 3 x 0.3334
        QTest::newRow("nothing") << "12.5" << qint64(0) << "0";
        QTest::newRow("many pieces") << "0.0001" << qint64(2147483647) << "214748.3647";
    }
    void amount()
    {
        QFETCH(QString, price);
        QFETCH(qint64, quantity);
        QFETCH(QString, sum);
        QCOMPARE(Pricing::amount(dec(price), quantity).toString(), sum);
    }

    void hourPrice_data()
    {
        QTest::addColumn<QString>("norm");
        QTest::addColumn<bool>("dayOff");
        QTest::addColumn<bool>("night");
        QTest::addColumn<QString>("price");
        QTest::newRow("working day") << "150" << false << false << "150";
        QTest::newRow("day off at night") << "150" << true << true << "360";
        QTest::newRow("night") << "123" << false << true << "147.6";
        QTest::newRow("exact in decimals") << "0.1" << false << true << "0.12";
    }
    void hourPrice()
    {
        QFETCH(QString, norm);
        QFETCH(bool, dayOff);
        QFETCH(bool, night);
        QFETCH(QString, price);
        QCOMPARE(Pricing::hourPrice(dec(norm), dayOff, night).toString(), price);
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

QTEST_APPLESS_MAIN(TestPricing)
#include "tst_pricing.moc"

#include "app/Startup.h"
#include "app/TForm23.h"
#include "journal/TForm1.h"
#include "reports/MonthOverview.h"
#include "reports/MonthOverviewData.h"
#include "db/TDataModule6.h"
#include "printing/Painting.h"
#include "support/DialogDriver.h"
#include "support/Pdf.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "timesheets/TForm27.h"
#include "ui/Forms.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QValueAxis>
#include <QHeaderView>
#include <QTableWidget>
#include <QtTest>
#include <algorithm>

// A small month, March 2024 (the 2nd and 3rd a weekend), and one entry in
// February: three workers, one of them without hours, one timesheet cell
// planted one hour off its entries.
class TestMonthOverview : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    MonthOverview *w = nullptr;
    int a = 0, b = 0, c = 0;

    MonthOverviewData march() { return MonthOverviewData::read(TDataModule6::ConnectionName, 3, 2024); }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        w = app->forms.Overview;
        TestDb::clearData();
        const int g = Seed::group("Фурнитура"), p = Seed::product("РК-128", g);
        const int o = Seed::operation(p, Seed::kind("Сборка"), 0, {1.25});
        a = Seed::worker("Алексеев А.В."), b = Seed::worker("Борисов Б.Б."), c = Seed::worker("Васильев В.В.");
        auto entry = [&](const QDate &d, int shift, int worker, int kol, int brak, double cena, int time) {
            Seed::Entry e{d, shift, worker, p, o, kol, brak, cena, time};
            e.color = TestDb::scalar("select count(*) from accounts_dep.smena").toInt(); // no duplicates
            Seed::entry(e);
        };
        entry({2024, 2, 10}, 1, a, 10, 0, 2, 5);
        entry({2024, 3, 1}, 1, a, 100, 0, 1.25, 8);
        entry({2024, 3, 1}, 2, b, 40, 4, 0.333, 8); // 11.988
        entry({2024, 3, 2}, 4, a, 10, 0, 3.5, 4);
        entry({2024, 3, 4}, 3, b, 20, 0, 1.1, 6);
        entry({2024, 3, 4}, 1, c, 5, 0, 2, 0);
        entry({2024, 4, 1}, 1, a, 999, 0, 10, 8); // the next month
        Seed::shiftLine(a, 1, 3, 2024, {{1, 8}});
        Seed::shiftLine(a, 4, 3, 2024, {{2, 4}});
        Seed::shiftLine(b, 2, 3, 2024, {{1, 8}});
        Seed::shiftLine(b, 3, 3, 2024, {{4, 7}}); // the entries say 6
        Seed::shiftLine(a, 1, 2, 2024, {{10, 5}});
        // June: an entry of defects only, which the timesheet's rows count
        // and its "Сделка:" leaves out
        entry({2024, 6, 3}, 1, a, 10, 0, 2, 8);
        entry({2024, 6, 4}, 1, a, 0, 2, 5, 0);
        Seed::shiftLine(a, 1, 6, 2024, {{3, 8}});
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void daysAndShifts()
    {
        const MonthOverviewData o = march();
        QCOMPARE(o.days.size(), 31);
        const auto &d1 = o.days[0], &d2 = o.days[1], &d4 = o.days[3];
        QCOMPARE(d1.earnings[0].toFixed(2), QString("125.00"));
        QCOMPARE(d1.earnings[1].toFixed(2), QString("11.99"));
        QCOMPARE(d2.earnings[3].toFixed(2), QString("35.00"));
        QCOMPARE(d4.earnings[0].toFixed(2), QString("10.00"));
        QCOMPARE(d4.earnings[2].toFixed(2), QString("22.00"));
        QCOMPARE(MonthOverviewData::dayEarnings(o.days[2]).toFixed(2), QString("0.00"));
        QCOMPARE(d1.pieces, qint64(136));
        QCOMPARE(d2.pieces, qint64(10));
        QCOMPARE(d4.pieces, qint64(25));
        QVERIFY(!d1.weekend() && d2.weekend() && o.days[2].weekend() && !d4.weekend());
        QCOMPARE(d1.entryHours, qint64(16));
        QCOMPARE(d1.sheetHours, qint64(16));
        QCOMPARE(d4.entryHours, qint64(6));
        QCOMPARE(d4.sheetHours, qint64(7));
    }

    void earningsPerHour()
    {
        const MonthOverviewData o = march();
        QCOMPARE(o.rates.size(), 2);
        QCOMPARE(o.rates[0].name, QString("Алексеев А.В."));
        QCOMPARE(o.rates[0].perHour.toFixed(2), QString("13.33"));
        QCOMPARE(o.rates[0].hours, qint64(12));
        QCOMPARE(o.rates[1].name, QString("Борисов Б.Б."));
        QCOMPARE(o.rates[1].perHour.toFixed(2), QString("2.43"));
        QCOMPARE(o.workersWithoutHours, 1);
    }

    void topAndBottom()
    {
        MonthOverviewData o;
        for (int i = 0; i < 25; ++i)
            o.rates.append(MonthOverviewData::WorkerRate{i, QString::number(i), {}, 1, Printing::Decimal::fromInt(100 - i)});
        const auto shown = o.topAndBottom();
        QCOMPARE(shown.size(), 20);
        QCOMPARE(shown[14].worker, 14);
        QCOMPARE(shown[15].worker, 20);
        QCOMPARE(shown[19].worker, 24);
        o.rates.resize(18); // fewer than 20: each once
        QCOMPARE(o.topAndBottom().size(), 18);
    }

    void hoursThatDiffer()
    {
        const MonthOverviewData o = march();
        QCOMPARE(o.mismatches.size(), 1);
        QCOMPARE(o.mismatches[0].worker, b);
        QCOMPARE(o.mismatches[0].date, QDate(2024, 3, 4));
        QCOMPARE(o.mismatches[0].sheetHours, qint64(7));
        QCOMPARE(o.mismatches[0].entryHours, qint64(6));
        w->prepare({2024, 3, 15});
        QCOMPARE(w->MismatchList->count(), 1);
        QVERIFY(w->MismatchList->item(0)->text().contains("04.03.2024  Борисов Б.Б.: по табелю 7 ч., по записям 6 ч."));
    }

    void previousMonth_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("change");
        QTest::newRow("rise") << "20" << "203.99" << "+920.0 %";
        QTest::newRow("fall") << "200" << "150" << "-25.0 %";
        QTest::newRow("same") << "7" << "7" << "0.0 %";
        QTest::newRow("nothing before") << "0" << "5" << "—";
        QTest::newRow("nothing at all") << "0" << "0" << "0.0 %";
    }
    void previousMonth()
    {
        QFETCH(QString, before);
        QFETCH(QString, now);
        QFETCH(QString, change);
        Printing::Decimal x, y;
        QVERIFY(Printing::Decimal::parse(before, &x) && Printing::Decimal::parse(now, &y));
        QCOMPARE(MonthOverviewData::change(x, y), change);
    }
    void previousMonthTotals()
    {
        const MonthOverviewData o = march();
        // Васильев has no timesheet line, so nothing of his is paid
        QCOMPARE(o.current.earnings.toFixed(2), QString("193.99"));
        QCOMPARE(o.deal.toFixed(2), QString("203.99"));
        QCOMPARE(o.comparedDays, 0);
        QCOMPARE(o.compared.earnings.toFixed(2), QString("193.99"));
        QCOMPARE(o.compared.workers, 3);
        QCOMPARE(o.current.pieces, qint64(171));
        QCOMPARE(o.current.hours, qint64(26));
        QCOMPARE(o.current.workers, 3);
        QCOMPARE(o.previous.earnings.toFixed(2), QString("20.00"));
        QCOMPARE(o.previous.pieces, qint64(10));
        QCOMPARE(o.previous.hours, qint64(5));
        QCOMPARE(o.previous.workers, 1);
    }

    // The overview's earnings are the sum of the piecework timesheet's rows;
    // where "Сделка:" differs, the overview says by how much and why.
    void equalsThePieceworkTimesheet_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<QString>("earnings");
        QTest::addColumn<QString>("deal");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("a worker without a timesheet line")
            << 3 << "193.99" << "203.99"
            << QStringList{"«Сделка:» в табеле сдельщиков — 203.99 р., на 10.00 р. больше: в строках табеля сумма каждого рабочего "
                           "округлена до копеек и нет рабочих без строки табеля за месяц."};
        QTest::newRow("an entry of defects only")
            << 6 << "10.00" << "20.00"
            << QStringList{"«Сделка:» в табеле сдельщиков — 20.00 р., на 10.00 р. больше: в «Сделка:» не входят записи без годных "
                           "штук (только брак) или без цены, а в строках табеля они есть."};
    }
    void equalsThePieceworkTimesheet()
    {
        QFETCH(int, month);
        QFETCH(QString, earnings);
        QFETCH(QString, deal);
        QFETCH(QStringList, said);
        w->prepare({2024, month, 15});
        const MonthOverviewData &o = w->data();
        QCOMPARE(o.current.earnings.toFixed(2), earnings);
        TForm27 *t = app->forms.Form27;
        t->prepare(9, {2024, month, 15});
        QCOMPARE(t->DBText2->text(), deal);
        Dataset *q = t->query();
        Printing::Decimal rows;
        for (int r = 0; r < q->recordCount(); ++r) {
            Printing::Decimal row;
            QVERIFY(Printing::Decimal::fromVariant(q->valueAt(r, "f_price"), &row));
            rows += row;
            const int id = q->valueAt(r, "id").toInt();
            const auto it = std::find_if(o.rates.begin(), o.rates.end(), [&](const auto &x) { return x.worker == id; });
            QVERIFY(it != o.rates.end());
            QCOMPARE(it->earnings.toFixed(2), q->valueAt(r, "f_price").toString());
            QCOMPARE(it->perHour.toFixed(2), q->valueAt(r, "average_price").toString());
            QCOMPARE(QString::number(it->hours), q->valueAt(r, "i_time").toString());
        }
        t->closeDown();
        QCOMPARE(rows.toFixed(2), earnings);
        QVERIFY2(w->EarningsNote->text().startsWith(
                     QString("Заработок за месяц (сумма строк табеля сдельщиков): %1 р.").arg(earnings)),
                 qPrintable(w->EarningsNote->text()));
        const QString pdf = Pdf::text(w->document()).simplified();
        for (const QString &text : said) {
            QVERIFY2(w->EarningsNote->text().contains(text), qPrintable(w->EarningsNote->text()));
            QVERIFY2(pdf.contains(text), qPrintable(pdf));
        }
    }

    // Lines stop at today in the running month, and none is drawn for a
    // month to come; the comparison covers the same days of both months.
    void daysToCome_data()
    {
        QTest::addColumn<int>("monthsAhead");
        QTest::addColumn<int>("drawn");
        const QDate today = QDate::currentDate();
        QTest::newRow("last month") << -1 << today.addMonths(-1).daysInMonth();
        QTest::newRow("this month") << 0 << today.day();
        QTest::newRow("next month") << 1 << 0;
    }
    void daysToCome()
    {
        QFETCH(int, monthsAhead);
        QFETCH(int, drawn);
        const QDate day = QDate::currentDate().addMonths(monthsAhead);
        w->prepare(day);
        const MonthOverviewData &o = w->data();
        QCOMPARE(o.drawnDays(), drawn);
        for (int chart : {0, 2}) {
            std::unique_ptr<QChart> c(MonthOverview::makeChart(chart, o));
            for (QAbstractSeries *series : c->series())
                if (auto *line = qobject_cast<QLineSeries *>(series); line && series->type() == QAbstractSeries::SeriesTypeLine)
                    QCOMPARE(line->count(), drawn);
        }
        const bool running = monthsAhead == 0 && day.day() < day.daysInMonth();
        QCOMPARE(o.comparedDays, running ? day.day() : 0);
        const QString before = w->ComparisonTable->horizontalHeaderItem(1)->text();
        if (running) {
            QVERIFY2(before.endsWith(QString(", 1–%1").arg(qMin(day.day(), day.addMonths(-1).daysInMonth()))), qPrintable(before));
            QVERIFY(w->ComparisonNote->text().contains(QString("с 1-го по %1-е").arg(day.day())));
        } else {
            QVERIFY(!before.contains("–"));
        }
    }

    // The same days of the month before: its later days are left out.
    void comparedOverTheSameDays()
    {
        const QDate today = QDate::currentDate();
        if (today.day() == today.daysInMonth())
            QSKIP("on the last day of a month the whole months are compared");
        const QDate first(today.year(), today.month(), 1), before = first.addMonths(-1);
        const int g = Seed::group("Сравнение"), p = Seed::product("СР-1", g);
        const int op = Seed::operation(p, Seed::kind("Сравнение"), 0, {1});
        const int x = Seed::worker("Сравнов С.С.");
        Seed::Entry early{before, 1, x, p, op, 10, 0, 1.0, 8};
        Seed::entry(early);
        Seed::Entry late{before.addDays(before.daysInMonth() - 1), 1, x, p, op, 1000, 0, 1.0, 8};
        late.color = 1;
        Seed::entry(late);
        Seed::Entry now{first, 1, x, p, op, 30, 0, 1.0, 8};
        Seed::entry(now);
        Seed::shiftLine(x, 1, before.month(), before.year(), {{1, 8}});
        Seed::shiftLine(x, 1, first.month(), first.year(), {{1, 8}});
        w->prepare(today);
        const MonthOverviewData o = w->data();
        QCOMPARE(o.previous.pieces, qint64(before.daysInMonth() <= today.day() ? 1010 : 10));
        QCOMPARE(o.compared.pieces, qint64(30));
        TestDb::exec(QString("delete from accounts_dep.smena where w_id=%1").arg(x));
        TestDb::exec(QString("delete from accounts_dep.h_tabel where w_id=%1").arg(x));
    }

    // A chart that leaves workers out says how many it shows.
    void hourlyChartSaysHowManyItShows()
    {
        const int g = Seed::group("Часы"), p = Seed::product("ЧС-1", g);
        const int op = Seed::operation(p, Seed::kind("Часы"), 0, {1});
        for (int i = 0; i < 22; ++i)
            Seed::entry(Seed::Entry{{2024, 7, 1}, 1, Seed::worker(QString("Рабочий %1").arg(i, 2, 10, QChar('0'))), p, op, 10 + i, 0, 1.0, 8});
        w->prepare({2024, 7, 1});
        const QString said = "Показаны 20 из 22 рабочих с часами: 15 с наибольшим и 5 с наименьшим заработком в час.";
        QCOMPARE(w->RateNote->text(), said);
        QVERIFY(Pdf::text(w->document()).simplified().contains(said));
    }

    void menuByRole_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("administrator") << "7264" << true;
        QTest::newRow("econom") << "econom" << true;
        QTest::newRow("masters") << "masters" << false;
        QTest::newRow("sklad") << "sklad" << false;
    }
    void menuByRole()
    {
        QFETCH(QString, code);
        QFETCH(bool, enabled);
        TForm1 *j = app->forms.Form1;
        j->MonthOverviewItem->setEnabled(true);
        app->forms.Form23->Edit1->setText(code);
        QVERIFY(app->forms.Form23->signIn(false));
        QCOMPARE(j->MonthOverviewItem->isEnabled(), enabled);
        QCOMPARE(j->MonthOverviewItem->text(), QString("Обзор месяца"));
    }

    void emptyMonth()
    {
        ScriptedDialogs dialogs;
        w->prepare({2024, 5, 10});
        QVERIFY(w->data().isEmpty());
        QCOMPARE(w->data().days.size(), 31);
        QCOMPARE(w->NoticeLabel->text(), QString("За май 2024 записей нет."));
        QVERIFY(dialogs.shown.isEmpty());
        // an empty chart's value axes show no numbers (not 0, 0, 0, 1, 1, 1)
        for (int chart : {0, 1, 2}) {
            std::unique_ptr<QChart> c(MonthOverview::makeChart(chart, w->data()));
            for (QAbstractAxis *axis : c->axes())
                if (auto *v = qobject_cast<QValueAxis *>(axis); v && v->titleText() != "День месяца")
                    QVERIFY2(!v->labelsVisible(), qPrintable(v->titleText()));
        }
        const Printing::Document doc = w->document();
        QCOMPARE(doc.pages.size(), 4);
        QCOMPARE(doc.orientation, QPageLayout::Landscape);
        const QString text = Pdf::text(doc);
        QVERIFY2(text.contains("Обзор месяца: Май 2024. Выработка и заработок по дням"), qPrintable(text));
        QVERIFY(text.contains("За месяц записей нет."));
        QVERIFY(text.contains("Страница 4 из 4"));
    }

    void fullMonthPdfAndPng()
    {
        ScriptedDialogs dialogs;
        w->prepare({2024, 3, 1});
        QVERIFY(w->NoticeLabel->text().isEmpty());
        const QString pdf = w->savePdf();
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(dialogs.opened, QStringList{pdf});
        QCOMPARE(dialogs.texts(), QStringList{"Записано в файл " + QDir::toNativeSeparators(pdf)});
        // a second press keeps the first file and says where the new one is
        const QByteArray first = [&] { QFile f(pdf); f.open(QIODevice::ReadOnly); return f.readAll(); }();
        const QString again = w->savePdf();
        QCOMPARE(QFileInfo(again).fileName(), QString("Обзор месяца 2024-03 (2).pdf"));
        QCOMPARE(QFileInfo(again).absolutePath(), QFileInfo(pdf).absolutePath());
        QVERIFY(dialogs.texts().last().endsWith(QDir::toNativeSeparators(again)));
        QCOMPARE([&] { QFile f(pdf); f.open(QIODevice::ReadOnly); return f.readAll(); }(), first);
        QFile::remove(again);
        const QString text = Pdf::text(pdf);
        QCOMPARE(text.count(QChar('\f')), 4);
        for (const char *s : {"Обзор месяца: Март 2024. Заработок в час по рабочим", "Заработок (сумма строк табеля сдельщиков): 193.99 р., штук: 171",
                              "Рабочих без часов (не показаны): 1", "Дней рабочих с расхождением часов: 1",
                              "Заработок, р.: 20.00 → 193.99", "Рабочих: 1 → 3 (+200.0 %)", "Страница 1 из 4"})
            QVERIFY2(text.contains(QString::fromUtf8(s)), s);
        // each worker's rate with two decimals, as money is shown everywhere
        {
            std::unique_ptr<QChart> c(MonthOverview::makeChart(1, w->data(), true));
            const QStringList names = qobject_cast<QBarCategoryAxis *>(c->axes(Qt::Vertical).first())->categories();
            QVERIFY(!names.isEmpty());
            for (const QString &n : names)
                QVERIFY2(QRegularExpression(": [0-9]+\\.[0-9]{2} р\\.$").match(n).hasMatch(), qPrintable(n));
        }
        // the chart itself is on the page as a picture
        QVERIFY(!w->document().pages[0].images.value(0).image.isNull());

        w->ChartTabs->setCurrentIndex(2);
        const QString png = w->savePng();
        QVERIFY(!png.isEmpty());
        QImage shot(png);
        QVERIFY(shot.width() >= 900 && shot.height() >= 400);
        // a screenshot of the whole window for a person to look at
        const QString dir = qEnvironmentVariable("MONTH_OVERVIEW_SHOTS");
        if (!dir.isEmpty()) {
            w->resize(1200, 760);
            for (int i = 0; i < MonthOverview::ChartCount; ++i) {
                w->ChartTabs->setCurrentIndex(i);
                w->grab().save(QString("%1/overview-%2.png").arg(dir).arg(i + 1));
            }
            // the printed pages as well
            Printing::writePdf(w->document(), dir + "/overview.pdf");
        }
    }
};

TABEL_TEST_MAIN(TestMonthOverview)
#include "tst_month_overview.moc"

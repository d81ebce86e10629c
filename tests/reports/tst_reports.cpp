#include "app/Startup.h"
#include "app/TForm23.h"
#include "reports/AuditReport.h"
#include "reports/TForm18.h"
#include "db/TDataModule6.h"
#include "support/DialogDriver.h"
#include "support/Pdf.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "support/Xlsx.h"
#include "spreadsheet/Excel.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace Printing;

class TestReports : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TForm18 *r = nullptr;

    QStringList lines(const Document &d)
    {
        QStringList all;
        for (const Page &p : d.pages)
            all << p.plainText().split('\n');
        return all;
    }
    // Presses a report button and returns the report it previewed.
    Document press(QPushButton *button)
    {
        ScriptedDialogs dialogs;
        button->click();
        [&] { QCOMPARE(dialogs.previews.size(), 1); }();
        return dialogs.previews.value(0);
    }
    void period(const QDate &from, const QDate &to)
    {
        r->DTPicker1->setDate(from);
        r->DTPicker2->setDate(to);
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        r = app->forms.Form18;
    }
    // Two workers, two nomenclature groups, finished products and blanks,
    // colours 0, 1 and 5; entries just outside the period on both sides.
    void init()
    {
        TestDb::clearData();
        const int cases = Seed::group("Корпуса"), parts = Seed::group("Фурнитура");
        const int kr = Seed::product("КР-10", cases, 2), ab = Seed::product("АБ-1", cases, 1), rk = Seed::product("РК-128", parts, 0.5);
        const int assembly = Seed::kind("Сборка"), paint = Seed::kind("Покраска");
        const int o1 = Seed::operation(kr, assembly, 0, {10}), o2 = Seed::operation(ab, paint, 1, {0.1}),
                  o3 = Seed::operation(rk, assembly, 0, {2.5});
        const int b = Seed::worker("Борисов Б.Б."), a = Seed::worker("Алексеев А.В.");
        auto entry = [](const QDate &d, int w, int p, int o, int kol, int brak, double cena, int color) {
            Seed::Entry e{d, 1, w, p, o, kol, brak, cena};
            e.color = color;
            Seed::entry(e);
        };
        entry({2024, 3, 1}, a, kr, o1, 100, 0, 10, 0);
        entry({2024, 3, 15}, a, rk, o3, 10, 2, 2.5, 1);
        entry({2024, 3, 31}, b, ab, o2, 30, 0, 0.1, 5);
        entry({2024, 3, 20}, b, rk, o3, 5, 1, 10, 1);
        entry({2024, 4, 1}, a, kr, o1, 999, 0, 10, 0);  // the excluded end date
        entry({2024, 2, 29}, b, kr, o1, 777, 0, 10, 0); // before the period
        period({2024, 3, 1}, {2024, 4, 1});
        r->setProductKind(0);
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void presetPeriod_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::newRow("January") << QDate(2025, 1, 15) << QDate(2024, 12, 1) << QDate(2025, 1, 1);
        QTest::newRow("March 31") << QDate(2024, 3, 31) << QDate(2024, 2, 1) << QDate(2024, 3, 1);
        QTest::newRow("December 1") << QDate(2024, 12, 1) << QDate(2024, 11, 1) << QDate(2024, 12, 1);
    }
    void presetPeriod()
    {
        QFETCH(QDate, today);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        r->presetPeriod(today);
        QCOMPARE(r->DTPicker1->date(), from);
        QCOMPARE(r->DTPicker2->date(), to);
    }

    // Each report's rows, groups, footers and totals as printed, in order.
    void reports_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("want");
        QTest::newRow("by workers") << "Button4" << QStringList{
            "   Отчет по рабочим за период с 01.03.2024 по 01.04.2024",
            "Алексеев А.В.\tСумма с Р/К",
            "Корпуса",
            "Готовая продукция\tСборка\t100\t1000.000",
            "100\t1000.000\t1200.000",
            "Фурнитура",
            "Готовая продукция\tСборка\t (грунт)\t8\t20.000",
            "8\t20.000\t24.000",
            "1020.00\t1224.00",
            "Борисов Б.Б.\tСумма с Р/К",
            "Корпуса",
            "Заготовки\tПокраска\t (RAL: 5)\t30\t3.000",
            "30\t3.000\t3.600",
            "Фурнитура",
            "Готовая продукция\tСборка\t (грунт)\t4\t40.000",
            "4\t40.000\t48.000",
            "43.00\t51.60",
            "Итого:\t1063.00\t1275.60",
            "1"};
        // two rows of one group come in no set order: they are compared sorted
        QTest::newRow("by products") << "Button2" << QStringList{
            "   Отчет по продукции за период с 01.03.2024 по 01.04.2024",
            "Коробки\tКоличество",
            "Корпуса",
            "Готовая продукция\tСборка\t200\t100",
            "Заготовки\tПокраска\t (RAL: 5)\t30\t30",
            "230\t130",
            "Фурнитура",
            "Готовая продукция\tСборка\t (грунт)\t6\t12",
            "6\t12",
            "Итого:\t236\t142",
            "1"};
        QTest::newRow("detailed by workers") << "Button1" << QStringList{
            "   Детальный отчет по рабочим за период с 01.03.2024 по 01.04.2024",
            "Брак\tКоличество\tСумма",
            "Алексеев А.В.",
            "КР-10\tСборка\t0\tГотовая продукция\t0\t100\t1000.00",
            "РК-128\tСборка\t1\tГотовая продукция\t2\t10\t20.00",
            "2\t110\t1020.00",
            "Борисов Б.Б.",
            "АБ-1\tПокраска\t5\tЗаготовки\t0\t30\t3.00",
            "РК-128\tСборка\t1\tГотовая продукция\t1\t5\t40.00",
            "1\t35\t43.00",
            "Итого:\t3\t145\t1063.00",
            "1"};
        QTest::newRow("detailed by products") << "Button3" << QStringList{
            "   Детальный отчет по продукции за период с 01.03.2024 по 01.04.2024",
            "Брак\tКоробки\tКол-во\tСумма",
            "Корпуса",
            "АБ-1\tПокраска\t5\tЗаготовки\t0\t30\t30\t3.000",
            "КР-10\tСборка\t0\tГотовая продукция\t0\t200\t100\t1000.000",
            "0\t230.00\t130\t1003.00",
            "Фурнитура",
            "РК-128\tСборка\t1\tГотовая продукция\t3\t7.5\t15\t60.000",
            "3\t7.50\t15\t60.00",
            "Итого:\t3\t237.5\t145\t1063.00",
            "1"};
    }
    void reports()
    {
        QFETCH(QString, button);
        QFETCH(QStringList, want);
        QPushButton *b = r->findChild<QPushButton *>(button);
        const Document d = press(b);
        QCOMPARE(d.orientation, QPageLayout::Portrait);
        QStringList got = lines(d);
        if (button == "Button2" && got.size() > 4)
            std::sort(got.begin() + 3, got.begin() + 5);
        QCOMPARE(got, want);
        QVERIFY(b->isEnabled());
    }

    // A worker whose rows run over a page break is headed once, where his
    // group begins; his footer still sums the rows of both pages.
    void groupHeaderOncePerGroup()
    {
        TestDb::clearData();
        const int g = Seed::group("Корпуса"), p = Seed::product("КР-10", g), k = Seed::kind("Сборка");
        const int o = Seed::operation(p, k, 0, {1}), w = Seed::worker("Алексеев А.В.");
        for (int colour = 2; colour < 72; ++colour) {
            Seed::Entry e{{2024, 3, 5}, 1, w, p, o, 1, 0, 1.0};
            e.color = colour;
            Seed::entry(e);
        }
        const Document d = press(r->Button4);
        QVERIFY(d.pages.size() > 1);
        const QStringList got = lines(d);
        QCOMPARE(got.count("Алексеев А.В.\tСумма с Р/К"), 1);
        QCOMPARE(got.count("Корпуса"), 1);
        QVERIFY(got.contains("70\t70.000\t84.000"));
        QVERIFY(got.contains("70.00\t84.00"));
    }

    // "Заготовки" keeps only blanks, in the reports and the export alike;
    // "Все" takes the filter off again before the next report.
    void productFilter()
    {
        r->RadioGroup1Items[2]->setChecked(true);
        QCOMPARE(lines(press(r->Button4)),
                 (QStringList{"   Отчет по рабочим за период с 01.03.2024 по 01.04.2024", "Борисов Б.Б.\tСумма с Р/К", "Корпуса",
                              "Заготовки\tПокраска\t (RAL: 5)\t30\t3.000", "30\t3.000\t3.600", "3.00\t3.60",
                              "Итого:\t3.00\t3.60", "1"}));
        {
            ScriptedDialogs dialogs;
            r->Button6->click();
            QCOMPARE(r->Button6->text(), QString("Excel (1 из 1)"));
            const Xlsx::Sheet s = Xlsx::read(dialogs.opened.value(0));
            QVERIFY(s.ok);
            QCOMPARE(s.value("B2"), QString("Покраска (цвет: 5)"));
            QVERIFY(!s.cells.contains("A3"));
        }
        r->RadioGroup1Items[1]->setChecked(true);
        QVERIFY(!lines(press(r->Button1)).join('\n').contains("Заготовки"));
        r->RadioGroup1Items[0]->setChecked(true);
        QCOMPARE(lines(press(r->Button4)).value(17), QString("Итого:\t1063.00\t1275.60"));
    }

    // "sklad" sees the product reports of finished products only.
    void skladSeesFinishedProducts()
    {
        app->forms.Form23->Edit1->setText("sklad");
        QVERIFY(app->forms.Form23->signIn(false));
        QVERIFY(!r->RadioGroup1->isEnabled());
        QVERIFY(!r->Button4->isEnabled() && !r->Button6->isEnabled());
        const QString text = lines(press(r->Button3)).join('\n');
        for (QPushButton *b : {r->Button1, r->Button2, r->Button4, r->Button6})
            b->setEnabled(true);
        r->RadioGroup1->setEnabled(true);
        QVERIFY(text.contains("КР-10"));
        QVERIFY(!text.contains("Заготовки"));
        QVERIFY(!text.contains("АБ-1"));
    }

    void exportSummary()
    {
        ScriptedDialogs dialogs;
        r->Button6->click();
        QCOMPARE(r->Button6->text(), QString("Excel (3 из 3)"));
        QVERIFY(r->Button6->isEnabled());
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(dialogs.opened.size(), 1);
        const Xlsx::Sheet s = Xlsx::read(dialogs.opened.first());
        QVERIFY(s.ok);
        QStringList rows;
        for (int row = 1; row <= 4; ++row) {
            QStringList cells;
            for (const char *col : {"A", "B", "C", "D", "E"})
                cells << s.value(QString("%1%2").arg(col).arg(row));
            rows << cells.join('|');
        }
        std::sort(rows.begin() + 1, rows.begin() + 3); // one nomenclature group: no set order
        QCOMPARE(rows, (QStringList{"Наименование|Операция|Вид продукции|Коробки|Кол-во",
                                    "Корпуса|Покраска (цвет: 5)|Заготовки|30|30",
                                    "Корпуса|Сборка|Готовая продукция|200|100",
                                    "Фурнитура|Сборка (грунт)|Готовая продукция|6|12"}));
        QCOMPARE(s.cells.value("D4").type, QString("n"));
        QVERIFY(!s.cells.contains("A5"));
    }

    // Without a place for the workbook the export stops after the message,
    // with its query closed and the button usable again.
    void exportCannotStart()
    {
        ScriptedDialogs dialogs;
        const QString before = r->Button6->text();
        Excel::setDocumentsFolder("/proc/no-such-folder");
        r->Button6->click();
        Excel::setDocumentsFolder(QString());
        QCOMPARE(dialogs.texts(), QStringList{"Ошибка открытия файла Microsoft Excel."});
        QVERIFY(dialogs.opened.isEmpty());
        QCOMPARE(r->Button6->text(), before);
        QVERIFY(r->Button6->isEnabled());
        QVERIFY(!r->XLS_Rep.isOpen());
    }

    // An empty period still prints each report, headings and zero totals,
    // without a detail row; read back from the PDF.
    void emptyPeriod_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("total");
        QTest::newRow("by workers") << "Button4" << "Итого: +0.00 +0.00";
        QTest::newRow("by products") << "Button2" << "Итого: +0 +0";
        QTest::newRow("detailed by workers") << "Button1" << "Итого: +0 +0 +0.00";
        QTest::newRow("detailed by products") << "Button3" << "Итого: +0 +0 +0 +0.00";
    }
    void emptyPeriod()
    {
        QFETCH(QString, button);
        QFETCH(QString, total);
        period({2020, 1, 1}, {2020, 2, 1});
        const Document d = press(r->findChild<QPushButton *>(button));
        QCOMPARE(d.pages.size(), 1);
        const QString text = Pdf::text(d);
        QVERIFY2(text.contains("за период с 01.01.2020 по 01.02.2020"), qPrintable(text));
        QVERIFY2(text.contains(QRegularExpression(total)), qPrintable(text));
        for (const char *absent : {"Алексеев", "Корпуса", "Сборка"})
            QVERIFY2(!text.contains(QString::fromUtf8(absent)), absent);
    }

    // "Журнал изменений" over the widest period the date fields accept shows
    // every record, the first and the last day's included.
    void changesOverTheWidestPeriod()
    {
        const QString conn = app->forms.DataModule6->connectionName();
        TestDb::signInAs(conn, "administrator");
        TestDb::exec("insert into accounts_dep.audit (at, user_name, user_role, workstation, outside, action, tbl, row_key) values "
                     "('1752-09-14 00:00:00+00', 'a', 'administrator', '', false, 'импорт', null, ''), "
                     "('2024-03-01 00:00:00+00', 'b', 'administrator', '', false, 'закрытие месяца', null, '2024-03'), "
                     "('9999-12-31 20:00:00+00', 'c', 'administrator', '', false, 'импорт', null, '')");
        const int all = TestDb::scalar("select count(*) from accounts_dep.audit").toInt();
        AuditReport report(conn);
        QCOMPARE(report.FromDate->minimumDate(), QDate(1752, 9, 14));
        QCOMPARE(report.ToDate->maximumDate(), QDate(9999, 12, 31));
        const QList<AuditReport::Row> rows =
            AuditReport::readPage(conn, report.FromDate->minimumDate(), report.ToDate->maximumDate(), {}, all + 10);
        QCOMPARE(rows.size(), all);
        QVERIFY2(rows.first().who.startsWith("a ("), qPrintable(rows.first().who));
        QVERIFY2(rows.last().who.startsWith("c ("), qPrintable(rows.last().who));
    }
};

TABEL_TEST_MAIN(TestReports)
#include "tst_reports.moc"

#include "app/Startup.h"
#include "printing/Painting.h"
#include "support/DialogDriver.h"
#include "support/Pdf.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "timesheets/TForm15.h"

#include <QtTest>

using namespace Printing;

class TestPrintedTimesheet : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TForm15 *t = nullptr;

    Document print(int month, int year, const QString &heading)
    {
        ScriptedDialogs dialogs;
        t->printMonth(month, year, heading);
        [&] { QCOMPARE(dialogs.previews.size(), 1); }();
        return dialogs.previews.value(0);
    }
    // What the row of `fio` shows under the heading label `column`
    static QString under(const Page &p, const QString &fio, const QString &column)
    {
        const TextItem *row = nullptr, *head = nullptr;
        for (const TextItem &i : p.texts) {
            if (i.text == fio)
                row = &i;
            if (i.text == column && i.bold && !head)
                head = &i;
        }
        if (!row || !head)
            return "?";
        for (const TextItem &i : p.texts)
            if (qAbs(i.rect.top() - row->rect.top()) < 0.01 && qAbs(i.rect.center().x() - head->rect.center().x()) < 0.01)
                return i.text;
        return QString();
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        t = app->forms.Form15;
    }
    void init() { TestDb::clearData(); }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    // Every line of the month adds into the worker's day: shifts 1 and 4,
    // housekeeping day and night lines; two persons of one name are one row.
    void linesAddUpPerDay()
    {
        const int a = Seed::worker("Алексеев А.В.");
        const int b = Seed::worker("Борисов Б.Б.");
        const int b2 = Seed::worker("Борисов Б.Б.");
        Seed::shiftLine(a, 1, 3, 2024, {{5, 8}, {31, 8}});
        Seed::shiftLine(a, 4, 3, 2024, {{5, 4}});
        TestDb::exec(QString("insert into accounts_dep.h_tabel (w_id, smena, i_type, i_night, month, year, d6, d7)"
                             " values (%1, 0, 7777, 0, 3, 2024, 3, 2), (%1, 0, 7778, 1, 3, 2024, null, 5)").arg(a));
        Seed::shiftLine(b, 2, 3, 2024, {{1, 7}});
        Seed::shiftLine(b2, 3, 3, 2024, {{1, 1}, {2, 6}});
        Seed::shiftLine(a, 1, 4, 2024, {{5, 11}}); // another month

        const Document d = print(3, 2024, "Март 2024 г.");
        QCOMPARE(d.orientation, QPageLayout::Landscape);
        QCOMPARE(d.pages.size(), 1);
        const Page &p = d.pages[0];
        const QStringList rows = p.plainText().split('\n');
        QCOMPARE(rows.value(0).section('\t', 0, 0), QString("Март 2024 г."));
        QCOMPARE(rows.value(0).section('\t', 1), QString("1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\t13\t14\t15\t16\t17\t18\t19\t20\t21\t22\t23\t24\t25\t26\t27\t28\t29\t30\t31\tИтого"));
        QCOMPARE(rows.size(), 4); // heading, two workers, page number
        QCOMPARE(rows.value(3), QString("1"));

        struct Cell {
            const char *fio, *column, *shown;
        };
        const Cell cells[] = {
            {"Алексеев А.В.", "5", "12"}, {"Алексеев А.В.", "6", "3"}, {"Алексеев А.В.", "7", "7"},
            {"Алексеев А.В.", "31", "8"}, {"Алексеев А.В.", "4", ""},  {"Алексеев А.В.", "Итого", "30"},
            {"Борисов Б.Б.", "1", "8"},   {"Борисов Б.Б.", "2", "6"},  {"Борисов Б.Б.", "Итого", "14"},
        };
        for (const Cell &c : cells)
            QVERIFY2(under(p, QString::fromUtf8(c.fio), QString::fromUtf8(c.column)) == QString::fromUtf8(c.shown),
                     qPrintable(QString("%1 / %2").arg(QString::fromUtf8(c.fio), QString::fromUtf8(c.column))));
        QVERIFY(!t->H_Tabel.isOpen());
    }

    // A month without lines still prints its heading and page number; read
    // as a reader of the PDF sees it.
    void emptyMonthPrintsHeadingOnly()
    {
        Seed::shiftLine(Seed::worker("Алексеев А.В."), 1, 2, 2024, {{5, 8}});
        const Document d = print(3, 2024, "Март 2024 г.");
        QCOMPARE(d.pages.size(), 1);
        QCOMPARE(d.pages[0].plainText().split('\n').size(), 2);
        const QString text = Pdf::text(d);
        QVERIFY2(text.contains("Март 2024 г."), qPrintable(text));
        QVERIFY(text.contains(QRegularExpression("1 +2 +3 .* 30 +31 +Итого")));
        QVERIFY(!text.contains("Алексеев"));
    }

    // A plant's month runs over pages, each starting with the heading.
    void headingOnEveryPage()
    {
        for (int i = 0; i < 60; ++i)
            Seed::shiftLine(Seed::worker(QString("Рабочий %1").arg(i, 2, 10, QChar('0'))), 1, 3, 2024, {{1, 8}});
        const Document d = print(3, 2024, "Март 2024 г.");
        QVERIFY(d.pages.size() >= 2);
        for (int i = 0; i < d.pages.size(); ++i) {
            const QStringList rows = d.pages[i].plainText().split('\n');
            QVERIFY(rows.first().startsWith("Март 2024 г.\t1\t2\t3"));
            QCOMPARE(rows.last(), QString::number(i + 1));
        }
        if (!qEnvironmentVariableIsEmpty("TABEL_SHOTS"))
            QVERIFY(writePdf(d, qEnvironmentVariable("TABEL_SHOTS") + "/timesheet.pdf"));
    }
};

TABEL_TEST_MAIN(TestPrintedTimesheet)
#include "tst_printed_timesheet.moc"

#include "app/Startup.h"
#include "db/TDataModule6.h"
#include "reports/MonthOverview.h"
#include "reports/MonthOverviewData.h"
#include "support/DialogDriver.h"
#include "support/Pdf.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "timesheets/TForm19.h"
#include "timesheets/TForm27.h"
#include "ui/DatasetModel.h"
#include "ui/Forms.h"

#include <QLabel>
#include <QtTest>

// Rows stored before the database limited what an entry holds, written by
// the owner directly: the largest quantity a column takes at a real price,
// and an hour price as large as its column keeps. Every timesheet and the
// month overview still open, show them and print, with their sums exact.
class TestStoredBeforeLimits : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    int worker = 0;

    // 2147483647 x 12.3456 + 10 x 1.5
    static QString entriesSum() { return QStringLiteral("26511974127.40"); }
    // 24 hours at 99999999999.9999
    static QString hoursSum() { return QStringLiteral("2400000000000.00"); }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        TestDb::clearData();
        worker = Seed::worker("Алексеев А.В.");
        const int p = Seed::product("РК-128", Seed::group("Фурнитура"));
        const int o = Seed::operation(p, Seed::kind("Сборка"), 0, {1.5});
        Seed::Entry huge{{2024, 3, 5}, 1, worker, p, o, 2147483647, 0, 12.3456, 8};
        Seed::entry(huge);
        Seed::Entry usual{{2024, 3, 6}, 1, worker, p, o, 10, 0, 1.5, 8};
        Seed::entry(usual);
        Seed::shiftLine(worker, 1, 3, 2024, {{5, 8}, {6, 8}});
        TestDb::exec(QString("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, price, i_night) "
                             "values (7777, %1, 0, '2024-03-07', 3, 2024, 1, 24, 99999999999.9999, 0)")
                         .arg(worker));
        TestDb::exec(QString("insert into accounts_dep.h_tabel (w_id, month, year, smena, i_type, i_night, d7) "
                             "values (%1, 3, 2024, 0, 7777, 0, 24)")
                         .arg(worker));
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void payTimesheets_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("hours");
        QTest::addColumn<QString>("earnings");
        QTest::addColumn<QString>("perHour"); // empty: the mode shows no rate
        QTest::newRow("piecework") << 9 << "16" << entriesSum() << "1656998382.96";
        QTest::newRow("housekeeping") << 14 << "24" << hoursSum() << "100000000000.00";
        QTest::newRow("general") << 17 << "40" << "2426511974127.40" << "";
    }
    void payTimesheets()
    {
        QFETCH(int, mode);
        QFETCH(QString, hours);
        QFETCH(QString, earnings);
        QFETCH(QString, perHour);
        ScriptedDialogs dialogs;
        TForm27 *w = app->forms.Form27;
        w->prepare(mode, QDate(2024, 3, 20));
        QCOMPARE(dialogs.texts(), QStringList());
        const Dataset *q = w->query();
        QCOMPARE(q->recordCount(), 1);
        QCOMPARE(q->valueAt(0, "i_time").toString(), hours);
        QCOMPARE(q->valueAt(0, "f_price").toString(), earnings);
        if (!perHour.isEmpty())
            QCOMPARE(q->valueAt(0, "average_price").toString(), perHour);
        // the shop's totals under the grid
        QCOMPARE(w->DBText2->text(), DatasetModel::numberText(entriesSum(), 2));
        QCOMPARE(w->DBText1->text(), DatasetModel::numberText(QStringLiteral("2426511974127.40"), 2));
        w->closeDown();
    }

    void shiftsTimesheet()
    {
        ScriptedDialogs dialogs;
        app->forms.Form19->prepare(QDate(2024, 3, 20));
        QCOMPARE(dialogs.texts(), QStringList());
        const Dataset &q = app->forms.DataModule6->H_Tabel_1;
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.valueAt(0, "summ").toInt(), 16);
        QCOMPARE(q.valueAt(0, "cena_all").toString(), entriesSum());
        QCOMPARE(q.valueAt(0, "average_price").toString(), QString("1656998382.96"));
        for (Dataset *d : {&app->forms.DataModule6->H_Tabel_1, &app->forms.DataModule6->H_Tabel_2, &app->forms.DataModule6->H_Tabel_3})
            d->close();
    }

    void monthOverview()
    {
        const MonthOverviewData o = MonthOverviewData::read(TDataModule6::ConnectionName, 3, 2024);
        QCOMPARE(o.days[4].earnings[0].toFixed(2), QString("26511974112.40"));
        QCOMPARE(o.days[4].pieces, qint64(2147483647));
        QCOMPARE(o.current.earnings.toFixed(2), entriesSum());
        QCOMPARE(o.deal.toFixed(2), entriesSum());
        QCOMPARE(o.rates.size(), 1);
        QCOMPARE(o.rates[0].perHour.toFixed(2), QString("1656998382.96"));

        // the window, and its printed pages
        ScriptedDialogs dialogs;
        MonthOverview *w = app->forms.Overview;
        w->prepare(QDate(2024, 3, 20));
        QCOMPARE(dialogs.texts(), QStringList());
        QVERIFY(!w->data().isEmpty());
        const QString pdf = Pdf::text(w->document()).simplified();
        QVERIFY2(pdf.contains("Обзор месяца: Март 2024"), qPrintable(pdf));
        QVERIFY2(!pdf.contains("ERROR") && !pdf.contains("overflow"), qPrintable(pdf));
    }
};

TABEL_TEST_MAIN(TestStoredBeforeLimits)
#include "tst_stored_before_limits.moc"

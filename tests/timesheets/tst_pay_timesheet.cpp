#include "app/Startup.h"
#include "db/Gateway.h"
#include "journal/TForm1.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "support/Xlsx.h"
#include "spreadsheet/Excel.h"
#include "timesheets/TForm27.h"
#include "ui/DatasetModel.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

class TestPayTimesheet : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TForm27 *w = nullptr;
    int product = 0, oper = 0;

    void entry(const QDate &d, int worker, int hours, int kolVo = 10, int brak = 0, double cena = 1.5)
    {
        Seed::Entry e{d, 1, worker, product, oper, kolVo, brak, cena, hours};
        e.color = TestDb::scalar("select count(*) from accounts_dep.smena").toInt();
        Seed::entry(e);
    }
    void hours(const QDate &d, int kind, int worker, int night, int cnt, double price)
    {
        TestDb::exec(QString("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, price, i_night) "
                             "values (%1, %2, 0, '%3', %4, %5, 1, %6, %7, %8)")
                         .arg(kind).arg(worker).arg(d.toString("dd.MM.yyyy")).arg(d.month()).arg(d.year()).arg(cnt).arg(price).arg(night));
    }
    QString field(int row, const char *name) const
    {
        const QVariant v = w->query()->valueAt(row, name);
        return v.isNull() ? QString() : v.toString();
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        w = app->forms.Form27;
    }
    void init()
    {
        TestDb::clearData();
        const int g = Seed::group("Фурнитура");
        product = Seed::product("РК-128", g);
        oper = Seed::operation(product, Seed::kind("Сборка"), 0, {1.5});
    }
    void cleanup()
    {
        w->closeDown();
        DialogDriver::verifyNoWindowLeftOpen();
    }
    void cleanupTestCase() { app.reset(); }

    void modes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("night");
        QTest::addColumn<bool>("rate");
        QTest::newRow("piecework") << 9 << "Табель сделка (27)" << false << true;
        QTest::newRow("housekeeping") << 14 << "Табель хоз. работы (27)" << true << true;
        QTest::newRow("average piecework") << 15 << "Табель ср. сдельная (27)" << true << true;
        QTest::newRow("general") << 17 << "Общий табель (27)" << false << false;
    }
    void modes()
    {
        QFETCH(int, mode);
        QFETCH(QString, caption);
        QFETCH(bool, night);
        QFETCH(bool, rate);
        w->prepare(mode, QDate(2024, 3, 5));
        QCOMPARE(w->windowTitle(), caption);
        // every column keeps its position, shown or hidden
        const QAbstractItemModel *m = w->DBGrid->model();
        QCOMPARE(m->columnCount(), 36);
        const QStringList titles{"Фамилия И. О.", " ", "1", "31", "Итого (р.)", "Итого (ч.)", "Час (р.)"};
        const QList<int> at{0, 1, 2, 32, 33, 34, 35};
        for (int i = 0; i < at.size(); ++i)
            QCOMPARE(m->headerData(at[i], Qt::Horizontal).toString(), titles[i]);
        QCOMPARE(!w->DBGrid->isColumnHidden(1), night);
        QCOMPARE(!w->DBGrid->isColumnHidden(35), rate);
        QVERIFY(w->Button6->isHidden());
        w->Button5->click(); // a re-read keeps what is hidden
        QCOMPARE(w->isColumnShown("s_night"), night);
        QCOMPARE(w->isColumnShown("average_price"), rate);
        w->closeDown();
        QVERIFY(w->isColumnShown("s_night") && w->isColumnShown("average_price"));
    }

    // December's period ends on 1 January, for the grid and the totals alike.
    void decemberAndTotals()
    {
        const int a = Seed::worker("Алексеев А.В.");
        Seed::shiftLine(a, 1, 12, 2024, {{31, 8}});
        entry(QDate(2024, 12, 31), a, 8, 10, 0, 2);
        entry(QDate(2025, 1, 1), a, 8, 100, 0, 2);
        entry(QDate(2024, 12, 2), a, 4, 0, 0, 2);   // no pieces: out of the totals
        entry(QDate(2024, 12, 3), a, 4, 2, 3, 2);   // defects only: lowers the earnings
        entry(QDate(2024, 12, 4), a, 4, 5, 0, 0);   // no price
        w->prepare(9, QDate(2024, 12, 20));
        QCOMPARE(w->query()->param("d_date1").toDate(), QDate(2025, 1, 1));
        QCOMPARE(w->query()->param("d_date6").toDate(), QDate(2024, 12, 1));
        QCOMPARE(w->query()->recordCount(), 1);
        QCOMPARE(field(0, "i_time"), QString("20"));
        QCOMPARE(field(0, "f_price"), QString("18.00"));
        QCOMPARE(field(0, "average_price"), QString("0.90"));
        QCOMPARE(w->DBText2->text(), QString("18.00"));
        QCOMPARE(w->DBText3->text(), QString());
        QCOMPARE(w->DBText4->text(), QString());
        QCOMPARE(w->DBText1->text(), QString("18.00"));
        QVERIFY(w->DBText1->font().bold());
        hours(QDate(2024, 12, 9), 7777, a, 0, 2, 100);
        hours(QDate(2024, 12, 10), 7778, a, 0, 1, 150.5);
        hours(QDate(2024, 12, 11), 7778, a, 0, 0, 150.5); // no hours: out of the totals
        w->ComboBox1Change();
        QCOMPARE(w->DBText3->text(), QString("200.00"));
        QCOMPARE(w->DBText4->text(), QString("150.50"));
        QCOMPARE(w->DBText1->text(), QString("368.50"));
    }

    void dayColumns()
    {
        w->prepare(9, QDate(2024, 4, 1));
        QVERIFY(w->isColumnShown("d30"));
        QVERIFY(!w->isColumnShown("d31"));
        QVERIFY(!w->DBGrid->isColumnHidden(33)); // "Итого (р.)" stays at its place
        w->ComboBox1->setCurrentIndex(1); // February 2024
        QVERIFY(w->isColumnShown("d29"));
        QVERIFY(!w->isColumnShown("d30"));
        QVERIFY(!w->isColumnShown("d31"));
        QCOMPARE(w->DataSource1->headerData(4, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), TForm27::Weekend); // the 3rd, a Saturday
        QCOMPARE(w->DataSource1->headerData(32, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), TForm27::Silver);
        w->ComboBox1->setCurrentIndex(2); // March
        QVERIFY(w->isColumnShown("d31"));
        QCOMPARE(w->DataSource1->headerData(32, Qt::Horizontal).toString(), QString("31"));
        QCOMPARE(w->DataSource1->headerData(32, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), TForm27::Weekend); // a Sunday
    }

    // Lines without entries; hours without earnings; no hours at all.
    void ratesAndMissingParts()
    {
        const int idle = Seed::worker("Алексеев А.В."), unpaid = Seed::worker("Белова Н.С."), none = Seed::worker("Васильев П.И.");
        Seed::shiftLine(idle, 1, 3, 2024, {{4, 8}});
        Seed::shiftLine(unpaid, 2, 3, 2024, {{5, 8}});
        entry(QDate(2024, 3, 5), unpaid, 8, 3, 3);
        Seed::shiftLine(none, 1, 3, 2024, {{6, 0}});
        entry(QDate(2024, 3, 6), none, 0);
        w->prepare(9, QDate(2024, 3, 1));
        QCOMPARE(w->query()->recordCount(), 3);
        QCOMPARE(field(0, "d4"), QString("8"));
        QCOMPARE(field(0, "i_time"), QString());
        QCOMPARE(field(0, "f_price"), QString());
        QCOMPARE(field(0, "average_price"), QString("0"));
        QCOMPARE(field(1, "f_price"), QString("0.00"));
        QCOMPARE(field(1, "average_price"), QString("0.00"));
        QCOMPARE(field(2, "i_time"), QString("0"));
        QCOMPARE(field(2, "average_price"), QString("0"));
        w->prepare(17, QDate(2024, 3, 1));
        for (const char *f : {"i_time", "f_price"}) {
            QVERIFY(!w->query()->valueAt(0, f).isNull());
            QCOMPARE(w->query()->valueAt(0, f).toDouble(), 0.0);
        }
    }

    void housekeepingModes()
    {
        const int a = Seed::worker("Алексеев А.В."), b = Seed::worker("Белова Н.С.");
        hours(QDate(2024, 3, 4), 7777, a, 0, 4, 100);
        hours(QDate(2024, 3, 5), 7777, a, 0, 2, 130);
        hours(QDate(2024, 3, 5), 7777, a, 1, 3, 150);
        hours(QDate(2024, 3, 6), 7778, b, 0, 5, 120);
        Seed::shiftLine(a, 1, 3, 2024, {{1, 8}}); // a shift line stays as it is
        w->prepare(14, QDate(2024, 3, 1));
        QCOMPARE(w->query()->recordCount(), 0);
        // asked first: "Нет" leaves the month as it was and says nothing more
        ScriptedDialogs dialogs;
        dialogs.answers = {false};
        w->Button3->click();
        QCOMPARE(dialogs.texts(), QStringList{"Перестроить табель хоз. работ за март 2024? Его строки (сейчас 0) будут удалены и "
                                              "построены заново из записей хоз. работ."});
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), 1);
        QCOMPARE(w->query()->recordCount(), 0);
        dialogs.clear();
        int maxSeen = 0;
        const auto c = connect(w->PB, &QProgressBar::valueChanged, this, [&](int v) { maxSeen = qMax(maxSeen, v); });
        w->Button3->click();
        disconnect(c);
        QCOMPARE(dialogs.texts().size(), 2);
        QCOMPARE(dialogs.texts().last(), QString("Табель за март 2024 перестроен: построено 3 строки."));
        QCOMPARE(maxSeen, 31);
        QVERIFY(w->PB->isHidden());
        QCOMPARE(w->query()->recordCount(), 2);
        const int day = field(0, "s_night") == "дн." ? 0 : 1;
        QCOMPARE(field(day, "s_night"), QString("дн."));
        QCOMPARE(field(day, "i_time"), QString("6"));
        QCOMPARE(field(day, "f_price"), QString("660.00"));
        QCOMPARE(field(day, "average_price"), QString("110.00"));
        QCOMPARE(field(day, "d5"), QString("2"));
        QCOMPARE(field(1 - day, "s_night"), QString("ноч."));
        QCOMPARE(field(1 - day, "d5"), QString("3"));
        QCOMPARE(field(1 - day, "i_time"), QString("3"));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel where smena=1 and d1=8").toInt(), 1);
        w->prepare(15, QDate(2024, 3, 1));
        QCOMPARE(w->query()->recordCount(), 1);
        QCOMPARE(field(0, "fio"), QString("Белова Н.С."));
    }

    // The year list offers the years with lines; the current year is shown even without any.
    void yearList()
    {
        const int a = Seed::worker("Алексеев А.В.");
        Seed::shiftLine(a, 1, 3, 2019, {{4, 8}});
        entry(QDate(2019, 3, 4), a, 8);
        w->prepare(9, QDate(2031, 3, 10));
        QCOMPARE(w->cb_year->count(), 1);
        QCOMPARE(w->cb_year->currentIndex(), -1);
        QCOMPARE(w->cb_year->placeholderText(), QString("2031"));
        QCOMPARE(w->year(), 2031);
        QCOMPARE(w->query()->param("i_year").toInt(), 2031);
        QCOMPARE(w->query()->recordCount(), 0);
        w->cb_year->setCurrentIndex(0); // chosen without the list's closing, too
        QCOMPARE(w->year(), 2019);
        QCOMPARE(w->query()->recordCount(), 1);
        emit w->cb_year->activated(0);
        QCOMPARE(w->query()->recordCount(), 1);
        QCOMPARE(w->price.param("d_date2").toDate(), QDate(2019, 3, 1));
    }

    // Opening is one trip to the server: the month, its totals and the year list.
    void openingIsOneTrip()
    {
        const int a = Seed::worker("Алексеев А.В.");
        Seed::shiftLine(a, 1, 3, 2019, {{4, 8}});
        Seed::shiftLine(a, 1, 3, 2024, {{4, 8}});
        entry(QDate(2024, 3, 4), a, 8);
        for (int mode : {9, 17}) {
            const quint64 before = Gateway::roundTrips();
            w->prepare(mode, QDate(2024, 3, 10));
            QCOMPARE(Gateway::roundTrips() - before, quint64(1));
            QCOMPARE(w->cb_year->count(), 2);
            QCOMPARE(w->cb_year->currentText(), QString("2024"));
            QCOMPARE(w->query()->recordCount(), 1);
            w->closeDown();
        }
    }

    // A stored line of a year no date can be written for (e.g. -1) is offered
    // by the list but refused in Russian, and nothing is sent for it.
    void impossibleYearRefused()
    {
        const int a = Seed::worker("Алексеев А.В.");
        Seed::shiftLine(a, 1, 4, -1, {{1, 8}});
        Seed::shiftLine(a, 1, 4, 2024, {{1, 8}});
        entry(QDate(2024, 4, 1), a, 8);
        ScriptedDialogs dialogs;
        w->prepare(9, QDate(2024, 4, 10));
        QCOMPARE(w->query()->recordCount(), 1);
        const int bad = w->cb_year->findText("-1");
        QVERIFY(bad >= 0);
        w->cb_year->setCurrentIndex(bad);
        QCOMPARE(dialogs.texts(),
                 QStringList{"Год -1 недопустим: табель ведётся за годы от 1 до 9999. Выберите другой год."});
        QVERIFY(!w->query()->isOpen());
        dialogs.clear();
        w->Button3->click(); // the rebuild is refused the same way
        QCOMPARE(dialogs.texts().size(), 1);
        QVERIFY(dialogs.texts().first().startsWith("Год -1 недопустим"));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel where year=-1").toInt(), 1);
        w->cb_year->setCurrentIndex(w->cb_year->findText("2024"));
        QCOMPARE(w->query()->recordCount(), 1);
    }

    void exportSheet_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("piecework") << 9;
        QTest::newRow("general") << 17;
        QTest::newRow("housekeeping") << 14;
    }
    void exportSheet()
    {
        QFETCH(int, mode);
        const int a = Seed::worker("Алексеев А.В."), b = Seed::worker("Белова Н.С.");
        Seed::shiftLine(a, 1, 4, 2024, {{1, 8}, {30, 4}});
        entry(QDate(2024, 4, 1), a, 12, 10, 0, 2.5);
        Seed::shiftLine(b, 1, 4, 2024, {{2, 5}}); // no entries: empty hours and earnings
        hours(QDate(2024, 4, 3), 7777, a, 1, 3, 100);
        TestDb::exec("insert into accounts_dep.h_tabel (w_id, smena, i_type, i_night, month, year, d3) "
                     "select id_p, 0, id_o, i_night, 4, 2024, cnt from accounts_dep.fatigue");
        ScriptedDialogs dialogs;
        w->prepare(mode, QDate(2024, 4, 10));
        w->query()->setRecNo(2);
        w->Button2->click();
        QCOMPARE(dialogs.opened.size(), 1);
        const int rows = w->query()->recordCount();
        QCOMPARE(w->Button2->text(), QString("Excel (%1 из %1)").arg(rows));
        QCOMPARE(w->DataSource1->dataset(), w->query());
        QCOMPARE(w->query()->recNo(), qMin(2, rows));
        QCOMPARE(w->isColumnShown("s_night"), mode == 14);
        QVERIFY(!w->isColumnShown("d31"));
        const Xlsx::Sheet s = Xlsx::read(dialogs.opened.first());
        QVERIFY(s.ok);
        QCOMPARE(s.value("A1"), QString("Апрель 2024"));
        QCOMPARE(s.value("A2"), QString("Фамилия И.О."));
        QCOMPARE(s.value("B2"), QString());
        QCOMPARE(s.value("C2"), QString("1"));
        QCOMPARE(s.value("AG2"), QString("31"));
        QCOMPARE(s.value("AH2"), QString("Итого (ч.)"));
        QCOMPARE(s.value("AI2"), QString("Итого (р.)"));
        QCOMPARE(s.value("AJ2"), mode == 17 ? QString() : QString("Час (р.)"));
        QCOMPARE(s.value("A3"), QString("Алексеев А.В."));
        if (mode == 14) {
            QCOMPARE(s.value("B3"), QString("ноч."));
            QCOMPARE(s.value("E3"), QString("3"));
            QCOMPARE(s.value("AH3"), QString("3"));
            QCOMPARE(s.value("AI3"), QString("300"));
            QCOMPARE(s.value("AJ3"), QString("100"));
            return;
        }
        QCOMPARE(s.value("B3"), QString());
        QCOMPARE(s.value("C3"), QString("8"));
        QCOMPARE(s.value("AF3"), QString("4"));
        QCOMPARE(s.value("AG3"), QString("0"));
        QCOMPARE(s.cells["AG3"].type, QString("n"));
        QCOMPARE(s.value("AH3"), mode == 17 ? QString("15") : QString("12"));
        QCOMPARE(s.value("AI3"), mode == 17 ? QString("325") : QString("25"));
        QCOMPARE(s.cells["AI3"].type, QString("n"));
        QCOMPARE(s.cells["AI3"].format, QString("0.00"));
        QCOMPARE(s.cells["AH3"].format, QString()); // hours are no money
        QCOMPARE(s.value("A4"), QString("Белова Н.С."));
        QCOMPARE(s.value("D4"), QString("5"));
        QCOMPARE(s.value("AH4"), mode == 17 ? QString("0") : QString());
        QCOMPARE(s.value("AI4"), mode == 17 ? QString("0") : QString());
        QCOMPARE(s.value("AJ4"), mode == 17 ? QString() : QString("0"));
    }

    // Money keeps its kopecks: in the grid and the totals bar with the user's
    // separator, in the workbook as the number shown with a two-decimal format.
    void moneyWithKopecks()
    {
        const int a = Seed::worker("Алексеев А.В.");
        Seed::shiftLine(a, 1, 4, 2024, {{1, 8}});
        entry(QDate(2024, 4, 1), a, 8, 1, 0, 9194.36);
        entry(QDate(2024, 4, 2), a, 0, 4, 0, 0.2);
        ScriptedDialogs dialogs;
        for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::Russian, QLocale::Russia)}) {
            QLocale::setDefault(locale);
            w->prepare(9, QDate(2024, 4, 10));
            const QString point = locale.decimalPoint();
            const DatasetModel *m = w->DataSource1;
            QCOMPARE(m->data(m->index(0, m->columnOf("f_price"))).toString(), "9195" + point + "16");
            QCOMPARE(w->DBText2->text(), "9195" + point + "16");
            QCOMPARE(w->DBText1->text(), "9195" + point + "16");
        }
        DialogDriver::shot(w, "pay-timesheet-kopecks");
        QLocale::setDefault(QLocale::c());
        TestDb::exec("delete from accounts_dep.smena where cena < 1");
        w->prepare(9, QDate(2024, 4, 10));
        w->Button2->click();
        QCOMPARE(dialogs.opened.size(), 1);
        const Xlsx::Sheet s = Xlsx::read(dialogs.opened.first());
        QVERIFY(s.ok);
        QCOMPARE(s.cells["AI3"].type, QString("n"));
        QCOMPARE(s.value("AI3"), QString("9194.36")); // as stored in the file, no binary tail
        QCOMPARE(s.cells["AI3"].format, QString("0.00"));
        QCOMPARE(s.value("AJ3"), QString("1149.3")); // 9194.36 / 8 = 1149.295
        QCOMPARE(s.cells["AJ3"].format, QString("0.00"));
    }

    // On a workstation that cannot open the saved file the message comes with
    // the grid attached again, on the row the user had; a failed start alike.
    void exportMessagesOverAttachedGrid()
    {
        struct Watching : ScriptedDialogs {
            std::function<void()> check;
            bool show(Dialogs::Kind kind, const QString &caption, const QString &text) override
            {
                if (check)
                    check();
                return ScriptedDialogs::show(kind, caption, text);
            }
            bool openFile(const QString &path) override
            {
                opened << path;
                return false;
            }
        };
        const int a = Seed::worker("Алексеев А.В."), b = Seed::worker("Белова Н.С.");
        Seed::shiftLine(a, 1, 4, 2024, {{1, 8}});
        Seed::shiftLine(b, 1, 4, 2024, {{2, 5}});
        w->prepare(9, QDate(2024, 4, 10));
        for (bool canStart : {true, false}) {
            Watching dialogs;
            int checked = 0;
            dialogs.check = [&] {
                ++checked;
                QCOMPARE(w->DataSource1->dataset(), w->query());
                QCOMPARE(w->DataSource1->rowCount(), 2);
                QCOMPARE(w->query()->recNo(), 2);
                QCOMPARE(w->DBGrid->currentIndex().row(), 1);
            };
            w->query()->setRecNo(2);
            if (!canStart)
                Excel::setDocumentsFolder("/proc/no-such-folder");
            w->Button2->click();
            Excel::setDocumentsFolder(QString());
            QCOMPARE(dialogs.texts().size(), 1);
            QVERIFY2(dialogs.texts()[0].startsWith(canStart ? "Файл сохранён, но открыть его не удалось: "
                                                            : "Ошибка открытия файла Microsoft Excel."),
                     qPrintable(dialogs.texts()[0]));
            QCOMPARE(checked, 1);
            QCOMPARE(w->query()->recNo(), 2);
        }
    }

    void openedFromTheJournal()
    {
        TForm1 *j = app->forms.Form1;
        for (QAction *item : {j->N9, j->N14, j->N15, j->N17})
            QVERIFY(item->isEnabled());
        QString caption;
        int month = 0;
        DialogDriver::onNextModal([&](QWidget *) {
            caption = w->windowTitle();
            month = w->month();
            w->Button1->click();
        });
        j->N17->trigger();
        QCOMPARE(caption, QString("Общий табель (27)"));
        QCOMPARE(month, QDate::currentDate().month());
        QVERIFY(!w->H_Tabel_all.isOpen());
        QVERIFY(w->isColumnShown("average_price"));
    }
};

TABEL_TEST_MAIN(TestPayTimesheet)
#include "tst_pay_timesheet.moc"

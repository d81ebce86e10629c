#include "app/Startup.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "spreadsheet/Excel.h"
#include "support/DialogDriver.h"
#include "support/EventCount.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "support/Xlsx.h"
#include "timesheets/TForm19.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QFont>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QElapsedTimer>
#include <QPrintPreviewWidget>
#include <QtTest>

class TestShiftsTimesheet : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TForm19 *w = nullptr;
    int product = 0, oper = 0;

    void entry(const QDate &d, int shift, int worker, int hours)
    {
        Seed::Entry e{d, shift, worker, product, oper};
        e.time = hours;
        e.color = TestDb::scalar("select count(*) from accounts_dep.smena").toInt();
        Seed::entry(e);
    }
    static QStringList names(const Dataset &ds)
    {
        QStringList out;
        for (int r = 0; r < ds.recordCount(); ++r)
            out << ds.valueAt(r, "fio").toString();
        return out;
    }
    QColor title(int day) const
    {
        return w->DataSource1->headerData(w->DataSource1->columnOf(QString("d%1").arg(day)), Qt::Horizontal, Qt::ForegroundRole)
            .value<QColor>();
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        w = app->forms.Form19;
    }
    void init()
    {
        TestDb::clearData();
        const int g = Seed::group("Фурнитура");
        product = Seed::product("РК-128", g);
        oper = Seed::operation(product, Seed::kind("Сборка"), 0, {1.5});
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    // "Печать" shows the month's timesheet in a preview that stays idle when
    // left alone, at its own size and at the sizes where a scroll bar more or
    // less decides the fit; closing it is at once.
    void printPreviewStaysIdle()
    {
        for (int i = 0; i < 30; ++i)
            Seed::shiftLine(Seed::worker(QString("Рабочий %1").arg(i, 2, 10, QChar('0'))), 1 + i % 3, 12, 2024,
                            {{2, 8}, {3, 8}, {16, 4}});
        w->prepare(QDate(2024, 12, 1));
        int idle = -1, pages = 0;
        QString busiest, idleSummary;
        DialogDriver::onModal("ReportPreview", [&](QWidget *preview) {
            pages = preview->findChild<QPrintPreviewWidget *>()->pageCount();
            {
                WindowEvents events(preview);
                QTest::qWait(2000);
                idle = events.total();
                idleSummary = events.summary();
            }
            for (const char *zoom : {"FitWidthAction", "FitPageAction"}) {
                preview->findChild<QAction *>(zoom)->trigger();
                const auto worst = busiestSize(preview, pageEdgeSizes(1000, 700));
                if (worst.first >= 10)
                    busiest += QString("%1 at %2; ").arg(zoom, worst.second);
            }
            QElapsedTimer closing;
            closing.start();
            preview->findChild<QAction *>("CloseAction")->trigger();
            QVERIFY(closing.elapsed() < 1000);
        });
        QTest::mouseClick(w->Button6, Qt::LeftButton);
        QCOMPARE(pages, 1);
        // its first painting included: a preview that lays itself out again
        // and again receives thousands
        QVERIFY2(idle >= 0 && idle < 100, qPrintable(idleSummary));
        QVERIFY2(busiest.isEmpty(), qPrintable(busiest));
    }

    void controls()
    {
        QCOMPARE(w->windowTitle(), QString("Табель по времени"));
        QCOMPARE(w->ComboBox1->count(), 12);
        QCOMPARE(w->ComboBox1->itemText(0), QString("Январь"));
        QCOMPARE(w->ComboBox2->itemText(0), QString("2007"));
        QCOMPARE(w->ComboBox2->itemText(w->ComboBox2->count() - 1).toInt(), qMax(2025, QDate::currentDate().year()));
        QCOMPARE(w->PageControl1->tabText(1), QString("Смена №2"));
        QVERIFY(w->PB->isHidden());
        QCOMPARE(w->DataSource1->columnCount(), 33);
        QCOMPARE(w->DataSource1->headerData(32, Qt::Horizontal).toString(), QString("Итого"));
    }

    // The period of the queries, and which lines each page lists.
    void monthAndPages()
    {
        const int a = Seed::worker("Алексеев А.В."), b = Seed::worker("Белова Н.С.");
        entry(QDate(2024, 12, 31), 2, a, 8);
        Seed::shiftLine(a, 2, 12, 2024, {{31, 8}});
        entry(QDate(2025, 1, 1), 1, b, 8);
        Seed::shiftLine(b, 1, 12, 2024, {{2, 8}}); // a line without entries in the month
        w->prepare(QDate(2024, 12, 15));
        QCOMPARE(w->ComboBox1->currentText(), QString("Декабрь"));
        QCOMPARE(w->ComboBox2->currentText(), QString("2024"));
        TDataModule6 *dm = app->forms.DataModule6;
        QCOMPARE(dm->H_Tabel_1.param("date1").toDate(), QDate(2024, 12, 1));
        QCOMPARE(dm->H_Tabel_3.param("date2").toDate(), QDate(2025, 1, 1));
        QCOMPARE(names(dm->H_Tabel_1), QStringList());
        QCOMPARE(names(dm->H_Tabel_2), QStringList{"Алексеев А.В."});
        QCOMPARE(names(dm->H_Tabel_3), QStringList());
        QCOMPARE(w->DataSource2->data(w->DataSource2->index(0, 31)).toString(), QString("8"));
        QCOMPARE(w->DataSource2->data(w->DataSource2->index(0, 32)).toString(), QString("8"));

        // a year the list lacks is added in its place
        w->prepare(QDate(2031, 5, 2));
        QCOMPARE(w->ComboBox2->currentText(), QString("2031"));
        QCOMPARE(w->ComboBox1->currentIndex(), 4);
        // choosing another month reads it
        w->ComboBox2->setCurrentIndex(w->ComboBox2->findText("2024"));
        w->ComboBox1->setCurrentIndex(11);
        QCOMPARE(dm->H_Tabel_2.recordCount(), 1);
    }

    void weekendsAndDaysOutside_data()
    {
        QTest::addColumn<QDate>("month");
        QTest::addColumn<QList<int>>("red");
        QTest::addColumn<QList<int>>("outside");
        QTest::newRow("starts on a Sunday") << QDate(2024, 9, 1) << QList<int>{1, 7, 8, 14, 15, 21, 22, 28, 29} << QList<int>{31};
        QTest::newRow("leap February") << QDate(2024, 2, 1) << QList<int>{3, 4, 10, 11, 17, 18, 24, 25} << QList<int>{30, 31};
        QTest::newRow("February") << QDate(2023, 2, 1) << QList<int>{4, 5, 11, 12, 18, 19, 25, 26} << QList<int>{29, 30, 31};
        QTest::newRow("starts on a Saturday") << QDate(2024, 6, 1) << QList<int>{1, 2, 8, 9, 15, 16, 22, 23, 29, 30} << QList<int>{31};
    }
    void weekendsAndDaysOutside()
    {
        QFETCH(QDate, month);
        QFETCH(QList<int>, red);
        QFETCH(QList<int>, outside);
        w->prepare(month);
        for (int d = 1; d <= 31; ++d) {
            QCOMPARE(TForm19::isWeekend(d, month.month(), month.year()) && d <= month.daysInMonth(), red.contains(d));
            const QColor t = title(d);
            if (outside.contains(d))
                QCOMPARE(t, TForm19::Silver);
            else if (red.contains(d))
                QCOMPARE(t, TForm19::Weekend);
            else
                QVERIFY2(t != TForm19::Weekend && t != TForm19::Silver, qPrintable(QString::number(d)));
        }
    }

    void cellDrawing_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("weekend");
        QTest::addColumn<bool>("outside");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<QColor>("fill");
        const QColor normal(Qt::black), bg(Qt::white), none;
        QTest::newRow("empty") << QVariant() << false << false << false << TForm19::Silver << none;
        QTest::newRow("0") << QVariant(0) << false << false << false << TForm19::Silver << none;
        QTest::newRow("0 weekend") << QVariant(0) << true << false << false << TForm19::Weekend << none;
        QTest::newRow("0 outside") << QVariant() << false << true << false << bg << none;
        QTest::newRow("5") << QVariant(5) << false << false << false << normal << none;
        QTest::newRow("5 weekend") << QVariant(5) << true << false << false << TForm19::Weekend << none;
        QTest::newRow("8") << QVariant(8) << false << false << true << normal << none;
        QTest::newRow("8 weekend") << QVariant(8) << true << false << true << TForm19::Weekend << none;
        QTest::newRow("10") << QVariant(10) << false << false << true << normal << TForm19::Green;
        QTest::newRow("10 weekend") << QVariant(10) << true << false << true << TForm19::Weekend << TForm19::Green;
    }
    void cellDrawing()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, weekend);
        QFETCH(bool, outside);
        QFETCH(bool, bold);
        QFETCH(QColor, text);
        QFETCH(QColor, fill);
        const CellStyle st = TForm19::dayCellStyle(value, weekend, outside, Qt::black, Qt::white);
        QCOMPARE(st.bold, bold);
        QCOMPARE(st.foreground.value_or(QColor()), text);
        QCOMPARE(st.background.value_or(QColor()), fill);
    }

    // The drawing rules reach the grid through the model's roles.
    void cellDrawingInTheGrid()
    {
        const int a = Seed::worker("Алексеев А.В.");
        entry(QDate(2024, 9, 2), 1, a, 8);
        Seed::shiftLine(a, 1, 9, 2024, {{1, 0}, {2, 8}, {3, 10}});
        w->prepare(QDate(2024, 9, 1));
        DatasetModel *m = w->DataSource1;
        auto cell = [m](int day, int role) { return m->data(m->index(0, m->columnOf(QString("d%1").arg(day))), role); };
        QCOMPARE(cell(1, Qt::ForegroundRole).value<QColor>(), TForm19::Weekend); // Sunday, 0
        QVERIFY(cell(2, Qt::FontRole).value<QFont>().bold());
        QCOMPARE(cell(3, Qt::BackgroundRole).value<QColor>(), TForm19::Green);
        QCOMPARE(cell(4, Qt::ForegroundRole).value<QColor>(), TForm19::Silver); // empty
        QCOMPARE(m->data(m->index(0, 32), Qt::BackgroundRole).value<QColor>(), TForm19::TotalBackground);
        QVERIFY(m->data(m->index(0, 32), Qt::FontRole).value<QFont>().bold());
    }

    void rebuildFromTheWindow()
    {
        const int a = Seed::worker("Алексеев А.В.");
        entry(QDate(2024, 2, 29), 3, a, 6);
        entry(QDate(2024, 2, 29), 3, a, 5);
        w->prepare(QDate(2024, 2, 1));
        QCOMPARE(app->forms.DataModule6->H_Tabel_3.recordCount(), 0);
        int maxSeen = 0;
        QMetaObject::Connection c = connect(w->PB, &QProgressBar::valueChanged, this, [&](int v) {
            maxSeen = qMax(maxSeen, v);
            QVERIFY(!w->PB->isHidden());
            QVERIFY(!w->Button1->isEnabled());
        });
        ScriptedDialogs dialogs;
        w->Button1->click();
        disconnect(c);
        QCOMPARE(dialogs.texts(), (QStringList{"Перестроить табель по сменам за февраль 2024? Его строки (сейчас 0) будут удалены и "
                                               "построены заново из журнала.",
                                               "Табель за февраль 2024 перестроен: построено 1 строка."}));
        QCOMPARE(w->PB->maximum(), 29);
        QCOMPARE(maxSeen, 29);
        QVERIFY(w->PB->isHidden());
        QVERIFY(w->Button1->isEnabled());
        const Dataset &q = app->forms.DataModule6->H_Tabel_3;
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.valueAt(0, "d29").toInt(), 11);
    }

    // "Нет" leaves hand-corrected lines as they are
    void rebuildDeclined()
    {
        const int a = Seed::worker("Алексеев А.В.");
        entry(QDate(2024, 3, 4), 1, a, 6);
        Seed::shiftLine(a, 1, 3, 2024, {{4, 2}});
        Seed::shiftLine(a, 2, 3, 2024, {{5, 1}});
        ScriptedDialogs dialogs;
        dialogs.answers = {false};
        w->prepare(QDate(2024, 3, 1));
        w->Button1->click();
        QCOMPARE(dialogs.texts(), QStringList{"Перестроить табель по сменам за март 2024? Его строки (сейчас 2) будут удалены и "
                                              "построены заново из журнала."});
        QCOMPARE(dialogs.shown[0].kind, Dialogs::Kind::Question);
        QCOMPARE(TestDb::scalar("select d4 from accounts_dep.h_tabel where smena=1").toInt(), 2);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), 2);
        QCOMPARE(app->forms.DataModule6->H_Tabel_1.valueAt(0, "d4").toInt(), 2);
    }

    void failedRebuildSaysSo()
    {
        const int a = Seed::worker("Алексеев А.В.");
        entry(QDate(2024, 3, 4), 1, a, 6);
        Seed::shiftLine(a, 1, 3, 2024, {{4, 2}});
        TestDb::exec("create function accounts_dep.refuse() returns trigger language plpgsql as "
                     "$$ begin raise exception 'отказ записи'; end $$;"
                     "create trigger refuse before insert on accounts_dep.h_tabel for each row execute function accounts_dep.refuse();");
        ScriptedDialogs dialogs;
        w->prepare(QDate(2024, 3, 1));
        w->Button1->click();
        TestDb::exec("drop trigger refuse on accounts_dep.h_tabel; drop function accounts_dep.refuse();");
        QCOMPARE(dialogs.shown.size(), 2); // the question, then the failure
        QVERIFY(dialogs.shown[1].text.contains("остались прежними"));
        QVERIFY(dialogs.shown[1].text.contains("отказ записи"));
        QCOMPARE(app->forms.DataModule6->H_Tabel_1.valueAt(0, "d4").toInt(), 2);
    }

    // A 30-day month still fills 31 day columns; the sums cover every line of the worker.
    void exportSheet()
    {
        const int a = Seed::worker("Белова Н.С."), b = Seed::worker("Алексеев А.В.");
        Seed::shiftLine(a, 1, 4, 2024, {{1, 8}, {30, 4}});
        Seed::shiftLine(a, 4, 4, 2024, {{1, 2}});
        Seed::shiftLine(b, 0, 4, 2024, {{15, 5}});
        ScriptedDialogs dialogs;
        w->prepare(QDate(2024, 4, 10));
        w->Button2->click();
        QCOMPARE(w->Button2->text(), QString("Excel (2 из 2)"));
        QVERIFY(w->Button2->isEnabled());
        QCOMPARE(dialogs.opened.size(), 1);
        const Xlsx::Sheet s = Xlsx::read(dialogs.opened.first());
        QVERIFY(s.ok);
        QCOMPARE(s.value("A1"), QString("Апрель 2024"));
        QVERIFY(s.cells["A1"].bold && s.cells["A1"].textFormat);
        QCOMPARE(s.value("A2"), QString("Фамилия И.О."));
        QCOMPARE(s.value("B2"), QString("1"));
        QCOMPARE(s.cells["B2"].type, QString("n"));
        QCOMPARE(s.value("AF2"), QString("31"));
        QCOMPARE(s.value("AG2"), QString("Итого"));
        QCOMPARE(s.value("A3"), QString("Алексеев А.В."));
        QCOMPARE(s.value("P3"), QString("5"));
        QCOMPARE(s.value("A4"), QString("Белова Н.С."));
        QCOMPARE(s.value("B4"), QString("10")); // shift 1 and shift 4 of the 1st
        QCOMPARE(s.value("AE4"), QString("4"));
        QCOMPARE(s.value("AF4"), QString("0"));
        QCOMPARE(s.cells["AF4"].type, QString("n"));
        QVERIFY(!s.cells["AF4"].bold);
        QCOMPARE(s.value("AG4"), QString("14"));
        w->FormActivate();
        QCOMPARE(w->Button2->text(), QString("Excel"));
    }

    // The journal's menu opens the window on the month of the journal's date.
    void openedFromTheJournal()
    {
        TForm1 *j = app->forms.Form1;
        QVERIFY(j->N13->isEnabled());
        j->DateT->setDate(QDate(2024, 7, 20));
        QString month, year;
        DialogDriver::onNextModal([&](QWidget *) {
            month = w->ComboBox1->currentText();
            year = w->ComboBox2->currentText();
            w->Button4->click();
        });
        j->N13->trigger();
        QCOMPARE(month, QString("Июль"));
        QCOMPARE(year, QString("2024"));
        QVERIFY(!app->forms.DataModule6->H_Tabel_1.isOpen());
    }
};

TABEL_TEST_MAIN(TestShiftsTimesheet)
#include "tst_shifts_timesheet.moc"

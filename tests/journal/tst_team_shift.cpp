#include "app/Startup.h"
#include "catalogues/TForm4.h"
#include "db/Gateway.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "journal/OperationChoice.h"
#include "journal/TForm11.h"
#include "journal/TeamShift.h"
#include "support/DialogDriver.h"
#include "support/KeyScript.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/LiveRefresh.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
const QDate kDay(2024, 3, 5); // a Tuesday
} // namespace

class TestTeamShift : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TForm1 *j = nullptr;
    TDataModule6 *dm = nullptr;
    TeamShift *team = nullptr;
    ScriptedDialogs dialogs;
    int product = 0, assembly = 0, other = 0;
    QList<int> workers;
    QStringList names{"Алексеев А.А.", "Борисов Б.Б.", "Васильев В.В.", "Григорьев Г.Г."};

    // The operation chosen in the operations list, as its "..." does
    void chooseOperation(int operId)
    {
        bool found = false;
        DialogDriver::onNextModal([&, operId](QWidget *) {
            found = dm->Oper.locate("id", operId);
            app->forms.Form4->Button2->click();
        });
        team->pickOperation();
        QVERIFY(found);
    }
    void key(int row, int column, const QString &text) { team->Grid->item(row, column)->setText(text); }
    int entry(int w, int op, const QDate &d, int shift = 1)
    {
        Seed::Entry e{d, shift, w, product, op};
        return Seed::entry(e);
    }
    QVariant cell(int w, int shift, const QDate &d)
    {
        return TestDb::scalar(QString("select d%1 from accounts_dep.h_tabel where w_id=%2 and smena=%3 and month=%4 and year=%5")
                                  .arg(d.day()).arg(w).arg(shift).arg(d.month()).arg(d.year()));
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        j = app->forms.Form1;
        dm = app->forms.DataModule6;
        j->role = "63527140";
        for (int s = 1; s <= 4; ++s)
            dm->smena(s)->setParam("ok", "ta");
        team = j->team();
        QCOMPARE(team->objectName(), QString("TeamShiftWindow"));
    }
    void init()
    {
        TestDb::clearData();
        dialogs.clear();
        product = Seed::product("M-1", Seed::group("Корпуса"));
        assembly = Seed::operation(product, Seed::kind("Сборка"), 0, {12.5, 10.0}); // list price 10
        other = Seed::operation(product, Seed::kind("Резка"), 0, {3.0});
        workers.clear();
        for (const QString &n : names)
            workers << Seed::worker(n);
    }
    void cleanup()
    {
        j->hide();
        DialogDriver::verifyNoWindowLeftOpen();
    }
    void cleanupTestCase() { app.reset(); }

    // Three workers give three entries and their day cells, each priced as
    // the entry editor prices it; the sums are money, with two decimals.
    void threeWorkersSaved_data()
    {
        QTest::addColumn<int>("shift");
        QTest::addColumn<bool>("dayOff");
        QTest::addColumn<QVariantList>("norms");
        QTest::addColumn<QString>("price");
        QTest::addColumn<QString>("sum"); // of the second row, 20 pieces
        QTest::newRow("day off") << 1 << true << QVariantList{12.5, 10.0} << "20" << "400.00";
        QTest::newRow("shift 3") << 3 << false << QVariantList{10.0} << "12" << "240.00";
        QTest::newRow("shift 4") << 4 << false << QVariantList{10.0} << "15" << "300.00";
        QTest::newRow("day off, shift 3") << 3 << true << QVariantList{10.0} << "24" << "480.00";
        QTest::newRow("four places") << 1 << false << QVariantList{1.23456} << "1.2346" << "24.69";
        QTest::newRow("a tie in the price") << 4 << false << QVariantList{0.0889} << "0.1334" << "2.67"; // 0.13335; 2.667
    }
    void threeWorkersSaved()
    {
        QFETCH(int, shift);
        QFETCH(bool, dayOff);
        QFETCH(QVariantList, norms);
        QFETCH(QString, price);
        QFETCH(QString, sum);
        QList<double> prices;
        for (const QVariant &n : norms)
            prices << n.toDouble();
        const int op = Seed::operation(product, Seed::kind("Шлифовка"), 0, prices);
        j->chooseDay(kDay);
        j->setShift(shift);
        team->prepare(kDay, shift, dayOff);
        chooseOperation(op);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(team->addWorker(workers[i], names[i]));
            key(i, TeamShift::Quantity, QString::number(10 * (i + 1)));
            key(i, TeamShift::Defects, QString::number(i));
            key(i, TeamShift::Hours, QString::number(6 + i));
        }
        QCOMPARE(team->Grid->item(1, TeamShift::Price)->text(), price);
        QCOMPARE(team->Grid->item(1, TeamShift::Sum)->text(), sum);
        QCOMPARE(team->save(), 3);
        const auto rows = TestDb::rows("select w_id, o_id, i_id, cena, kol_vo, brak, time, smena, data, color, ok from accounts_dep.smena "
                                       "order by kol_vo");
        QCOMPARE(rows.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(rows[i][0].toInt(), workers[i]);
            QCOMPARE(rows[i][1].toInt(), op);
            QCOMPARE(rows[i][2].toInt(), product);
            QCOMPARE(rows[i][3].toString(), price);
            QCOMPARE(rows[i][4].toInt(), 10 * (i + 1));
            QCOMPARE(rows[i][5].toInt(), i);
            QCOMPARE(rows[i][6].toInt(), 6 + i);
            QCOMPARE(rows[i][7].toInt(), shift);
            QCOMPARE(rows[i][8].toDate(), kDay);
            QCOMPARE(rows[i][9].toInt(), 0);
            QCOMPARE(rows[i][10].toString(), QString("no"));
            QCOMPARE(cell(workers[i], shift, kDay).toInt(), 6 + i);
            QVERIFY(team->savedAt(i));
        }
        // the journal reads its day again as for a change made elsewhere,
        // once it is on screen and nothing is open over it
        QVERIFY(j->live->pending());
        QVERIFY(dialogs.shown.isEmpty());
    }

    // The entry editor, "Бригада" and the database give one price for an
    // operation on a day and shift: the database's, read beside the operation.
    void samePriceEverywhere_data()
    {
        QTest::addColumn<int>("shift");
        QTest::addColumn<bool>("dayOff");
        QTest::addColumn<QString>("price");
        QTest::newRow("day off, shift 3") << 3 << true << "24";
        QTest::newRow("shift 4") << 4 << false << "15";
        QTest::newRow("day off") << 1 << true << "20";
        QTest::newRow("shift 3, four places") << 3 << false << "1.2346"; // 1.0288 x 1.2 = 1.23456
    }
    void samePriceEverywhere()
    {
        QFETCH(int, shift);
        QFETCH(bool, dayOff);
        QFETCH(QString, price);
        const int op = Seed::operation(product, Seed::kind("Шлифовка"), 0, {price == "1.2346" ? 1.0288 : 10.0});
        j->DateT->setDate(kDay);
        j->setShift(shift);
        j->CBox1->setChecked(dayOff);
        team->prepare(kDay, shift, dayOff);
        chooseOperation(op);
        QVERIFY(team->addWorker(workers[0], names[0]));
        key(0, TeamShift::Quantity, "7");
        TForm11 *ed = app->forms.Form11;
        ed->prepareAdd();
        bool found = false;
        DialogDriver::onNextModal([&](QWidget *) {
            found = dm->Oper.locate("id", op);
            app->forms.Form4->Button2->click();
        });
        ed->pickOperation();
        QVERIFY(found);
        QCOMPARE(ed->Edit7->text(), price);
        QCOMPARE(team->Grid->item(0, TeamShift::Price)->text(), price);
        QCOMPARE(TestDb::scalar(QString("select accounts_dep.entry_price(%1, %2, %3)::float8").arg(op).arg(shift).arg(dayOff ? "true" : "false"))
                     .toString(),
                 price);
        // and what is stored
        QCOMPARE(team->save(), 1);
        QCOMPARE(TestDb::scalar("select cena from accounts_dep.smena").toString(), price);
    }

    // Saving 30 workers is one trip to the server, each row its own
    // transaction; the last saved row is current afterwards.
    void thirtyRowsOneTrip()
    {
        QList<int> many;
        for (int i = 0; i < 30; ++i)
            many << Seed::worker(QString("Рабочий %1 Р.Р.").arg(i, 2, 10, QChar('0')));
        entry(many[29], assembly, kDay); // the last row is refused as a duplicate
        j->chooseDay(kDay);
        j->setShift(1);
        team->prepare(kDay, 1, false);
        chooseOperation(assembly);
        for (int i = 0; i < 30; ++i) {
            QVERIFY(team->addWorker(many[i], QString("Рабочий %1 Р.Р.").arg(i, 2, 10, QChar('0'))));
            key(i, TeamShift::Quantity, QString::number(i + 1));
            key(i, TeamShift::Hours, "8");
        }
        team->show();
        QVERIFY(QTest::qWaitForWindowExposed(team));
        const quint64 before = Gateway::roundTrips();
        QCOMPARE(team->save(), 29);
        QCOMPARE(Gateway::roundTrips() - before, quint64(1));
        QCOMPARE(team->messageAt(29), QString("Позиция с такими параметрами уже заведена!"));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 30);
        // the last saved row is current and in sight
        const qint64 last = TestDb::scalar(QString("select id from accounts_dep.smena where w_id=%1").arg(many[28])).toLongLong();
        QCOMPARE(team->lastSavedId(), last);
        QCOMPARE(team->Grid->currentRow(), 28);
        const QRect seen = team->Grid->viewport()->rect();
        QVERIFY(seen.intersects(team->Grid->visualItemRect(team->Grid->item(28, TeamShift::Name))));
        DialogDriver::shot(team, "team-after-save");
        team->prepare(kDay, 1, false); // nothing left to ask about
        team->hide();
    }

    // Values no entry can have are refused in the grid before anything is
    // sent, with the field named and the cell current; the other rows are saved.
    void limitsRefused_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("quantity") << int(TeamShift::Quantity) << "100001" << "Кол-во: не больше 100 000.";
        QTest::newRow("quantity cut by the field") << int(TeamShift::Quantity) << "9999999999" << "Кол-во: не больше 100 000.";
        QTest::newRow("defects") << int(TeamShift::Defects) << "100001" << "Брак: не больше 100 000.";
        QTest::newRow("hours") << int(TeamShift::Hours) << "25" << "Часы: не больше 24.";
    }
    void limitsRefused()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        team->prepare(kDay, 1, false);
        chooseOperation(assembly);
        for (int i = 0; i < 2; ++i) {
            team->addWorker(workers[i], names[i]);
            key(i, TeamShift::Quantity, "5");
            key(i, TeamShift::Hours, "8");
        }
        team->show();
        team->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(team));
        team->Grid->setFocus();
        team->Grid->setCurrentCell(1, column);
        for (const QChar c : typed) {
            QTest::keyClicks(QApplication::focusWidget(), QString(c));
            QTest::qWait(10);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        const int saved = team->save();
        QWidget *focused = team->focusWidget(); // the window's own, whichever window the tooltip left active
        const int row = team->Grid->currentRow(), col = team->Grid->currentColumn();
        const QString result = team->messageAt(1);
        team->prepare(kDay, 1, false);
        team->hide();
        QCOMPARE(saved, 1);
        QCOMPARE(dialogs.texts(), QStringList{message});
        QCOMPARE(result, message);
        QCOMPARE(row, 1);
        QCOMPARE(col, column);
        QCOMPARE(focused, static_cast<QWidget *>(team->Grid));
        QCOMPARE(TestDb::scalar(QString("select count(*) from accounts_dep.smena where w_id=%1").arg(workers[1])).toInt(), 0);
    }

    // Digits typed into the grid as a user types them, each key delivered to
    // whatever has the focus and the events processed in between: the first
    // key opens the cell's editor, the others go on into it.
    void typedQuantitiesKept()
    {
        team->prepare(kDay, 1, false);
        chooseOperation(assembly);
        for (int i = 0; i < 3; ++i)
            team->addWorker(workers[i], names[i]);
        team->show();
        team->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(team));
        team->Grid->setFocus();
        team->Grid->setCurrentCell(0, TeamShift::Quantity);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(team->Grid));
        // each key as the window system delivers it: to the focus widget,
        // with the events that follow it processed before the next one
        auto type = [](const QString &keys) {
            for (const QChar c : keys) {
                QTest::keyClicks(QApplication::focusWidget(), QString(c));
                QTest::qWait(20);
            }
        };
        auto press = [](Qt::Key k) {
            QTest::keyClick(QApplication::focusWidget(), k);
            QTest::qWait(20);
        };
        for (const char *number : {"100", "120", "90"}) {
            type(QString::fromLatin1(number));
            press(Qt::Key_Return);
        }
        QCOMPARE(team->Grid->item(0, TeamShift::Quantity)->text(), QString("100"));
        QCOMPARE(team->Grid->item(1, TeamShift::Quantity)->text(), QString("120"));
        QCOMPARE(team->Grid->item(2, TeamShift::Quantity)->text(), QString("90"));
        DialogDriver::shot(team, "team-typed");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);
        QTRY_VERIFY(!team->isVisible());
        const auto rows = TestDb::rows("select w_id, kol_vo from accounts_dep.smena order by w_id");
        QCOMPARE(rows, (QList<QVariantList>{{workers[0], 100}, {workers[1], 120}, {workers[2], 90}}));
        QVERIFY(dialogs.shown.isEmpty());
    }

    // A row with neither pieces nor defects is saved only when the user says so.
    void nothingDoneAsks_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("saved on Yes") << true;
        QTest::newRow("kept on No") << false;
    }
    void nothingDoneAsks()
    {
        QFETCH(bool, yes);
        team->prepare(kDay, 1, false);
        chooseOperation(assembly);
        for (int i = 0; i < 3; ++i) {
            team->addWorker(workers[i], names[i]);
            key(i, TeamShift::Hours, "6");
        }
        key(0, TeamShift::Quantity, "0");  // nothing at all
        key(1, TeamShift::Quantity, "5");
        key(2, TeamShift::Quantity, "0");
        key(2, TeamShift::Defects, "2"); // defects only: work done
        dialogs.answers << yes;
        QCOMPARE(team->save(), yes ? 3 : 2);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].kind, Dialogs::Kind::Question);
        QCOMPARE(dialogs.shown[0].caption, QString("Бригада"));
        // a name that ends in a point gets no second one
        QCOMPARE(dialogs.shown[0].text, QString("Кол-во и брак равны 0: Алексеев А.А.\nЗаписать эту строку так?"));
        QCOMPARE(team->savedAt(0), yes);
        QVERIFY(team->savedAt(1) && team->savedAt(2));
        QCOMPARE(TestDb::scalar(QString("select count(*) from accounts_dep.smena where w_id=%1").arg(workers[0])).toInt(),
                 yes ? 1 : 0);
        if (!yes) {
            QVERIFY(!team->messageAt(0).isEmpty());
            // typed again, the row is saved with the next press, without a question
            key(0, TeamShift::Quantity, "7");
            QCOMPARE(team->save(), 1);
            QCOMPARE(dialogs.shown.size(), 1);
        }
    }

    // A row the duplicate check refuses is marked with its message, and so is
    // an incomplete one; the others are saved, each on its own.
    void refusedRowsMarkedOthersSaved()
    {
        entry(workers[1], assembly, kDay); // keyed in before at the same day and shift
        j->chooseDay(kDay);
        j->setShift(1);
        team->prepare(kDay, 1, false);
        chooseOperation(assembly);
        for (int i = 0; i < 4; ++i) {
            team->addWorker(workers[i], names[i]);
            key(i, TeamShift::Quantity, i == 3 ? QString() : QString::number(5 + i));
            key(i, TeamShift::Hours, "8");
        }
        QCOMPARE(team->save(), 2);
        QCOMPARE(team->messageAt(1), QString("Позиция с такими параметрами уже заведена!"));
        QCOMPARE(team->messageAt(3), QString("Все поля должны быть заполнены!"));
        QVERIFY(team->savedAt(0) && team->savedAt(2));
        QVERIFY(!team->savedAt(1) && !team->savedAt(3));
        QCOMPARE(team->Grid->item(1, TeamShift::Result)->foreground().color(), QColor(255, 0, 0));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 3);
        QCOMPARE(cell(workers[2], 1, kDay).toInt(), 8);

        // The missing quantity keyed: a second press saves only that row.
        key(3, TeamShift::Quantity, "4");
        QCOMPARE(team->save(), 1);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 4);
        QCOMPARE(team->messageAt(1), QString("Позиция с такими параметрами уже заведена!"));
        DialogDriver::shot(team, "team-refused");
    }

    // "как в прошлый раз": the workers of the last earlier day with that operation.
    void sameAsLastTime()
    {
        entry(workers[0], assembly, kDay.addDays(-5));
        entry(workers[3], assembly, kDay.addDays(-5));
        entry(workers[1], assembly, kDay.addDays(-2), 2); // another shift counts too
        entry(workers[2], assembly, kDay.addDays(-2));
        entry(workers[3], other, kDay.addDays(-1));  // another operation, a later day
        entry(workers[0], assembly, kDay);           // the day itself
        entry(workers[3], assembly, kDay.addDays(1)); // and after it
        team->prepare(kDay, 1, false);
        chooseOperation(assembly);
        QCOMPARE(team->sameAsLastTime(), 2);
        QCOMPARE(team->rows(), 2);
        QCOMPARE(team->workerAt(0), workers[1]);
        QCOMPARE(team->workerAt(1), workers[2]);
        // pressed again, nobody twice
        QCOMPARE(team->sameAsLastTime(), 0);
        QCOMPARE(team->rows(), 2);
        // an operation nobody did before: nothing
        team->prepare(kDay.addDays(-5), 1, false);
        chooseOperation(assembly);
        QCOMPARE(team->sameAsLastTime(), 0);
    }

    void painting()
    {
        const int paint = Seed::operation(product, Seed::kind("Покраска краска"), 0, {2.0});
        j->chooseDay(kDay);
        team->prepare(kDay, 1, false);
        chooseOperation(assembly);
        QVERIFY(team->Grid->isColumnHidden(TeamShift::Colour));
        QVERIFY(!team->ColourEdit->isEnabled());
        chooseOperation(paint);
        QVERIFY(!team->Grid->isColumnHidden(TeamShift::Colour));
        team->ColourEdit->setText("12");
        team->addWorker(workers[0], names[0]);
        team->addWorker(workers[1], names[1]);
        key(0, TeamShift::Quantity, "3");
        key(1, TeamShift::Quantity, "4");
        key(1, TeamShift::Colour, "");
        QCOMPARE(team->save(), 1);
        QCOMPARE(TestDb::scalar("select color from accounts_dep.smena").toInt(), 12);
        QCOMPARE(team->messageAt(1), QString("Все поля должны быть заполнены!"));
    }

    // The team from the journal with the keyboard: the operation picked once,
    // each worker by letters and Enter, the quantities down the column with
    // Enter, on to the hours, Ctrl+Enter.
    void teamByKeys()
    {
        j->show();
        j->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(j));
        j->chooseDay(kDay);
        j->setShift(1);
        j->CBox1->setChecked(false);
        QVERIFY(j->TeamButton->isEnabled());
        using K = KeyScript;
        KeyScript script({
            K::type("TeamShiftWindow", "M"), // on the operation's "...": the operations list searching the brand
            K::key("TForm4", Qt::Key_Down),
            K::key("TForm4", Qt::Key_Return), // M-1 "Резка" comes first, "Сборка" second
            K::type("TeamShiftWindow", "А"),
            K::key("TForm5", Qt::Key_Return),
            K::type("TeamShiftWindow", "Б"),
            K::key("TForm5", Qt::Key_Return),
            K::type("TeamShiftWindow", "В"),
            K::key("TForm5", Qt::Key_Return),
            K::key("TeamShiftWindow", Qt::Key_Tab), // into the grid, on the first quantity
            K::type("TeamShiftWindow", "11"), K::key("TeamShiftWindow", Qt::Key_Return),
            K::type("TeamShiftWindow", "12"), K::key("TeamShiftWindow", Qt::Key_Return),
            K::type("TeamShiftWindow", "13"), K::key("TeamShiftWindow", Qt::Key_Return), // on to the defects' top
            K::key("TeamShiftWindow", Qt::Key_Right), // the hours
            K::type("TeamShiftWindow", "7"), K::key("TeamShiftWindow", Qt::Key_Return),
            K::type("TeamShiftWindow", "8"), K::key("TeamShiftWindow", Qt::Key_Return),
            K::type("TeamShiftWindow", "9"),
            K::key("TeamShiftWindow", Qt::Key_Return, Qt::ControlModifier),
        });
        QTimer::singleShot(0, [&]() { script.start(); });
        QTimer::singleShot(0, [&]() { DialogDriver::shot(team, "team-before"); });
        j->TeamButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 15000);
        QVERIFY2(script.failure().isEmpty(), qPrintable(script.failure()));
        const auto rows = TestDb::rows("select w_id, o_id, kol_vo, time from accounts_dep.smena order by kol_vo");
        QCOMPARE(rows.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(rows[i][0].toInt(), workers[i]);
            QCOMPARE(rows[i][1].toInt(), assembly);
            QCOMPARE(rows[i][2].toInt(), 11 + i);
            QCOMPARE(rows[i][3].toInt(), 7 + i);
        }
        QVERIFY(!team->isVisible()); // every row saved: the window closed
        QTRY_COMPARE(dm->smena(1)->recordCount(), 3); // and the journal shows them
        // one operation pick and about four presses per worker
        QVERIFY2(script.counted() <= 2 + 4 * 3, qPrintable(QString::number(script.counted())));
    }

    // Closing with rows not saved asks; No keeps the window and its rows.
    void closingAsksForUnsavedRows()
    {
        team->prepare(kDay, 1, false);
        chooseOperation(assembly);
        team->addWorker(workers[0], names[0]);
        dialogs.answers << false << true;
        QTimer::singleShot(0, [&]() {
            team->CloseButton->click();
            QVERIFY(team->isVisible());
            QCOMPARE(team->rows(), 1);
            team->CloseButton->click();
        });
        team->exec();
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[0].kind, Dialogs::Kind::Question);
    }

    void onlyForRolesThatAdd()
    {
        j->Button1->setEnabled(false);
        QVERIFY(!j->TeamButton->isEnabled());
        j->Button1->setEnabled(true);
        QVERIFY(j->TeamButton->isEnabled());
        DialogDriver::shot(j, "journal-buttons");
    }
};

TABEL_TEST_MAIN(TestTeamShift)
#include "tst_team_shift.moc"

#include "app/Startup.h"
#include "catalogues/TForm26.h"
#include "catalogues/TForm5.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "journal/TForm24.h"
#include "journal/TForm25.h"
#include "records/Pricing.h"
#include "journal/TForm11.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/DatasetModel.h"
#include "ui/DigitEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {
const QDate kDay(2024, 3, 5); // a Tuesday
using DialogDriver::shot;
} // namespace

class TestHousekeeping : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TForm25 *list = nullptr;
    TForm24 *ed = nullptr;
    int worker = 0, worker2 = 0, group = 0, group2 = 0;

    // A housekeeping entry as another workstation would have stored it
    int fatigue(int w, int kind, const QDate &d, int hours, double price, int holiday = 0, int night = 0, int nom = 0)
    {
        return TestDb::scalar(QString("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, "
                                      "price, i_holiday, i_night) values (%1, %2, %3, '%4', %5, %6, 1, %7, %8, %9, %10) returning id")
                                  .arg(kind).arg(w).arg(nom ? nom : group).arg(d.toString("dd.MM.yyyy")).arg(d.month()).arg(d.year())
                                  .arg(hours).arg(price).arg(holiday).arg(night))
            .toInt();
    }
    QVariant cell(int w, int kind, int night, const QDate &d)
    {
        return TestDb::scalar(QString("select d%1 from accounts_dep.h_tabel where w_id=%2 and i_type=%3 and i_night=%4 and smena=0 "
                                      "and month=%5 and year=%6")
                                  .arg(d.day()).arg(w).arg(kind).arg(night).arg(d.month()).arg(d.year()));
    }
    int count(const QString &table) { return TestDb::scalar("select count(*) from accounts_dep." + table).toInt(); }

    void showList(const QDate &d, bool dayOff = false)
    {
        list->chooseDate(d);
        list->CBox1->setChecked(dayOff);
        list->FormActivate();
    }
    // The editor filled for a new entry as the pickers would fill it
    void fillNew(int w, int nom, int kind, const QString &hours, bool night = false)
    {
        ed->prepareAdd();
        ed->Edit1->setText("picked");
        ed->id_p = w;
        ed->Edit2->setText("group");
        ed->id_nom = nom;
        ed->setWorkKind(kind);
        ed->Edit6->setText(hours);
        ed->CBox1->setChecked(night);
    }
    void editRow(int id)
    {
        list->readList();
        QVERIFY(list->fatigue->locate("id", id));
        ed->prepareEdit();
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        list = app->forms.Form25;
        ed = app->forms.Form24;
        QVERIFY(list && ed);
    }
    void init()
    {
        TestDb::clearData();
        TestDb::exec("update accounts_dep.norm set price=100 where o_id=7777; update accounts_dep.norm set price=120 where o_id=7778");
        worker = Seed::worker("Иванов И.И.");
        worker2 = Seed::worker("Яковлев Я.Я.");
        group = Seed::group("Корпуса");
        group2 = Seed::group("Рамы");
        showList(kDay);
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void weekendFlagFollowsDate_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("dayOff");
        QTest::newRow("Saturday") << QDate(2024, 2, 24) << true;
        QTest::newRow("Sunday") << QDate(2024, 2, 25) << true;
        QTest::newRow("Monday") << QDate(2024, 2, 26) << false;
    }
    void weekendFlagFollowsDate()
    {
        QFETCH(QDate, date);
        QFETCH(bool, dayOff);
        const int id = fatigue(worker, 7777, date, 3, 100);
        list->chooseDate(QDate(2024, 2, 23));
        list->CBox1->setChecked(!dayOff);
        list->DTPcker1->setDate(date); // as the user changes the picker
        QCOMPARE(list->CBox1->isChecked(), dayOff);
        QCOMPARE(list->fatigue->recordCount(), 1);
        QCOMPARE(list->fatigue->asInt("id"), id);
    }

    // The list query: grid columns, amounts and marks, rows only of that date
    void listShowsEntriesOfTheDate()
    {
        fatigue(worker2, 7778, kDay, 2, 23.33, 1, 0, group2);
        fatigue(worker, 7777, kDay, 8, 150, 0, 1);
        fatigue(worker, 7777, kDay.addDays(1), 1, 100);
        list->readList();
        const DatasetModel *m = list->gridModel;
        QStringList titles;
        for (int c = 0; c < m->columnCount(); ++c)
            titles << m->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"ФИО", "Номенклатура", "Работа", "Цена", "Кол-во", "Итого", "Вых.", "Ноч."}));
        QCOMPARE(m->rowCount(), 2);
        auto row = [m](int r) {
            QStringList t;
            for (int c = 0; c < m->columnCount(); ++c)
                t << m->data(m->index(r, c)).toString();
            return t;
        };
        QCOMPARE(row(0), (QStringList{"Иванов И.И.", "Корпуса", "хоз. работы", "150", "8", "1200.00", "", "+"}));
        QCOMPARE(row(1), (QStringList{"Яковлев Я.Я.", "Рамы", "среднесдельная", "23.33", "2", "46.66", "+", ""}));
    }

    // A sum of money keeps its kopecks, a price shows as stored, both with the
    // user's decimal separator.
    void sumsWithKopecks()
    {
        fatigue(worker, 7777, kDay, 8, 147.6);
        const DatasetModel *m = list->gridModel;
        auto cell = [m](const char *field) { return m->data(m->index(0, m->columnOf(field))).toString(); };
        for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::Russian, QLocale::Russia)}) {
            QLocale::setDefault(locale);
            list->readList();
            QCOMPARE(m->rowCount(), 1);
            const QString point = locale.decimalPoint();
            QCOMPARE(cell("summ"), "1180" + point + "80");
            QCOMPARE(cell("price"), "147" + point + "6");
        }
        DialogDriver::shot(list, "housekeeping-kopecks");
        QLocale::setDefault(QLocale::c());
    }

    // Norm price, "Выходной" of the list and "Ночные": the stored price and its text
    void editorPrices_data()
    {
        QTest::addColumn<QString>("norm");
        QTest::addColumn<bool>("dayOff");
        QTest::addColumn<bool>("night");
        QTest::addColumn<QString>("price");
        QTest::newRow("working day") << "150" << false << false << "150";
        QTest::newRow("day off") << "150" << true << false << "300";
        QTest::newRow("day off at night") << "150" << true << true << "360";
        QTest::newRow("night") << "123" << false << true << "147.6";
        QTest::newRow("fraction") << "100.1234" << false << true << "120.14808";
    }
    void editorPrices()
    {
        QFETCH(QString, norm);
        QFETCH(bool, dayOff);
        QFETCH(bool, night);
        QFETCH(QString, price);
        TestDb::exec("update accounts_dep.norm set price=" + norm + " where o_id=7777");
        showList(kDay, dayOff);
        fillNew(worker, group, 7777, "8", night);
        QCOMPARE(ed->DBEdit1->text(), norm);
        // the database's price, four places
        const auto hour = Pricing::housekeepingPrice(app->forms.DataModule6->connectionName(), 7777, dayOff, night);
        QVERIFY(hour);
        QCOMPARE(hour->toString(), QString::number(qRound64(price.toDouble() * 10000) / 10000.0, 'g', 15));
        QVERIFY(ed->save());
        const auto r = TestDb::rows("select price, cnt, i_holiday, i_night, i_smena, i_mnth, i_year, d_date, id_o, id_p, id_nom "
                                    "from accounts_dep.fatigue");
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0][0].toString().toDouble(), qRound64(price.toDouble() * 10000) / 10000.0); // the column keeps 4 places
        const QVariantList rest{8, dayOff ? 1 : 0, night ? 1 : 0, 1, 3, 2024, kDay, 7777, worker, group};
        for (int i = 0; i < rest.size(); ++i)
            QVERIFY2(r[0][i + 1].toString() == rest[i].toString(), qPrintable(QString("column %1: %2").arg(i + 1).arg(r[0][i + 1].toString())));
        // the list was read again and shows the amount
        QCOMPARE(list->fatigue->recordCount(), 1);
        QCOMPARE(list->fatigue->asString("summ").toDouble(), 8 * (qRound64(price.toDouble() * 10000) / 10000.0));
    }

    // "Сумма" follows the hours as they are typed
    void amountFollowsHours()
    {
        fillNew(worker, group, 7778, "0");
        QCOMPARE(ed->DBEdit1->text(), QString("120"));
        QCOMPARE(ed->DBEdit2->text(), QString("0.00"));
        ed->Edit6->setText("7");
        QCOMPARE(ed->DBEdit2->text(), QString("840.00"));
        ed->setWorkKind(7777);
        QCOMPARE(ed->DBEdit2->text(), QString("700.00"));
    }

    // Refused with a message before anything is written
    void refusals_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("message");
        QTest::newRow("hours 0") << "hours 0" << "Нужно завести количество!";
        QTest::newRow("no hours") << "no hours" << "Нужно завести количество!";
        QTest::newRow("no worker") << "no worker" << "Все поля должны быть заполнены!";
        QTest::newRow("no nomenclature") << "no nomenclature" << "Все поля должны быть заполнены!";
        QTest::newRow("kind without price") << "no price" << "Все поля должны быть заполнены!";
        QTest::newRow("hours 25") << "hours 25" << "Часы: не больше 24.";
        // the largest norm, doubled on a day off and raised at night, does not fit the price column
        QTest::newRow("price beyond the column") << "huge price"
                                                 << "Цена часа 240000000000 больше наибольшей возможной (99999999999.9999): "
                                                    "позиция не записана. Проверьте расценку вида работ.";
    }
    void refusals()
    {
        QFETCH(QString, what);
        QFETCH(QString, message);
        ScriptedDialogs dialogs;
        if (what == "no price")
            TestDb::exec("update accounts_dep.norm set price=null where o_id=7777");
        if (what == "huge price") {
            TestDb::exec("update accounts_dep.norm set price=99999999999.9999 where o_id=7777");
            showList(kDay, true);
        }
        fillNew(what == "no worker" ? 0 : worker, what == "no nomenclature" ? 0 : group, 7777,
                what == "hours 0" ? "0" : what == "no hours" ? "" : what == "hours 25" ? "25" : "8", what == "huge price");
        QVERIFY(!ed->save());
        QCOMPARE(dialogs.texts(), QStringList{message});
        QCOMPARE(dialogs.shown.first().caption, QString("Ошибка"));
        QCOMPARE(count("fatigue"), 0);
        QCOMPARE(count("h_tabel"), 0);
    }

    // Hours typed beyond a day: refused before sending, the field marked and
    // focused; 24 is taken.
    void hoursLimitByKeys()
    {
        ScriptedDialogs dialogs;
        QWidget *focused = nullptr;
        bool marked = false, saved = false;
        DialogDriver::onNextModal([&](QWidget *) {
            ed->Edit1->setText("Иванов И.И.");
            ed->id_p = worker;
            ed->Edit2->setText("Корпуса");
            ed->id_nom = group;
            ed->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(ed));
            ed->Edit6->setFocus();
            ed->Edit6->selectAll();
            QTest::keyClicks(ed->Edit6, "25");
            QTest::keyClick(ed, Qt::Key_Return);
            focused = QApplication::focusWidget();
            marked = TForm11::isMarked(ed->Edit6);
            QTest::keyClicks(ed->Edit6, "24"); // the refused text is selected: typing replaces it
            QTest::keyClick(ed, Qt::Key_Return);
            saved = !ed->isVisible();
        });
        ed->addEntry();
        QCOMPARE(dialogs.texts(), QStringList{"Часы: не больше 24."});
        QCOMPARE(focused, static_cast<QWidget *>(ed->Edit6));
        QVERIFY(marked);
        QVERIFY(saved);
        QCOMPARE(TestDb::scalar("select cnt from accounts_dep.fatigue").toInt(), 24);
    }

    void dayCells()
    {
        // the first entry makes the line with only that day
        fillNew(worker, group, 7777, "3");
        QVERIFY(ed->save());
        const auto line = TestDb::rows("select smena, i_type, i_night, month, year, d5, d4, d6, d1, d31 from accounts_dep.h_tabel");
        QCOMPARE(line.size(), 1);
        QCOMPARE(line[0].mid(0, 6), (QVariantList{0, 7777, 0, 3, 2024, 3}));
        for (int i = 6; i < 10; ++i)
            QVERIFY(line[0][i].isNull());

        // a second one adds to the day; a night one goes to a line of its own
        fillNew(worker, group2, 7777, "5");
        QVERIFY(ed->save());
        fillNew(worker, group, 7777, "4", true);
        QVERIFY(ed->save());
        QCOMPARE(cell(worker, 7777, 0, kDay).toInt(), 8);
        QCOMPARE(cell(worker, 7777, 1, kDay).toInt(), 4);
        QCOMPARE(count("h_tabel"), 2);

        // deleting the 3 h leaves the 5 h
        ScriptedDialogs dialogs;
        list->readList();
        QVERIFY(list->fatigue->locate("cnt", 3));
        list->Button7->click();
        QCOMPARE(dialogs.texts(), QStringList{"Удалить позицию из списка?"});
        QCOMPARE(dialogs.shown.first().caption, QString("Удаление"));
        QCOMPARE(cell(worker, 7777, 0, kDay).toInt(), 5);
        QCOMPARE(count("fatigue"), 2);
    }

    // The last hours of a day deleted: that cell becomes 0, the line's other days stay
    void deletingTheLastHoursZeroesOnlyThatDay()
    {
        const int id = fatigue(worker, 7778, kDay, 6, 120, 0, 1);
        TestDb::exec(QString("insert into accounts_dep.h_tabel (w_id, i_type, i_night, month, year, d4, d5) values (%1, 7778, 1, 3, 2024, 2, 6)").arg(worker));
        ScriptedDialogs dialogs;
        dialogs.answers << false;
        list->readList();
        list->Button7->click(); // "No"
        QCOMPARE(count("fatigue"), 1);
        QCOMPARE(cell(worker, 7778, 1, kDay).toInt(), 6);
        list->Button7->click();
        QCOMPARE(count("fatigue"), 0);
        QCOMPARE(TestDb::rows("select d4, d5 from accounts_dep.h_tabel"), (QList<QVariantList>{{2, 0}}));
        QVERIFY(list->fatigue->isEmpty());
        list->Button7->click(); // an empty list: nothing asked
        QCOMPARE(dialogs.shown.size(), 2);
        Q_UNUSED(id);
    }

    // A change rewrites worker, group, kind, hours, price and day-off flag;
    // it keeps the date and the night flag, and corrects the cell it left.
    void changeKeepsDateAndNight()
    {
        const int id = fatigue(worker, 7777, kDay, 3, 100, 0, 1);
        fatigue(worker, 7777, kDay, 2, 100, 0, 1, group2);
        TestDb::exec(QString("insert into accounts_dep.h_tabel (w_id, i_type, i_night, month, year, d5) values (%1, 7777, 1, 3, 2024, 5)").arg(worker));
        showList(kDay, true);
        editRow(id);
        const int rec = list->fatigue->recNo();
        QCOMPARE(ed->Tag, 1);
        QCOMPARE(ed->Edit1->text(), QString("Иванов И.И."));
        QCOMPARE(ed->Edit2->text(), QString("Корпуса"));
        QCOMPARE(ed->Edit6->text(), QString("3"));
        QCOMPARE(ed->workKind(), 7777);
        QVERIFY(ed->CBox1->isChecked());
        QVERIFY(!ed->CBox1->isEnabled());
        ed->id_p = worker2;
        ed->id_nom = group2;
        ed->setWorkKind(7778);
        ed->Edit6->setText("7");
        QVERIFY(ed->save());
        const auto r = TestDb::rows(QString("select id_p, id_nom, id_o, cnt, price, i_holiday, i_night, d_date, i_mnth, i_year, i_smena "
                                            "from accounts_dep.fatigue where id=%1").arg(id));
        QCOMPARE(r[0][0].toInt(), worker2);
        QCOMPARE(r[0][1].toInt(), group2);
        QCOMPARE(r[0][2].toInt(), 7778);
        QCOMPARE(r[0][3].toInt(), 7);
        QCOMPARE(r[0][4].toDouble(), 288.0); // 120 x 2.0 x 1.2
        QCOMPARE(r[0][5].toInt(), 1);
        QCOMPARE(r[0][6].toInt(), 1);
        QCOMPARE(r[0][7].toDate(), kDay);
        QCOMPARE(r[0][8].toInt(), 3);
        QCOMPARE(r[0][9].toInt(), 2024);
        QCOMPARE(r[0][10].toInt(), 1);
        QCOMPARE(cell(worker, 7777, 1, kDay).toInt(), 2);  // the cell it left
        QCOMPARE(cell(worker2, 7778, 1, kDay).toInt(), 7); // the new one
        // the list read again, its cursor back on the same record number
        QCOMPARE(list->fatigue->asInt("cnt"), rec == 1 ? 2 : 7);
        QCOMPARE(list->fatigue->recNo(), rec);
    }

    // An entry and its day cell are stored together or not at all
    void timesheetFailureStoresNothing_data()
    {
        QTest::addColumn<bool>("deleting");
        QTest::newRow("save") << false;
        QTest::newRow("deletion") << true;
    }
    void timesheetFailureStoresNothing()
    {
        QFETCH(bool, deleting);
        if (deleting) {
            fatigue(worker, 7777, kDay, 3, 100);
            TestDb::exec(QString("insert into accounts_dep.h_tabel (w_id, i_type, i_night, month, year, d5) values (%1, 7777, 0, 3, 2024, 3)").arg(worker));
        }
        TestDb::exec("create function accounts_dep.refuse() returns trigger language plpgsql as "
                     "$$ begin raise exception 'табель закрыт'; end $$");
        TestDb::exec("create trigger refuse before insert or update on accounts_dep.h_tabel for each row execute function accounts_dep.refuse()");
        ScriptedDialogs dialogs;
        if (deleting) {
            list->readList();
            list->deleteEntry();
            QCOMPARE(dialogs.shown.size(), 2); // the question, then the refusal
            QVERIFY(dialogs.shown.last().text.contains("табель закрыт"));
        } else {
            bool stillOpen = false;
            DialogDriver::onNextModal([&](QWidget *) {
                ed->Edit1->setText("picked");
                ed->id_p = worker;
                ed->Edit2->setText("group");
                ed->id_nom = group;
                ed->Edit6->setText("8");
                ed->Button1->click();
                stillOpen = ed->isVisible();
                QCOMPARE(ed->Edit6->text(), QString("8"));
            });
            list->Button5->click();
            QVERIFY(stillOpen);
            QCOMPARE(dialogs.shown.size(), 1);
            QVERIFY(dialogs.shown.first().text.contains("табель закрыт"));
        }
        TestDb::exec("drop trigger refuse on accounts_dep.h_tabel; drop function accounts_dep.refuse()");
        QCOMPARE(count("fatigue"), deleting ? 1 : 0);
        QCOMPARE(cell(worker, 7777, 0, kDay).toInt(), deleting ? 3 : 0);
    }

    void recalculationPeriod_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::newRow("March") << QDate(2024, 3, 15);
        QTest::newRow("December") << QDate(2024, 12, 31);
    }
    void recalculationPeriod()
    {
        QFETCH(QDate, date);
        // journal entries of the month count, those of the next month do not
        const int product = Seed::product("K-1", group);
        const int oper = Seed::operation(product, Seed::kind("Сборка"), 0, {10.0});
        Seed::entry({QDate(date.year(), date.month(), 1), 1, worker, product, oper, 10, 0, 10.0, 5});
        Seed::entry({date.addMonths(1).addDays(-date.day() + 1), 1, worker, product, oper, 99, 0, 10.0, 1});
        Seed::entry({QDate(date.year(), date.month(), 1).addDays(-1), 1, worker, product, oper, 99, 0, 10.0, 1});
        const int id = fatigue(worker, 7778, date, 4, 1);
        showList(date);
        ScriptedDialogs dialogs;
        list->Button1->click();
        QCOMPARE(TestDb::scalar(QString("select price from accounts_dep.fatigue where id=%1").arg(id)).toDouble(), 20.0);
    }

    // Earnings of the month's good pieces in the entry's group over their hours
    void recalculationPrices()
    {
        const int product = Seed::product("K-1", group);
        const int other = Seed::product("R-1", group2);
        const int op10 = Seed::operation(product, Seed::kind("Сборка"), 0, {10.0});
        const int op15 = Seed::operation(product, Seed::kind("Сварка"), 0, {15.0});
        const int opOther = Seed::operation(other, Seed::kind("Рихтовка"), 0, {50.0});
        Seed::entry({kDay, 1, worker, product, op10, 9, 1, 10.0, 2});           // 8 good at 10
        Seed::entry({kDay.addDays(3), 2, worker, product, op15, 4, 0, 15.0, 4}); // 4 at 15
        Seed::entry({kDay, 1, worker, other, opOther, 100, 0, 50.0, 1});         // another group
        const int working = fatigue(worker, 7778, kDay, 3, 1);
        const int dayOff = fatigue(worker, 7778, kDay.addDays(4), 3, 1, 1);
        const int noJournal = fatigue(worker2, 7778, kDay, 3, 5);
        const int housekeeping = fatigue(worker, 7777, kDay, 3, 100);
        const int otherMonth = fatigue(worker, 7778, kDay.addMonths(1), 3, 7);
        list->readList();
        list->fatigue->setRecNo(2);
        ScriptedDialogs dialogs;
        list->Button1->click();
        auto price = [](int id) { return TestDb::scalar(QString("select price from accounts_dep.fatigue where id=%1").arg(id)).toDouble(); };
        QCOMPARE(price(working), 23.33);  // 140 / 6
        QCOMPARE(price(dayOff), 46.67);   // 280 / 6
        QCOMPARE(price(noJournal), 0.0);
        QCOMPARE(price(housekeeping), 100.0);
        QCOMPARE(price(otherMonth), 7.0);
        QCOMPARE(list->fatigue->recNo(), 2); // the cursor back after the re-read
        QCOMPARE(count("h_tabel"), 0);
    }

    // -------- through the real windows

    // From the journal: the list of the journal's day, flag from the weekday;
    // "Добавить" with both pickers, "Изменить" by double click.
    void roadThroughWindows()
    {
        TForm1 *j = app->forms.Form1;
        fatigue(worker2, 7778, QDate(2024, 2, 24), 4, 120, 1);
        j->DateT->setDate(QDate(2024, 2, 24)); // a Saturday
        list->CBox1->setChecked(false);
        bool added = false, edited = false;
        DialogDriver::onNextModal([&](QWidget *w) {
            QCOMPARE(w, static_cast<QWidget *>(list));
            QCOMPARE(list->listDate(), QDate(2024, 2, 24));
            QVERIFY(list->CBox1->isChecked());
            QCOMPARE(list->fatigue->recordCount(), 1);
            DialogDriver::onNextModal([&](QWidget *) {
                QCOMPARE(ed->windowTitle(), QString("Хоз. работы/среднесдельная (24)"));
                QCOMPARE(ed->cb_type_work->currentText(), QString("хоз. работы"));
                QCOMPARE(ed->Edit6->text(), QString("0"));
                QVERIFY(ed->CBox1->isEnabled());
                DialogDriver::onNextModal([&](QWidget *picker) {
                    QCOMPARE(picker, static_cast<QWidget *>(app->forms.Form5));
                    QCOMPARE(app->forms.Form5->Tag, 24);
                    QVERIFY(app->forms.DataModule6->Workers.locate("fio", "Иванов И.И."));
                    app->forms.Form5->Button2->click();
                });
                ed->Button3->click();
                QCOMPARE(ed->Edit1->text(), QString("Иванов И.И."));
                DialogDriver::onNextModal([&](QWidget *picker) {
                    QCOMPARE(picker, static_cast<QWidget *>(app->forms.Form26));
                    QVERIFY(app->forms.Form26->item->locate("s_caption", "Рамы"));
                    app->forms.Form26->Button1->click();
                });
                ed->Button4->click();
                QCOMPARE(ed->Edit2->text(), QString("Рамы"));
                QCOMPARE(ed->id_nom, qint64(group2));
                ed->Edit6->setText("6");
                ed->CBox1->setChecked(true);
                shot(ed, "housekeeping-add");
                QTest::keyClick(ed, Qt::Key_Return);
                added = !ed->isVisible();
            });
            list->Button5->click();
            QCOMPARE(list->fatigue->recordCount(), 2);
            QVERIFY(list->fatigue->locate("fio", "Иванов И.И."));
            const QModelIndex cell = list->gridModel->index(list->fatigue->recNo() - 1, 0);
            DialogDriver::onNextModal([&](QWidget *) {
                QCOMPARE(ed->Edit1->text(), QString("Иванов И.И."));
                QCOMPARE(ed->Edit6->text(), QString("6"));
                QVERIFY(!ed->CBox1->isEnabled());
                edited = true;
                shot(ed, "housekeeping-edit");
                ed->Button6->click();
            });
            QTest::mouseClick(list->DBGrid1->viewport(), Qt::LeftButton, {}, list->DBGrid1->visualRect(cell).center());
            QTest::mouseDClick(list->DBGrid1->viewport(), Qt::LeftButton, {}, list->DBGrid1->visualRect(cell).center());
            shot(list, "housekeeping-list");
            list->Button8->click();
        });
        j->Button5->click();
        QVERIFY(added);
        QVERIFY(edited);
        QCOMPARE(TestDb::scalar(QString("select price from accounts_dep.fatigue where id_p=%1").arg(worker)).toDouble(), 240.0);
        QCOMPARE(cell(worker, 7777, 1, QDate(2024, 2, 24)).toInt(), 6);
    }

    // "Расчитать ср.сд." asks first, naming the month and the entries it
    // reprices; "Нет" changes nothing, "Да" says how many it recalculated.
    void recalculationAsksFirst()
    {
        const int product = Seed::product("K-1", group);
        const int oper = Seed::operation(product, Seed::kind("Сборка"), 0, {10.0});
        Seed::entry({kDay, 1, worker, product, oper, 10, 0, 10.0, 5});
        const QList<int> ids{fatigue(worker, 7778, kDay, 4, 1), fatigue(worker2, 7778, kDay.addDays(20), 4, 3),
                             fatigue(worker, 7778, kDay.addDays(1), 4, 5)};
        fatigue(worker, 7777, kDay, 4, 9);                   // housekeeping: not repriced
        fatigue(worker, 7778, kDay.addMonths(1), 4, 9);      // another month
        const QString prices = "select string_agg(price::text, ' ' order by id) from accounts_dep.fatigue";
        const QString before = TestDb::scalar(prices).toString();
        showList(kDay);
        ScriptedDialogs dialogs;
        dialogs.answers = {false};
        list->Button1->click();
        QCOMPARE(dialogs.texts(), QStringList{"Пересчитать цены ср.сд. за март 2024? Изменятся цены 3 записей."});
        QCOMPARE(dialogs.shown[0].kind, Dialogs::Kind::Question);
        QCOMPARE(TestDb::scalar(prices).toString(), before);
        dialogs.clear();
        list->Button1->click();
        QCOMPARE(dialogs.texts().size(), 2);
        QCOMPARE(dialogs.texts().last(), QString("Пересчитано 3 записи."));
        QCOMPARE(TestDb::scalar(QString("select price from accounts_dep.fatigue where id=%1").arg(ids[0])).toDouble(), 20.0);
        QCOMPARE(TestDb::scalar(QString("select price from accounts_dep.fatigue where id=%1").arg(ids[1])).toDouble(), 0.0);
    }
};

TABEL_TEST_MAIN(TestHousekeeping)
#include "tst_housekeeping.moc"

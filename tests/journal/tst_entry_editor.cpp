#include "app/Startup.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "journal/TForm11.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/DigitEdit.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "catalogues/TForm4.h"
#include "catalogues/TForm5.h"

namespace {
const QDate kDay(2024, 3, 5); // a Tuesday

// Saves a picture of a window when TABEL_SHOTS names a folder (for looking at it).
void shot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("TABEL_SHOTS");
    if (!dir.isEmpty())
        w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}
} // namespace

class TestEntryEditor : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TDataModule6 *dm = nullptr;
    TForm1 *journalWindow = nullptr;
    TForm11 *ed = nullptr;

    struct Plant {
        int worker, worker2, product, assembly, painting, paintOp;
    };
    Plant p{};

    void seedPlant()
    {
        p.worker = Seed::worker("Петров П.П.");
        p.worker2 = Seed::worker("Сидоров С.С.");
        p.product = Seed::product("M-1", Seed::group("Корпуса"));
        p.assembly = Seed::operation(p.product, Seed::kind("Сборка"), 0, {12.5, 10.0}); // list price 10
        p.painting = Seed::operation(p.product, Seed::kind("Покраска"), 1, {2.0});
    }

    // The journal window on a day and shift, "Выходной" as given
    void showJournal(const QDate &d, int shift, bool dayOff = false)
    {
        for (int s = 1; s <= 4; ++s)
            dm->smena(s)->setParam("ok", "ta");
        journalWindow->DateT->setDate(d);
        journalWindow->readJournals();
        journalWindow->setShift(shift);
        journalWindow->CBox1->setChecked(dayOff);
    }

    // What the operations list hands over when a row is chosen
    void chooseOperation(int operId)
    {
        dm->Oper.close();
        dm->Oper.open();
        QVERIFY(dm->Oper.locate("id", operId));
        ed->setOperationFromOper();
        ed->updateColourField();
        ed->recomputeDisplays();
    }

    void fillNew(int worker, const QString &fio, int operId, int qty, int hours, const QString &colour = QString())
    {
        ed->prepareAdd();
        ed->setWorker(fio, worker);
        chooseOperation(operId);
        ed->Edit3->setText(QString::number(qty));
        ed->Edit6->setText(QString::number(hours));
        if (!colour.isNull())
            ed->Edit5->setText(colour);
        ed->recomputeDisplays(); // as when the focus leaves the quantity
    }

    int entries() { return TestDb::scalar("select count(*) from accounts_dep.smena").toInt(); }
    QVariant cell(int worker, int shift, const QDate &d)
    {
        return TestDb::scalar(QString("select d%1 from accounts_dep.h_tabel where w_id=%2 and smena=%3 and month=%4 and year=%5")
                                  .arg(d.day()).arg(worker).arg(shift).arg(d.month()).arg(d.year()));
    }
    // Puts the journal's cursor on the entry with this id and starts changing it
    void editEntryWithId(int id)
    {
        journalWindow->readJournals();
        QVERIFY(journalWindow->journal()->locate("id", id));
        QVERIFY(ed->prepareEdit());
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        dm = app->forms.DataModule6;
        journalWindow = app->forms.Form1;
        ed = app->forms.Form11;
        QVERIFY(ed);
    }
    void init()
    {
        TestDb::clearData();
        seedPlant();
        showJournal(kDay, 1);
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void controls()
    {
        QCOMPARE(ed->GroupBox1->title(), QString("Закрыто мастером"));
        QVERIFY(ed->Button1->isDefault());
        QCOMPARE(ed->Button1->text(), QString("Запись"));
        QCOMPARE(ed->Button2->text(), QString("Отмена"));
        for (QLineEdit *e : {ed->Edit1, ed->Edit2, ed->Edit7, ed->Edit8, ed->Edit9}) {
            QVERIFY2(e->isReadOnly(), qPrintable(e->objectName()));
            QVERIFY2(!(e->focusPolicy() & Qt::TabFocus), qPrintable(e->objectName()));
        }
        // the Tab key's round, compound controls counted once
        const QList<QWidget *> order{ed->Button3, ed->Button4, ed->Edit3, ed->Edit6, ed->Edit5, ed->DTimeP, ed->Edit4, ed->Button1, ed->Button2};
        QList<QWidget *> chain;
        QWidget *w = ed->Button3;
        do {
            QWidget *owner = w;
            while (owner && !order.contains(owner))
                owner = owner->parentWidget();
            if (owner && (w->focusPolicy() & Qt::TabFocus) && (chain.isEmpty() || chain.last() != owner))
                chain << owner;
            w = w->nextInFocusChain();
        } while (w != ed->Button3 && chain.size() < 20);
        QCOMPARE(chain, order);
        QVERIFY(ed->findChild<QLabel *>("Label6"));
        QCOMPARE(ed->findChild<QLabel *>("Label6")->text(), QString("Цвет"));
    }

    // base 10: days off double the price, then shift 3 adds 20 %, overtime 50 %
    void priceRule_data()
    {
        QTest::addColumn<int>("shift");
        QTest::addColumn<bool>("dayOff");
        QTest::addColumn<QString>("shown");
        QTest::newRow("shift 1") << 1 << false << "10";
        QTest::newRow("shift 2") << 2 << false << "10";
        QTest::newRow("shift 3") << 3 << false << "12";
        QTest::newRow("shift 4") << 4 << false << "15";
        QTest::newRow("day off, shift 1") << 1 << true << "20";
        QTest::newRow("day off, shift 3") << 3 << true << "24";
        QTest::newRow("day off, shift 4") << 4 << true << "30";
    }
    void priceRule()
    {
        QFETCH(int, shift);
        QFETCH(bool, dayOff);
        QFETCH(QString, shown);
        showJournal(kDay, shift, dayOff);
        fillNew(p.worker, "Петров П.П.", p.assembly, 3, 8);
        QCOMPARE(ed->Edit8->text(), QString("10"));
        QCOMPARE(ed->Edit7->text(), shown);
        QCOMPARE(ed->Edit9->text(), QString::number(3 * shown.toInt()));
        QVERIFY(ed->save());
        QCOMPARE(TestDb::scalar("select cena from accounts_dep.smena").toDouble(), shown.toDouble());
    }

    // A stored price of more than 4 places is shown rounded, the sum from the unrounded price
    void editShowsRoundedFigures_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("price");
        QTest::addColumn<QString>("sum");
        QTest::newRow("C") << "C" << "1.2346" << "8.6419";
        QTest::newRow("ru_RU") << "ru_RU" << "1,2346" << "8,6419";
    }
    void editShowsRoundedFigures()
    {
        QFETCH(QString, locale);
        QFETCH(QString, price);
        QFETCH(QString, sum);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        const int id = Seed::entry({kDay, 1, p.worker, p.product, p.assembly, 7, 1, 1.23456, 4});
        editEntryWithId(id);
        QLocale::setDefault(before);
        QCOMPARE(ed->Edit7->text(), price);
        QCOMPARE(ed->Edit9->text(), sum);
    }

    void editOpenerFillsFromRow()
    {
        const int id = Seed::entry({kDay, 1, p.worker, p.product, p.painting, 7, 2, 3.0, 6, 4});
        editEntryWithId(id);
        QCOMPARE(ed->windowTitle(), QString("Изменение данных о позиции (11)"));
        QCOMPARE(ed->Tag, 2);
        QCOMPARE(ed->Edit1->text(), QString("Петров П.П."));
        QCOMPARE(ed->Edit2->text(), QString("M-1; Покраска; Заготовки"));
        QCOMPARE(ed->Edit3->text(), QString("7"));
        QCOMPARE(ed->Edit4->text(), QString("2"));
        QCOMPARE(ed->Edit6->text(), QString("6"));
        QCOMPARE(ed->Edit5->text(), QString("4"));
        QVERIFY(ed->Edit5->isEnabled());
        QCOMPARE(ed->DTimeP->date(), kDay);
        QCOMPARE(ed->Edit8->text(), QString("2")); // the operation's list price now
        QCOMPARE(std::make_tuple(ed->w_id, ed->i_id, ed->o_id), std::make_tuple(p.worker, p.product, p.painting));

        // a non-painting entry: the colour field is emptied and disabled
        const int other = Seed::entry({kDay, 1, p.worker2, p.product, p.assembly, 1, 0, 1.0, 1, 9});
        editEntryWithId(other);
        QCOMPARE(ed->Edit5->text(), QString());
        QVERIFY(!ed->Edit5->isEnabled());
        QVERIFY(!ed->findChild<QLabel *>("Label6")->isEnabled());
    }

    // A colour goes with a painting operation, known by its kind; the
    // product's brand does not count, whatever it says.
    void paintingByKind_data()
    {
        QTest::addColumn<QString>("brand");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("painting");
        QTest::newRow("painting kind") << "M-2" << "Покраска" << true;
        QTest::newRow("upper case kind") << "M-2" << "КРАСКА СЕРАЯ" << true;
        QTest::newRow("brand holds the word") << "КРАСКА-2" << "Сборка" << false;
    }
    void paintingByKind()
    {
        QFETCH(QString, brand);
        QFETCH(QString, kind);
        QFETCH(bool, painting);
        const int product = Seed::product(brand, Seed::group("Краски"));
        const int op = Seed::operation(product, Seed::kind(kind), 0, {3.0});
        fillNew(p.worker, "Петров П.П.", op, 5, 8);
        QCOMPARE(ed->Edit5->isEnabled(), painting);
        QCOMPARE(ed->findChild<QLabel *>("Label6")->isEnabled(), painting);
        ed->Edit5->setText("3");
        QVERIFY(ed->save());
        QCOMPARE(TestDb::scalar("select color from accounts_dep.smena").toInt(), painting ? 3 : 0);
        // and the same when the entry is changed
        editEntryWithId(TestDb::scalar("select id from accounts_dep.smena").toInt());
        QCOMPARE(ed->Edit5->isEnabled(), painting);
    }

    void requiredFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("painting");
        QTest::newRow("worker") << "Edit1" << false;
        QTest::newRow("operation") << "Edit2" << false;
        QTest::newRow("quantity") << "Edit3" << false;
        QTest::newRow("defects") << "Edit4" << false;
        QTest::newRow("hours") << "Edit6" << false;
        QTest::newRow("colour of a painting") << "Edit5" << true;
        QTest::newRow("blank worker") << "Edit1 " << false;
    }
    void requiredFields()
    {
        QFETCH(QString, field);
        QFETCH(bool, painting);
        ScriptedDialogs dialogs;
        fillNew(p.worker, "Петров П.П.", painting ? p.painting : p.assembly, 5, 8, painting ? "2" : QString());
        auto *e = ed->findChild<QLineEdit *>(field.trimmed());
        QVERIFY(e);
        e->setText(field.endsWith(' ') ? "   " : "");
        QVERIFY(!ed->save());
        QCOMPARE(dialogs.texts(), QStringList{"Все поля должны быть заполнены!"});
        QCOMPARE(dialogs.shown.first().caption, QString("Ошибка"));
        QCOMPARE(entries(), 0);
        QVERIFY(TestDb::rows("select * from accounts_dep.h_tabel").isEmpty());
    }

    // Typed colour, then a non-painting operation picked: the entry has no colour
    void colourOnlyForPainting()
    {
        fillNew(p.worker, "Петров П.П.", p.painting, 5, 8, "7");
        QVERIFY(ed->Edit5->isEnabled());
        chooseOperation(p.assembly);
        QVERIFY(!ed->Edit5->isEnabled());
        QVERIFY(ed->save());
        QCOMPARE(TestDb::scalar("select color from accounts_dep.smena").toInt(), 0);
    }

    void duplicates()
    {
        ScriptedDialogs dialogs;
        fillNew(p.worker, "Петров П.П.", p.painting, 5, 2, "3");
        QVERIFY(ed->save());
        fillNew(p.worker, "Петров П.П.", p.painting, 6, 1, "4");
        QVERIFY(ed->save());
        QVERIFY(dialogs.shown.isEmpty());
        fillNew(p.worker, "Петров П.П.", p.painting, 9, 9, "3"); // same colour, other figures
        QVERIFY(!ed->save());
        QCOMPARE(dialogs.texts(), QStringList{"Позиция с такими параметрами уже заведена!"});
        QCOMPARE(entries(), 2);
        QCOMPARE(cell(p.worker, 1, kDay).toInt(), 3);

        // another shift, day or worker is another entry
        fillNew(p.worker2, "Сидоров С.С.", p.painting, 9, 9, "3");
        QVERIFY(ed->save());

        // a change keeping the keys passes; one onto another entry's keys does not
        dialogs.clear();
        const int id = TestDb::scalar("select id from accounts_dep.smena where color=4").toInt();
        editEntryWithId(id);
        ed->Edit3->setText("60");
        QVERIFY(ed->save());
        QCOMPARE(TestDb::scalar(QString("select kol_vo from accounts_dep.smena where id=%1").arg(id)).toInt(), 60);
        editEntryWithId(id);
        ed->Edit5->setText("3");
        QVERIFY(!ed->save());
        QCOMPARE(dialogs.texts(), QStringList{"Позиция с такими параметрами уже заведена!"});
        QCOMPARE(TestDb::scalar(QString("select color from accounts_dep.smena where id=%1").arg(id)).toInt(), 4);
    }

    void insertWritesEveryColumn()
    {
        showJournal(kDay, 3, true);
        fillNew(p.worker, "Петров П.П.", p.assembly, 7, 8);
        ed->Edit4->setText("9"); // more defects than pieces are kept as typed
        QVERIFY(ed->save());
        const auto r = TestDb::rows("select w_id, i_id, o_id, cena, kol_vo, brak, data, smena, color, time, vvod::date, ok, prize, "
                                    "id_doc, id_doc_item, f_gds_qty_use, id_gds_use, id_cons_use from accounts_dep.smena");
        QCOMPARE(r.size(), 1);
        const QVariantList expected{p.worker, p.product, p.assembly, 24.0, 7, 9, kDay, 3, 0, 8, QDate::currentDate(), "no", 0.0, 0, 0, 0.0, 0, 0};
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(r[0][i] == expected[i] || r[0][i].toString() == expected[i].toString(),
                     qPrintable(QString("column %1: %2").arg(i).arg(r[0][i].toString())));
        // the journal was read again and shows it
        QCOMPARE(journalWindow->journal()->recordCount(), 1);
    }

    void updateResetsLinksKeepsMark()
    {
        const int id = Seed::entry({kDay, 1, p.worker, p.product, p.assembly, 7, 0, 3.3, 4, 0, "ok"});
        TestDb::exec(QString("update accounts_dep.smena set prize=5, id_doc=1, id_doc_item=2, f_gds_qty_use=3, id_gds_use=4, id_cons_use=5, "
                             "vvod='01.01.2020' where id=%1").arg(id));
        editEntryWithId(id);
        ed->Edit6->setText("5");
        QVERIFY(ed->save());
        const auto r = TestDb::rows(QString("select prize, id_doc, id_doc_item, f_gds_qty_use, id_gds_use, id_cons_use, vvod::date, ok, cena, time "
                                            "from accounts_dep.smena where id=%1").arg(id));
        for (int i = 0; i < 6; ++i)
            QCOMPARE(r[0][i].toDouble(), 0.0);
        QCOMPARE(r[0][6].toDate(), QDate::currentDate());
        QCOMPARE(r[0][7].toString(), QString("ok"));
        QCOMPARE(r[0][8].toDouble(), 3.3); // the stored price stays without a new pick
        QCOMPARE(r[0][9].toInt(), 5);
    }

    void dayCells()
    {
        // the first entry of the month makes the line with only its day
        fillNew(p.worker, "Петров П.П.", p.assembly, 5, 4);
        QVERIFY(ed->save());
        const auto line = TestDb::rows("select count(*) over (), i_type, i_night, d5, d4, d6, d1, d31 from accounts_dep.h_tabel "
                                       "where w_id=" + QString::number(p.worker) + " and smena=1 and month=3 and year=2024");
        QCOMPARE(line.size(), 1);
        QCOMPARE(line[0][1].toInt(), 0);
        QCOMPARE(line[0][2].toInt(), 0);
        QCOMPARE(line[0][3].toInt(), 4);
        for (int i = 4; i < 8; ++i)
            QVERIFY(line[0][i].isNull());

        // 4 h + 3 h, then the 3 changed to 5
        fillNew(p.worker, "Петров П.П.", p.painting, 5, 3, "1");
        QVERIFY(ed->save());
        QCOMPARE(cell(p.worker, 1, kDay).toInt(), 7);
        const int id = TestDb::scalar("select id from accounts_dep.smena where time=3").toInt();
        editEntryWithId(id);
        ed->Edit6->setText("5");
        QVERIFY(ed->save());
        QCOMPARE(cell(p.worker, 1, kDay).toInt(), 9);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), 1);

        // other shifts have lines of their own
        showJournal(kDay, 4);
        fillNew(p.worker, "Петров П.П.", p.assembly, 1, 2);
        QVERIFY(ed->save());
        QCOMPARE(cell(p.worker, 4, kDay).toInt(), 2);
        QCOMPARE(cell(p.worker, 1, kDay).toInt(), 9);
    }

    // A change that moves an entry refreshes the cell it left as well
    void moveRefreshesBothCells_data()
    {
        QTest::addColumn<bool>("otherDay");
        QTest::newRow("to another day") << true;
        QTest::newRow("to another worker") << false;
    }
    void moveRefreshesBothCells()
    {
        QFETCH(bool, otherDay);
        Seed::entry({kDay, 1, p.worker, p.product, p.painting, 5, 0, 2.0, 4, 1});
        const int moving = Seed::entry({kDay, 1, p.worker, p.product, p.assembly, 5, 0, 10.0, 3});
        Seed::shiftLine(p.worker, 1, 3, 2024, {{5, 7}});
        editEntryWithId(moving);
        const QDate newDay = otherDay ? kDay.addDays(1) : kDay;
        const int newWorker = otherDay ? p.worker : p.worker2;
        if (otherDay)
            ed->DTimeP->setDate(newDay);
        else
            ed->setWorker("Сидоров С.С.", p.worker2);
        QVERIFY(ed->save());
        QCOMPARE(cell(p.worker, 1, kDay).toInt(), 4);
        QCOMPARE(cell(newWorker, 1, newDay).toInt(), 3);
    }

    // A change that moves the only entry of a cell away leaves 0 there, but
    // makes no zero-hour line where none existed.
    void moveAwayMakesNoZeroLine()
    {
        const int moving = Seed::entry({kDay, 1, p.worker, p.product, p.assembly, 5, 0, 10.0, 3});
        Seed::shiftLine(p.worker, 1, 3, 2024, {{5, 3}});
        editEntryWithId(moving);
        ed->DTimeP->setDate(QDate(2024, 4, 2)); // into another month, which has no line
        QVERIFY(ed->save());
        QCOMPARE(cell(p.worker, 1, kDay).toInt(), 0);
        QCOMPARE(cell(p.worker, 1, QDate(2024, 4, 2)).toInt(), 3);
        // and back: the April line keeps its 0, March gets its hours again
        journalWindow->DateT->setDate(QDate(2024, 4, 2));
        journalWindow->readJournals();
        QVERIFY(journalWindow->journal()->locate("id", moving));
        QVERIFY(ed->prepareEdit());
        ed->DTimeP->setDate(kDay);
        QVERIFY(ed->save());
        QCOMPARE(cell(p.worker, 1, kDay).toInt(), 3);
        QCOMPARE(cell(p.worker, 1, QDate(2024, 4, 2)).toInt(), 0);

        // a line that never existed is not made for the cell an entry left
        TestDb::exec("delete from accounts_dep.h_tabel");
        journalWindow->DateT->setDate(kDay);
        journalWindow->readJournals();
        QVERIFY(journalWindow->journal()->locate("id", moving));
        QVERIFY(ed->prepareEdit());
        ed->setWorker("Сидоров С.С.", p.worker2);
        QVERIFY(ed->save());
        QCOMPARE(TestDb::rows("select w_id, d5 from accounts_dep.h_tabel"), (QList<QVariantList>{{p.worker2, 3}}));
    }

    // Hours whose day sum the timesheet cannot hold are refused before anything is written.
    void overflowingHoursRefused()
    {
        Seed::entry({kDay, 1, p.worker, p.product, p.painting, 1, 0, 2.0, 8, 1});
        Seed::shiftLine(p.worker, 1, 3, 2024, {{5, 8}});
        ScriptedDialogs dialogs;
        fillNew(p.worker, "Петров П.П.", p.assembly, 1, 0);
        ed->Edit6->setText("2147483647");
        QVERIFY(!ed->save());
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.texts().first().contains("Часы: не больше 24."));
        QCOMPARE(entries(), 1);
        QCOMPARE(cell(p.worker, 1, kDay).toInt(), 8);
    }

    // -------- through the real windows

    void openersFromJournal()
    {
        // "Изменить" on an empty list opens nothing
        QVERIFY(journalWindow->journal()->isEmpty());
        journalWindow->Button2->click();
        QVERIFY(!ed->isVisible());

        Seed::entry({kDay, 1, p.worker, p.product, p.assembly, 1, 0, 10.0, 1});
        const int second = Seed::entry({kDay, 1, p.worker2, p.product, p.assembly, 2, 0, 10.0, 2});
        Seed::entry({kDay, 1, p.worker2, p.product, p.painting, 3, 0, 2.0, 3, 5});
        journalWindow->readJournals();
        QVERIFY(journalWindow->journal()->locate("id", second));
        const int rec = journalWindow->journal()->recNo();
        QVERIFY(rec > 1);
        bool seen = false;
        DialogDriver::onNextModal([&](QWidget *w) {
            seen = w == ed;
            QCOMPARE(ed->windowTitle(), QString("Изменение данных о позиции (11)"));
            QCOMPARE(ed->Edit6->text(), QString("2"));
            QCOMPARE(ed->Edit7->text(), QString("10"));
            QCOMPARE(ed->Edit9->text(), QString("20"));
            shot(ed, "entry-edit");
            journalWindow->journal()->first(); // the cursor moved meanwhile
            QTest::keyClick(ed, Qt::Key_Escape);
        });
        journalWindow->Button2->click();
        QVERIFY(seen);
        QVERIFY(!ed->isVisible());
        QCOMPARE(journalWindow->journal()->recNo(), rec);

        journalWindow->chooseDay(kDay.addDays(2));
        DialogDriver::onNextModal([&](QWidget *) {
            QCOMPARE(ed->windowTitle(), QString("Заведение новой позиции (11)"));
            QCOMPARE(ed->Tag, 1);
            QCOMPARE(ed->DTimeP->date(), kDay.addDays(2));
            for (QLineEdit *e : {ed->Edit1, ed->Edit2, static_cast<QLineEdit *>(ed->Edit3), static_cast<QLineEdit *>(ed->Edit5)})
                QCOMPARE(e->text(), QString());
            QCOMPARE(ed->Edit4->text(), QString("0"));
            QCOMPARE(ed->Edit6->text(), QString("0"));
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(ed->Button3));
            ed->Button2->click();
        });
        journalWindow->Button1->click();
        QCOMPARE(entries(), 3);
    }

    // The whole road: the worker from the workers list, an operation, typed
    // figures, "Запись"; the window closes and the journal shows the entry.
    void addThroughWindows()
    {
        showJournal(kDay, 3, true);
        DialogDriver::onNextModal([&](QWidget *) {
            DialogDriver::onNextModal([&](QWidget *list) {
                QCOMPARE(list, static_cast<QWidget *>(app->forms.Form5));
                QVERIFY(dm->Workers.locate("fio", "Сидоров С.С."));
                app->forms.Form5->Button2->click();
            });
            QTest::mouseClick(ed->Edit1, Qt::LeftButton);
            QCOMPARE(ed->Edit1->text(), QString("Сидоров С.С."));
            QCOMPARE(ed->w_id, p.worker2);
            DialogDriver::onNextModal([&](QWidget *list) {
                QCOMPARE(list, static_cast<QWidget *>(app->forms.Form4));
                QVERIFY(dm->Oper.locate("id", p.assembly));
                app->forms.Form4->Button2->click();
            });
            ed->Button4->click();
            QCOMPARE(ed->Edit2->text(), QString("M-1; Сборка; Готовая продукция"));
            QCOMPARE(ed->Edit3->text(), QString("0")); // set by the recount after the pick
            ed->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(ed));
            ed->Edit3->setFocus();
            ed->Edit3->selectAll();
            QTest::keyClicks(ed->Edit3, "4x2"); // the letter is refused
            QTest::keyClick(ed->Edit3, Qt::Key_Tab);
            QCOMPARE(ed->Edit3->text(), QString("42"));
            QCOMPARE(ed->Edit7->text(), QString("24"));
            QCOMPARE(ed->Edit9->text(), QString("1008"));
            ed->Edit6->setText("8");
            shot(ed, "entry-add");
            QTest::keyClick(ed, Qt::Key_Return); // "Запись" is the default button
            QVERIFY(!ed->isVisible());
        });
        journalWindow->Button1->click();
        QCOMPARE(journalWindow->journal()->recordCount(), 1);
        QCOMPARE(journalWindow->journal()->asString("fio"), QString("Сидоров С.С."));
        QCOMPARE(cell(p.worker2, 3, kDay).toInt(), 8);
        QCOMPARE(ed->Edit1->text(), QString()); // emptied by the save
        journalWindow->resize(1200, 600);
        shot(journalWindow, "journal-after-save");
    }

    // A change opens the operations list on the entry's own operation
    void operationPickerStartsOnEntry()
    {
        const int id = Seed::entry({kDay, 1, p.worker, p.product, p.painting, 1, 0, 2.0, 1, 5});
        editEntryWithId(id);
        int current = -1;
        DialogDriver::onNextModal([&](QWidget *) {
            current = dm->Oper.asInt("id");
            app->forms.Form4->Button4->click(); // "Выход": nothing handed over
        });
        ed->Button4->click();
        QCOMPARE(current, p.painting);
        QCOMPARE(ed->o_id, p.painting);
        QVERIFY(ed->Edit5->isEnabled());
    }

    // Digit fields refuse pasted non-digits and numbers beyond 32 bits
    void digitFields()
    {
        for (DigitEdit *e : {ed->Edit3, ed->Edit4, ed->Edit5, ed->Edit6}) {
            e->setEnabled(true);
            e->clear();
            e->insert("12a");
            QCOMPARE(e->text(), QString());
            e->insert("4294967296");
            QCOMPARE(e->text(), QString());
            e->insert("2147483647");
            QCOMPARE(e->text(), QString("2147483647"));
        }
    }

    // A statement the database refuses is shown and the window stays open
    // with what was typed. The entry and its day cell are stored together or
    // not at all; once the cause is gone the same press saves both.
    void databaseErrorKeepsWindow_data()
    {
        QTest::addColumn<QString>("refused");
        QTest::addColumn<bool>("lineExists");
        QTest::newRow("entry refused") << "accounts_dep.smena" << false;
        QTest::newRow("new timesheet line refused") << "accounts_dep.h_tabel" << false;
        QTest::newRow("timesheet cell refused") << "accounts_dep.h_tabel" << true;
    }
    void databaseErrorKeepsWindow()
    {
        QFETCH(QString, refused);
        QFETCH(bool, lineExists);
        if (lineExists)
            Seed::shiftLine(p.worker, 1, 3, 2024, {{6, 2}});
        auto refuse = std::make_unique<TestDb::RefusedWrites>(refused);
        ScriptedDialogs dialogs;
        bool stillOpen = false, savedLater = false;
        QString kept;
        int storedMeanwhile = -1;
        DialogDriver::onNextModal([&](QWidget *) {
            ed->setWorker("Петров П.П.", p.worker);
            chooseOperation(p.assembly);
            ed->Edit3->setText("5");
            ed->Edit6->setText("8");
            ed->Button1->click();
            stillOpen = ed->isVisible();
            kept = ed->Edit3->text() + "/" + ed->Edit6->text() + "/" + ed->Edit1->text();
            storedMeanwhile = entries() + TestDb::scalar("select count(*) from accounts_dep.h_tabel where d5 is not null").toInt();
            refuse.reset();
            ed->Button1->click();
            savedLater = !ed->isVisible();
        });
        journalWindow->Button1->click();
        refuse.reset();
        QVERIFY(stillOpen);
        QCOMPARE(kept, QString("5/8/Петров П.П."));
        QCOMPARE(storedMeanwhile, 0);
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY2(dialogs.shown.first().text.contains(TestDb::RefusedWrites::message()), qPrintable(dialogs.shown.first().text));
        QVERIFY(savedLater);
        QCOMPARE(entries(), 1);
        QCOMPARE(cell(p.worker, 1, kDay).toInt(), 8);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), 1);
    }
};

TABEL_TEST_MAIN(TestEntryEditor)
#include "tst_entry_editor.moc"

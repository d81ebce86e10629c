#include "app/Startup.h"
#include "app/TForm23.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "journal/TForm11.h"
#include "journal/TForm24.h"
#include "journal/TForm25.h"
#include "support/DialogDriver.h"
#include "support/KeyScript.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

namespace {
const QDate kDay(2024, 3, 5); // a Tuesday
const QString kAdmin = QStringLiteral("63527140");

// Presses a key in `w` and tells which modal window it opened, if any (the
// window is closed again at once).
QString pressAndSee(QWidget *w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    auto opened = std::make_shared<QString>();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [opened]() {
        if (QWidget *m = QApplication::activeModalWidget()) {
            *opened = m->objectName();
            if (auto *d = qobject_cast<QDialog *>(m))
                d->reject();
        }
    });
    watch.start(10);
    QTest::keyClick(w, key, mods);
    QTest::qWait(60);
    return *opened;
}
} // namespace

class TestKeys : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TForm1 *j = nullptr;
    TDataModule6 *dm = nullptr;
    ScriptedDialogs dialogs;
    int worker = 0, product = 0, oper = 0, group = 0;

    int entry(const QString &ok = "no")
    {
        Seed::Entry e{kDay, 1, worker, product, oper};
        e.ok = ok;
        e.color = TestDb::scalar("select count(*) from accounts_dep.smena").toInt();
        return Seed::entry(e);
    }
    // The journal on screen, signed in as `role`, on kDay shift 1
    void signIn(const QString &role)
    {
        QWidget *ws[] = {j->Button1, j->Button2, j->Button3, j->Button8, j->RadioButton1, j->RadioButton2, j->RadioButton3,
                         j->RadioButton4, j->CBox1, j->DateT, j->DBGrid2};
        for (QWidget *w : ws)
            w->setEnabled(true);
        app->forms.Form23->Edit1->setText(role);
        QVERIFY(app->forms.Form23->signIn(false));
        if (!j->isVisible())
            j->show();
        j->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(j));
        j->chooseDay(kDay);
        j->setShift(1);
    }
    QWidget *focusInJournal()
    {
        if (j->DBGrid2->isEnabled()) {
            j->DBGrid2->setFocus();
            j->DBGrid2->setCurrentIndex(j->DBGrid2->model()->index(0, 0));
            return j->DBGrid2;
        }
        j->Button4->setFocus();
        return j->Button4;
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        j = app->forms.Form1;
        dm = app->forms.DataModule6;
    }
    void init()
    {
        TestDb::clearData();
        dialogs.clear();
        group = Seed::group("Корпуса");
        product = Seed::product("M-1", group);
        oper = Seed::operation(product, Seed::kind("Сборка"), 0, {12.5, 10.0});
        worker = Seed::worker("Петров П.П.");
    }
    void cleanup()
    {
        // the windows a test showed itself
        j->hide();
        app->forms.Form25->hide();
        DialogDriver::verifyNoWindowLeftOpen();
    }
    void cleanupTestCase() { app.reset(); }

    // Each key does what its button does for the role, and nothing where
    // the role's button (or picker, or grid) is disabled.
    void journalKeys_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("acts");
        for (const char *k : {"Insert", "Enter", "Delete", "F5", "Space", "Ctrl+3", "Alt+Right", "Alt+Left"})
            QTest::newRow(qPrintable(QStringLiteral("administrator ") + k)) << kAdmin << k << true;
        const struct {
            const char *role, *key;
            bool acts;
        } others[] = {
            {"masters", "Insert", true},  {"masters", "Enter", false},   {"masters", "Delete", false},
            {"masters", "F5", true},      {"masters", "Space", false},   {"masters", "Ctrl+3", true},
            {"masters", "Alt+Right", true}, {"sklad", "Insert", false},  {"sklad", "Space", true},
            {"econom", "F5", false},      {"econom", "Ctrl+3", false},   {"econom", "Alt+Right", false},
        };
        for (const auto &o : others)
            QTest::newRow(qPrintable(QString("%1 %2").arg(o.role, o.key))) << o.role << o.key << o.acts;
    }
    void journalKeys()
    {
        QFETCH(QString, role);
        QFETCH(QString, key);
        QFETCH(bool, acts);
        const int id = entry();
        signIn(role);
        QWidget *w = focusInJournal();
        bool acted = false;
        if (key == "Insert") {
            acted = pressAndSee(w, Qt::Key_Insert) == "TForm11";
        } else if (key == "Enter") {
            acted = pressAndSee(w, Qt::Key_Return) == "TForm11";
        } else if (key == "Delete") {
            dialogs.answers << false; // the question comes, the entry stays
            pressAndSee(w, Qt::Key_Delete);
            acted = dialogs.texts().contains("Удалить позицию из списка?");
        } else if (key == "F5") {
            entry(); // stored at another workstation
            pressAndSee(w, Qt::Key_F5);
            acted = dm->smena(1)->recordCount() == 2;
        } else if (key == "Space") {
            pressAndSee(w, Qt::Key_Space);
            acted = TestDb::scalar(QString("select ok from accounts_dep.smena where id=%1").arg(id)).toString() == "ok";
        } else if (key == "Ctrl+3") {
            pressAndSee(w, Qt::Key_3, Qt::ControlModifier);
            acted = j->shift == 3 && j->RadioButton3->isChecked();
        } else if (key.startsWith("Alt+")) {
            const int step = key == "Alt+Right" ? 1 : -1;
            pressAndSee(w, step > 0 ? Qt::Key_Right : Qt::Key_Left, Qt::AltModifier);
            acted = j->date() == kDay.addDays(step) && j->CBox1->isChecked() == (kDay.addDays(step).dayOfWeek() >= 6);
        }
        QCOMPARE(acted, acts);
        j->hide();
    }

    // Space marks the selected entry, and the selection stays on it after the
    // journal is read again, wherever the entry sorts now: a second Space
    // reopens the same entry instead of marking its neighbour.
    void spaceKeepsTheEntry()
    {
        // A marked row is written anew and read back last among the worker's
        // entries, as on a busy table (here: an index on the mark stops the
        // server from updating the row in place).
        TestDb::exec("create index if not exists smena_ok_moves on accounts_dep.smena (ok)");
        QList<int> ids; // one worker, three entries of the day in shift 2, whose journal sorts by name alone
        for (int i = 0; i < 3; ++i) {
            Seed::Entry e{kDay, 2, worker, product, oper};
            e.color = i;
            ids << Seed::entry(e);
        }
        signIn(kAdmin);
        j->setShift(2);
        QWidget *w = focusInJournal();
        const int selected = dm->smena(2)->asInt("id");
        auto marks = [&]() {
            QStringList m;
            for (int id : ids)
                m << TestDb::scalar(QString("select ok from accounts_dep.smena where id=%1").arg(id)).toString();
            return m;
        };
        const auto selectedRow = [&]() { return j->DBGrid2->currentIndex().row(); };
        pressAndSee(w, Qt::Key_Space);
        QCOMPARE(dm->smena(2)->asInt("id"), selected);
        QCOMPARE(selectedRow(), dm->smena(2)->recNo() - 1);
        QStringList expected{"no", "no", "no"};
        expected[ids.indexOf(selected)] = "ok";
        QCOMPARE(marks(), expected);
        pressAndSee(w, Qt::Key_Space);
        QCOMPARE(dm->smena(2)->asInt("id"), selected);
        QCOMPARE(marks(), (QStringList{"no", "no", "no"}));
        j->hide();
    }

    void journalTooltipsNameTheKeys()
    {
        QVERIFY(j->Button1->toolTip().contains("Insert"));
        QVERIFY(j->Button2->toolTip().contains("Enter"));
        QVERIFY(j->Button3->toolTip().contains("Delete"));
        QVERIFY(j->Button8->toolTip().contains("F5"));
        QVERIFY(j->RadioButton4->toolTip().contains("Ctrl+4"));
        QVERIFY(j->DateT->toolTip().contains("Alt+"));
        QVERIFY(app->forms.Form25->Button5->toolTip().contains("Insert"));
        QVERIFY(app->forms.Form11->Button1->toolTip().contains("Ctrl+Enter"));
    }

    // Enter in the date picker still chooses the typed day; Delete there edits the date, not the journal.
    void datePickerKeepsItsKeys()
    {
        entry();
        signIn(kAdmin);
        j->DateT->setFocus();
        dialogs.clear();
        pressAndSee(j->DateT, Qt::Key_Delete);
        QVERIFY(dialogs.shown.isEmpty());
        j->DateT->setDate(kDay.addDays(4)); // a Saturday, typed
        QTest::keyClick(j->DateT, Qt::Key_Return);
        QCOMPARE(dm->smena(1)->param("data").toDate(), kDay.addDays(4));
        QVERIFY(j->CBox1->isChecked());
        j->hide();
    }

    void housekeepingKeys()
    {
        TForm25 *list = app->forms.Form25;
        TestDb::exec(QString("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, price, "
                             "i_holiday, i_night) values (7777, %1, %2, '05.03.2024', 3, 2024, 1, 8, 150, 0, 0)")
                         .arg(worker).arg(group));
        list->DTPcker1->setDate(kDay);
        list->show();
        list->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(list));
        list->DBGrid1->setFocus();
        list->DBGrid1->setCurrentIndex(list->DBGrid1->model()->index(0, 0));
        QCOMPARE(pressAndSee(list->DBGrid1, Qt::Key_Insert), QString("TForm24"));
        QCOMPARE(pressAndSee(list->DBGrid1, Qt::Key_Return), QString("TForm24"));
        // back to the list, as the window manager does when the editor closes
        list->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(list));
        dialogs.answers << false;
        pressAndSee(list->DBGrid1, Qt::Key_Delete);
        QVERIFY(dialogs.texts().contains("Удалить позицию из списка?"));
        pressAndSee(list->DBGrid1, Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(list->listDate(), kDay.addDays(1));
        QCOMPARE(list->fatigue->recordCount(), 0);
        pressAndSee(list->DBGrid1, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(list->fatigue->recordCount(), 1);
        list->hide();
    }

    // A whole new entry from the journal with the keyboard alone: Insert,
    // letters and Enter for the worker, letters and Enter for the operation,
    // the quantity, Tab, the hours, Ctrl+Enter.
    void wholeEntryByKeys()
    {
        Seed::worker("Иванов И.И.");
        // entries before and after the new one in the journal's order
        const int first = Seed::entry({kDay, 1, Seed::worker("Андреев А.А."), product, oper});
        Seed::entry({kDay, 1, Seed::worker("Яковлев Я.Я."), product, oper});
        signIn(kAdmin);
        j->DBGrid2->setFocus();
        j->DBGrid2->setCurrentIndex(j->DBGrid2->model()->index(0, 0));
        QCOMPARE(dm->smena(1)->asInt("id"), first);
        using K = KeyScript;
        KeyScript script({
            K::key("TForm1", Qt::Key_Insert),
            K::type("TForm11", "П"), // opens the workers list with "П" in its search box
            K::type("TForm5", "е"),
            K::key("TForm5", Qt::Key_Return),
            K::type("TForm11", "M"), // the operations list, searching the brand
            K::key("TForm4", Qt::Key_Return),
            K::type("TForm11", "7"), // quantity
            K::key("TForm11", Qt::Key_Tab),
            K::type("TForm11", "8"), // hours
            K::key("TForm11", Qt::Key_Return, Qt::ControlModifier),
        });
        script.start();
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 15000);
        QVERIFY2(script.failure().isEmpty(), qPrintable(script.failure()));
        QVERIFY2(script.counted() <= 8, qPrintable(QString::number(script.counted())));
        const auto rows = TestDb::rows(QString("select w_id, o_id, kol_vo, brak, time, cena, smena, data, id from accounts_dep.smena "
                                               "where w_id = %1").arg(worker));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][0].toInt(), worker);
        QCOMPARE(rows[0][1].toInt(), oper);
        QCOMPARE(rows[0][2].toInt(), 7);
        QCOMPARE(rows[0][3].toInt(), 0);
        QCOMPARE(rows[0][4].toInt(), 8);
        QCOMPARE(rows[0][5].toDouble(), 10.0);
        QCOMPARE(rows[0][7].toDate(), kDay);
        QVERIFY(!app->forms.Form11->isVisible());
        QCOMPARE(dm->smena(1)->recordCount(), 3); // the journal shows it
        // and it is the current row, in view: Enter or Space next act on it
        QCOMPARE(dm->smena(1)->asInt("id"), rows[0][8].toInt());
        QCOMPARE(j->DBGrid2->currentIndex().row(), 1);
        QVERIFY(j->DBGrid2->viewport()->rect().intersects(j->DBGrid2->visualRect(j->DBGrid2->currentIndex())));
        j->hide();
    }

    // A change that makes the entry sort elsewhere: the changed entry stays
    // the current row.
    void changedEntryStaysCurrent()
    {
        const int moving = Seed::entry({kDay, 1, Seed::worker("Андреев А.А."), product, oper});
        Seed::entry({kDay, 1, worker, product, oper});
        Seed::worker("Яковлев Я.Я.");
        signIn(kAdmin);
        j->DBGrid2->setFocus();
        j->DBGrid2->setCurrentIndex(j->DBGrid2->model()->index(0, 0));
        QCOMPARE(dm->smena(1)->asInt("id"), moving);
        using K = KeyScript;
        KeyScript script({
            K::key("TForm1", Qt::Key_Return),
            K::type("TForm11", "Я"), // another worker: the list opens with "Я" in its search box
            K::key("TForm5", Qt::Key_Return),
            K::key("TForm11", Qt::Key_Return, Qt::ControlModifier),
        });
        script.start();
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 15000);
        QVERIFY2(script.failure().isEmpty(), qPrintable(script.failure()));
        QCOMPARE(TestDb::scalar(QString("select p.fio from accounts_dep.smena s join accounts_dep.person p on p.id = s.w_id "
                                        "where s.id = %1").arg(moving)).toString(),
                 QString("Яковлев Я.Я."));
        QCOMPARE(dm->smena(1)->asInt("id"), moving);
        QCOMPARE(j->DBGrid2->currentIndex().row(), 1); // it sorts last now
        j->hide();
    }

    void wholeHousekeepingEntryByKeys()
    {
        TForm25 *list = app->forms.Form25;
        // two entries already listed; the first is selected
        for (const char *name : {"Андреев А.А.", "Яковлев Я.Я."})
            TestDb::exec(QString("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, price, "
                                 "i_holiday, i_night) values (7777, %1, %2, '05.03.2024', 3, 2024, 1, 8, 150, 0, 0)")
                             .arg(Seed::worker(QString::fromUtf8(name))).arg(group));
        list->DTPcker1->setDate(kDay);
        list->CBox1->setChecked(false);
        list->show();
        list->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(list));
        list->DBGrid1->setFocus();
        using K = KeyScript;
        KeyScript script({
            K::key("TForm25", Qt::Key_Insert),
            K::type("TForm24", "П"),
            K::key("TForm5", Qt::Key_Return),
            K::type("TForm24", "К"), // the nomenclature picker
            K::key("TForm26", Qt::Key_Return),
            K::type("TForm24", "6"), // hours, over the "0" shown
            K::key("TForm24", Qt::Key_Return, Qt::ControlModifier),
        });
        script.start();
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 15000);
        QVERIFY2(script.failure().isEmpty(), qPrintable(script.failure()));
        QVERIFY2(script.counted() <= 8, qPrintable(QString::number(script.counted())));
        const auto rows = TestDb::rows(QString("select id_p, id_nom, id_o, cnt, id from accounts_dep.fatigue where id_p = %1").arg(worker));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][0].toInt(), worker);
        QCOMPARE(rows[0][1].toInt(), group);
        QCOMPARE(rows[0][2].toInt(), 7777);
        QCOMPARE(rows[0][3].toInt(), 6);
        QCOMPARE(list->fatigue->recordCount(), 3);
        // the new entry is the current row
        QCOMPARE(list->fatigue->asInt("id"), rows[0][4].toInt());
        QCOMPARE(list->DBGrid1->currentIndex().row(), list->fatigue->recNo() - 1);
        list->hide();
    }
};

TABEL_TEST_MAIN(TestKeys)
#include "tst_keys.moc"

#include "app/Startup.h"
#include "db/ChangeListener.h"
#include "db/Gateway.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "db/Decimal.h"
#include "records/Actor.h"
#include "records/Entries.h"
#include "records/Roles.h"
#include "ui/LiveRefresh.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/DatasetModel.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QRegularExpression>
#include <QUuid>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

class TestJournal : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TForm1 *j = nullptr;
    const QDate day{2024, 3, 5}; // a Tuesday
    int product = 0, oper = 0, worker = 0;

    int entry(int shift, int hours, const QString &ok = "no", int w = 0, const QDate &d = QDate())
    {
        Seed::Entry e{d.isValid() ? d : day, shift, w ? w : worker, product, oper};
        e.time = hours;
        e.ok = ok;
        e.color = TestDb::scalar("select count(*) from accounts_dep.smena").toInt(); // keeps entries distinct
        return Seed::entry(e);
    }
    QVariant cell(int w, int shift, int dayOfMonth)
    {
        return TestDb::scalar(QString("select d%1 from accounts_dep.h_tabel where w_id=%2 and smena=%3 and month=3 and year=2024")
                                  .arg(dayOfMonth).arg(w).arg(shift));
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        j = app->forms.Form1;
        j->role = "63527140";
        for (int s = 1; s <= 4; ++s)
            app->forms.DataModule6->smena(s)->setParam("ok", "ta");
    }
    void init()
    {
        TestDb::clearData();
        const int g = Seed::group("Фурнитура");
        product = Seed::product("РК-128", g);
        oper = Seed::operation(product, Seed::kind("Сборка"), 0, {1.5});
        worker = Seed::worker("Алексеев А.В.");
        j->role = "63527140";
        j->setShift(1);
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void showingSetsTodayAndWeekend()
    {
        j->CBox1->setChecked(false);
        j->FormActivate();
        const bool weekend = QDate::currentDate().dayOfWeek() >= 6;
        QCOMPARE(j->date(), QDate::currentDate());
        QCOMPARE(j->CBox1->isChecked(), weekend);
        // on a working day showing never unchecks what the user set
        j->CBox1->setChecked(true);
        j->FormActivate();
        QVERIFY(j->CBox1->isChecked());
    }

    void choosingADaySetsWeekend_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("dayOff");
        QTest::newRow("Sunday") << QDate(2024, 3, 10) << true;
        QTest::newRow("Saturday") << QDate(2024, 3, 9) << true;
        QTest::newRow("Friday before") << QDate(2024, 3, 8) << false;
    }
    void choosingADaySetsWeekend()
    {
        QFETCH(QDate, date);
        QFETCH(bool, dayOff);
        j->CBox1->setChecked(!dayOff);
        j->chooseDay(date);
        QCOMPARE(j->CBox1->isChecked(), dayOff);
        QCOMPARE(j->CBox1->styleSheet().contains("255,0,0"), dayOff);
    }

    void choosingADayReadsItsEntries()
    {
        entry(1, 8);
        entry(2, 8);
        j->chooseDay(day);
        QCOMPARE(j->DBGrid2->model()->rowCount(), 1);
        QCOMPARE(j->DBGrid2->model()->index(0, 0).data().toString(), QString("Алексеев А.В."));
        j->chooseDay(day.addDays(1));
        QCOMPARE(j->DBGrid2->model()->rowCount(), 0);
    }

    // A shift switch shows the list as last read; "Обновить" reads again.
    void shiftSwitchShowsLastRead()
    {
        entry(2, 8);
        j->chooseDay(day);
        entry(2, 4); // saved elsewhere meanwhile
        j->RadioButton2->click();
        QCOMPARE(j->shift, 2);
        QCOMPARE(j->DBGrid2->model()->rowCount(), 1);
        QVERIFY(j->RadioButton2->styleSheet().contains("0,128,0"));
        QVERIFY(!j->RadioButton1->styleSheet().contains("0,128,0"));
        j->Button8->click();
        QCOMPARE(j->DBGrid2->model()->rowCount(), 2);
    }

    void gridColumns()
    {
        QStringList titles;
        for (int c = 0; c < j->gridModel->columnCount(); ++c)
            titles << j->gridModel->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"Фамилия И.О.", "Марка изделия", "Операция", "Вид", "Цвет", "Часы", "Кол-во",
                                      "Брак", "Итого (р.)", "OK", "Заведен"}));
        QVERIFY(j->gridModel->headerData(0, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
    }

    void markToggle_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("no closes") << "sklad" << "no" << "ok";
        QTest::newRow("ok reopens") << "7264" << "ok" << "no";
        QTest::newRow("да reopens") << "sklad" << "да" << "no";
        QTest::newRow("empty closes") << "sklad" << "" << "ok";
        QTest::newRow("masters changes nothing") << "masters" << "no" << "no";
    }
    void markToggle()
    {
        QFETCH(QString, role);
        QFETCH(QString, before);
        QFETCH(QString, after);
        const int w2 = Seed::worker("Белова Н.С.");
        entry(1, 8, "no");
        const int id = entry(1, 8, before, w2);
        j->chooseDay(day);
        j->role = role;
        Dataset *q = j->journal();
        QVERIFY(q->locate("id", id));
        QCOMPARE(q->recNo(), 2);
        j->DBGrid2DblClick();
        QCOMPARE(TestDb::scalar(QString("select ok from accounts_dep.smena where id=%1").arg(id)).toString(), after);
        QCOMPARE(q->recNo(), 2); // the cursor comes back to the same row
        QCOMPARE(q->asString("ok"), after);
    }

    void emptyListActionsDoNothing()
    {
        ScriptedDialogs dialogs;
        j->chooseDay(day);
        j->DBGrid2DblClick();
        j->Button3Click();
        j->Button2Click();
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 0);
    }

    void markColours()
    {
        entry(1, 8, "ok");
        entry(1, 8, "no", Seed::worker("Белова Н.С."));
        entry(1, 8, "да", Seed::worker("Васильев П.И."));
        entry(1, 8, "", Seed::worker("Горбунов С.А."));
        j->chooseDay(day);
        DatasetModel *m = j->gridModel;
        const int okCol = m->columnOf("ok");
        const QColor green(0, 128, 0), red(255, 0, 0);
        QMap<QString, QColor> byMark;
        for (int r = 0; r < m->rowCount(); ++r) {
            const QModelIndex idx = m->index(r, okCol);
            QVERIFY(idx.data(Qt::FontRole).value<QFont>().bold());
            byMark[idx.data().toString()] = idx.data(Qt::ForegroundRole).value<QColor>();
        }
        QCOMPARE(byMark.value("ok"), green);
        QCOMPARE(byMark.value("да"), green);
        QCOMPARE(byMark.value("no"), red);
        QCOMPARE(byMark.value(""), red);
        QVERIFY(!m->index(0, 0).data(Qt::ForegroundRole).isValid()); // other cells drawn normally
    }

    void deleteKeepsTheDaysOtherHours()
    {
        ScriptedDialogs dialogs;
        entry(1, 4);
        const int three = entry(1, 3);
        Seed::shiftLine(worker, 1, 3, 2024, {{5, 7}, {6, 8}});
        j->chooseDay(day);
        QVERIFY(j->journal()->locate("id", three));
        j->Button3Click();
        QCOMPARE(dialogs.texts(), QStringList{"Удалить позицию из списка?"});
        QCOMPARE(dialogs.shown.first().caption, QString("Удаление"));
        QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Question);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 1);
        QCOMPARE(cell(worker, 1, 5).toInt(), 4);
        QCOMPARE(cell(worker, 1, 6).toInt(), 8);
        QCOMPARE(j->DBGrid2->model()->rowCount(), 1);
    }

    void deleteAnsweredNo()
    {
        ScriptedDialogs dialogs;
        dialogs.answers << false;
        entry(1, 4);
        Seed::shiftLine(worker, 1, 3, 2024, {{5, 4}});
        j->chooseDay(day);
        j->Button3Click();
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 1);
        QCOMPARE(cell(worker, 1, 5).toInt(), 4);
    }

    void deletingTheLastEntryOfTheDay()
    {
        ScriptedDialogs dialogs;
        entry(1, 4);
        entry(1, 6, "no", 0, day.addDays(1));
        Seed::shiftLine(worker, 1, 3, 2024, {{5, 4}, {6, 6}});
        j->chooseDay(day);
        j->Button3Click();
        QCOMPARE(cell(worker, 1, 5).toInt(), 0);
        QVERIFY(!cell(worker, 1, 5).isNull());
        QCOMPARE(cell(worker, 1, 6).toInt(), 6);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), 1);
    }

    // The entry and its day cell go together: a cell that cannot be written
    // keeps the entry, and the error is shown.
    void deletionWithFailingTimesheetKeepsEntry()
    {
        ScriptedDialogs dialogs;
        entry(1, 4);
        Seed::shiftLine(worker, 1, 3, 2024, {{5, 4}});
        j->chooseDay(day);
        {
            TestDb::RefusedWrites refuse("accounts_dep.h_tabel");
            QTest::mouseClick(j->Button3, Qt::LeftButton);
        }
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 1);
        QCOMPARE(cell(worker, 1, 5).toInt(), 4);
        QCOMPARE(dialogs.shown.size(), 2);
        QVERIFY2(dialogs.shown.at(1).text.contains(TestDb::RefusedWrites::message()), qPrintable(dialogs.shown.at(1).text));
        // the next deletion goes through
        j->Button3Click();
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 0);
        QCOMPARE(cell(worker, 1, 5).toInt(), 0);
    }

    // The day, worker and shift come from the deleted row, not from the
    // picker; a day typed into the picker is read when its editing ends.
    void deletionTakesTheRowsDay()
    {
        ScriptedDialogs dialogs;
        entry(1, 4);
        entry(1, 6, "no", 0, day.addDays(1));
        Seed::shiftLine(worker, 1, 3, 2024, {{5, 4}, {6, 6}});
        j->chooseDay(day);
        j->DateT->setDate(day.addDays(1)); // typed, editing not ended yet
        j->Button3Click();
        QCOMPARE(cell(worker, 1, 5).toInt(), 0);
        QCOMPARE(cell(worker, 1, 6).toInt(), 6);

        // editing ends: the journal shows the picker's day and "Выходной" follows it
        const QDate saturday(2024, 3, 9);
        j->DateT->setDate(saturday);
        QVERIFY(!j->CBox1->isChecked());
        emit j->DateT->editingFinished();
        QVERIFY(j->CBox1->isChecked());
        QCOMPARE(j->journal()->param("data").toDate(), saturday);
        j->DateT->setDate(day.addDays(1));
        emit j->DateT->editingFinished();
        QVERIFY(!j->CBox1->isChecked());
        QCOMPARE(j->journal()->recordCount(), 1);
        QCOMPARE(j->journal()->asInt("time"), 6);
    }

    // A failing read is reported and the window goes on.
    void failingReadIsReported()
    {
        ScriptedDialogs dialogs;
        j->chooseDay(day);
        TestDb::exec("alter table accounts_dep.smena rename to smena_away");
        QTest::mouseClick(j->Button8, Qt::LeftButton);
        TestDb::exec("alter table accounts_dep.smena_away rename to smena");
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.shown.first().text.contains("smena"));
        QTest::mouseClick(j->Button8, Qt::LeftButton);
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(j->journal()->isOpen());
    }

    // Each way of (re)reading the day is one trip to the server, the month's
    // closed state and the database's text for it included.
    void dayIsOneTrip_data()
    {
        QTest::addColumn<QString>("action");
        for (const char *a : {"date change", "Обновить", "F5", "change notice", "stale shift chosen"})
            QTest::newRow(a) << QString::fromUtf8(a);
    }
    void dayIsOneTrip()
    {
        QFETCH(QString, action);
        entry(1, 8);
        entry(2, 4);
        TestDb::exec("insert into accounts_dep.closed_months (year, month) values (2024, 3)");
        auto reopen = qScopeGuard([]() { TestDb::exec("delete from accounts_dep.closed_months"); });
        ChangeListener *changes = app->forms.DataModule6->Changes;
        QVERIFY(changes && changes->listening());
        changes->setProbeInterval(600000); // no idle check in between
        auto probe = qScopeGuard([changes]() { changes->setProbeInterval(3000); });
        j->show();
        QVERIFY(QTest::qWaitForWindowExposed(j));
        j->chooseDay(day.addDays(-7));
        QTest::qWait(LiveRefresh::MinInterval);
        auto notice = [](int shift) {
            TestDb::exec(QString("select pg_notify('tabel_changes', '{\"d\":\"2024-03-05\",\"m\":3,\"s\":%1,"
                                 "\"t\":\"entries\",\"y\":2024}')").arg(shift));
        };
        if (action != "date change")
            j->chooseDay(day);
        if (action == "stale shift chosen") {
            QSignalSpy heard(changes, &ChangeListener::changed);
            notice(2);
            QTRY_COMPARE(heard.count(), 1);
            QTest::qWait(LiveRefresh::Delay * 2);
        }
        const int rereads = j->live->rereads();
        const quint64 before = Gateway::roundTrips();
        if (action == "date change")
            j->chooseDay(day);
        else if (action == "Обновить")
            j->Button8->click();
        else if (action == "F5")
            QTest::keyClick(j->DBGrid2, Qt::Key_F5);
        else if (action == "change notice") {
            notice(1);
            QTRY_COMPARE(j->live->rereads(), rereads + 1);
        } else {
            j->RadioButton2->click();
            QCOMPARE(j->shift, 2);
        }
        QCOMPARE(Gateway::roundTrips() - before, quint64(1));
        // the month's state came with it, in the database's words
        auto *label = j->findChild<QLabel *>("ClosedMonthLabel");
        QVERIFY(label && label->isVisible());
        QCOMPARE(label->text(), QString("Месяц март 2024 закрыт: изменения невозможны."));
        QVERIFY(!j->Button1->isEnabled());
        j->hide();
        j->Button1->setEnabled(true);
        j->Button2->setEnabled(true);
        j->Button3->setEnabled(true);
    }

    // The counter above agrees with the server: one day read is one Sync,
    // so all its statements run in one implicit transaction (one virtual
    // transaction id in the server's log).
    void dayIsOneTripInTheServersLog()
    {
        if (qEnvironmentVariable("TABEL_PGLOG").isEmpty())
            QSKIP("TABEL_PGLOG not set (scripts/with-postgres sets it)");
        entry(1, 8);
        const QString conn = app->forms.DataModule6->connectionName();
        const int pid = Gateway::run(conn, QStringLiteral("select pg_backend_pid()")).valueAt(0, 0).toInt();
        TestDb::adminExec("alter system set log_statement = 'all'");
        TestDb::adminExec("alter system set log_line_prefix = '%m [%p] %v '");
        TestDb::adminExec("select pg_reload_conf()");
        auto restore = qScopeGuard([]() {
            TestDb::adminExec("alter system reset log_statement");
            TestDb::adminExec("alter system reset log_line_prefix");
            TestDb::adminExec("select pg_reload_conf()");
        });
        QFile log(qEnvironmentVariable("TABEL_PGLOG"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        // the backend takes the new settings at its next command
        QTRY_VERIFY_WITH_TIMEOUT((Gateway::run(conn, QStringLiteral("select current_setting('log_statement')")).valueAt(0, 0).toString()
                                  == "all"),
                                 5000);
        QTest::qWait(200);
        log.seek(log.size());
        const quint64 before = Gateway::roundTrips();
        j->chooseDay(day);
        QCOMPARE(Gateway::roundTrips() - before, quint64(1));
        QTest::qWait(300); // the server writes its log asynchronously
        const QString text = QString::fromUtf8(log.readAll());
        // "... [pid] 3/42 LOG:  execute s12: select ..." (or "statement:" unprepared)
        const QRegularExpression line(QString("\\[%1\\] (\\S+) LOG:  (execute [^:]*|statement): (.*)").arg(pid));
        QSet<QString> transactions;
        int statements = 0;
        for (const QString &l : text.split('\n')) {
            const auto m = line.match(l);
            if (!m.hasMatch())
                continue;
            ++statements;
            transactions << m.captured(1);
        }
        QCOMPARE(statements, 5); // four shifts and the month's state
        QCOMPARE(transactions.size(), 1);
    }

    // The role table the windows follow says what the database's write
    // functions let each role do: one row per write of the journal.
    void roleTableMatchesTheDatabase_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<int>("action");
        const struct {
            const char *name;
            Roles::Action action;
        } writes[] = {{"entry_save new", Roles::Action::AddEntry},
                      {"entry_save change", Roles::Action::ChangeEntry},
                      {"entry_delete", Roles::Action::DeleteEntry},
                      {"entry_mark", Roles::Action::MarkEntry}};
        for (const char *role : {"administrator", "masters", "econom", "sklad"})
            for (const auto &w : writes)
                QTest::addRow("%s %s", role, w.name) << QString::fromLatin1(role) << int(w.action);
    }
    void roleTableMatchesTheDatabase()
    {
        QFETCH(QString, role);
        QFETCH(int, action);
        const QString conn = app->forms.DataModule6->connectionName();
        const int id = entry(1, 4);
        TestDb::signInAs(conn, role);
        // back to the test's own user afterwards
        const Actor::Who me = Actor::current();
        auto back = qScopeGuard([conn, me]() { TestDb::signInAs(conn, me.role, me.name); });
        Entries::Entry e;
        e.worker = worker;
        e.item = product;
        e.operation = oper;
        e.quantity = 3;
        e.hours = 2;
        e.shift = 1;
        e.date = day;
        e.key = QUuid::createUuid();
        Outcome o;
        switch (Roles::Action(action)) {
        case Roles::Action::AddEntry:
            e.colour = 77;
            o = Entries::save(conn, e);
            break;
        case Roles::Action::ChangeEntry:
            e.id = id;
            e.oldWorker = worker;
            e.oldShift = 1;
            e.oldDate = day;
            o = Entries::save(conn, e);
            break;
        case Roles::Action::DeleteEntry:
            o = Entries::remove(conn, id);
            break;
        default:
            o = Entries::setMark(conn, id, "ok");
            break;
        }
        QVERIFY2(o.ok() == Roles::may(role, Roles::Action(action)), qPrintable(o.text));
    }

    void maintenanceItemsHiddenByDefault()
    {
        QVERIFY(!j->N12->isVisible());
        QVERIFY(!j->N16->isVisible());
        QVERIFY(j->N5->isVisible());
    }
};

TABEL_TEST_MAIN(TestJournal)
#include "tst_journal.moc"

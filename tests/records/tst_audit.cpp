#include "db/Gateway.h"
#include "app/Startup.h"
#include "catalogues/UsersWindow.h"
#include "db/ChangeListener.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/TDataModule6.h"
#include "records/Users.h"
#include "journal/AuditUi.h"
#include "journal/EntryHistory.h"
#include "journal/EntryHistoryText.h"
#include "journal/TForm1.h"
#include "journal/TForm11.h"
#include "journal/TForm25.h"
#include "printing/Painting.h"
#include "records/Actor.h"
#include "records/ClosedMonths.h"
#include "records/MonthRebuild.h"
#include "reports/AuditReport.h"
#include "spreadsheet/Excel.h"
#include "support/DialogDriver.h"
#include "support/Pdf.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "timesheets/TForm15.h"
#include <QSqlError>
#include <QSqlQuery>
#include "spreadsheet/ExcelWorkbook.h"
#include <QRadioButton>

#include <QAction>
#include <QDateEdit>
#include "ui/DigitEdit.h"
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

// The audit trail and closed months, through the program and straight in psql.
class TestAudit : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TForm1 *j = nullptr;
    TForm11 *ed = nullptr;
    TDataModule6 *dm = nullptr;
    int worker = 0, product = 0, oper = 0;
    const QDate day{2024, 3, 5};

    struct Record {
        QString user, role, action;
        bool outside = false;
        QJsonObject before, after;
    };
    static QJsonObject json(const QVariant &v) { return QJsonDocument::fromJson(v.toString().toUtf8()).object(); }
    QList<Record> records(const QString &table, int id)
    {
        QList<Record> out;
        for (const QVariantList &r : TestDb::rows(QString("select user_name, user_role, action, outside, before::text, after::text "
                                                          "from accounts_dep.audit where tbl='%1' and row_key='%2' order by id")
                                                      .arg(table)
                                                      .arg(id)))
            out << Record{r[0].toString(), r[1].toString(), r[2].toString(), r[3].toBool(), json(r[4]), json(r[5])};
        return out;
    }
    int auditCount() { return TestDb::scalar("select count(*) from accounts_dep.audit").toInt(); }

    // Runs one statement in psql as the schema's owner (a change made outside the program); exit code and errors
    QPair<int, QString> psql(const QString &sql)
    {
        QProcess p;
        p.start("psql", {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", TestDb::host(), "-U", "tabel_owner", "-d", TestDb::databaseName(),
                         "-c", sql});
        p.waitForFinished(30000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
    }

    void showDay(const QDate &d = QDate())
    {
        j->DateT->setDate(d.isValid() ? d : day);
        j->readJournals();
        j->setShift(1);
    }
    int saveNew(int qty, int hours, const QDate &d = QDate())
    {
        showDay(d);
        ed->prepareAdd();
        ed->setWorker("Алексеев А.В.", worker);
        dm->Oper.close();
        dm->Oper.open();
        if (!dm->Oper.locate("id", oper))
            return 0;
        ed->setOperation(OperationChoice::fromOper(dm->Oper));
        ed->updateColourField();
        ed->Edit3->setText(QString::number(qty));
        ed->Edit6->setText(QString::number(hours));
        ed->recomputeDisplays();
        if (!ed->save())
            return 0;
        return TestDb::scalar("select max(id) from accounts_dep.smena").toInt();
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        j = app->forms.Form1;
        ed = app->forms.Form11;
        dm = app->forms.DataModule6;
        j->role = "63527140";
        TestDb::signInAs(dm->connectionName(), "administrator", "Иванова И.И.");
        for (int s = 1; s <= 4; ++s)
            dm->smena(s)->setParam("ok", "ta");
    }
    void init()
    {
        TestDb::exec("delete from accounts_dep.closed_months");
        TestDb::clearData();
        TestDb::exec("delete from accounts_dep.audit");
        product = Seed::product("РК-128", Seed::group("Фурнитура"));
        oper = Seed::operation(product, Seed::kind("Сборка"), 0, {1.5});
        worker = Seed::worker("Алексеев А.В.");
        j->DBGrid2->setEnabled(true);
    }
    void cleanup()
    {
        TestDb::adminExec("alter role sys login");
        DialogDriver::verifyNoWindowLeftOpen();
        TestDb::exec("delete from accounts_dep.closed_months");
    }
    void cleanupTestCase()
    {
        Actor::clear();
        app.reset();
    }

    // Save, change, mark and delete through the program: one record each,
    // naming the user, with the values before and after.
    void programChangesAreRecorded()
    {
        ScriptedDialogs dialogs;
        const int id = saveNew(10, 8);
        QVERIFY(id);
        // change the hours
        showDay();
        QVERIFY(j->journal()->locate("id", id));
        QVERIFY(ed->prepareEdit());
        ed->Edit6->setText("6");
        QVERIFY(ed->save());
        // close the entry
        showDay();
        QVERIFY(j->journal()->locate("id", id));
        j->toggleMark();
        // delete it
        showDay();
        QVERIFY(j->journal()->locate("id", id));
        j->deleteEntry();

        const QList<Record> r = records("smena", id);
        QCOMPARE(r.size(), 4);
        const QStringList actions{"добавление", "изменение", "отметка закрытия", "удаление"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(r[i].action, actions[i]);
            QCOMPARE(r[i].user, QString("Иванова И.И."));
            QCOMPARE(r[i].role, QString("administrator"));
            QVERIFY(!r[i].outside);
        }
        QVERIFY(r[0].before.isEmpty());
        QCOMPARE(r[0].after.value("time").toInt(), 8);
        QCOMPARE(r[0].after.value("kol_vo").toInt(), 10);
        QCOMPARE(r[1].before.value("time").toInt(), 8);
        QCOMPARE(r[1].after.value("time").toInt(), 6);
        QCOMPARE(r[2].before.value("ok").toString(), QString("no"));
        QCOMPARE(r[2].after.value("ok").toString(), QString("ok"));
        QCOMPARE(r[3].before.value("ok").toString(), QString("ok"));
        QVERIFY(r[3].after.isEmpty());
        // the timesheet's day cells leave no row records
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.audit where tbl is distinct from 'smena'").toInt(), 0);

        // "История": newest first, with what changed
        EntryHistory h;
        h.load(dm->connectionName(), "smena", id);
        QCOMPARE(h.grid->rowCount(), 4);
        QCOMPARE(h.grid->item(0, 2)->text(), QString("удаление"));
        QCOMPARE(h.grid->item(2, 2)->text(), QString("изменение"));
        QCOMPARE(h.grid->item(2, 3)->text(), QString("Часы: 8 → 6"));
        QCOMPARE(h.grid->item(1, 3)->text(), QString("Закрыто: нет → да"));
        QCOMPARE(h.grid->item(2, 1)->text(), QString("Иванова И.И. (%1, тест)").arg(Users::roleCaption("administrator")));
        QVERIFY(dialogs.shown.size() == 1); // the deletion's question only
    }

    // A statement run straight in psql is recorded as made outside the program.
    void psqlChangeIsRecordedAsOutside()
    {
        Seed::Entry e;
        e.data = day;
        e.worker = worker;
        e.product = product;
        e.operation = oper;
        const int id = Seed::entry(e);
        TestDb::exec("delete from accounts_dep.audit");
        const auto r = psql(QString("update accounts_dep.smena set kol_vo = 12 where id = %1").arg(id));
        QCOMPARE(r.first, 0);
        const QList<Record> recs = records("smena", id);
        QCOMPARE(recs.size(), 1);
        QVERIFY(recs[0].outside);
        QCOMPARE(recs[0].user, QString("tabel_owner"));
        QCOMPARE(recs[0].role, QString("вне программы"));
        QCOMPARE(recs[0].before.value("kol_vo").toInt(), 10);
        QCOMPARE(recs[0].after.value("kol_vo").toInt(), 12);
    }

    // A closed month refuses saves, deletions and rebuilds, in the program
    // and in psql; reopening lets them through; both are recorded.
    void closedMonthRefusesChanges()
    {
        ScriptedDialogs dialogs;
        const int id = saveNew(10, 8);
        QVERIFY(id);
        const QString refusal = "Месяц март 2024 закрыт: изменения невозможны.";

        j->show(); // shows today
        QVERIFY(QTest::qWaitForWindowExposed(j));
        showDay();
        dialogs.answers << true;
        AuditUi::closeMonth(app->forms);
        QVERIFY(ClosedMonths::isClosed(dm->connectionName(), 2024, 3));
        QCOMPARE(dialogs.shown.last().kind, Dialogs::Kind::Question);
        // the journal says so and its writing buttons are off
        auto *label = j->findChild<QLabel *>("ClosedMonthLabel");
        QVERIFY(label && label->isVisible());
        QCOMPARE(label->text(), refusal);
        QVERIFY(!j->Button1->isEnabled() && !j->Button2->isEnabled() && !j->Button3->isEnabled());
        // another month: on again
        j->chooseDay(QDate(2024, 4, 2));
        QVERIFY(j->Button1->isEnabled() && j->Button3->isEnabled());
        j->chooseDay(day);
        QVERIFY(!j->Button1->isEnabled());
        j->hide();

        // the program: a save and a deletion meet the database's refusal word for word
        dialogs.shown.clear();
        QCOMPARE(saveNew(5, 4, day.addDays(1)), 0);
        QCOMPARE(dialogs.shown.last().text, refusal);
        showDay();
        QVERIFY(j->journal()->locate("id", id));
        dialogs.shown.clear();
        j->deleteEntry();
        QCOMPARE(dialogs.shown.last().text, refusal);
        try {
            MonthRebuild::shiftLines(dm->connectionName(), 3, 2024);
            QFAIL("rebuild of a closed month went through");
        } catch (const DbError &e) {
            QCOMPARE(e.text(), refusal);
        }
        // psql
        auto r = psql(QString("delete from accounts_dep.smena where id = %1").arg(id));
        QVERIFY(r.first != 0);
        QVERIFY2(r.second.contains(refusal), qPrintable(r.second));
        r = psql(QString("insert into accounts_dep.smena (data, smena, w_id, time) values ('2024-03-06', 1, %1, 2)").arg(worker));
        QVERIFY(r.first != 0);
        r = psql("update accounts_dep.h_tabel set d5 = 1");
        QVERIFY2(r.second.contains(refusal), qPrintable(r.second));
        r = psql(QString("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, cnt, price) "
                         "values (7777, %1, 1, '2024-03-07', 3, 2024, 2, 100)").arg(worker));
        QVERIFY2(r.second.contains(refusal), qPrintable(r.second));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 1);
        QCOMPARE(TestDb::scalar(QString("select d5 from accounts_dep.h_tabel where w_id=%1").arg(worker)).toInt(), 8);

        // reopened: everything goes through again
        dialogs.answers << true;
        AuditUi::reopenMonth(app->forms);
        QVERIFY(!ClosedMonths::isClosed(dm->connectionName(), 2024, 3));
        QVERIFY(saveNew(5, 4, day.addDays(1)));
        MonthRebuild::shiftLines(dm->connectionName(), 3, 2024);
        QCOMPARE(TestDb::scalar(QString("select d6 from accounts_dep.h_tabel where w_id=%1").arg(worker)).toInt(), 4);
        r = psql(QString("delete from accounts_dep.smena where id = %1").arg(id));
        QCOMPARE(r.first, 0);

        const auto actions = TestDb::rows("select action, row_key, user_name from accounts_dep.audit where tbl is null order by id");
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions[0][0].toString(), QString("закрытие месяца"));
        QCOMPARE(actions[0][1].toString(), QString("2024-03"));
        QCOMPARE(actions[0][2].toString(), QString("Иванова И.И."));
        QCOMPARE(actions[1][0].toString(), QString("открытие месяца"));
        QCOMPARE(actions[2][0].toString(), QString("пересборка табеля по сменам"));
    }

    // The housekeeping list: its buttons are off in a closed month, and the
    // recalculation is refused before it starts.
    void housekeepingInAClosedMonth()
    {
        ScriptedDialogs dialogs;
        ClosedMonths::close(dm->connectionName(), 2024, 3);
        TForm25 *h = app->forms.Form25;
        h->DTPcker1->setDate(day);
        h->show();
        QVERIFY(QTest::qWaitForWindowExposed(h));
        QVERIFY(!h->Button5->isEnabled() && !h->Button6->isEnabled() && !h->Button7->isEnabled());
        h->recalculate();
        QCOMPARE(dialogs.shown.last().text, QString("Месяц март 2024 закрыт: изменения невозможны."));
        h->DTPcker1->setDate(QDate(2024, 4, 1));
        QVERIFY(h->Button5->isEnabled() && h->Button7->isEnabled());
        h->hide();
    }

    // The administrator's report of a period: by entry, in preview/PDF and Excel
    void changesReport()
    {
        ScriptedDialogs dialogs;
        const int id = saveNew(10, 8);
        QVERIFY(id);
        QCOMPARE(psql(QString("update accounts_dep.smena set kol_vo = 12 where id = %1").arg(id)).first, 0);
        AuditReport r(dm->connectionName());
        r.FromDate->setDate(QDate::currentDate().addDays(-1));
        r.ToDate->setDate(QDate::currentDate());
        r.ByEntry->setChecked(true);
        r.showPreview();
        QCOMPARE(dialogs.previews.size(), 1);
        const QString text = Pdf::text(dialogs.previews.first());
        const QString entry = QString("журнал, %1, смена 1, Алексеев А.В., РК-128, Сборка").arg(day.toString("dd.MM.yyyy"));
        QVERIFY2(text.contains(entry), qPrintable(text));
        QVERIFY2(text.contains("Кол-во: 10 → 12"), qPrintable(text));
        QVERIFY2(text.contains("Иванова И.И.") && text.contains("tabel_owner") && text.contains("(вне"), qPrintable(text));
        // the insertion's whole row wraps instead of being cut: its last field is there
        QVERIFY2(text.contains("Закрыто: нет"), qPrintable(text));
        QVERIFY2(!text.contains("…") && !text.contains("kol_vo") && !text.contains("save_key"), qPrintable(text));
        r.exportToExcel();
        const ExcelWorkbook *wb = Excel::currentWorkbook();
        QVERIFY(wb);
        QCOMPARE(wb->sheets.first().cell(1, 6)->value.toString(), QString("Изменения"));
        QCOMPARE(wb->sheets.first().cell(3, 4)->value.toString(), QString("изменение"));
        QCOMPARE(wb->sheets.first().cell(3, 5)->value.toString(), entry);
        QCOMPARE(wb->sheets.first().cell(3, 6)->value.toString(), QString("Кол-во: 10 → 12"));
        QCOMPARE(wb->sheets.first().cell(2, 2)->value.toString(),
                 QString("Иванова И.И. (%1)").arg(Users::roleCaption("administrator")));
        // a period before the changes holds none
        r.FromDate->setDate(QDate(2020, 1, 1));
        r.ToDate->setDate(QDate(2020, 1, 31));
        const Printing::Document empty = r.document();
        QVERIFY(!empty.pages.first().plainText().contains("изменение"));
    }

    // A change reads in the journal's words, whether its record holds the
    // whole row (written before the trail kept only what changed) or only
    // the changed columns: captions, names instead of ids, no save key.
    void historyReadsAsTheJournal()
    {
        const int other = Seed::worker("Борисов Б.Б.");
        Seed::Entry e;
        e.data = day;
        e.worker = other;
        e.product = product;
        e.operation = oper;
        e.kolVo = 45;
        const int id = Seed::entry(e);
        TestDb::exec("delete from accounts_dep.audit");
        const QString row = QString("select to_jsonb(s) - 'kol_vo' - 'w_id' - 'save_key' from accounts_dep.smena s where id = %1").arg(id);
        const QString insert = "insert into accounts_dep.audit (at, user_name, user_role, workstation, outside, action, tbl, row_key, before, after) "
                               "values (now() - interval '%1 minutes', 'Иванова И.И.', 'administrator', 'цех-1', false, '%2', 'smena', '%3', %4, %5)";
        // the whole row on both sides, save keys differing
        TestDb::exec(insert.arg(3).arg("изменение").arg(id)
                         .arg(QString("(%1) || jsonb_build_object('kol_vo', 40, 'w_id', %2, 'save_key', gen_random_uuid())").arg(row).arg(worker))
                         .arg(QString("(%1) || jsonb_build_object('kol_vo', 45, 'w_id', %2, 'save_key', gen_random_uuid())").arg(row).arg(other)));
        // only what changed
        TestDb::exec(insert.arg(2).arg("изменение").arg(id)
                         .arg(QString("jsonb_build_object('kol_vo', 40, 'w_id', %1)").arg(worker))
                         .arg(QString("jsonb_build_object('kol_vo', 45, 'w_id', %1)").arg(other)));
        TestDb::exec(insert.arg(1).arg("отметка закрытия").arg(id).arg("'{\"ok\": \"no\"}'").arg("'{\"ok\": \"ok\"}'"));

        const QString expected = "Фамилия И.О.: Алексеев А.В. → Борисов Б.Б.\nКол-во: 40 → 45";
        EntryHistory h;
        h.load(dm->connectionName(), "smena", id);
        QCOMPARE(h.grid->rowCount(), 3);
        QCOMPARE(h.grid->item(0, 3)->text(), QString("Закрыто: нет → да"));
        QCOMPARE(h.grid->item(1, 3)->text(), expected);
        QCOMPARE(h.grid->item(2, 3)->text(), expected);
        QCOMPARE(h.grid->item(2, 3)->toolTip(), expected);
        QCOMPARE(h.title->text(), QString("журнал, 05.03.2024, смена 1, Борисов Б.Б., РК-128, Сборка"));

        // the report reads them the same way, and names the entry though
        // the newer record holds no more than what changed
        const QList<AuditReport::Row> rows = AuditReport::readPage(dm->connectionName(), QDate::currentDate().addDays(-1),
                                                                   QDate::currentDate(), {}, 10);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].changes, QString(expected).replace("\n", "; "));
        QCOMPARE(rows[1].changes, rows[0].changes);
        for (const AuditReport::Row &r : rows)
            QCOMPARE(r.what, h.title->text());
        // a worker gone from the catalogue still reads as one
        TestDb::exec(QString("delete from accounts_dep.person where id = %1").arg(worker));
        h.load(dm->connectionName(), "smena", id);
        QVERIFY2(h.grid->item(1, 3)->text().startsWith(QString("Фамилия И.О.: № %1 (нет в справочнике) → Борисов Б.Б.").arg(worker)),
                 qPrintable(h.grid->item(1, 3)->text()));
    }

    // The report pages through its period by (time, record): records with
    // one and the same time are neither lost nor shown twice at a page's edge.
    void reportPages()
    {
        TestDb::exec("insert into accounts_dep.audit (at, user_name, user_role, workstation, outside, action, tbl, row_key, before, after) "
                     "select timestamptz '2024-03-05 10:00:00' + (g / 150) * interval '1 microsecond', 'Иванова И.И.', 'administrator', "
                     "'цех-1', false, 'изменение', 'smena', '1', jsonb_build_object('kol_vo', g), jsonb_build_object('kol_vo', g + 1) "
                     "from generate_series(1, 450) g");
        TestDb::exec("insert into accounts_dep.audit (at, user_name, user_role, workstation, outside, action, tbl, row_key) "
                     "values ('2024-03-01 00:00:00', 'a', 'administrator', '', false, 'закрытие месяца', null, '2024-03'), "
                     "('2024-04-01 00:00:00', 'b', 'administrator', '', false, 'импорт', null, '')");
        QList<qint64> expected;
        for (const QVariantList &r : TestDb::rows("select id from accounts_dep.audit where at >= '2024-03-01' and at < '2024-04-01' order by at, id"))
            expected << r[0].toLongLong();
        QCOMPARE(expected.size(), 451);

        AuditReport r(dm->connectionName());
        r.FromDate->setDate(QDate(2024, 3, 1));
        r.ToDate->setDate(QDate(2024, 3, 31));
        QList<qint64> seen;
        AuditReport::Cursor after;
        for (int page = 0; page < 10; ++page) {
            const QList<AuditReport::Row> rows = AuditReport::readPage(dm->connectionName(), QDate(2024, 3, 1), QDate(2024, 3, 31), after, 200);
            for (const AuditReport::Row &x : rows)
                seen << x.id;
            if (rows.size() < 200)
                break;
            after = {rows.last().atKey, rows.last().id};
        }
        QCOMPARE(seen, expected);

        // on screen
        QTest::mouseClick(r.ShowButton, Qt::LeftButton);
        QCOMPARE(r.Grid->rowCount(), 200);
        QCOMPARE(r.PageLabel->text(), QString("Записи 1–200"));
        QCOMPARE(r.Grid->item(0, 3)->text(), QString("март 2024"));
        QCOMPARE(r.Grid->item(1, 4)->text(), QString("Кол-во: 1 → 2"));
        QVERIFY(!r.PrevButton->isEnabled() && r.NextButton->isEnabled());
        QTest::mouseClick(r.NextButton, Qt::LeftButton);
        QTest::mouseClick(r.NextButton, Qt::LeftButton);
        QCOMPARE(r.Grid->rowCount(), 51);
        QCOMPARE(r.PageLabel->text(), QString("Записи 401–451 (последние за период)"));
        QCOMPARE(r.Grid->item(50, 4)->text(), QString("Кол-во: 450 → 451"));
        QVERIFY(!r.NextButton->isEnabled());
        QTest::mouseClick(r.PrevButton, Qt::LeftButton);
        QCOMPARE(r.PageLabel->text(), QString("Записи 201–400"));
        QCOMPARE(r.Grid->item(0, 4)->text(), QString("Кол-во: 200 → 201"));
    }

    // A month closed or reopened at another workstation is seen by the open
    // journal and housekeeping list within a second; F5 reads it anyway.
    void monthClosedElsewhere()
    {
        ScriptedDialogs dialogs;
        const char *other = "audit_second";
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", other);
            const Gateway::Settings a = Gateway::settings(dm->connectionName());
            db.setHostName(a.host);
            db.setPort(a.port);
            db.setDatabaseName(a.database);
            db.setUserName(a.user);
            db.setPassword(a.password);
            db.setConnectOptions(a.options);
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            QSqlQuery(db).exec("SET DateStyle TO 'ISO, DMY'");
        }
        TestDb::signInAs(other, "administrator", "Иванова И.И.");
        TForm25 *h = app->forms.Form25;
        j->show();
        QVERIFY(QTest::qWaitForWindowExposed(j));
        showDay();
        h->show();
        h->chooseDate(day);
        QVERIFY(j->Button1->isEnabled() && h->Button5->isEnabled());

        ClosedMonths::close(other, 2024, 3);
        QTRY_VERIFY_WITH_TIMEOUT(!j->Button1->isEnabled() && !j->Button3->isEnabled(), 1000);
        QTRY_VERIFY_WITH_TIMEOUT(!h->Button5->isEnabled(), 1000);
        QVERIFY(j->findChild<QLabel *>("ClosedMonthLabel")->isVisible());
        ClosedMonths::close(other, 2024, 4); // another month: nothing changes back
        ClosedMonths::reopen(other, 2024, 3);
        QTRY_VERIFY_WITH_TIMEOUT(j->Button1->isEnabled() && j->Button3->isEnabled(), 1000);
        QTRY_VERIFY_WITH_TIMEOUT(h->Button5->isEnabled(), 1000);

        // a change no notice tells of: F5
        TestDb::exec("insert into accounts_dep.closed_months (year, month) values (2024, 3)");
        QTest::qWait(100);
        QVERIFY(j->Button1->isEnabled());
        j->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(j));
        QTest::keyClick(j, Qt::Key_F5);
        QVERIFY(!j->Button1->isEnabled());
        h->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h));
        QTest::keyClick(h, Qt::Key_F5);
        QVERIFY(!h->Button5->isEnabled());
        h->hide();
        j->hide();
        QSqlDatabase::removeDatabase(other);
        QVERIFY(dialogs.shown.isEmpty());
    }

    // With the server refusing the program, a date change tells it once and
    // throws nothing out of the window; the first change once it is back
    // shows the day's entries after one notice.
    void dateChangeWithServerDown()
    {
        ScriptedDialogs dialogs;
        Seed::Entry e;
        e.data = day;
        e.worker = worker;
        e.product = product;
        e.operation = oper;
        Seed::entry(e);
        dm->Changes->setProbeInterval(0); // no quiet reconnect behind the test's back
        j->show();
        QVERIFY(QTest::qWaitForWindowExposed(j));
        showDay(day.addDays(-1));
        QCOMPARE(j->journal()->recordCount(), 0);
        QVERIFY(j->Button1->isEnabled());

        const int pid = Gateway::backendPid(dm->connectionName());
        QVERIFY(pid != 0);
        TestDb::adminExec("alter role sys nologin");
        TestDb::adminExec(QString("select pg_terminate_backend(%1, 5000)").arg(pid));

        try {
            j->DateT->setDate(day.addDays(1)); // as the calendar does
        } catch (const std::exception &x) {
            QFAIL(qPrintable(QString("escaped the window: ") + x.what()));
        }
        QTest::keyClick(j->DateT, Qt::Key_Return);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].kind, Dialogs::Kind::Error);
        QVERIFY(j->Button1->isEnabled()); // the state it could not read stays as it was

        TestDb::adminExec("alter role sys login");
        dialogs.shown.clear();
        j->DateT->setDate(day);
        QTest::keyClick(j->DateT, Qt::Key_Return);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, QString::fromUtf8(DbSession::ReconnectedText));
        QCOMPARE(j->journal()->recordCount(), 1);
        j->hide();
        dm->Changes->setProbeInterval(3000);
    }

    // With TABEL_SHOTS set: pictures of the new and changed windows
    void screenshots()
    {
        const QString dir = qEnvironmentVariable("TABEL_SHOTS");
        if (dir.isEmpty())
            QSKIP("TABEL_SHOTS not set");
        ScriptedDialogs dialogs;
        const int id = saveNew(10, 8);
        QCOMPARE(psql(QString("update accounts_dep.smena set kol_vo = 12 where id = %1").arg(id)).first, 0);
        ClosedMonths::close(dm->connectionName(), 2024, 3);
        AuditUi::showSignedIn(app->forms, "Иванова И.И.", "administrator");
        j->show();
        QVERIFY(QTest::qWaitForWindowExposed(j));
        showDay();
        j->grab().save(dir + "/journal-closed.png");
        j->hide();
        EntryHistory h;
        h.load(dm->connectionName(), "smena", id);
        h.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h));
        h.grab().save(dir + "/history.png");
        h.hide();
        UsersWindow u(dm->connectionName());
        u.show();
        QVERIFY(QTest::qWaitForWindowExposed(&u));
        u.grab().save(dir + "/users.png");
        u.hide();
        AuditReport r(dm->connectionName());
        r.show();
        QVERIFY(QTest::qWaitForWindowExposed(&r));
        r.FromDate->setDate(QDate::currentDate().addDays(-1));
        r.showFirstPage();
        QTest::qWait(50);
        r.grab().save(dir + "/audit-report.png");
        r.hide();
        QVERIFY(Printing::writePdf(r.document(), dir + "/audit-report.pdf"));
    }

    // A closed month still prints.
    void closedMonthStillPrints()
    {
        ScriptedDialogs dialogs;
        Seed::shiftLine(worker, 1, 3, 2024, {{5, 8}});
        ClosedMonths::close(dm->connectionName(), 2024, 3);
        app->forms.Form15->printMonth(3, 2024, "Март 2024 г.");
        QCOMPARE(dialogs.previews.size(), 1);
        const QString text = Pdf::text(dialogs.previews.first());
        QVERIFY2(text.contains("Алексеев"), qPrintable(text));
    }
};

TABEL_TEST_MAIN(TestAudit)
#include "tst_audit.moc"

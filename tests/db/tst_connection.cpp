#include "db/Gateway.h"
#include "app/Startup.h"
#include "catalogues/TForm2.h"
#include "catalogues/TForm7.h"
#include "catalogues/TForm9.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/StructureUpgrade.h"
#include "db/TDataModule6.h"
#include "db/Transaction.h"
#include "journal/TForm1.h"
#include "journal/TForm11.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/DigitEdit.h"

#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
const QDate kDay(2024, 3, 5);
const QString kReconnected = QString::fromUtf8(DbSession::ReconnectedText);
const QString kLostWrite = QString::fromUtf8(DbSession::LostWriteText);
} // namespace

// The program's connection: its settings, what a lost connection does, and
// the key counters of the schema.
class TestConnection : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TDataModule6 *dm = nullptr;

    QString setting(const QString &name)
    {
        dm->Control.close();
        dm->Control.setSql("select current_setting('" + name + "') as v");
        dm->Control.open();
        const QString v = dm->Control.asString("v");
        dm->Control.close();
        return v;
    }
    // The server ends the program's session, as a restart does.
    void dropProgramsConnection()
    {
        const int pid = Gateway::run(dm->connectionName(), QStringLiteral("select pg_backend_pid() as pid")).valueAt(0, 0).toInt();
        TestDb::exec(QString("select pg_terminate_backend(%1, 5000)").arg(pid));
    }
    int entries() { return TestDb::scalar("select count(*) from accounts_dep.smena").toInt(); }

    // A new entry of 8 hours typed into the entry editor (not yet saved)
    void typeEntry()
    {
        const int w = Seed::worker("Петров П.П.");
        const int p = Seed::product("M-1", Seed::group("Корпуса"));
        const int o = Seed::operation(p, Seed::kind("Сборка"), 0, {10.0});
        TForm1 *j = app->forms.Form1;
        for (int s = 1; s <= 4; ++s)
            dm->smena(s)->setParam("ok", "ta");
        j->DateT->setDate(kDay);
        j->readJournals();
        TForm11 *ed = app->forms.Form11;
        ed->prepareAdd();
        ed->setWorker("Петров П.П.", w);
        dm->Oper.close();
        dm->Oper.open();
        QVERIFY(dm->Oper.locate("id", o));
        ed->setOperation(OperationChoice::fromOper(dm->Oper));
        ed->Edit3->setText("5");
        ed->Edit6->setText("8");
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        dm = app->forms.DataModule6;
    }
    void init() { TestDb::clearData(); }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    // Names that would end the literal early when backslashes escape are
    // stored as typed even where the database turns the setting off.
    void quotingWhateverTheServerSays()
    {
        TestDb::adminExec(QString("alter database \"%1\" set standard_conforming_strings = off").arg(TestDb::databaseName()));
        dm->openConnection(); // a new session: it starts with the database's setting
        const QString evil = "\\'); drop table accounts_dep.smena; --";
        ScriptedDialogs dialogs;
        TForm9 *kind = app->forms.Form9;
        kind->Tag = 1;
        kind->Edit1->setText(evil);
        const bool kindSaved = kind->save();

        TForm7 *brand = app->forms.Form7;
        const int g = Seed::group("Корпуса");
        brand->Tag = 1;
        brand->item->open();
        brand->setGroup(g);
        brand->Edit1->setText(evil);
        brand->Edit2->setText("1");
        const bool brandSaved = brand->save();
        brand->item->close();

        TForm2 *worker = app->forms.Form2;
        worker->Tag = 1;
        worker->Edit1->setText(evil);
        const bool workerSaved = worker->save();
        const QString scs = setting("standard_conforming_strings");
        TestDb::adminExec(QString("alter database \"%1\" reset standard_conforming_strings").arg(TestDb::databaseName()));

        QCOMPARE(scs, QString("on"));
        QVERIFY(kindSaved && brandSaved && workerSaved);
        QVERIFY(dialogs.shown.isEmpty());
        QVERIFY(!TestDb::scalar("select to_regclass('accounts_dep.smena')::text").isNull());
        QCOMPARE(TestDb::scalar("select vid from accounts_dep.vid_oper where id not in (7777, 7778)").toString().trimmed(), evil);
        QCOMPARE(TestDb::scalar("select s_caption from cmn_gds_and_srv.gds_and_srv").toString(), evil);
        QCOMPARE(TestDb::scalar("select fio from accounts_dep.person").toString(), evil);
    }

    // After the server dropped the connection a read reconnects (same date
    // style and quoting), tells the user, and gives its rows.
    void readAfterLostConnection()
    {
        Seed::worker("Петров П.П.");
        ScriptedDialogs dialogs;
        dropProgramsConnection();
        dm->Workers.close();
        dm->Workers.open();
        QCOMPARE(dm->Workers.recordCount(), 1);
        QCOMPARE(dialogs.texts(), QStringList{kReconnected});
        QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Information);
        QCOMPARE(setting("standard_conforming_strings"), QString("on"));
        QCOMPARE(setting("DateStyle"), QString("ISO, DMY"));
        // and the next action goes on without a word
        dm->Workers.refresh();
        QCOMPARE(dialogs.shown.size(), 1);
    }

    // A save pressed after the connection was lost begins its transaction
    // on a new connection and stores the entry with its cell.
    void saveAfterLostConnection()
    {
        typeEntry();
        ScriptedDialogs dialogs;
        dropProgramsConnection();
        QVERIFY2(app->forms.Form11->save(), qPrintable(dialogs.texts().join(" | ")));
        QCOMPARE(dialogs.texts(), QStringList{kReconnected});
        QCOMPARE(entries(), 1);
        QCOMPARE(TestDb::scalar("select d5 from accounts_dep.h_tabel").toInt(), 8);
    }

    // The connection lost in the middle of a save: nothing stored, the
    // window keeps what was typed, and pressing again stores it. The save is
    // one statement in autocommit, so the program cannot tell whether the
    // server committed it and says so.
    void lostDuringSave()
    {
        typeEntry();
        TestDb::exec("create function accounts_dep.cut() returns trigger language plpgsql as "
                     "$$ begin perform pg_terminate_backend(pg_backend_pid()); return new; end $$");
        TestDb::exec("create trigger cut before insert on accounts_dep.h_tabel for each row execute function accounts_dep.cut()");
        ScriptedDialogs dialogs;
        TForm11 *ed = app->forms.Form11;
        bool stayed = false, savedLater = false;
        QString kept;
        DialogDriver::onNextModal([&](QWidget *) {
            ed->Button1->click();
            stayed = ed->isVisible();
            kept = ed->Edit6->text() + "/" + ed->Edit1->text();
            TestDb::exec("drop trigger cut on accounts_dep.h_tabel");
            ed->Button1->click();
            savedLater = !ed->isVisible();
        });
        ed->exec();
        TestDb::exec("drop function accounts_dep.cut()");
        QVERIFY(stayed);
        QCOMPARE(kept, QString("8/Петров П.П."));
        QCOMPARE(dialogs.texts(), QStringList{QString::fromUtf8(DbSession::LostCommitText)});
        QVERIFY(savedLater);
        QCOMPARE(entries(), 1);
        QCOMPARE(TestDb::scalar("select d5 from accounts_dep.h_tabel").toInt(), 8);
    }

    // A connection the driver already knows to be closed: a statement outside
    // a transaction reopens it first; inside one it fails with a message
    // (never an empty box) and writes nothing.
    void closedConnection()
    {
        Command c(dm->connectionName());
        Gateway::close(dm->connectionName()); // as a connection found lost
        ScriptedDialogs dialogs;
        c.exec("select 1"); // reopens first: nothing was sent
        QCOMPARE(dialogs.texts(), QStringList{kReconnected});
        {
            Transaction tx(dm->connectionName());
            Gateway::close(dm->connectionName());
            try {
                c.exec("insert into accounts_dep.ver (d) values (1)");
                QFAIL("a write on a lost connection passed");
            } catch (const DbError &e) {
                QCOMPARE(e.text(), kLostWrite);
            }
        }
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.ver").toInt(), 0);
    }

    // Generated ids of kinds and operations start past the fixed rows, in a
    // new database and after the upgrade of an older one.
    void keyCountersPastFixedRows()
    {
        const int k = Seed::kind("Сборка");
        const int o = Seed::operation(Seed::product("M-1", Seed::group("Корпуса")), k, 0, {1.0});
        QVERIFY2(k > 7778 && o > 7778, qPrintable(QString("%1 %2").arg(k).arg(o)));
        // an older database whose counters still stand low
        TestDb::exec("delete from accounts_dep.oper where id not in (7777, 7778)");
        TestDb::exec("delete from accounts_dep.vid_oper where id not in (7777, 7778)");
        TestDb::exec("select setval(pg_get_serial_sequence('accounts_dep.vid_oper', 'id'), 7776)");
        TestDb::exec("select setval(pg_get_serial_sequence('accounts_dep.oper', 'id'), 7776)");
        runStructureUpgrade(*dm);
        QCOMPARE(Seed::kind("Сварка"), 7779);
        QCOMPARE(Seed::operation(Seed::product("M-2", Seed::group("Крышки")), 7777, 0, {1.0}), 7779);
    }
};

TABEL_TEST_MAIN(TestConnection)
#include "tst_connection.moc"

#include "app/Startup.h"
#include "db/Dataset.h"
#include "db/TDataModule6.h"
#include "journal/OfflineUi.h"
#include "journal/OperationChoice.h"
#include "journal/QueuedRows.h"
#include "journal/TForm1.h"
#include "journal/TForm11.h"
#include "journal/UnsentWindow.h"
#include "records/OfflineQueue.h"
#include "support/CommitProxy.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/DigitEdit.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

// The journal and the entry editor while no server answers, and after.
namespace {
const QDate kDay(2024, 3, 5);
}

class TestOfflineKeying : public QObject {
    Q_OBJECT
    QTemporaryDir queueDir;
    std::unique_ptr<CommitProxy> proxy;
    std::unique_ptr<AppContext> app;
    QString conn;
    Users::User master;
    int worker = 0, product = 0, oper = 0;
    QList<int> crew; // three workers: one entry each (the same worker twice would be a duplicate)

    // The entry editor filled for a new entry on kDay, shift 1 (read while the server answers).
    void typeEntry(int quantity, int hours, int who)
    {
        TDataModule6 *dm = app->forms.DataModule6;
        TForm11 *ed = app->forms.Form11;
        ed->prepareAdd();
        ed->setWorker(who == worker ? "Петров П.П." : "Другой", who);
        QVERIFY(dm->Oper.locate("id", oper));
        ed->setOperation(OperationChoice::fromOper(dm->Oper));
        ed->Edit3->setText(QString::number(quantity));
        ed->Edit6->setText(QString::number(hours));
    }
    void pressSave()
    {
        TForm11 *ed = app->forms.Form11;
        bool closed = false;
        DialogDriver::onNextModal([&](QWidget *) {
            ed->Button1->click();
            closed = !ed->isVisible();
            if (!closed)
                ed->reject();
        });
        ed->exec();
        QVERIFY(closed);
    }
    QString status() const { return app->forms.Form1->findChild<QLabel *>("OfflineLabel")->text(); }

private slots:
    void initTestCase()
    {
        qputenv("TABEL_QUEUE_DIR", queueDir.path().toUtf8());
        proxy = std::make_unique<CommitProxy>(TestDb::host());
        app = TestDb::startAppAt(proxy->folder());
        conn = app->forms.DataModule6->connectionName();
        TestDb::clearData();
        worker = Seed::worker("Петров П.П.");
        crew = {worker, Seed::worker("Сидоров С.С."), Seed::worker("Козлов К.К.")};
        product = Seed::product("M-1", Seed::group("Корпуса"));
        oper = Seed::operation(product, Seed::kind("Сборка"), 0, {10.0});
        master = TestDb::signInAs(conn, "masters", "Мастер М.М.");
        ScriptedDialogs dialogs;
        OfflineUi::signedIn(app->forms, master.id);
        QVERIFY(dialogs.shown.isEmpty()); // nothing waits
        TDataModule6 *dm = app->forms.DataModule6;
        for (int s = 1; s <= 4; ++s)
            dm->smena(s)->setParam("ok", "ta");
        app->forms.Form1->DateT->setDate(kDay);
        app->forms.Form1->readJournals();
        dm->Oper.close();
        dm->Oper.open();
    }

    // The server gone, "Запись" keeps each entry in the queue: the journal
    // shows them in grey, waiting, and counts them; stored entries cannot be
    // changed. With the server back, "Обновить" sends them, once.
    void keyedWhileDownThenSent()
    {
        ScriptedDialogs dialogs;
        TForm1 *j = app->forms.Form1;
        j->show();
        QVERIFY(QTest::qWaitForWindowExposed(j));
        proxy->cut(true);
        for (int i = 1; i <= 3; ++i) {
            typeEntry(i, 2, crew.at(i - 1));
            pressSave();
        }
        QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join('\n')));
        QCOMPARE(status(), QString("Нет связи с сервером: 3 записей ждут отправки"));
        QVERIFY(OfflineUi::serverDown());
        auto *grid = j->findChild<QTableWidget *>("QueuedGrid");
        QVERIFY(grid && grid->isVisible());
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->item(0, 5)->text(), QString("ожидает отправки"));
        QCOMPARE(grid->item(0, 0)->foreground().color(), QColor(128, 128, 128));
        QVERIFY(grid->item(0, 0)->text().startsWith("Петров П.П."));
        QVERIFY(!j->Button2->isEnabled());
        QVERIFY(!j->Button3->isEnabled());
        QVERIFY(j->Button3->toolTip().contains("Нет связи с сервером"));
        if (qEnvironmentVariableIsSet("TABEL_SCREENSHOTS"))
            j->grab().save(qEnvironmentVariable("TABEL_SCREENSHOTS") + "/offline-journal.png");

        // a queued entry changed in place: the queue holds the new quantity
        grid->item(2, 2)->setText("7");
        QCOMPARE(OfflineUi::queue()->items().last().entry.quantity, 7);

        proxy->cut(false);
        j->Button8->click();
        QVERIFY(!OfflineUi::serverDown());
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 3);
        QCOMPARE(TestDb::scalar("select sum(kol_vo) from accounts_dep.smena").toInt(), 1 + 2 + 7);
        QCOMPARE(OfflineUi::queue()->items().size(), 0);
        QVERIFY(status().isEmpty());
        QVERIFY(!grid->isVisible());
        QVERIFY(j->Button2->isEnabled());
        j->hide();
    }

    // At the start the same user is offered the sending; another user is
    // neither asked nor sends anything. Refused entries are listed in
    // "Не отправлено", corrected there and sent again.
    void startOffersAndUnsent()
    {
        TestDb::exec("delete from accounts_dep.smena");
        {
            OfflineQueue q(OfflineQueue::databaseOf(conn), master.id);
            Entries::Entry e;
            e.worker = worker;
            e.item = product;
            e.operation = oper;
            e.date = kDay;
            e.quantity = 4;
            e.hours = 30; // beyond a day: refused
            QVERIFY(q.add(e, "Петров П.П. · M-1").ok());
            e.hours = 1;
            e.colour = 0;
            e.date = kDay.addDays(1);
            QVERIFY(q.add(e, "Петров П.П. · M-1").ok());
        }
        ScriptedDialogs dialogs;
        const Users::User other = TestDb::signInAs(conn, "masters", "Мастер Б.Б.");
        OfflineUi::signedIn(app->forms, other.id);
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 0);

        master = TestDb::signInAs(conn, "masters", "Мастер М.М.");
        OfflineUi::signedIn(app->forms, master.id);
        QCOMPARE(dialogs.texts(), QStringList{"Отправить 2 записей?"});
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 1);
        OfflineQueue *q = OfflineUi::queue();
        QCOMPARE(q->refusedCount(), 1);
        auto *unsent = app->forms.Form1->findChild<QPushButton *>("UnsentButton");
        QCOMPARE(unsent->text(), QString("Не отправлено (1)"));

        UnsentWindow w(*q, conn);
        QCOMPARE(w.UnsentTable->rowCount(), 1);
        QCOMPARE(w.UnsentTable->item(0, 6)->text(), QString("Часы: не больше 24."));
        if (qEnvironmentVariableIsSet("TABEL_SCREENSHOTS")) {
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.grab().save(qEnvironmentVariable("TABEL_SCREENSHOTS") + "/offline-unsent.png");
        }
        w.UnsentTable->item(0, 5)->setText("3");
        w.SendAgainButton->click();
        QCOMPARE(w.UnsentTable->rowCount(), 0);
        QCOMPARE(q->items().size(), 0);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 2);
        QCOMPARE(TestDb::scalar("select time from accounts_dep.smena where data='2024-03-05'").toInt(), 3);
    }
};

TABEL_TEST_MAIN(TestOfflineKeying)
#include "tst_offline_keying.moc"

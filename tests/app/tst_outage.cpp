#include "app/Startup.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/Gateway.h"
#include "db/TDataModule6.h"
#include "db/ChangeListener.h"
#include "journal/TForm1.h"
#include "support/DialogDriver.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/Outage.h"

#include <QApplication>
#include <QDateEdit>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTimer>
#include <QtTest>

// A lost server is told once per outage, in Russian, with libpq's words
// folded away; the idle check and the timers only update the status line.
class TestOutage : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;

    // Every box the program shows, with what its "Подробности" fold holds
    struct Recording : ScriptedDialogs {
        QStringList details;
        bool showDetailed(Dialogs::Kind kind, const QString &caption, const QString &text, const QString &d) override
        {
            details << d;
            return show(kind, caption, text);
        }
    };

    // This workstation's connection dropped, and every attempt to open it
    // again meets a port where no server listens (as with the server stopped)
    void serverGone()
    {
        TDataModule6 *dm = app->forms.DataModule6;
        DbSession::setReopen(dm->connectionName(), [dm]() {
            TDataModule6::openPostgres(dm->connectionName(), "127.0.0.1", 1, TestDb::databaseName(), "sys", "sys", "connect_timeout=2");
        });
        const int pid = Gateway::backendPid(dm->connectionName());
        QVERIFY(pid > 0);
        TestDb::adminExec(QString("select pg_terminate_backend(%1, 5000)").arg(pid));
    }
    void serverBack()
    {
        TDataModule6 *dm = app->forms.DataModule6;
        DbSession::setReopen(dm->connectionName(), [dm]() { dm->openConnection(); });
    }

private slots:
    void initTestCase() { app = TestDb::startApp(); }
    void cleanupTestCase() { app.reset(); }

    void oneBoxPerOutage()
    {
        Recording dialogs;
        TForm1 *j = app->forms.Form1;
        TDataModule6 *dm = app->forms.DataModule6;
        j->show();
        QVERIFY(QTest::qWaitForWindowExposed(j));
        j->DateT->setDate(QDate(2024, 3, 4));
        QTest::keyClick(j->DateT, Qt::Key_Return);
        QVERIFY(dialogs.shown.isEmpty());
        QVERIFY(j->ConnectionStatus->isHidden());

        serverGone();
        // a date change by keys meets the outage: one box
        j->DateT->setFocus();
        QTest::keyClick(j->DateT, Qt::Key_Up);
        QTest::keyClick(j->DateT, Qt::Key_Return);
        QCOMPARE(dialogs.shown.size(), 1);
        const QString text = dialogs.shown[0].text;
        QCOMPARE(text, QString::fromUtf8(DbSession::OfflineText));
        QVERIFY2(!text.contains(QRegularExpression("[A-Za-z]")), qPrintable(text)); // Russian only
        QVERIFY2(dialogs.details.value(0).contains("127.0.0.1"), qPrintable(dialogs.details.value(0)));

        // 10 s idle with the idle check and the version check running often
        dm->Changes->setProbeInterval(500);
        j->Timer1->setInterval(700);
        j->Timer1->start();
        QTest::qWait(10000);
        QCOMPARE(dialogs.shown.size(), 1);
        // another action meets the same outage: the status line, no box
        j->DateT->setFocus();
        QTest::keyClick(j->DateT, Qt::Key_Down);
        QTest::keyClick(j->DateT, Qt::Key_Return);
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(Outage::instance().down());
        QVERIFY(j->ConnectionStatus->isVisible());
        QVERIFY2(QRegularExpression("^Нет связи с сервером с [0-9]{2}:[0-9]{2}$").match(j->ConnectionStatus->text()).hasMatch(),
                 qPrintable(j->ConnectionStatus->text()));
        DialogDriver::shot(j, "outage-status");

        // back: the idle check reconnects quietly and the status line clears
        serverBack();
        QTRY_VERIFY_WITH_TIMEOUT(!Outage::instance().down(), 5000);
        QVERIFY(j->ConnectionStatus->isHidden());
        j->Timer1->setInterval(30000);
        dm->Changes->setProbeInterval(3000);

        // a new outage is a new one: told again
        dialogs.clear();
        serverGone();
        j->DateT->setFocus();
        QTest::keyClick(j->DateT, Qt::Key_Up);
        QTest::keyClick(j->DateT, Qt::Key_Return);
        QCOMPARE(dialogs.shown.size(), 1);
        serverBack();
        QTRY_VERIFY_WITH_TIMEOUT(!Outage::instance().down(), 8000);
        j->hide();
    }

    // The real box: Russian text, libpq's words under the details button
    void boxFoldsTheDetails()
    {
        Outage::instance().reset();
        Outage::instance().connectionState("x", false, "connection to server at \"127.0.0.1\", port 1 failed: Connection refused");
        QString shownText, detailed;
        DialogDriver::onNextModal([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            shownText = box->text();
            detailed = box->detailedText();
            DialogDriver::shot(box, "outage-box");
        });
        Dialogs::error(QString::fromUtf8(DbSession::OfflineText));
        QCOMPARE(shownText, QString::fromUtf8(DbSession::OfflineText));
        QVERIFY(detailed.contains("Connection refused"));
        // while the outage lasts, no second box (one that came is closed and counted)
        bool second = false;
        QTimer::singleShot(1000, this, [&second]() {
            if (QWidget *w = QApplication::activeModalWidget()) {
                second = true;
                w->close();
            }
        });
        Dialogs::error(QString::fromUtf8(DbSession::OfflineText));
        QTest::qWait(1100);
        QVERIFY(!second);
        Outage::instance().connectionState("x", true, QString());
        DialogDriver::verifyNoWindowLeftOpen();
    }
};

TABEL_TEST_MAIN(TestOutage)
#include "tst_outage.moc"

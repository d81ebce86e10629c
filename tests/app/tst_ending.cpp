#include "app/BuildStamp.h"
#include "app/Startup.h"
#include "app/TForm23.h"
#include "catalogues/TForm9.h"
#include "journal/TForm1.h"
#include "support/DialogDriver.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

namespace {

// true while the program has not been told to end: an event loop started now
// runs until its own timer stops it instead of returning at once.
bool stillRunning()
{
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    return loop.exec() == 0;
}

// A window that declines to close, as one asking about unsaved work may.
class StayingWindow : public QWidget {
protected:
    void closeEvent(QCloseEvent *e) override { e->ignore(); }
};

} // namespace

// How the program ends: by the sign-in window finishing or by being told to,
// whatever other windows are open.
class TestEnding : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;

    void signInFromTheLoop()
    {
        QTimer::singleShot(0, app->forms.Form23, [this]() {
            app->forms.Form23->Edit1->setText(QStringLiteral("7264"));
            app->forms.Form23->Button1Click(); // the journal opens modally
        });
    }
    // Runs the program's loop; false when it did not end within `ms`.
    bool runEndsWithin(int ms)
    {
        bool timedOut = false;
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [&timedOut]() {
            timedOut = true;
            QCoreApplication::exit(1);
        });
        guard.start(ms);
        runProgram(*app);
        return !timedOut;
    }

private slots:
    void init()
    {
        app = TestDb::startApp();
        TestDb::exec(QStringLiteral("delete from accounts_dep.ver"));
    }
    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            w->hide();
        app.reset();
    }

    // Another window opened and closed while the journal is open does not end
    // the program; one left open does not keep it alive once the journal closes.
    void closingTheJournalEnds()
    {
        ScriptedDialogs dialogs;
        StayingWindow preview;
        QWidget other;
        preview.setWindowTitle(QStringLiteral("Предварительный просмотр"));
        bool aliveAfterOtherClosed = false;
        DialogDriver::onModal(QStringLiteral("TForm1"), [&](QWidget *journal) {
            preview.show();
            other.show();
            other.close();
            DialogDriver::settle();
            aliveAfterOtherClosed = journal->isVisible() && stillRunning();
            journal->close();
        });
        signInFromTheLoop();
        QVERIFY(runEndsWithin(10000));
        QVERIFY(aliveAfterOtherClosed);
        QVERIFY(preview.isVisible());
        QCOMPARE(dialogs.quits, 0);
    }

    // An older build is refused by the periodic check while a modal editor is
    // open: the real message box, nobody answering it, and the program ends
    // within the five seconds.
    void olderBuildEndsWithAModalEditorOpen()
    {
        QElapsedTimer told;
        DialogDriver::onModal(QStringLiteral("TForm1"), [&](QWidget *) {
            TestDb::exec(QStringLiteral("insert into accounts_dep.ver (d, t, delim) values (%1, 0, '.')")
                             .arg(BuildStamp::date() + 1));
            QTimer::singleShot(100, app->forms.Form9, [&]() {
                told.start();
                app->forms.Form1->Timer1Timer();
            });
            app->forms.Form9->exec(); // a real modal editor, left open
        });
        signInFromTheLoop();
        QVERIFY(runEndsWithin(15000));
        QVERIFY(told.isValid());
        QVERIFY2(told.elapsed() < 6000, qPrintable(QString::number(told.elapsed())));
        app->forms.Form23->Timer1->stop();
    }
};

TABEL_TEST_MAIN(TestEnding)
#include "tst_ending.moc"

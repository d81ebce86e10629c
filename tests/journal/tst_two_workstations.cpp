#include "app/Application.h"
#include "app/Startup.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "journal/TForm11.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/DigitEdit.h"

#include <QDateEdit>
#include <QProcess>
#include <QtTest>

// Two workstations keying in for the same workers at the same moment: each is
// a process of its own running the entry editor's save on its own connection.
namespace {
const QDate kDay(2024, 3, 4);
const int kRounds = 24;
const int kWorkers = 4;
const int kGate = 4242; // advisory lock the workstations wait on before starting

// Round i: worker i % kWorkers on day kDay + i / kWorkers. Both workstations
// save the same entry (shared operation, 2 h) and one of their own (own
// operation, 3 h) for that worker and day.
int workstation(int index)
{
    ScriptedDialogs dialogs; // the duplicate refusals are expected
    auto ctx = TestDb::startApp();
    TDataModule6 &dm = *ctx->forms.DataModule6;
    TForm1 *journal = ctx->forms.Form1;
    TForm11 *ed = ctx->forms.Form11;
    QList<int> workers, opers;
    for (const auto &r : TestDb::rows("select id from accounts_dep.person order by id"))
        workers << r[0].toInt();
    for (const auto &r : TestDb::rows("select id from accounts_dep.oper where id not in (7777, 7778) order by id"))
        opers << r[0].toInt();
    for (int s = 1; s <= 4; ++s)
        dm.smena(s)->setParam("ok", "ta");
    dm.Oper.open();
    auto save = [&](int worker, const QDate &d, int oper, int hours) {
        journal->DateT->setDate(d);
        journal->readJournals();
        ed->prepareAdd();
        ed->setWorker(QStringLiteral("Рабочий"), worker);
        dm.Oper.locate("id", oper);
        ed->setOperation(OperationChoice::fromOper(dm.Oper));
        ed->Edit3->setText("1");
        ed->Edit6->setText(QString::number(hours));
        ed->save();
    };
    TestDb::scalar(QStringLiteral("select pg_advisory_lock_shared(%1)").arg(kGate));
    for (int i = 0; i < kRounds; ++i) {
        const int w = workers.at(i % kWorkers);
        const QDate d = kDay.addDays(i / kWorkers);
        save(w, d, opers.at(0), 2);
        save(w, d, opers.at(1 + index), 3);
    }
    ctx.reset();
    return 0;
}
} // namespace

class TestTwoWorkstations : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestDb::clearData(); }

    void sameEntriesAtOnce()
    {
        for (int i = 0; i < kWorkers; ++i)
            Seed::worker(QString("Рабочий %1").arg(i));
        const int p = Seed::product("M-1", Seed::group("Корпуса"));
        const int k = Seed::kind("Сборка");
        for (int i = 0; i < 3; ++i)
            Seed::operation(p, k, i % 2, {1.0 + i});

        TestDb::scalar(QString("select pg_advisory_lock(%1)").arg(kGate));
        QList<QProcess *> stations;
        for (int i = 0; i < 2; ++i) {
            auto *proc = new QProcess(this);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TABEL_WORKSTATION", QString::number(i));
            env.insert("TABEL_TEST_DATABASE", TestDb::databaseName());
            proc->setProcessEnvironment(env);
            proc->setProcessChannelMode(QProcess::ForwardedChannels);
            proc->start(QCoreApplication::applicationFilePath(), {});
            stations << proc;
        }
        // both at the gate, then released together
        QTRY_COMPARE_WITH_TIMEOUT(TestDb::scalar(QString("select count(*) from pg_locks where locktype='advisory' and objid=%1 and not granted")
                                                     .arg(kGate)).toInt(),
                                  2, 30000);
        TestDb::scalar(QString("select pg_advisory_unlock(%1)").arg(kGate));
        for (QProcess *proc : stations) {
            QVERIFY(proc->waitForFinished(120000));
            QCOMPARE(proc->exitStatus(), QProcess::NormalExit);
            QCOMPARE(proc->exitCode(), 0);
        }

        // one shared entry per round, and each workstation's own
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 3 * kRounds);
        QCOMPARE(TestDb::scalar("select count(*) from (select 1 from accounts_dep.smena group by w_id, o_id, i_id, data, smena, color "
                                "having count(*) > 1) d").toInt(),
                 0);
        // one line per worker, shift and month, and every cell the day's sum
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel").toInt(), kWorkers);
        const auto wrong = TestDb::rows(
            "select s.w_id, s.data, sum(s.time), (select count(*) from accounts_dep.h_tabel h where h.w_id=s.w_id and h.smena=1 "
            "and h.month=3 and h.year=2024) from accounts_dep.smena s group by s.w_id, s.data "
            "having sum(s.time) <> (select (to_jsonb(h) ->> ('d' || extract(day from s.data)))::int from accounts_dep.h_tabel h "
            "where h.w_id=s.w_id and h.smena=1 and h.month=3 and h.year=2024 limit 1)");
        QVERIFY2(wrong.isEmpty(), qPrintable(QString("%1 cells differ").arg(wrong.size())));
        QCOMPARE(TestDb::scalar("select sum(coalesce(d4,0)+coalesce(d5,0)+coalesce(d6,0)+coalesce(d7,0)+coalesce(d8,0)+coalesce(d9,0)) "
                                "from accounts_dep.h_tabel").toInt(),
                 kRounds * 8);
    }
};

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    signInAsAdministrator();
    if (qEnvironmentVariableIsSet("TABEL_WORKSTATION"))
        return workstation(qEnvironmentVariableIntValue("TABEL_WORKSTATION"));
    TestTwoWorkstations tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_two_workstations.moc"

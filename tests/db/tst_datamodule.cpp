#include "app/Startup.h"
#include "db/DbError.h"
#include "db/Sql.h"
#include "db/StructureUpgrade.h"
#include "db/TDataModule6.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QtTest>

class TestDataModule : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TDataModule6 *dm = nullptr;

    struct Plant {
        int group, product, kind, oper, worker;
    };
    Plant plant()
    {
        Plant p;
        p.group = Seed::group("Корпуса");
        p.product = Seed::product("M-1", p.group);
        p.kind = Seed::kind("Сборка");
        p.oper = Seed::operation(p.product, p.kind, 0, {2.5});
        p.worker = Seed::worker("Петров П.П.");
        return p;
    }
    QStringList journalNames(int shift, const QDate &d)
    {
        Dataset *q = dm->smena(shift);
        q->close();
        q->setParam("data", d);
        q->setParam("ok", "ta");
        q->open();
        QStringList names;
        for (int r = 0; r < q->recordCount(); ++r)
            names << q->valueAt(r, "fio").toString();
        q->close();
        return names;
    }

private slots:
    void initTestCase()
    {
        TestDb::letSysWrite({"person"}); // the statements' road is under test here, not the rights
        app = TestDb::startApp();
        dm = app->forms.DataModule6;
    }
    void init() { TestDb::clearData(); }
    void cleanupTestCase() { app.reset(); }

    void journalQueries()
    {
        const QDate d(2024, 3, 5);
        const Plant p = plant();
        const int other = Seed::worker("Сидоров С.С.");
        Seed::entry({d, 1, p.worker, p.product, p.oper});
        Seed::entry({d, 1, other, p.product, p.oper, 10, 0, 1.0, 8, 0, QStringLiteral("ta")}); // hidden
        Seed::entry({d, 1, other, p.product, p.oper, 10, 0, 1.0, 8, 1, QString()});            // null mark
        Seed::entry({d, 3, p.worker, p.product, p.oper});
        Seed::entry({d.addDays(1), 1, p.worker, p.product, p.oper});
        QCOMPARE(journalNames(1, d), QStringList{"Петров П.П."});
        QCOMPARE(journalNames(3, d), QStringList{"Петров П.П."});
        QCOMPARE(journalNames(2, d), QStringList{});
    }

    void journalRowColumns()
    {
        const QDate d(2024, 3, 5);
        const Plant p = plant();
        Seed::entry({d, 2, p.worker, p.product, p.oper, 7, 2, 1.23456, 4});
        Dataset &q = dm->Smena2;
        q.setParam("data", d);
        q.setParam("ok", "ta");
        q.open();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.asString("MARKA"), QString("M-1"));
        QCOMPARE(q.asString("nmn"), QString("Готовая продукция"));
        QCOMPARE(q.asString("summa"), QString("6.17")); // (7-2) * 1.23456 rounded by the server
        QCOMPARE(q.asInt("time"), 4);
        q.close();
        // the parameters keep their values between openings
        q.open();
        QCOMPARE(q.recordCount(), 1);
        q.close();
    }

    // An entry whose w_id is one person's id and another's code is listed twice;
    // an entry whose operation is gone drops out.
    void journalJoins()
    {
        const QDate d(2024, 3, 5);
        const Plant p = plant();
        const int second = Seed::worker("Второй В.В.");
        TestDb::exec(QString("update cmn_contractor.person set s_code='%1' where id=%2").arg(p.worker).arg(second));
        Seed::entry({d, 1, p.worker, p.product, p.oper});
        QStringList names = journalNames(1, d);
        names.sort();
        QCOMPARE(names, (QStringList{"Второй В.В.", "Петров П.П."}));
        TestDb::exec(QString("delete from accounts_dep.oper where id=%1").arg(p.oper));
        QCOMPARE(journalNames(1, d), QStringList{});
    }

    // Typed text reaches the table exactly as typed and never changes a statement.
    void typedTextBound_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("apostrophe") << "O'Neil";
        QTest::newRow("injection") << "x'); drop table accounts_dep.smena; --";
        QTest::newRow("parameter-like") << "a :data ::b";
        QTest::newRow("backslash") << "c:\\path\\'";
    }
    void typedTextBound()
    {
        QFETCH(QString, typed);
        Command cmd(dm->connectionName());
        cmd.setSql("insert into accounts_dep.person (fio) values (:fio)");
        cmd.setParam("FIO", typed);
        cmd.exec();
        QCOMPARE(TestDb::scalar("select fio from accounts_dep.person").toString(), typed);
        QVERIFY(TestDb::scalar("select count(*) from accounts_dep.smena").isValid());
        Dataset q(dm->connectionName());
        q.setSql("select count(*) as cnt from accounts_dep.person where fio = :f and ':f' = ':f'");
        q.setParam("F", typed);
        q.open();
        QCOMPARE(q.asInt("cnt"), 1);
    }

    void bindLeavesCastsAndQuotesAlone()
    {
        QMap<QString, QVariant> params{{"d", QDate(2024, 1, 2)}, {"n", 5}, {"x", 1.5}};
        QCOMPARE(Sql::bind("select :d::date, ':n', kol_vo::numeric*:x, :N", params),
                 QString("select '02.01.2024'::date, ':n', kol_vo::numeric*1.5, 5"));
    }

    void datasetNavigation()
    {
        for (const char *n : {"Антонов", "Борисов", "борисова", "Волков"})
            Seed::worker(QString::fromUtf8(n));
        Dataset &w = dm->Workers;
        w.open();
        QCOMPARE(w.recordCount(), 4);
        QCOMPARE(w.recNo(), 1);
        QVERIFY(w.locate("FIO", "волков"));
        QCOMPARE(w.recNo(), 4);
        w.setFilter(Dataset::textFilter("fio", "БОР", true));
        QCOMPARE(w.recordCount(), 2);
        w.setFilter(Dataset::textFilter("fio", "орис", true));
        QCOMPARE(w.recordCount(), 0);
        QCOMPARE(w.recNo(), 0);
        QVERIFY(w.value("fio").isNull());
        w.setFilter(Dataset::textFilter("fio", "", true));
        QCOMPARE(w.recordCount(), 4);
        w.setRecNo(3);
        w.refresh();
        QCOMPARE(w.recNo(), 3);
        w.close();
    }

    void oneHTabelStatementPerShift()
    {
        // fio, hours and earnings of every shift's line, empty cells counting as 0
        const Plant p = plant();
        Seed::entry({QDate(2024, 3, 5), 1, p.worker, p.product, p.oper, 10, 2, 1.5, 8});
        Seed::shiftLine(p.worker, 1, 3, 2024, {{5, 8}, {6, 4}});
        Dataset &h = dm->H_Tabel_1;
        h.setParam("mnth", 3);
        h.setParam("yea", 2024);
        h.setParam("date1", QDate(2024, 3, 1));
        h.setParam("date2", QDate(2024, 4, 1));
        h.open();
        QCOMPARE(h.recordCount(), 1);
        QCOMPARE(h.asInt("summ"), 12);
        QCOMPARE(h.asString("cena_all"), QString("12.00"));
        QCOMPARE(h.asString("average_price"), QString("1.00"));
        h.close();
        dm->H_Tabel_2.setParam("mnth", 3);
        dm->H_Tabel_2.setParam("yea", 2024);
        dm->H_Tabel_2.setParam("date1", QDate(2024, 3, 1));
        dm->H_Tabel_2.setParam("date2", QDate(2024, 4, 1));
        dm->H_Tabel_2.open();
        QCOMPARE(dm->H_Tabel_2.recordCount(), 0);
        dm->H_Tabel_2.close();
    }

    void operListsOnlyOperationsWithNorms()
    {
        const Plant p = plant();
        Seed::operation(p.product, Seed::kind("Покраска"), 1, {});
        Seed::operation(p.product, Seed::kind("Резка"), 1, {12.5, 10, 11});
        dm->Oper.open();
        QCOMPARE(dm->Oper.recordCount(), 2);
        QVERIFY(dm->Oper.locate("VID", "Резка"));
        QCOMPARE(dm->Oper.asInt("norma"), 3);
        QCOMPARE(dm->Oper.asDouble("cena"), 10.0);
        QCOMPARE(dm->Oper.asString("nmn"), QString("Заготовки"));
        dm->Oper.close();
    }

    // The schema's own rules
    void schemaEdges()
    {
        const int g = Seed::group("Группа");
        Seed::product("Есть", g);
        TestDb::exec("insert into cmn_gds_and_srv.gds_and_srv (s_caption, id_msm_bs, massa, id_class_item) values ('Сирота', 6, 1, 999999)");
        dm->Izdel.open();
        QCOMPARE(dm->Izdel.recordCount(), 1);
        QCOMPARE(dm->Izdel.asString("marka"), QString("Есть"));
        QCOMPARE(dm->Izdel.asString("nom"), QString("Группа"));
        dm->Izdel.close();

        const int w = Seed::worker("Кузнецов");
        TestDb::exec(QString("insert into accounts_dep.h_tabel (w_id, smena, month, year, d3) values (%1, 2, 3, 2024, 5)").arg(w));
        TestDb::exec(QString("insert into accounts_dep.h_tabel (w_id, i_type, month, year, d3) values (%1, 7777, 3, 2024, 5)").arg(w));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel where smena=2 and i_type=0 and i_night=0").toInt(), 1);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.h_tabel where smena=0 and i_type=7777").toInt(), 1);
        TestDb::exec("insert into accounts_dep.fatigue (id_o, id_p, cnt) values (7777, 1, 3)");
        QCOMPARE(TestDb::scalar("select i_holiday + i_night from accounts_dep.fatigue").toInt(), 0);

        // upper-case names reach the same relations
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.OPER").toInt(),
                 TestDb::scalar("select count(*) from accounts_dep.oper").toInt());

        // the worker catalogue and the ERP persons stay in step
        QCOMPARE(TestDb::scalar(QString("select s_caption || '/' || s_code from cmn_contractor.person where id=%1").arg(w)).toString(),
                 QString("Кузнецов/%1").arg(w));
        TestDb::exec(QString("update accounts_dep.person set fio='Кузнецов К.' where id=%1").arg(w));
        QCOMPARE(TestDb::scalar(QString("select s_caption from cmn_contractor.person where id=%1").arg(w)).toString(), QString("Кузнецов К."));
        TestDb::exec(QString("delete from accounts_dep.person where id=%1").arg(w));
        QCOMPARE(TestDb::scalar(QString("select count(*) from cmn_contractor.person where id=%1").arg(w)).toInt(), 0);

        // the server upper-cases Cyrillic as the client does
        QCOMPARE(TestDb::scalar("select upper('краска ёлка')").toString(), QString("краска ёлка").toUpper());
    }

    void structureUpgradeTwice()
    {
        const int g = Seed::group("Группа");
        Seed::product("Есть", g);
        ScriptedDialogs dialogs;
        runStructureUpgrade(*dm);
        runStructureUpgrade(*dm);
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.izdel").toInt(), 1);
        QCOMPARE(TestDb::scalar("select count(*) from information_schema.columns where table_schema='accounts_dep' "
                                "and ((table_name='fatigue' and column_name in ('i_holiday','i_night')) or (table_name='h_tabel' and column_name='i_night'))")
                     .toInt(),
                 3);
    }

    void structureUpgradeOnOldDatabase()
    {
        // an older database: no i_night in h_tabel, izdel a table, not a view
        TestDb::exec("alter table accounts_dep.h_tabel drop column i_night");
        TestDb::exec("alter view accounts_dep.izdel rename to izdel_view");
        TestDb::exec("create table accounts_dep.izdel (id int)");
        TestDb::exec("drop index accounts_dep.h_tabel_month_smena, accounts_dep.smena_w_id_num_data, accounts_dep.fatigue_id_p_date");
        TestDb::exec("alter table accounts_dep.h_tabel reset (parallel_workers)");
        runStructureUpgrade(*dm);
        QCOMPARE(TestDb::scalar("select count(*) from pg_indexes where schemaname='accounts_dep' and indexname in "
                                "('h_tabel_month_smena', 'smena_w_id_num_data', 'fatigue_id_p_date')").toInt(), 3);
        QCOMPARE(TestDb::scalar("select array_to_string(reloptions, ',') from pg_class where oid='accounts_dep.h_tabel'::regclass").toString(),
                 QString("parallel_workers=0"));
        QCOMPARE(TestDb::scalar("select count(*) from information_schema.columns where table_schema='accounts_dep' and table_name='h_tabel' and column_name='i_night'").toInt(), 1);
        QCOMPARE(TestDb::scalar("select table_type from information_schema.tables where table_schema='accounts_dep' and table_name='izdel'").toString(), QString("BASE TABLE"));
        TestDb::exec("drop table accounts_dep.izdel");
        TestDb::exec("alter view accounts_dep.izdel_view rename to izdel");
    }
};

TABEL_TEST_MAIN(TestDataModule)
#include "tst_datamodule.moc"

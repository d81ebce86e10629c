#include "app/Startup.h"
#include "catalogues/TForm10.h"
#include "catalogues/TForm2.h"
#include "catalogues/TForm22.h"
#include "catalogues/TForm3.h"
#include "catalogues/TForm4.h"
#include "catalogues/TForm5.h"
#include "catalogues/TForm7.h"
#include "catalogues/TForm8.h"
#include "catalogues/TForm9.h"
#include "db/DbError.h"
#include "db/StructureUpgrade.h"
#include "db/TDataModule6.h"
#include "records/Write.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "Typing.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDriver>
#include <QSqlError>
#include <QTableView>
#include <QtTest>

namespace {

// Texts that end a quoted literal early, or escape its end, when a statement
// is built by pasting: a server reading backslashes as escapes (the
// database's standard_conforming_strings off) turns \' into an apostrophe.
const QStringList kTyped{
    QStringLiteral("О'Нил"),
    QStringLiteral("\\"),
    QStringLiteral("'); drop table accounts_dep.smena; --"),
    QStringLiteral("\\'); drop table accounts_dep.smena; --"),
};

const char *kListener = "catalogue_writes_listener";

} // namespace

class TestCatalogueWrites : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TDataModule6 *dm = nullptr;
    Forms *f = nullptr;
    int group = 0;

    QString conn() const { return dm->connectionName(); }

    // Runs one statement on the program's connection; the database's refusal text, or empty.
    QString run(const QString &sql)
    {
        try {
            Write::run(conn(), sql);
        } catch (const DbError &e) {
            return e.text();
        }
        return QString();
    }
    QString appSetting(const QString &name)
    {
        Rows q = Write::run(conn(), QStringLiteral("select current_setting('%1')").arg(name));
        return q.next() ? q.value(0).toString() : QString();
    }
    // Everything the catalogue writes touch, as one text.
    QString catalogues()
    {
        return TestDb::scalar(QStringLiteral(
                                  "select concat_ws('|',"
                                  " (select string_agg(concat_ws(',', id, fio, s_staffpos_hl), ';' order by id) from accounts_dep.person),"
                                  " (select string_agg(concat_ws(',', id, s_caption), ';' order by id) from cmn_contractor.person),"
                                  " (select string_agg(concat_ws(',', id, s_caption, massa, id_class_item), ';' order by id) from cmn_gds_and_srv.gds_and_srv),"
                                  " (select string_agg(concat_ws(',', id, vid), ';' order by id) from accounts_dep.vid_oper),"
                                  " (select string_agg(concat_ws(',', id, vid, i_id, naimen), ';' order by id) from accounts_dep.oper),"
                                  " (select string_agg(concat_ws(',', id, o_id, norma, price, prize), ';' order by id) from accounts_dep.norm))"))
            .toString();
    }

    // Types into a cell of the norms grid and leaves it with Tab.
    static void typeIntoCell(TForm22 *n, int row, int column, const QString &text)
    {
        const QModelIndex at = n->gridModel->index(row, column);
        n->DBGrid1->setCurrentIndex(at);
        n->DBGrid1->edit(at);
        auto *editor = qobject_cast<QLineEdit *>(n->DBGrid1->indexWidget(at));
        QVERIFY(editor);
        typeText(editor, text);
        QTest::keyClick(editor, Qt::Key_Tab);
        DialogDriver::settle();
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        dm = app->forms.DataModule6;
        f = &app->forms;
        // the direct connection of the checks is opened before the database's setting changes
        TestDb::clearData();
        TestDb::adminExec(QStringLiteral("alter database \"%1\" set standard_conforming_strings = off").arg(TestDb::databaseName()));
        dm->openConnection(); // a new session starts with the database's setting
        // and the program's own session reads backslashes as escapes, too
        Write::run(conn(), QStringLiteral("set standard_conforming_strings = off"));
        QCOMPARE(appSetting(QStringLiteral("standard_conforming_strings")), QStringLiteral("off"));
        TestDb::signInAs(conn(), QStringLiteral("administrator"));

        QSqlDatabase l = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QLatin1String(kListener));
        l.setHostName(TestDb::host());
        l.setDatabaseName(TestDb::databaseName());
        l.setUserName(QStringLiteral("sys"));
        l.setPassword(QStringLiteral("vomtuxa"));
        QVERIFY2(l.open(), qPrintable(l.lastError().text()));
    }
    void init()
    {
        TestDb::clearData();
        group = Seed::group(QStringLiteral("Корпуса"));
        for (int i = 0; i < kTyped.size(); ++i)
            TestDb::exec(QStringLiteral("insert into hrms_staffpos.staffpos (id, s_caption) values (%1, $t$%2$t$)")
                             .arg(900 + i)
                             .arg(kTyped.at(i)));
        TestDb::signInAs(conn(), QStringLiteral("administrator"));
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase()
    {
        QSqlDatabase::database(QLatin1String(kListener)).close();
        QSqlDatabase::removeDatabase(QLatin1String(kListener));
        TestDb::adminExec(QStringLiteral("alter database \"%1\" reset standard_conforming_strings").arg(TestDb::databaseName()));
        app.reset();
    }

    // What is typed into a catalogue window is stored as typed, and found as
    // typed by the search boxes.
    void storedAsTyped_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        for (const char *field : {"worker name", "worker position", "brand", "kind", "operation and norm"})
            for (int i = 0; i < kTyped.size(); ++i)
                QTest::addRow("%s %d", field, i + 1) << QString::fromLatin1(field) << kTyped.at(i);
    }
    void storedAsTyped()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        ScriptedDialogs dialogs;
        QStringList expectedMessages;

        if (field == "worker name" || field == "worker position") {
            const bool name = field == "worker name";
            Seed::worker(QStringLiteral("Петров П.П."));
            int found = -1;
            DialogDriver::onModal(QStringLiteral("TForm5"), [&](QWidget *) {
                TForm2 *ed = f->Form2;
                DialogDriver::onModal(QStringLiteral("TForm2"), [&](QWidget *) {
                    typeText(ed->Edit1, name ? value : QStringLiteral("Иванов И.И."));
                    ed->LCB_staffpos->setCurrentIndex(ed->LCB_staffpos->findText(name ? kTyped.first() : value));
                    DialogDriver::shot(ed, QStringLiteral("TForm2"));
                    QTest::mouseClick(ed->Button1, Qt::LeftButton);
                });
                QTest::mouseClick(f->Form5->Button1, Qt::LeftButton);
                if (name) {
                    typeText(f->Form5->Edit1, value);
                    found = dm->Workers.recordCount();
                    f->Form5->Edit1->clear();
                }
            });
            f->Form5->openList();
            const QList<QVariantList> stored = TestDb::rows(QStringLiteral(
                "select p.fio, p.s_staffpos_hl, c.s_caption from accounts_dep.person p "
                "join cmn_contractor.person c on c.id = p.id where p.fio <> 'Петров П.П.'"));
            QCOMPARE(stored, (QList<QVariantList>{{name ? value : QStringLiteral("Иванов И.И."), name ? kTyped.first() : value,
                                                   name ? value : QStringLiteral("Иванов И.И.")}}));
            if (name)
                QCOMPARE(found, 1);
        } else if (field == "brand") {
            Seed::product(QStringLiteral("КР-100"), group);
            DialogDriver::onModal(QStringLiteral("TForm3"), [&](QWidget *) {
                TForm7 *ed = f->Form7;
                DialogDriver::onModal(QStringLiteral("TForm7"), [&](QWidget *) {
                    typeText(ed->Edit1, value);
                    typeText(ed->Edit2, QStringLiteral("2,5"));
                    ed->cb_item->setCurrentIndex(ed->cb_item->findText(QStringLiteral("Корпуса")));
                    QTest::mouseClick(ed->Button1, Qt::LeftButton);
                });
                QTest::mouseClick(f->Form3->Button1, Qt::LeftButton);
            });
            f->Form3->openList();
            QCOMPARE(TestDb::rows(QStringLiteral("select s_caption, massa::text, id_class_item::int from cmn_gds_and_srv.gds_and_srv "
                                                 "where s_caption <> 'КР-100'")),
                     (QList<QVariantList>{{value, QStringLiteral("2.500000"), group}}));
        } else if (field == "kind") {
            DialogDriver::onModal(QStringLiteral("TForm8"), [&](QWidget *) {
                TForm9 *ed = f->Form9;
                DialogDriver::onModal(QStringLiteral("TForm9"), [&](QWidget *) {
                    typeText(ed->Edit1, value);
                    QTest::mouseClick(ed->Button1, Qt::LeftButton);
                });
                QTest::mouseClick(f->Form8->Button1, Qt::LeftButton);
            });
            f->Form8->openList();
            QCOMPARE(TestDb::rows(QStringLiteral("select rtrim(vid) from accounts_dep.vid_oper where id not in (7777, 7778)")),
                     (QList<QVariantList>{{value}}));
        } else {
            // Product and kind with the typed name, picked through the lists (the
            // kind found by typing its name), then a norm typed into the grid.
            Seed::product(QStringLiteral("КР-100"), group);
            Seed::kind(QStringLiteral("Резка"));
            const int product = TestDb::scalar(QStringLiteral("insert into cmn_gds_and_srv.gds_and_srv (s_caption, s_description, id_msm_bs, massa, id_class_item) "
                                                              "values ($t$%1$t$, '', 6, 1, %2) returning id")
                                                   .arg(value)
                                                   .arg(group))
                                    .toInt();
            const int kind = TestDb::scalar(QStringLiteral("insert into accounts_dep.vid_oper (vid) values ($t$%1$t$) returning id").arg(value)).toInt();
            QString pickedBrand, pickedKind;
            int kindsShown = -1;
            DialogDriver::onModal(QStringLiteral("TForm4"), [&](QWidget *) {
                TForm10 *ed = f->Form10;
                DialogDriver::onModal(QStringLiteral("TForm10"), [&](QWidget *) {
                    DialogDriver::onModal(QStringLiteral("TForm3"), [&](QWidget *) {
                        QVERIFY(dm->Izdel.locate(QStringLiteral("id"), product));
                        QTest::mouseClick(f->Form3->Button2, Qt::LeftButton);
                    });
                    QTest::mouseClick(ed->Button3, Qt::LeftButton);
                    DialogDriver::onModal(QStringLiteral("TForm8"), [&](QWidget *) {
                        typeText(f->Form8->Edit1, value);
                        kindsShown = dm->Vid_oper.recordCount();
                        QTest::mouseClick(f->Form8->Button2, Qt::LeftButton);
                    });
                    QTest::mouseClick(ed->Button4, Qt::LeftButton);
                    pickedBrand = ed->Edit1->text();
                    pickedKind = ed->Edit2->text();
                    DialogDriver::shot(ed, QStringLiteral("TForm10"));
                    DialogDriver::onModal(QStringLiteral("TForm22"), [&](QWidget *) {
                        TForm22 *n = f->Form22;
                        typeIntoCell(n, 0, 1, value); // not a number: refused, nothing stored
                        typeIntoCell(n, 0, 1, QStringLiteral("12,5"));
                        QTest::mouseClick(n->Button1, Qt::LeftButton);
                    });
                    QTest::mouseClick(ed->Button1, Qt::LeftButton);
                });
                QTest::mouseClick(f->Form4->Button1, Qt::LeftButton);
            });
            f->Form4->openList();
            QCOMPARE(pickedBrand, value);
            QCOMPARE(pickedKind, value);
            QCOMPARE(kindsShown, 1);
            QCOMPARE(TestDb::rows(QStringLiteral("select o.vid, o.i_id, o.naimen, n.price::text from accounts_dep.oper o "
                                                 "join accounts_dep.norm n on n.o_id = o.id where o.id not in (7777, 7778)")),
                     (QList<QVariantList>{{kind, product, 0, QStringLiteral("12.5000")}}));
            expectedMessages << QStringLiteral("«%1» — неверное значение поля «Цена».").arg(value);
        }
        QCOMPARE(dialogs.texts(), expectedMessages);
        QVERIFY(!TestDb::scalar(QStringLiteral("select to_regclass('accounts_dep.smena')::text")).isNull());
    }

    // Only a signed-in administrator changes a catalogue, whoever calls the
    // functions; a refused call leaves every catalogue as it was.
    void refusedUnlessAdministrator_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("call");
        const QStringList calls{
            "select accounts_dep.worker_add('Сидоров', '')",
            "select accounts_dep.worker_change(%w, 'Сидоров', '')",
            "select accounts_dep.worker_delete(%w)",
            "select accounts_dep.product_add('КР-300', 1, %g)",
            "select accounts_dep.product_change(%p, 'КР-300', 1, %g)",
            "select accounts_dep.kind_add('Сварка')",
            "select accounts_dep.kind_change(%k, 'Сварка')",
            "select accounts_dep.kind_delete(%k)",
            "select * from accounts_dep.operation_add(%k, 1, %p)",
            "select accounts_dep.operation_change(%o, %k, 1, %p)",
            "select accounts_dep.operation_delete(%o)",
            "select accounts_dep.norm_add(%o, 'price', 7)",
            "select accounts_dep.norm_change(%n, 'price', 7)",
            "select accounts_dep.norm_delete(%n)",
        };
        for (const char *role : {"masters", "sklad", ""})
            for (const QString &c : calls)
                QTest::addRow("%s: %s", *role ? role : "not signed in", qPrintable(c.section('(', 0, 0).section('.', 1)))
                    << QString::fromLatin1(role) << c;
    }
    void refusedUnlessAdministrator()
    {
        QFETCH(QString, role);
        QFETCH(QString, call);
        const int w = Seed::worker(QStringLiteral("Петров П.П."));
        const int p = Seed::product(QStringLiteral("КР-100"), group);
        const int k = Seed::kind(QStringLiteral("Резка"));
        const int o = Seed::operation(p, k, 0, {2, 3});
        const int n = TestDb::scalar(QStringLiteral("select min(id) from accounts_dep.norm where o_id=%1").arg(o)).toInt();
        call.replace("%w", QString::number(w)).replace("%g", QString::number(group)).replace("%p", QString::number(p));
        call.replace("%k", QString::number(k)).replace("%o", QString::number(o)).replace("%n", QString::number(n));
        const QString before = catalogues();
        TestDb::signInAs(conn(), role);
        const QString refusal = run(call);
        TestDb::signInAs(conn(), QStringLiteral("administrator"));
        QCOMPARE(refusal, role.isEmpty() ? QStringLiteral("Войдите в программу: без входа запись невозможна.")
                                         : QStringLiteral("Справочники может изменять только администратор."));
        QCOMPARE(catalogues(), before);
    }

    // A refusal reaches the user of a window as the database words it.
    void windowShowsTheRefusal()
    {
        ScriptedDialogs dialogs;
        TestDb::signInAs(conn(), QStringLiteral("masters"));
        TForm9 *ed = f->Form9;
        ed->Tag = 1;
        DialogDriver::onModal(QStringLiteral("TForm9"), [&](QWidget *) {
            typeText(ed->Edit1, QStringLiteral("Сварка"));
            QTest::mouseClick(ed->Button1, Qt::LeftButton);
            QVERIFY(ed->isVisible()); // the editor stays open
        });
        ed->Edit1->clear();
        ed->exec();
        QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Справочники может изменять только администратор.")});
        QCOMPARE(TestDb::scalar(QStringLiteral("select count(*) from accounts_dep.vid_oper where id not in (7777, 7778)")).toInt(), 0);
    }

    // Each write tells the other workstations which catalogue changed, once
    // it is done; a write that changes nothing tells nobody.
    void writesTellTheOthers_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("table"); // empty: no notice
        QTest::addColumn<QString>("check"); // true once the write is done
        QTest::newRow("worker added") << "select accounts_dep.worker_add('Сидоров С.С.', 'Слесарь')" << "workers"
                                      << "select count(*) = 1 from accounts_dep.person p join cmn_contractor.person c "
                                         "on c.id = p.id and c.s_caption = p.fio and c.s_code = p.id::text "
                                         "where p.fio = 'Сидоров С.С.' and p.s_staffpos_hl = 'Слесарь'";
        QTest::newRow("worker changed") << "select accounts_dep.worker_change(%w, 'Петров П.А.', 'Токарь')" << "workers"
                                        << "select count(*) = 1 from accounts_dep.person p join cmn_contractor.person c "
                                           "on c.id = p.id and c.s_caption = 'Петров П.А.' where p.id = %w and p.s_staffpos_hl = 'Токарь'";
        QTest::newRow("worker deleted") << "select accounts_dep.worker_delete(%w)" << "workers"
                                        << "select not exists (select 1 from cmn_contractor.person where id = %w)";
        QTest::newRow("product added") << "select accounts_dep.product_add('КР-300', 1.5, %g)" << "products"
                                       << "select count(*) = 1 from accounts_dep.izdel where marka = 'КР-300' and massa = 1.5";
        QTest::newRow("product changed") << "select accounts_dep.product_change(%p, 'КР-101', 3, %g)" << "products"
                                         << "select marka = 'КР-101' and massa = 3 from accounts_dep.izdel where id = %p";
        QTest::newRow("product: brand taken") << "select accounts_dep.product_add('кр-100', 1, %g)" << ""
                                              << "select count(*) = 1 from accounts_dep.izdel where upper(marka) = 'КР-100'";
        QTest::newRow("kind added") << "select accounts_dep.kind_add('Сварка')" << "kinds"
                                    << "select count(*) = 1 from accounts_dep.vid_oper where vid = 'Сварка'";
        QTest::newRow("kind changed") << "select accounts_dep.kind_change(%k, 'Рубка')" << "kinds"
                                      << "select vid = 'Рубка' from accounts_dep.vid_oper where id = %k";
        QTest::newRow("kind deleted") << "select accounts_dep.kind_delete(%k)" << "kinds"
                                      << "select not exists (select 1 from accounts_dep.vid_oper where id = %k)";
        QTest::newRow("operation added") << "select * from accounts_dep.operation_add(%k, 1, %p)" << "operations"
                                         << "select count(*) = 1 from accounts_dep.oper where vid = %k and naimen = 1 and i_id = %p";
        QTest::newRow("operation: same again") << "select * from accounts_dep.operation_change(%o, %k, 0, %p)" << "operations"
                                               << "select count(*) = 1 from accounts_dep.oper where vid = %k and naimen = 0 and i_id = %p";
        QTest::newRow("operation deleted") << "select accounts_dep.operation_delete(%o)" << "operations"
                                           << "select count(*) = 2 from accounts_dep.norm where o_id = %o";
        QTest::newRow("norm added") << "select accounts_dep.norm_add(%o, 'prize', 15)" << "operations"
                                    << "select count(*) = 1 from accounts_dep.norm where o_id = %o and prize = 15 and price is null";
        QTest::newRow("norm changed") << "select accounts_dep.norm_change(%n, 'norma', 40)" << "operations"
                                      << "select norma = 40 and price = 2 from accounts_dep.norm where id = %n";
        QTest::newRow("norm deleted") << "select accounts_dep.norm_delete(%n)" << "operations"
                                      << "select count(*) = 1 from accounts_dep.norm where o_id = %o";
        QTest::newRow("last norm kept") << "select accounts_dep.norm_delete(%m)" << ""
                                        << "select count(*) = 1 from accounts_dep.norm where id = %m";
    }
    void writesTellTheOthers()
    {
        QFETCH(QString, call);
        QFETCH(QString, table);
        QFETCH(QString, check);
        const int w = Seed::worker(QStringLiteral("Петров П.П."));
        const int p = Seed::product(QStringLiteral("КР-100"), group);
        const int k = Seed::kind(QStringLiteral("Резка"));
        const int o = Seed::operation(p, k, 0, {2, 3});
        const int n = TestDb::scalar(QStringLiteral("select min(id) from accounts_dep.norm where o_id=%1").arg(o)).toInt();
        const int single = Seed::operation(Seed::product(QStringLiteral("КР-200"), group), k, 0, {4});
        const int m = TestDb::scalar(QStringLiteral("select id from accounts_dep.norm where o_id=%1").arg(single)).toInt();
        for (QString *s : {&call, &check}) {
            s->replace("%w", QString::number(w)).replace("%g", QString::number(group)).replace("%p", QString::number(p));
            s->replace("%k", QString::number(k)).replace("%o", QString::number(o)).replace("%n", QString::number(n));
            s->replace("%m", QString::number(m));
        }
        QSqlDriver *other = QSqlDatabase::database(QLatin1String(kListener)).driver();
        QVERIFY(other->subscribeToNotification(QStringLiteral("tabel_changes")));
        QSignalSpy heard(other, &QSqlDriver::notification);
        const QString refusal = run(call);
        if (table.isEmpty()) {
            QTest::qWait(300);
        } else {
            QCOMPARE(refusal, QString());
            QTRY_VERIFY(!heard.isEmpty());
        }
        other->unsubscribeFromNotification(QStringLiteral("tabel_changes"));
        QStringList payloads;
        for (const QList<QVariant> &n : heard)
            payloads << n.at(2).toString();
        QCOMPARE(payloads, table.isEmpty() ? QStringList{} : QStringList{QStringLiteral("{\"t\":\"%1\"}").arg(table)});
        QVERIFY2(TestDb::scalar(check).toBool(), qPrintable(check));
    }

    // An older database gets the catalogue writes from the structure upgrade,
    // each with the owner's rights, a fixed search path, and callable by sys.
    void structureUpgradeBringsThem()
    {
        TestDb::exec(QStringLiteral("drop function accounts_dep.kind_add(text)"));
        runStructureUpgrade(*dm);
        const QList<QVariantList> functions = TestDb::rows(QStringLiteral(
            "select p.proname, p.prosecdef, array_to_string(p.proconfig, ';'), has_function_privilege('sys', p.oid, 'EXECUTE') "
            "from pg_proc p where p.pronamespace = 'accounts_dep'::regnamespace and p.proname in ("
            "'worker_add', 'worker_change', 'worker_delete', 'product_add', 'product_change', 'kind_add', 'kind_change', "
            "'kind_delete', 'operation_add', 'operation_change', 'operation_delete', 'norm_add', 'norm_change', 'norm_delete') "
            "order by 1"));
        QCOMPARE(functions.size(), 14);
        for (const QVariantList &fn : functions)
            QCOMPARE(fn, (QVariantList{fn.at(0), true, QStringLiteral("search_path=pg_catalog, accounts_dep, pg_temp;lock_timeout=3s"), true}));
    }
};

TABEL_TEST_MAIN(TestCatalogueWrites)
#include "tst_catalogue_writes.moc"

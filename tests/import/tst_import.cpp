#include "app/Startup.h"
#include "catalogues/TForm2.h"
#include "db/TDataModule6.h"
#include "import/LegacyImport.h"
#include "journal/TForm1.h"
#include "journal/TForm11.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "ui/DigitEdit.h"
#include "ui/LongAction.h"

#include <QAction>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// An ODBC driver of the machine, found by its file name (the test's own
// odbcinst.ini knows no drivers).
QString odbcDriver(const QString &file)
{
    for (const QString &dir : QDir(QStringLiteral("/usr/lib")).entryList({QStringLiteral("*")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString p = QStringLiteral("/usr/lib/%1/odbc/%2").arg(dir, file);
        if (QFile::exists(p))
            return p;
    }
    qFatal("ODBC driver %s is not installed (scripts/install-deps installs it)", qPrintable(file));
    return QString();
}

// The legacy tables as the old desktop database had them.
const char *kLegacyTables[] = {
    "create table H_TABEL (id integer primary key autoincrement, w_id integer, month smallint, smena smallint, year smallint,"
    " d1 smallint, d2 smallint, d3 smallint, d4 smallint, d5 smallint, d6 smallint, d7 smallint, d8 smallint, d9 smallint,"
    " d10 smallint, d11 smallint, d12 smallint, d13 smallint, d14 smallint, d15 smallint, d16 smallint, d17 smallint,"
    " d18 smallint, d19 smallint, d20 smallint, d21 smallint, d22 smallint, d23 smallint, d24 smallint, d25 smallint,"
    " d26 smallint, d27 smallint, d28 smallint, d29 smallint, d30 smallint, d31 smallint)",
    "create table IZDEL (ID integer primary key autoincrement, MARKA varchar(50), nom varchar(100), massa numeric(19,4))",
    "create table NOMENKL (Nom varchar(150), marka varchar(7))",
    "create table OPER (ID integer primary key autoincrement, VID integer, NAIMEN smallint, CENA numeric(19,4), I_ID integer)",
    "create table VID_OPER (ID integer primary key autoincrement, VID varchar(50))",
    "create table WORKERS (ID integer primary key autoincrement, FIO varchar(50), ADDR varchar(100))",
    "create table smena (ID integer primary key autoincrement, W_ID integer, I_ID integer, O_ID integer, KOL_VO integer,"
    " BRAK smallint, SMENA smallint, DATA datetime, CENA float, color integer, time integer, ok varchar(255), vvod datetime)",
};

// A small plant of the old program. Rows are inserted out of id order where
// the order matters.
const char *kLegacyRows[] = {
    "insert into H_TABEL (id, w_id, month, smena, year, d1, d2) values (5, 1, 3, 1, 2024, 8, null)",
    "insert into H_TABEL (id, w_id, month, smena, year, d1) values (3, 2, 3, 2, 2024, 4)",
    "insert into IZDEL (ID, MARKA, nom, massa) values (11, 'РК-128', 'Фурнитура', 0.25)",
    "insert into NOMENKL (Nom, marka) values ('Фурнитура', 'Б'), ('Корпуса', 'А')",
    "insert into OPER (ID, VID, NAIMEN, CENA, I_ID) values (30, 21, 0, 12.3456, 11), (29, 21, 1, null, 11)",
    "insert into VID_OPER (ID, VID) values (21, 'Сборка')",
    "insert into WORKERS (ID, FIO, ADDR) values (2, 'Петров П.П.', null), (1, 'Иванов И.И.', 'ул. Ленина, 1')",
    // an entry keyed in with the time of day, empty hours and quantity, a long mark
    "insert into smena (ID, W_ID, I_ID, O_ID, KOL_VO, BRAK, SMENA, DATA, CENA, color, time, ok, vvod) values"
    " (40, 1, 11, 30, null, 0, 1, '2024-03-05 14:30:00', 1.5, 0, null, 'okay', '2024-03-06 09:15:00')",
    "insert into smena (ID, W_ID, I_ID, O_ID, KOL_VO, BRAK, SMENA, DATA, CENA, color, time, ok, vvod) values"
    " (7, 2, 11, 29, 10, 1, 2, '2024-03-04 00:00:00', 2.25, 1, 8, 'да', '2024-03-04 00:00:00')",
};

} // namespace

class TestImport : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<AppContext> app;
    TForm1 *j = nullptr;

    QSqlDatabase legacyDb() { return QSqlDatabase::database(QStringLiteral("legacy_setup")); }
    void legacy(const QString &sql)
    {
        QSqlQuery q(legacyDb());
        QVERIFY2(q.exec(sql), qPrintable(q.lastError().text() + QStringLiteral("\n") + sql));
    }
    void makeLegacyDatabase(bool withRows = true)
    {
        for (const char *t : {"H_TABEL", "IZDEL", "NOMENKL", "OPER", "VID_OPER", "WORKERS", "smena"})
            legacy(QStringLiteral("drop table if exists %1").arg(QLatin1String(t)));
        for (const char *sql : kLegacyTables)
            legacy(QString::fromUtf8(sql));
        if (withRows)
            for (const char *sql : kLegacyRows)
                legacy(QString::fromUtf8(sql));
    }
    // A database older than the ERP's goods: products were a table of their own.
    void makeIzdelATable()
    {
        TestDb::exec("do $$ begin if exists (select 1 from pg_views where schemaname='accounts_dep' and viewname='izdel')"
                     " then drop view accounts_dep.izdel; end if; end $$;"
                     "create table if not exists accounts_dep.izdel (id integer generated by default as identity primary key,"
                     " marka varchar(512), nom varchar(512), massa numeric(15,4));"
                     "grant select on accounts_dep.izdel to sys");
    }
    void restoreIzdelView()
    {
        TestDb::exec("do $$ begin if exists (select 1 from pg_tables where schemaname='accounts_dep' and tablename='izdel')"
                     " then drop table accounts_dep.izdel; end if; end $$;"
                     "create or replace view accounts_dep.izdel as select gds.s_caption as marka, gds.id_class_item, gds.id,"
                     " gds.massa, gds.id_class_item as id_nom, i.s_caption as nom from cmn_gds_and_srv.gds_and_srv gds,"
                     " cmn_classifier.item i where gds.id_class_item::numeric = i.id::numeric;"
                     "grant select on accounts_dep.izdel to sys");
    }
    QString one(const QString &sql) { return TestDb::scalar(sql).toString(); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        TestDb::ensureDatabase();
        QFile ini(dir.filePath(QStringLiteral("odbc.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[Tabel]\nDriver = %1\nDatabase = %2\n\n"
                                 "[Tabel_PgSQL]\nDriver = %3\nServername = %4\nPort = %5\nDatabase = %6\n")
                      .arg(odbcDriver(QStringLiteral("libsqlite3odbc.so")), dir.filePath(QStringLiteral("legacy.db")),
                           odbcDriver(QStringLiteral("psqlodbcw.so")), TestDb::host(),
                           qEnvironmentVariable("PGPORT", QStringLiteral("5432")), TestDb::databaseName())
                      .toUtf8());
        ini.close();
        QFile(dir.filePath(QStringLiteral("odbcinst.ini"))).open(QIODevice::WriteOnly);
        qputenv("ODBCINI", dir.filePath(QStringLiteral("odbc.ini")).toUtf8());
        qputenv("ODBCSYSINI", dir.path().toUtf8());

        QSqlDatabase setup = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("legacy_setup"));
        setup.setDatabaseName(QStringLiteral("Tabel"));
        QVERIFY2(setup.open(), qPrintable(setup.lastError().text()));

        app = TestDb::startApp({QStringLiteral("--maintenance")});
        j = app->forms.Form1;
    }
    void init()
    {
        TestDb::clearData();
        makeLegacyDatabase();
        makeIzdelATable();
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase()
    {
        restoreIzdelView();
        app.reset();
    }

    void menuItemsShownAndEnabled()
    {
        QVERIFY(j->N12->isVisible() && j->N12->isEnabled());
        QVERIFY(j->N16->isVisible() && j->N16->isEnabled());
    }

    void copiesLegacyTables()
    {
        // What was there before: rows with id > 0 go, rows with id <= 0 stay.
        TestDb::exec("insert into accounts_dep.h_tabel (id, w_id, month, year, smena) values (1, 9, 1, 2020, 1), (0, 9, 1, 2020, 2), (-1, 9, 1, 2020, 3);"
                     "insert into accounts_dep.smena (id, w_id, data) values (7, 9, '01.01.2020'), (99, 9, '01.01.2020');"
                     "insert into accounts_dep.nomenkl (id, nom, marka) values (5, 'старое', 'С');"
                     "insert into accounts_dep.workers (id, fio) values (9, 'Старый')");
        legacy("delete from WORKERS"); // an empty legacy table
        legacy(QStringLiteral("insert into VID_OPER (ID, VID) values (22, '%1')").arg(QString(200, QChar(u'ж'))));
        ScriptedDialogs dialogs;
        j->N12->trigger();
        QCOMPARE(dialogs.texts(), QStringList());
        QVERIFY(j->ImportStatus->text().startsWith("Импорт завершён"));

        const struct {
            const char *what, *sql, *expected;
        } checks[] = {
            {"timesheet ids: legacy ones, and the old rows with id <= 0",
             "select string_agg(id::text, ',' order by id) from accounts_dep.h_tabel", "-1,0,3,5"},
            {"empty day cells arrive as 0", "select concat_ws('|', d1, d2, d3, d31) from accounts_dep.h_tabel where id=5", "8|0|0|0"},
            {"timesheet line columns", "select concat_ws('|', w_id, month, year, smena, i_type, i_night) from accounts_dep.h_tabel where id=3",
             "2|3|2024|2|0|0"},
            {"entries keep their legacy ids", "select string_agg(id::text, ',' order by id) from accounts_dep.smena", "7,40"},
            {"empty hours stay empty, empty quantity becomes 0",
             "select concat_ws('|', coalesce(time::text, 'empty'), kol_vo) from accounts_dep.smena where id=40", "empty|0"},
            {"a date with a time of day becomes its date", "select data from accounts_dep.smena where id=40", "2024-03-05"},
            {"the keying-in time stays", "select to_char(vvod, 'DD.MM.YYYY HH24:MI') from accounts_dep.smena where id=40", "06.03.2024 09:15"},
            {"the mark is cut to 2 characters", "select string_agg(ok, ',' order by id) from accounts_dep.smena", "да,ok"},
            {"entry columns", "select concat_ws('|', w_id, i_id, o_id, kol_vo, brak, smena, cena, color, time) from accounts_dep.smena where id=7",
             "2|11|29|10|1|2|2.25|1|8"},
            {"nomenclature: the old row gone, new ids from the database in legacy order",
             "select string_agg(trim(marka), ',' order by id) || '|' || count(distinct id) from accounts_dep.nomenkl", "Б,А|2"},
            {"operations: empty price becomes 0", "select string_agg(concat_ws('|', id, vid, naimen, cena, i_id), ',' order by id) from accounts_dep.oper",
             "29|21|1|0.0000|11,30|21|0|12.3456|11"},
            {"products", "select concat_ws('|', id, marka, nom, massa) from accounts_dep.izdel", "11|РК-128|Фурнитура|0.2500"},
            {"kind names are cut to 128 characters", "select string_agg(length(trim(vid))::text, ',' order by id) from accounts_dep.vid_oper", "6,128"},
            {"an empty legacy table empties its destination", "select count(*) from accounts_dep.workers", "0"},
        };
        for (const auto &c : checks)
            QVERIFY2(one(QString::fromUtf8(c.sql)) == QString::fromUtf8(c.expected),
                     qPrintable(QStringLiteral("%1: got %2").arg(QString::fromUtf8(c.what), one(QString::fromUtf8(c.sql)))));
    }

    // A driver may hand dates over as text (as the desktop file's driver can):
    // each form becomes its date, a time of day included; text that is no
    // date stops the import at its row.
    void datesGivenAsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("imported"); // empty: refused
        QTest::newRow("ISO with time") << "2024-03-05 14:30:00" << "2024-03-05";
        QTest::newRow("ISO date") << "2024-03-05" << "2024-03-05";
        QTest::newRow("day first with time") << "05.03.2024 14:30:00" << "2024-03-05";
        QTest::newRow("day first") << "05.03.2024" << "2024-03-05";
        QTest::newRow("month first, short year") << "03/05/24 14:30:00" << "2024-03-05";
        QTest::newRow("not a date") << "вчера" << "";
    }
    void datesGivenAsText()
    {
        QFETCH(QString, text);
        QFETCH(QString, imported);
        legacy("drop table smena");
        legacy("create table smena (ID integer primary key, W_ID integer, I_ID integer, O_ID integer, KOL_VO integer, BRAK smallint,"
               " SMENA smallint, DATA text, CENA float, color integer, time integer, ok text, vvod text)");
        legacy(QStringLiteral("insert into smena (ID, DATA, vvod) values (40, '%1', '%1')").arg(text));
        ScriptedDialogs dialogs;
        j->N12->trigger();
        if (imported.isEmpty()) {
            QCOMPARE(dialogs.shown.size(), 1);
            QVERIFY2(dialogs.shown[0].text.contains("строка id=40") && dialogs.shown[0].text.contains("не дата"),
                     qPrintable(dialogs.shown[0].text));
            return;
        }
        QCOMPARE(dialogs.texts(), QStringList());
        QCOMPARE(one("select data from accounts_dep.smena where id=40"), imported);
        QCOMPARE(one("select vvod::date from accounts_dep.smena where id=40"), imported);
    }

    // Entries beyond what the program accepts stop the import before
    // anything is emptied, each named; the others' prices are history and
    // arrive as they were.
    void entriesOutOfRangeRefused()
    {
        TestDb::exec("insert into accounts_dep.smena (id, w_id, data) values (99, 9, '01.01.2020')");
        legacy("insert into smena (ID, W_ID, I_ID, O_ID, KOL_VO, BRAK, SMENA, DATA, CENA, color, time, ok, vvod) values"
               " (41, 1, 11, 30, 150000, 0, 1, '2024-03-06 00:00:00', 99999.9999, 0, 8, 'no', null),"
               " (42, 2, 11, 30, 1, 0, 1, '2024-03-04 00:00:00', 1.5, 0, 20, 'no', null)"); // 8 + 20 hours on 04.03
        ScriptedDialogs dialogs;
        j->N12->trigger();
        QCOMPARE(dialogs.shown.size(), 1);
        const QString text = dialogs.shown[0].text;
        QVERIFY2(text.contains("Импорт не начат") && text.contains("позиция id=41: Кол-во: не больше 100 000.")
                     && text.contains("позиция id=7: Часы: за день у рабочего не больше 24.") && !text.contains("id=40"),
                 qPrintable(text));
        QCOMPARE(one("select string_agg(id::text, ',' order by id) from accounts_dep.smena"), QString("99"));
        QCOMPARE(one("select count(*) from accounts_dep.h_tabel"), QString("0"));

        // put right in the legacy database, the import runs, prices as they were
        legacy("update smena set KOL_VO = 100000, time = 16 where ID = 41");
        legacy("update smena set time = 16 where ID = 42");
        dialogs.shown.clear();
        j->N12->trigger();
        QCOMPARE(dialogs.texts(), QStringList());
        QCOMPARE(one("select string_agg(concat_ws('|', id, kol_vo, cena), ',' order by id) from accounts_dep.smena"),
                 QString("7|10|2.25,40|0|1.5,41|100000|99999.9999,42|1|1.5"));
    }

    // After an import, rows keyed in get ids past the imported ones.
    void keyCountersPastImportedIds()
    {
        legacy("insert into WORKERS (ID, FIO) values (60, 'Сидоров С.С.')");
        ScriptedDialogs dialogs;
        j->N12->trigger();
        QCOMPARE(dialogs.texts(), QStringList());

        const struct {
            const char *table;
            int highestImported;
        } tables[] = {{"h_tabel", 5}, {"izdel", 11}, {"oper", 30}, {"vid_oper", 21}, {"workers", 60}, {"smena", 40}};
        for (const auto &t : tables) {
            const int id = TestDb::scalar(QStringLiteral("insert into accounts_dep.%1 default values returning id").arg(QLatin1String(t.table))).toInt();
            QVERIFY2(id > t.highestImported, qPrintable(QStringLiteral("%1: new id %2").arg(QLatin1String(t.table)).arg(id)));
        }

        // An entry keyed in through the entry editor on an operation made after the import
        const int worker = Seed::worker("Петров П.П.");
        const int oper = Seed::operation(11, 21, 0, {3.0});
        QVERIFY(oper > 30);
        TForm11 *ed = app->forms.Form11;
        TDataModule6 *dm = app->forms.DataModule6;
        for (int s = 1; s <= 4; ++s)
            dm->smena(s)->setParam("ok", "ta");
        j->DateT->setDate(QDate(2024, 3, 5));
        j->readJournals();
        j->setShift(1);
        ed->prepareAdd();
        ed->setWorker("Петров П.П.", worker);
        dm->Oper.close();
        dm->Oper.open();
        QVERIFY(dm->Oper.locate("id", oper));
        ed->setOperation(OperationChoice::fromOper(dm->Oper));
        ed->updateColourField();
        ed->Edit3->setText("5");
        ed->Edit6->setText("8");
        ed->recomputeDisplays();
        QVERIFY(ed->save());
        QCOMPARE(dialogs.texts(), QStringList());
        QVERIFY(TestDb::scalar(QStringLiteral("select max(id) from accounts_dep.smena where w_id=%1").arg(worker)).toInt() > 40);
    }

    // Against the current schema products are the ERP's: step 2 is refused and
    // the import stops there with a message that says why.
    void stopsAtProductsView()
    {
        restoreIzdelView();
        TestDb::exec("insert into accounts_dep.smena (id, w_id, data) values (99, 9, '01.01.2020')");
        ScriptedDialogs dialogs;
        j->N12->trigger();
        QCOMPARE(dialogs.shown.size(), 1);
        const QString text = dialogs.shown[0].text;
        QVERIFY2(text.contains("шаг 2 из 7 (IZDEL → accounts_dep.izdel)") && text.contains("представление"), qPrintable(text));
        QCOMPARE(dialogs.shown[0].caption, QString("Ошибка"));
        QCOMPARE(one("select string_agg(id::text, ',' order by id) from accounts_dep.h_tabel"), QString("3,5"));
        QCOMPARE(one("select string_agg(id::text, ',' order by id) from accounts_dep.smena"), QString("99"));
        QVERIFY(j->ImportStatus->text().startsWith("Импорт остановлен"));
        QVERIFY(j->N12->isEnabled() && j->N16->isEnabled());
        QVERIFY(!LongAction::running());
    }

    // A legacy table that cannot be read stops the import at its step; the
    // steps before it are complete, the later ones have not run.
    void stopsAtUnreadableLegacyTable()
    {
        legacy("drop table OPER");
        TestDb::exec("insert into accounts_dep.smena (id, w_id, data) values (99, 9, '01.01.2020')");
        ScriptedDialogs dialogs;
        j->N12->trigger();
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY2(dialogs.shown[0].text.contains("шаг 4 из 7 (OPER → accounts_dep.oper)"), qPrintable(dialogs.shown[0].text));
        QCOMPARE(one("select count(*) from accounts_dep.nomenkl"), QString("2"));
        QCOMPARE(one("select string_agg(id::text, ',' order by id) from accounts_dep.smena"), QString("99"));
    }

    // A legacy data source that cannot be opened: nothing is emptied and the
    // message names the source.
    void stopsWithoutLegacySource()
    {
        QSqlDatabase::database(LegacyImport::kLegacyConnection, false).close();
        QSqlDatabase::removeDatabase(LegacyImport::kLegacyConnection);
        legacyDb().close();
        const QString file = dir.filePath(QStringLiteral("legacy.db"));
        QVERIFY(QFile::rename(file, file + QStringLiteral(".away")));
        QVERIFY(QDir().mkdir(file)); // not a database file
        TestDb::exec("insert into accounts_dep.h_tabel (id, w_id, month, year) values (1, 9, 1, 2020)");
        ScriptedDialogs dialogs;
        j->N12->trigger();
        QVERIFY(QDir().rmdir(file));
        QVERIFY(QFile::rename(file + QStringLiteral(".away"), file));
        QVERIFY(legacyDb().open());
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY2(dialogs.shown[0].text.startsWith("Нет соединения с источником данных ODBC «Tabel»"), qPrintable(dialogs.shown[0].text));
        QCOMPARE(one("select count(*) from accounts_dep.h_tabel"), QString("1"));
    }

    // While it runs the journal shows the step and rows copied, and neither
    // maintenance item can start a second run.
    void progressAndNoSecondRun()
    {
        for (int i = 100; i < 160; ++i)
            legacy(QStringLiteral("insert into smena (ID, W_ID, DATA) values (%1, 1, '2024-03-05')").arg(i));
        QStringList seen;
        bool itemsEnabled = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            if (!j->ImportStatus || !j->ImportStatus->text().contains("шаг 7 из 7") || !seen.isEmpty())
                return;
            seen << j->ImportStatus->text() << QString::number(j->ImportProgress->value());
            itemsEnabled = j->N12->isEnabled() || j->N16->isEnabled();
            j->N12Click(); // as a menu click or a shortcut would
            j->N16Click();
        });
        probe.start(0);
        ScriptedDialogs dialogs;
        j->N12Click();
        probe.stop();
        QCOMPARE(dialogs.texts(), QStringList());
        QVERIFY2(seen.size() == 2 && seen[0].contains("smena → accounts_dep.smena") && seen[0].contains("из 62 строк"),
                 qPrintable(seen.join(" / ")));
        QVERIFY(!itemsEnabled);
        QCOMPARE(one("select count(*) from accounts_dep.smena"), QString("62"));
        QCOMPARE(j->ImportProgress->value(), 62);
        QVERIFY(j->N12->isEnabled() && j->N16->isEnabled());
    }

    // The structure upgrade brings an older database to the current columns;
    // run again it only recreates the view. It never shows a message.
    void structureUpgradeTwice_data()
    {
        QTest::addColumn<bool>("izdelIsTable");
        QTest::newRow("products view") << false;
        QTest::newRow("products table") << true;
    }
    void structureUpgradeTwice()
    {
        QFETCH(bool, izdelIsTable);
        if (!izdelIsTable)
            restoreIzdelView();
        TestDb::exec("alter table accounts_dep.fatigue drop column i_holiday, drop column i_night;"
                     "alter table accounts_dep.h_tabel drop column i_night");
        const QString columns = QStringLiteral(
            "select string_agg(concat_ws(' ', table_name, column_name, data_type, column_default, is_nullable), ', ' order by table_name, column_name)"
            " from information_schema.columns where table_schema='accounts_dep' and table_name in ('fatigue', 'h_tabel', 'izdel')");
        const QString izdel = QStringLiteral("select c.oid::text || c.relkind::text from pg_class c join pg_namespace n on n.oid=c.relnamespace "
                                             "where n.nspname='accounts_dep' and c.relname='izdel'");
        ScriptedDialogs dialogs;
        const QString izdelBefore = one(izdel);
        j->N16->trigger();
        const QString once = one(columns);
        const QString izdelOnce = one(izdel);
        for (const char *c : {"fatigue i_holiday integer 0 YES", "fatigue i_night integer 0 YES", "h_tabel i_night integer 0 YES"})
            QVERIFY2(once.contains(QLatin1String(c)), qPrintable(once));
        j->N16->trigger();
        QCOMPARE(one(columns), once);
        if (izdelIsTable) {
            QCOMPARE(izdelOnce, izdelBefore); // the plain drop fails on a table
            QCOMPARE(one(izdel), izdelBefore);
        } else {
            QVERIFY(izdelOnce.endsWith('v') && izdelOnce != izdelBefore);
            QVERIFY(one(izdel).endsWith('v') && one(izdel) != izdelOnce);
        }
        QCOMPARE(dialogs.texts(), QStringList());
    }
};

TABEL_TEST_MAIN(TestImport)
#include "tst_import.moc"

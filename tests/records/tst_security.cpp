#include "db/Gateway.h"
#include "app/Startup.h"
#include "app/TForm23.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/StructureUpgrade.h"
#include "db/TDataModule6.h"
#include "db/SessionTie.h"
#include "records/Users.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

// What the program's login may and may not do in the database, who the
// database records as the author of a change, the sign-in throttle, codes
// kept out of the server's log, and the upgrade of an older database.
class TestSecurity : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    QString conn;
    int entryId = 0;

    static QJsonObject json(const QVariant &v) { return QJsonDocument::fromJson(v.toString().toUtf8()).object(); }

    // A connection of its own as sys, like psql's
    static QSqlDatabase sysSession(const QString &name)
    {
        QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                       : QSqlDatabase::addDatabase("QPSQL", name);
        db.setHostName(TestDb::host());
        db.setDatabaseName(TestDb::databaseName());
        db.setUserName("sys");
        if (!db.isOpen() && !db.open())
            qFatal("cannot connect as sys: %s", qPrintable(db.lastError().text()));
        return db;
    }
    // The server's refusal, empty when the statement went through
    static QString run(QSqlDatabase db, const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(db);
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        return q.exec() ? QString() : q.lastError().databaseText();
    }
    // The same on the program's own connection
    static QString runProgram(const QString &connection, const QString &sql)
    {
        try {
            Gateway::run(connection, sql, {}, Gateway::Retry::Never);
            return QString();
        } catch (const DbError &e) {
            return e.text();
        }
    }
    QString serverLog() const
    {
        QFile f(qEnvironmentVariable("TABEL_PGLOG"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        conn = app->forms.DataModule6->connectionName();
    }
    void init()
    {
        TestDb::forgiveSignIns();
        TestDb::exec("delete from accounts_dep.closed_months");
        TestDb::clearData();
        Seed::Entry e;
        e.data = QDate(2024, 3, 5);
        e.worker = Seed::worker("Алексеев А.В.");
        e.product = Seed::product("РК-128", Seed::group("Фурнитура"));
        e.operation = Seed::operation(e.product, Seed::kind("Сборка"), 0, {1.5});
        entryId = Seed::entry(e);
        TestDb::exec("delete from accounts_dep.audit");
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }

    // Rewriting history as the program's login fails with a permission error.
    void attacksAreRefused_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("update the trail") << "update accounts_dep.audit set user_name = 'Никто'";
        QTest::newRow("delete the trail") << "delete from accounts_dep.audit";
        QTest::newRow("truncate the trail") << "truncate accounts_dep.audit";
        QTest::newRow("truncate a year of the trail") << "truncate accounts_dep.audit_default";
        QTest::newRow("write the trail") << "insert into accounts_dep.audit (user_name, user_role, workstation, outside, action) "
                                            "values ('Администратор', 'administrator', 'цех', false, 'удаление')";
        QTest::newRow("call the trail's writer") << "select accounts_dep.audit_write('удаление', 'smena', '1', null, null)";
        QTest::newRow("drop a trigger") << "drop trigger smena_guard on accounts_dep.smena";
        QTest::newRow("disable a trigger") << "alter table accounts_dep.smena disable trigger smena_guard";
        QTest::newRow("replace the trigger function")
            << "create or replace function accounts_dep.entry_guard() returns trigger language plpgsql "
               "as $$ begin return new; end $$";
        QTest::newRow("replace the trail's writer")
            << "create or replace function accounts_dep.audit_write(text, text, text, jsonb, jsonb) returns void "
               "language sql as $$ select $$";
        QTest::newRow("truncate closed months") << "truncate accounts_dep.closed_months";
        QTest::newRow("change a closed month") << "update accounts_dep.closed_months set month = 1";
        QTest::newRow("truncate entries") << "truncate accounts_dep.smena";
        QTest::newRow("truncate housekeeping") << "truncate accounts_dep.fatigue";
        QTest::newRow("truncate timesheets") << "truncate accounts_dep.h_tabel";
        QTest::newRow("read code hashes") << "select code_hash from accounts_dep.users";
        QTest::newRow("read the code index") << "select code_index from accounts_dep.users";
        QTest::newRow("read the secret") << "select value from accounts_dep.secrets";
        QTest::newRow("make someone an administrator") << "update accounts_dep.users set role = 'administrator'";
        QTest::newRow("add a user directly")
            << "insert into accounts_dep.users (name, role, code_hash) values ('x', 'administrator', 'x')";
        QTest::newRow("tie a session directly") << "delete from accounts_dep.session_ties";
        QTest::newRow("clear the throttle") << "select setval('accounts_dep.sign_in_guard_0', 0)";
        QTest::newRow("call the throttle's reset") << "select accounts_dep.sign_in_forgive('локально')";
        QTest::newRow("make a function") << "create function accounts_dep.f() returns int language sql as $$ select 1 $$";
        // the windows' writes go through the write functions only
        QTest::newRow("change an entry directly") << "update accounts_dep.smena set kol_vo = 99";
        QTest::newRow("delete an entry directly") << "delete from accounts_dep.smena";
        QTest::newRow("change a housekeeping entry directly") << "update accounts_dep.fatigue set i_smena = 4";
        QTest::newRow("change a timesheet line directly") << "update accounts_dep.h_tabel set d1 = 99";
        QTest::newRow("add a kind directly") << "insert into accounts_dep.vid_oper (vid) values ('Покраска')";
        QTest::newRow("close a month directly") << "insert into accounts_dep.closed_months (year, month) values (2024, 3)";
        QTest::newRow("call a write helper") << "select accounts_dep.lock_months(array[1], array[date '2024-03-05'], null)";
        QTest::newRow("start a rebuild's steps") << "select accounts_dep.month_rebuild_start(2024, 3, 'пересборка')";
        QTest::newRow("send a notice as the write functions do")
            << "select accounts_dep.write_notice('entries', date '2024-03-05', null, null, 1, 1)";
    }
    void attacksAreRefused()
    {
        QFETCH(QString, sql);
        const QString why = TestDb::sysExec(sql);
        QVERIFY2(why.contains("permission denied") || why.contains("must be owner"), qPrintable(why));
    }

    // What the windows read stays readable.
    void windowsStillRead()
    {
        for (const char *sql : {"select count(*) from accounts_dep.audit", "select count(*) from accounts_dep.closed_months",
                                "select count(name) from accounts_dep.users where default_code",
                                "select count(*) from accounts_dep.izdel", "select count(*) from accounts_dep.smena"})
            QVERIFY2(TestDb::sysScalar(sql).isValid(), sql);
    }

    // Settings name nobody: a session that did not sign in cannot write, and
    // a signed-in session keeps its own user's role whatever it sets; a
    // change made outside the program (the owner's psql) is recorded so.
    void authorComesFromTheSignIn()
    {
        const QString deletion = QString("select status, message from accounts_dep.entry_delete(%1)").arg(entryId);
        QSqlDatabase psql = sysSession("psql_like");
        const QString claim = "select set_config('tabel.user', 'Администратор', false), "
                              "set_config('tabel.role', 'administrator', false), set_config('tabel.workstation', 'цех-1', false)";
        QCOMPARE(run(psql, claim), QString());
        QVERIFY(run(psql, deletion).contains("Войдите в программу: без входа запись невозможна."));
        QVERIFY(run(psql, QString("update accounts_dep.smena set kol_vo = 11 where id = %1").arg(entryId))
                    .contains("permission denied"));

        TestDb::signIn(conn, "masters");
        QCOMPARE(runProgram(conn, claim), QString());
        QVERIFY(runProgram(conn, deletion).contains("пользователь с ролью «Мастер» не может удалять позиции"));
        QCOMPARE(TestDb::scalar(QString("select count(*) from accounts_dep.smena where id = %1").arg(entryId)).toInt(), 1);

        TestDb::exec(QString("update accounts_dep.smena set kol_vo = 12 where id = %1").arg(entryId)); // the owner's session
        const auto r = TestDb::rows(QString("select user_name, user_role, outside, workstation from accounts_dep.audit "
                                            "where tbl = 'smena' and row_key = '%1' and action = 'изменение' order by id").arg(entryId));
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0][0].toString(), QString("tabel_owner"));
        QCOMPARE(r[0][1].toString(), QString("вне программы"));
        QVERIFY(r[0][2].toBool());
        QCOMPARE(r[0][3].toString(), QString("локально"));

        // the other session's sign-in does not carry over to psql
        QCOMPARE(TestDb::sysScalar("select count(*) from accounts_dep.session_who()").toInt(), 0);
        SessionTie::forget(conn);
    }

    // After a reconnect the new server session is tied to the same user
    // before the retried statement runs.
    void reconnectKeepsTheUser()
    {
        ScriptedDialogs dialogs;
        TForm23 *w = app->forms.Form23;
        w->Edit1->setText("econom");
        QVERIFY(w->signIn(false));
        const int pid = DbSession::exec(conn, "select pg_backend_pid()", DbSession::Retry::Read).valueAt(0, 0).toInt();
        TestDb::adminExec(QString("select pg_terminate_backend(%1)").arg(pid));
        QTest::qWait(200);
        Rows who = DbSession::exec(conn, "select user_name, pg_backend_pid() from accounts_dep.session_who()",
                                   DbSession::Retry::Read);
        QVERIFY(who.next());
        QVERIFY(who.value(1).toInt() != pid);
        QCOMPARE(who.value(0).toString(), QString("econom"));
        SessionTie::forget(conn);
    }

    // Five wrong codes from one address, over two connections, and the sixth
    // try waits, even with a right code; rolling the tries back does not help.
    void throttleByAddress_data()
    {
        QTest::addColumn<bool>("rolledBack");
        QTest::newRow("each try committed") << false;
        QTest::newRow("each try rolled back") << true;
    }
    void throttleByAddress()
    {
        QFETCH(bool, rolledBack);
        QSqlDatabase a = sysSession("guess_a"), b = sysSession("guess_b");
        QString last;
        for (int i = 0; i < 5; ++i) {
            QSqlDatabase db = i % 2 ? b : a;
            if (rolledBack)
                QSqlQuery(db).exec("begin");
            last = run(db, "select * from accounts_dep.sign_in(?, 'psql')", {QString("угадай-%1").arg(i)});
            if (rolledBack)
                QSqlQuery(db).exec("rollback");
            QVERIFY2(last.contains("Введены неверные данные."), qPrintable(last));
        }
        QVERIFY2(last.contains("следующая попытка — через 30 с"), qPrintable(last));
        const QString sixth = run(b, "select * from accounts_dep.sign_in(?, 'psql')", {"masters"});
        QVERIFY2(sixth.contains("Слишком много неверных попыток подряд. Следующая попытка — через "), qPrintable(sixth));
        // the program meets the same wait
        QVERIFY_THROWS_EXCEPTION(DbError, Users::signIn(conn, "masters", "цех"));
        TestDb::forgiveSignIns();
        QCOMPARE(run(b, "select * from accounts_dep.sign_in(?, 'psql')", {"masters"}), QString());
    }

    // A refused sign-in or user statement leaves no code in the server's log,
    // though the log does hold the refused statement.
    void codesStayOutOfTheLog()
    {
        if (qEnvironmentVariable("TABEL_PGLOG").isEmpty())
            QSKIP("TABEL_PGLOG not set (scripts/with-postgres sets it)");
        QVERIFY_THROWS_EXCEPTION(DbError, Users::signIn(conn, "неверный-81734", "цех"));
        // not an administrator: refused
        QVERIFY_THROWS_EXCEPTION(DbError, Users::add(conn, "Иванов", "masters", "личный-55120"));
        TestDb::signIn(conn, "63527140");
        // a code another user has: refused
        QVERIFY_THROWS_EXCEPTION(DbError, Users::add(conn, "Иванов", "masters", "63527140"));
        QVERIFY_THROWS_EXCEPTION(DbError, Users::setCode(conn, 1, "кд-5"));
        SessionTie::forget(conn);
        QTest::qWait(300); // the server writes its log asynchronously
        const QString log = serverLog();
        QVERIFY2(log.contains("accounts_dep.user_add($1, $2, $3)"), "the refused statements are not in the log");
        for (const char *code : {"неверный-81734", "личный-55120", "кд-5"})
            QVERIFY2(!log.contains(QString::fromUtf8(code)), code);
    }

    // Users: administration needs a signed-in administrator, short and taken
    // codes are refused in words that do not tell whose a code is, every
    // change is recorded without the code, and the last administrator stays.
    void usersAreRecorded()
    {
        TestDb::exec("delete from accounts_dep.users where not builtin");
        TestDb::signIn(conn, "masters");
        try {
            Users::add(conn, "Петрова А.А.", "sklad", "ключ-4100");
            QFAIL("a master added a user");
        } catch (const DbError &e) {
            QCOMPARE(e.text(), QString("Пользователей меняет только администратор."));
        }
        TestDb::signIn(conn, "7264");
        struct Refusal {
            const char *code, *text;
        };
        for (const Refusal &r : {Refusal{"ключ", "Код должен быть не короче 6 знаков: короткий код легко подобрать."},
                                 Refusal{"masters", "Этот код нельзя использовать: выберите другой."},
                                 Refusal{"63527140", "Этот код нельзя использовать: выберите другой."}}) {
            try {
                Users::add(conn, "Петрова А.А.", "sklad", QString::fromUtf8(r.code));
                QFAIL(r.code);
            } catch (const DbError &e) {
                QCOMPARE(e.text(), QString::fromUtf8(r.text));
            }
        }
        const int id = Users::add(conn, "Петрова А.А.", "sklad", "ключ-4100");
        Users::setRole(conn, id, "administrator");
        Users::setCode(conn, id, "ключ-4200");
        Users::setActive(conn, id, false);
        const auto recs = TestDb::rows(QString("select action, user_name, before::text, after::text from accounts_dep.audit "
                                               "where tbl = 'users' and row_key = '%1' order by id").arg(id));
        QStringList actions;
        for (const auto &r : recs) {
            actions << r[0].toString();
            QCOMPARE(r[1].toString(), QString("Администратор (2)"));
            for (const QString &text : {r[2].toString(), r[3].toString()})
                QVERIFY2(!text.contains("ключ") && !text.contains("$2") && !text.contains("hash"), qPrintable(text));
        }
        QCOMPARE(actions, (QStringList{"добавление пользователя", "смена роли", "смена кода", "отключение пользователя"}));
        QCOMPARE(json(recs[1][2]).value("role").toString(), QString("sklad"));
        QCOMPARE(json(recs[1][3]).value("role").toString(), QString("administrator"));
        QVERIFY(TestDb::scalar(QString("select code_hash like '$2a$10$%' from accounts_dep.users where id = %1").arg(id)).toBool());

        // the last active administrator can be neither switched off nor demoted
        const int admin1 = TestDb::scalar("select id from accounts_dep.users where name = 'Администратор'").toInt();
        const int admin2 = TestDb::scalar("select id from accounts_dep.users where name = 'Администратор (2)'").toInt();
        Users::setActive(conn, admin1, false);
        const QString last = "Это последний администратор: без него некому будет управлять пользователями и месяцами. "
                             "Сначала назначьте администратором другого пользователя.";
        for (int step = 0; step < 2; ++step) {
            try {
                step ? Users::setRole(conn, admin2, "masters") : Users::setActive(conn, admin2, false);
                QFAIL("the last administrator went");
            } catch (const DbError &e) {
                QCOMPARE(e.text(), last);
            }
        }
        Users::setActive(conn, admin1, true);
        SessionTie::forget(conn);
        TestDb::exec("delete from accounts_dep.users where not builtin");
    }

    // A change record keeps the key and only the changed columns; it lands
    // in its year's partition, and next year's partition is there already.
    void changeRecordHoldsOnlyChangedColumns()
    {
        TestDb::exec(QString("update accounts_dep.smena set kol_vo = 12, time = 6 where id = %1").arg(entryId));
        TestDb::exec(QString("update accounts_dep.smena set ok = 'ok' where id = %1").arg(entryId));
        const auto r = TestDb::rows(QString("select action, before::text, after::text, tableoid::regclass::text "
                                            "from accounts_dep.audit where row_key = '%1' order by id").arg(entryId));
        QCOMPARE(r.size(), 2);
        QCOMPARE(r[0][0].toString(), QString("изменение"));
        QCOMPARE(json(r[0][1]), (QJsonObject{{"kol_vo", 10}, {"time", 8}}));
        QCOMPARE(json(r[0][2]), (QJsonObject{{"kol_vo", 12}, {"time", 6}}));
        QCOMPARE(r[1][0].toString(), QString("отметка закрытия"));
        QCOMPARE(json(r[1][2]).keys(), QStringList{"ok"});
        const int year = QDate::currentDate().year();
        QCOMPARE(r[0][3].toString(), QString("accounts_dep.audit_%1").arg(year));
        QVERIFY(TestDb::scalar(QString("select to_regclass('accounts_dep.audit_%1') is not null").arg(year + 1)).toBool());
    }

    // An older database (sys's single audit table, cost-6 hashes, no code
    // index) upgraded by "Структура БД" as the owner keeps every record.
    void upgradeKeepsEveryRecord()
    {
        TestDb::exec(QString("update accounts_dep.smena set kol_vo = 14 where id = %1").arg(entryId));
        TestDb::exec(
            "alter table accounts_dep.audit rename to audit_p;"
            "create table accounts_dep.audit (id bigint generated always as identity primary key,"
            " at timestamptz not null default clock_timestamp(), user_name text not null, user_role text not null,"
            " workstation text not null, outside boolean not null, action text not null, tbl text, row_key text,"
            " before jsonb, after jsonb);"
            "insert into accounts_dep.audit (at, user_name, user_role, workstation, outside, action, tbl, row_key, before, after)"
            " select '2019-06-01'::timestamptz, user_name, user_role, workstation, outside, action, tbl, row_key, before, after"
            "   from accounts_dep.audit_p;"
            "insert into accounts_dep.audit (user_name, user_role, workstation, outside, action, tbl, row_key, before, after)"
            " select user_name, user_role, workstation, outside, 'изменение', tbl, row_key, to_jsonb(s), to_jsonb(s)"
            "   from accounts_dep.audit_p, accounts_dep.smena s;"
            "drop table accounts_dep.audit_p cascade;"
            "create index audit_row on accounts_dep.audit (tbl, row_key);"
            "update accounts_dep.users set code_hash = accounts_dep.crypt('masters', accounts_dep.gen_salt('bf', 6)), code_index = null,"
            " default_code = false where name = 'masters';");
        const auto before = TestDb::rows("select id, at, action, before::text, after::text from accounts_dep.audit order by id");
        QCOMPARE(before.size(), 2);
        runStructureUpgrade(*app->forms.DataModule6);
        QCOMPARE(TestDb::scalar("select relkind::text from pg_class where oid = 'accounts_dep.audit'::regclass").toString(),
                 QString("p"));
        QCOMPARE(TestDb::rows("select id, at, action, before::text, after::text from accounts_dep.audit order by id"), before);
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.audit_2019").toInt(), 1);
        QCOMPARE(TestDb::scalar(QString("select kol_vo from accounts_dep.smena where id = %1").arg(entryId)).toInt(), 14);
        QVERIFY(TestDb::scalar("select default_code from accounts_dep.users where name = 'masters'").toBool());
        // new records go on after the old ones
        TestDb::exec(QString("update accounts_dep.smena set kol_vo = 15 where id = %1").arg(entryId));
        QVERIFY(TestDb::scalar("select max(id) from accounts_dep.audit").toLongLong() > before.last()[0].toLongLong());
        // the old hash still signs in, and is made again at the higher cost
        TestDb::signIn(conn, "masters");
        QVERIFY(TestDb::scalar("select code_hash like '$2a$10$%' and code_index is not null from accounts_dep.users "
                               "where name = 'masters'").toBool());
        SessionTie::forget(conn);
        // and sys may still do only what it may
        QVERIFY(TestDb::sysExec("delete from accounts_dep.audit").contains("permission denied"));
    }

    // The cluster takes SSL connections (its certificate is made by the scripts).
    void sslIsOn()
    {
        const QString port = qEnvironmentVariable("TABEL_PGTCPPORT");
        if (port.isEmpty())
            QSKIP("TABEL_PGTCPPORT not set (scripts/with-postgres sets it)");
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "over_tcp");
        db.setHostName("127.0.0.1");
        db.setPort(port.toInt());
        db.setDatabaseName(TestDb::databaseName());
        db.setUserName("sys");
        db.setConnectOptions("sslmode=require");
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        QVERIFY(q.exec("select ssl from pg_stat_ssl where pid = pg_backend_pid()") && q.next());
        QVERIFY(q.value(0).toBool());
    }
};

TABEL_TEST_MAIN(TestSecurity)
#include "tst_security.moc"

#include "db/Gateway.h"
#include "app/Startup.h"
#include "app/TForm23.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/StructureUpgrade.h"
#include "db/TDataModule6.h"
#include "db/SessionTie.h"
#include "records/Entries.h"
#include "records/Users.h"
#include "records/Write.h"
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
#include <QElapsedTimer>
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
    // A statement sent as it stands (utility statements cannot be prepared)
    static QString plain(QSqlDatabase db, const QString &sql)
    {
        QSqlQuery q(db);
        return q.exec(sql) ? QString() : q.lastError().databaseText();
    }
    // A connection of its own to this test's database as another role
    static QSqlDatabase session(const QString &name, const QString &user)
    {
        QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                       : QSqlDatabase::addDatabase("QPSQL", name);
        db.setHostName(TestDb::host());
        db.setDatabaseName(TestDb::databaseName());
        db.setUserName(user);
        if (!db.isOpen() && !db.open())
            qFatal("cannot connect as %s: %s", qPrintable(user), qPrintable(db.lastError().text()));
        return db;
    }
    static QString superuser() { return qEnvironmentVariable("PGUSER", "postgres"); }
    // Signs in on a psql-like session as the program does (two statements);
    // the refusal's text, empty when signed in.
    static QString signInOn(QSqlDatabase db, const QString &code)
    {
        QString why = run(db, "select * from accounts_dep.sign_in(?, 'psql')", {code});
        if (why.isEmpty())
            why = run(db, "select * from accounts_dep.sign_in_outcome()");
        return why;
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
        QTest::newRow("clear the throttle") << "delete from accounts_dep.sign_in_failures";
        QTest::newRow("read the throttle") << "select * from accounts_dep.sign_in_failures";
        QTest::newRow("keep the built-in codes") << "insert into accounts_dep.site_settings values ('builtin_codes', 'keep')";
        // waits that would stop every workstation
        QTest::newRow("hold a month's lock") << "select pg_advisory_lock(202612)";
        QTest::newRow("hold a pair lock") << "select pg_advisory_lock(72641, 0)";
        QTest::newRow("hold a lock for the transaction") << "select pg_advisory_xact_lock_shared(202612)";
        QTest::newRow("try a lock") << "select pg_try_advisory_lock(1)";
        QTest::newRow("lock the version row") << "select 1 from accounts_dep.ver for update";
        QTest::newRow("stamp a later version") << "update accounts_dep.ver set d = 99991231";
        QTest::newRow("add a version row") << "insert into accounts_dep.ver (d, t) values (99991231, 0)";
        // the ERP's tables behind workers and products
        QTest::newRow("move a worker's code") << "update cmn_contractor.person set s_code = '1027'";
        QTest::newRow("add a person") << "insert into cmn_contractor.person (s_caption) values ('Подставной')";
        QTest::newRow("delete persons") << "delete from cmn_contractor.person";
        QTest::newRow("rename a product") << "update cmn_gds_and_srv.gds_and_srv set s_caption = 'X'";
        QTest::newRow("delete products") << "delete from cmn_gds_and_srv.gds_and_srv";
        QTest::newRow("change a group") << "update cmn_classifier.item set s_caption = 'X'";
        QTest::newRow("add a role") << "insert into adm_role.roles (id, s_name) values (99, 'x')";
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
        // a signed-in session's records carry its address beside the workstation it names
        TestDb::signIn(conn, "63527140");
        QCOMPARE(Entries::setMark(conn, entryId, "ok").kind, Outcome::Saved);
        const auto m = TestDb::rows(QString("select workstation, client_addr, outside from accounts_dep.audit "
                                            "where row_key = '%1' and action = 'отметка закрытия'").arg(entryId));
        QCOMPARE(m.size(), 1);
        QCOMPARE(m[0][0].toString(), QString("тест"));
        QCOMPARE(m[0][1].toString(), QString("локально"));
        QVERIFY(!m[0][2].toBool());

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

    // The attack that once found the administrator's code: wrong codes with a
    // right one between them, over two connections. A right code does not
    // clear the count: the fifth wrong code makes the address wait, and then
    // even the administrator's right code is refused.
    void throttleSurvivesRightCodes()
    {
        QSqlDatabase a = sysSession("guess_a"), b = sysSession("guess_b");
        QString last;
        for (int i = 0; i < 5; ++i) {
            QSqlDatabase db = i % 2 ? b : a;
            last = signInOn(db, QString("%1").arg(1000 + i));
            QVERIFY2(last.contains("Введены неверные данные."), qPrintable(last));
            if (i < 4)
                QCOMPARE(signInOn(i % 2 ? a : b, "masters"), QString());
        }
        QVERIFY2(last.contains("следующая попытка — через 30 с"), qPrintable(last));
        for (const char *code : {"masters", "7264"}) {
            const QString refused = signInOn(b, code);
            QVERIFY2(refused.contains("Слишком много неверных попыток подряд. Следующая попытка — через "), qPrintable(refused));
        }
        // the program meets the same wait
        QVERIFY_THROWS_EXCEPTION(DbError, Users::signIn(conn, "masters", "цех"));
        // once the wait is over, the next wrong code makes it longer
        TestDb::exec("update accounts_dep.sign_in_failures set last_failure = last_failure - interval '31 seconds'");
        QVERIFY(signInOn(a, "1005").contains("следующая попытка — через 60 с"));
        // after 15 quiet minutes the count is gone
        TestDb::exec("update accounts_dep.sign_in_failures set last_failure = last_failure - interval '15 minutes'");
        QCOMPARE(signInOn(a, "masters"), QString());
        const QString sixth = signInOn(a, "1006");
        QVERIFY2(sixth.contains("Введены неверные данные.") && !sixth.contains("Слишком"), qPrintable(sixth));
        TestDb::forgiveSignIns();
    }

    // Rolled back, a sign-in tells nothing: inside its own transaction even
    // a right code reads as wrong, and nothing of it stays.
    void rolledBackSignInTellsNothing()
    {
        QSqlDatabase a = sysSession("guess_a");
        const QString tokens = "select count(*) from accounts_dep.session_tokens where user_id is not null";
        const int tokensBefore = TestDb::scalar(tokens).toInt();
        QVERIFY(QSqlQuery(a).exec("begin"));
        QCOMPARE(run(a, "select * from accounts_dep.sign_in(?, 'psql')", {"7264"}), QString());
        QVERIFY(QSqlQuery(a).exec("savepoint asked"));
        QVERIFY(run(a, "select * from accounts_dep.sign_in_outcome()").contains("Введены неверные данные."));
        QVERIFY(QSqlQuery(a).exec("rollback to savepoint asked"));
        QVERIFY(run(a, QString("select status from accounts_dep.entry_delete(%1)").arg(entryId)).contains("Войдите в программу"));
        QVERIFY(QSqlQuery(a).exec("rollback"));
        QCOMPARE(TestDb::scalar(QString("select count(*) from accounts_dep.smena where id = %1").arg(entryId)).toInt(), 1);
        QCOMPARE(TestDb::scalar(tokens).toInt(), tokensBefore);
        // a right and a wrong code leave the same marks on the transaction
        auto marks = [&](const QString &code) {
            // the session's counts of earlier transactions go to the server
            // once it has been idle for a second
            QTest::qWait(1200);
            QSqlQuery(a).exec("select 1");
            QTest::qWait(200);
            QSqlQuery q(a);
            q.exec("begin");
            run(a, "select * from accounts_dep.sign_in(?, 'psql')", {code});
            q.exec("select coalesce(sum(n_tup_ins), 0), coalesce(sum(n_tup_upd), 0), coalesce(sum(n_tup_del), 0) "
                   "from pg_stat_xact_user_tables");
            q.next();
            const QString m = QString("%1/%2/%3").arg(q.value(0).toInt()).arg(q.value(1).toInt()).arg(q.value(2).toInt());
            QSqlQuery(a).exec("rollback");
            return m;
        };
        QCOMPARE(marks("7264"), marks("7265"));
        TestDb::forgiveSignIns();
    }

    // Every function that runs with the owner's rights looks in pg_catalog
    // first and waits a few seconds at most (a new one cannot slip through).
    void ownerFunctionsAreFenced()
    {
        const auto bad = TestDb::rows(
            "select p.oid::regprocedure::text, coalesce(array_to_string(p.proconfig, ' | '), '') from pg_proc p "
            "where p.pronamespace = 'accounts_dep'::regnamespace and p.prosecdef "
            "and (not exists (select 1 from unnest(p.proconfig) c where c like 'search\\_path=pg\\_catalog,%') "
            "  or not exists (select 1 from unnest(p.proconfig) c where c like 'lock\\_timeout=%'))");
        for (const auto &r : bad)
            qWarning("%s: %s", qPrintable(r[0].toString()), qPrintable(r[1].toString()));
        QVERIFY(bad.isEmpty());
        QVERIFY(TestDb::scalar("select count(*) from pg_proc where pronamespace = 'accounts_dep'::regnamespace and prosecdef")
                    .toInt() > 20);
    }

    // On a database where everyone may create in public (made before
    // PostgreSQL 15), the program's login plants functions there under the
    // names the owner's functions use, pgcrypto's among them (moved to
    // public, as an ERP may have it). None of them runs on sign-in, resume,
    // user administration or a first code change.
    void plantedFunctionsNeverRun()
    {
        QSqlDatabase super = session("super", superuser());
        QCOMPARE(plain(super, "grant create on schema public to public"), QString());
        QCOMPARE(plain(super, "alter extension pgcrypto set schema public"), QString());
        runStructureUpgrade(*app->forms.DataModule6);
        const char *const planted[] = {
            "left(text, integer) returns text", "host(inet) returns text", "btrim(text) returns text",
            "char_length(text) returns integer", "encode(bytea, text) returns text", "convert_to(text, name) returns bytea",
            "now() returns timestamptz", "clock_timestamp() returns timestamptz", "pg_backend_pid() returns integer",
            "inet_client_addr() returns inet", "set_config(text, text, boolean) returns text",
            "crypt(text, varchar) returns text", "crypt(varchar, text) returns text", "gen_salt(varchar, integer) returns text",
            "gen_salt(text, bigint) returns text", "hmac(text, bytea, text) returns bytea",
            "digest(varchar, text) returns bytea", "gen_random_bytes(bigint) returns bytea"};
        QSqlDatabase attacker = sysSession("attacker");
        for (const char *f : planted) {
            const QString name = QString::fromLatin1(f).section('(', 0, 0);
            QCOMPARE(plain(attacker, QString("create function public.%1 language plpgsql as "
                                           "$$ begin raise exception 'planted %2 ran as %', current_user; end $$")
                                       .arg(QString::fromLatin1(f), name)),
                     QString());
        }
        // the calls a workstation makes (each as sys), and the results they must have
        QStringList said;
        said << signInOn(attacker, "нет-такого-кода") << signInOn(attacker, "7264")
             << run(attacker, "select * from accounts_dep.session_resume('0123')")
             << run(attacker, "select accounts_dep.user_add('Планта', 'masters', 'планта-код-1')")
             << run(attacker, "select accounts_dep.user_set_code(accounts_dep_id, 'планта-код-2') from "
                              "(select id as accounts_dep_id from accounts_dep.users where name = 'Планта') x");
        TestDb::exec("delete from accounts_dep.site_settings where name = 'builtin_codes'");
        said << signInOn(attacker, "econom") << run(attacker, "select accounts_dep.own_code_set('эконом-новый-1')");
        TestDb::exec("insert into accounts_dep.site_settings values ('builtin_codes', 'keep')");
        for (const QString &t : said)
            QVERIFY2(!t.contains("planted"), qPrintable(t));
        QVERIFY(said[0].contains("Введены неверные данные."));
        QCOMPARE(said[1], QString());
        QVERIFY(said[2].contains("Вход больше не действует"));
        QCOMPARE(said[3], QString());
        QCOMPARE(said[4], QString());
        QCOMPARE(said[5], QString());
        QCOMPARE(said[6], QString());
        QVERIFY(TestDb::scalar("select not default_code from accounts_dep.users where name = 'econom'").toBool());

        // put back: the built-in code, pgcrypto where it was, public closed
        TestDb::exec("update accounts_dep.users set code_hash = accounts_dep.code_hash('econom'), "
                     "code_index = accounts_dep.code_index('econom'), default_code = true where name = 'econom'");
        TestDb::exec("delete from accounts_dep.users where name = 'Планта'");
        for (const char *f : planted)
            QCOMPARE(plain(attacker, "drop function public." + QString::fromLatin1(f).section(" returns", 0, 0)), QString());
        QCOMPARE(plain(super, "alter extension pgcrypto set schema accounts_dep"), QString());
        QCOMPARE(plain(super, "revoke create on schema public from public"), QString());
        runStructureUpgrade(*app->forms.DataModule6);
        TestDb::forgiveSignIns();
        SessionTie::forget(conn);
    }

    // Held locks make a write or a sign-in wait a few seconds, then say so
    // in Russian: a month held by another session, an entry's row held, the
    // sign-in of this computer held.
    void waitsEndWithAMessage()
    {
        TestDb::signIn(conn, "63527140");
        const QString busy = "Другое рабочее место сейчас записывает этот месяц или день. Повторите через несколько секунд.";
        QSqlDatabase holder = session("holder", "tabel_owner");
        struct Hold {
            const char *what, *sql;
        };
        const Hold holds[] = {
            {"the month", "select pg_advisory_xact_lock(202403)"},
            {"the entry's row", "select 1 from accounts_dep.smena for update"},
        };
        for (const Hold &h : holds) {
            QVERIFY(QSqlQuery(holder).exec("begin"));
            QCOMPARE(run(holder, h.sql), QString());
            QElapsedTimer t;
            t.start();
            const Outcome o = Entries::remove(conn, entryId);
            QVERIFY2(t.elapsed() < 8000, h.what);
            QCOMPARE(o.kind, Outcome::Refused);
            QCOMPARE(o.text, busy);
            QVERIFY(QSqlQuery(holder).exec("rollback"));
        }
        QCOMPARE(Write::busyText(), busy);
        QVERIFY(QSqlQuery(holder).exec("begin"));
        TestDb::exec("insert into accounts_dep.sign_in_failures (addr) values ('локально') on conflict do nothing");
        QCOMPARE(run(holder, "select 1 from accounts_dep.sign_in_failures for update"), QString());
        QElapsedTimer t;
        t.start();
        try {
            Users::signIn(conn, "masters", "цех");
            QFAIL("signed in past a held lock");
        } catch (const DbError &e) {
            QVERIFY2(e.text().contains("Повторите через несколько секунд."), qPrintable(e.text()));
        }
        QVERIFY(t.elapsed() < 8000);
        QVERIFY(QSqlQuery(holder).exec("rollback"));
        // the entry is still there, and saves go on once nothing is held
        QCOMPARE(Entries::remove(conn, entryId).kind, Outcome::Saved);
        SessionTie::forget(conn);
    }

    // Changing a user's code or switching the user off ends that user's
    // ties and tokens at once; a token lives one working day.
    void tokensEndWithTheirUser_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("code changed") << "select accounts_dep.user_set_code(%1, 'новый-код-77')";
        QTest::newRow("switched off") << "select accounts_dep.user_set_active(%1, false)";
        QTest::newRow("a day old") << "";
    }
    void tokensEndWithTheirUser()
    {
        QFETCH(QString, change);
        TestDb::exec("delete from accounts_dep.users where not builtin");
        const int id = TestDb::addUser("Мастер Б.", "masters", "мастер-код-1");
        TestDb::signIn(conn, "мастер-код-1");
        QCOMPARE(DbSession::exec(conn, "select user_name from accounts_dep.session_who()", DbSession::Retry::Read).valueAt(0, 0)
                     .toString(), QString("Мастер Б."));
        if (change.isEmpty()) {
            TestDb::exec(QString("update accounts_dep.session_tokens set created_at = created_at - interval '12 hours 1 minute' "
                                 "where user_id = %1").arg(id));
        } else {
            QSqlDatabase admin = sysSession("admin_psql");
            QCOMPARE(signInOn(admin, "7264"), QString());
            QCOMPARE(run(admin, change.arg(id)), QString());
        }
        // the next action of the user's program is refused, in Russian
        QCOMPARE(DbSession::exec(conn, "select count(*) from accounts_dep.session_who()", DbSession::Retry::Read).valueAt(0, 0)
                     .toInt(), 0);
        const Outcome o = Entries::remove(conn, entryId);
        QCOMPARE(o.text, QString("Войдите в программу: без входа запись невозможна."));
        // and its token ties no new server session: a reconnect asks for the code again
        try {
            SessionTie::resume(conn);
            QFAIL("the token tied a new session");
        } catch (const DbError &e) {
            QCOMPARE(e.text(), QString("Вход больше не действует: войдите в программу снова."));
        }
        QCOMPARE(TestDb::scalar(QString("select count(*) from accounts_dep.session_tokens where user_id = %1 "
                                        "and created_at > now() - interval '12 hours'").arg(id)).toInt(),
                 0);
        SessionTie::forget(conn);
        TestDb::exec("delete from accounts_dep.users where not builtin");
        TestDb::forgiveSignIns();
    }

    // A read of the trail left open, when next year's partition is due: a
    // sign-in does not wait for it, and making the partition gives up after
    // a few seconds instead of blocking, and succeeds once the read is over.
    void openTrailReadAtPartitionDue()
    {
        const int year = QDate::currentDate().year();
        for (int y = year + 1; y <= year + 2; ++y)
            TestDb::exec(QString("alter table accounts_dep.audit detach partition accounts_dep.audit_%1; "
                                 "drop table accounts_dep.audit_%1").arg(y));
        QSqlDatabase reader = sysSession("trail_reader");
        QVERIFY(QSqlQuery(reader).exec("begin"));
        QCOMPARE(run(reader, "select count(*) from accounts_dep.audit"), QString());
        QElapsedTimer t;
        t.start();
        TestDb::signIn(conn, "masters");
        QVERIFY2(t.elapsed() < 2000, "the sign-in waited for the trail's reader");
        t.restart();
        QCOMPARE(TestDb::scalar("select accounts_dep.audit_partitions_ahead()").toInt(), 2);
        QVERIFY(t.elapsed() < 8000);
        QVERIFY(QSqlQuery(reader).exec("commit"));
        QCOMPARE(TestDb::scalar("select accounts_dep.audit_partitions_ahead()").toInt(), 0);
        QVERIFY(TestDb::scalar(QString("select to_regclass('accounts_dep.audit_%1') is not null").arg(year + 2)).toBool());
        SessionTie::forget(conn);
    }

    // Outside a demo a built-in user must change the code first: the
    // session may do nothing else, the new code follows the users' rules,
    // and the built-in code signs in no more.
    void builtInCodeMustBeChanged()
    {
        TestDb::exec("delete from accounts_dep.site_settings where name = 'builtin_codes'");
        const Users::User u = Users::signIn(conn, "sklad", "цех");
        QVERIFY(u.mustChange);
        QCOMPARE(DbSession::exec(conn, "select count(*) from accounts_dep.session_who()", DbSession::Retry::Read).valueAt(0, 0)
                     .toInt(), 0);
        struct Refusal {
            const char *code, *text;
        };
        for (const Refusal &r : {Refusal{"склад", "Код должен быть не короче 6 знаков: короткий код легко подобрать."},
                                 Refusal{"sklad", "Код должен быть не короче 6 знаков: короткий код легко подобрать."},
                                 Refusal{"masters", "Этот код нельзя использовать: выберите другой."},
                                 Refusal{"63527140", "Этот код нельзя использовать: выберите другой."}}) {
            try {
                Users::setOwnCode(conn, QString::fromUtf8(r.code));
                QFAIL(r.code);
            } catch (const DbError &e) {
                QCOMPARE(e.text(), QString::fromUtf8(r.text));
            }
        }
        Users::setOwnCode(conn, "склад-личный-1");
        QCOMPARE(DbSession::exec(conn, "select user_name from accounts_dep.session_who()", DbSession::Retry::Read).valueAt(0, 0)
                     .toString(), QString("sklad"));
        QVERIFY_THROWS_EXCEPTION(DbError, Users::signIn(conn, "sklad", "цех"));
        QVERIFY(!Users::signIn(conn, "склад-личный-1", "цех").mustChange);
        // recorded, without the code
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.audit where action = 'смена кода' and user_name = 'sklad' "
                                "and after::text not like '%личный%'").toInt(), 1);
        TestDb::exec("update accounts_dep.users set code_hash = accounts_dep.code_hash('sklad'), "
                     "code_index = accounts_dep.code_index('sklad'), default_code = true where name = 'sklad'");
        TestDb::exec("insert into accounts_dep.site_settings values ('builtin_codes', 'keep')");
        TestDb::forgiveSignIns();
        SessionTie::forget(conn);
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

#include "TestDb.h"

#include "app/Startup.h"
#include "db/DbError.h"
#include "db/Gateway.h"
#include "db/TDataModule6.h"
#include "db/SessionTie.h"
#include "records/Actor.h"

#include <QCoreApplication>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <cstdlib>
#include <stdexcept>

namespace TestDb {
namespace {
const char *kAdmin = "testdb_admin";
const char *kConn = "testdb_owner";
const char *kSysConn = "testdb_sys";
QString g_name;

QSqlDatabase connect(const char *name, const QString &db, const QString &user)
{
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name);
    QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    c.setHostName(host());
    c.setPort(5432);
    c.setDatabaseName(db);
    c.setUserName(user);
    c.setPassword(QStringLiteral("vomtuxa"));
    if (!c.open())
        qFatal("test database: cannot connect to %s: %s", qPrintable(db), qPrintable(c.lastError().text()));
    QSqlQuery q(c);
    q.exec(QStringLiteral("SET DateStyle TO 'ISO, DMY'"));
    q.exec(QStringLiteral("SET client_min_messages TO warning"));
    return c;
}

void dropAtExit()
{
    if (g_name.isEmpty())
        return;
    for (const char *c : {kConn, kSysConn}) {
        if (QSqlDatabase::contains(c)) {
            QSqlDatabase::database(c).close();
            QSqlDatabase::removeDatabase(c);
        }
    }
    QSqlDatabase admin = connect(kAdmin, QStringLiteral("postgres"), qEnvironmentVariable("PGUSER", QStringLiteral("postgres")));
    QSqlQuery q(admin);
    q.exec(QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(g_name));
}
} // namespace

QString host()
{
    const QString h = qEnvironmentVariable("PGHOST");
    if (h.isEmpty())
        qFatal("PGHOST is not set: run the tests through scripts/test (scripts/with-postgres)");
    return h;
}

QString databaseName() { return g_name; }

void ensureDatabase()
{
    if (!g_name.isEmpty())
        return;
    // A helper process of a test works in its parent's database.
    const QString given = qEnvironmentVariable("TABEL_TEST_DATABASE");
    if (!given.isEmpty()) {
        g_name = given;
        return;
    }
    const QString app = QCoreApplication::applicationName().isEmpty()
        ? QStringLiteral("t") : QCoreApplication::applicationName();
    g_name = QStringLiteral("t_%1_%2").arg(app).arg(QCoreApplication::applicationPid()).toLower();
    g_name.replace(QLatin1Char('-'), QLatin1Char('_'));
    QSqlDatabase admin = connect(kAdmin, QStringLiteral("postgres"), qEnvironmentVariable("PGUSER", QStringLiteral("postgres")));
    QSqlQuery q(admin);
    q.exec(QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(g_name));
    if (!q.exec(QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE tabel_template").arg(g_name)))
        qFatal("cannot clone the template database: %s", qPrintable(q.lastError().text()));
    std::atexit(dropAtExit);
}

static QSqlDatabase ownerConn()
{
    ensureDatabase();
    return connect(kConn, g_name, QStringLiteral("tabel_owner"));
}

static QSqlDatabase sysConn()
{
    ensureDatabase();
    return connect(kSysConn, g_name, QStringLiteral("sys"));
}

void exec(const QString &sql)
{
    QSqlQuery q(ownerConn());
    if (!q.exec(sql))
        QFAIL(qPrintable(QStringLiteral("SQL failed: %1\n%2").arg(q.lastError().text(), sql)));
}

QString sysExec(const QString &sql)
{
    QSqlQuery q(sysConn());
    if (q.exec(sql))
        return QString();
    const QString why = q.lastError().databaseText();
    return why.isEmpty() ? q.lastError().text() : why;
}

QVariant sysScalar(const QString &sql)
{
    QSqlQuery q(sysConn());
    if (!q.exec(sql)) {
        qWarning("SQL failed: %s\n%s", qPrintable(q.lastError().text()), qPrintable(sql));
        return QVariant();
    }
    return q.next() ? q.value(0) : QVariant();
}

Users::User signIn(const QString &connectionName, const QString &code)
{
    const Users::User u = Users::signIn(connectionName, code, QStringLiteral("тест"));
    Actor::set({u.name, u.role, QStringLiteral("тест")});
    return u;
}

Users::User signInAs(const QString &connectionName, const QString &role, const QString &name)
{
    // the built-in users' codes; a named user gets a personal code of its own
    static const QHash<QString, QPair<QString, QString>> builtin = {
        {QStringLiteral("administrator"), {QStringLiteral("Администратор"), QStringLiteral("63527140")}},
        {QStringLiteral("masters"), {QStringLiteral("masters"), QStringLiteral("masters")}},
        {QStringLiteral("econom"), {QStringLiteral("econom"), QStringLiteral("econom")}},
        {QStringLiteral("sklad"), {QStringLiteral("sklad"), QStringLiteral("sklad")}},
    };
    if (role.isEmpty()) {
        signOut(connectionName);
        return Users::User();
    }
    const auto b = builtin.value(role);
    if (name.isEmpty() || name == b.first)
        return signIn(connectionName, b.second);
    const QString code = QStringLiteral("тест-%1-%2").arg(role, name);
    try {
        return signIn(connectionName, code);
    } catch (const DbError &) {
        // not there yet: added as the owner (after a failover the user is
        // already on the new primary, and the first try signs in)
        addUser(name, role, code);
        forgiveSignIns();
        return signIn(connectionName, code);
    }
}

void signOut(const QString &connectionName)
{
    const QVariant pid = Gateway::run(connectionName, QStringLiteral("select pg_backend_pid()")).valueAt(0, 0);
    exec(QStringLiteral("delete from accounts_dep.session_ties where pid = %1").arg(pid.toInt()));
    SessionTie::forget(connectionName);
    Actor::clear();
}

int addUser(const QString &name, const QString &role, const QString &code)
{
    QSqlQuery q(ownerConn());
    q.prepare(QStringLiteral("insert into accounts_dep.users (name, role, code_hash, code_index) "
                             "values (?, ?, accounts_dep.code_hash(?), accounts_dep.code_index(?)) returning id"));
    for (const QString &v : {name, role, code, code})
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        qFatal("cannot add the user %s: %s", qPrintable(name), qPrintable(q.lastError().text()));
    return q.value(0).toInt();
}

void letSysWrite(const QStringList &tables)
{
    for (const QString &t : tables) {
        exec(QStringLiteral("grant insert, update, delete on accounts_dep.%1 to sys").arg(t));
        const QString seq = scalar(QStringLiteral("select pg_get_serial_sequence('accounts_dep.%1', 'id')").arg(t)).toString();
        if (!seq.isEmpty())
            exec(QStringLiteral("grant usage on sequence %1 to sys").arg(seq));
    }
}

void forgiveSignIns()
{
    exec(QStringLiteral("select accounts_dep.sign_in_forgive(accounts_dep.sign_in_address())"));
}

void adminExec(const QString &sql)
{
    ensureDatabase();
    QSqlQuery q(connect(kAdmin, QStringLiteral("postgres"), qEnvironmentVariable("PGUSER", QStringLiteral("postgres"))));
    if (!q.exec(sql))
        QFAIL(qPrintable(QStringLiteral("SQL failed: %1\n%2").arg(q.lastError().text(), sql)));
}

QVariant scalar(const QString &sql)
{
    QSqlQuery q(ownerConn());
    if (!q.exec(sql)) {
        qWarning("SQL failed: %s\n%s", qPrintable(q.lastError().text()), qPrintable(sql));
        return QVariant();
    }
    return q.next() ? q.value(0) : QVariant();
}

QList<QVariantList> rows(const QString &sql)
{
    QList<QVariantList> out;
    QSqlQuery q(ownerConn());
    if (!q.exec(sql)) {
        qWarning("SQL failed: %s\n%s", qPrintable(q.lastError().text()), qPrintable(sql));
        return out;
    }
    while (q.next()) {
        QVariantList r;
        for (int i = 0; i < q.record().count(); ++i)
            r << q.value(i);
        out << r;
    }
    return out;
}

RefusedWrites::RefusedWrites(const QString &table, const QString &events) : m_table(table)
{
    exec(QStringLiteral("create or replace function accounts_dep.refuse_writes() returns trigger language plpgsql as "
                        "$$ begin raise exception 'запись запрещена'; end $$"));
    exec(QStringLiteral("create trigger refuse_writes before %1 on %2 for each row execute function accounts_dep.refuse_writes()")
             .arg(events, table));
}

RefusedWrites::~RefusedWrites()
{
    exec(QStringLiteral("drop trigger if exists refuse_writes on %1").arg(m_table));
}

void clearData()
{
    exec(QStringLiteral(
        "delete from accounts_dep.smena; delete from accounts_dep.h_tabel; delete from accounts_dep.fatigue;"
        "delete from accounts_dep.norm where o_id not in (7777, 7778);"
        "delete from accounts_dep.oper where id not in (7777, 7778);"
        "delete from accounts_dep.vid_oper where id not in (7777, 7778);"
        "delete from accounts_dep.person; delete from cmn_contractor.person;"
        "delete from cmn_gds_and_srv.gds_and_srv; delete from cmn_classifier.item;"
        "delete from adm_role.roles; delete from hrms_staffpos.staffpos; delete from cmn_department.department;"
        "delete from accounts_dep.ver; delete from accounts_dep.workers; delete from accounts_dep.nomenkl;"));
}

std::unique_ptr<AppContext> startApp(const QStringList &extraArgs) { return startAppAt(host(), extraArgs); }

std::unique_ptr<AppContext> startAppAt(const QString &server, const QStringList &extraArgs)
{
    ensureDatabase();
    StartOptions opt;
    opt.showSignIn = false;
    auto ctx = startUp(QStringList{QStringLiteral("tabel"), g_name, server} + extraArgs, opt);
    if (!ctx->connected)
        qFatal("the program could not connect to the test database");
    // the user the test works as (TABEL_TEST_MAIN: the administrator), signed
    // in on the program's connection as the sign-in window would
    if (Actor::isSet()) {
        const Actor::Who who = Actor::current();
        signInAs(ctx->forms.DataModule6->connectionName(), who.role, who.name);
    }
    return ctx;
}

} // namespace TestDb

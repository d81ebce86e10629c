#pragma once
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <memory>

#include "records/Users.h"

class AppContext;

// The throwaway database of one test binary: a clone of the template that
// scripts/test prepared (schema only), dropped again at the end.
namespace TestDb {

QString host();         // socket folder of the throwaway cluster
QString databaseName(); // this binary's clone
// Clones the template once per process (idempotent) and drops it at exit;
// with TABEL_TEST_DATABASE set (a test's helper process) uses that database.
void ensureDatabase();

// Direct access as the owner of the schema (seeds, checks), on a connection of its own
void exec(const QString &sql);
QVariant scalar(const QString &sql);                 // first column of first row
QList<QVariantList> rows(const QString &sql);
// As the program's login, sys, on a connection of its own (what it may do):
// the server's refusal text, empty when the statement went through.
QString sysExec(const QString &sql);
QVariant sysScalar(const QString &sql);
// Signs in on a program connection as the program does (the database ties its
// server session to the user); throws DbError when refused.
Users::User signIn(const QString &connectionName, const QString &code);
// Signs in as a user of `role` ("administrator", "masters", ...): the built-in
// one, or one named `name` (added with a code of its own when missing).
Users::User signInAs(const QString &connectionName, const QString &role, const QString &name = QString());
// Unties the connection's server session from its user: it works as from outside the program.
void signOut(const QString &connectionName);
// A user with this code, added as the owner (a seed; the program's way is Users::add)
int addUser(const QString &name, const QString &role, const QString &code);
// Lets the program's login write these tables directly (it may not): for
// tests of the plumbing that carries statements, not of the rules.
void letSysWrite(const QStringList &tables);
// Clears the sign-in throttle of this machine's address (tests type wrong codes).
void forgiveSignIns();
// As the cluster's superuser (settings of the database itself and the like)
void adminExec(const QString &sql);

// While it lives, the server refuses writes to `table` (a trigger raising
// "запись запрещена"), as a closed period or a revoked right would.
class RefusedWrites {
public:
    explicit RefusedWrites(const QString &table, const QString &events = QStringLiteral("insert or update or delete"));
    ~RefusedWrites();
    RefusedWrites(const RefusedWrites &) = delete;
    RefusedWrites &operator=(const RefusedWrites &) = delete;
    static QString message() { return QStringLiteral("запись запрещена"); }

private:
    QString m_table;
};

// Empties every table the program writes, keeping the fixed work kinds
// 7777/7778, their operations and norms.
void clearData();

// Starts the program's start-up against the clone, without showing the sign-in.
std::unique_ptr<AppContext> startApp(const QStringList &extraArgs = {});
// The same with another server (a socket folder, e.g. a proxy's).
std::unique_ptr<AppContext> startAppAt(const QString &server, const QStringList &extraArgs = {});

} // namespace TestDb

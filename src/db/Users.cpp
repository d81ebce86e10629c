#include "Users.h"

#include "DbSession.h"
#include "Params.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace Users {

const char *const Administrator = "administrator";

namespace {
struct Tie {
    QString token;
    quint64 generation = 0;
};
QHash<QString, Tie> g_ties;
} // namespace

User signIn(const QString &connection, const QString &code, const QString &workstation)
{
    const QList<QStringList> rows = Params::exec(
        connection, QStringLiteral("select user_id, user_name, user_role, resume_token from accounts_dep.sign_in($1, $2)"),
        {code, workstation});
    if (rows.isEmpty())
        throw DbError(QStringLiteral("Введены неверные данные."));
    User u;
    u.id = rows[0].value(0).toInt();
    u.name = rows[0].value(1);
    u.role = rows[0].value(2);
    g_ties[connection] = {rows[0].value(3), DbSession::generation(connection)};
    return u;
}

void resume(const QString &connection)
{
    const auto it = g_ties.find(connection);
    if (it == g_ties.end())
        return;
    Params::exec(connection, QStringLiteral("select user_id from accounts_dep.session_resume($1)"), {it->token});
    it->generation = DbSession::generation(connection);
}

bool signedIn(const QString &connection) { return g_ties.contains(connection); }

void tieAlso(const QString &connection, const QString &signedInConnection)
{
    const auto it = g_ties.constFind(signedInConnection);
    if (it == g_ties.constEnd())
        return;
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare(QStringLiteral("select user_id from accounts_dep.session_resume(?)"));
    q.addBindValue(it->token);
    if (!q.exec())
        throw DbError(q.lastError().databaseText(), q.lastQuery());
}
void forget(const QString &connection) { g_ties.remove(connection); }
quint64 tiedGeneration(const QString &connection) { return g_ties.value(connection).generation; }

QList<User> all(const QString &connection)
{
    QSqlQuery q(DbSession::database(connection));
    DbSession::exec(q, connection,
                    QStringLiteral("select id, name, role, active, builtin, default_code from accounts_dep.users order by name, id"),
                    DbSession::Retry::Read);
    QList<User> out;
    while (q.next()) {
        User u;
        u.id = q.value(0).toInt();
        u.name = q.value(1).toString();
        u.role = q.value(2).toString();
        u.active = q.value(3).toBool();
        u.builtin = q.value(4).toBool();
        u.defaultCode = q.value(5).toBool();
        out.append(u);
    }
    return out;
}

int add(const QString &connection, const QString &name, const QString &role, const QString &code)
{
    const QList<QStringList> rows =
        Params::exec(connection, QStringLiteral("select accounts_dep.user_add($1, $2, $3)"), {name, role, code});
    return rows.isEmpty() ? 0 : rows[0].value(0).toInt();
}

void setCode(const QString &connection, int id, const QString &code)
{
    Params::exec(connection, QStringLiteral("select accounts_dep.user_set_code($1::int, $2)"), {QString::number(id), code});
}

void setRole(const QString &connection, int id, const QString &role)
{
    Params::exec(connection, QStringLiteral("select accounts_dep.user_set_role($1::int, $2)"), {QString::number(id), role});
}

void setActive(const QString &connection, int id, bool active)
{
    Params::exec(connection, QStringLiteral("select accounts_dep.user_set_active($1::int, $2::boolean)"),
                 {QString::number(id), active ? QStringLiteral("true") : QStringLiteral("false")});
}

QString codeProblem(const QString &code)
{
    if (code.trimmed().isEmpty() || code != code.trimmed())
        return QStringLiteral("Код не может быть пустым и не может начинаться или кончаться пробелом.");
    if (code.size() < kMinCodeLength)
        return QStringLiteral("Код должен быть не короче %1 знаков: короткий код легко подобрать.").arg(kMinCodeLength);
    return QString();
}

QString roleCaption(const QString &role)
{
    if (role == QLatin1String(Administrator))
        return QStringLiteral("администратор");
    return role;
}

} // namespace Users

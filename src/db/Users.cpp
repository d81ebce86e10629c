#include "Users.h"

#include "DbSession.h"
#include "Gateway.h"

#include <QHash>

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
    // Sent again on a reopened connection: that ties the new server session.
    Rows q = DbSession::execBound(
        connection, QStringLiteral("select user_id, user_name, user_role, resume_token from accounts_dep.sign_in(?, ?)"),
        {code, workstation}, DbSession::Retry::Read);
    if (!q.next())
        throw DbError(QStringLiteral("Введены неверные данные."));
    User u;
    u.id = q.value(0).toInt();
    u.name = q.value(1).toString();
    u.role = q.value(2).toString();
    g_ties[connection] = {q.value(3).toString(), DbSession::generation(connection)};
    return u;
}

void resume(const QString &connection)
{
    const auto it = g_ties.find(connection);
    if (it == g_ties.end())
        return;
    // Runs while a connection is being opened again: a loss here is an error.
    Gateway::run(connection, QStringLiteral("select user_id from accounts_dep.session_resume(?)"), {it->token},
                 Gateway::Retry::Opening);
    it->generation = DbSession::generation(connection);
}

bool signedIn(const QString &connection) { return g_ties.contains(connection); }

void tieAlso(const QString &connection, const QString &signedInConnection)
{
    const auto it = g_ties.constFind(signedInConnection);
    if (it == g_ties.constEnd())
        return;
    Gateway::run(connection, QStringLiteral("select user_id from accounts_dep.session_resume(?)"), {it->token},
                 Gateway::Retry::Never);
}
void forget(const QString &connection) { g_ties.remove(connection); }
quint64 tiedGeneration(const QString &connection) { return g_ties.value(connection).generation; }

QList<User> all(const QString &connection)
{
    Rows q = DbSession::exec(connection,
                             QStringLiteral("select id, name, role, active, builtin, default_code from accounts_dep.users "
                                            "order by name, id"),
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

namespace {
// Each change is one call of its function, in a transaction of its own.
Rows call(const QString &connection, const QString &sql, const QVariantList &values)
{
    return DbSession::execBound(connection, sql, values, DbSession::Retry::Never);
}
} // namespace

int add(const QString &connection, const QString &name, const QString &role, const QString &code)
{
    Rows q = call(connection, QStringLiteral("select accounts_dep.user_add(?, ?, ?)"), {name, role, code});
    return q.next() ? q.value(0).toInt() : 0;
}

void setCode(const QString &connection, int id, const QString &code)
{
    call(connection, QStringLiteral("select accounts_dep.user_set_code(?::int, ?)"), {id, code});
}

void setRole(const QString &connection, int id, const QString &role)
{
    call(connection, QStringLiteral("select accounts_dep.user_set_role(?::int, ?)"), {id, role});
}

void setActive(const QString &connection, int id, bool active)
{
    call(connection, QStringLiteral("select accounts_dep.user_set_active(?::int, ?::boolean)"), {id, active});
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
        return QStringLiteral("Администратор");
    if (role == QLatin1String("masters"))
        return QStringLiteral("Мастер");
    if (role == QLatin1String("econom"))
        return QStringLiteral("Экономист");
    if (role == QLatin1String("sklad"))
        return QStringLiteral("Склад");
    return role;
}

} // namespace Users

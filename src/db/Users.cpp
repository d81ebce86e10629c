#include "Users.h"

#include "DbSession.h"
#include "Transaction.h"


namespace Users {

const char *const Administrator = "administrator";

std::optional<User> byCode(const QString &connection, const QString &code)
{
    Rows q = DbSession::execBound(connection, QStringLiteral("select id, name, role from accounts_dep.user_by_code(?)"), {code},
                                  DbSession::Retry::Read);
    if (!q.next())
        return std::nullopt;
    User u;
    u.id = q.value(0).toInt();
    u.name = q.value(1).toString();
    u.role = q.value(2).toString();
    return u;
}

QList<User> all(const QString &connection)
{
    Rows q = DbSession::exec(connection,
                    QStringLiteral("select id, name, role, active, builtin from accounts_dep.users order by name, id"),
                    DbSession::Retry::Read);
    QList<User> out;
    while (q.next()) {
        User u;
        u.id = q.value(0).toInt();
        u.name = q.value(1).toString();
        u.role = q.value(2).toString();
        u.active = q.value(3).toBool();
        u.builtin = q.value(4).toBool();
        out.append(u);
    }
    return out;
}

namespace {
Rows run(const QString &connection, const QString &sql, const QVariantList &values)
{
    return DbSession::execBound(connection, sql, values, DbSession::Retry::Never);
}
} // namespace

int add(const QString &connection, const QString &name, const QString &role, const QString &code)
{
    Transaction tx(connection);
    Rows q = run(connection, QStringLiteral("select accounts_dep.user_add(?, ?, ?)"), {name, role, code});
    const int id = q.next() ? q.value(0).toInt() : 0;
    tx.commit();
    return id;
}

void setCode(const QString &connection, int id, const QString &code)
{
    Transaction tx(connection);
    run(connection, QStringLiteral("select accounts_dep.user_set_code(?, ?)"), {id, code});
    tx.commit();
}

void setRole(const QString &connection, int id, const QString &role)
{
    Transaction tx(connection);
    run(connection, QStringLiteral("update accounts_dep.users set role = ? where id = ?"), {role, id});
    tx.commit();
}

void setActive(const QString &connection, int id, bool active)
{
    Transaction tx(connection);
    run(connection, QStringLiteral("update accounts_dep.users set active = ? where id = ?"), {active, id});
    tx.commit();
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

#include "Users.h"

#include "db/DbSession.h"
#include "db/SessionTie.h"

namespace Users {

const char *const Administrator = "administrator";

User signIn(const QString &connection, const QString &code, const QString &workstation)
{
    const SessionTie::Who w = SessionTie::signIn(connection, code, workstation);
    User u;
    u.id = w.id;
    u.name = w.name;
    u.role = w.role;
    u.mustChange = w.mustChange;
    return u;
}

void setOwnCode(const QString &connection, const QString &code) { SessionTie::setOwnCode(connection, code); }

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

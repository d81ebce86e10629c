#include "Actor.h"

#include "DbError.h"
#include "DbSession.h"

#include <QSqlQuery>

namespace Actor {

const char *const UserSetting = "tabel.user";
const char *const RoleSetting = "tabel.role";
const char *const WorkstationSetting = "tabel.workstation";

namespace {
Who g_who;
bool g_set = false;
} // namespace

void set(const Who &who)
{
    g_who = who;
    g_set = true;
}

void clear()
{
    g_who = Who();
    g_set = false;
}

const Who &current() { return g_who; }
bool isSet() { return g_set; }

void apply(const QString &connection)
{
    if (!g_set)
        return;
    QSqlQuery q(DbSession::database(connection));
    q.prepare(QStringLiteral("select set_config('%1', ?, true), set_config('%2', ?, true), set_config('%3', ?, true)")
                  .arg(QLatin1String(UserSetting), QLatin1String(RoleSetting), QLatin1String(WorkstationSetting)));
    q.addBindValue(g_who.name);
    q.addBindValue(g_who.role);
    q.addBindValue(g_who.workstation);
    DbSession::execPrepared(q, connection, DbSession::Retry::Never);
}

} // namespace Actor

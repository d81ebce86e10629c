#include "Actor.h"

#include "DbError.h"
#include "DbSession.h"


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
    DbSession::execBound(connection,
                         QStringLiteral("select set_config('%1', ?, true), set_config('%2', ?, true), set_config('%3', ?, true)")
                             .arg(QLatin1String(UserSetting), QLatin1String(RoleSetting), QLatin1String(WorkstationSetting)),
                         {g_who.name, g_who.role, g_who.workstation}, DbSession::Retry::Never);
}

} // namespace Actor

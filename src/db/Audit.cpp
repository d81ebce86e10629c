#include "Audit.h"

#include "Actor.h"
#include "DbSession.h"

#include <QJsonDocument>

namespace Audit {

void action(const QString &connection, const QString &action, const QString &key, const QJsonObject &details)
{
    DbSession::execBound(connection, QStringLiteral("select accounts_dep.record_action(?, ?, cast(? as jsonb))"),
                         {action, key, QString::fromUtf8(QJsonDocument(details).toJson(QJsonDocument::Compact))},
                         DbSession::Retry::Never);
}

QString monthKey(int year, int month)
{
    return QStringLiteral("%1-%2").arg(year).arg(month, 2, 10, QLatin1Char('0'));
}

void setSessionActor(const QString &connection)
{
    if (!Actor::isSet())
        return;
    const Actor::Who &who = Actor::current();
    DbSession::execBound(connection,
                         QStringLiteral("select set_config('%1', ?, false), set_config('%2', ?, false), set_config('%3', ?, false)")
                             .arg(QLatin1String(Actor::UserSetting), QLatin1String(Actor::RoleSetting),
                                  QLatin1String(Actor::WorkstationSetting)),
                         {who.name, who.role, who.workstation}, DbSession::Retry::Never);
}

} // namespace Audit

#include "Audit.h"

#include "db/DbSession.h"

#include <QJsonDocument>

namespace Audit {

void action(const QString &connection, const QString &action, const QString &key, const QJsonObject &details)
{
    DbSession::execBound(connection, QStringLiteral("select accounts_dep.record_action(?, ?, cast(? as jsonb))"),
                         {action, key, QString::fromUtf8(QJsonDocument(details).toJson(QJsonDocument::Compact))},
                         DbSession::Retry::Never);
}

} // namespace Audit

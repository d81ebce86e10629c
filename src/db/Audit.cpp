#include "Audit.h"

#include "DbSession.h"

#include <QJsonDocument>
#include <QSqlQuery>

namespace Audit {

void action(const QString &connection, const QString &action, const QString &key, const QJsonObject &details)
{
    QSqlQuery q(DbSession::database(connection));
    q.prepare(QStringLiteral("select accounts_dep.record_action(?, ?, cast(? as jsonb))"));
    q.addBindValue(action);
    q.addBindValue(key);
    q.addBindValue(QString::fromUtf8(QJsonDocument(details).toJson(QJsonDocument::Compact)));
    DbSession::execPrepared(q, connection, DbSession::Retry::Never);
}

QString monthKey(int year, int month)
{
    return QStringLiteral("%1-%2").arg(year).arg(month, 2, 10, QLatin1Char('0'));
}

} // namespace Audit

#include "Write.h"

#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/Transaction.h"

namespace Write {

Outcome inTransaction(const QString &connection, const std::function<Outcome()> &body)
{
    try {
        Transaction tx(connection);
        const Outcome o = body();
        if (!o.ok())
            return o; // the guard rolls back
        tx.commit();
        return o;
    } catch (const DbError &e) {
        return Outcome::refused(Outcome::Refused, e.text());
    }
}

QSqlQuery run(const QString &connection, const QString &sql, const QVariantList &values)
{
    QSqlQuery q(DbSession::database(connection));
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (values.isEmpty())
        DbSession::exec(q, connection, sql, DbSession::Retry::Never);
    else
        DbSession::execBound(q, connection, sql, values, DbSession::Retry::Never);
    return q;
}

QVariant keyValue(const QUuid &key)
{
    return key.isNull() ? QVariant() : QVariant(key.toString(QUuid::WithoutBraces));
}

} // namespace Write

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

Rows run(const QString &connection, const QString &sql, const QVariantList &values)
{
    return DbSession::execBound(connection, sql, values, DbSession::Retry::Never);
}

QVariant keyValue(const QUuid &key)
{
    return key.isNull() ? QVariant() : QVariant(key.toString(QUuid::WithoutBraces));
}

qint64 storedByKey(const QString &connection, const QString &table, const QUuid &key, qint64 id)
{
    if (key.isNull())
        return 0;
    Rows k = run(connection, QStringLiteral("select id from ") + table + QStringLiteral(" where save_key=?::uuid"), {keyValue(key)});
    if (k.next() && (id == 0 || k.value(0).toLongLong() == id))
        return k.value(0).toLongLong();
    return 0;
}

} // namespace Write

#include "Entries.h"

#include "Write.h"

namespace Entries {

Gateway::Call saveCall(const Entry &e)
{
    const bool knownPlace = e.id != 0 && e.oldDate.isValid();
    return {QStringLiteral("select status, id, message from accounts_dep.entry_save(?::bigint, ?::int, ?::int, ?::int, "
                           "?::boolean, ?::boolean, ?::int, ?::int, ?::int, ?::int, ?::int, ?::date, ?::uuid, ?::int, ?::int, ?::date)"),
            {e.id, e.worker, e.item, e.operation, Write::flag(e.reprice), Write::flag(e.dayOff), e.quantity, e.defects, e.hours, e.colour,
             e.shift, Write::dateValue(e.date), Write::keyValue(e.key), knownPlace ? QVariant(e.oldWorker) : QVariant(),
             knownPlace ? QVariant(e.oldShift) : QVariant(), knownPlace ? Write::dateValue(e.oldDate) : QVariant()}};
}

Outcome save(const QString &connection, const Entry &e)
{
    const Gateway::Call c = saveCall(e);
    return Write::call(connection, c.text, c.values);
}

Outcome remove(const QString &connection, qint64 id)
{
    return Write::call(connection, QStringLiteral("select status, id, message from accounts_dep.entry_delete(?::bigint)"), {id});
}

Outcome setMark(const QString &connection, qint64 id, const QString &mark)
{
    return Write::call(connection, QStringLiteral("select status, id, message from accounts_dep.entry_mark(?::bigint, ?::text)"),
                       {id, mark});
}

} // namespace Entries

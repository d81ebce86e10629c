#include "HousekeepingEntries.h"

#include "db/Gateway.h"
#include "Write.h"

namespace HousekeepingEntries {

Outcome save(const QString &connection, const Entry &e)
{
    return Write::call(connection,
                       QStringLiteral("select status, id, message from accounts_dep.housekeeping_save(?::bigint, ?::int, ?::bigint, "
                                      "?::int, ?::date, ?::int, ?::int, ?::boolean, ?::boolean, ?::uuid)"),
                       {e.id, e.worker, e.nomenclature, e.kind, Write::dateValue(e.date), e.shift, e.hours, Write::flag(e.holiday),
                        Write::flag(e.night), Write::keyValue(e.key)});
}

Outcome remove(const QString &connection, qint64 id)
{
    return Write::call(connection, QStringLiteral("select status, id, message from accounts_dep.housekeeping_delete(?::bigint)"),
                       {id});
}

Outcome recalculate(const QString &connection, int year, int month)
{
    const Gateway::LongStatements longer; // a whole month's entries
    return Write::call(connection,
                       QStringLiteral("select status, id, message from accounts_dep.average_piecework_recalculate(?::int, ?::int)"),
                       {year, month});
}

} // namespace HousekeepingEntries

#include "MonthRebuild.h"

#include "Write.h"
#include "db/DbError.h"
#include "db/Transaction.h"

#include <QDate>

namespace MonthRebuild {
namespace {

void rebuild(const QString &function, const QString &connection, int month, int year, const Progress &progress)
{
    if (!QDate(year, month, 1).isValid())
        throw DbError(QStringLiteral("Неверный месяц: %1.%2").arg(month).arg(year));
    Transaction tx(connection);
    Rows days = Write::run(connection, QStringLiteral("select d from accounts_dep.%1(?::int, ?::int) d").arg(function),
                                {year, month});
    while (days.next())
        if (progress)
            progress(days.value(0).toInt());
    tx.commit();
}

} // namespace

void shiftLines(const QString &connection, int month, int year, const Progress &progress)
{
    rebuild(QStringLiteral("month_rebuild_shifts"), connection, month, year, progress);
}

void housekeepingLines(const QString &connection, int month, int year, const Progress &progress)
{
    rebuild(QStringLiteral("month_rebuild_housekeeping"), connection, month, year, progress);
}

} // namespace MonthRebuild

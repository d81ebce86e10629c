#include "MonthRebuild.h"

#include "Write.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/Transaction.h"

#include <QDate>

namespace MonthRebuild {
namespace {

const QString ShiftLines = QStringLiteral("smena>0");
const QString HousekeepingLines = QStringLiteral("smena=0");

int countLines(const QString &connection, const QString &lines, int month, int year)
{
    Rows n = DbSession::execBound(
        connection, QStringLiteral("select count(*) from accounts_dep.h_tabel where %1 and month=?::int and year=?::int").arg(lines),
        {month, year}, DbSession::Retry::Read);
    return n.next() ? n.value(0).toInt() : 0;
}

int rebuild(const QString &function, const QString &lines, const QString &connection, int month, int year,
            const Progress &progress)
{
    if (!QDate(year, month, 1).isValid())
        throw DbError(QStringLiteral("Неверный месяц: %1.%2").arg(month).arg(year));
    Transaction tx(connection);
    Rows days = Write::run(connection, QStringLiteral("select d from accounts_dep.%1(?::int, ?::int) d").arg(function),
                                {year, month});
    while (days.next())
        if (progress)
            progress(days.value(0).toInt());
    const int made = countLines(connection, lines, month, year);
    tx.commit();
    return made;
}

} // namespace

int shiftLines(const QString &connection, int month, int year, const Progress &progress)
{
    return rebuild(QStringLiteral("month_rebuild_shifts"), ShiftLines, connection, month, year, progress);
}

int housekeepingLines(const QString &connection, int month, int year, const Progress &progress)
{
    return rebuild(QStringLiteral("month_rebuild_housekeeping"), HousekeepingLines, connection, month, year, progress);
}

int shiftLineCount(const QString &connection, int month, int year)
{
    return countLines(connection, ShiftLines, month, year);
}

int housekeepingLineCount(const QString &connection, int month, int year)
{
    return countLines(connection, HousekeepingLines, month, year);
}

} // namespace MonthRebuild

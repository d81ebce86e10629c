#include "ClosedMonths.h"

#include "db/DbError.h"
#include "db/DbSession.h"
#include "Write.h"


namespace ClosedMonths {

QString monthName(int year, int month)
{
    static const char *const names[] = {"январь", "февраль", "март", "апрель", "май", "июнь",
                                        "июль", "август", "сентябрь", "октябрь", "ноябрь", "декабрь"};
    if (month < 1 || month > 12)
        return QString::number(year);
    return QString::fromUtf8(names[month - 1]) + QLatin1Char(' ') + QString::number(year);
}

bool isClosed(const QString &connection, int year, int month)
{
    return !DbSession::execBound(connection, QStringLiteral("select 1 from accounts_dep.closed_months where year = ? and month = ?"),
                                 {year, month}, DbSession::Retry::Read)
                .isEmpty();
}

State state(const QString &connection, int year, int month)
{
    Rows q = DbSession::execBound(connection,
                                  QStringLiteral("select exists (select 1 from accounts_dep.closed_months where year = ?::int and month = ?::int), "
                                                 "accounts_dep.closed_month_text(?::int, ?::int)"),
                                  {year, month, year, month}, DbSession::Retry::Read);
    State s;
    if (q.next() && q.value(0).toBool()) {
        s.closed = true;
        s.text = q.value(1).toString();
    }
    return s;
}

static void change(const QString &connection, const QString &function, int year, int month)
{
    const Outcome o = Write::call(connection,
                                  QStringLiteral("select status, id, message from accounts_dep.%1(?::int, ?::int)").arg(function),
                                  {year, month});
    if (!o.ok())
        throw DbError(o.text);
}

void close(const QString &connection, int year, int month)
{
    change(connection, QStringLiteral("month_close"), year, month);
}

void reopen(const QString &connection, int year, int month)
{
    change(connection, QStringLiteral("month_reopen"), year, month);
}

QList<QPair<int, int>> closedWithRows(const QString &connection)
{
    const QString sql = QStringLiteral(
        "select c.year, c.month from accounts_dep.closed_months c "
        "where exists (select 1 from accounts_dep.smena s where s.data >= make_date(c.year, c.month, 1) "
        "                and s.data < make_date(c.year, c.month, 1) + interval '1 month') "
        "   or exists (select 1 from accounts_dep.fatigue f where f.d_date >= make_date(c.year, c.month, 1) "
        "                and f.d_date < make_date(c.year, c.month, 1) + interval '1 month') "
        "   or exists (select 1 from accounts_dep.h_tabel h where h.year = c.year and h.month = c.month) "
        "order by c.year, c.month");
    Rows q = DbSession::exec(connection, sql, DbSession::Retry::Read);
    QList<QPair<int, int>> out;
    while (q.next())
        out.append({q.value(0).toInt(), q.value(1).toInt()});
    return out;
}

void refuseIfAnyWithRows(const QString &connection, const QString &what)
{
    const QList<QPair<int, int>> months = closedWithRows(connection);
    if (months.isEmpty())
        return;
    QStringList names;
    for (const auto &m : months)
        names << monthName(m.first, m.second);
    throw DbError(QStringLiteral("%1 невозможен: он изменил бы закрытые месяцы (%2). Изменения в них невозможны.")
                      .arg(what, names.join(QStringLiteral(", "))));
}

} // namespace ClosedMonths

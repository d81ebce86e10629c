#include "DayCells.h"

#include "Dataset.h"
#include "DbError.h"
#include "DayColumns.h"
#include "DbSession.h"
#include "Sql.h"

#include <QMap>
#include <algorithm>
#include <limits>
#include <stdexcept>

namespace DayCells {
namespace {

void requireTransaction(const QString &connection)
{
    // A transaction-level lock taken outside a transaction ends with its statement.
    if (!DbSession::inTransaction(connection))
        throw std::logic_error("DayCells: a lock outside a transaction");
}

void run(const QString &connection, const QString &sql)
{
    Command c(connection);
    c.exec(sql);
}

qint64 toInt64(const QVariant &v)
{
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    if (ok)
        return n;
    const QString t = v.toString();
    const qint64 m = t.toLongLong(&ok);
    return ok ? m : qRound64(t.toDouble());
}

// A statement with bound values, inside the caller's transaction.
Rows runBound(const QString &connection, const QString &sql, const QVariantList &values)
{
    return DbSession::execBound(connection, sql, values, DbSession::Retry::Never);
}

// First row's first column as a 64-bit number; 0 when no row comes back.
qint64 scalarBound(const QString &connection, const QString &sql, const QVariantList &values)
{
    Rows q = runBound(connection, sql, values);
    return q.next() ? toInt64(q.value(0)) : 0;
}

QString dateText(const QDate &d) { return QStringLiteral("to_date('") + Sql::date(d) + QStringLiteral("', 'DD.MM.YYYY')"); }

// Count, sum, then update or insert: the same steps for both kinds of line.
// `line` is the where-clause naming the line (its values `lineValues`), `sum`
// the statement of the day's sum (its values `sumValues`), `insertCols` the
// line's identity columns for a new row (their values `lineValues` again).
void refreshCell(const QString &connection, const QString &line, const QVariantList &lineValues, const QString &sumSql,
                 const QVariantList &sumValues, const QString &insertCols, int worker, const QDate &date, MissingLine missing)
{
    const qint64 cnt = scalarBound(connection, QStringLiteral("select count(w_id) as cnt from accounts_dep.h_tabel") + line, lineValues);
    const int n = checkedHours(scalarBound(connection, sumSql, sumValues), worker, date);
    const QString K = DayColumns::name(date.day());
    if (cnt != 0) {
        runBound(connection, QStringLiteral("update accounts_dep.h_tabel set ") + K + QStringLiteral("=?") + line,
                 QVariantList{n} + lineValues);
        return;
    }
    if (missing == MissingLine::Leave || (missing == MissingLine::CreateUnlessZero && n == 0))
        return;
    QString marks;
    for (int i = 0; i < lineValues.size(); ++i)
        marks += QStringLiteral("?, ");
    runBound(connection, QStringLiteral("insert into accounts_dep.h_tabel(") + insertCols + QStringLiteral(", ") + K
                             + QStringLiteral(") values(") + marks + QStringLiteral("?)"),
             lineValues + QVariantList{n});
}

} // namespace

int monthKey(int year, int month) { return year * 100 + month; }

int checkedHours(qint64 sum, int worker, const QDate &date)
{
    if (sum > std::numeric_limits<int>::max() || sum < std::numeric_limits<int>::min())
        throw DbError(QStringLiteral("Часы работника %1 за %2 в сумме (%3) не помещаются в табель: наибольшее возможное "
                                     "значение 2147483647. Ничего не записано.")
                          .arg(worker)
                          .arg(Sql::date(date))
                          .arg(sum));
    return int(sum);
}

void lock(const QString &connection, const Locks &locks)
{
    requireTransaction(connection);
    // (month key, worker): worker -1 is the month's own key, so it comes
    // before the month's pairs; exclusive months keep their flag.
    struct Key {
        int month;
        int worker;
        bool exclusive;
        bool operator<(const Key &o) const { return month != o.month ? month < o.month : worker < o.worker; }
    };
    QList<Key> keys;
    QList<int> whole;
    for (const QDate &d : locks.wholeMonths)
        whole << monthKey(d);
    for (int m : whole)
        keys.append({m, -1, true});
    for (const WorkerMonth &wm : locks.workerMonths) {
        const int m = monthKey(wm.date);
        if (whole.contains(m))
            continue; // the whole month is held already
        keys.append({m, -1, false});
        keys.append({m, wm.worker, true});
    }
    std::sort(keys.begin(), keys.end());
    QList<Key> unique;
    for (const Key &k : keys) {
        if (!unique.isEmpty() && unique.last().month == k.month && unique.last().worker == k.worker) {
            unique.last().exclusive = unique.last().exclusive || k.exclusive;
            continue;
        }
        unique.append(k);
    }
    for (const Key &k : unique) {
        if (k.worker < 0)
            runBound(connection,
                     k.exclusive ? QStringLiteral("select pg_advisory_xact_lock(?::bigint)")
                                 : QStringLiteral("select pg_advisory_xact_lock_shared(?::bigint)"),
                     {k.month});
        else
            runBound(connection, QStringLiteral("select pg_advisory_xact_lock(?::int, ?::int)"), {k.month, k.worker});
    }
}

void refreshShift(const QString &connection, int worker, int shift, const QDate &date, MissingLine missing)
{
    const QVariantList line{shift, worker, date.month(), date.year()};
    refreshCell(connection, QStringLiteral(" where smena=? and w_id=? and month=? and year=?"), line,
                QStringLiteral("select sum(time) as tim from accounts_dep.smena where w_id=? and smena=? and data=to_date(?, "
                               "'DD.MM.YYYY') group by w_id, smena, data"),
                {worker, shift, Sql::date(date)}, QStringLiteral("smena, w_id, month, year"), worker, date, missing);
}

void refreshHousekeeping(const QString &connection, int worker, int kind, int night, const QDate &date, MissingLine missing)
{
    // An empty night flag is a day entry (0), as the column's default says.
    const QVariantList line{kind, worker, date.month(), date.year(), night};
    refreshCell(connection, QStringLiteral(" where i_type=? and w_id=? and month=? and year=? and coalesce(i_night,0)=?"), line,
                QStringLiteral("select sum(f.cnt) as tim from accounts_dep.fatigue f where f.id_p =?  and f.id_o=? and "
                               "coalesce(i_night,0)=? and f.d_date =? group by f.id_p, f.d_date"),
                {worker, kind, night, Sql::date(date)}, QStringLiteral("i_type, w_id, month, year, i_night"), worker, date,
                missing);
}

void refreshShiftCellsOfExistingLines(const QString &connection, const QVector<ShiftCell> &input)
{
    QVector<ShiftCell> cells;
    for (const ShiftCell &c : input)
        if (!cells.contains(c))
            cells.append(c);
    // day of month -> "(w, s, m, y, n)" rows
    QMap<int, QStringList> byDay;
    const int chunk = 500;
    for (int from = 0; from < cells.size(); from += chunk) {
        QStringList values;
        for (int i = from; i < std::min<int>(cells.size(), from + chunk); ++i)
            values << QStringLiteral("(%1, %2, %3)").arg(cells[i].worker).arg(cells[i].shift).arg(dateText(cells[i].date));
        Dataset sums(connection);
        sums.setSql(QStringLiteral("select v.w, v.s, v.d, coalesce(sum(s.time), 0) as tim from (values ") + values.join(QLatin1Char(','))
                    + QStringLiteral(") v(w, s, d) left join accounts_dep.smena s on s.w_id=v.w and s.smena=v.s and s.data=v.d "
                                     "group by v.w, v.s, v.d"));
        sums.open();
        for (int r = 0; r < sums.recordCount(); ++r) {
            const int w = int(toInt64(sums.valueAt(r, QStringLiteral("w"))));
            const QDate d = sums.valueAt(r, QStringLiteral("d")).toDate();
            const int n = checkedHours(toInt64(sums.valueAt(r, QStringLiteral("tim"))), w, d);
            byDay[d.day()] << QStringLiteral("(%1, %2, %3, %4, %5)")
                                  .arg(w)
                                  .arg(toInt64(sums.valueAt(r, QStringLiteral("s"))))
                                  .arg(d.month())
                                  .arg(d.year())
                                  .arg(n);
        }
    }
    // Everything checked: now the writes, one statement per day of month (and chunk).
    for (auto it = byDay.constBegin(); it != byDay.constEnd(); ++it)
        for (int from = 0; from < it->size(); from += chunk)
            run(connection, QStringLiteral("update accounts_dep.h_tabel h set %1=v.n from (values ").arg(DayColumns::name(it.key()))
                                + it->mid(from, chunk).join(QLatin1Char(','))
                                + QStringLiteral(") v(w, s, m, y, n) where h.w_id=v.w and h.smena=v.s and h.month=v.m and h.year=v.y"));
}

} // namespace DayCells

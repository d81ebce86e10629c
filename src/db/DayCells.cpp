#include "DayCells.h"

#include "Dataset.h"
#include "DbError.h"
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

// First row's column as a 64-bit number; 0 when no row comes back.
qint64 scalar(const QString &connection, const QString &sql, const QString &column)
{
    Dataset q(connection);
    q.setSql(sql);
    q.open();
    return q.isEmpty() ? 0 : toInt64(q.value(column));
}

QString dateText(const QDate &d) { return QStringLiteral("to_date('") + Sql::date(d) + QStringLiteral("', 'DD.MM.YYYY')"); }

// Count, sum, then update or insert: the same steps for both kinds of line.
// `line` is the where-clause naming the line, `insertCols`/`insertVals` the
// line's identity for a new row.
void refreshCell(const QString &connection, const QString &line, const QString &sumSql, const QString &insertCols,
                 const QString &insertVals, int worker, const QDate &date, MissingLine missing)
{
    const qint64 cnt = scalar(connection, QStringLiteral("select count(w_id) as cnt from accounts_dep.h_tabel") + line,
                              QStringLiteral("cnt"));
    const int n = checkedHours(scalar(connection, sumSql, QStringLiteral("tim")), worker, date);
    const QString K = QString::number(date.day());
    const QString N = QString::number(n);
    if (cnt != 0) {
        run(connection, QStringLiteral("update accounts_dep.h_tabel set d") + K + QStringLiteral("=") + N + line);
        return;
    }
    if (missing == MissingLine::Leave || (missing == MissingLine::CreateUnlessZero && n == 0))
        return;
    run(connection, QStringLiteral("insert into accounts_dep.h_tabel(") + insertCols.arg(K) + QStringLiteral(") values(")
                        + insertVals.arg(N) + QStringLiteral(")"));
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

void lockWorkerMonths(const QString &connection, QList<WorkerMonth> months)
{
    requireTransaction(connection);
    QList<QPair<int, int>> keys; // (month key, worker)
    for (const WorkerMonth &m : months)
        keys.append({monthKey(m.date), m.worker});
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    int lastMonth = 0;
    for (const auto &k : keys) {
        if (k.first != lastMonth) {
            run(connection, QStringLiteral("select pg_advisory_xact_lock_shared(%1::bigint)").arg(k.first));
            lastMonth = k.first;
        }
        run(connection, QStringLiteral("select pg_advisory_xact_lock(%1, %2)").arg(k.first).arg(k.second));
    }
}

void lockMonths(const QString &connection, QList<QDate> months)
{
    requireTransaction(connection);
    QList<int> keys;
    for (const QDate &d : months)
        keys.append(monthKey(d));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    for (int k : keys)
        run(connection, QStringLiteral("select pg_advisory_xact_lock(%1::bigint)").arg(k));
}

void refreshShift(const QString &connection, int worker, int shift, const QDate &date, MissingLine missing)
{
    const QString W = QString::number(worker);
    const QString S = QString::number(shift);
    const QString M = QString::number(date.month());
    const QString Y = QString::number(date.year());
    const QString line = QStringLiteral(" where w_id=") + W + QStringLiteral(" and smena=") + S + QStringLiteral(" and month=") + M
                         + QStringLiteral(" and year=") + Y;
    const QString sum = QStringLiteral("select sum(time) as tim from accounts_dep.smena where w_id=") + W + QStringLiteral(" and smena=") + S
                        + QStringLiteral(" and data=") + dateText(date) + QStringLiteral(" group by w_id, smena, data");
    refreshCell(connection, line, sum, QStringLiteral("smena, w_id, month, year, d%1"),
                S + QStringLiteral(", ") + W + QStringLiteral(", ") + M + QStringLiteral(", ") + Y + QStringLiteral(", %1"), worker,
                date, missing);
}

void refreshHousekeeping(const QString &connection, int worker, int kind, int night, const QDate &date, MissingLine missing)
{
    const QString W = QString::number(worker);
    const QString T = QString::number(kind);
    const QString N = QString::number(night);
    const QString M = QString::number(date.month());
    const QString Y = QString::number(date.year());
    const QString line = QStringLiteral(" where w_id=") + W + QStringLiteral(" and i_type=") + T + QStringLiteral(" and month=") + M
                         + QStringLiteral(" and year=") + Y + QStringLiteral(" and i_night=") + N;
    const QString sum = QStringLiteral("select sum(f.cnt) as tim from accounts_dep.fatigue f where f.id_p =") + W
                        + QStringLiteral("  and f.id_o=") + T + QStringLiteral(" and i_night=") + N + QStringLiteral(" and f.d_date =")
                        + dateText(date) + QStringLiteral(" group by f.id_p, f.d_date");
    refreshCell(connection, line, sum, QStringLiteral("i_type, w_id, month, year, d%1, i_night"),
                T + QStringLiteral(", ") + W + QStringLiteral(", ") + M + QStringLiteral(", ") + Y + QStringLiteral(", %1, ") + N,
                worker, date, missing);
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
            run(connection, QStringLiteral("update accounts_dep.h_tabel h set d%1=v.n from (values ").arg(it.key())
                                + it->mid(from, chunk).join(QLatin1Char(','))
                                + QStringLiteral(") v(w, s, m, y, n) where h.w_id=v.w and h.smena=v.s and h.month=v.m and h.year=v.y"));
}

} // namespace DayCells

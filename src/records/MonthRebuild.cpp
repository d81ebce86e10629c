#include "MonthRebuild.h"

#include "db/ChangeNotice.h"
#include "db/Dataset.h"
#include "db/DayCells.h"
#include "db/DayColumns.h"
#include "db/DbError.h"
#include "db/Transaction.h"
#include "db/Audit.h"
#include "db/ClosedMonths.h"

#include <QDate>
#include <map>

namespace MonthRebuild {
namespace {

// What distinguishes the two kinds of line.
struct LineKind {
    QString ownLines;          // the condition that selects this kind's lines of h_tabel
    QString daySums;           // the month's sums per day (:d1 to :d2 excluded), day column dd, value column tim
    QStringList keyFields;     // result columns that identify a line...
    QStringList keyColumns;    // ...and the h_tabel columns they go into
};

const LineKind &shiftKind()
{
    // Entries without a worker, or of a shift that is no shift, make no line.
    static const LineKind k{
        QStringLiteral("smena>0"),
        QStringLiteral(" select extract(day from data)::int as dd, smena, w_id, sum(time) as tim from accounts_dep.smena"
                       " where data>=:d1 and data<:d2 and smena>0 and w_id is not null group by data,smena,w_id order by data"),
        {QStringLiteral("smena"), QStringLiteral("w_id")},
        {QStringLiteral("smena"), QStringLiteral("w_id")},
    };
    return k;
}

const LineKind &housekeepingKind()
{
    // smena keeps its default 0, which marks a housekeeping line; an entry
    // without a night flag counts as a day entry, as the column's default says.
    static const LineKind k{
        QStringLiteral("smena=0"),
        QStringLiteral(" select f.id_p, f.id_o, coalesce(f.i_night,0) as i_night, sum(f.cnt) as tim"
                       ", extract(day from f.d_date)::int as dd"
                       " from accounts_dep.fatigue f where f.d_date>=:d1 and f.d_date<:d2 and f.id_p is not null and f.id_o is not null"
                       " group by f.d_date, f.id_p, f.id_o, coalesce(f.i_night,0) order by f.d_date"),
        {QStringLiteral("id_o"), QStringLiteral("id_p"), QStringLiteral("i_night")},
        {QStringLiteral("i_type"), QStringLiteral("w_id"), QStringLiteral("i_night")},
    };
    return k;
}

QString valueText(const QVariant &v)
{
    return v.isNull() ? QStringLiteral("NULL") : v.toString();
}

void rebuild(const LineKind &kind, const QString &connection, int month, int year, const Progress &progress)
{
    const QDate first(year, month, 1);
    if (!first.isValid())
        throw DbError(QStringLiteral("Неверный месяц: %1.%2").arg(month).arg(year));
    // One transaction: a failure leaves the month as it was, and other
    // workstations never see it half built.
    ClosedMonths::refuseIfClosed(connection, year, month);
    Transaction tx(connection);
    {
        Command cmd(connection);
        // Waits for entry saves of the month in progress and keeps new ones out until the end.
        DayCells::lockMonth(connection, year, month);
        Audit::action(connection, &kind == &shiftKind() ? QStringLiteral("пересборка табеля по сменам") : QStringLiteral("пересборка табеля хоз. работ"), Audit::monthKey(year, month));
        Command del(connection);
        del.setSql(QStringLiteral("delete from accounts_dep.h_tabel where %1 and month=:month and year=:year").arg(kind.ownLines));
        del.setParam(QStringLiteral("month"), month);
        del.setParam(QStringLiteral("year"), year);
        del.exec();

        // line key -> its 31 day cells
        std::map<QStringList, QStringList> lines;
        // One read of the month's sums, ordered by day; the progress still
        // advances day by day as they are taken in.
        Dataset sums(connection);
        sums.setSql(kind.daySums);
        sums.setParam(QStringLiteral("d1"), first);
        sums.setParam(QStringLiteral("d2"), first.addMonths(1));
        sums.open();
        const int days = first.daysInMonth();
        int r = 0;
        for (int d = 1; d <= days; ++d) {
            for (; r < sums.recordCount() && sums.valueAt(r, QStringLiteral("dd")).toInt() == d; ++r) {
                QStringList key;
                for (const QString &f : kind.keyFields)
                    key << valueText(sums.valueAt(r, f));
                auto it = lines.find(key);
                if (it == lines.end())
                    it = lines.emplace(key, QStringList(DayColumns::Count, QStringLiteral("NULL"))).first;
                it->second[d - 1] = valueText(sums.valueAt(r, QStringLiteral("tim")));
            }
            if (progress)
                progress(d);
        }
        sums.close();

        if (!lines.empty()) {
            QString sql = QStringLiteral("insert into accounts_dep.h_tabel(%1, month, year").arg(kind.keyColumns.join(QStringLiteral(", ")));
            sql += QStringLiteral(", ") + DayColumns::list(QStringLiteral("%1"));
            sql += QStringLiteral(") values ");
            bool firstRow = true;
            for (const auto &line : lines) {
                if (!firstRow)
                    sql += QLatin1Char(',');
                firstRow = false;
                sql += QLatin1Char('(') + line.first.join(QLatin1Char(',')) + QStringLiteral(",%1,%2,").arg(month).arg(year)
                    + line.second.join(QLatin1Char(',')) + QLatin1Char(')');
            }
            cmd.exec(sql);
        }
        ChangeNotice::Change c;
        c.table = ChangeNotice::Table::Timesheet;
        c.year = year;
        c.month = month;
        ChangeNotice::send(connection, c);
    }
    tx.commit();
}

} // namespace

void shiftLines(const QString &connection, int month, int year, const Progress &progress)
{
    rebuild(shiftKind(), connection, month, year, progress);
}

void housekeepingLines(const QString &connection, int month, int year, const Progress &progress)
{
    rebuild(housekeepingKind(), connection, month, year, progress);
}

} // namespace MonthRebuild

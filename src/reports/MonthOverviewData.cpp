#include "MonthOverviewData.h"

#include "db/Dataset.h"
#include "db/DayColumns.h"
#include "timesheets/MonthGrid.h"


using Printing::Decimal;

namespace {
Decimal dec(const QVariant &v)
{
    Decimal d;
    if (!v.isNull())
        Decimal::fromVariant(v, &d);
    return d;
}

qint64 whole(const QVariant &v) { return v.isNull() ? 0 : v.toString().toLongLong(); }

// The amount of an entry as the timesheet and the reports sum it: in numeric
// without a cap, so no stored entry can overflow a sum
const char *const Amount = "(s.kol_vo-s.brak)*s.cena::numeric";
} // namespace

Decimal MonthOverviewData::dayEarnings(const Day &d)
{
    Decimal sum;
    for (const Decimal &e : d.earnings)
        sum += e;
    return sum;
}

QVector<MonthOverviewData::WorkerRate> MonthOverviewData::topAndBottom(int top, int bottom) const
{
    if (rates.size() <= top + bottom)
        return rates;
    QVector<WorkerRate> out = rates.mid(0, top);
    out += rates.mid(rates.size() - bottom);
    return out;
}

QString MonthOverviewData::change(const Decimal &before, const Decimal &now, const QString &point)
{
    if (before.isZero())
        return now.isZero() ? QStringLiteral("0") + point + QStringLiteral("0 %") : QStringLiteral("—");
    const Decimal pct = (now - before) * Decimal::fromInt(100) / before;
    QString text = pct.toFixed(1);
    if (pct.compare(Decimal()) > 0)
        text.prepend(QLatin1Char('+'));
    return text.replace(QLatin1Char('.'), point) + QStringLiteral(" %");
}

QString MonthOverviewData::money(const Decimal &d, const QString &point)
{
    return d.toFixed(2).replace(QLatin1Char('.'), point);
}

int MonthOverviewData::drawnDays() const
{
    const QDate first(year, month, 1);
    if (!today.isValid() || first.addMonths(1) <= today)
        return days.size();
    if (first > today)
        return 0;
    return today.day();
}

QString MonthOverviewData::comparedTitle(bool before) const
{
    const QDate first = QDate(year, month, 1).addMonths(before ? -1 : 0);
    QString t = MonthGrid::monthName(first.month()) + QLatin1Char(' ') + QString::number(first.year());
    if (comparedDays > 0)
        t += QStringLiteral(", 1–%1").arg(qMin(comparedDays, first.daysInMonth()));
    return t;
}

QStringList MonthOverviewData::dealDifference(const QString &point) const
{
    const Decimal gap = deal - current.earnings;
    if (gap.isZero())
        return {};
    const bool more = gap.compare(Decimal()) > 0;
    // One sentence: the whole difference, then what makes it. With two causes
    // each says its own share; with one, it is the whole difference.
    const Decimal rest = current.earnings - deal - leftOut;
    QStringList causes;
    const bool both = !leftOut.isZero() && !rest.isZero();
    auto share = [&](const Decimal &d) { return both ? QStringLiteral(" (%1 р.)").arg(money(d, point)) : QString(); };
    if (!leftOut.isZero())
        causes << QStringLiteral("в «Сделка:» не входят записи без годных штук (только брак) или без цены, а в строках табеля они есть")
                      + share(leftOut);
    if (!rest.isZero())
        causes << QStringLiteral("в строках табеля сумма каждого рабочего округлена до копеек и нет рабочих без строки табеля за месяц")
                      + share(rest);
    return {QStringLiteral("«Сделка:» в табеле сдельщиков — %1 р., на %2 р. %3: %4.")
                .arg(money(deal, point), money(more ? gap : Decimal() - gap, point),
                     more ? QStringLiteral("больше") : QStringLiteral("меньше"), causes.join(QStringLiteral("; ")))};
}

MonthOverviewData MonthOverviewData::read(const QString &connection, int month, int year)
{
    MonthOverviewData o;
    o.month = month;
    o.year = year;
    const QDate first(year, month, 1), next = first.addMonths(1), before = first.addMonths(-1);
    const int length = first.daysInMonth();
    for (int d = 1; d <= length; ++d)
        o.days.append(Day{first.addDays(d - 1), {}, 0, 0, 0});
    const QString amount = QString::fromLatin1(Amount);

    // Days and shifts: earnings, good pieces and hours of the entries; the
    // month as a whole in the same reading (grouping row 3)
    Dataset days(connection);
    days.setSql(QStringLiteral("select s.data, s.smena, grouping(s.data, s.smena) g, round(sum(%1),2) earnings,"
                               " sum(s.kol_vo-s.brak) pieces, sum(s.time) hours from accounts_dep.smena s"
                               " where s.data>=:d_from and s.data<:d_to group by grouping sets ((s.data, s.smena), ())")
                    .arg(amount));
    days.setParam(QStringLiteral("d_from"), first);
    days.setParam(QStringLiteral("d_to"), next);
    days.open();
    for (int r = 0; r < days.recordCount(); ++r) {
        if (days.valueAt(r, QStringLiteral("g")).toInt() == 3) {
            o.current.pieces = whole(days.valueAt(r, QStringLiteral("pieces")));
            o.current.hours = whole(days.valueAt(r, QStringLiteral("hours")));
            continue;
        }
        const QDate date = days.valueAt(r, QStringLiteral("data")).toDate();
        if (!date.isValid() || date < first || date >= next)
            continue;
        Day &d = o.days[date.day() - 1];
        const int shift = days.valueAt(r, QStringLiteral("smena")).toInt();
        if (shift >= 1 && shift <= 4)
            d.earnings[shift - 1] += dec(days.valueAt(r, QStringLiteral("earnings")));
        d.pieces += whole(days.valueAt(r, QStringLiteral("pieces")));
        d.entryHours += whole(days.valueAt(r, QStringLiteral("hours")));
    }

    // What the piecework timesheet shows for the month: its rows (each worker
    // with a shift line, rounded per worker) and its "Сделка:" bar
    const QString lined = QStringLiteral(
        "exists (select 1 from accounts_dep.h_tabel h join cmn_contractor.person p on p.id=h.w_id"
        " where h.w_id=w.w_id and h.year=%1 and h.month=%2 and h.i_type=0)");
    Dataset money(connection);
    money.sql = QStringList{
        QStringLiteral("with w as (select s.w_id, round(sum(%1),2) e from accounts_dep.smena s").arg(amount),
        QStringLiteral(" where s.data>=:d_from and s.data<:d_to and s.w_id is not null group by s.w_id)"),
        QStringLiteral("select (select coalesce(sum(w.e),0) from w where %1) paid,")
            .arg(lined.arg(QStringLiteral(":i_year"), QStringLiteral(":i_month"))),
        QStringLiteral("(select round(coalesce(sum(%1),0),2) from accounts_dep.smena s").arg(amount),
        QStringLiteral(" where s.data>=:d_from and s.data<:d_to and s.cena>0 and s.kol_vo>0) deal,"),
        QStringLiteral("(select round(coalesce(sum(%1),0),2) from accounts_dep.smena s").arg(amount),
        QStringLiteral(" where s.data>=:d_from and s.data<:d_to and not (s.cena>0 and s.kol_vo>0)) left_out"),
    };
    money.setParam(QStringLiteral("d_from"), first);
    money.setParam(QStringLiteral("d_to"), next);
    money.setParam(QStringLiteral("i_year"), year);
    money.setParam(QStringLiteral("i_month"), month);
    money.open();
    if (money.recordCount() > 0) {
        o.current.earnings = dec(money.valueAt(0, QStringLiteral("paid")));
        o.deal = dec(money.valueAt(0, QStringLiteral("deal")));
        o.leftOut = dec(money.valueAt(0, QStringLiteral("left_out")));
    }

    // The timesheet's shift lines, day by day, in one row
    Dataset sheet(connection);
    sheet.setSql(QStringLiteral("select ") + DayColumns::list(QStringLiteral("sum(coalesce(h.%1,0)) %1"))
                 + QStringLiteral(" from accounts_dep.h_tabel h where h.year=:i_year and h.month=:i_month and h.i_type=0"));
    sheet.setParam(QStringLiteral("i_year"), year);
    sheet.setParam(QStringLiteral("i_month"), month);
    sheet.open();
    for (int d = 1; d <= length && sheet.recordCount() > 0; ++d)
        o.days[d - 1].sheetHours = whole(sheet.valueAt(0, DayColumns::name(d)));

    // Per worker: the timesheet's month hours, earnings and earnings per hour
    Dataset workers(connection);
    workers.sql = QStringList{
        QStringLiteral("with w as (select s.w_id, sum(s.time) hours, round(sum(%1),2) earnings,").arg(amount),
        QStringLiteral(" case when coalesce(sum(s.time),0)=0 then 0 else round(coalesce(sum(%1)/sum(s.time),0),2) end per_hour").arg(amount),
        QStringLiteral(" from accounts_dep.smena s where s.data>=:d_from and s.data<:d_to and s.w_id is not null group by s.w_id)"),
        QStringLiteral("select w.*, p.s_caption fio from w left join cmn_contractor.person p on p.id=w.w_id"),
        QStringLiteral("order by w.per_hour desc, p.s_caption, w.w_id"),
    };
    workers.setParam(QStringLiteral("d_from"), first);
    workers.setParam(QStringLiteral("d_to"), next);
    workers.open();
    o.current.workers = workers.recordCount(); // every worker with an entry this month
    for (int r = 0; r < workers.recordCount(); ++r) {
        WorkerRate w;
        w.worker = workers.valueAt(r, QStringLiteral("w_id")).toInt();
        w.name = workers.valueAt(r, QStringLiteral("fio")).toString();
        if (w.name.isEmpty())
            w.name = QStringLiteral("№ %1").arg(w.worker);
        w.hours = whole(workers.valueAt(r, QStringLiteral("hours")));
        w.earnings = dec(workers.valueAt(r, QStringLiteral("earnings")));
        w.perHour = dec(workers.valueAt(r, QStringLiteral("per_hour")));
        if (w.hours == 0)
            ++o.workersWithoutHours;
        else
            o.rates.append(w);
    }

    // Worker-days whose timesheet hours differ from their entries' hours
    const QString unpivot = DayColumns::list(QStringLiteral("(%2,h.%1)"), QStringLiteral(","));
    Dataset diff(connection);
    diff.sql = QStringList{
        QStringLiteral("with t as (select h.w_id, v.d, sum(coalesce(v.h,0)) hours from accounts_dep.h_tabel h"),
        QStringLiteral(" cross join lateral (values %1) v(d,h)").arg(unpivot),
        QStringLiteral(" where h.year=:i_year and h.month=:i_month and h.i_type=0 and v.d<=:days group by h.w_id, v.d),"),
        QStringLiteral("e as (select s.w_id, extract(day from s.data)::int d, sum(s.time) hours from accounts_dep.smena s"),
        QStringLiteral(" where s.data>=:d_from and s.data<:d_to and s.w_id is not null group by s.w_id, s.data)"),
        QStringLiteral("select coalesce(t.w_id,e.w_id) w_id, coalesce(t.d,e.d) d, coalesce(t.hours,0) sheet, coalesce(e.hours,0) entries, p.s_caption fio"),
        QStringLiteral("from t full join e on e.w_id=t.w_id and e.d=t.d"),
        QStringLiteral("left join cmn_contractor.person p on p.id=coalesce(t.w_id,e.w_id)"),
        QStringLiteral("where coalesce(t.hours,0)<>coalesce(e.hours,0)"),
        QStringLiteral("order by 2, fio, 1"),
    };
    diff.setParam(QStringLiteral("i_year"), year);
    diff.setParam(QStringLiteral("i_month"), month);
    diff.setParam(QStringLiteral("days"), length);
    diff.setParam(QStringLiteral("d_from"), first);
    diff.setParam(QStringLiteral("d_to"), next);
    diff.open();
    for (int r = 0; r < diff.recordCount(); ++r) {
        Mismatch m;
        m.worker = diff.valueAt(r, QStringLiteral("w_id")).toInt();
        m.name = diff.valueAt(r, QStringLiteral("fio")).toString();
        if (m.name.isEmpty())
            m.name = QStringLiteral("№ %1").arg(m.worker);
        m.date = first.addDays(diff.valueAt(r, QStringLiteral("d")).toInt() - 1);
        m.sheetHours = whole(diff.valueAt(r, QStringLiteral("sheet")));
        m.entryHours = whole(diff.valueAt(r, QStringLiteral("entries")));
        o.mismatches.append(m);
    }

    // The comparison, both months over the same days while this one runs
    // (its days to come have nothing yet), earnings counted as above
    o.today = QDate::currentDate();
    QDate to = next, beforeTo = first;
    if (first <= o.today && o.today < next && o.today.day() < length) {
        o.comparedDays = o.today.day();
        to = first.addDays(o.comparedDays);
        beforeTo = before.addDays(qMin(o.comparedDays, before.daysInMonth()));
    }
    Dataset totals(connection);
    totals.sql = QStringList{
        QStringLiteral("with w as (select (s.data>=:d_from)::int cur, s.w_id, round(sum(%1),2) e,").arg(amount),
        QStringLiteral(" sum(s.kol_vo-s.brak) pieces, sum(s.time) hours from accounts_dep.smena s"),
        QStringLiteral(" where (s.data>=:d_from and s.data<:d_to) or (s.data>=:d_before and s.data<:d_before_to)"),
        QStringLiteral(" group by 1, 2)"),
        QStringLiteral("select w.cur, coalesce(sum(w.e) filter (where %1),0) earnings,")
            .arg(lined.arg(QStringLiteral("case when w.cur=1 then cast(:i_year as integer) else cast(:b_year as integer) end"),
                           QStringLiteral("case when w.cur=1 then cast(:i_month as integer) else cast(:b_month as integer) end"))),
        QStringLiteral(" sum(w.pieces) pieces, sum(w.hours) hours, count(w.w_id) workers from w group by w.cur"),
    };
    totals.setParam(QStringLiteral("d_from"), first);
    totals.setParam(QStringLiteral("d_to"), to);
    totals.setParam(QStringLiteral("d_before"), before);
    totals.setParam(QStringLiteral("d_before_to"), beforeTo);
    totals.setParam(QStringLiteral("i_year"), year);
    totals.setParam(QStringLiteral("i_month"), month);
    totals.setParam(QStringLiteral("b_year"), before.year());
    totals.setParam(QStringLiteral("b_month"), before.month());
    totals.open();
    for (int r = 0; r < totals.recordCount(); ++r) {
        Totals &t = totals.valueAt(r, QStringLiteral("cur")).toInt() == 1 ? o.compared : o.previous;
        t.earnings = dec(totals.valueAt(r, QStringLiteral("earnings")));
        t.pieces = whole(totals.valueAt(r, QStringLiteral("pieces")));
        t.hours = whole(totals.valueAt(r, QStringLiteral("hours")));
        t.workers = totals.valueAt(r, QStringLiteral("workers")).toInt();
    }
    return o;
}

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

QString recalculationStatement(int year, int month)
{
    const QString M = QString::number(month);
    const QString Y = QString::number(year);
    const QString NM = QString::number(month == 12 ? 1 : month + 1);
    const QString NY = QString::number(month == 12 ? year + 1 : year);
    // as the database runs it: summed in numeric without a cap
    return QStringLiteral("UPDATE accounts_dep.fatigue f SET price=coalesce((select case when coalesce(sum(s.time),0)=0 "
                          "then 0 else round(coalesce(sum((s.kol_vo-s.brak)*(s.cena::numeric+s.cena::numeric*f.i_holiday))/sum(time),0), 2) end as "
                          "price  from cmn_classifier.item i, accounts_dep.smena s, accounts_dep.izdel gas, accounts_dep.person p where "
                          "i.id_level =2 and s.i_id = gas.id and gas.id_class_item =i.id  and s.data<'01.")
           + NM + QStringLiteral(".") + NY + QStringLiteral("' and s.data>='01.") + M + QStringLiteral(".") + Y
           + QStringLiteral("' and p.id=s.w_id and p.id=f.id_p and i.id=f.id_nom group by i.s_caption, i.id, p.id order by fio),0) "
                            "where i_mnth = ")
           + M + QStringLiteral(" and i_year = ") + Y + QStringLiteral(" and id_o =7778");
}

Outcome recalculate(const QString &connection, int year, int month)
{
    const Gateway::LongStatements longer; // a whole month's entries
    return Write::call(connection,
                       QStringLiteral("select status, id, message from accounts_dep.average_piecework_recalculate(?::int, ?::int)"),
                       {year, month});
}

} // namespace HousekeepingEntries

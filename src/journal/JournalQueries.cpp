#include "JournalQueries.h"

#include "db/TDataModule6.h"

namespace JournalQueries {

QStringList shiftStatement(int shift)
{
    if (shift == 1)
        return {
            QStringLiteral("select smena.id, smena.data, smena.smena, smena.i_id, smena.o_id, smena.w_id, "),
            QStringLiteral("smena.cena,person.s_caption fio, izdel.marka, vid_oper.vid, (SELECT (CASE naimen WHEN 0 THEN 'Готовая продукция' ELSE 'Заготовки' END)) as nmn, oper.naimen,  smena.brak, smena.kol_vo::numeric,"),
            QStringLiteral("round((kol_vo-brak)*smena.cena::numeric, 2) as summa, smena.prize, color,time, smena.ok, vvod, smena.id_doc, smena.id_doc_item, smena.f_gds_qty_use, smena.id_gds_use, smena.id_cons_use"),
            QStringLiteral("from cmn_contractor.person person, accounts_dep.izdel,accounts_dep.oper,accounts_dep.smena,accounts_dep.vid_oper "),
            QStringLiteral("where smena.i_id=izdel.id and smena.o_id=oper.id and (w_id=person.id or s_code::t_id=w_id) and "),
            QStringLiteral("oper.vid=vid_oper.id and smena.smena=1 and smena.data=:data and ok!=:ok order by "),
            QStringLiteral("fio, izdel.marka, vid_oper.vid, oper.naimen, color"),
        };
    if (shift < 1 || shift > 4)
        shift = 1;
    return {
        QStringLiteral("select smena.data, smena.smena, smena.i_id, smena.o_id, smena.w_id, "),
        QStringLiteral("smena.cena, s_caption fio, izdel.marka, vid_oper.vid, (SELECT (CASE naimen WHEN 0 THEN 'Готовая продукция' ELSE 'Заготовки' END)) as nmn, oper.naimen, smena.kol_vo::numeric, smena.brak, "),
        QStringLiteral("round((kol_vo-brak)*smena.cena::numeric, 2) as summa, smena.prize, smena.id, color,time,smena.ok,vvod, smena.id_doc, smena.id_doc_item, smena.f_gds_qty_use, smena.id_gds_use, smena.id_cons_use  "),
        QStringLiteral("from cmn_contractor.person person,accounts_dep.izdel,accounts_dep.oper,accounts_dep.smena,accounts_dep.vid_oper "),
        QStringLiteral("where smena.i_id=izdel.id and smena.o_id=oper.id and (w_id=person.id or s_code::t_id=w_id) and "),
        QStringLiteral("oper.vid=vid_oper.id and smena.smena=%1 and smena.data=:data and ok<>:ok order by fio").arg(shift),
    };
}

QString hiddenMark(const QString &)
{
    // Every role: "ta" marks entries that are kept but never listed.
    return QStringLiteral("ta");
}

QString closedStateStatement()
{
    // The text is the database's own, the one its refusals carry.
    return QStringLiteral("select exists (select 1 from accounts_dep.closed_months c where c.year = cast(:year as int) "
                          "and c.month = cast(:month as int)) as closed, "
                          "accounts_dep.closed_month_text(cast(:year as int), cast(:month as int)) as text");
}

} // namespace JournalQueries

JournalDay::JournalDay(TDataModule6 &dm) : m_dm(dm), m_closed(dm.connectionName())
{
    for (int s = 1; s <= 4; ++s) {
        m_dm.smena(s)->sql = JournalQueries::shiftStatement(s);
        m_dm.smena(s)->setParam(QStringLiteral("ok"), JournalQueries::hiddenMark(QString()));
    }
    m_closed.setSql(JournalQueries::closedStateStatement());
}

void JournalDay::setRole(const QString &role)
{
    for (int s = 1; s <= 4; ++s)
        m_dm.smena(s)->setParam(QStringLiteral("ok"), JournalQueries::hiddenMark(role));
}

void JournalDay::read(const QDate &day)
{
    for (int s = 1; s <= 4; ++s)
        m_dm.smena(s)->close();
    m_day = day;
    for (int s = 1; s <= 4; ++s)
        m_dm.smena(s)->setParam(QStringLiteral("data"), day);
    readTogether({m_dm.smena(1), m_dm.smena(2), m_dm.smena(3), m_dm.smena(4)});
}

void JournalDay::readAgain()
{
    readTogether({m_dm.smena(1), m_dm.smena(2), m_dm.smena(3), m_dm.smena(4)});
}

void JournalDay::readShift(int shift) { readTogether({m_dm.smena(shift)}); }

void JournalDay::readTogether(const QList<Dataset *> &shifts)
{
    // The month of the day the shift queries are bound to
    const QDate day = shifts.first()->param(QStringLiteral("data")).toDate();
    m_closed.setParam(QStringLiteral("year"), day.year());
    m_closed.setParam(QStringLiteral("month"), day.month());
    QList<Dataset *> all = shifts;
    all << &m_closed;
    Dataset::openTogether(all);
}

bool JournalDay::monthClosed() const { return m_closed.isOpen() && m_closed.value(QStringLiteral("closed")).toBool(); }

QString JournalDay::closedText() const { return monthClosed() ? m_closed.asString(QStringLiteral("text")) : QString(); }

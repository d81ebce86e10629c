#include "HousekeepingEntries.h"

#include "Write.h"
#include "db/Audit.h"
#include "db/ClosedMonths.h"
#include "db/ChangeNotice.h"
#include "db/DayCells.h"

#include <QVariant>

namespace HousekeepingEntries {
namespace {

// Where an entry stands in the database now; an empty night flag is day (0).
struct Stored {
    bool found = false;
    int worker = 0;
    int kind = 0;
    int night = 0;
    QDate date;
    bool operator!=(const Stored &o) const
    {
        return found != o.found || worker != o.worker || kind != o.kind || night != o.night || date != o.date;
    }
};

Stored stored(const QString &connection, qint64 id)
{
    Rows q = Write::run(connection,
                             QStringLiteral("select id_p, id_o, coalesce(i_night,0), d_date from accounts_dep.fatigue where id=?"), {id});
    Stored s;
    if (!q.next())
        return s;
    s.found = true;
    s.worker = q.value(0).toInt();
    s.kind = q.value(1).toInt();
    s.night = q.value(2).toInt();
    s.date = q.value(3).toDate();
    return s;
}

void notice(const QString &connection, int worker, const QDate &date)
{
    ChangeNotice::Change c;
    c.table = ChangeNotice::Table::Housekeeping;
    c.date = date;
    c.worker = worker;
    ChangeNotice::send(connection, c);
}

} // namespace

Outcome save(const QString &connection, const Entry &e)
{
    return Write::inTransaction(connection, [&]() -> Outcome {
        const bool adding = e.id == 0;
        // A press after an unknown outcome: the row stored by that press is found by its key.
        if (const qint64 id = Write::storedByKey(connection, QStringLiteral("accounts_dep.fatigue"), e.key, e.id))
            return Outcome::saved(id);

        // The entry and its day cells are written together, with the
        // worker's month locked against a second workstation.
        Stored old;
        QList<DayCells::WorkerMonth> months{{e.worker, e.date}};
        if (!adding) {
            old = stored(connection, e.id);
            if (!old.found)
                return Outcome::refused(Outcome::ChangedElsewhere,
                                        QStringLiteral("Позиция удалена на другом рабочем месте. Закройте окно и обновите список."));
            months = {{e.worker, old.date}, {old.worker, old.date}};
        }
        DayCells::lockWorkerMonths(connection, months);
        if (!adding && stored(connection, e.id) != old)
            return Outcome::refused(Outcome::ChangedElsewhere,
                                    QStringLiteral("Позиция только что изменена на другом рабочем месте. Закройте окно, откройте "
                                                   "список снова и измените её ещё раз."));

        const int night = e.night ? 1 : 0;
        const int holiday = e.holiday ? 1 : 0;
        qint64 id = e.id;
        if (adding) {
            Rows ins = Write::run(connection,
                                       QStringLiteral("INSERT INTO accounts_dep.fatigue(id_nom, id_o, id_p, d_date, i_mnth, i_year, "
                                                      "i_smena, cnt, price, i_holiday, i_night, save_key)VALUES(?, ? ,?, ?, ?, ?, ?, ?, "
                                                      "?, ?, ?, ?::uuid) returning id"),
                                       {e.nomenclature, e.kind, e.worker, e.date.toString(QStringLiteral("dd.MM.yyyy")),
                                        e.date.month(), e.date.year(), e.shift, e.hours, e.price, holiday, night,
                                        Write::keyValue(e.key)});
            if (ins.next())
                id = ins.value(0).toLongLong();
        } else {
            Write::run(connection,
                       QStringLiteral("UPDATE accounts_dep.fatigue SET id_nom=?, id_o=?, id_p=?, cnt=?, price=?, i_holiday=?, "
                                      "i_night=?, save_key=?::uuid where id=?"),
                       {e.nomenclature, e.kind, e.worker, e.hours, e.price, holiday, night, Write::keyValue(e.key), e.id});
        }

        // A change keeps the entry's date.
        const QDate date = adding ? e.date : old.date;
        DayCells::refreshHousekeeping(connection, e.worker, e.kind, night, date, DayCells::MissingLine::Create);
        notice(connection, e.worker, date);
        // A change that moved the entry to another worker or kind leaves a
        // cell that no longer holds its hours; no line is made just to hold a 0.
        if (!adding && (old.worker != e.worker || old.kind != e.kind || old.night != night)) {
            DayCells::refreshHousekeeping(connection, old.worker, old.kind, old.night, old.date,
                                          DayCells::MissingLine::CreateUnlessZero);
            if (old.worker != e.worker)
                notice(connection, old.worker, old.date);
        }
        return Outcome::saved(id);
    });
}

Outcome remove(const QString &connection, qint64 id)
{
    return Write::inTransaction(connection, [&]() -> Outcome {
        // Read the row, lock its worker's month, then delete it only if it
        // still stands where it was read: every lock is taken in one call.
        const Stored s = stored(connection, id);
        if (!s.found)
            return Outcome::refused(Outcome::ChangedElsewhere, QStringLiteral("Позиция уже удалена на другом рабочем месте."));
        DayCells::lockWorkerMonth(connection, s.worker, s.date);
        Rows gone = Write::run(connection,
                                    QStringLiteral("delete from accounts_dep.fatigue where id=? and id_p=? and id_o=? and "
                                                   "coalesce(i_night,0)=? and d_date=? returning id"),
                                    {id, s.worker, s.kind, s.night, s.date.toString(QStringLiteral("dd.MM.yyyy"))});
        if (!gone.next())
            return Outcome::refused(Outcome::ChangedElsewhere,
                                    QStringLiteral("Позиция только что изменена на другом рабочем месте. Откройте список снова и "
                                                   "удалите её ещё раз."));
        // With no hours left only that day's cell becomes 0; the line and its
        // other days stay, and no line is inserted.
        DayCells::refreshHousekeeping(connection, s.worker, s.kind, s.night, s.date, DayCells::MissingLine::Leave);
        notice(connection, s.worker, s.date);
        return Outcome::saved(id);
    });
}

QString recalculationStatement(int year, int month)
{
    const QString M = QString::number(month);
    const QString Y = QString::number(year);
    const QString NM = QString::number(month == 12 ? 1 : month + 1);
    const QString NY = QString::number(month == 12 ? year + 1 : year);
    return QStringLiteral("UPDATE accounts_dep.fatigue f SET price=coalesce((select case when coalesce(sum(s.time),0)::numeric(10,2)=0 "
                          "then 0 else  coalesce(sum((s.kol_vo-s.brak)*(s.cena+s.cena*f.i_holiday))/sum(time),0)::numeric(10,2) end as "
                          "price  from cmn_classifier.item i, accounts_dep.smena s, accounts_dep.izdel gas, accounts_dep.person p where "
                          "i.id_level =2 and s.i_id = gas.id and gas.id_class_item =i.id  and s.data<'01.")
           + NM + QStringLiteral(".") + NY + QStringLiteral("' and s.data>='01.") + M + QStringLiteral(".") + Y
           + QStringLiteral("' and p.id=s.w_id and p.id=f.id_p and i.id=f.id_nom group by i.s_caption, i.id, p.id order by fio),0) "
                            "where i_mnth = ")
           + M + QStringLiteral(" and i_year = ") + Y + QStringLiteral(" and id_o =7778");
}

Outcome recalculate(const QString &connection, int year, int month)
{
    if (ClosedMonths::isClosed(connection, year, month))
        return Outcome::refused(Outcome::Refused, ClosedMonths::refusalText(year, month));
    return Write::inTransaction(connection, [&]() -> Outcome {
        // The whole month at once: saves and deletions of the month wait.
        DayCells::lockMonth(connection, year, month);
        Audit::action(connection, QStringLiteral("пересчёт ср. сдельной"), Audit::monthKey(year, month));
        Write::run(connection, recalculationStatement(year, month));
        ChangeNotice::Change c;
        c.table = ChangeNotice::Table::Housekeeping;
        c.year = year;
        c.month = month;
        ChangeNotice::send(connection, c);
        return Outcome::saved();
    });
}

} // namespace HousekeepingEntries

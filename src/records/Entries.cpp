#include "Entries.h"

#include "Write.h"
#include "db/ChangeNotice.h"
#include "db/DayCells.h"

#include <QVariant>

namespace Entries {
namespace {

const char *const kDuplicate = "Позиция с такими параметрами уже заведена!";

// Where an entry stands in the database now (it may have been changed or
// deleted at another workstation since the journal was read).
struct Stored {
    bool found = false;
    int worker = 0;
    int shift = 0;
    QDate date;
    bool nullPlace = false; // no worker, shift or date: no day cell of its own
    bool operator!=(const Stored &o) const { return found != o.found || worker != o.worker || shift != o.shift || date != o.date; }
};

Stored stored(const QString &connection, qint64 id)
{
    Rows q = Write::run(connection, QStringLiteral("select w_id, smena, data from accounts_dep.smena where id=?"), {id});
    Stored s;
    if (!q.next())
        return s;
    s.found = true;
    s.nullPlace = q.value(0).isNull() || q.value(1).isNull() || q.value(2).isNull();
    s.worker = q.value(0).toInt();
    s.shift = q.value(1).toInt();
    s.date = q.value(2).toDate();
    return s;
}

void notice(const QString &connection, int worker, int shift, const QDate &date)
{
    ChangeNotice::Change c;
    c.table = ChangeNotice::Table::Entries;
    c.date = date;
    c.shift = shift;
    c.worker = worker;
    ChangeNotice::send(connection, c);
}

} // namespace

Outcome save(const QString &connection, const Entry &e)
{
    return Write::inTransaction(connection, [&]() -> Outcome {
        const bool adding = e.id == 0;
        // A press after an unknown outcome: the row stored by that press is found by its key.
        if (const qint64 id = Write::storedByKey(connection, QStringLiteral("accounts_dep.smena"), e.key, e.id))
            return Outcome::saved(id);

        // The entry and its day cells are written together, with the months
        // of the worker(s) concerned locked against a second workstation, so
        // the duplicate check and the line count stay true until the commit.
        Stored old;
        QList<DayCells::WorkerMonth> months{{e.worker, e.date}};
        if (!adding) {
            old = stored(connection, e.id);
            if (!old.found)
                return Outcome::refused(Outcome::ChangedElsewhere,
                                        QStringLiteral("Позиция удалена на другом рабочем месте. Закройте окно и обновите журнал."));
            months.append({old.worker, old.date});
        }
        DayCells::lockWorkerMonths(connection, months);
        if (!adding) {
            const Stored now = stored(connection, e.id);
            const bool movedSinceOpened = e.oldDate.isValid()
                                          && (e.oldWorker != now.worker || e.oldShift != now.shift || e.oldDate != now.date);
            if (now != old || movedSinceOpened)
                return Outcome::refused(Outcome::ChangedElsewhere,
                                        QStringLiteral("Позиция только что изменена на другом рабочем месте. Закройте окно, "
                                                       "обновите журнал и измените её снова."));
        }

        Rows dup = Write::run(connection,
                                   QStringLiteral("select count(id) as cnt from accounts_dep.SMENA where w_id=? and o_id=? and i_id=? "
                                                  "and data=to_date(?, 'DD.MM.YYYY') and smena=? and id<>? and color=?"),
                                   {e.worker, e.operation, e.item, e.date.toString(QStringLiteral("dd.MM.yyyy")), e.shift,
                                    adding ? qint64(0) : e.id, e.colour});
        if (dup.next() && dup.value(0).toLongLong() > 0)
            return Outcome::refused(Outcome::Duplicate, QString::fromUtf8(kDuplicate));

        const QString dateText = e.date.toString(QStringLiteral("dd.MM.yyyy"));
        const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
        qint64 id = e.id;
        if (adding) {
            Rows ins = Write::run(
                connection,
                QStringLiteral("insert into accounts_dep.SMENA(w_id, i_id, o_id, cena, kol_vo, brak, data, smena, color, time, vvod,ok, "
                               "prize, id_doc, id_doc_item, f_gds_qty_use, id_gds_use, id_cons_use, save_key) values(?, ?, ?, ?,?, ?, "
                               "to_date(?, 'DD.MM.YYYY HH24:MI:SS'), ?, ?, ?, ?, 'no', 0, 0, 0, 0, 0, 0, ?::uuid) returning id"),
                {e.worker, e.item, e.operation, e.price, e.quantity, e.defects, dateText, e.shift, e.colour, e.hours, today,
                 Write::keyValue(e.key)});
            if (ins.next())
                id = ins.value(0).toLongLong();
        } else {
            Write::run(connection,
                       QStringLiteral("update accounts_dep.SMENA set w_id=?, i_id=?, o_id=?, cena=?, kol_vo=?, brak=?, "
                                      "data=to_date(?, 'DD.MM.YYYY'), smena=?, color=?, time=?, vvod=?, prize=0, id_doc=0, "
                                      "id_doc_item=0, f_gds_qty_use=0, id_gds_use=0, id_cons_use=0, save_key=?::uuid where id=?"),
                       {e.worker, e.item, e.operation, e.price, e.quantity, e.defects, dateText, e.shift, e.colour, e.hours, today,
                        Write::keyValue(e.key), e.id});
        }

        DayCells::refreshShift(connection, e.worker, e.shift, e.date, DayCells::MissingLine::Create);
        notice(connection, e.worker, e.shift, e.date);
        // A change that moved the entry leaves a cell that no longer holds
        // its hours; it is corrected, but no line is made just to hold a 0.
        if (!adding && (old.worker != e.worker || old.shift != e.shift || old.date != e.date)) {
            if (!old.nullPlace)
                DayCells::refreshShift(connection, old.worker, old.shift, old.date, DayCells::MissingLine::CreateUnlessZero);
            notice(connection, old.worker, old.shift, old.date);
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
            return Outcome::refused(Outcome::ChangedElsewhere,
                                    QStringLiteral("Позиция уже удалена на другом рабочем месте."));
        if (!s.nullPlace)
            DayCells::lockWorkerMonth(connection, s.worker, s.date);
        Rows gone = Write::run(connection,
                                    QStringLiteral("delete from accounts_dep.smena where id=? and w_id is not distinct from ? "
                                                   "and smena is not distinct from ? and data is not distinct from ? returning id"),
                                    {id, s.nullPlace ? QVariant() : QVariant(s.worker), s.nullPlace ? QVariant() : QVariant(s.shift),
                                     s.nullPlace ? QVariant() : QVariant(s.date.toString(QStringLiteral("dd.MM.yyyy")))});
        if (!gone.next())
            return Outcome::refused(Outcome::ChangedElsewhere,
                                    QStringLiteral("Позиция только что изменена на другом рабочем месте. Обновите журнал и "
                                                   "удалите её снова."));
        if (!s.nullPlace) {
            // With no hours left only that day's cell becomes 0; the line and
            // its other days stay, and no line is inserted.
            DayCells::refreshShift(connection, s.worker, s.shift, s.date, DayCells::MissingLine::Leave);
            notice(connection, s.worker, s.shift, s.date);
        }
        return Outcome::saved(id);
    });
}

Outcome setMark(const QString &connection, qint64 id, const QString &mark)
{
    return Write::inTransaction(connection, [&]() -> Outcome {
        Rows q = Write::run(connection, QStringLiteral("update accounts_dep.smena set ok=? where id=? returning w_id, smena, data"),
                                 {mark, id});
        if (!q.next())
            return Outcome::refused(Outcome::ChangedElsewhere, QStringLiteral("Позиция удалена на другом рабочем месте."));
        notice(connection, q.value(0).toInt(), q.value(1).toInt(), q.value(2).toDate());
        return Outcome::saved(id);
    });
}

} // namespace Entries

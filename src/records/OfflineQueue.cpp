#include "OfflineQueue.h"

#include "Write.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/Gateway.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <atomic>

namespace {

std::atomic<int> g_openings{0};

const char *const kSchema[] = {
    "PRAGMA journal_mode=WAL",
    "PRAGMA synchronous=FULL",
    "PRAGMA busy_timeout=5000",
    "CREATE TABLE IF NOT EXISTS queue ("
    " slot INTEGER PRIMARY KEY AUTOINCREMENT,"      // keying order
    " database TEXT NOT NULL, user_id INTEGER NOT NULL,"
    " kind TEXT NOT NULL CHECK (kind IN ('entry', 'housekeeping')),"
    " save_key TEXT NOT NULL UNIQUE,"
    " worker INTEGER NOT NULL, item INTEGER, operation INTEGER, shift INTEGER NOT NULL, day TEXT NOT NULL,"
    " quantity INTEGER, defects INTEGER, hours INTEGER NOT NULL, colour INTEGER, day_off INTEGER NOT NULL DEFAULT 0,"
    " nomenclature INTEGER, work_kind INTEGER, night INTEGER NOT NULL DEFAULT 0,"
    " label TEXT, price TEXT,"
    " keyed TEXT NOT NULL, refusal TEXT, interrupted INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS queue_owner ON queue (database, user_id, slot)",
};

const QString kEntrySave = QStringLiteral(
    "select status, id, message from accounts_dep.entry_save(?::bigint, ?::int, ?::int, ?::int, "
    "?::boolean, ?::boolean, ?::int, ?::int, ?::int, ?::int, ?::int, ?::date, ?::uuid, ?::int, ?::int, "
    "?::date)");
const QString kHousekeepingSave = QStringLiteral(
    "select status, id, message from accounts_dep.housekeeping_save(?::bigint, ?::int, ?::bigint, "
    "?::int, ?::date, ?::int, ?::int, ?::boolean, ?::boolean, ?::uuid)");
const QString kNote = QStringLiteral("select accounts_dep.entry_queue_note(?::text, ?::uuid, ?::timestamptz)");

const QString kColumns = QStringLiteral(
    "slot, kind, save_key, worker, item, operation, shift, day, quantity, defects, hours, colour, day_off, "
    "nomenclature, work_kind, night, label, price, keyed, refusal, interrupted");

OfflineQueue::Item itemOf(const QSqlQuery &q)
{
    OfflineQueue::Item it;
    it.slot = q.value(0).toLongLong();
    it.kind = q.value(1).toString() == QLatin1String("housekeeping") ? OfflineQueue::HousekeepingKind
                                                                       : OfflineQueue::EntryKind;
    const QUuid key(q.value(2).toString());
    const QDate day = QDate::fromString(q.value(7).toString(), Qt::ISODate);
    if (it.kind == OfflineQueue::EntryKind) {
        Entries::Entry &e = it.entry;
        e.worker = q.value(3).toInt();
        e.item = q.value(4).toInt();
        e.operation = q.value(5).toInt();
        e.shift = q.value(6).toInt();
        e.date = day;
        e.quantity = q.value(8).toInt();
        e.defects = q.value(9).toInt();
        e.hours = q.value(10).toInt();
        e.colour = q.value(11).toInt();
        e.dayOff = q.value(12).toInt() != 0;
        e.key = key;
    } else {
        HousekeepingEntries::Entry &h = it.housekeeping;
        h.worker = q.value(3).toInt();
        h.shift = q.value(6).toInt();
        h.date = day;
        h.hours = q.value(10).toInt();
        h.holiday = q.value(12).toInt() != 0;
        h.nomenclature = q.value(13).toLongLong();
        h.kind = q.value(14).toInt();
        h.night = q.value(15).toInt() != 0;
        h.key = key;
    }
    it.label = q.value(16).toString();
    it.price = q.value(17).toString();
    it.keyed = QDateTime::fromString(q.value(18).toString(), Qt::ISODateWithMs);
    it.refusal = q.value(19).toString();
    it.interrupted = q.value(20).toInt() != 0;
    return it;
}

// The values of a row, in the order of the insert's and the update's columns.
QVariantList valuesOf(const OfflineQueue::Item &it)
{
    const bool entry = it.kind == OfflineQueue::EntryKind;
    const Entries::Entry &e = it.entry;
    const HousekeepingEntries::Entry &h = it.housekeeping;
    return {entry ? QStringLiteral("entry") : QStringLiteral("housekeeping"),
            it.key().toString(QUuid::WithoutBraces),
            it.worker(),
            entry ? QVariant(e.item) : QVariant(),
            entry ? QVariant(e.operation) : QVariant(),
            it.shift(),
            it.date().toString(Qt::ISODate),
            entry ? QVariant(e.quantity) : QVariant(),
            entry ? QVariant(e.defects) : QVariant(),
            entry ? e.hours : h.hours,
            entry ? QVariant(e.colour) : QVariant(),
            int(entry ? e.dayOff : h.holiday),
            entry ? QVariant() : QVariant(h.nomenclature),
            entry ? QVariant() : QVariant(h.kind),
            int(entry ? false : h.night),
            it.label,
            it.price};
}

Outcome refusal(const QString &text) { return Outcome::refused(Outcome::Refused, text); }

const char *const kInterruptedText =
    "Отправка этой записи прервалась: возможно, она уже в базе. Изменить или удалить её можно после отправки, "
    "когда база ответит.";

} // namespace

OfflineQueue::OfflineQueue(const QString &database, int user, const QString &folder)
    : m_database(database), m_user(user)
{
    const QString dir = folder.isEmpty() ? OfflineQueue::folder() : folder;
    if (!QDir().mkpath(dir)) {
        m_error = QStringLiteral("Нет папки для записей без связи: %1").arg(dir);
        return;
    }
    m_path = QDir(dir).filePath(QStringLiteral("offline-queue.sqlite"));
    m_connection = QStringLiteral("offline_queue_%1").arg(++g_openings);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    if (!db.open()) {
        m_error = QStringLiteral("Очередь записей без связи не открылась: %1").arg(db.lastError().text());
        return;
    }
    QSqlQuery q(db);
    for (const char *statement : kSchema)
        if (!q.exec(QString::fromLatin1(statement))) {
            m_error = QStringLiteral("Очередь записей без связи не открылась: %1").arg(q.lastError().text());
            return;
        }
    m_open = true;
}

OfflineQueue::~OfflineQueue()
{
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

QString OfflineQueue::folder()
{
    const QString env = qEnvironmentVariable("TABEL_QUEUE_DIR");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QString OfflineQueue::databaseOf(const QString &connection)
{
    const QSqlDatabase db = DbSession::database(connection);
    return QStringLiteral("%1:%2/%3").arg(db.hostName()).arg(db.port()).arg(db.databaseName());
}

Outcome OfflineQueue::write(qint64 slot, const Item &it)
{
    if (!m_open)
        return refusal(m_error);
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    const QVariantList values = valuesOf(it);
    if (slot == 0) {
        q.prepare(QStringLiteral("INSERT INTO queue (kind, save_key, worker, item, operation, shift, day, quantity, defects, "
                                 "hours, colour, day_off, nomenclature, work_kind, night, label, price, database, user_id, keyed) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const QVariant &v : values)
            q.addBindValue(v);
        q.addBindValue(m_database);
        q.addBindValue(m_user);
        q.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    } else {
        q.prepare(QStringLiteral("UPDATE queue SET kind=?, save_key=?, worker=?, item=?, operation=?, shift=?, day=?, "
                                 "quantity=?, defects=?, hours=?, colour=?, day_off=?, nomenclature=?, work_kind=?, night=?, "
                                 "label=?, price=?, refusal=NULL WHERE slot=? AND database=? AND user_id=?"));
        for (const QVariant &v : values)
            q.addBindValue(v);
        q.addBindValue(slot);
        q.addBindValue(m_database);
        q.addBindValue(m_user);
    }
    if (!q.exec())
        return refusal(QStringLiteral("Запись не легла в очередь на этом компьютере: %1").arg(q.lastError().text()));
    if (slot == 0)
        return Outcome::saved(q.lastInsertId().toLongLong());
    if (q.numRowsAffected() != 1)
        return Outcome::refused(Outcome::ChangedElsewhere, QStringLiteral("Этой записи уже нет в очереди."));
    return Outcome::saved(slot);
}

Outcome OfflineQueue::add(const Entries::Entry &e, const QString &label, const QString &price)
{
    Item it;
    it.kind = EntryKind;
    it.entry = e;
    return addNew(it, e.id, it.entry.key, label, price);
}

Outcome OfflineQueue::add(const HousekeepingEntries::Entry &e, const QString &label, const QString &price)
{
    Item it;
    it.kind = HousekeepingKind;
    it.housekeeping = e;
    return addNew(it, e.id, it.housekeeping.key, label, price);
}

Outcome OfflineQueue::addNew(Item &it, qint64 id, QUuid &key, const QString &label, const QString &price)
{
    if (id != 0)
        return refusal(QStringLiteral("Без связи с сервером позиции из базы не изменить."));
    if (key.isNull())
        key = QUuid::createUuid();
    it.label = label;
    it.price = price;
    return write(0, it);
}

std::optional<Outcome> OfflineQueue::changeable(qint64 slot, Item *it) const
{
    *it = item(slot);
    if (it->slot == 0)
        return Outcome::refused(Outcome::ChangedElsewhere, QStringLiteral("Этой записи уже нет в очереди."));
    if (it->interrupted)
        return refusal(QString::fromUtf8(kInterruptedText));
    return std::nullopt;
}

Outcome OfflineQueue::change(qint64 slot, const Entries::Entry &e, const QString &label, const QString &price)
{
    Item it;
    if (const auto refused = changeable(slot, &it))
        return *refused;
    const QUuid key = it.key(); // never stored: the key stays the queue's
    it.kind = EntryKind;
    it.entry = e;
    it.entry.id = 0;
    it.entry.key = key;
    it.label = label;
    it.price = price;
    return write(slot, it);
}

Outcome OfflineQueue::change(qint64 slot, const HousekeepingEntries::Entry &e, const QString &label, const QString &price)
{
    Item it;
    if (const auto refused = changeable(slot, &it))
        return *refused;
    const QUuid key = it.key(); // never stored: the key stays the queue's
    it.kind = HousekeepingKind;
    it.housekeeping = e;
    it.housekeeping.id = 0;
    it.housekeeping.key = key;
    it.label = label;
    it.price = price;
    return write(slot, it);
}

Outcome OfflineQueue::retry(qint64 slot)
{
    if (!m_open)
        return refusal(m_error);
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("UPDATE queue SET refusal=NULL WHERE slot=? AND database=? AND user_id=?"));
    q.addBindValue(slot);
    q.addBindValue(m_database);
    q.addBindValue(m_user);
    if (!q.exec())
        return refusal(q.lastError().text());
    return q.numRowsAffected() == 1 ? Outcome::saved(slot)
                                    : Outcome::refused(Outcome::ChangedElsewhere, QStringLiteral("Этой записи уже нет в очереди."));
}

Outcome OfflineQueue::remove(qint64 slot)
{
    const Item old = item(slot);
    if (old.slot == 0)
        return Outcome::refused(Outcome::ChangedElsewhere, QStringLiteral("Этой записи уже нет в очереди."));
    if (old.interrupted)
        return refusal(QString::fromUtf8(kInterruptedText));
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("DELETE FROM queue WHERE slot=? AND database=? AND user_id=?"));
    q.addBindValue(slot);
    q.addBindValue(m_database);
    q.addBindValue(m_user);
    if (!q.exec())
        return refusal(q.lastError().text());
    return Outcome::saved(slot);
}

QList<OfflineQueue::Item> OfflineQueue::items() const
{
    QList<Item> out;
    if (!m_open)
        return out;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM queue WHERE database=? AND user_id=? ORDER BY slot").arg(kColumns));
    q.addBindValue(m_database);
    q.addBindValue(m_user);
    if (q.exec())
        while (q.next())
            out << itemOf(q);
    return out;
}

QList<OfflineQueue::Item> OfflineQueue::itemsOn(const QDate &day) const
{
    QList<Item> out;
    for (const Item &it : items())
        if (it.date() == day)
            out << it;
    return out;
}

OfflineQueue::Item OfflineQueue::item(qint64 slot) const
{
    if (!m_open)
        return {};
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT %1 FROM queue WHERE slot=? AND database=? AND user_id=?").arg(kColumns));
    q.addBindValue(slot);
    q.addBindValue(m_database);
    q.addBindValue(m_user);
    if (q.exec() && q.next())
        return itemOf(q);
    return {};
}

int OfflineQueue::waiting() const
{
    int n = 0;
    for (const Item &it : items())
        n += it.refusal.isEmpty() ? 1 : 0;
    return n;
}

int OfflineQueue::refusedCount() const
{
    int n = 0;
    for (const Item &it : items())
        n += it.refusal.isEmpty() ? 0 : 1;
    return n;
}

OfflineQueue::Sending OfflineQueue::send(const QString &connection, int batch)
{
    Sending out;
    if (!m_open) {
        out.text = m_error;
        return out;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const quint64 tripsBefore = Gateway::roundTrips();
    for (;;) {
        QList<Item> pending;
        for (const Item &it : items())
            if (it.refusal.isEmpty())
                pending << it;
        if (pending.size() > batch)
            pending.erase(pending.begin() + batch, pending.end());
        if (pending.isEmpty())
            break;
        // Marked before anything goes: a sending cut off (or the program
        // killed) leaves them known to be maybe stored.
        db.transaction();
        QSqlQuery mark(db);
        mark.prepare(QStringLiteral("UPDATE queue SET interrupted=1 WHERE slot=?"));
        for (const Item &it : pending) {
            mark.bindValue(0, it.slot);
            mark.exec();
        }
        db.commit();

        QList<Gateway::Call> calls;
        for (const Item &it : pending) {
            if (it.kind == EntryKind) {
                const Entries::Entry &e = it.entry;
                calls << Gateway::Call{kEntrySave,
                                       {0, e.worker, e.item, e.operation, Write::flag(false), Write::flag(e.dayOff), e.quantity,
                                        e.defects, e.hours, e.colour, e.shift, Write::dateValue(e.date), Write::keyValue(e.key),
                                        QVariant(), QVariant(), QVariant()}};
            } else {
                const HousekeepingEntries::Entry &h = it.housekeeping;
                calls << Gateway::Call{kHousekeepingSave,
                                       {0, h.worker, h.nomenclature, h.kind, Write::dateValue(h.date), h.shift, h.hours,
                                        Write::flag(h.holiday), Write::flag(h.night), Write::keyValue(h.key)}};
            }
            calls << Gateway::Call{kNote,
                                   {it.kind == EntryKind ? QStringLiteral("smena") : QStringLiteral("fatigue"),
                                    Write::keyValue(it.key()), it.keyed.toString(Qt::ISODateWithMs)}};
        }
        QList<Gateway::Each> answers;
        try {
            answers = Gateway::runEach(connection, calls);
        } catch (const DbSession::ConnectionLost &e) {
            out.lost = true;
            out.text = e.text();
            break;
        } catch (const DbError &e) {
            // No server took the connection: nothing was sent.
            QSqlQuery unmark(db);
            unmark.prepare(QStringLiteral("UPDATE queue SET interrupted=0 WHERE slot=?"));
            for (const Item &it : pending) {
                unmark.bindValue(0, it.slot);
                unmark.exec();
            }
            out.lost = true;
            out.text = e.text();
            break;
        }
        db.transaction();
        QSqlQuery gone(db), refused(db);
        gone.prepare(QStringLiteral("DELETE FROM queue WHERE slot=?"));
        refused.prepare(QStringLiteral("UPDATE queue SET refusal=?, interrupted=0 WHERE slot=?"));
        for (int i = 0; i < pending.size(); ++i) {
            Gateway::Each save = answers.value(2 * i);
            QString why;
            if (!save.ok) {
                why = save.error; // a closed month, a user switched off: the database's own text
            } else if (!save.rows.next()) {
                why = QStringLiteral("База данных не сообщила, чем кончилась запись.");
            } else if (save.rows.value(0).toString() != QLatin1String("saved")) {
                why = save.rows.value(2).toString();
                if (why.isEmpty())
                    why = QStringLiteral("Запись не принята базой данных.");
            }
            if (why.isEmpty()) {
                gone.bindValue(0, pending.at(i).slot);
                gone.exec();
                ++out.stored;
            } else {
                refused.bindValue(0, why);
                refused.bindValue(1, pending.at(i).slot);
                refused.exec();
                ++out.refused;
            }
        }
        db.commit();
    }
    out.roundTrips = int(Gateway::roundTrips() - tripsBefore);
    return out;
}

#pragma once
#include <optional>
#include "Entries.h"
#include "HousekeepingEntries.h"
#include "Outcome.h"

#include <QDateTime>
#include <QList>
#include <QString>

// The entries keyed while no server answered: a SQLite file in the user's
// data folder, written synchronously (a crash or a power cut keeps what was
// keyed). One queue per database and signed-in user: a queue only ever reads
// and sends its own user's rows, and the sign-in that made it must have been
// answered by a server (the workstation keeps no code and no hash of one).
//
// Sending goes in keying order, each entry one call of the database's save
// function with its save key, all in one round trip per batch (each call its
// own transaction). A row the database stored, or had stored before under
// the same key, leaves the queue; a refused one stays with the database's
// message; a connection lost on the way leaves every row of the batch, and
// the keys make the next sending store nothing twice.
class OfflineQueue {
public:
    enum Kind { EntryKind, HousekeepingKind };
    struct Item {
        qint64 slot = 0;  // the queue's own row: keying order
        Kind kind = EntryKind;
        Entries::Entry entry;                   // EntryKind
        HousekeepingEntries::Entry housekeeping; // HousekeepingKind
        QString label;    // what the journal shows for it (worker, product, operation)
        QString price;    // the price shown when keyed ("≈": from the last good connection's copy)
        QDateTime keyed;  // when it was keyed (this workstation's clock, UTC)
        QString refusal;  // the database's message; empty while it waits
        bool interrupted = false; // a sending broke off: it may be stored already

        QDate date() const { return kind == EntryKind ? entry.date : housekeeping.date; }
        int worker() const { return kind == EntryKind ? entry.worker : housekeeping.worker; }
        int shift() const { return kind == EntryKind ? entry.shift : housekeeping.shift; }
        QUuid key() const { return kind == EntryKind ? entry.key : housekeeping.key; }
    };
    struct Sending {
        int stored = 0;   // saved (or found stored by key) and gone from the queue
        int refused = 0;  // refused now, kept with the message
        bool lost = false; // the connection broke off: what was not answered stays
        QString text;     // why the sending stopped (empty when it ran through)
        int roundTrips = 0;
    };

    // `database`: the identity of the server and database (databaseOf);
    // `user`: the signed-in user's id. An empty folder: folder().
    OfflineQueue(const QString &database, int user, const QString &folder = QString());
    ~OfflineQueue();
    OfflineQueue(const OfflineQueue &) = delete;
    OfflineQueue &operator=(const OfflineQueue &) = delete;

    // TABEL_QUEUE_DIR when set, else the user's application data folder.
    static QString folder();
    // "host:port/database" of a program connection.
    static QString databaseOf(const QString &connection);

    bool isOpen() const { return m_open; }
    QString error() const { return m_error; }
    QString path() const { return m_path; }
    int user() const { return m_user; }
    QString database() const { return m_database; }

    // A new entry into the queue (its id must be 0; a missing save key is
    // made). Saved with the slot as id, or refused with the reason.
    Outcome add(const Entries::Entry &e, const QString &label = QString(), const QString &price = QString());
    Outcome add(const HousekeepingEntries::Entry &e, const QString &label = QString(), const QString &price = QString());
    // Changes a queued entry (its refusal is cleared: it waits again).
    Outcome change(qint64 slot, const Entries::Entry &e, const QString &label = QString(), const QString &price = QString());
    Outcome change(qint64 slot, const HousekeepingEntries::Entry &e, const QString &label = QString(),
                   const QString &price = QString());
    // Lets a refused entry wait again unchanged.
    Outcome retry(qint64 slot);
    Outcome remove(qint64 slot);

    QList<Item> items() const;                 // this user's, in keying order
    QList<Item> itemsOn(const QDate &day) const;
    Item item(qint64 slot) const;              // slot 0 when missing
    int waiting() const;                       // not refused
    int refusedCount() const;

    // Sends what waits, in batches of `batch` entries per round trip.
    Sending send(const QString &connection, int batch = 250);

private:
    Outcome write(qint64 slot, const Item &it);
    // a new entry or housekeeping entry (never one stored in the database) put in the queue, keyed
    Outcome addNew(Item &it, qint64 id, QUuid &key, const QString &label, const QString &price);
    // the queued entry at `slot` read into *it, or why it may not be changed now
    std::optional<Outcome> changeable(qint64 slot, Item *it) const;
    QString m_database;
    int m_user = 0;
    QString m_path;
    QString m_connection;
    bool m_open = false;
    QString m_error;
};

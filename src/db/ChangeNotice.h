#pragma once
#include <QDate>
#include <QString>

// What one committed write changed, told to every other workstation by
// NOTIFY on one channel. Sent inside the writing transaction, so it goes out
// only if the commit succeeds (and identical notices of one transaction go
// out once).
namespace ChangeNotice {

extern const char *const Channel; // "tabel_changes"

// Months: a month closed or reopened (year and month set).
enum class Table { Entries, Housekeeping, Timesheet, Workers, Products, Operations, Kinds, Months };

struct Change {
    Table table = Table::Entries;
    QDate date;      // the day, where the change has one (entries, housekeeping entries)
    int year = 0;    // the month, where the change covers a month (timesheet lines,
    int month = 0;   // rebuilds, recalculations); set from `date` when only that is given
    int shift = 0;   // 0 when not about one shift
    int worker = 0;  // 0 when not about one worker
};

QString tableName(Table t); // "entries", "housekeeping", "timesheet", "workers", "products", "operations", "kinds", "month"
bool tableFromName(const QString &name, Table *t);

// The payload: compact JSON {"t":"entries","d":"2024-03-05","y":2024,"m":3,"s":1,"w":12}
QString payload(const Change &c);
bool parse(const QString &payload, Change *c);

// pg_notify on the connection, inside the caller's transaction. Throws DbError.
void send(const QString &connection, const Change &c);

// True when a notice about `c` concerns a view of day `date` and shift `shift`
// (shift 0: any shift); a month-wide change concerns every day of its month.
bool touchesDay(const Change &c, const QDate &date, int shift = 0);
// True when a notice concerns the month.
bool touchesMonth(const Change &c, int year, int month);

} // namespace ChangeNotice

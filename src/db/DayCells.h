#pragma once
#include <QDate>
#include <QList>
#include <QString>
#include <QVector>

// The one place that keeps the day cells of the hours timesheet
// (accounts_dep.h_tabel) equal to the entries' hours, and the locks that keep
// two workstations from writing the same worker's month at once.
//
// Every function runs on the named connection and is meant for callers inside
// a transaction (see Transaction.h); they throw DbError.
//
// Locks, all released when the transaction ends:
//  - a save or deletion that touches worker W's month takes the month key
//    (year*100 + month) shared and then the pair (month key, W) exclusively:
//    two saves for one worker and month run one after the other, saves for
//    other workers of the month run side by side;
//  - a whole-month rebuild (or any bulk change of a month) takes the month key
//    exclusively, which waits for every save of the month and holds new ones.
// Several months are always locked in ascending order, so that two actions
// never wait for each other.
namespace DayCells {

int monthKey(int year, int month);
inline int monthKey(const QDate &d) { return monthKey(d.year(), d.month()); }

struct WorkerMonth {
    int worker;
    QDate date; // any day of the month
};
// Every advisory lock one transaction takes, taken by lock() in one ascending
// order: month by month, a month's own key (shared, or exclusive for a whole
// month) before its (month, worker) pairs. Two transactions that both take
// their locks this way never wait for each other in a circle.
struct Locks {
    QList<WorkerMonth> workerMonths; // shared month key, then the pair exclusively
    QList<QDate> wholeMonths;        // the month key exclusively (covers its workers)
};
void lock(const QString &connection, const Locks &locks);
// Shorthands of lock() for a transaction that takes only these.
inline void lockWorkerMonths(const QString &connection, const QList<WorkerMonth> &months) { lock(connection, {months, {}}); }
inline void lockWorkerMonth(const QString &connection, int worker, const QDate &date)
{
    lockWorkerMonths(connection, {{worker, date}});
}
inline void lockMonths(const QString &connection, const QList<QDate> &months) { lock(connection, {{}, months}); }
inline void lockMonth(const QString &connection, int year, int month)
{
    lockMonths(connection, {QDate(year, month, 1)});
}

// What a refresh does when the line of the cell does not exist yet.
enum class MissingLine {
    Create,           // a save: the line is inserted with that day's cell
    CreateUnlessZero, // the cell an edit left: no line is made just to hold 0
    Leave,            // a deletion: no line is inserted
};

// The day cell of worker W's shift line (shift 1-4) for date D becomes the
// sum of that worker's smena.time of that shift and day. A sum the column
// cannot hold is refused before anything is written.
void refreshShift(const QString &connection, int worker, int shift, const QDate &date,
                  MissingLine missing = MissingLine::Create);

// The day cell of worker W's housekeeping line (smena 0, i_type = kind 7777
// or 7778, i_night = night 0/1) for date D becomes the sum of fatigue.cnt of
// that worker, kind, night flag and day. An empty night flag means day (0),
// on the entries and on the lines alike.
void refreshHousekeeping(const QString &connection, int worker, int kind, int night, const QDate &date,
                         MissingLine missing = MissingLine::Create);

struct ShiftCell {
    int worker;
    int shift;
    QDate date;
    bool operator==(const ShiftCell &o) const { return worker == o.worker && shift == o.shift && date == o.date; }
};
// Many shift cells at once, set-based (a few statements per day of month):
// the lines that exist get their cells recomputed; no line is inserted.
void refreshShiftCellsOfExistingLines(const QString &connection, const QVector<ShiftCell> &cells);

// The hours a day cell may hold; anything else is refused with a message.
int checkedHours(qint64 sum, int worker, const QDate &date);

} // namespace DayCells

#pragma once
#include <QDate>
#include <QList>
#include <QPair>
#include <QString>

// Months closed after pay: the database refuses every change of entries,
// housekeeping entries and timesheet lines dated in them. The program checks
// up front so it can say so before an action starts.
namespace ClosedMonths {

// "март 2024"
QString monthName(int year, int month);

bool isClosed(const QString &connection, int year, int month); // throws DbError
// Whether the month is closed and the database's refusal text for it, one
// statement. Throws DbError.
struct State {
    bool closed = false;
    QString text; // empty while open
};
State state(const QString &connection, int year, int month);
inline bool isClosed(const QString &connection, const QDate &d) { return isClosed(connection, d.year(), d.month()); }

// Closing and reopening, each one call of the database's write function
// (the administrator's; recorded by the database). Closing a closed month or
// reopening an open one does nothing. Throws DbError with the refusal.
void close(const QString &connection, int year, int month);
void reopen(const QString &connection, int year, int month);

// Closed months (year, month) holding journal entries, housekeeping entries
// or timesheet lines: what emptying those tables would touch.
QList<QPair<int, int>> closedWithRows(const QString &connection);

// Throws DbError naming the months when closedWithRows is not empty:
// `what` says what would touch them ("Импорт").
void refuseIfAnyWithRows(const QString &connection, const QString &what);

} // namespace ClosedMonths

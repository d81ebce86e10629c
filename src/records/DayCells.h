#pragma once
#include <QDate>

// The day cells of the hours timesheet (accounts_dep.h_tabel) are kept equal
// to the entries' hours by the database's write functions (sql/writes.sql),
// which also take the locks that keep two workstations from writing the same
// worker's month at once:
//  - a save or deletion that touches worker W's month takes the month key
//    (year*100 + month) shared and then the pair (month key, W) exclusively;
//  - a whole-month action takes the month key exclusively, which waits for
//    every save of the month and holds new ones.
namespace DayCells {

// The month's advisory lock key: year*100 + month.
inline int monthKey(int year, int month) { return year * 100 + month; }
inline int monthKey(const QDate &d) { return monthKey(d.year(), d.month()); }

} // namespace DayCells

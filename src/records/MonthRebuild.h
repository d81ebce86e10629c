#pragma once
#include <QString>
#include <functional>

// Rebuilds of one month of the hours timesheet (accounts_dep.h_tabel) from the
// entries: the shift lines from the journal, the housekeeping lines from the
// hours-paid entries. Each rebuild is one call of the database's write
// function, which deletes only its own kind of line and writes the month's
// lines set-based under the month's lock. The call runs in a transaction of
// its own that ends after the progress has gone through the month's days, so
// a failure, in the database or in the progress, leaves the month as it was
// and no other workstation sees a half-built month. The progress runs inside
// the transaction: it may repaint, never process events. A connection lost on
// the way leaves the month as it was (the transaction is broken, never
// finished in autocommit) and throws.
namespace MonthRebuild {

// Called for each day of the month once the database has rebuilt it (1..31).
using Progress = std::function<void(int day)>;

// Shift lines (smena 1..4): cell d<i> of the line of worker w and shift s is
// the sum of the hours of w's entries of shift s on day i; days without
// entries stay empty. Housekeeping lines are left alone. Returns the lines
// made. Throws DbError after rolling back.
int shiftLines(const QString &connection, int month, int year, const Progress &progress = {});

// Housekeeping lines (smena 0): one per worker, kind and day/night flag, the
// cell of day i holding the hours of that day's entries. Shift lines are left
// alone. Returns the lines made. Throws DbError after rolling back.
int housekeepingLines(const QString &connection, int month, int year, const Progress &progress = {});

// The month's lines of each kind as stored now (what a rebuild replaces).
int shiftLineCount(const QString &connection, int month, int year);
int housekeepingLineCount(const QString &connection, int month, int year);

} // namespace MonthRebuild

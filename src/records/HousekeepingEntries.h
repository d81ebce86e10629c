#pragma once
#include "Outcome.h"

#include <QDate>
#include <QString>
#include <QUuid>

// The housekeeping and average-piecework entries (accounts_dep.fatigue) and
// their day cells. Plain values in, an Outcome out; each call is one call of
// the database's write function, which locks, checks, writes, corrects the
// day cells and sends the change notice in one transaction.
namespace HousekeepingEntries {

struct Entry {
    qint64 id = 0;         // 0: a new entry; else the entry to change
    int worker = 0;        // id_p
    qint64 nomenclature = 0; // id_nom
    int kind = 0;          // id_o: 7777 or 7778
    QDate date;            // d_date of a new entry (a change keeps the entry's date)
    int shift = 1;         // i_smena of a new entry
    int hours = 0;         // cnt: 1 to 24 (and the worker's day at most 24)
    // The hour's price is the database's: the kind's norm price for a day off
    // and night work (Pricing::housekeepingPrice shows it), set on every save.
    bool holiday = false;  // i_holiday
    bool night = false;    // i_night
    QUuid key;             // made when the editor opened; a press after an unknown outcome finds the row by it
};

Outcome save(const QString &connection, const Entry &e);

// Deletes the entry if it still stands where it was read; only that day's
// cell loses its hours.
Outcome remove(const QString &connection, qint64 id);

// The average-piecework price of the month's 7778 entries, recomputed from
// the journal, with the whole month locked. Refused in a closed month.
Outcome recalculate(const QString &connection, int year, int month);

} // namespace HousekeepingEntries

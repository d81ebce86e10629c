#pragma once
#include "Outcome.h"
#include "db/Gateway.h"

#include <QDate>
#include <QString>
#include <QUuid>

// The shift entries of the journal (accounts_dep.smena) and their day cells.
// Plain values in, an Outcome out; each call is one call of the database's
// write function, which locks the worker's month(s), checks, writes,
// corrects the day cells and sends the change notice in one transaction.
namespace Entries {

struct Entry {
    qint64 id = 0;      // 0: a new entry; else the entry to change
    int worker = 0;     // w_id
    int item = 0;       // i_id
    int operation = 0;  // o_id
    // The price is the database's: a new entry, one moved to another
    // operation, and a change with `reprice` (the operation picked again)
    // take the operation's price for the shift and day; any other change
    // keeps the stored one.
    bool reprice = false;
    bool dayOff = false; // the journal's "Выходной"
    int quantity = 0;   // kol_vo
    int defects = 0;    // brak
    int hours = 0;      // time
    int colour = 0;     // color (0 unless a painting operation)
    int shift = 1;      // smena 1..4
    QDate date;
    QUuid key;          // made when the editor opened; a press after an unknown outcome finds the row by it
    // For a change: where the journal showed the entry when the editor opened,
    // to notice a change made meanwhile at another workstation.
    int oldWorker = 0, oldShift = 0;
    QDate oldDate;
};

// Adds (id 0) or changes the entry. Duplicate: "Позиция с такими параметрами уже заведена!"
// Refused, with the database's message naming the field: values beyond the
// editors' limits (Pricing::MaxPieces, MaxEntryHours, MaxDayHours for the
// worker's day), an operation without a norm price or of another product.
Outcome save(const QString &connection, const Entry &e);
// The same call, to be sent together with others (Gateway::runEach); its
// answer becomes an Outcome through Write::answer.
Gateway::Call saveCall(const Entry &e);

// Deletes the entry if it still stands where it was read; its day cell loses
// its hours (only that day's cell; no line is inserted). ChangedElsewhere
// when it was deleted or moved meanwhile.
Outcome remove(const QString &connection, qint64 id);

// The closing mark of an entry: "ok" or "no"; anything else is refused.
Outcome setMark(const QString &connection, qint64 id, const QString &mark);

} // namespace Entries

#pragma once
#include "db/Decimal.h"

#include <QDate>
#include <QString>
#include <optional>

// Prices as the database sets them. The factors of a day off, shift 3,
// overtime and night work live in the database's functions only
// (accounts_dep.entry_price, accounts_dep.housekeeping_price), which the
// saves call; the windows read them from there, so that what an editor shows
// is what a save stores. Here: those reads, and the exact-decimal rounding
// and sums the windows show.
namespace Pricing {

// The piece price of an entry of `operation` in `shift`, on a day off or not.
struct EntryPrice {
    Decimal exact; // unrounded: a sum shown is worked out from it
    Decimal price; // rounded to four places, ties to even: what a save stores
};
// Nothing when the operation has no norm price (a save is refused then).
// Throws DbError.
std::optional<EntryPrice> entryPrice(const QString &connection, int operation, int shift, bool dayOff);

// The price of an hour of housekeeping work or average piecework (kind 7777
// or 7778) as a save stores it; nothing when the kind has no norm price.
// Throws DbError.
std::optional<Decimal> housekeepingPrice(const QString &connection, int kind, bool dayOff, bool night);

// The hours a worker has on a date, every shift and the housekeeping entries
// together, leaving out the entry being changed (0: none). A day holds at
// most MaxDayHours. Throws DbError.
qint64 workerDayHours(const QString &connection, int worker, const QDate &date, qint64 entry = 0,
                      qint64 housekeepingEntry = 0);

// The limits the database holds every entry to (the editors refuse the same
// values first, with the same messages).
constexpr int MaxPieces = 100000;  // quantity, and defects, each
constexpr int MaxEntryHours = 24;  // one entry
constexpr int MaxDayHours = 24;    // a worker's day, every shift together

// Four decimal places, a value halfway between two neighbours going to the
// even one (1.23455 -> 1.2346, 1.23445 -> 1.2344).
Decimal round4(const Decimal &v);
// What a quantity comes to at a piece price, rounded to four places (7 at
// the unrounded 1.23456 is 8.6419).
Decimal amount(const Decimal &price, qint64 quantity);

// A painting operation takes a colour code. It is a property of the
// operation's kind: a kind whose name holds "краска" in any letter case.
bool isPaintingKind(const QString &kindName);

} // namespace Pricing

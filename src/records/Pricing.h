#pragma once
#include "db/Decimal.h"

#include <QString>

// The pay rules of a price, in one place for the entry editor, the team
// window and the housekeeping editor. Exact decimals throughout: a price is
// multiplied and rounded as the plant writes it on paper, never in binary.
namespace Pricing {

// A day off doubles the price.
Decimal dayOffFactor();
// Shift 3 pays 20 % more, overtime (shift 4) 50 %; shifts 1 and 2 nothing.
Decimal shiftFactor(int shift);
// Hours at night pay 20 % more (housekeeping work).
Decimal nightFactor();

// The final piece price: the operation's list price, doubled on a day off,
// then raised for shift 3 or 4. Unrounded: it is rounded when shown or written.
Decimal finalPrice(const Decimal &listPrice, bool dayOff, int shift);
// The price of an hour of housekeeping work: doubled on a day off, then 20 %
// more at night.
Decimal hourPrice(const Decimal &normPrice, bool dayOff, bool night);

// Four decimal places, a value halfway between two neighbours going to the
// even one (1.23455 -> 1.2346, 1.23445 -> 1.2344).
Decimal round4(const Decimal &v);
// What a quantity comes to at a piece price, rounded to four places.
Decimal amount(const Decimal &price, qint64 quantity);

// A painting operation takes a colour code. It is a property of the
// operation's kind: a kind whose name holds "краска" in any letter case.
bool isPaintingKind(const QString &kindName);

} // namespace Pricing

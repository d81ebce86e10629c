#include "Pricing.h"

namespace Pricing {
namespace {

Decimal number(const char *text)
{
    Decimal d;
    Decimal::parse(QString::fromLatin1(text), &d);
    return d;
}

} // namespace

Decimal dayOffFactor() { return Decimal::fromInt(2); }

Decimal shiftFactor(int shift)
{
    switch (shift) {
    case 3: return number("1.2");
    case 4: return number("1.5");
    default: return Decimal::fromInt(1);
    }
}

Decimal nightFactor() { return number("1.2"); }

Decimal finalPrice(const Decimal &listPrice, bool dayOff, int shift)
{
    Decimal p = listPrice;
    if (dayOff)
        p = p * dayOffFactor();
    return p * shiftFactor(shift);
}

Decimal hourPrice(const Decimal &normPrice, bool dayOff, bool night)
{
    Decimal p = normPrice;
    if (dayOff)
        p = p * dayOffFactor();
    if (night)
        p = p * nightFactor();
    return p;
}

Decimal round4(const Decimal &v)
{
    // The decimal holds twelve places exactly, so its fixed text is the whole value.
    QString t = v.toFixed(12);
    const bool negative = t.startsWith(QLatin1Char('-'));
    if (negative)
        t.remove(0, 1);
    const int point = t.indexOf(QLatin1Char('.'));
    const QString kept = t.left(point + 5); // the whole part, the point, four places
    const QString rest = t.mid(point + 5);  // the eight places dropped
    const int half = rest.compare(QLatin1String("50000000"));
    const bool lastOdd = (kept.back().unicode() - '0') % 2 == 1;
    Decimal out;
    Decimal::parse(kept, &out);
    if (half > 0 || (half == 0 && lastOdd))
        out = out + number("0.0001");
    return negative ? -out : out;
}

Decimal amount(const Decimal &price, qint64 quantity) { return round4(price * Decimal::fromInt(quantity)); }

bool isPaintingKind(const QString &kindName) { return kindName.toUpper().contains(QStringLiteral("КРАСКА")); }

} // namespace Pricing

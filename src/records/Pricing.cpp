#include "Pricing.h"

#include "Write.h"
#include "db/Gateway.h"

namespace Pricing {
namespace {

Decimal number(const char *text)
{
    Decimal d;
    Decimal::parse(QString::fromLatin1(text), &d);
    return d;
}

} // namespace

std::optional<EntryPrice> entryPrice(const QString &connection, int operation, int shift, bool dayOff)
{
    Rows q = Gateway::run(connection,
                        QStringLiteral("select accounts_dep.entry_price_exact(?::int, ?::int, ?::boolean), "
                                       "accounts_dep.entry_price(?::int, ?::int, ?::boolean)"),
                        {operation, shift, Write::flag(dayOff), operation, shift, Write::flag(dayOff)});
    EntryPrice p;
    if (!q.next() || !Decimal::fromVariant(q.value(0), &p.exact) || !Decimal::fromVariant(q.value(1), &p.price))
        return std::nullopt;
    return p;
}

std::optional<Decimal> housekeepingPrice(const QString &connection, int kind, bool dayOff, bool night)
{
    Rows q = Gateway::run(connection, QStringLiteral("select accounts_dep.housekeeping_price(?::int, ?::boolean, ?::boolean)"),
                        {kind, Write::flag(dayOff), Write::flag(night)});
    Decimal p;
    if (!q.next() || !Decimal::fromVariant(q.value(0), &p))
        return std::nullopt;
    return p;
}

qint64 workerDayHours(const QString &connection, int worker, const QDate &date, qint64 entry, qint64 housekeepingEntry)
{
    Rows q = Gateway::run(connection, QStringLiteral("select accounts_dep.worker_day_hours(?::int, ?::date, ?::bigint, ?::bigint)"),
                        {worker, Write::dateValue(date), entry ? QVariant(entry) : QVariant(),
                         housekeepingEntry ? QVariant(housekeepingEntry) : QVariant()});
    return q.next() ? q.value(0).toLongLong() : 0;
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

#include "Decimal.h"

#include <QMetaType>


Decimal::Int Decimal::scale(int places)
{
    Int s = 1;
    for (int i = 0; i < places; ++i)
        s *= 10;
    return s;
}

Decimal Decimal::fromInt(qint64 v) { return raw(Int(v) * scale(Places)); }

bool Decimal::parse(const QString &text, Decimal *out)
{
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        negative = t[i++] == QLatin1Char('-');
    Int digits = 0;
    int exponent = 0; // power of ten applied to `digits`
    int count = 0;
    bool point = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c.isDigit() && c.unicode() < 128) {
            if (count < 20) { // beyond that the digits no longer matter
                digits = digits * 10 + (c.unicode() - '0');
                if (point)
                    --exponent;
            } else if (!point) {
                ++exponent;
            }
            ++count;
        } else if ((c == QLatin1Char('.') || c == QLatin1Char(',')) && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (count == 0)
        return false;
    if (i < t.size() && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        bool ok = false;
        const int e = t.mid(i + 1).toInt(&ok);
        if (!ok || e < -40 || e > 30)
            return false;
        exponent += e;
        i = t.size();
    }
    if (i != t.size())
        return false;
    exponent += Places;
    if (exponent > 2 * Places) // beyond 10^24: not a figure a report sums
        return false;
    Int v = digits;
    if (exponent >= 0) {
        v *= scale(exponent);
    } else {
        const int drop = -exponent;
        if (drop > 36) {
            v = 0;
        } else {
            const Int s = scale(drop);
            v = (v + s / 2) / s; // half away from zero (v is not negative here)
        }
    }
    *out = raw(negative ? -v : v);
    return true;
}

bool Decimal::fromVariant(const QVariant &v, Decimal *out)
{
    if (v.isNull() || !v.isValid())
        return false;
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
    case QMetaType::Bool:
        *out = fromInt(v.toLongLong());
        return true;
    case QMetaType::Double:
    case QMetaType::Float:
        return parse(QString::number(v.toDouble(), 'g', 15), out);
    default:
        return parse(v.toString(), out);
    }
}

Decimal Decimal::operator*(const Decimal &o) const
{
    const Int p = v_ * o.v_;
    const Int s = scale(Places);
    const Int half = p < 0 ? -s / 2 : s / 2;
    return raw((p + half) / s);
}

Decimal Decimal::operator/(const Decimal &o) const
{
    if (o.v_ == 0)
        return Decimal();
    const Int n = (v_ < 0 ? -v_ : v_) * scale(Places);
    const Int d = o.v_ < 0 ? -o.v_ : o.v_;
    const Int q = (n + d / 2) / d;
    return raw((v_ < 0) != (o.v_ < 0) ? -q : q);
}

static QString digitsOf(__int128 v)
{
    if (v == 0)
        return QStringLiteral("0");
    QString s;
    while (v > 0) {
        s.prepend(QChar(char('0' + int(v % 10))));
        v /= 10;
    }
    return s;
}

QString Decimal::toFixed(int places) const
{
    places = qBound(0, places, Places);
    const Int s = scale(Places - places);
    Int a = v_ < 0 ? -v_ : v_;
    a = (a + s / 2) / s;
    QString d = digitsOf(a);
    if (places > 0) {
        if (d.size() <= places)
            d = QString(places - d.size() + 1, QLatin1Char('0')) + d;
        d.insert(d.size() - places, QLatin1Char('.'));
    }
    return (v_ < 0 && a != 0 ? QStringLiteral("-") : QString()) + d;
}

QString Decimal::toString() const
{
    QString t = toFixed(Places);
    while (t.endsWith(QLatin1Char('0')))
        t.chop(1);
    if (t.endsWith(QLatin1Char('.')))
        t.chop(1);
    return t;
}


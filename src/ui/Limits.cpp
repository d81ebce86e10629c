#include "Limits.h"

#include <QRegularExpression>

namespace Limits {

QString largest(int precision, int scale)
{
    const int whole = precision - scale;
    QString w;
    for (int i = 0; i < whole; ++i) {
        if (i > 0 && (whole - i) % 3 == 0)
            w += QLatin1Char(' ');
        w += QLatin1Char('9');
    }
    if (w.isEmpty())
        w = QStringLiteral("0");
    return scale > 0 ? w + QLatin1Char(',') + QString(scale, QLatin1Char('9')) : w;
}

QString numericProblem(const QString &field, const QString &text, int precision, int scale)
{
    static const QRegularExpression number(QStringLiteral("^\\s*[-+]?([0-9]*)(?:[.,]([0-9]*))?\\s*$"));
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch())
        return QString();
    QString whole = m.captured(1);
    const QString fraction = m.captured(2);
    while (whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    const int room = precision - scale;
    bool fits = whole.size() < room;
    if (whole.size() == room) {
        // All nines up to the last kept place, and rounding up: one digit more.
        const QString kept = whole + fraction.left(scale).leftJustified(scale, QLatin1Char('0'));
        const bool roundsUp = fraction.size() > scale && fraction.at(scale) >= QLatin1Char('5');
        fits = !(roundsUp && kept.count(QLatin1Char('9')) == kept.size());
    }
    if (fits)
        return QString();
    return QStringLiteral("%1: не больше %2.").arg(field, largest(precision, scale));
}

QString lengthProblem(const QString &field, const QString &text, int maxChars)
{
    if (text.toUcs4().size() <= maxChars)
        return QString();
    return QStringLiteral("%1: не длиннее %2 знаков.").arg(field).arg(maxChars);
}

} // namespace Limits

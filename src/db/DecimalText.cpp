#include "DecimalText.h"

#include <QRegularExpression>

namespace DecimalText {

QString round(const QString &text, int places)
{
    static const QRegularExpression re(QStringLiteral("^\\s*([+-]?)(\\d*)(?:\\.(\\d*))?\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch() || (m.capturedLength(2) == 0 && m.capturedLength(3) == 0))
        return QString();
    const bool negative = m.captured(1) == QLatin1String("-");
    QString whole = m.captured(2), frac = m.captured(3);
    if (whole.isEmpty())
        whole = QStringLiteral("0");
    if (places < 0) {
        while (frac.endsWith(QLatin1Char('0')))
            frac.chop(1);
    } else if (frac.size() <= places) {
        frac += QString(places - frac.size(), QLatin1Char('0'));
    } else {
        const bool up = frac.at(places) >= QLatin1Char('5');
        frac.truncate(places);
        if (up) {
            QString digits = whole + frac;
            int k = digits.size() - 1;
            for (; k >= 0; --k) {
                if (digits[k] == QLatin1Char('9')) {
                    digits[k] = QLatin1Char('0');
                } else {
                    digits[k] = QChar(digits[k].unicode() + 1);
                    break;
                }
            }
            if (k < 0)
                digits.prepend(QLatin1Char('1'));
            whole = digits.left(digits.size() - places);
            frac = digits.right(places);
        }
    }
    while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    QString out = whole;
    if (!frac.isEmpty())
        out += QLatin1Char('.') + frac;
    bool zero = true;
    for (const QChar c : out)
        zero = zero && (c == QLatin1Char('0') || c == QLatin1Char('.'));
    return negative && !zero ? QLatin1Char('-') + out : out;
}

} // namespace DecimalText

#include "DayColumns.h"

namespace DayColumns {

QString name(int day) { return QStringLiteral("d") + QString::number(day); }

QStringList names()
{
    QStringList n;
    for (int d = 1; d <= Count; ++d)
        n << name(d);
    return n;
}

QString list(const QString &pattern, const QString &separator, const QList<int> &breakAfter)
{
    QString s;
    for (int d = 1; d <= Count; ++d) {
        s += QString(pattern).replace(QLatin1String("%1"), name(d)).replace(QLatin1String("%2"), QString::number(d));
        if (d < Count) {
            s += separator;
            if (breakAfter.contains(d))
                s += QLatin1Char('\n');
        }
    }
    return s;
}

} // namespace DayColumns

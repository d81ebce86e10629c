#pragma once
#include <QString>

// Russian words that follow a number and a month named in a sentence.
namespace Words {

// "1 запись", "3 записи", "14 записей": the form that goes with n.
inline QString count(qint64 n, const char *one, const char *few, const char *many)
{
    const qint64 a = n < 0 ? -n : n;
    const qint64 tens = a % 100, last = a % 10;
    const char *w = (tens >= 11 && tens <= 14) ? many : last == 1 ? one : (last >= 2 && last <= 4) ? few : many;
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(w);
}

// "декабрь 2026", as after "за".
inline QString month(int month, int year)
{
    static const char *const names[] = {"январь", "февраль", "март", "апрель", "май", "июнь",
                                        "июль", "август", "сентябрь", "октябрь", "ноябрь", "декабрь"};
    const QString m = month >= 1 && month <= 12 ? QString::fromUtf8(names[month - 1]) : QString::number(month);
    return m + QLatin1Char(' ') + QString::number(year);
}

} // namespace Words

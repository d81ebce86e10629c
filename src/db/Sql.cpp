#include "Sql.h"

#include <QDateTime>
#include <cmath>

namespace Sql {

QString num(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("NULL");
    QString s = QString::number(value, 'f', 10);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    return s;
}

QString num(qint64 value) { return QString::number(value); }

namespace {
// 'text' with apostrophes doubled; a null QString becomes NULL.
QString text(const QString &value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    QString v = value;
    v.replace(QLatin1Char('\''), QLatin1String("''"));
    // A backslash is an ordinary character with standard_conforming_strings;
    // NUL cannot be stored in text, so it is dropped.
    v.remove(QChar(0));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

// DD.MM.YYYY, as the server reads dates day first.
QString date(const QDate &d) { return d.toString(QStringLiteral("dd.MM.yyyy")); }

// A literal for a value: strings quoted, numbers bare, dates as 'DD.MM.YYYY'.
QString literal(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return num(value.toDouble());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::QDate:
        return text(date(value.toDate()));
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.time() == QTime(0, 0))
            return text(date(dt.date()));
        return text(dt.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    }
    default:
        return text(value.toString());
    }
}

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

// Walks the statement, calling onParam(start, length, name) for each :name.
template <class F> void scan(const QString &s, F onParam)
{
    const int n = s.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // skip a quoted literal or identifier; doubled quotes stay inside
            const QChar q = c;
            ++i;
            while (i < n) {
                if (s.at(i) == q) {
                    if (i + 1 < n && s.at(i + 1) == q) {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && s.at(i + 1) == QLatin1Char('-')) {
            while (i < n && s.at(i) != QLatin1Char('\n'))
                ++i;
            continue;
        }
        if (c == QLatin1Char('$') && (i == 0 || !(isNameChar(s.at(i - 1)) || s.at(i - 1) == QLatin1Char('$')))) {
            // a dollar-quoted body ($$...$$, $tag$...$tag$) is skipped whole
            int j = i + 1;
            if (j < n && !s.at(j).isDigit()) {
                while (j < n && isNameChar(s.at(j)))
                    ++j;
                if (j < n && s.at(j) == QLatin1Char('$')) {
                    const QString tag = s.mid(i, j - i + 1);
                    const int close = int(s.indexOf(tag, j + 1));
                    i = close < 0 ? n : close + int(tag.size()) - 1;
                    continue;
                }
            }
        }
        if (c != QLatin1Char(':'))
            continue;
        if (i + 1 < n && s.at(i + 1) == QLatin1Char(':')) {
            ++i; // a "::" cast
            continue;
        }
        if (i > 0 && s.at(i - 1) == QLatin1Char(':'))
            continue;
        int j = i + 1;
        while (j < n && isNameChar(s.at(j)))
            ++j;
        if (j == i + 1)
            continue;
        onParam(i, j - i, s.mid(i + 1, j - i - 1).toLower());
        i = j - 1;
    }
}
} // namespace

QString bind(const QString &statement, const QMap<QString, QVariant> &params)
{
    QString out;
    out.reserve(statement.size() + 64);
    int last = 0;
    scan(statement, [&](int start, int len, const QString &name) {
        out += QStringView(statement).mid(last, start - last);
        out += literal(params.value(name));
        last = start + len;
    });
    out += QStringView(statement).mid(last);
    return out;
}

QString positional(const QString &statement, const QMap<QString, QVariant> &params, QVariantList *values)
{
    QString out;
    out.reserve(statement.size());
    int last = 0;
    scan(statement, [&](int start, int len, const QString &name) {
        out += QStringView(statement).mid(last, start - last);
        out += QLatin1Char('?');
        values->append(params.value(name));
        last = start + len;
    });
    out += QStringView(statement).mid(last);
    return out;
}

} // namespace Sql

#include "ChangeNotice.h"

#include "DbSession.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace ChangeNotice {

const char *const Channel = "tabel_changes";

namespace {
const char *const kNames[] = {"entries", "housekeeping", "timesheet", "workers", "products", "operations", "kinds", "month"};
}

QString tableName(Table t) { return QString::fromLatin1(kNames[int(t)]); }

bool tableFromName(const QString &name, Table *t)
{
    for (int i = 0; i < int(sizeof kNames / sizeof *kNames); ++i)
        if (name == QLatin1String(kNames[i])) {
            *t = Table(i);
            return true;
        }
    return false;
}

QString payload(const Change &c)
{
    QJsonObject o;
    o.insert(QStringLiteral("t"), tableName(c.table));
    if (c.date.isValid())
        o.insert(QStringLiteral("d"), c.date.toString(Qt::ISODate));
    int y = c.year, m = c.month;
    if (!y && c.date.isValid()) {
        y = c.date.year();
        m = c.date.month();
    }
    if (y) {
        o.insert(QStringLiteral("y"), y);
        o.insert(QStringLiteral("m"), m);
    }
    if (c.shift)
        o.insert(QStringLiteral("s"), c.shift);
    if (c.worker)
        o.insert(QStringLiteral("w"), c.worker);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

bool parse(const QString &text, Change *c)
{
    const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
    Change r;
    if (!tableFromName(o.value(QStringLiteral("t")).toString(), &r.table))
        return false;
    r.date = QDate::fromString(o.value(QStringLiteral("d")).toString(), Qt::ISODate);
    r.year = o.value(QStringLiteral("y")).toInt();
    r.month = o.value(QStringLiteral("m")).toInt();
    r.shift = o.value(QStringLiteral("s")).toInt();
    r.worker = o.value(QStringLiteral("w")).toInt();
    *c = r;
    return true;
}

void send(const QString &connection, const Change &c)
{
    DbSession::execBound(connection, QStringLiteral("select pg_notify(?, ?)"), {QString::fromLatin1(Channel), payload(c)},
                         DbSession::Retry::Never);
}

bool touchesMonth(const Change &c, int year, int month)
{
    if (c.date.isValid())
        return c.date.year() == year && c.date.month() == month;
    if (!c.year)
        return true; // no month named: it may concern any month
    return c.year == year && c.month == month;
}

bool touchesDay(const Change &c, const QDate &date, int shift)
{
    if (shift && c.shift && c.shift != shift)
        return false;
    if (c.date.isValid())
        return c.date == date;
    return touchesMonth(c, date.year(), date.month());
}

} // namespace ChangeNotice

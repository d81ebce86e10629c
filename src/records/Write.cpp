#include "Write.h"

#include "db/Actor.h"
#include "db/DbError.h"
#include "db/DbSession.h"

#include <QHash>

namespace Write {

Rows run(const QString &connection, const QString &sql, const QVariantList &values)
{
    return DbSession::execBound(connection, sql, values, DbSession::Retry::Never);
}

namespace {
struct Told {
    quint64 generation = 0;
    QString who;
};
QHash<QString, Told> g_told;
} // namespace

void tellWho(const QString &connection)
{
    const Actor::Who none;
    const Actor::Who &w = Actor::isSet() ? Actor::current() : none;
    const QString who = w.name + QLatin1Char('\n') + w.role + QLatin1Char('\n') + w.workstation;
    auto it = g_told.constFind(connection);
    if (it != g_told.constEnd() && it->generation == DbSession::generation(connection) && it->who == who
        && DbSession::database(connection).isOpen())
        return;
    // Safe to send again: a connection found lost is opened again, the user
    // told so, and the settings sent on the new one.
    Rows q = DbSession::execBound(connection,
                         QStringLiteral("select set_config('%1', ?, false), set_config('%2', ?, false), set_config('%3', ?, false)")
                             .arg(QLatin1String(Actor::UserSetting), QLatin1String(Actor::RoleSetting),
                                  QLatin1String(Actor::WorkstationSetting)),
                         {w.name, w.role, w.workstation}, DbSession::Retry::Read);
    g_told.insert(connection, {DbSession::generation(connection), who});
}

Outcome call(const QString &connection, const QString &sql, const QVariantList &values)
{
    try {
        tellWho(connection);
        const quint64 generation = DbSession::generation(connection);
        Rows q = run(connection, sql, values);
        if (DbSession::generation(connection) != generation) {
            // Found lost and opened again before the call was sent: it ran on
            // the new connection before the database was told who works here,
            // and was refused before writing anything. It goes once more.
            tellWho(connection);
            q = run(connection, sql, values);
        }
        if (!q.next())
            return Outcome::refused(Outcome::Refused, QStringLiteral("База данных не сообщила, чем кончилась запись."));
        const QString status = q.value(0).toString();
        const QString text = q.value(2).toString();
        if (status == QLatin1String("saved"))
            return Outcome::saved(q.value(1).toLongLong());
        if (status == QLatin1String("duplicate"))
            return Outcome::refused(Outcome::Duplicate, text);
        if (status == QLatin1String("changed"))
            return Outcome::refused(Outcome::ChangedElsewhere, text);
        return Outcome::refused(Outcome::Refused, text);
    } catch (const DbSession::ConnectionLost &e) {
        // The call is its own transaction: the server may have committed it
        // (the text says so, and whether a server answers again yet).
        return Outcome::refused(Outcome::Refused, e.text());
    } catch (const DbError &e) {
        return Outcome::refused(Outcome::Refused, e.text());
    }
}

QVariant keyValue(const QUuid &key)
{
    return key.isNull() ? QVariant() : QVariant(key.toString(QUuid::WithoutBraces));
}

QVariant dateValue(const QDate &date)
{
    return date.isValid() ? QVariant(date.toString(Qt::ISODate)) : QVariant();
}

} // namespace Write

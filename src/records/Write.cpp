#include "Write.h"

#include "db/DbError.h"
#include "db/LockTimeout.h"
#include "db/DbSession.h"

namespace Write {

QString busyText()
{
    return QStringLiteral("Другое рабочее место сейчас записывает этот месяц или день. Повторите через несколько секунд.");
}

Rows run(const QString &connection, const QString &sql, const QVariantList &values)
{
    return DbSession::execBound(connection, sql, values, DbSession::Retry::Never);
}

Outcome call(const QString &connection, const QString &sql, const QVariantList &values)
{
    try {
        // Who works here the database knows from the sign-in's tie of this
        // server session (tied again on a reopened connection).
        Rows q = run(connection, sql, values);
        return answer(q);
    } catch (const DbSession::ConnectionLost &e) {
        // The call is its own transaction: the server may have committed it
        // (the text says so, and whether a server answers again yet).
        return Outcome::refused(Outcome::Refused, e.text());
    } catch (const LockTimeout &) {
        // a row or month another session held past the function's lock_timeout
        return Outcome::refused(Outcome::Refused, busyText());
    } catch (const DbError &e) {
        return Outcome::refused(Outcome::Refused, e.text());
    }
}

Outcome answer(Rows &q)
{
    q.first();
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
    // 'refused': a value or a rule the database holds to, its message naming the field
    return Outcome::refused(Outcome::Refused, text);
}

Outcome answer(Gateway::Each &e)
{
    if (!e.ok)
        return Outcome::refused(Outcome::Refused, e.lockTimeout ? busyText() : e.error);
    return answer(e.rows);
}

QVariant keyValue(const QUuid &key)
{
    return key.isNull() ? QVariant() : QVariant(key.toString(QUuid::WithoutBraces));
}

QVariant dateValue(const QDate &date)
{
    return date.isValid() ? QVariant(date) : QVariant(); // spelled out by the gateway
}

QVariant flag(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace Write

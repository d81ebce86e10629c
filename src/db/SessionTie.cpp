#include "SessionTie.h"

#include "DbSession.h"
#include "Gateway.h"

#include <QHash>

namespace SessionTie {

namespace {
QHash<QString, QString> g_tokens; // connection -> the token of its sign-in
} // namespace

Who signIn(const QString &connection, const QString &code, const QString &workstation)
{
    // Sent again on a reopened connection: that ties the new server session.
    Rows q = DbSession::execBound(
        connection, QStringLiteral("select user_id, user_name, user_role, resume_token from accounts_dep.sign_in(?, ?)"),
        {code, workstation}, DbSession::Retry::Read);
    if (!q.next())
        throw DbError(QStringLiteral("Введены неверные данные."));
    Who w;
    w.id = q.value(0).toInt();
    w.name = q.value(1).toString();
    w.role = q.value(2).toString();
    g_tokens[connection] = q.value(3).toString();
    return w;
}

void resume(const QString &connection)
{
    const auto it = g_tokens.constFind(connection);
    if (it == g_tokens.constEnd())
        return;
    // Runs while a connection is being opened again: a loss here is an error.
    Gateway::run(connection, QStringLiteral("select user_id from accounts_dep.session_resume(?)"), {*it},
                 Gateway::Retry::Opening);
}

void tieAlso(const QString &connection, const QString &signedInConnection)
{
    const auto it = g_tokens.constFind(signedInConnection);
    if (it == g_tokens.constEnd())
        return;
    Gateway::run(connection, QStringLiteral("select user_id from accounts_dep.session_resume(?)"), {*it},
                 Gateway::Retry::Never);
}

void forget(const QString &connection) { g_tokens.remove(connection); }

} // namespace SessionTie

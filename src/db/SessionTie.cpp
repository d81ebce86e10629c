#include "SessionTie.h"

#include "DbSession.h"
#include "Gateway.h"

#include <QHash>

namespace SessionTie {

namespace {
QHash<QString, QString> g_tokens; // connection -> the token of its sign-in
// the token of a sign-in waiting for its new code
QString &pendingToken()
{
    static QString t;
    return t;
}
} // namespace

Who signIn(const QString &connection, const QString &code, const QString &workstation)
{
    // Sent again on a reopened connection: that ties the new server session.
    Rows t = DbSession::execBound(connection, QStringLiteral("select resume_token from accounts_dep.sign_in(?, ?)"),
                                  {code, workstation}, DbSession::Retry::Read);
    if (!t.next())
        throw DbError(QStringLiteral("Введены неверные данные."));
    const QString token = t.value(0).toString();
    // the database's verdict, on the committed sign-in
    Rows q = DbSession::execBound(connection,
                                  QStringLiteral("select user_id, user_name, user_role, must_change "
                                                 "from accounts_dep.sign_in_outcome()"),
                                  {}, DbSession::Retry::Read);
    if (!q.next())
        throw DbError(QStringLiteral("Введены неверные данные."));
    Who w;
    w.id = q.value(0).toInt();
    w.name = q.value(1).toString();
    w.role = q.value(2).toString();
    w.mustChange = q.value(3).toBool();
    if (w.mustChange)
        g_tokens.remove(connection); // tied for the code change only: nothing to resume
    else
        g_tokens[connection] = token;
    pendingToken() = w.mustChange ? token : QString();
    return w;
}

void setOwnCode(const QString &connection, const QString &code)
{
    DbSession::execBound(connection, QStringLiteral("select accounts_dep.own_code_set(?)"), {code},
                         DbSession::Retry::Never);
    if (!pendingToken().isEmpty())
        g_tokens[connection] = pendingToken();
    pendingToken().clear();
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

#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// A statement sent with its values as protocol parameters ($1, $2, … in
// `sql`), on the named connection's own server session: the values never
// become part of the statement's text, so a refused statement leaves no code
// in the server's log. Runs in autocommit unless a transaction is open on the
// connection. A null QString is sent as NULL. Rows come back as text.
// Throws DbError with the server's message.
namespace Params {

QList<QStringList> exec(const QString &connection, const QString &sql, const QStringList &values);

// Runs a script of several statements (no values) on the connection's server
// session; stops at the first failing statement and throws DbError with its
// message. The script's own BEGIN/COMMIT decide what stands after a failure.
void script(const QString &connection, const QString &sql);

} // namespace Params

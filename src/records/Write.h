#pragma once
#include "Outcome.h"

#include <QDate>
#include "db/Gateway.h"
#include <QString>
#include <QUuid>
#include <QVariantList>

// What every write of this folder does the same way: one call of one
// database function, in one statement that is its own transaction.
namespace Write {

// A statement with bound values; the query stays positioned before its
// first row. Throws DbError.
Rows run(const QString &connection, const QString &sql, const QVariantList &values = {});

// One call of a write function answering with one row (status, id,
// message), turned into an Outcome: 'saved', 'duplicate', 'changed' or a
// refusal with the database's text. The connection lost while the reply
// was awaited leaves the outcome unknown, and says so: the save key settles
// a second press.
Outcome call(const QString &connection, const QString &sql, const QVariantList &values);

// What a write says when another workstation held its month, day or row
// longer than the database waits (the server's lock timeout, 55P03).
QString busyText();
// The answer row of a write function (status, id, message) as an Outcome.
Outcome answer(Rows &q);
// One call's own outcome from Gateway::runEach.
Outcome answer(Gateway::Each &e);

// Values as the write functions take them (null for a null key or date).
QVariant keyValue(const QUuid &key);
QVariant dateValue(const QDate &date);
QVariant flag(bool on);

} // namespace Write

#pragma once
#include "Outcome.h"

#include <QDate>
#include "db/Gateway.h"
#include <QString>
#include <QUuid>
#include <QVariantList>
#include <functional>

// What every write of this folder does the same way.
namespace Write {

// Runs `body` inside one transaction and turns what it ends with into an
// Outcome: the body's own refusal, Saved after the commit, or Refused with
// the database's text. By the time this returns the transaction has ended
// (committed or rolled back), so the caller may show the outcome.
Outcome inTransaction(const QString &connection, const std::function<Outcome()> &body);

// A statement with bound values inside the transaction; the query stays
// positioned before its first row. Throws DbError.
Rows run(const QString &connection, const QString &sql, const QVariantList &values = {});

// A key as the database stores it (null for a null key).
QVariant keyValue(const QUuid &key);

// The row an earlier press with this save key stored in `table` (a press
// after an unknown outcome), or 0. For a change (id > 0) only that row counts.
qint64 storedByKey(const QString &connection, const QString &table, const QUuid &key, qint64 id);

} // namespace Write

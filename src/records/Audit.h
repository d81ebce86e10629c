#pragma once
#include <QJsonObject>
#include <QString>

// The audit trail. Changes of entries and housekeeping entries are recorded
// by the database's triggers; actions that change many rows at once (rebuild,
// recalculation, import, product deletion) are recorded here as one record,
// inside the action's transaction so that it stands or falls with it.
namespace Audit {

// Records `action` with the key of what it acted on (a month "2024-03", a
// product id) and what it did. Throws DbError.
void action(const QString &connection, const QString &action, const QString &key,
            const QJsonObject &details = QJsonObject());

} // namespace Audit

#pragma once
#include <QString>
#include <QVariant>
#include <QVariantList>

// A catalogue write: one call of its database function in one statement, with
// the typed values bound as parameters. The function checks the user's right,
// writes, and tells the other workstations, all in its own transaction.
namespace CatalogueWrite {

// Runs `statement` ("select accounts_dep.kind_add(?)" and the like) with
// `values` and gives the first row's columns (empty when it returns none).
// A refusal or a failure is shown to the user with the database's text and
// gives false; nothing is written then.
bool call(const QString &connection, const QString &statement, const QVariantList &values,
          QVariantList *row = nullptr);

} // namespace CatalogueWrite

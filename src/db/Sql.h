#pragma once
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantList>

// Named parameters (":name") in the statements the windows keep as text:
// turned into the gateway's placeholders with their values in order. Values
// travel as parameters; only a statement's text for the server's plan
// (EXPLAIN in tests) is spelled out with literals.
namespace Sql {

// Decimal text with "." as the decimal point.
QString num(double value);
QString num(qint64 value);

// Replaces every :name outside quotes (and not part of a "::" cast) with the
// literal of params[name.toLower()]. Unknown names become NULL.
QString bind(const QString &statement, const QMap<QString, QVariant> &params);
// The statement with every :name outside quotes (and not part of a "::"
// cast) replaced by a positional placeholder "?", and the values to bind, in
// order, as they are (the gateway spells each type out); unknown names bind NULL.
QString positional(const QString &statement, const QMap<QString, QVariant> &params, QVariantList *values);

} // namespace Sql

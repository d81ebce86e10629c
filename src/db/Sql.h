#pragma once
#include <QDate>
#include <QMap>
#include <QString>
#include <QVariant>

// Building blocks for composed SQL text. Every text value that reaches a
// statement goes through sqlText(), so typed apostrophes are stored as typed
// and nothing typed can change the statement.
namespace Sql {

// 'text' with apostrophes doubled; a null QString becomes NULL.
QString text(const QString &value);
// Decimal text with "." as the decimal point.
QString num(double value);
QString num(qint64 value);
// DD.MM.YYYY, as the server reads dates day first.
QString date(const QDate &d);
// A literal for any bound value: strings quoted, numbers bare, dates as 'DD.MM.YYYY'.
QString literal(const QVariant &value);

// Replaces every :name outside quotes (and not part of a "::" cast) with the
// literal of params[name.toLower()]. Unknown names become NULL.
QString bind(const QString &statement, const QMap<QString, QVariant> &params);
// The statement with every :name outside quotes (and not part of a "::"
// cast) replaced by a positional placeholder "?", and the values to bind, in
// order: dates as 'DD.MM.YYYY' text, as the server reads dates day first
// (so a date goes into to_date(:d, 'DD.MM.YYYY') as well as into a date
// column); unknown names bind NULL.
QString positional(const QString &statement, const QMap<QString, QVariant> &params, QVariantList *values);
// The value bound for a parameter (see positional()).
QVariant boundValue(const QVariant &value);
// The parameter names (lower case) that occur in a statement, in order of first use.
QStringList parameterNames(const QString &statement);

} // namespace Sql

#pragma once
#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

// How an audit record reads to a user, the same in "История" and in
// "Журнал изменений" (screen, paper, Excel): the windows' own captions,
// names instead of ids, values as the windows show them, and nothing of the
// program's own bookkeeping (keys, save keys).
//
// A record's before/after hold either the whole row (insertions, deletions,
// and changes recorded before the trail kept only what changed) or only the
// changed columns, the same keys on both sides. Both read the same.
namespace HistoryText {

// Names of the catalogue rows the records point at.
struct Names {
    QHash<qint64, QString> workers, products, operations, groups, kinds;
};

// The ids a set of records points at, gathered before one read of their names.
struct Wanted {
    QSet<qint64> workers, products, operations, groups, kinds;
    void add(const QString &table, const QJsonObject &row);
    bool isEmpty() const;
};

// One statement for all of them. Throws DbError.
Names readNames(const QString &connection, const Wanted &wanted);

// "Кол-во: 40 → 45", one item per changed field, for a change; every field
// that matters for an insertion or a deletion ("Кол-во: 40").
QStringList changes(const QString &table, const QJsonObject &before, const QJsonObject &after, const Names &names);

// The entry a row is: "журнал, 05.03.2024, смена 1, Алексеев А.В., РК-128, Сборка";
// for an action (no table) its key: "март 2024". `row` may be empty.
QString entry(const QString &table, const QString &key, const QJsonObject &row, const Names &names);

// "Иванова И.И. (Администратор, цех-1)"; without the workstation when empty.
QString who(const QString &user, const QString &role, const QString &workstation = QString());

} // namespace HistoryText

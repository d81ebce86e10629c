#pragma once
#include <QDialog>

class QTableWidget;

// The audit records of one entry, newest first: when, who, what changed
// from what to what.
class EntryHistory : public QDialog {
    Q_OBJECT
public:
    explicit EntryHistory(QWidget *parent = nullptr);
    QTableWidget *grid;

    // Reads the records of row `id` of `table` (smena or fatigue); throws DbError.
    void load(const QString &connection, const QString &table, int id);

    // "поле: было → стало; …" for the fields that differ (all of the row's
    // fields for an insert or a deletion).
    static QString changes(const QByteArray &before, const QByteArray &after);
};

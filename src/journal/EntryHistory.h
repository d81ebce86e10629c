#pragma once
#include <QDialog>

class QLabel;
class QTableWidget;

// The audit records of one entry, newest first: when, who, what was done
// and what changed from what to what, in the journal's own words.
class EntryHistory : public QDialog {
    Q_OBJECT
public:
    explicit EntryHistory(QWidget *parent = nullptr);
    QLabel *title;      // the entry, as the journal shows it
    QTableWidget *grid; // columns: when, who, action, changes

    // Reads the records of row `id` of `table` (smena or fatigue); throws DbError.
    void load(const QString &connection, const QString &table, int id);
};

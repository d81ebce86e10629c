#pragma once
#include "db/Dataset.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class TDataModule6;

// The journal's statements and its reads. The four shift queries stay the
// data module's members (the editor and the other windows reach them there);
// their text, their filter and how they are read are the journal's.
namespace JournalQueries {

// The statement of the journal query of a shift (1..4), line by line.
QStringList shiftStatement(int shift);

// The closing mark the journal never lists, for a signed-in role.
QString hiddenMark(const QString &role);

// The closed-month state of a day: one row, `closed` (boolean) and `text`
// (the database's refusal text for that month).
QString closedStateStatement();

} // namespace JournalQueries

// One day of the journal as shown: the four shift queries and whether the
// day's month is closed, each read in one trip to the server.
class JournalDay {
public:
    explicit JournalDay(TDataModule6 &dm);

    // The journal's filter from the signed-in role.
    void setRole(const QString &role);

    // The four shifts of `day` and its month's state. Throws DbError.
    void read(const QDate &day);
    // The four shifts and the state again, with the day last read.
    void readAgain();
    // Only `shift` and the state again (a notice, a shift changed elsewhere).
    void readShift(int shift);

    QDate day() const { return m_day; }
    bool monthClosed() const;
    QString closedText() const; // empty while the month is open

private:
    void readTogether(const QList<Dataset *> &shifts);
    TDataModule6 &m_dm;
    Dataset m_closed;
    QDate m_day;
};

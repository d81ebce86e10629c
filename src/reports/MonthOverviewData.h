#pragma once
#include "db/Decimal.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

// What the month overview shows, read from the journal and the timesheet in a
// few set-based statements (every one served by the date or month indexes),
// without any widget. Money is summed by the server in the same way as the
// piecework timesheet does (entry amounts summed, then rounded to kopecks),
// so that the figures agree with it to the kopeck: the month's earnings are
// the sum of the timesheet's rows, which is what is paid.
struct MonthOverviewData {
    using Decimal = Printing::Decimal;

    struct Day {
        QDate date;
        Decimal earnings[4]; // shifts 1, 2, 3 and 4 ("Переработка")
        qint64 pieces = 0;   // good pieces
        qint64 entryHours = 0, sheetHours = 0;
        bool weekend() const { return date.dayOfWeek() >= 6; }
        bool hoursDiffer() const { return entryHours != sheetHours; }
    };
    struct WorkerRate {
        int worker = 0;
        QString name;
        Decimal earnings;
        qint64 hours = 0;
        Decimal perHour;
    };
    // A worker-day whose timesheet hours are not those of its entries
    struct Mismatch {
        int worker = 0;
        QString name;
        QDate date;
        qint64 sheetHours = 0, entryHours = 0;
    };
    struct Totals {
        Decimal earnings;
        qint64 pieces = 0, hours = 0;
        int workers = 0;
    };

    int month = 0, year = 0;
    QDate today;                   // the day the month was read on
    QVector<Day> days;             // every day of the month, in order
    QVector<WorkerRate> rates;     // workers with hours, highest earnings per hour first
    int workersWithoutHours = 0;   // workers with entries but no hours
    QVector<Mismatch> mismatches;  // by day, then name
    // The month as a whole. Its earnings are the sum of the piecework
    // timesheet's rows: each worker with a timesheet line, his entries summed
    // and rounded to kopecks, entries of defects only included.
    Totals current;
    // The timesheet's "Сделка:" figure (entries with good pieces and a price
    // only) and the sum of the entries it leaves out
    Decimal deal, leftOut;
    // The comparison: this month and the one before over the same days,
    // 1..comparedDays while the month is still running (0: whole months)
    Totals compared, previous;
    int comparedDays = 0;

    // Days drawn as lines: none for a month still to come, up to today in
    // the current one (days to come have nothing yet, not zero).
    int drawnDays() const;
    // What the month's earnings are, and by how much and why the
    // timesheet's "Сделка:" differs from them, a sentence a line (none when
    // it does not).
    QStringList dealDifference(const QString &point) const;
    // Two decimals with `point` as the separator
    static QString money(const Decimal &d, const QString &point);
    // "Ноябрь 2024" or, for the same days only, "Ноябрь 2024, 1–11"
    QString comparedTitle(bool before) const;

    bool isEmpty() const { return current.pieces == 0 && current.hours == 0 && current.earnings.isZero() && mismatches.isEmpty(); }
    // Earnings of a day over its shifts
    static Decimal dayEarnings(const Day &d);
    // The top `top` and the bottom `bottom` rates, without repeating a worker
    // when there are fewer than top + bottom.
    QVector<WorkerRate> topAndBottom(int top = 15, int bottom = 5) const;
    // Change from `before` to `now` in per cent, one decimal ("+12,5 %");
    // "—" when there was nothing before.
    static QString change(const Decimal &before, const Decimal &now, const QString &point = QStringLiteral("."));

    // Reads the month on the named connection; throws DbError.
    static MonthOverviewData read(const QString &connection, int month, int year);
};

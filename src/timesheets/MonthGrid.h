#pragma once
#include <QList>
#include <QColor>
#include <QDate>
#include <QString>
#include <functional>

class Dataset;
class DatasetModel;
class QAbstractButton;
class QProgressBar;
class QTableView;

// What the monthly timesheet windows share: month names, weekend days, the
// look of the day columns, reading a month's query and running a rebuild.
namespace MonthGrid {

inline const QColor Weekend{255, 0, 0};           // Saturdays and Sundays
inline const QColor Silver{192, 192, 192};        // titles of days after the month's end, empty days
inline const QColor TotalBackground{225, 228, 255}; // the month's totals

QString monthName(int month); // "Январь" ... "Декабрь"
// Years a month's dates can be written for (a stored line with a year such
// as -1 must not reach the server as a date it cannot read). A year outside
// them is refused with a message; false then.
bool checkYear(int year);
QString dayField(int day);    // "d1" ... "d31"
// Saturdays and Sundays of a month (no holiday calendar).
bool isWeekend(int day, int month, int year);

// Day columns of `model` for the month of `first`: weekend columns and titles
// red, the others in `normal`; days after the month's end with their text in
// `background` and silver titles, and hidden in `hideIn` when one is given.
// Hidden columns stay in the model, so every column keeps its position.
void colourDays(DatasetModel *model, const QDate &first, const QColor &normal, const QColor &background,
                QTableView *hideIn = nullptr);

// (Re)opens a query; an error is shown and leaves it closed.
void openShown(Dataset &ds);
// The same for several datasets read together, in one trip to the server.
void openShown(const QList<Dataset *> &datasets);

// Runs one month's rebuild as a long action of `button` with its progress by
// day on `bar`; a failure is shown, saying the month stayed as it was.
using Rebuild = std::function<void(const QString &connection, int month, int year,
                                   const std::function<void(int)> &progress)>;
bool rebuild(QAbstractButton *button, QProgressBar *bar, const QString &connection, int month, int year,
             const Rebuild &run);

// A rebuild the user asked for: the question first, naming the month and how
// many stored lines it replaces ("Нет" changes nothing); afterwards a message
// with the lines made. True when the month was rebuilt.
struct AskedRebuild {
    QString what; // "табель по сменам"
    QString from; // "из журнала"
    std::function<int(const QString &connection, int month, int year)> count; // lines stored now
    std::function<int(const QString &connection, int month, int year, const std::function<void(int)> &progress)> run;
};
bool rebuildAsked(QAbstractButton *button, QProgressBar *bar, const QString &connection, int month, int year,
                  const AskedRebuild &how);

} // namespace MonthGrid

#include "MonthGrid.h"

#include "db/Dataset.h"
#include "db/DayColumns.h"
#include "db/DbError.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/LongAction.h"
#include "ui/Words.h"

#include <QTableView>

namespace MonthGrid {

QString monthName(int month)
{
    static const char *const names[] = {"Январь", "Февраль", "Март", "Апрель", "Май", "Июнь",
                                        "Июль", "Август", "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
    return month >= 1 && month <= 12 ? QString::fromUtf8(names[month - 1]) : QString();
}

bool checkYear(int year)
{
    if (year >= 1 && year <= 9999)
        return true;
    Dialogs::error(QStringLiteral("Год %1 недопустим: табель ведётся за годы от 1 до 9999. Выберите другой год.").arg(year));
    return false;
}

QString dayField(int day) { return DayColumns::name(day); }

bool isWeekend(int day, int month, int year)
{
    // w: weekday of the 1st, 1 = Sunday ... 7 = Saturday
    const int w = QDate(year, month, 1).dayOfWeek() % 7 + 1;
    const int r = (day + w) % 7;
    return r == 1 || r == 2;
}

void colourDays(DatasetModel *model, const QDate &first, const QColor &normal, const QColor &background,
                QTableView *hideIn)
{
    for (int d = 1; d <= DayColumns::Count; ++d) {
        const bool inMonth = d <= first.daysInMonth();
        if (hideIn)
            hideIn->setColumnHidden(model->columnOf(dayField(d)), !inMonth);
        if (!inMonth)
            model->setColumnColors(dayField(d), background, Silver);
        else if (isWeekend(d, first.month(), first.year()))
            model->setColumnColors(dayField(d), Weekend, Weekend);
        else
            model->setColumnColors(dayField(d), normal, normal);
    }
}

void openShown(Dataset &ds)
{
    try {
        ds.close();
        ds.open();
    } catch (const DbError &e) {
        ds.close();
        Dialogs::error(e.text());
    }
}

void openShown(const QList<Dataset *> &datasets)
{
    try {
        for (Dataset *d : datasets)
            d->close();
        Dataset::openTogether(datasets);
    } catch (const DbError &e) {
        for (Dataset *d : datasets)
            d->close();
        Dialogs::error(e.text());
    }
}

bool rebuild(QAbstractButton *button, QProgressBar *bar, const QString &connection, int month, int year,
             const Rebuild &run)
{
    LongAction busy(button, bar);
    busy.setRange(1, QDate(year, month, 1).daysInMonth());
    try {
        // The progress comes from inside the rebuild's transaction: it is
        // repainted, no event runs (a timer's query would join the transaction).
        run(connection, month, year, [&busy](int day) {
            busy.setValue(day);
            busy.repaint();
        });
    } catch (const DbError &e) {
        Dialogs::error(QStringLiteral("Табель не перестроен, данные месяца остались прежними.\n%1").arg(e.text()));
        return false;
    }
    return true;
}

bool rebuildAsked(QAbstractButton *button, QProgressBar *bar, const QString &connection, int month, int year,
                  const AskedRebuild &how)
{
    int stored = 0;
    try {
        stored = how.count(connection, month, year);
    } catch (const DbError &e) {
        Dialogs::error(QStringLiteral("Табель не перестроен, данные месяца остались прежними.\n%1").arg(e.text()));
        return false;
    }
    // Lines typed or corrected by hand are lost in a rebuild: say so first.
    const QString question = QStringLiteral("Перестроить %1 за %2? Его строки (сейчас %3) будут удалены и построены заново %4.")
                                 .arg(how.what, Words::month(month, year), QString::number(stored), how.from);
    if (!Dialogs::question(question, QStringLiteral("Перестроить")))
        return false;
    int made = 0;
    if (!rebuild(button, bar, connection, month, year,
                 [&](const QString &c, int m, int y, const std::function<void(int)> &progress) { made = how.run(c, m, y, progress); }))
        return false;
    Dialogs::information(QStringLiteral("Табель за %1 перестроен: построено %2.")
                             .arg(Words::month(month, year), Words::count(made, "строка", "строки", "строк")),
                         QStringLiteral("Перестроить"));
    return true;
}

} // namespace MonthGrid

#pragma once
#include "ui/DatasetModel.h"

#include <QDate>
#include <QDialog>

#include "MonthGrid.h"

class Dataset;
class QComboBox;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableView;
class QWidget;
struct Forms;

// The timesheet by shifts: a month's hours per worker and day, one page per shift.
class TForm19 : public QDialog {
    Q_OBJECT
public:
    explicit TForm19(Forms &forms, QWidget *parent = nullptr);

    QTabWidget *PageControl1;
    QWidget *TabSheet1, *TabSheet2, *TabSheet3;
    QTableView *DBGrid1, *DBGrid2, *DBGrid3;
    DatasetModel *DataSource1, *DataSource2, *DataSource3;
    QPushButton *Button1; // "Перестроить"
    QProgressBar *PB;
    QPushButton *Button2; // "Excel"
    QComboBox *ComboBox1, *ComboBox2;
    QPushButton *Button5, *Button6, *Button4;

    int month() const;
    int year() const;
    static QString monthName(int month);

    // Month and year of `journalDate` selected and applied (the year added to
    // the list when it lacks it); the window is not shown.
    void prepare(const QDate &journalDate);
    // prepare(), then the window modally; the queries are closed afterwards.
    void openFor(const QDate &journalDate);

    // Weekend days of a month: Saturdays and Sundays.
    static bool isWeekend(int day, int month, int year);
    // How a day cell is drawn: value (empty = 0), its column a weekend day,
    // its column after the month's end. `normal`/`background`: the grid's text
    // and background colours.
    static CellStyle dayCellStyle(const QVariant &value, bool weekend, bool outside,
                                  const QColor &normal, const QColor &background);

    void ComboBox1Change(); // month or year changed
    void Button1Click();    // rebuild
    void Button2Click();    // export
    void Button5Click();    // refresh
    void Button6Click();    // print
    void FormActivate();

    static inline const QColor &Weekend = MonthGrid::Weekend;
    static inline const QColor &Silver = MonthGrid::Silver;
    static inline const QColor &TotalBackground = MonthGrid::TotalBackground;
    static const QColor Green; // a day of more than a shift

protected:
    void showEvent(QShowEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    DatasetModel *makeGrid(QTableView *view, Dataset *ds);
    void colourDays(DatasetModel *model);
    Forms &f;
};

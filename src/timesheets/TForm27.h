#pragma once
#include "db/Dataset.h"

#include <QDate>
#include <QDialog>

#include "MonthGrid.h"

class DatasetModel;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
struct Forms;

// The monthly pay timesheets: piecework (mode 9), housekeeping (14), average
// piecework (15) and general (17), with the shop's totals of the month.
class TForm27 : public QDialog {
    Q_OBJECT
public:
    explicit TForm27(Forms &forms, QWidget *parent = nullptr);

    QTableView *DBGrid;
    DatasetModel *DataSource1;
    QComboBox *ComboBox1, *cb_year;
    QLabel *Label1, *Label2, *Label3, *Label4;
    QLabel *DBText1, *DBText2, *DBText3, *DBText4;
    QPushButton *Button2, *Button5, *Button3, *Button1, *Button6;
    QProgressBar *PB;

    Dataset H_Tabel0, H_Tabel7777, H_Tabel7778, H_Tabel_all, q_year;
    Dataset price, price7, price8, all_price;

    int mode() const { return m_mode; }
    Dataset *query() const { return m_query; } // the mode's query
    int month() const;
    // A grid column (by field) shown in the grid.
    bool isColumnShown(const QString &field) const;
    // The year the grid and totals follow: the one chosen in cb_year, or the
    // preset year while the list lacks it.
    int year() const { return m_year; }

    // Opening a mode as of `today`, without showing the window.
    void prepare(int mode, const QDate &today);
    // prepare(), the window modally, then what closing does.
    void openMode(int mode);
    void closeDown();

    void ComboBox1Change(); // month or year changed
    void Button2Click();    // export
    void Button5Click();    // refresh
    void Button3Click();    // rebuild of the housekeeping lines
    void FormActivate();

    static inline const QColor &Weekend = MonthGrid::Weekend;
    static inline const QColor &Silver = MonthGrid::Silver;
    static inline const QColor &TotalBackground = MonthGrid::TotalBackground;

private:
    void showColumn(const QString &field, bool shown);
    void fillYears();
    void showTotals();
    Forms &f;
    int m_mode = 9;
    int m_year = 0;
    bool m_yearRead = false; // the list's change has read the month already
    Dataset *m_query = nullptr;
};

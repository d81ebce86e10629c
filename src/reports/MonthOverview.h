#pragma once
#include "MonthOverviewData.h"
#include "printing/Report.h"

#include <QDialog>

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableWidget;
struct Forms;

// "Обзор месяца": the month's piecework as four charts (output and earnings
// per day, earnings per hour by worker, timesheet hours against the entries'
// hours, the month against the previous one), printed through the report
// engine and saved as pictures.
class MonthOverview : public QDialog {
    Q_OBJECT
public:
    explicit MonthOverview(Forms &forms, QWidget *parent = nullptr);

    QComboBox *MonthBox, *YearBox;
    QTabWidget *ChartTabs;
    QChartView *DayChart, *RateChart, *HoursChart, *ComparisonChart;
    QLabel *NoticeLabel, *RateNote, *EarningsNote, *ComparisonNote;
    QListWidget *MismatchList;
    QTableWidget *ComparisonTable;
    QPushButton *RefreshButton, *PrintButton, *PdfButton, *PngButton, *CloseButton;

    static constexpr int ChartCount = 4;

    // Chooses the month of `day` and reads it, without showing the window.
    void prepare(const QDate &day);
    // prepare() for today, then the window modally.
    void openOverview();
    // Reads the chosen month; a database error is shown and leaves the charts empty.
    void readMonth();
    int month() const;
    int year() const;
    const MonthOverviewData &data() const { return m_data; }

    // The four charts on A4 landscape pages, month in the title, page numbers.
    Printing::Document document() const;
    // "Печать": the pages in the preview window.
    void printClick();
    // "PDF" and "PNG": written to the documents folder and opened; the path, or "" on failure.
    QString savePdf();
    QString savePng();

    // The chart `index` (0..3) of `data` as a new chart; the caller owns it.
    // Money with the screen's decimal separator, or the paper's.
    static QChart *makeChart(int index, const MonthOverviewData &data, bool paper = false);
    static QString chartTitle(int index);
    // Title of the month: "Март 2024"
    QString monthTitle() const;

private:
    void showData();
    QString fileBase() const;
    Forms &f;
    MonthOverviewData m_data;
};

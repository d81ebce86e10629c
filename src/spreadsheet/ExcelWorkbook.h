#pragma once
#include <QDateTime>
#include <QMap>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>
#include <map>

// One cell as the writes left it: a number (double) or a text (QString).
struct ExcelCell {
    QVariant value;
    bool textFormat = false; // number format "@"
    bool bold = false;
    bool money = false;      // number format "0.00"
};

struct ExcelSheet {
    QString name;
    QMap<QPair<int, int>, ExcelCell> cells; // (row, column), both from 1; values only through setValue
    QMap<int, double> widths;               // fitted columns, in character units

    const ExcelCell *cell(int row, int column) const;
    // The cell at (row, column), made empty when missing.
    ExcelCell &cellAt(int row, int column);
    // Stores a value, keeping the column's tally of text widths in step.
    void setValue(int row, int column, const QVariant &value);
    // The text a cell shows (numbers in general format).
    static QString shownText(const ExcelCell &c);
    // The width a text needs, in the spreadsheet's unit (the width of a digit).
    static double textWidth(const QString &text);
    // Fits a column to the longest text in it, as the spreadsheet's AutoFit
    // does. The widths are tallied as cells are written, so a fit costs the
    // same on the thousandth row as on the first.
    void fitColumn(int column);

private:
    // column -> text width -> how many of its cells need that width
    QMap<int, std::map<double, int>> textWidths;
};

// A workbook built in memory and written as .xlsx when shown.
class ExcelWorkbook {
public:
    static constexpr int MaxRow = 1048576;
    static constexpr int MaxColumn = 16384;
    static constexpr int MaxTextLength = 32767;

    explicit ExcelWorkbook(const QString &subject);

    QVector<ExcelSheet> sheets;
    QString subject;
    QDateTime started;
    QString savedPath; // set once written

    // Writes the .xlsx to `path`; false with `error` set when it fails.
    bool save(const QString &path, QString *error) const;
};

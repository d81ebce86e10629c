#pragma once
#include <QDateTime>
#include <QMap>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

// One cell as the writes left it: a number (double) or a text (QString).
struct ExcelCell {
    QVariant value;
    bool textFormat = false; // number format "@"
    bool bold = false;
};

struct ExcelSheet {
    QString name;
    QMap<QPair<int, int>, ExcelCell> cells; // (row, column), both from 1
    QMap<int, double> widths;               // fitted columns, in character units

    const ExcelCell *cell(int row, int column) const;
    // The text a cell shows (numbers in general format).
    static QString shownText(const ExcelCell &c);
    // Fits a column to the longest text in it, as the spreadsheet's AutoFit does.
    void fitColumn(int column);
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

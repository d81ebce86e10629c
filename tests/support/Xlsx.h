#pragma once
#include <QByteArray>
#include <QMap>
#include <QString>

// Reads back an exported .xlsx as a spreadsheet program would see it
// (through `unzip -p`): cell values and types, the text format, bold, widths.
namespace Xlsx {

struct Cell {
    QString type;  // "n" for a number, "s" for a text
    QString value; // the number as stored, or the text
    bool textFormat = false; // number format "@"
    QString format;          // its number format code ("0.00", "@"); empty for General
    bool bold = false;
};

struct Sheet {
    bool ok = false;           // the file and the sheet could be read
    QMap<QString, Cell> cells; // "B2" -> cell
    QMap<int, double> widths;  // column from 1 -> set width
    QString value(const QString &ref) const { return cells.value(ref).value; }
};

// One part of the package ("xl/sharedStrings.xml"); empty when missing.
QByteArray part(const QString &xlsx, const QString &name);
Sheet read(const QString &xlsx, int sheet = 1);

} // namespace Xlsx

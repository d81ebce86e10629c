#pragma once
#include <QString>
#include <functional>

// The four spreadsheet operations every export goes through. A new workbook
// is kept in memory while the cells are written; showing it writes it as an
// .xlsx file into the user's documents folder and opens that file with the
// desktop's default application. Each returns 1 for success and -1 for a
// failure whose message has already been shown.

// Starts a new workbook (one sheet) that the writes then fill. `fileName`
// must be empty: opening an existing workbook is not supported. `subject`
// names the file ("Операции 2024-03-05 14-30-12.xlsx"); when empty, the
// title of the active window is used.
int ExcelStart(const QString &fileName, const QString &subject = QString());
// true: saves the workbook and opens it; false: nothing visible changes.
int ExcelShow(bool visible);
// Writes one cell (sheet, column and row count from 1); a text that reads as
// a number becomes a number, unless the cell has the text format.
int ExcelWriteValue(int sheet, int column, int row, const QString &text);
// The same with the text format "@" set before the value, the column fitted
// to its content after it, and bold set or cleared.
int ExcelWriteCell(int sheet, int column, int row, const QString &text,
                   bool textFormat, bool fitColumn, bool bold);

// A sum of money: like ExcelWriteCell without the text format, but a number
// is rounded to kopecks and the cell gets the number format "0.00", so the
// value a spreadsheet sums is the value it shows. A text that is no number
// is written as text.
int ExcelWriteMoney(int sheet, int column, int row, const QString &text, bool fitColumn, bool bold);

class ExcelWorkbook;

namespace Excel {

// Where shown workbooks are saved: the folder set here, else the environment
// variable TABEL_DOCUMENTS_DIR, else the user's documents folder.
void setDocumentsFolder(const QString &folder);
QString documentsFolder();

// The workbook the writes go to (nullptr before a successful start).
const ExcelWorkbook *currentWorkbook();
// The file the last successful ExcelShow(true) wrote.
QString lastSavedFile();

// Called before any message of the operations is shown (an export puts
// back the grid it detached, so the user never sees an empty grid behind
// the box). Returns the one set before.
std::function<void()> setBeforeMessage(std::function<void()> fn);

// How typed input is read: a decimal number ("12", "-3,5", "1.5e3") or not.
bool readsAsNumber(const QString &text, double *value = nullptr);

} // namespace Excel

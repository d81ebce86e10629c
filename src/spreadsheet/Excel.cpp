#include "Excel.h"

#include "ExcelWorkbook.h"
#include "db/DecimalText.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QWidget>
#include <cmath>
#include <memory>

namespace {

std::unique_ptr<ExcelWorkbook> g_book; // the workbook the writes go to
QString g_folder;                      // set by tests
QString g_lastSaved;
std::function<void()> g_beforeMessage;

void showError(const QString &text, const QString &caption = QStringLiteral("Ошибка"))
{
    if (g_beforeMessage)
        g_beforeMessage();
    Dialogs::error(text, caption);
}

const QString kOpenFailed = QStringLiteral("Ошибка открытия файла Microsoft Excel.");
const QString kBadSheet = QStringLiteral("Ошибочный номер листа Microsoft Excel");
const QString kWriteFailed = QStringLiteral("Ошибка Microsoft Excel");

bool folderWritable(const QString &folder)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tabel-XXXXXX")));
    return probe.open();
}

QString activeTitle()
{
    QWidget *w = QApplication::activeModalWidget();
    if (!w)
        w = QApplication::activeWindow();
    return w ? w->windowTitle() : QString();
}

// "Операции 2024-03-05 14-30-12.xlsx", with " (2)" and so on when taken.
QString fileNameFor(const ExcelWorkbook &book, const QString &folder)
{
    QString subject = book.subject;
    subject.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|\\x00-\\x1f]")), QStringLiteral(" "));
    subject = subject.simplified();
    if (subject.isEmpty())
        subject = QStringLiteral("Табель");
    const QString base = subject + QLatin1Char(' ') + book.started.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss"));
    const QDir dir(folder);
    QString path = dir.filePath(base + QStringLiteral(".xlsx"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1 (%2).xlsx").arg(base).arg(n));
    return path;
}

int writeCell(int sheet, int column, int row, const QString &text, bool formatting, bool textFormat,
              bool fitColumn, bool bold, bool money = false)
{
    if (text.isEmpty())
        return 1;
    const QString where = QStringLiteral("Ошибка при записи: лист %1, столбец %2, строка %3").arg(sheet).arg(column).arg(row);
    if (!g_book || sheet < 1 || sheet > g_book->sheets.size()) {
        showError(where, kBadSheet);
        return -1;
    }
    ExcelSheet &ws = g_book->sheets[sheet - 1];
    if (row < 1 || row > ExcelWorkbook::MaxRow || column < 1 || column > ExcelWorkbook::MaxColumn) {
        showError(where, kWriteFailed);
        return -1;
    }
    // The text format goes on before the value, so the value is kept as text.
    if (formatting && textFormat)
        ws.cellAt(row, column).textFormat = true;
    if (text.size() > ExcelWorkbook::MaxTextLength) {
        showError(where, kWriteFailed);
        return -1;
    }
    double number = 0;
    if (!ws.cellAt(row, column).textFormat && Excel::readsAsNumber(text, &number)) {
        if (money) {
            // to kopecks on the decimal digits, then the double nearest them
            QString plain = text.trimmed();
            plain.replace(QLatin1Char(','), QLatin1Char('.'));
            const QString kopecks = DecimalText::round(plain, 2);
            number = kopecks.isEmpty() ? std::round(number * 100) / 100 : kopecks.toDouble();
            ws.cellAt(row, column).money = true;
        }
        ws.setValue(row, column, number);
    } else {
        ws.setValue(row, column, text);
    }
    if (!formatting)
        return 1;
    if (fitColumn)
        ws.fitColumn(column);
    ws.cellAt(row, column).bold = bold;
    return 1;
}

} // namespace

int ExcelStart(const QString &fileName, const QString &subject)
{
    g_book.reset();
    // Opening an existing workbook is not supported; no export asks for it.
    if (!fileName.isEmpty() || !folderWritable(Excel::documentsFolder())) {
        showError(kOpenFailed);
        return -1;
    }
    g_book = std::make_unique<ExcelWorkbook>(subject.isEmpty() ? activeTitle() : subject);
    return 1;
}

int ExcelShow(bool visible)
{
    if (!g_book || !visible)
        return 1;
    const QString folder = Excel::documentsFolder();
    if (g_book->savedPath.isEmpty())
        g_book->savedPath = fileNameFor(*g_book, folder);
    const QString path = g_book->savedPath;
    QString why;
    if (!QDir().mkpath(folder) || !g_book->save(path, &why)) {
        QFile::remove(path);
        g_book->savedPath.clear();
        showError(QStringLiteral("Ошибка записи файла %1: %2").arg(QDir::toNativeSeparators(path), why),
                       kWriteFailed);
        return -1;
    }
    g_lastSaved = path;
    if (!Dialogs::openFile(path))
        showError(QStringLiteral("Файл сохранён, но открыть его не удалось: %1").arg(QDir::toNativeSeparators(path)),
                       kWriteFailed);
    return 1;
}

int ExcelWriteValue(int sheet, int column, int row, const QString &text)
{
    return writeCell(sheet, column, row, text, false, false, false, false);
}

int ExcelWriteCell(int sheet, int column, int row, const QString &text, bool textFormat, bool fitColumn, bool bold)
{
    return writeCell(sheet, column, row, text, true, textFormat, fitColumn, bold);
}

int ExcelWriteMoney(int sheet, int column, int row, const QString &text, bool fitColumn, bool bold)
{
    return writeCell(sheet, column, row, text, true, false, fitColumn, bold, true);
}

namespace Excel {

std::function<void()> setBeforeMessage(std::function<void()> fn)
{
    std::swap(fn, g_beforeMessage);
    return fn;
}

void setDocumentsFolder(const QString &folder) { g_folder = folder; }

QString documentsFolder()
{
    if (!g_folder.isEmpty())
        return g_folder;
    const QString env = qEnvironmentVariable("TABEL_DOCUMENTS_DIR");
    if (!env.isEmpty())
        return env;
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        docs = QDir::homePath();
    return docs;
}

const ExcelWorkbook *currentWorkbook() { return g_book.get(); }
QString lastSavedFile() { return g_lastSaved; }

bool readsAsNumber(const QString &text, double *value)
{
    // As typed into a cell: blanks around, a sign, a decimal point or comma,
    // an exponent. Anything else (dates, formulas, codes with letters) stays text.
    static const QRegularExpression re(QStringLiteral("^\\s*[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)([eE][+-]?\\d+)?\\s*$"));
    if (!re.match(text).hasMatch())
        return false;
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return false;
    if (value)
        *value = d;
    return true;
}

} // namespace Excel

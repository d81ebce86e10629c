#include "ExcelWorkbook.h"

#include <QFile>
#include <xlsxwriter.h>

const ExcelCell *ExcelSheet::cell(int row, int column) const
{
    auto it = cells.constFind(qMakePair(row, column));
    return it == cells.constEnd() ? nullptr : &it.value();
}

QString ExcelSheet::shownText(const ExcelCell &c)
{
    if (c.value.typeId() == QMetaType::Double)
        return QString::number(c.value.toDouble(), c.money ? 'f' : 'g', c.money ? 2 : 10);
    return c.value.toString();
}

ExcelCell &ExcelSheet::cellAt(int row, int column)
{
    return cells[qMakePair(row, column)];
}

void ExcelSheet::setValue(int row, int column, const QVariant &value)
{
    ExcelCell &c = cellAt(row, column);
    std::map<double, int> &tally = textWidths[column];
    const double before = textWidth(shownText(c));
    if (before > 0) {
        auto it = tally.find(before);
        if (it != tally.end() && --it->second == 0)
            tally.erase(it);
    }
    c.value = value;
    const double after = textWidth(shownText(c));
    if (after > 0)
        ++tally[after];
}

double ExcelSheet::textWidth(const QString &text)
{
    // Capitals run wider, and room is left for bold type, which is often set
    // after the fit.
    double w = 0;
    for (const QChar ch : text)
        w += ch.isUpper() ? 1.3 : 1.0;
    return w * 1.1;
}

void ExcelSheet::fitColumn(int column)
{
    const auto tally = textWidths.constFind(column);
    if (tally == textWidths.constEnd() || tally->empty()) {
        widths.remove(column); // an empty column goes back to the standard width
        return;
    }
    widths[column] = qMin(255.0, tally->rbegin()->first + 1.0);
}

ExcelWorkbook::ExcelWorkbook(const QString &subject_) : subject(subject_), started(QDateTime::currentDateTime())
{
    ExcelSheet first;
    first.name = QStringLiteral("Лист1");
    sheets << first;
}

bool ExcelWorkbook::save(const QString &path, QString *error) const
{
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook *wb = workbook_new(file.constData());
    if (!wb) {
        if (error)
            *error = QStringLiteral("не удалось начать книгу");
        return false;
    }
    // One format per combination of the cell properties
    lxw_format *formats[2][2][2] = {};
    auto formatFor = [&](const ExcelCell &c) -> lxw_format * {
        const bool money = c.money && !c.textFormat;
        lxw_format *&fmt = formats[c.textFormat][c.bold][money];
        if (!fmt && (c.textFormat || c.bold || money)) {
            fmt = workbook_add_format(wb);
            if (c.textFormat)
                format_set_num_format_index(fmt, 49); // the built-in "@"
            else if (money)
                format_set_num_format_index(fmt, 2); // the built-in "0.00"
            if (c.bold)
                format_set_bold(fmt);
        }
        return fmt;
    };

    lxw_error err = LXW_NO_ERROR;
    for (const ExcelSheet &s : sheets) {
        lxw_worksheet *ws = workbook_add_worksheet(wb, s.name.toUtf8().constData());
        if (!ws) {
            err = LXW_ERROR_MEMORY_MALLOC_FAILED;
            break;
        }
        for (auto it = s.widths.constBegin(); it != s.widths.constEnd() && !err; ++it)
            err = worksheet_set_column(ws, lxw_col_t(it.key() - 1), lxw_col_t(it.key() - 1), it.value(), nullptr);
        for (auto it = s.cells.constBegin(); it != s.cells.constEnd() && !err; ++it) {
            const lxw_row_t r = lxw_row_t(it.key().first - 1);
            const lxw_col_t c = lxw_col_t(it.key().second - 1);
            const ExcelCell &cell = it.value();
            lxw_format *fmt = formatFor(cell);
            if (cell.value.typeId() == QMetaType::Double)
                err = worksheet_write_number(ws, r, c, cell.value.toDouble(), fmt);
            else if (cell.value.isValid())
                err = worksheet_write_string(ws, r, c, cell.value.toString().toUtf8().constData(), fmt);
            else if (fmt)
                err = worksheet_write_blank(ws, r, c, fmt);
        }
        if (err)
            break;
    }
    const lxw_error closed = workbook_close(wb); // frees the workbook in every case
    if (!err)
        err = closed;
    if (err && error)
        *error = QString::fromUtf8(lxw_strerror(err));
    return !err;
}

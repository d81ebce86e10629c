#include "ExcelWorkbook.h"

#include <QFile>
#include <QLocale>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <xlsxwriter.h>
#include <memory>

namespace {

// The sheet's numbers in their shortest exact form: the library prints every
// double with 16 significant digits, so 9194.36 would stand in the file as
// 9194.360000000001 (the same double, but not the figure shown).
QByteArray shortestNumbers(const QByteArray &xml)
{
    static const QByteArray open("<v>"), close("</v>");
    QByteArray out;
    out.reserve(xml.size());
    qsizetype from = 0;
    for (;;) {
        const qsizetype a = xml.indexOf(open, from);
        const qsizetype b = a < 0 ? -1 : xml.indexOf(close, a + open.size());
        if (b < 0)
            break;
        const qsizetype start = a + open.size();
        const QByteArray v = xml.mid(start, b - start);
        out += xml.mid(from, start - from);
        bool ok = false;
        const double d = (v.contains('.') || v.contains('E') || v.contains('e')) ? v.toDouble(&ok) : 0;
        out += ok ? QString::number(d, 'g', QLocale::FloatingPointShortest).toLatin1() : v;
        from = b;
    }
    out += xml.mid(from);
    return out;
}

// Copies the package at `path` with its sheets' numbers shortened; false with
// `error` set when it cannot be read or written.
bool rewriteNumbers(const QString &path, QString *error)
{
    const QByteArray src = QFile::encodeName(path), dst = QFile::encodeName(path + QStringLiteral(".part"));
    const std::unique_ptr<void, int (*)(unzFile)> in(unzOpen64(src.constData()), unzClose);
    zipFile out = in ? zipOpen64(dst.constData(), APPEND_STATUS_CREATE) : nullptr;
    bool ok = out != nullptr;
    for (int r = ok ? unzGoToFirstFile(in.get()) : UNZ_END_OF_LIST_OF_FILE; ok && r == UNZ_OK; r = unzGoToNextFile(in.get())) {
        unz_file_info64 info;
        char name[512];
        ok = unzGetCurrentFileInfo64(in.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK
             && unzOpenCurrentFile(in.get()) == UNZ_OK;
        if (!ok)
            break;
        QByteArray data(qsizetype(info.uncompressed_size), Qt::Uninitialized);
        ok = unzReadCurrentFile(in.get(), data.data(), unsigned(data.size())) == int(data.size());
        unzCloseCurrentFile(in.get());
        const QByteArray entry(name);
        if (entry.startsWith("xl/worksheets/sheet") && entry.endsWith(".xml"))
            data = shortestNumbers(data);
        zip_fileinfo zi = {};
        zi.dosDate = info.dosDate;
        zi.internal_fa = info.internal_fa;
        zi.external_fa = info.external_fa;
        ok = ok && zipOpenNewFileInZip64(out, name, &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(out, data.constData(), unsigned(data.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(out) == ZIP_OK;
    }
    if (out)
        ok = zipClose(out, nullptr) == ZIP_OK && ok;
    if (ok) {
        QFile::remove(path);
        ok = QFile::rename(path + QStringLiteral(".part"), path);
    }
    if (!ok) {
        QFile::remove(path + QStringLiteral(".part"));
        if (error)
            *error = QStringLiteral("не удалось дописать книгу");
    }
    return ok;
}

} // namespace

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
    return !err && rewriteNumbers(path, error);
}

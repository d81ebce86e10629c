#include "AuditReport.h"

#include "db/DbSession.h"
#include "journal/EntryHistoryText.h"
#include "printing/Report.h"
#include "spreadsheet/Excel.h"
#include "ui/Dialogs.h"
#include "ui/LongAction.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

using namespace Printing;

namespace {
// On screen the workstation goes with the user; on paper and in Excel it has a column of its own.
const char *const kScreenColumns[] = {"Когда", "Кто", "Действие", "Запись", "Изменения"};
const char *const kColumns[] = {"Когда", "Кто", "Рабочее место", "Действие", "Запись", "Изменения"};

// Read in pages this long when the whole period is wanted.
constexpr int kReadChunk = 2000;

QJsonObject json(const QVariant &v)
{
    return v.isNull() ? QJsonObject() : QJsonDocument::fromJson(v.toString().toUtf8()).object();
}

// A whole row: an insertion's or a deletion's, or a change recorded before
// the trail kept only what changed. A change of a few columns has no id.
bool whole(const QJsonObject &o) { return o.contains(QLatin1String("id")); }
} // namespace

AuditReport::AuditReport(const QString &connection, QWidget *parent) : QDialog(parent), m_conn(connection)
{
    setObjectName(QStringLiteral("AuditReportWindow"));
    setWindowTitle(QStringLiteral("Журнал изменений"));
    const QDate today = QDate::currentDate();
    FromDate = new QDateEdit(QDate(today.year(), today.month(), 1), this);
    FromDate->setObjectName(QStringLiteral("FromDate"));
    ToDate = new QDateEdit(today, this);
    ToDate->setObjectName(QStringLiteral("ToDate"));
    for (QDateEdit *d : {FromDate, ToDate}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    }
    ByTime = new QRadioButton(QStringLiteral("по времени"), this);
    ByTime->setObjectName(QStringLiteral("ByTime"));
    ByUser = new QRadioButton(QStringLiteral("по пользователям"), this);
    ByUser->setObjectName(QStringLiteral("ByUser"));
    ByUser->setChecked(true);
    ByEntry = new QRadioButton(QStringLiteral("по записям"), this);
    ByEntry->setObjectName(QStringLiteral("ByEntry"));
    ShowButton = new QPushButton(QStringLiteral("Показать"), this);
    ShowButton->setObjectName(QStringLiteral("ShowButton"));
    ShowButton->setDefault(true);
    PrevButton = new QPushButton(QStringLiteral("◀ Предыдущие"), this);
    PrevButton->setObjectName(QStringLiteral("PrevButton"));
    NextButton = new QPushButton(QStringLiteral("Следующие ▶"), this);
    NextButton->setObjectName(QStringLiteral("NextButton"));
    PrevButton->setEnabled(false);
    NextButton->setEnabled(false);
    PageLabel = new QLabel(this);
    PageLabel->setObjectName(QStringLiteral("PageLabel"));
    Grid = new QTableWidget(0, 5, this);
    Grid->setObjectName(QStringLiteral("AuditGrid"));
    QStringList heads;
    for (const char *c : kScreenColumns)
        heads << QString::fromUtf8(c);
    Grid->setHorizontalHeaderLabels(heads);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setWordWrap(true); // long texts wrap; each cell's tooltip has it whole
    Grid->setTextElideMode(Qt::ElideNone);
    Grid->verticalHeader()->hide();
    Grid->horizontalHeader()->setStretchLastSection(true);
    Grid->setColumnWidth(0, 145);
    Grid->setColumnWidth(1, 200);
    Grid->setColumnWidth(2, 120);
    Grid->setColumnWidth(3, 260);
    PreviewButton = new QPushButton(QStringLiteral("Просмотр"), this);
    PreviewButton->setObjectName(QStringLiteral("PreviewButton"));
    ExcelButton = new QPushButton(QStringLiteral("Excel"), this);
    ExcelButton->setObjectName(QStringLiteral("ExcelButton"));
    CloseButton = new QPushButton(QStringLiteral("Выход"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    for (QPushButton *b : {PrevButton, NextButton, PreviewButton, ExcelButton, CloseButton})
        b->setAutoDefault(false);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("С"), this));
    top->addWidget(FromDate);
    top->addWidget(new QLabel(QStringLiteral("по"), this));
    top->addWidget(ToDate);
    top->addWidget(ShowButton);
    top->addSpacing(24);
    top->addWidget(new QLabel(QStringLiteral("Печать и Excel:"), this));
    top->addWidget(ByTime);
    top->addWidget(ByUser);
    top->addWidget(ByEntry);
    top->addStretch();
    auto *paging = new QHBoxLayout;
    paging->addWidget(PrevButton);
    paging->addWidget(NextButton);
    paging->addWidget(PageLabel);
    paging->addStretch();
    auto *row = new QHBoxLayout;
    row->addWidget(PreviewButton);
    row->addWidget(ExcelButton);
    row->addStretch();
    row->addWidget(CloseButton);
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(top);
    lay->addWidget(Grid, 1);
    lay->addLayout(paging);
    lay->addLayout(row);
    resize(1150, 620);
    connect(ShowButton, &QPushButton::clicked, this, &AuditReport::showFirstPage);
    connect(NextButton, &QPushButton::clicked, this, &AuditReport::showNextPage);
    connect(PrevButton, &QPushButton::clicked, this, &AuditReport::showPrevPage);
    connect(PreviewButton, &QPushButton::clicked, this, &AuditReport::showPreview);
    connect(ExcelButton, &QPushButton::clicked, this, &AuditReport::exportToExcel);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
}

AuditReport::~AuditReport() = default;

namespace {
// The day after the period: past the last day the date fields accept
// (31.12.9999) there is none the server reads, so the period stays open to
// the end (NULL, read as infinity) rather than going as an unreadable date.
QVariant endBound(const QDate &to)
{
    const QDate next = to.addDays(1);
    return next.isValid() && next.year() <= 9999 ? QVariant(next) : QVariant(QMetaType::fromType<QString>());
}
} // namespace

QList<AuditReport::Row> AuditReport::readPage(const QString &connection, const QDate &from, const QDate &to,
                                              const Cursor &after, int limit)
{
    struct Raw {
        Row row;
        QString role, tbl, key;
        QJsonObject before, after;
    };
    QList<Raw> raws;
    {
        // The period by the index on (at, id): the next page starts after the
        // last record of the one before, at its exact time as the server wrote it.
        Rows q = DbSession::execBound(
            connection,
            QStringLiteral("select a.id, a.at::text, to_char(a.at, 'DD.MM.YYYY HH24:MI:SS'), a.user_name, a.user_role,"
                           " a.workstation, a.action, a.tbl, a.row_key, a.before::text, a.after::text"
                           " from accounts_dep.audit a"
                           " where a.at >= ?::date and a.at < coalesce(?::date, 'infinity'::date)"
                           " and (a.at, a.id) > (coalesce(?::timestamptz, '-infinity'), ?::bigint)"
                           " order by a.at, a.id limit ?"),
            {from, endBound(to), after.at.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(after.at),
             after.id, limit},
            DbSession::Retry::Read);
        while (q.next()) {
            Raw r;
            r.row.id = q.value(0).toLongLong();
            r.row.atKey = q.value(1).toString();
            r.row.at = q.value(2).toString();
            r.row.who = q.value(3).toString();
            r.role = q.value(4).toString();
            r.row.workstation = q.value(5).toString();
            r.row.action = q.value(6).toString();
            r.tbl = q.value(7).toString();
            r.key = q.value(8).toString();
            r.before = json(q.value(9));
            r.after = json(q.value(10));
            raws << r;
        }
    }

    // The entries the records are about: as recorded whole, else as they
    // stand now, else as their last whole record left them.
    QHash<QString, QJsonObject> rows; // "smena:12"
    QStringList missing[2];           // ids of smena, fatigue
    for (const Raw &r : raws) {
        const QString k = r.tbl + QLatin1Char(':') + r.key;
        if (r.tbl.isEmpty() || rows.contains(k))
            continue;
        if (whole(r.after) || whole(r.before)) {
            rows.insert(k, whole(r.after) ? r.after : r.before);
        } else if (r.tbl == QLatin1String("smena") || r.tbl == QLatin1String("fatigue")) {
            const int t = r.tbl == QLatin1String("smena") ? 0 : 1;
            if (!missing[t].contains(r.key))
                missing[t] << r.key;
        }
    }
    if (!missing[0].isEmpty() || !missing[1].isEmpty()) {
        Rows q = DbSession::execBound(
            connection,
            QStringLiteral("select 'smena', s.id::text, to_jsonb(s)::text from accounts_dep.smena s"
                           " where s.id = any(string_to_array(?, ',')::integer[])"
                           " union all select 'fatigue', f.id::text, to_jsonb(f)::text from accounts_dep.fatigue f"
                           " where f.id = any(string_to_array(?, ',')::integer[])"),
            {missing[0].join(QLatin1Char(',')), missing[1].join(QLatin1Char(','))}, DbSession::Retry::Read);
        while (q.next())
            rows.insert(q.value(0).toString() + QLatin1Char(':') + q.value(1).toString(), json(q.value(2)));
        QStringList gone[2];
        for (int t = 0; t < 2; ++t)
            for (const QString &id : missing[t])
                if (!rows.contains(QLatin1String(t ? "fatigue:" : "smena:") + id))
                    gone[t] << id;
        if (!gone[0].isEmpty() || !gone[1].isEmpty()) {
            // by the index on (tbl, row_key)
            Rows g = DbSession::execBound(
                connection,
                QStringLiteral("select distinct on (a.tbl, a.row_key) a.tbl, a.row_key, coalesce(a.before, a.after)::text"
                               " from accounts_dep.audit a"
                               " where ((a.tbl = 'smena' and a.row_key = any(string_to_array(?, ',')))"
                               "     or (a.tbl = 'fatigue' and a.row_key = any(string_to_array(?, ','))))"
                               " and (coalesce(a.before, a.after) -> 'id') is not null"
                               " order by a.tbl, a.row_key, a.id desc"),
                {gone[0].join(QLatin1Char(',')), gone[1].join(QLatin1Char(','))}, DbSession::Retry::Read);
            while (g.next())
                rows.insert(g.value(0).toString() + QLatin1Char(':') + g.value(1).toString(), json(g.value(2)));
        }
    }

    HistoryText::Wanted wanted;
    for (const Raw &r : raws) {
        wanted.add(r.tbl, r.before);
        wanted.add(r.tbl, r.after);
    }
    for (auto it = rows.cbegin(); it != rows.cend(); ++it)
        wanted.add(it.key().section(QLatin1Char(':'), 0, 0), it.value());
    const HistoryText::Names names = HistoryText::readNames(connection, wanted);

    QList<Row> out;
    out.reserve(raws.size());
    for (Raw &r : raws) {
        r.row.who = HistoryText::who(r.row.who, r.role);
        r.row.what = HistoryText::entry(r.tbl, r.key, rows.value(r.tbl + QLatin1Char(':') + r.key), names);
        r.row.changes = HistoryText::changes(r.tbl, r.before, r.after, names).join(QStringLiteral("; "));
        out << r.row;
    }
    return out;
}

void AuditReport::showPage(const Cursor &start)
{
    const QList<Row> rows = readPage(m_conn, FromDate->date(), ToDate->date(), start, PageSize + 1);
    m_more = rows.size() > PageSize;
    const int shown = qMin<int>(rows.size(), PageSize);
    m_starts << start;
    Grid->setRowCount(0);
    Grid->setRowCount(shown);
    for (int r = 0; r < shown; ++r) {
        const Row &x = rows.at(r);
        const QString who = x.workstation.isEmpty() ? x.who : x.who + QStringLiteral(", ") + x.workstation;
        const QStringList cells{x.at, who, x.action, x.what, x.changes};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setToolTip(cells[c]);
            Grid->setItem(r, c, item);
        }
    }
    Grid->resizeRowsToContents();
    if (shown)
        m_next = {rows.at(shown - 1).atKey, rows.at(shown - 1).id};
    const int first = (m_starts.size() - 1) * PageSize + 1;
    PageLabel->setText(shown ? QStringLiteral("Записи %1–%2%3").arg(first).arg(first + shown - 1)
                                   .arg(m_more ? QString() : QStringLiteral(" (последние за период)"))
                             : QStringLiteral("За период записей нет."));
    PrevButton->setEnabled(m_starts.size() > 1);
    NextButton->setEnabled(m_more);
}

void AuditReport::showFirstPage()
{
    m_starts.clear();
    showPage(Cursor());
}

void AuditReport::showNextPage()
{
    if (m_more)
        showPage(m_next);
}

void AuditReport::showPrevPage()
{
    if (m_starts.size() < 2)
        return;
    m_starts.removeLast();
    const Cursor start = m_starts.takeLast();
    showPage(start);
}

QList<AuditReport::Row> AuditReport::readAll() const
{
    QList<Row> all;
    Cursor after;
    for (;;) {
        const QList<Row> page = readPage(m_conn, FromDate->date(), ToDate->date(), after, kReadChunk);
        all += page;
        if (page.size() < kReadChunk)
            break;
        after = {page.last().atKey, page.last().id};
    }
    return all;
}

// Grouped by user or by entry in memory, keeping time order inside a group:
// the server only ever reads the period in its index order.
QList<AuditReport::Row> AuditReport::grouped() const
{
    QList<Row> rows = readAll();
    if (ByTime->isChecked())
        return rows;
    const bool byUser = ByUser->isChecked();
    std::stable_sort(rows.begin(), rows.end(), [byUser](const Row &a, const Row &b) {
        return byUser ? a.who < b.who : a.what < b.what;
    });
    return rows;
}

namespace {
// Breaks a text into lines no wider than `width` mm, at blanks where it can.
QStringList wrap(const QString &text, double fullWidth, double points)
{
    // The device's own metrics may run a little wider than the estimate:
    // room is left so that a wrapped line is never cut short on paper.
    const double width = fullWidth * 0.96;
    QStringList lines;
    for (const QString &para : text.split(QLatin1Char('\n'))) {
        QString line;
        for (const QString &word : para.split(QLatin1Char(' '))) {
            const QString tryLine = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (textWidth(tryLine, points, false) <= width) {
                line = tryLine;
                continue;
            }
            if (!line.isEmpty())
                lines << line;
            // a word longer than the column is cut where it must be
            QString rest = word;
            while (textWidth(rest, points, false) > width && rest.size() > 1) {
                int n = rest.size() - 1;
                while (n > 1 && textWidth(rest.left(n), points, false) > width)
                    --n;
                lines << rest.left(n);
                rest = rest.mid(n);
            }
            line = rest;
        }
        lines << line;
    }
    return lines;
}
} // namespace

Document AuditReport::document()
{
    const QList<Row> rows = grouped();
    const QString group = ByUser->isChecked() ? QStringLiteral("user") : ByEntry->isChecked() ? QStringLiteral("entry") : QString();

    Document doc;
    doc.title = QStringLiteral("Журнал изменений");
    doc.orientation = QPageLayout::Landscape;
    doc.size = QSizeF(297, 210);
    doc.fontSize = 8;
    const double margin = 10, bottom = 210 - margin - 6, lineH = 3.6, pad = 1.5;
    const double x[] = {margin, margin + 27, margin + 72, margin + 98, margin + 124, margin + 182};
    const double w[] = {27, 45, 26, 26, 58, 277 - 182};

    Page page;
    double y = margin;
    int pageNo = 0;
    QString currentGroup;
    auto text = [&](double left, double top, double width, const QString &t, bool bold = false,
                    Qt::Alignment align = Qt::AlignLeft) {
        page.texts.push_back({QRectF(left, top, width, lineH), t, align, bold});
    };
    auto heading = [&]() {
        for (int c = 0; c < 6; ++c)
            text(x[c], y, w[c], QString::fromUtf8(kColumns[c]), true);
        y += lineH + 0.8;
        page.lines.push_back(QLineF(margin, y - 0.4, 297 - margin, y - 0.4));
    };
    auto groupLine = [&](const QString &g, bool more) {
        text(margin, y + 0.6, 277, more ? g + QStringLiteral(" (продолжение)") : g, true);
        y += lineH + 1.2;
    };
    auto finishPage = [&]() {
        ++pageNo;
        text(297 - margin - 40, 210 - margin - lineH, 40, QStringLiteral("Страница %1").arg(pageNo), false, Qt::AlignRight);
        doc.pages.push_back(page);
        page = Page();
        y = margin;
    };
    auto newPage = [&]() {
        finishPage();
        heading();
        if (!currentGroup.isEmpty())
            groupLine(currentGroup, true);
    };

    text(margin, y, 277,
         QStringLiteral("Журнал изменений с %1 по %2")
             .arg(FromDate->date().toString(QStringLiteral("dd.MM.yyyy")), ToDate->date().toString(QStringLiteral("dd.MM.yyyy"))),
         true, Qt::AlignHCenter);
    y += lineH + 3;
    heading();
    if (rows.isEmpty())
        text(margin, y, 277, QStringLiteral("За период записей нет."));
    for (const Row &r : rows) {
        if (!group.isEmpty()) {
            const QString g = group == QLatin1String("user") ? r.who : r.what;
            if (g != currentGroup) {
                currentGroup = g;
                if (y + 2 * lineH + 1.2 > bottom)
                    newPage();
                else
                    groupLine(g, false);
            }
        }
        const QString cells[] = {r.at, r.who, r.workstation, r.action, r.what, r.changes};
        QVector<QStringList> lines;
        int height = 1;
        for (int c = 0; c < 6; ++c) {
            lines << wrap(cells[c], w[c] - pad, doc.fontSize);
            height = qMax(height, int(lines.last().size()));
        }
        if (y + height * lineH > bottom && y > margin + 2 * lineH + 2)
            newPage();
        for (int c = 0; c < 6; ++c)
            for (int i = 0; i < lines[c].size(); ++i)
                text(x[c], y + i * lineH, w[c] - pad, lines[c][i]);
        y += height * lineH + 0.6;
    }
    finishPage();
    return doc;
}

void AuditReport::showPreview()
{
    Document doc;
    {
        WaitCursor wait;
        doc = document();
    }
    Dialogs::preview(doc);
}

void AuditReport::exportToExcel()
{
    QList<Row> rows;
    {
        WaitCursor wait;
        rows = grouped();
    }
    if (ExcelStart(QString(), QStringLiteral("Журнал изменений")) != 1)
        return;
    for (int c = 0; c < 6; ++c)
        ExcelWriteValue(1, c + 1, 1, QString::fromUtf8(kColumns[c]));
    for (int r = 0; r < rows.size(); ++r) {
        const Row &x = rows.at(r);
        const QString cells[] = {x.at, x.who, x.workstation, x.action, x.what, x.changes};
        for (int c = 0; c < 6; ++c)
            ExcelWriteValue(1, c + 1, r + 2, cells[c]);
    }
    ExcelShow(true);
}

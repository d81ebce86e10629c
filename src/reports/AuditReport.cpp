#include "AuditReport.h"

#include "db/Dataset.h"
#include "printing/Report.h"
#include "spreadsheet/Excel.h"
#include "ui/Dialogs.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Printing;

namespace {
const char *const kColumns[] = {"Когда", "Кто", "Рабочее место", "Действие", "Запись", "Изменения"};
const char *const kFields[] = {"at_text", "who", "workstation", "action", "what", "changes"};
} // namespace

AuditReport::AuditReport(const QString &connection, QWidget *parent) : QDialog(parent), m_data(new Dataset(connection, this))
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
    ByUser = new QRadioButton(QStringLiteral("по пользователям"), this);
    ByUser->setObjectName(QStringLiteral("ByUser"));
    ByUser->setChecked(true);
    ByEntry = new QRadioButton(QStringLiteral("по записям"), this);
    ByEntry->setObjectName(QStringLiteral("ByEntry"));
    PreviewButton = new QPushButton(QStringLiteral("Просмотр"), this);
    PreviewButton->setObjectName(QStringLiteral("PreviewButton"));
    ExcelButton = new QPushButton(QStringLiteral("Excel"), this);
    ExcelButton->setObjectName(QStringLiteral("ExcelButton"));
    CloseButton = new QPushButton(QStringLiteral("Выход"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("С"), this), 0, 0);
    grid->addWidget(FromDate, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("по"), this), 0, 2);
    grid->addWidget(ToDate, 0, 3);
    grid->addWidget(ByUser, 1, 1);
    grid->addWidget(ByEntry, 1, 3);
    auto *row = new QHBoxLayout;
    row->addWidget(PreviewButton);
    row->addWidget(ExcelButton);
    row->addStretch();
    row->addWidget(CloseButton);
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(grid);
    lay->addLayout(row);
    lay->setSizeConstraint(QLayout::SetFixedSize);
    connect(PreviewButton, &QPushButton::clicked, this, &AuditReport::showPreview);
    connect(ExcelButton, &QPushButton::clicked, this, &AuditReport::exportToExcel);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
}

AuditReport::~AuditReport() = default;

void AuditReport::read()
{
    const QString order = ByUser->isChecked() ? QStringLiteral("order by who, a.id") : QStringLiteral("order by what, a.id");
    m_data->sql = QStringList{
        QStringLiteral("select to_char(a.at, 'DD.MM.YYYY HH24:MI:SS') as at_text,"),
        QStringLiteral(" a.user_name || ' (' || a.user_role || ')' as who, a.workstation, a.action,"),
        QStringLiteral(" case when a.tbl is null then coalesce(a.row_key, '')"),
        QStringLiteral("      when a.tbl = 'smena' then 'запись журнала № ' || a.row_key"),
        QStringLiteral("      else 'запись хоз. работ № ' || a.row_key end as what,"),
        QStringLiteral(" coalesce((select string_agg(k || ': ' || coalesce(a.before->>k, '—') || ' → ' || coalesce(a.after->>k, '—'), '; ' order by k)"),
        QStringLiteral("    from jsonb_object_keys(coalesce(a.after, a.before)) k"),
        QStringLiteral("   where k <> 'id' and (a.before is null or a.after is null or (a.before->k) is distinct from (a.after->k))), '') as changes"),
        QStringLiteral("from accounts_dep.audit a where a.at >= :d1 and a.at < :d2"),
        order,
    };
    m_data->setParam(QStringLiteral("d1"), FromDate->date().startOfDay());
    m_data->setParam(QStringLiteral("d2"), ToDate->date().addDays(1).startOfDay());
    m_data->close();
    m_data->open();
}

Layout AuditReport::layout() const
{
    Layout l;
    l.title = QStringLiteral("Журнал изменений");
    l.orientation = QPageLayout::Landscape;
    l.fontSize = 8;
    l.titleBand.height = 8;
    l.titleBand.elements << label(0, 277,
                                  QStringLiteral("Журнал изменений с %1 по %2")
                                      .arg(FromDate->date().toString(QStringLiteral("dd.MM.yyyy")),
                                           ToDate->date().toString(QStringLiteral("dd.MM.yyyy"))),
                                  Qt::AlignHCenter, true);
    const double x[] = {0, 30, 75, 100, 130, 165};
    const double w[] = {30, 45, 25, 30, 35, 112};
    l.columnHeader.height = 5;
    l.columnHeader.bold = true;
    l.columnHeader.lineBelow = true;
    l.detail.height = 4.5;
    for (int c = 0; c < 6; ++c) {
        l.columnHeader.elements << label(x[c], w[c], QString::fromUtf8(kColumns[c]));
        l.detail.elements << field(x[c], w[c], QString::fromLatin1(kFields[c]), QString(), Qt::AlignLeft);
    }
    Group g;
    g.expression = ByUser->isChecked() ? QStringLiteral("who") : QStringLiteral("what");
    g.header.height = 6;
    g.header.bold = true;
    g.header.elements << field(0, 277, g.expression, QString(), Qt::AlignLeft, true);
    g.repeatHeader = true;
    l.groups = {g};
    l.pageFooter.height = 5;
    l.pageFooter.elements << field(257, 20, QStringLiteral("PAGENUMBER"), QString(), Qt::AlignRight);
    return l;
}

Document AuditReport::document()
{
    read();
    return layOut(layout(), *m_data);
}

void AuditReport::showPreview() { Dialogs::preview(document()); }

void AuditReport::exportToExcel()
{
    read();
    if (ExcelStart(QString(), QStringLiteral("Журнал изменений")) != 1)
        return;
    for (int c = 0; c < 6; ++c)
        ExcelWriteValue(1, c + 1, 1, QString::fromUtf8(kColumns[c]));
    for (int r = 0; r < m_data->recordCount(); ++r)
        for (int c = 0; c < 6; ++c)
            ExcelWriteValue(1, c + 1, r + 2, m_data->valueAt(r, QString::fromLatin1(kFields[c])).toString());
    ExcelShow(true);
}

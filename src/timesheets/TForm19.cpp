#include "TForm19.h"
#include "db/ChangeListener.h"
#include "ui/LiveRefresh.h"

#include "MonthGrid.h"
#include "TForm15.h"
#include "db/DayColumns.h"
#include "db/DbError.h"
#include "records/MonthRebuild.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "spreadsheet/Excel.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/LongAction.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

const QColor TForm19::Green(192, 220, 192);

namespace {
constexpr int kFirstYear = 2007;
constexpr int kLastListedYear = 2025;

using MonthGrid::dayField;
using MonthGrid::openShown;

// 1..31 for a day column, 0 otherwise
int dayOfField(const QString &field)
{
    if (field.size() < 2 || field.at(0).toLower() != QLatin1Char('d'))
        return 0;
    bool ok = false;
    const int d = field.mid(1).toInt(&ok);
    return ok && d >= 1 && d <= DayColumns::Count ? d : 0;
}

} // namespace

TForm19::TForm19(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm19"));
    setWindowTitle(QStringLiteral("Табель по времени"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    QTableView **grids[] = {&DBGrid1, &DBGrid2, &DBGrid3};
    QWidget **pages[] = {&TabSheet1, &TabSheet2, &TabSheet3};
    DatasetModel **sources[] = {&DataSource1, &DataSource2, &DataSource3};
    Dataset *queries[] = {&f.DataModule6->H_Tabel_1, &f.DataModule6->H_Tabel_2, &f.DataModule6->H_Tabel_3};
    for (int k = 0; k < 3; ++k) {
        QWidget *page = new QWidget(PageControl1);
        page->setObjectName(QStringLiteral("TabSheet%1").arg(k + 1));
        auto *view = new QTableView(page);
        view->setObjectName(QStringLiteral("DBGrid%1").arg(k + 1));
        *grids[k] = view;
        *pages[k] = page;
        *sources[k] = makeGrid(view, queries[k]);
        (*sources[k])->setObjectName(QStringLiteral("DataSource%1").arg(k + 1));
        auto *pl = new QVBoxLayout(page);
        pl->addWidget(view);
        PageControl1->addTab(page, QStringLiteral("Смена №%1").arg(k + 1));
    }

    Button1 = Widgets::pushButton(TabSheet1, "Button1", QStringLiteral("Перестроить"));
    PB = new QProgressBar(TabSheet1);
    PB->setObjectName(QStringLiteral("PB"));
    PB->setMinimum(1);
    PB->hide();
    Button2 = Widgets::pushButton(TabSheet1, "Button2", QStringLiteral("Excel"));
    Button2->setMinimumWidth(130);
    auto *pageRow = new QHBoxLayout;
    pageRow->addWidget(Button1);
    pageRow->addWidget(PB, 1);
    pageRow->addStretch();
    pageRow->addWidget(Button2);
    static_cast<QVBoxLayout *>(TabSheet1->layout())->addLayout(pageRow);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    for (int m = 1; m <= 12; ++m)
        ComboBox1->addItem(MonthGrid::monthName(m));
    ComboBox2 = new QComboBox(this);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    const int lastYear = qMax(kLastListedYear, QDate::currentDate().year());
    for (int y = kFirstYear; y <= lastYear; ++y)
        ComboBox2->addItem(QString::number(y));
    Button5 = Widgets::pushButton(this, "Button5", QStringLiteral("Обновить"));
    Button6 = Widgets::pushButton(this, "Button6", QStringLiteral("Печать"));
    Button4 = Widgets::pushButton(this, "Button4", QStringLiteral("Выход"));

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(ComboBox1);
    bottom->addWidget(ComboBox2);
    bottom->addWidget(Button5);
    bottom->addWidget(Button6);
    bottom->addStretch();
    bottom->addWidget(Button4);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(PageControl1);
    lay->addLayout(bottom);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    connect(ComboBox1, qOverload<int>(&QComboBox::currentIndexChanged), this, &TForm19::ComboBox1Change);
    connect(ComboBox2, qOverload<int>(&QComboBox::currentIndexChanged), this, &TForm19::ComboBox1Change);
    connect(Button1, &QPushButton::clicked, this, &TForm19::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm19::Button2Click);
    connect(Button5, &QPushButton::clicked, this, &TForm19::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm19::Button6Click);
    connect(Button4, &QPushButton::clicked, this, &QDialog::reject);

    // The month shown, read again when it changes elsewhere.
    auto *live = new LiveRefresh(
        this, f.DataModule6->Changes,
        [this](const ChangeNotice::Change &c) {
            return f.DataModule6->H_Tabel_1.isOpen()
                && (c.table == ChangeNotice::Table::Workers || ChangeNotice::touchesMonth(c, year(), month()))
                && c.table != ChangeNotice::Table::Housekeeping;
        },
        [this]() {
            for (Dataset *q : {&f.DataModule6->H_Tabel_1, &f.DataModule6->H_Tabel_2, &f.DataModule6->H_Tabel_3})
                if (q->isOpen())
                    q->open();
        });
    for (QTableView *g : {DBGrid1, DBGrid2, DBGrid3})
        live->keepPlace(g, QStringLiteral("id"));
    Widgets::centreAndFocus(this, [this]() { return static_cast<const QWidget *>(f.Form1); }, nullptr,
                            Widgets::Refocus::OnShow);
}

DatasetModel *TForm19::makeGrid(QTableView *view, Dataset *ds)
{
    QVector<ColumnDef> cols;
    cols << ColumnDef{QStringLiteral("fio"), QStringLiteral("Фамилия И. О."), Qt::AlignLeft | Qt::AlignVCenter, true, 170};
    for (int d = 1; d <= DayColumns::Count; ++d)
        cols << ColumnDef{dayField(d), QString::number(d), Qt::AlignCenter, true, 27};
    ColumnDef total{QStringLiteral("summ"), QStringLiteral("Итого"), Qt::AlignCenter, true, 48};
    total.bold = true;
    total.background = TotalBackground;
    cols << total;
    auto *model = new DatasetModel(ds, cols, view);
    model->setStyle([this, view](const Dataset &d, int row, const QString &field) {
        const int day = dayOfField(field);
        if (day == 0)
            return CellStyle{};
        // the month the query shows, whatever the lists say meanwhile
        const QDate shown = d.param(QStringLiteral("date1")).toDate();
        const QDate m = shown.isValid() ? shown : QDate(year(), month(), 1);
        const bool outside = day > m.daysInMonth();
        return dayCellStyle(d.valueAt(row, field), !outside && isWeekend(day, m.month(), m.year()), outside,
                            view->palette().color(QPalette::Text), view->palette().color(QPalette::Base));
    });
    bindGrid(view, model);
    view->setMinimumSize(170 + DayColumns::Count * 27 + 48 + 24, 420);
    return model;
}

QString TForm19::monthName(int month) { return MonthGrid::monthName(month); }

int TForm19::month() const { return ComboBox1->currentIndex() + 1; }
int TForm19::year() const { return ComboBox2->currentText().toInt(); }

bool TForm19::isWeekend(int day, int month, int year) { return MonthGrid::isWeekend(day, month, year); }

CellStyle TForm19::dayCellStyle(const QVariant &value, bool weekend, bool outside, const QColor &normal,
                                const QColor &background)
{
    if (outside)
        weekend = false;
    const QColor column = outside ? background : weekend ? Weekend : normal;
    const qint64 v = value.isNull() ? 0 : value.toLongLong();
    CellStyle st;
    if (v == 0) {
        st.foreground = outside ? background : weekend ? Weekend : Silver;
    } else if (v == 8) {
        st.bold = true;
        st.foreground = weekend ? Weekend : normal;
    } else if (v > 8) {
        st.bold = true;
        st.background = Green;
        st.foreground = column;
    } else {
        st.foreground = column;
    }
    return st;
}

void TForm19::colourDays(DatasetModel *model)
{
    MonthGrid::colourDays(model, QDate(year(), month(), 1), palette().color(QPalette::WindowText),
                          DBGrid1->palette().color(QPalette::Base));
}

void TForm19::prepare(const QDate &journalDate)
{
    const QSignalBlocker b1(ComboBox1), b2(ComboBox2);
    ComboBox1->setCurrentIndex(journalDate.month() - 1);
    const QString y = QString::number(journalDate.year());
    int idx = ComboBox2->findText(y);
    if (idx < 0) {
        // a year outside the list: it is added in its place, so the month can still be shown
        idx = 0;
        while (idx < ComboBox2->count() && ComboBox2->itemText(idx).toInt() < journalDate.year())
            ++idx;
        ComboBox2->insertItem(idx, y);
    }
    ComboBox2->setCurrentIndex(idx);
    ComboBox1Change();
}

void TForm19::openFor(const QDate &journalDate)
{
    prepare(journalDate);
    exec();
    f.DataModule6->H_Tabel_1.close();
    f.DataModule6->H_Tabel_2.close();
    f.DataModule6->H_Tabel_3.close();
}

void TForm19::ComboBox1Change()
{
    const int m = month(), y = year();
    const QDate first(y, m, 1);
    Dataset *queries[] = {&f.DataModule6->H_Tabel_1, &f.DataModule6->H_Tabel_2, &f.DataModule6->H_Tabel_3};
    DatasetModel *models[] = {DataSource1, DataSource2, DataSource3};
    for (int k = 0; k < 3; ++k) {
        Dataset &q = *queries[k];
        q.close();
        q.setParam(QStringLiteral("mnth"), m);
        q.setParam(QStringLiteral("yea"), y);
        q.setParam(QStringLiteral("date1"), first);
        q.setParam(QStringLiteral("date2"), first.addMonths(1));
    }
    // the three shifts in one trip to the server
    openShown({queries[0], queries[1], queries[2]});
    for (int k = 0; k < 3; ++k)
        colourDays(models[k]);
}

void TForm19::Button5Click()
{
    openShown(f.DataModule6->H_Tabel_1);
    openShown(f.DataModule6->H_Tabel_2);
    openShown(f.DataModule6->H_Tabel_3);
}

void TForm19::Button1Click()
{
    const int m = month(), y = year();
    const bool rebuilt = MonthGrid::rebuildAsked(
        Button1, PB, f.DataModule6->connectionName(), m, y,
        {QStringLiteral("табель по сменам"), QStringLiteral("из журнала"), MonthRebuild::shiftLineCount,
         [this](const QString &c, int m, int y, const MonthRebuild::Progress &progress) {
             f.DataModule6->H_Tabel_1.close();
             f.DataModule6->H_Tabel_2.close();
             f.DataModule6->H_Tabel_3.close();
             return MonthRebuild::shiftLines(c, m, y, progress);
         }});
    if (rebuilt || !f.DataModule6->H_Tabel_1.isOpen())
        Button5Click();
}

void TForm19::Button6Click()
{
    const int m = month(), y = year();
    f.Form15->printMonth(m, y, monthName(m) + QLatin1Char(' ') + QString::number(y) + QStringLiteral(" г."));
}

void TForm19::Button2Click()
{
    const int m = month(), y = year();
    Dataset &q = f.Form15->H_Tabel;
    LongAction busy(Button2);
    q.close();
    q.setParam(QStringLiteral("mnth"), m);
    q.setParam(QStringLiteral("yea"), y);
    q.open();
    if (ExcelStart(QString(), QStringLiteral("Табель по сменам %1 %2").arg(monthName(m)).arg(y)) == -1) {
        q.close();
        return;
    }
    ExcelShow(false);
    const int n = q.recordCount();
    busy.setCaption(QStringLiteral("Excel (0 из %1)").arg(n));
    ExcelWriteCell(1, 1, 1, monthName(m) + QLatin1Char(' ') + QString::number(y), true, true, true);
    ExcelWriteCell(1, 1, 2, QStringLiteral("Фамилия И.О."), true, true, true);
    for (int j = 1; j <= DayColumns::Count; ++j)
        ExcelWriteCell(1, j + 1, 2, QString::number(j), false, true, true);
    ExcelWriteCell(1, 33, 2, QStringLiteral("Итого"), true, true, true);
    for (int r = 0; r < n; ++r) {
        const int row = r + 3;
        ExcelWriteCell(1, 1, row, q.valueAt(r, QStringLiteral("fio")).toString(), true, true, false);
        qint64 total = 0;
        for (int j = 1; j <= DayColumns::Count; ++j) {
            const qint64 v = q.valueAt(r, DayColumns::name(j, QStringLiteral("s"))).toLongLong();
            total += v;
            ExcelWriteCell(1, j + 1, row, QString::number(v), false, true, false);
        }
        ExcelWriteCell(1, 33, row, QString::number(total), false, true, false);
        busy.setCaption(QStringLiteral("Excel (%1 из %2)").arg(r + 1).arg(n));
        busy.step();
    }
    ExcelShow(true);
    q.close();
}

void TForm19::FormActivate() { Button2->setText(QStringLiteral("Excel")); }

void TForm19::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    FormActivate();
}

void TForm19::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && !LongAction::running())
        FormActivate();
}

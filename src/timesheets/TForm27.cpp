#include "TForm27.h"
#include "db/ReportConnection.h"
#include "db/ChangeListener.h"
#include "ui/LiveRefresh.h"

#include "MonthGrid.h"
#include "db/DayColumns.h"
#include "db/DbError.h"
#include "records/MonthRebuild.h"
#include "db/TDataModule6.h"
#include "spreadsheet/Excel.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/LongAction.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <utility>


namespace {
QString daySums()
{
    return DayColumns::list(QStringLiteral("sum(coalesce(h.%1,0)) %1"));
}

QStringList piecework()
{
    return {
        QStringLiteral("select p.s_caption fio, p.id,h.i_type,"),
        QStringLiteral("(select sum(s.time) from accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and s.w_id=p.id) i_time,"),
        QStringLiteral("(select round(sum((s.kol_vo-s.brak)*s.cena::numeric),2)from accounts_dep.smena s where s.data<:d_date3 and s.data>=:d_date4 and s.w_id=p.id) f_price,"),
        QStringLiteral("(select case when coalesce(sum(s.time),0)=0 then 0 else round(coalesce(sum((s.kol_vo-s.brak)*s.cena::numeric)/sum(time),0),2) end from accounts_dep.smena s where s.data<:d_date5 and s.data>=:d_date6 and s.w_id=p.id) average_price,"),
        daySums(),
        QStringLiteral("from  cmn_contractor.person p, accounts_dep.h_tabel h"),
        QStringLiteral("where h.year=:i_year and h.month=:i_month and h.w_id=p.id and i_type=0"),
        QStringLiteral("group by p.id, p.s_caption, h.i_type"),
        QStringLiteral("order by fio"),
    };
}

// The housekeeping (7777) and average-piecework (7778) lines, day and night apart
QStringList hoursPaid(int kind)
{
    const QString k = QString::number(kind);
    return {
        QStringLiteral("select p.s_caption fio, p.id,h.i_type, case when coalesce(h.i_night,0)=0 then 'дн.' else 'ноч.' end as s_night, h.i_night,"),
        QStringLiteral("(select sum(f.cnt) from accounts_dep.fatigue f where f.d_date<:d_date1 and f.d_date>=:d_date2 and f.id_p=p.id and f.id_o=%1 and coalesce(f.i_night,0)=coalesce(h.i_night,0)) i_time,").arg(k),
        QStringLiteral("(select round(sum(f.cnt*f.price::numeric),2) from accounts_dep.fatigue f where f.d_date<:d_date3 and f.d_date>=:d_date4 and f.id_p=p.id and f.id_o=%1 and coalesce(f.i_night,0)=coalesce(h.i_night,0)) f_price,").arg(k),
        QStringLiteral("(select case when coalesce(sum(f.cnt),0)=0 then 0 else round(coalesce(sum((f.cnt*f.price::numeric))/sum(f.cnt),0),2) end "
                       "from accounts_dep.fatigue f where f.d_date<:d_date5 and f.d_date>=:d_date6 and f.id_p=p.id and f.id_o=%1 and coalesce(f.i_night,0)=coalesce(h.i_night,0)) average_price,").arg(k),
        daySums(),
        QStringLiteral("from  cmn_contractor.person p, accounts_dep.h_tabel h"),
        QStringLiteral("where h.year=:i_year and h.month=:i_month and h.w_id=p.id and i_type=%1 ").arg(k),
        QStringLiteral("group by p.id, p.s_caption, h.i_type, h.i_night"),
        QStringLiteral("order by fio"),
    };
}

QStringList general()
{
    return {
        QStringLiteral("select p.s_caption fio, p.id,"),
        QStringLiteral("coalesce((select sum(s.time) from accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and s.w_id=p.id),0)+"),
        QStringLiteral("coalesce((select sum(f.cnt) from accounts_dep.fatigue f where f.d_date<:d_date7 and f.d_date>=:d_date8 and f.id_p=p.id),0) i_time,"),
        QStringLiteral("coalesce((select round(sum((s.kol_vo-s.brak)*s.cena::numeric),2)from accounts_dep.smena s where s.data<:d_date3 and s.data>=:d_date4 and s.w_id=p.id),0)+ "),
        QStringLiteral("coalesce((select round(sum(f.cnt*f.price::numeric),2)from accounts_dep.fatigue f where f.d_date<:d_date5 and f.d_date>=:d_date6 and f.id_p=p.id),0) f_price,"),
        daySums(),
        QStringLiteral("from  cmn_contractor.person p, accounts_dep.h_tabel h"),
        QStringLiteral("where h.year=:i_year and h.month=:i_month and h.w_id=p.id"),
        QStringLiteral("group by p.id, p.s_caption"),
        QStringLiteral("order by fio"),
    };
}

QString hoursPaidTotal(int kind)
{
    return QStringLiteral("select round(sum(f.cnt*f.price::numeric),2) as price from accounts_dep.fatigue f where f.d_date<:d_date1 and f.d_date>=:d_date2 and f.cnt>0 and f.price>0 and f.id_o=%1").arg(kind);
}

QString caption(int mode)
{
    switch (mode) {
    case 14: return QStringLiteral("Табель хоз. работы (27)");
    case 15: return QStringLiteral("Табель ср. сдельная (27)");
    case 17: return QStringLiteral("Общий табель (27)");
    default: return QStringLiteral("Табель сделка (27)");
    }
}

using MonthGrid::dayField;
using MonthGrid::openShown;

// An empty value shows as nothing (a typed null would read as 0).
QString textOf(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }


QLabel *amount(QWidget *parent, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    QFont bold = l->font();
    bold.setBold(true);
    l->setFont(bold);
    l->setMinimumWidth(90);
    return l;
}
} // namespace

TForm27::TForm27(Forms &forms, QWidget *parent)
    : QDialog(parent),
      H_Tabel0(ReportConnection::name()), H_Tabel7777(ReportConnection::name()),
      H_Tabel7778(ReportConnection::name()), H_Tabel_all(ReportConnection::name()),
      q_year(ReportConnection::name()), price(ReportConnection::name()),
      price7(ReportConnection::name()), price8(ReportConnection::name()),
      all_price(ReportConnection::name()), f(forms)
{
    setObjectName(QStringLiteral("TForm27"));
    setWindowTitle(caption(9));
    H_Tabel0.sql = piecework();
    H_Tabel7777.sql = hoursPaid(7777);
    H_Tabel7778.sql = hoursPaid(7778);
    H_Tabel_all.sql = general();
    // The years by index probes, one per year: a distinct over the table reads every line of ten years.
    q_year.setSql(QStringLiteral("with recursive y(year) as (select min(year) from accounts_dep.h_tabel"
                                 " union all select (select min(ht.year) from accounts_dep.h_tabel ht where ht.year>y.year)"
                                 " from y where y.year is not null)"
                                 " select year from y where year is not null order by year"));
    price.setSql(QStringLiteral("select round(sum((s.kol_vo-s.brak)*s.cena::numeric),2) as price from accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and s.cena>0 and s.kol_vo>0"));
    price7.setSql(hoursPaidTotal(7777));
    price8.setSql(hoursPaidTotal(7778));
    all_price.sql = QStringList{
        QStringLiteral("select round(coalesce((select sum((s.kol_vo-s.brak)*s.cena::numeric) from accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and s.cena>0 and s.kol_vo>0),0)"),
        QStringLiteral("+coalesce((select sum(f.cnt*f.price::numeric) from accounts_dep.fatigue f where f.d_date<:d_date3 and f.d_date>=:d_date4 and f.cnt>0 and f.price>0),0),2) as price"),
    };
    m_query = &H_Tabel0;

    DBGrid = new QTableView(this);
    DBGrid->setObjectName(QStringLiteral("DBGrid"));
    QVector<ColumnDef> cols;
    cols << ColumnDef{QStringLiteral("fio"), QStringLiteral("Фамилия И. О."), Qt::AlignLeft | Qt::AlignVCenter, true, 170};
    cols << ColumnDef{QStringLiteral("s_night"), QStringLiteral(" "), Qt::AlignCenter, true, 40};
    for (int d = 1; d <= DayColumns::Count; ++d)
        cols << ColumnDef{dayField(d), QString::number(d), Qt::AlignCenter, true, 27};
    const struct {
        const char *field, *title;
        int width, decimals;
    } totals[] = {{"f_price", "Итого (р.)", 80, 2}, {"i_time", "Итого (ч.)", 70, -1}, {"average_price", "Час (р.)", 64, 2}};
    for (const auto &t : totals) {
        ColumnDef c{QString::fromLatin1(t.field), QString::fromUtf8(t.title), Qt::AlignRight | Qt::AlignVCenter, true, t.width, t.decimals};
        c.bold = true;
        c.background = TotalBackground;
        cols << c;
    }
    DataSource1 = new DatasetModel(m_query, cols, this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    bindGrid(DBGrid, DataSource1);
    // The month shown, read again when it changes elsewhere.
    auto *live = new LiveRefresh(
        this, f.DataModule6->Changes,
        [this](const ChangeNotice::Change &c) {
            return m_query && m_query->isOpen()
                && (c.table == ChangeNotice::Table::Workers || ChangeNotice::touchesMonth(c, m_year, month()));
        },
        [this]() {
            m_query->open();
            for (Dataset *t : {&all_price, &price, &price7, &price8})
                if (t->isOpen())
                    t->open();
            showTotals();
        });
    live->keepPlace(DBGrid, QStringLiteral("id"));
    DBGrid->setMinimumSize(170 + 40 + DayColumns::Count * 27 + 80 + 70 + 64 + 24, 440);

    Label4 = Widgets::named<QLabel>(this, "Label4", QStringLiteral("Ср. сдел.:"));
    DBText4 = amount(this, "DBText4");
    Label2 = Widgets::named<QLabel>(this, "Label2", QStringLiteral("Хоз. работы:"));
    DBText3 = amount(this, "DBText3");
    Label1 = Widgets::named<QLabel>(this, "Label1", QStringLiteral("Сделка:"));
    DBText2 = amount(this, "DBText2");
    Label3 = Widgets::named<QLabel>(this, "Label3", QStringLiteral("Итого:"));
    DBText1 = amount(this, "DBText1");
    auto *bar = new QHBoxLayout;
    for (QWidget *w : {static_cast<QWidget *>(Label4), static_cast<QWidget *>(DBText4), static_cast<QWidget *>(Label2),
                       static_cast<QWidget *>(DBText3), static_cast<QWidget *>(Label1), static_cast<QWidget *>(DBText2),
                       static_cast<QWidget *>(Label3), static_cast<QWidget *>(DBText1)})
        bar->addWidget(w);
    bar->addStretch();

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    for (int m = 1; m <= 12; ++m)
        ComboBox1->addItem(MonthGrid::monthName(m));
    cb_year = new QComboBox(this);
    cb_year->setObjectName(QStringLiteral("cb_year"));
    cb_year->setMinimumWidth(80);
    Button5 = Widgets::pushButton(this, "Button5", QStringLiteral("Обновить"));
    Button3 = Widgets::pushButton(this, "Button3", QStringLiteral("Перестроить"));
    PB = new QProgressBar(this);
    PB->setObjectName(QStringLiteral("PB"));
    PB->setMinimum(1);
    PB->hide();
    Button2 = Widgets::pushButton(this, "Button2", QStringLiteral("Excel"));
    Button2->setMinimumWidth(130);
    Button6 = Widgets::pushButton(this, "Button6", QStringLiteral("Печать"));
    Button6->hide();
    Button1 = Widgets::pushButton(this, "Button1", QStringLiteral("Выход"));
    auto *row = new QHBoxLayout;
    row->addWidget(ComboBox1);
    row->addWidget(cb_year);
    row->addWidget(Button5);
    row->addWidget(Button3);
    row->addWidget(PB, 1);
    row->addStretch();
    row->addWidget(Button2);
    row->addWidget(Button6);
    row->addWidget(Button1);

    auto *lay = new QVBoxLayout(this);
    lay->addWidget(DBGrid);
    lay->addLayout(bar);
    lay->addLayout(row);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    connect(ComboBox1, qOverload<int>(&QComboBox::currentIndexChanged), this, &TForm27::ComboBox1Change);
    // A year chosen in any way is read at once; closing the list on the year
    // already shown reads the month again.
    connect(cb_year, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
        if (i < 0)
            return;
        m_year = cb_year->itemText(i).toInt();
        m_yearRead = true;
        ComboBox1Change();
    });
    connect(cb_year, qOverload<int>(&QComboBox::activated), this, [this](int) {
        if (!std::exchange(m_yearRead, false))
            ComboBox1Change();
    });
    connect(Button2, &QPushButton::clicked, this, &TForm27::Button2Click);
    connect(Button5, &QPushButton::clicked, this, &TForm27::Button5Click);
    connect(Button3, &QPushButton::clicked, this, &TForm27::Button3Click);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    Widgets::centreAndFocus(this, nullptr, nullptr, Widgets::Refocus::OnShow);
}

int TForm27::month() const { return ComboBox1->currentIndex() + 1; }

// Columns are hidden in the grid, not taken out of the model: each keeps its
// position (s_night 1, day d at d + 1, "Час (р.)" 35) whatever is shown.
void TForm27::showColumn(const QString &field, bool shown) { DBGrid->setColumnHidden(DataSource1->columnOf(field), !shown); }

bool TForm27::isColumnShown(const QString &field) const
{
    const int c = DataSource1->columnOf(field);
    return c >= 0 && !DBGrid->isColumnHidden(c);
}

void TForm27::fillYears()
{
    const QSignalBlocker block(cb_year);
    cb_year->clear();
    // read with the month (ComboBox1Change); a failed read has been told there
    for (int r = 0; r < q_year.recordCount(); ++r)
        cb_year->addItem(q_year.valueAt(r, QStringLiteral("year")).toString());
    // a year without lines yet is still the one shown, as the list's placeholder
    cb_year->setCurrentIndex(cb_year->findText(QString::number(m_year)));
    cb_year->setPlaceholderText(QString::number(m_year));
}

void TForm27::prepare(int mode, const QDate &today)
{
    m_mode = mode;
    setWindowTitle(caption(mode));
    const bool hoursPaidMode = mode == 14 || mode == 15;
    m_query = mode == 14 ? &H_Tabel7777 : mode == 15 ? &H_Tabel7778 : mode == 17 ? &H_Tabel_all : &H_Tabel0;
    DataSource1->setDataset(m_query);
    showColumn(QStringLiteral("s_night"), hoursPaidMode);
    showColumn(QStringLiteral("average_price"), mode != 17);
    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(today.month() - 1);
    }
    m_year = today.year();
    // the year list comes in the month's trip (ComboBox1Change reads it while closed)
    q_year.close();
    ComboBox1Change();
    fillYears();
}

void TForm27::openMode(int mode)
{
    prepare(mode, QDate::currentDate());
    exec();
    closeDown();
}

void TForm27::closeDown()
{
    // the next opening decides anew
    showColumn(QStringLiteral("s_night"), true);
    showColumn(QStringLiteral("average_price"), true);
    m_query->close();
    q_year.close();
    Button2->setText(QStringLiteral("Excel"));
}

void TForm27::ComboBox1Change()
{
    if (!MonthGrid::checkYear(m_year)) {
        m_query->close();
        return;
    }
    const QDate first(m_year, month(), 1);
    const QDate next = first.addMonths(1);
    Dataset &q = *m_query;
    q.close();
    q.setParam(QStringLiteral("i_month"), first.month());
    q.setParam(QStringLiteral("i_year"), first.year());
    for (const char *p : {"d_date2", "d_date4", "d_date6", "d_date8"})
        q.setParam(QString::fromLatin1(p), first);
    for (const char *p : {"d_date1", "d_date3", "d_date5", "d_date7"})
        q.setParam(QString::fromLatin1(p), next);
    for (Dataset *t : {&all_price, &price, &price7, &price8}) {
        t->close();
        t->setParam(QStringLiteral("d_date2"), first);
        t->setParam(QStringLiteral("d_date4"), first);
        t->setParam(QStringLiteral("d_date1"), next);
        t->setParam(QStringLiteral("d_date3"), next);
    }
    // the month and its totals in one trip to the server; the year list too
    // when the window has just opened
    QList<Dataset *> reads{&q, &all_price, &price, &price7, &price8};
    if (!q_year.isOpen())
        reads << &q_year;
    openShown(reads);
    showTotals();

    MonthGrid::colourDays(DataSource1, first, palette().color(QPalette::WindowText),
                          DBGrid->palette().color(QPalette::Base), DBGrid);
}

void TForm27::showTotals()
{
    // sums of money as the grid shows them: two decimals, the user's separator
    const QString field = QStringLiteral("price");
    DBText2->setText(DatasetModel::numberText(price.value(field), 2));
    DBText3->setText(DatasetModel::numberText(price7.value(field), 2));
    DBText4->setText(DatasetModel::numberText(price8.value(field), 2));
    DBText1->setText(DatasetModel::numberText(all_price.value(field), 2));
}

void TForm27::Button5Click() { openShown(*m_query); }

void TForm27::Button3Click()
{
    const int m = month(), y = m_year;
    if (!MonthGrid::checkYear(y))
        return;
    const bool rebuilt = MonthGrid::rebuildAsked(Button3, PB, f.DataModule6->connectionName(), m, y,
                                                 {QStringLiteral("табель хоз. работ"), QStringLiteral("из записей хоз. работ"),
                                                  MonthRebuild::housekeepingLineCount,
                                                  [this](const QString &c, int m, int y, const MonthRebuild::Progress &progress) {
                                                      m_query->close();
                                                      return MonthRebuild::housekeepingLines(c, m, y, progress);
                                                  }});
    if (rebuilt || !m_query->isOpen())
        openShown(*m_query);
}

void TForm27::Button2Click()
{
    Dataset &q = *m_query;
    const int rec = q.recNo();
    LongAction busy(Button2);
    // the grid does not follow the export's reading
    DataSource1->setDataset(nullptr);
    // The grid and its row come back before any message of the export (and
    // in any case when it ends), so no empty grid stands behind a box.
    struct Reattach {
        TForm27 *w;
        Dataset &q;
        int rec;
        std::function<void()> before;
        void now()
        {
            if (w->DataSource1->dataset() == &q)
                return;
            w->DataSource1->setDataset(&q);
            q.setRecNo(rec);
        }
        ~Reattach()
        {
            Excel::setBeforeMessage(std::move(before));
            now();
        }
    } reattach{this, q, rec, {}};
    reattach.before = Excel::setBeforeMessage([&reattach] { reattach.now(); });

    if (ExcelStart(QString(), windowTitle().remove(QStringLiteral(" (27)")) + QLatin1Char(' ') + MonthGrid::monthName(month()) + QLatin1Char(' ') + QString::number(m_year)) == -1)
        return;
    ExcelShow(false);
    const int n = q.recordCount();
    busy.setCaption(QStringLiteral("Excel (0 из %1)").arg(n));
    const bool hoursPaidMode = m_mode == 14 || m_mode == 15;
    ExcelWriteCell(1, 1, 1, MonthGrid::monthName(month()) + QLatin1Char(' ') + QString::number(m_year), true, true, true);
    ExcelWriteCell(1, 1, 2, QStringLiteral("Фамилия И.О."), true, true, true);
    for (int j = 1; j <= DayColumns::Count; ++j)
        ExcelWriteCell(1, j + 2, 2, QString::number(j), false, true, true);
    ExcelWriteCell(1, 34, 2, QStringLiteral("Итого (ч.)"), true, true, true);
    ExcelWriteCell(1, 35, 2, QStringLiteral("Итого (р.)"), true, true, true);
    if (m_mode != 17)
        ExcelWriteCell(1, 36, 2, QStringLiteral("Час (р.)"), true, true, true);
    for (int r = 0; r < n; ++r) {
        const int row = r + 3;
        ExcelWriteCell(1, 1, row, textOf(q.valueAt(r, QStringLiteral("fio"))), true, true, false);
        if (hoursPaidMode)
            ExcelWriteCell(1, 2, row, textOf(q.valueAt(r, QStringLiteral("s_night"))), true, true, false);
        for (int j = 1; j <= DayColumns::Count; ++j)
            ExcelWriteCell(1, j + 2, row, QString::number(q.valueAt(r, dayField(j)).toLongLong()), false, true, false);
        ExcelWriteCell(1, 34, row, textOf(q.valueAt(r, QStringLiteral("i_time"))), false, true, false);
        ExcelWriteMoney(1, 35, row, textOf(q.valueAt(r, QStringLiteral("f_price"))), true, false);
        if (m_mode != 17)
            ExcelWriteMoney(1, 36, row, textOf(q.valueAt(r, QStringLiteral("average_price"))), true, false);
        busy.setCaption(QStringLiteral("Excel (%1 из %2)").arg(r + 1).arg(n));
        busy.step();
    }
    ExcelShow(true);
}

void TForm27::FormActivate()
{
    // the mode's query is bound to the grid on activation
    if (DataSource1->dataset() != m_query)
        DataSource1->setDataset(m_query);
}

#include "TForm25.h"

#include "db/Gateway.h"
#include "db/ChangeListener.h"
#include "ui/LiveRefresh.h"

#include "KeyBindings.h"
#include "TForm24.h"
#include "db/DbError.h"
#include "db/Sql.h"
#include "db/TDataModule6.h"
#include "records/HousekeepingEntries.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Widgets.h"
#include "ui/Words.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QTableView>
#include <QVBoxLayout>

namespace {
bool isWeekend(const QDate &d) { return d.dayOfWeek() >= 6; }
} // namespace

TForm25::TForm25(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm25"));
    setWindowTitle(QStringLiteral("Хоз. работы (25)"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QApplication::windowIcon());

    fatigue = new Dataset(f.DataModule6->connectionName(), this);
    fatigue->setObjectName(QStringLiteral("fatigue"));
    // oper takes part without a join condition; distinct folds the repeats.
    fatigue->sql = QStringList{
        QStringLiteral("select distinct vo.vid, p.fio, i.s_caption, (f.cnt*f.price) as summ,  f.*, case when f.i_holiday=0 then '' "
                       "else '+' end as s_holiday, case when coalesce(f.i_night,0)=0 then '' else '+' end as s_night"),
        QStringLiteral("from accounts_dep.fatigue f, cmn_classifier.item i, accounts_dep.person p,accounts_dep.vid_oper vo, "
                       "accounts_dep.oper o "),
        QStringLiteral("where f.id_nom =i.id and p.id=f.id_p and vo.id = f.id_o and o.i_id >=7777 and o.vid >=7777 and f.d_date = "
                       ":d_date"),
        QStringLiteral("order by p.fio, f.id"),
    };

    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    const auto L = Qt::AlignLeft | Qt::AlignVCenter;
    const auto R = Qt::AlignRight | Qt::AlignVCenter;
    const auto C = Qt::AlignCenter;
    gridModel = new DatasetModel(fatigue,
                                 {
                                     {"fio", "ФИО", L, true, 200},
                                     {"s_caption", "Номенклатура", L, true, 200},
                                     {"vid", "Работа", L, true, 130},
                                     {"price", "Цена", R, true, 70},
                                     {"cnt", "Кол-во", R, true, 60},
                                     {"summ", "Итого", R, true, 80, 2}, // a sum of money: always two decimals
                                     {"s_holiday", "Вых.", C, true, 45},
                                     {"s_night", "Ноч.", C, true, 45},
                                 },
                                 this);
    bindGrid(DBGrid1, gridModel);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->setFixedSize(880, 420);
    connect(DBGrid1, &QTableView::doubleClicked, this, &TForm25::DBGrid1DblClick);
    // Read again when the day shown changes elsewhere.
    auto *live = new LiveRefresh(
        this, f.DataModule6->Changes,
        [this](const ChangeNotice::Change &c) {
            return fatigue->isOpen()
                && (c.table == ChangeNotice::Table::Housekeeping ? ChangeNotice::touchesDay(c, fatigue->param(QStringLiteral("d_date")).toDate())
                                                                 : c.table == ChangeNotice::Table::Workers || c.table == ChangeNotice::Table::Kinds);
        },
        [this]() { fatigue->open(); });
    live->keepPlace(DBGrid1, QStringLiteral("id"));

    DTPcker1 = new QDateEdit(QDate::currentDate(), this);
    DTPcker1->setObjectName(QStringLiteral("DTPcker1"));
    DTPcker1->setCalendarPopup(true);
    DTPcker1->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    CBox1 = Widgets::named<QCheckBox>(this, "CBox1", QStringLiteral("Выходной"));
    Button1 = Widgets::pushButton(this, "Button1", QStringLiteral("Расчитать ср.сд."));
    Button5 = Widgets::pushButton(this, "Button5", QStringLiteral("Добавить"));
    Button6 = Widgets::pushButton(this, "Button6", QStringLiteral("Изменить"));
    Button7 = Widgets::pushButton(this, "Button7", QStringLiteral("Удалить"));
    Button8 = Widgets::pushButton(this, "Button8", QStringLiteral("Выход"));

    auto *top = new QHBoxLayout;
    top->addWidget(DTPcker1);
    top->addWidget(CBox1);
    top->addStretch(1);
    top->addWidget(Button1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(Button5);
    bottom->addWidget(Button6);
    bottom->addWidget(Button7);
    bottom->addStretch(1);
    bottom->addWidget(Button8);
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(top);
    lay->addWidget(DBGrid1);
    lay->addLayout(bottom);
    lay->setSizeConstraint(QLayout::SetFixedSize);
    Widgets::centreAndFocus(this, {}, DBGrid1, Widgets::Refocus::OnShow);

    CBox1Click();
    // Any change of the date, picked in the calendar or typed, reads that day.
    connect(DTPcker1, &QDateEdit::dateChanged, this, &TForm25::DTPcker1Change);
    connect(CBox1, &QCheckBox::toggled, this, &TForm25::CBox1Click);
    connect(Button5, &QPushButton::clicked, this, &TForm25::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm25::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TForm25::Button7Click);
    connect(Button1, &QPushButton::clicked, this, &TForm25::Button1Click);
    connect(Button8, &QPushButton::clicked, this, &QDialog::reject);
    KeyBindings::housekeeping(this);
}

QDate TForm25::listDate() const { return DTPcker1->date(); }

bool TForm25::dayOff() const { return CBox1->isChecked(); }

int TForm25::openFor(const QDate &date)
{
    DTPcker1->setDate(date);
    // Also when the date is the one shown last time: the flag follows the weekday.
    CBox1->setChecked(isWeekend(date));
    return exec();
}

void TForm25::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormActivate();
}

void TForm25::FormActivate()
{
    readList();
    shiftValue = 1;
}

void TForm25::readList()
{
    fatigue->close();
    fatigue->setParam(QStringLiteral("d_date"), listDate());
    fatigue->open();
    emit listRead();
}

void TForm25::chooseDate(const QDate &d)
{
    if (d == listDate())
        DTPcker1Change();
    else
        DTPcker1->setDate(d); // dateChanged comes to DTPcker1Change
}

void TForm25::DTPcker1Change()
{
    CBox1->setChecked(isWeekend(listDate()));
    // Called by the picker's signal, also when a caller sets the date: the
    // read's failure is told here, once, and goes no further.
    try {
        readList();
    } catch (const DbError &e) {
        Dialogs::error(e.text());
    }
}

void TForm25::CBox1Click() { Widgets::showDayOff(CBox1); }

void TForm25::Button5Click()
{
    if (f.Form24 && f.Form24->addEntry() == QDialog::Accepted)
        showEntry(f.Form24->lastSavedId());
}

void TForm25::Button6Click()
{
    if (f.Form24 && f.Form24->editEntry() == QDialog::Accepted)
        showEntry(f.Form24->lastSavedId());
}

void TForm25::showEntry(qint64 id)
{
    // the saved entry becomes the current row, in view
    if (id > 0 && fatigue->locate(QStringLiteral("id"), id))
        DBGrid1->scrollTo(DBGrid1->currentIndex());
}

void TForm25::deleteEntry()
{
    if (fatigue->isEmpty())
        return;
    if (!Dialogs::question(QStringLiteral("Удалить позицию из списка?")))
        return;
    // The entry and its day cell go together or not at all.
    const Outcome o = HousekeepingEntries::remove(f.DataModule6->connectionName(), fatigue->asInt(QStringLiteral("id")));
    fatigue->refresh();
    if (!o.ok())
        Dialogs::error(o.text);
}

void TForm25::recalculate()
{
    const QDate d = listDate();
    // Prices of the whole month change, days nobody looks at included: ask first.
    int entries = 0;
    try {
        entries = Gateway::run(f.DataModule6->connectionName(),
                               QStringLiteral("select count(*) from accounts_dep.fatigue where id_o=7778 and i_mnth=?::int "
                                              "and i_year=?::int"),
                               {d.month(), d.year()})
                      .valueAt(0, 0)
                      .toInt();
    } catch (const DbError &e) {
        Dialogs::error(e.text());
        return;
    }
    const QString month = Words::month(d.month(), d.year());
    if (!Dialogs::question(QStringLiteral("Пересчитать цены ср.сд. за %1? Изменятся цены %2.")
                               .arg(month, Words::count(entries, "записи", "записей", "записей")),
                           QStringLiteral("Расчитать ср.сд.")))
        return;
    const Outcome o = HousekeepingEntries::recalculate(f.DataModule6->connectionName(), d.year(), d.month());
    if (!o.ok()) {
        Dialogs::error(o.text);
        return;
    }
    fatigue->refresh();
    Dialogs::information(QStringLiteral("Пересчитано %1.").arg(Words::count(o.id, "запись", "записи", "записей")),
                         QStringLiteral("Расчитать ср.сд."));
}

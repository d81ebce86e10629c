#include "TForm18.h"

#include "TForm16.h"
#include "TForm17.h"
#include "TForm20.h"
#include "TForm21.h"
#include "db/ReportConnection.h"
#include "db/TDataModule6.h"
#include "spreadsheet/Excel.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/LongAction.h"
#include "ui/Widgets.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TForm18::TForm18(Forms &forms, QWidget *parent)
    : QDialog(parent), XLS_Rep(ReportConnection::name()), f(forms)
{
    XLS_Rep.sql = QStringList{
        QStringLiteral("select sum(smena.kol_vo-smena.brak)::numeric as kolvo, vid_oper.vid,"),
        QStringLiteral("izdel.nom, oper.naimen, color,izdel.massa*sum(smena.kol_vo-smena.brak) as mass "),
        QStringLiteral("from accounts_dep.smena,accounts_dep.izdel,accounts_dep.vid_oper, accounts_dep.oper where izdel.id=smena.i_id and vid_oper.id=oper.vid"),
        QStringLiteral("and oper.id=smena.o_id and smena.data<:data2 and smena.data>=:data1 "),
        QStringLiteral("group by izdel.nom,color, oper.naimen, vid_oper.vid, izdel.massa order by izdel.nom"),
    };

    setObjectName(QStringLiteral("TForm18"));
    setWindowTitle(QStringLiteral("Отчеты (8)"));

    RadioGroup1 = new QGroupBox(QStringLiteral("Вид продукции"), this);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    auto *rg = new QVBoxLayout(RadioGroup1);
    const char *items[] = {"Все", "Готовая продукция", "Заготовки"};
    for (int i = 0; i < 3; ++i) {
        RadioGroup1Items[i] = new QRadioButton(QString::fromUtf8(items[i]), RadioGroup1);
        RadioGroup1Items[i]->setObjectName(QStringLiteral("RadioGroup1_%1").arg(i));
        rg->addWidget(RadioGroup1Items[i]);
    }
    RadioGroup1Items[0]->setChecked(true);

    auto *period = new QGroupBox(QStringLiteral("Период отбора"), this);
    period->setObjectName(QStringLiteral("GroupBox1"));
    auto *pl = new QHBoxLayout(period);
    auto *l1 = Widgets::named<QLabel>(period, "Label1", QStringLiteral("с"));
    DTPicker1 = new QDateEdit(period);
    DTPicker1->setObjectName(QStringLiteral("DTPicker1"));
    DTPicker1->setCalendarPopup(true);
    DTPicker1->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    auto *l2 = Widgets::named<QLabel>(period, "Label2", QStringLiteral("по"));
    DTPicker2 = new QDateEdit(period);
    DTPicker2->setObjectName(QStringLiteral("DTPicker2"));
    DTPicker2->setCalendarPopup(true);
    DTPicker2->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    // The period ends before this day, as the reports count it.
    auto *excluded = Widgets::named<QLabel>(period, "EndExcludedLabel", QStringLiteral("не включая"));
    QFont small = excluded->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    excluded->setFont(small);
    const QString endTip = QStringLiteral("Последний день периода — накануне этой даты: сама дата в отчёт не входит.");
    DTPicker2->setToolTip(endTip);
    excluded->setToolTip(endTip);
    pl->addWidget(l1);
    pl->addWidget(DTPicker1);
    pl->addWidget(l2);
    pl->addWidget(DTPicker2);
    pl->addWidget(excluded);

    Button2 = Widgets::pushButton(this, "Button2", QStringLiteral("Отчет по продукции"));
    Button4 = Widgets::pushButton(this, "Button4", QStringLiteral("Отчет по рабочим"));
    Button1 = Widgets::pushButton(this, "Button1", QStringLiteral("Детальный отчет по рабочим"));
    Button3 = Widgets::pushButton(this, "Button3", QStringLiteral("Детальный отчет по продукции"));
    Button6 = Widgets::pushButton(this, "Button6", QStringLiteral("Excel (0 из 0)"));
    Button5 = Widgets::pushButton(this, "Button5", QStringLiteral("Выход"));
    connect(Button5, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button1, &QPushButton::clicked, this, &TForm18::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm18::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm18::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm18::Button4Click);
    connect(Button6, &QPushButton::clicked, this, &TForm18::Button6Click);

    auto *lay = new QGridLayout(this);
    lay->addWidget(RadioGroup1, 0, 0, 3, 1);
    lay->addWidget(period, 0, 1, 1, 2);
    lay->addWidget(Button2, 1, 1);
    lay->addWidget(Button4, 1, 2);
    lay->addWidget(Button3, 2, 1);
    lay->addWidget(Button1, 2, 2);
    lay->addWidget(Button6, 3, 1);
    lay->addWidget(Button5, 3, 2);
    lay->setSizeConstraint(QLayout::SetFixedSize);
}

int TForm18::productKind() const
{
    for (int i = 0; i < 3; ++i)
        if (RadioGroup1Items[i]->isChecked())
            return i;
    return 0;
}

void TForm18::setProductKind(int index) { RadioGroup1Items[qBound(0, index, 2)]->setChecked(true); }

void TForm18::presetPeriod(const QDate &today)
{
    const QDate firstOfMonth(today.year(), today.month(), 1);
    DTPicker1->setDate(firstOfMonth.addMonths(-1));
    DTPicker2->setDate(firstOfMonth);
}

void TForm18::Button1Click()
{
    printReport(f.Form20, QStringLiteral("   Детальный отчет по рабочим за период с "), Button1);
}

void TForm18::Button2Click() { printReport(f.Form17, QStringLiteral("   Отчет по продукции за период с "), Button2); }

void TForm18::Button3Click()
{
    printReport(f.Form21, QStringLiteral("   Детальный отчет по продукции за период с "), Button3);
}

void TForm18::Button4Click() { printReport(f.Form16, QStringLiteral("   Отчет по рабочим за период с "), Button4); }

namespace {
struct CloseOnExit {
    Dataset &q;
    ~CloseOnExit() { q.close(); }
};
QString shortDate(const QDate &d) { return d.toString(QStringLiteral("dd.MM.yyyy")); }
} // namespace

void TForm18::printReport(ReportForm *report, const QString &titleText, QPushButton *button)
{
    Dataset &q = report->query();
    CloseOnExit closer{q};
    Printing::Document doc;
    {
        // the wait cursor while the query runs and the pages are laid out, not in the preview
        LongAction busy(button);
        q.close();
        q.setParam(QStringLiteral("data1"), DTPicker1->date());
        q.setParam(QStringLiteral("data2"), DTPicker2->date());
        ReportForm::applyProductFilter(q, productKind());
        q.open();
        report->QuickRep1.setText(QStringLiteral("QRLabel1"), titleText + shortDate(DTPicker1->date()) + QStringLiteral(" по ")
                                                                  + shortDate(DTPicker2->date()));
        doc = report->prepare();
    }
    Dialogs::preview(doc);
}

void TForm18::Button6Click()
{
    LongAction busy(Button6);
    XLS_Rep.close();
    XLS_Rep.setParam(QStringLiteral("data1"), DTPicker1->date());
    XLS_Rep.setParam(QStringLiteral("data2"), DTPicker2->date());
    ReportForm::applyProductFilter(XLS_Rep, productKind());
    XLS_Rep.open();
    CloseOnExit closer{XLS_Rep};
    if (ExcelStart(QString(), QStringLiteral("Отчет по продукции")) != 1)
        return;
    const int n = XLS_Rep.recordCount();
    const QString total = QString::number(n);
    busy.setCaption(QStringLiteral("Excel (0 из ") + total + QStringLiteral(")"));
    const char *titles[] = {"Наименование", "Операция", "Вид продукции", "Коробки", "Кол-во"};
    for (int c = 0; c < 5; ++c)
        ExcelWriteValue(1, c + 1, 1, QString::fromUtf8(titles[c]));
    for (int i = 0; i < n; ++i) {
        const int row = i + 2;
        const int color = XLS_Rep.valueAt(i, QStringLiteral("color")).toInt();
        // the kind is fixed-width text: its padding would sit between the name and the suffix
        QString vid = XLS_Rep.valueAt(i, QStringLiteral("vid")).toString();
        while (vid.endsWith(QLatin1Char(' ')))
            vid.chop(1);
        if (color == 1)
            vid += QStringLiteral(" (грунт)");
        else if (color > 1)
            vid += QStringLiteral(" (цвет: ") + QString::number(color) + QStringLiteral(")");
        ExcelWriteValue(1, 1, row, XLS_Rep.valueAt(i, QStringLiteral("nom")).toString());
        ExcelWriteValue(1, 2, row, vid);
        ExcelWriteValue(1, 3, row,
                        XLS_Rep.valueAt(i, QStringLiteral("naimen")).toInt() == 0 ? QStringLiteral("Готовая продукция")
                                                                                   : QStringLiteral("Заготовки"));
        ExcelWriteValue(1, 4, row, QString::number(XLS_Rep.valueAt(i, QStringLiteral("mass")).toDouble(), 'g', 15));
        ExcelWriteValue(1, 5, row, QString::number(qRound64(XLS_Rep.valueAt(i, QStringLiteral("kolvo")).toDouble())));
        busy.setCaption(QStringLiteral("Excel (") + QString::number(i + 1) + QStringLiteral(" из ") + total + QStringLiteral(")"));
        busy.step();
    }
    ExcelShow(true);
}

#include "TForm18.h"

#include "ui/Widgets.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TForm18::TForm18(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
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
    auto *l2 = Widgets::named<QLabel>(period, "Label2", QStringLiteral("по"));
    DTPicker2 = new QDateEdit(period);
    DTPicker2->setObjectName(QStringLiteral("DTPicker2"));
    DTPicker2->setCalendarPopup(true);
    pl->addWidget(l1);
    pl->addWidget(DTPicker1);
    pl->addWidget(l2);
    pl->addWidget(DTPicker2);

    Button2 = Widgets::pushButton(this, "Button2", QStringLiteral("Отчет по продукции"));
    Button4 = Widgets::pushButton(this, "Button4", QStringLiteral("Отчет по рабочим"));
    Button1 = Widgets::pushButton(this, "Button1", QStringLiteral("Детальный отчет по рабочим"));
    Button3 = Widgets::pushButton(this, "Button3", QStringLiteral("Детальный отчет по продукции"));
    Button6 = Widgets::pushButton(this, "Button6", QStringLiteral("Excel (0 из 0)"));
    Button5 = Widgets::pushButton(this, "Button5", QStringLiteral("Выход"));
    connect(Button5, &QPushButton::clicked, this, &QDialog::reject);

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

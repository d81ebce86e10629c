#include "TForm10.h"
#include "CatalogueWrite.h"

#include "TForm3.h"
#include "TForm8.h"
#include "db/Dataset.h"
#include "db/TDataModule6.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TForm10::TForm10(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm10"));
    setWindowTitle(QStringLiteral("Заведение новой цены за операцию"));

    GroupBox1 = new QGroupBox(QStringLiteral("Цена операции"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));

    // the two names are filled only through the lists
    Edit1 = Widgets::shownField(GroupBox1, "Edit1", 260);
    Edit2 = Widgets::shownField(GroupBox1, "Edit2", 260);
    Button3 = Widgets::pushButton(GroupBox1, "Button3", QStringLiteral("..."));
    Button4 = Widgets::pushButton(GroupBox1, "Button4", QStringLiteral("..."));
    Button3->setFixedWidth(32);
    Button4->setFixedWidth(32);
    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("Готовая продукция"), QStringLiteral("Заготовки")});
    ComboBox1->setCurrentIndex(0);

    auto *g = new QGridLayout(GroupBox1);
    g->addWidget(Widgets::named<QLabel>(GroupBox1, "Label1", QStringLiteral("Марка изделия")), 0, 0);
    g->addWidget(Edit1, 0, 1);
    g->addWidget(Button3, 0, 2);
    g->addWidget(Widgets::named<QLabel>(GroupBox1, "Label2", QStringLiteral("Операция")), 1, 0);
    g->addWidget(Edit2, 1, 1);
    g->addWidget(Button4, 1, 2);
    g->addWidget(Widgets::named<QLabel>(GroupBox1, "Label3", QStringLiteral("Вид")), 2, 0);
    g->addWidget(ComboBox1, 2, 1);

    const auto buttons =
        Widgets::saveCancelLayout(this, GroupBox1, QStringLiteral("Записать"), [this]() { Button1Click(); });
    Button1 = buttons.save;
    Button2 = buttons.cancel;
    connect(Button3, &QPushButton::clicked, this, [this]() { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this]() { Button4Click(); });
    Widgets::centreAndFocus(this, [this]() { return f.mainWindow; }, Button3, Widgets::Refocus::OnShowAndActivation);

    setTabOrder(Button3, Button4);
    setTabOrder(Button4, ComboBox1);
    setTabOrder(ComboBox1, Button1);
    setTabOrder(Button1, Button2);
}

void TForm10::pickProduct()
{
    TForm3 *list = f.Form3;
    if (!list->pick(1))
        return;
    Edit1->setText(list->PickedName);
    productId = list->PickedId;
}

void TForm10::pickKind()
{
    TForm8 *list = f.Form8;
    if (!list->pick(1))
        return;
    Edit2->setText(list->PickedName);
    kindId = list->PickedId;
}

bool TForm10::save()
{
    if (Edit1->text().trimmed().isEmpty() || Edit2->text().trimmed().isEmpty()) {
        Dialogs::error(QStringLiteral("Все поля должны быть заполнены!"));
        return false;
    }
    TDataModule6 &dm = *f.DataModule6;
    Dataset &oper = dm.Oper;
    const int naimen = ComboBox1->currentIndex();
    const bool adding = Tag == 1;
    const int changedId = oper.asInt(QStringLiteral("id"));
    if (!adding && oper.isEmpty())
        return false; // no operation to change

    // The database refuses a second operation of the same kind, product kind
    // and product, and writes, in one step.
    const QString conn = dm.connectionName();
    if (adding) {
        QVariantList row;
        if (!CatalogueWrite::call(conn, QStringLiteral("select id, existed from accounts_dep.operation_add(?::integer, ?::integer, ?::integer)"),
                                  {kindId, naimen, productId}, &row))
            return false;
        addedId = row.value(0).toInt();
        // An operation saved earlier but left without norms is not listed, and
        // refusing it as a duplicate would be a dead end: its norms window opens
        // (through addedId, as for a new one) so the user can finish it.
        if (row.value(1).toBool()) {
            Dialogs::information(QStringLiteral("Операция с такими параметрами уже заведена, но без нормативов. Введите её нормативы."),
                                 QStringLiteral("Информация"));
            reject();
            return true;
        }
    } else if (!CatalogueWrite::call(conn, QStringLiteral("select accounts_dep.operation_change(?::integer, ?::integer, ?::integer, ?::integer)"),
                                     {changedId, kindId, naimen, productId})) {
        return false;
    }

    const int recNo = oper.recNo();
    oper.close();
    oper.open();
    if (adding || !oper.locate(QStringLiteral("id"), changedId))
        oper.setRecNo(recNo);
    reject();
    return true;
}

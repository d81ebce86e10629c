#include "TForm26.h"

#include "CatalogueList.h"
#include "db/Dataset.h"
#include "db/TDataModule6.h"
#include "ui/DatasetModel.h"
#include "ui/Forms.h"
#include "ui/Lookup.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

TForm26::TForm26(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm26"));
    setWindowTitle(QStringLiteral("Номенклатура (26)"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QApplication::windowIcon());

    item = new Dataset(f.DataModule6->connectionName(), this);
    item->setObjectName(QStringLiteral("item"));
    item->setSql(QStringLiteral("select * from cmn_classifier.item where id_level=2 order by s_caption"));

    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    gridModel = new DatasetModel(item, {{"s_caption", "Наименование", Qt::AlignLeft | Qt::AlignVCenter, true}}, this);
    bindGrid(DBGrid1, gridModel);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->setFixedSize(420, 400);
    connect(DBGrid1, &QTableView::doubleClicked, this, [this]() { DBGrid1DblClick(); });

    Button1 = Widgets::named<QPushButton>(this, "Button1", QStringLiteral("Выбрать"));
    Button1->setDefault(true);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    connect(Edit1, &QLineEdit::textChanged, this, [this]() { Edit1Change(); });
    CatalogueList::installSearchKeys(Edit1, item, CatalogueList::OtherKeys::Consume);
    Button4 = Widgets::pushButton(this, "Button4", QStringLiteral("Выход"));
    connect(Button1, &QPushButton::clicked, this, [this]() { Button1Click(); });
    connect(Button4, &QPushButton::clicked, this, &QDialog::reject);

    auto *bar = new QHBoxLayout;
    bar->addWidget(Button1);
    bar->addWidget(Edit1, 1);
    bar->addWidget(Button4);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(DBGrid1);
    lay->addLayout(bar);
    lay->setSizeConstraint(QLayout::SetFixedSize);
    // centred on the desktop
    Widgets::centreAndFocus(this, {}, Edit1, Widgets::Refocus::OnShow);
}

void TForm26::search(const QString &text)
{
    item->setFilter(Dataset::textFilter(QStringLiteral("s_caption"), text, true));
}

void TForm26::Edit1Change() { search(Edit1->text()); }

bool TForm26::pick()
{
    PickedId = 0;
    PickedName.clear();
    search(Edit1->text());
    item->open();
    const int result = exec();
    item->close();
    return result == QDialog::Accepted;
}

void TForm26::choose()
{
    // An empty list hands nothing over.
    if (item->isEmpty()) {
        reject();
        return;
    }
    PickedId = idValue(item->value(QStringLiteral("id")));
    PickedName = item->asString(QStringLiteral("s_caption"));
    accept();
}

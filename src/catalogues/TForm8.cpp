#include "TForm8.h"
#include "db/ChangeListener.h"
#include "ui/LiveRefresh.h"
#include "CatalogueWrite.h"

#include "CatalogueList.h"
#include "TForm9.h"
#include "db/TDataModule6.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Widgets.h"

#include <QLineEdit>
#include <QPushButton>

TForm8::TForm8(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm8"));
    setWindowTitle(QStringLiteral("Виды операций (8)"));

    Dataset *kinds = &f.DataModule6->Vid_oper;
    gridModel = new DatasetModel(kinds, {{"VID", "Операции", Qt::AlignLeft | Qt::AlignVCenter, true}}, this);
    CatalogueList::build(this, kinds, CatalogueList::OtherKeys::Consume, {400, 380}, CatalogueList::Sizing::AtLeast);
    LiveRefresh::forList(this, f.DataModule6->Changes, {ChangeNotice::Table::Kinds}, DBGrid1, QStringLiteral("id"));
    Edit1->hide(); // shown only for picking
    Widgets::centreAndFocus(this, [this]() { return f.mainWindow; }, Edit1, Widgets::Refocus::OnShowAndActivation);
}

void TForm8::search(const QString &text)
{
    f.DataModule6->Vid_oper.setFilter(Dataset::textFilter(QStringLiteral("vid"), text, true));
}

void TForm8::Edit1Change() { search(Edit1->text()); }

void TForm8::openList()
{
    Dataset &kinds = f.DataModule6->Vid_oper;
    Tag = 0;
    kinds.setFilter({});
    kinds.open();
    CatalogueList::setMode(CatalogueList::Mode::Catalogue, Button1, Button2, Button3);
    exec();
    kinds.close();
}

bool TForm8::pick(int tag)
{
    Dataset &kinds = f.DataModule6->Vid_oper;
    Tag = tag;
    PickedName.clear();
    PickedId = 0;
    kinds.setFilter({});
    kinds.open();
    CatalogueList::setMode(CatalogueList::Mode::Chooser, Button1, Button2, Button3);
    Edit1->show();
    Edit1->clear();
    const int result = exec();
    Button2->setDefault(false);
    Edit1->hide();
    kinds.close();
    kinds.setFilter({});
    return result == QDialog::Accepted;
}

void TForm8::Button2Click()
{
    if (Tag == 0)
        changeKind();
    else
        choose();
}

void TForm8::choose()
{
    const Dataset &kinds = f.DataModule6->Vid_oper;
    if (kinds.isEmpty()) {
        reject();
        return;
    }
    PickedName = kinds.asString(QStringLiteral("vid")).trimmed();
    PickedId = kinds.asInt(QStringLiteral("id"));
    accept();
}

void TForm8::addKind()
{
    TForm9 *ed = f.Form9;
    ed->Edit1->clear();
    ed->setWindowTitle(QStringLiteral("Заведение нового вида операций"));
    ed->Tag = 1;
    ed->exec();
}

void TForm8::changeKind()
{
    const Dataset &kinds = f.DataModule6->Vid_oper;
    if (kinds.isEmpty())
        return; // no kind to change
    TForm9 *ed = f.Form9;
    ed->setWindowTitle(QStringLiteral("Изменение данных вида операции"));
    ed->Tag = 2;
    ed->Edit1->setText(kinds.asString(QStringLiteral("vid")).trimmed());
    ed->exec();
}

void TForm8::deleteKind()
{
    Dataset &kinds = f.DataModule6->Vid_oper;
    if (kinds.isEmpty())
        return; // nothing to delete
    if (!Dialogs::question(QStringLiteral("Удалить вид операции?")))
        return;
    CatalogueWrite::call(f.DataModule6->connectionName(), QStringLiteral("select accounts_dep.kind_delete(?::integer)"),
                         {kinds.asInt(QStringLiteral("id"))});
    kinds.close();
    kinds.open();
}

#include "TForm3.h"
#include "db/ChangeListener.h"
#include "ui/LiveRefresh.h"

#include "CatalogueList.h"
#include "TForm7.h"
#include "db/Dataset.h"
#include "records/Products.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Widgets.h"

#include <QLineEdit>
#include <QPushButton>

namespace {
qint64 idOf(const Dataset &ds)
{
    const QVariant v = ds.value(QStringLiteral("id"));
    bool ok = false;
    const qint64 id = v.toLongLong(&ok);
    return ok ? id : qRound64(v.toDouble());
}
} // namespace

TForm3::TForm3(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm3"));
    setWindowTitle(QStringLiteral("Изделия (3)"));

    Dataset *izdel = &f.DataModule6->Izdel;
    const QString conn = f.DataModule6->connectionName();
    Izdel_Smena = new Dataset(conn, this);
    Izdel_Smena->setObjectName(QStringLiteral("Izdel_Smena"));
    Izdel_Smena->setSql(QStringLiteral("select count(*) as cnt from accounts_dep.smena s where s.i_id =:id_ii and s.\"data\">=:dt"));
    ii_oper = new Dataset(conn, this);
    ii_oper->setObjectName(QStringLiteral("ii_oper"));
    ii_oper->setSql(QStringLiteral("select count(*) as cnt from accounts_dep.oper o where o.i_id =:id_ii"));

    const auto L = Qt::AlignLeft | Qt::AlignVCenter;
    gridModel = new DatasetModel(izdel,
                                 {
                                     {"marka", "Марка изделия", L, true, 220},
                                     {"nom", "Номенклатурная группа", L, true, 220},
                                     {"massa", "Коробки", L, true, 80},
                                 },
                                 this);
    CatalogueList::build(this, izdel, CatalogueList::OtherKeys::Keep, {600, 420}, CatalogueList::Sizing::Fixed);
    LiveRefresh::forList(this, f.DataModule6->Changes, {ChangeNotice::Table::Products}, DBGrid1, QStringLiteral("id"));
    Widgets::centreAndFocus(this, [this]() { return f.Form1; }, Edit1, Widgets::Refocus::OnShowAndActivation);
}

void TForm3::search(const QString &text)
{
    f.DataModule6->Izdel.setFilter(Dataset::textFilter(QStringLiteral("marka"), text, true));
}

void TForm3::Edit1Change() { search(Edit1->text()); }

int TForm3::runModal()
{
    // A hidden box filters nothing; a visible one keeps filtering by its text.
    search(Edit1->isHidden() ? QString() : Edit1->text());
    return CatalogueList::execOver(this, f.DataModule6->Izdel);
}

void TForm3::openList()
{
    Tag = 0;
    CatalogueList::setMode(CatalogueList::Mode::Catalogue, Button1, Button2, Button3);
    runModal();
}

bool TForm3::pick(int tag)
{
    Tag = tag;
    PickedName.clear();
    PickedId = 0;
    CatalogueList::setMode(CatalogueList::Mode::Chooser, Button1, Button2, Button3);
    Edit1->show();
    Edit1->clear();
    const int result = runModal();
    Button2->setDefault(false);
    Edit1->hide();
    Edit1->clear();
    return result == QDialog::Accepted;
}

void TForm3::Button2Click()
{
    if (Tag == 0)
        changeProduct();
    else
        choose();
}

void TForm3::choose()
{
    const Dataset &izdel = f.DataModule6->Izdel;
    if (izdel.isEmpty()) {
        reject();
        return;
    }
    PickedName = izdel.asString(QStringLiteral("marka")).trimmed();
    PickedId = idOf(izdel);
    accept();
}

void TForm3::showEditor(int recNo)
{
    TForm7 *ed = f.Form7;
    ed->item->close();
    ed->item->open();
    if (ed->Tag != 1)
        ed->setGroup(f.DataModule6->Izdel.value(QStringLiteral("id_class_item")));
    ed->productId = idOf(f.DataModule6->Izdel);
    ed->exec();
    ed->item->close();
    f.DataModule6->Izdel.setRecNo(recNo);
}

void TForm3::addProduct()
{
    const int rec = f.DataModule6->Izdel.recNo();
    TForm7 *ed = f.Form7;
    ed->Edit1->clear();
    ed->Edit2->clear();
    ed->setWindowTitle(QStringLiteral("Заведение нового изделия (7)"));
    ed->Tag = 1;
    showEditor(rec);
}

void TForm3::changeProduct()
{
    Dataset &izdel = f.DataModule6->Izdel;
    if (izdel.isEmpty())
        return; // no product to change
    const int rec = izdel.recNo();
    TForm7 *ed = f.Form7;
    ed->setWindowTitle(QStringLiteral("Изменение данных изделия (7)"));
    ed->Tag = 2;
    ed->Edit1->setText(izdel.asString(QStringLiteral("marka")).trimmed());
    ed->Edit2->setText(TForm7::massaText(izdel.value(QStringLiteral("massa"))));
    showEditor(rec);
}

QDate TForm3::entriesThreshold(const QDate &today)
{
    const int m = today.month() == 1 ? 13 : today.month();
    return QDate(2000, m - 1, 1);
}

void TForm3::deleteProduct(const QDate &today)
{
    Dataset &izdel = f.DataModule6->Izdel;
    if (izdel.isEmpty())
        return; // nothing to delete
    const qint64 id = idOf(izdel);

    Izdel_Smena->close();
    Izdel_Smena->setParam(QStringLiteral("id_ii"), id);
    Izdel_Smena->setParam(QStringLiteral("dt"), entriesThreshold(today));
    Izdel_Smena->open();
    const int entries = Izdel_Smena->asInt(QStringLiteral("cnt"));
    Izdel_Smena->close();

    ii_oper->close();
    ii_oper->setParam(QStringLiteral("id_ii"), id);
    ii_oper->open();
    const int operations = ii_oper->asInt(QStringLiteral("cnt"));
    ii_oper->close();

    // The questions first: nothing is held locked while a question is open.
    const bool dropOperations =
        operations > 0 && Dialogs::question(QStringLiteral("По изделию есть расценки они будут удалены!!!"));
    bool dropEntries = false;
    bool dropProduct = false;
    if (entries > 0)
        dropProduct = dropEntries = Dialogs::question(
            QStringLiteral("По изделию есть операции в текущем, предыдущем месяцах и ранее, они будут удалены. Удалить изделие? "));
    else
        dropProduct = Dialogs::question(QStringLiteral("Удалить изделие? "));

    Outcome outcome;
    if (dropOperations || dropProduct)
        // One transaction: the entries go together with the hours they put
        // into the timesheet, so no timesheet shows work that no longer exists.
        outcome = Products::remove(f.DataModule6->connectionName(), {id, dropOperations, dropEntries, dropProduct});
    izdel.close();
    izdel.open();
    if (!outcome.ok())
        Dialogs::error(outcome.text);
}

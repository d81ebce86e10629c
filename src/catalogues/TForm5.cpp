#include "TForm5.h"
#include "db/ChangeListener.h"
#include "ui/LiveRefresh.h"
#include "CatalogueWrite.h"

#include "CatalogueList.h"
#include "TForm2.h"
#include "db/TDataModule6.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Widgets.h"

#include <QLineEdit>
#include <QPushButton>

TForm5::TForm5(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(QStringLiteral("Список рабочих"));

    Dataset *workers = &f.DataModule6->Workers;
    gridModel = new DatasetModel(workers,
                                 {
                                     {"fio", "ФИО", Qt::AlignLeft | Qt::AlignVCenter, true, 300},
                                     {"s_staffpos_hl", "Должность", Qt::AlignLeft | Qt::AlignVCenter, true, 200},
                                 },
                                 this);
    CatalogueList::build(this, workers, CatalogueList::OtherKeys::Consume, {560, 420}, CatalogueList::Sizing::Fixed);
    LiveRefresh::forList(this, f.DataModule6->Changes, {ChangeNotice::Table::Workers}, DBGrid1, QStringLiteral("id"));
    Widgets::centreAndFocus(this, [this]() { return f.mainWindow; }, nullptr, Widgets::Refocus::OnShow);
}

QString TForm5::currentSearchText() const { return Edit1->text(); }

void TForm5::search(const QString &text)
{
    // Only the rows already read are filtered; nothing is queried again.
    f.DataModule6->Workers.setFilter(Dataset::textFilter(QStringLiteral("fio"), text, true));
}

void TForm5::readWorkers(int recNo)
{
    Dataset &w = f.DataModule6->Workers;
    w.close();
    w.open();
    if (!w.isEmpty())
        w.setRecNo(recNo);
}

int TForm5::runModal()
{
    // The box and the list agree: a text left in the box still filters.
    search(currentSearchText());
    return CatalogueList::execOver(this, f.DataModule6->Workers);
}

void TForm5::openList()
{
    Tag = 0;
    CatalogueList::setMode(CatalogueList::Mode::Catalogue, Button1, Button2, Button3);
    runModal();
}

bool TForm5::pick(int tag)
{
    Tag = tag;
    PickedName.clear();
    PickedId = 0;
    CatalogueList::setMode(CatalogueList::Mode::Chooser, Button1, Button2, Button3);
    Edit1->show();
    Edit1->clear();
    return runModal() == QDialog::Accepted;
}

void TForm5::Button2Click()
{
    if (Tag == 0)
        changeWorker();
    else
        choose();
}

void TForm5::choose()
{
    const Dataset &w = f.DataModule6->Workers;
    if (w.isEmpty() || (Tag != 1 && Tag != 24)) {
        reject();
        return;
    }
    PickedName = w.asString(QStringLiteral("fio")).trimmed();
    PickedId = w.asInt(QStringLiteral("id"));
    accept();
}

void TForm5::addWorker()
{
    TForm2 *ed = f.Form2;
    ed->Edit1->clear();
    ed->setWindowTitle(QStringLiteral("Заведение данных нового работника"));
    ed->Tag = 1;
    ed->readLookups();
    ed->exec();
    readWorkers(1);
}

void TForm5::changeWorker()
{
    Dataset &w = f.DataModule6->Workers;
    if (w.isEmpty())
        return; // no worker to change
    const int rec = w.recNo();
    TForm2 *ed = f.Form2;
    ed->setWindowTitle(QStringLiteral("Изменение данных работника"));
    ed->Tag = 2;
    ed->readLookups();
    ed->Edit1->setText(w.asString(QStringLiteral("fio")).trimmed());
    ed->workerId = w.asInt(QStringLiteral("id"));
    ed->exec();
    readWorkers(rec);
    close();
}

void TForm5::deleteWorker()
{
    Dataset &w = f.DataModule6->Workers;
    if (w.isEmpty())
        return; // nothing to delete
    if (!Dialogs::question(QStringLiteral("Удалить работника?")))
        return;
    const int rec = w.recNo();
    CatalogueWrite::call(f.DataModule6->connectionName(), QStringLiteral("select accounts_dep.worker_delete(?::integer)"),
                         {w.asInt(QStringLiteral("id"))});
    readWorkers(rec);
}

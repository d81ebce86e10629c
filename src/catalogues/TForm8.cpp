#include "TForm8.h"

#include "CatalogueList.h"
#include "TForm9.h"
#include "db/Sql.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

TForm8::TForm8(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm8"));
    setWindowTitle(QStringLiteral("Виды операций (8)"));

    Dataset *kinds = &f.DataModule6->Vid_oper;
    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    gridModel = new DatasetModel(kinds, {{"VID", "Операции", Qt::AlignLeft | Qt::AlignVCenter, true}}, this);
    bindGrid(DBGrid1, gridModel);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->setMinimumSize(400, 380);
    connect(DBGrid1, &QTableView::doubleClicked, this, [this]() { DBGrid1DblClick(); });

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->hide();
    connect(Edit1, &QLineEdit::textChanged, this, [this]() { Edit1Change(); });
    CatalogueList::installSearchKeys(Edit1, kinds, CatalogueList::OtherKeys::Consume);

    auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    Button1 = button("Button1", "Добавить");
    Button2 = button("Button2", "Изменить");
    Button3 = button("Button3", "Удалить");
    Button4 = button("Button4", "Выход");
    connect(Button1, &QPushButton::clicked, this, [this]() { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this]() { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this]() { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    buttons->addStretch(1);
    buttons->addWidget(Button4);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(DBGrid1);
    lay->addWidget(Edit1);
    lay->addLayout(buttons);
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
    Button2->setText(QStringLiteral("Изменить"));
    Button2->setDefault(false);
    Button1->setDefault(true);
    Button1->show();
    Button3->show();
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
    Button2->setText(QStringLiteral("Выбрать"));
    Button1->hide();
    Button3->hide();
    Button1->setDefault(false);
    Button2->setDefault(true);
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
    f.DataModule6->SQL_exec.exec(QStringLiteral("delete from accounts_dep.vid_oper where id=")
                                 + Sql::num(qint64(kinds.asInt(QStringLiteral("id")))));
    kinds.close();
    kinds.open();
}

void TForm8::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    CatalogueList::centreOn(this, f.Form1);
    if (Edit1->isVisible())
        Edit1->setFocus();
}

void TForm8::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && Edit1->isVisible())
        Edit1->setFocus();
}

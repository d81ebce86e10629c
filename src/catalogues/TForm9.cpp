#include "TForm9.h"

#include "CatalogueList.h"
#include "db/Dataset.h"
#include "db/Sql.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TForm9::TForm9(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm9"));
    setWindowTitle(QStringLiteral("Заведение нового вида операций"));

    GroupBox1 = new QGroupBox(QStringLiteral("Вид операции"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(300);
    auto *form = new QFormLayout(GroupBox1);
    form->addRow(QStringLiteral("Операция"), Edit1);

    Button1 = new QPushButton(QStringLiteral("Записать"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Отмена"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this]() { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(GroupBox1);
    lay->addLayout(buttons);
    lay->setSizeConstraint(QLayout::SetFixedSize);
}

bool TForm9::save()
{
    TDataModule6 &dm = *f.DataModule6;
    Dataset &kinds = dm.Vid_oper;
    const QString name = Edit1->text().trimmed();
    if (name.isEmpty()) {
        Dialogs::error(QStringLiteral("Все поля должны быть заполнены!"));
        return false;
    }
    const bool adding = Tag == 1;
    const qint64 id = adding ? 0 : kinds.asInt(QStringLiteral("id"));
    // Names are the same without regard to letter case; the server
    // upper-cases both sides so that they are compared alike.
    QString count = QStringLiteral("select count(*) as cnt from accounts_dep.vid_oper where upper(vid)=upper(")
        + Sql::text(name.toUpper()) + QStringLiteral(")");
    if (!adding)
        count += QStringLiteral(" and id<>") + Sql::num(id);
    if (dm.DuplicateCheck(count, QStringLiteral("Такая операция уже заведена!")))
        return false;

    if (adding)
        dm.SQL_exec.exec(QStringLiteral("insert into accounts_dep.vid_oper (vid) values (") + Sql::text(name)
                         + QStringLiteral(")"));
    else
        dm.SQL_exec.exec(QStringLiteral("update accounts_dep.vid_oper set vid=") + Sql::text(name)
                         + QStringLiteral(" where id=") + Sql::num(id));
    kinds.close();
    kinds.open();
    return true;
}

void TForm9::Button1Click()
{
    if (save())
        reject();
}

void TForm9::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    CatalogueList::centreOn(this, f.Form1);
    Edit1->setFocus();
}

void TForm9::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        Edit1->setFocus();
}

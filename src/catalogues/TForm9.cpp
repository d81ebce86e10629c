#include "TForm9.h"
#include "CatalogueWrite.h"

#include "db/Dataset.h"
#include "db/TDataModule6.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Widgets.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

TForm9::TForm9(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm9"));
    setWindowTitle(QStringLiteral("Заведение нового вида операций"));

    GroupBox1 = new QGroupBox(QStringLiteral("Вид операции"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(300);
    Edit1->setMaxLength(128); // vid_oper.vid
    auto *form = new QFormLayout(GroupBox1);
    form->addRow(QStringLiteral("Операция"), Edit1);

    const auto buttons =
        Widgets::saveCancelLayout(this, GroupBox1, QStringLiteral("Записать"), [this]() { Button1Click(); });
    Button1 = buttons.save;
    Button2 = buttons.cancel;
    Widgets::centreAndFocus(this, [this]() { return f.mainWindow; }, Edit1, Widgets::Refocus::OnShowAndActivation);
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
    // Names are the same without regard to letter case: the database checks
    // that and writes in one step.
    const bool saved = Tag == 1
        ? CatalogueWrite::call(dm.connectionName(), QStringLiteral("select accounts_dep.kind_add(?)"), {name})
        : CatalogueWrite::call(dm.connectionName(), QStringLiteral("select accounts_dep.kind_change(?::integer, ?)"),
                               {kinds.asInt(QStringLiteral("id")), name});
    if (!saved)
        return false;
    kinds.close();
    kinds.open();
    return true;
}

void TForm9::Button1Click()
{
    if (save())
        reject();
}

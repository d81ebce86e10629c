#include "TForm9.h"
#include "Announced.h"

#include "db/Dataset.h"
#include "db/Sql.h"
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

    writeAnnounced(dm.connectionName(), ChangeNotice::Table::Kinds, [&]() {
        if (adding)
            dm.SQL_exec.exec(QStringLiteral("insert into accounts_dep.vid_oper (vid) values (") + Sql::text(name)
                             + QStringLiteral(")"));
        else
            dm.SQL_exec.exec(QStringLiteral("update accounts_dep.vid_oper set vid=") + Sql::text(name)
                             + QStringLiteral(" where id=") + Sql::num(id));
    });
    kinds.close();
    kinds.open();
    return true;
}

void TForm9::Button1Click()
{
    if (save())
        reject();
}

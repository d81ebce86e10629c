#include "TForm2.h"
#include "CatalogueWrite.h"

#include "db/Dataset.h"
#include "db/TDataModule6.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Lookup.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QWheelEvent>

TForm2::TForm2(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("Заведение данных нового работника"));

    const QString conn = f.DataModule6->connectionName();
    department = new Dataset(conn, this);
    department->setSql(QStringLiteral("select id, s_caption from cmn_department.department order by s_caption"));
    staffpos = new Dataset(conn, this);
    staffpos->setSql(QStringLiteral("select id, s_caption from hrms_staffpos.staffpos order by s_caption"));
    roles = new Dataset(conn, this);
    roles->setSql(QStringLiteral("select id, s_caption from adm_role.roles order by s_caption"));

    GroupBox1 = new QGroupBox(QStringLiteral("Данные о работнике"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(320);
    Edit1->setMaxLength(254); // person.fio
    auto lookup = [this](const char *name) {
        auto *b = new QComboBox(GroupBox1);
        b->setObjectName(QString::fromLatin1(name));
        b->setMaxVisibleItems(10);
        b->setFocusPolicy(Qt::StrongFocus); // the wheel goes to the focused list only
        b->installEventFilter(this);
        return b;
    };
    LCB_department = lookup("LCB_department");
    LCB_staffpos = lookup("LCB_staffpos");
    LCB_roles = lookup("LCB_roles");

    auto *form = new QFormLayout(GroupBox1);
    form->addRow(QStringLiteral("ФИО"), Edit1);
    form->addRow(QStringLiteral("Подразделение"), LCB_department);
    form->addRow(QStringLiteral("Должность"), LCB_staffpos);
    form->addRow(QStringLiteral("Роль"), LCB_roles);

    const auto buttons =
        Widgets::saveCancelLayout(this, GroupBox1, QStringLiteral("Записать"), [this]() { Button1Click(); });
    Button1 = buttons.save;
    Button2 = buttons.cancel;
    Widgets::centreAndFocus(this, [this]() { return f.mainWindow; }, Edit1, Widgets::Refocus::OnShowAndActivation);

    setTabOrder(Edit1, LCB_staffpos);
    setTabOrder(LCB_staffpos, LCB_department);
    setTabOrder(LCB_department, LCB_roles);
    setTabOrder(LCB_roles, Button1);
    setTabOrder(Button1, Button2);
}

TForm2::~TForm2() = default;

void TForm2::readLookups()
{
    const std::pair<Dataset *, QComboBox *> lookups[] = {
        {staffpos, LCB_staffpos}, {roles, LCB_roles}, {department, LCB_department}};
    for (const auto &[ds, box] : lookups) {
        ds->close();
        ds->open();
        fillLookup(box, *ds, box->currentData()); // the choice kept while it is still there
    }
}

bool TForm2::save()
{
    const QString name = Edit1->text().trimmed();
    if (name.isEmpty()) {
        Dialogs::error(QStringLiteral("ФИО нужно заполнить!"));
        return false;
    }
    // The position shown in the list is the one chosen under "Должность".
    const QString position = LCB_staffpos->currentIndex() >= 0 ? LCB_staffpos->currentText() : QString();
    const QString conn = f.DataModule6->connectionName();
    if (Tag == 1)
        return CatalogueWrite::call(conn, QStringLiteral("select accounts_dep.worker_add(?, ?)"), {name, position});
    return CatalogueWrite::call(conn, QStringLiteral("select accounts_dep.worker_change(?::integer, ?, ?)"),
                                {workerId, name, position});
}

void TForm2::Button1Click()
{
    if (save())
        reject(); // the openers do not look at the result
}

bool TForm2::eventFilter(QObject *o, QEvent *e)
{
    // The wheel steps through whichever lookup list has the focus, like Up/Down.
    if (e->type() == QEvent::Wheel) {
        auto *box = qobject_cast<QComboBox *>(focusWidget());
        if (box == LCB_department || box == LCB_staffpos || box == LCB_roles) {
            const int dy = static_cast<QWheelEvent *>(e)->angleDelta().y();
            if (dy != 0) {
                const int next = box->currentIndex() + (dy < 0 ? 1 : -1);
                if (next >= 0 && next < box->count())
                    box->setCurrentIndex(next);
            }
        }
        return true;
    }
    return QDialog::eventFilter(o, e);
}

#include "UsersWindow.h"

#include "db/DbError.h"
#include "records/Users.h"
#include "ui/Dialogs.h"
#include "ui/Limits.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QColor>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
const int kNameLength = 128; // accounts_dep.users.name
const QStringList kRoles{QStringLiteral("administrator"), QStringLiteral("masters"), QStringLiteral("econom"),
                         QStringLiteral("sklad")};

QComboBox *roleBox(QWidget *parent)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(QStringLiteral("RoleBox"));
    for (const QString &r : kRoles)
        c->addItem(Users::roleCaption(r), r);
    return c;
}
} // namespace

UsersWindow::UsersWindow(const QString &connection, QWidget *parent) : QDialog(parent), m_connection(connection)
{
    setObjectName(QStringLiteral("UsersWindow"));
    setWindowTitle(QStringLiteral("Пользователи"));
    grid = new QTableWidget(0, 4, this);
    grid->setObjectName(QStringLiteral("UsersGrid"));
    grid->setHorizontalHeaderLabels({QStringLiteral("Имя"), QStringLiteral("Роль"), QStringLiteral("Вход"), QStringLiteral("Код")});
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    auto button = [this](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    addButton = button("AddUserButton", QStringLiteral("Добавить"));
    codeButton = button("ChangeCodeButton", QStringLiteral("Сменить код"));
    roleButton = button("ChangeRoleButton", QStringLiteral("Сменить роль"));
    offButton = button("SwitchOffButton", QStringLiteral("Отключить"));
    closeButton = button("CloseButton", QStringLiteral("Выход"));
    auto *row = new QHBoxLayout;
    for (QPushButton *b : {addButton, codeButton, roleButton, offButton})
        row->addWidget(b);
    row->addStretch();
    row->addWidget(closeButton);
    defaultCodesNote = new QLabel(QStringLiteral("Коды, отмеченные «сменить», встроены в программу и известны многим: "
                                                 "смените их на личные коды не короче %1 знаков.")
                                      .arg(Users::kMinCodeLength),
                                  this);
    defaultCodesNote->setObjectName(QStringLiteral("DefaultCodesNote"));
    defaultCodesNote->setWordWrap(true);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(grid);
    lay->addWidget(defaultCodesNote);
    lay->addLayout(row);
    resize(560, 360);
    connect(addButton, &QPushButton::clicked, this, &UsersWindow::addClicked);
    connect(codeButton, &QPushButton::clicked, this, &UsersWindow::codeClicked);
    connect(roleButton, &QPushButton::clicked, this, &UsersWindow::roleClicked);
    connect(offButton, &QPushButton::clicked, this, &UsersWindow::offClicked);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    reload();
}

void UsersWindow::reload()
{
    const int keep = currentId();
    grid->setRowCount(0);
    bool anyDefault = false;
    for (const Users::User &u : Users::all(m_connection)) {
        const int r = grid->rowCount();
        grid->insertRow(r);
        auto *name = new QTableWidgetItem(u.name);
        name->setData(Qt::UserRole, u.id);
        grid->setItem(r, 0, name);
        grid->setItem(r, 1, new QTableWidgetItem(Users::roleCaption(u.role)));
        grid->setItem(r, 2, new QTableWidgetItem(u.active ? QStringLiteral("разрешён") : QStringLiteral("отключён")));
        auto *code = new QTableWidgetItem(u.defaultCode ? QStringLiteral("встроенный: сменить") : QStringLiteral("личный"));
        if (u.defaultCode) {
            code->setForeground(QColor(180, 0, 0));
            anyDefault = anyDefault || u.active;
        }
        grid->setItem(r, 3, code);
        if (u.id == keep)
            grid->selectRow(r);
    }
    grid->resizeColumnsToContents();
    defaultCodesNote->setVisible(anyDefault);
}

int UsersWindow::currentId() const
{
    const int r = grid->currentRow();
    if (r < 0 || !grid->item(r, 0))
        return 0;
    return grid->item(r, 0)->data(Qt::UserRole).toInt();
}

static bool attempt(const std::function<void()> &step)
{
    try {
        step();
        return true;
    } catch (const DbError &e) {
        Dialogs::error(e.text());
        return false;
    }
}

bool UsersWindow::addUser(const QString &name, const QString &role, const QString &code)
{
    // accounts_dep.users.name is varchar(128)
    if (const QString why = Limits::lengthProblem(QStringLiteral("Имя"), name.trimmed(), kNameLength); !why.isEmpty()) {
        Dialogs::error(why);
        return false;
    }
    if (const QString why = Users::codeProblem(code); !why.isEmpty()) {
        Dialogs::error(why);
        return false;
    }
    const bool ok = attempt([&]() { Users::add(m_connection, name, role, code); });
    reload();
    return ok;
}

bool UsersWindow::changeCode(int id, const QString &code)
{
    if (const QString why = Users::codeProblem(code); !why.isEmpty()) {
        Dialogs::error(why);
        return false;
    }
    const bool ok = attempt([&]() { Users::setCode(m_connection, id, code); });
    reload();
    return ok;
}

bool UsersWindow::changeRole(int id, const QString &role)
{
    const bool ok = attempt([&]() { Users::setRole(m_connection, id, role); });
    reload();
    return ok;
}

bool UsersWindow::switchOff(int id)
{
    const bool ok = attempt([&]() { Users::setActive(m_connection, id, false); });
    reload();
    return ok;
}

void UsersWindow::addClicked()
{
    QDialog d(this);
    d.setObjectName(QStringLiteral("NewUserDialog"));
    d.setWindowTitle(QStringLiteral("Новый пользователь"));
    auto *name = new QLineEdit(&d);
    name->setObjectName(QStringLiteral("NameEdit"));
    name->setMaxLength(kNameLength); // typed or pasted, cut at the column's length
    auto *role = roleBox(&d);
    role->setCurrentIndex(role->findData(QStringLiteral("econom"))); // the least a new user may do
    auto *code = new QLineEdit(&d);
    code->setObjectName(QStringLiteral("CodeEdit"));
    code->setEchoMode(QLineEdit::Password);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    auto *form = new QFormLayout(&d);
    form->addRow(QStringLiteral("Имя"), name);
    form->addRow(QStringLiteral("Роль"), role);
    form->addRow(QStringLiteral("Код"), code);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    d.setMinimumWidth(d.fontMetrics().horizontalAdvance(d.windowTitle()) + 160); // the title and its buttons
    // A refusal opens the window again with what was typed, where it stood
    // (shown again, a window manager would place it anew, a little lower).
    QPoint place;
    for (bool again = false;; again = true) {
        if (again)
            d.move(place);
        if (d.exec() != QDialog::Accepted)
            break;
        place = d.pos();
        if (addUser(name->text(), role->currentData().toString(), code->text()))
            break;
    }
}

void UsersWindow::codeClicked()
{
    const int id = currentId();
    if (!id)
        return;
    bool ok = false;
    const QString code = QInputDialog::getText(this, QStringLiteral("Сменить код"), QStringLiteral("Новый код:"),
                                               QLineEdit::Password, QString(), &ok);
    if (ok)
        changeCode(id, code);
}

void UsersWindow::roleClicked()
{
    const int id = currentId();
    if (!id)
        return;
    QStringList captions;
    for (const QString &r : kRoles)
        captions << Users::roleCaption(r);
    // Starts on the user's own role, so that Enter alone changes nothing.
    const int r = grid->currentRow();
    const QString user = grid->item(r, 0)->text();
    const int current = qMax(0, captions.indexOf(grid->item(r, 1) ? grid->item(r, 1)->text() : QString()));
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, QStringLiteral("Сменить роль"), QStringLiteral("Роль:"), captions, current,
                                                 false, &ok);
    if (!ok || captions.indexOf(chosen) == current)
        return;
    const QString role = kRoles.value(captions.indexOf(chosen));
    if (role == QLatin1String(Users::Administrator)
        && !Dialogs::question(QStringLiteral("Сделать пользователя %1 администратором? Администратор может всё, "
                                             "в том числе заводить пользователей и менять их коды.")
                                  .arg(user),
                              QStringLiteral("Сменить роль")))
        return;
    changeRole(id, role);
}

void UsersWindow::offClicked()
{
    const int id = currentId();
    if (!id)
        return;
    if (Dialogs::question(QStringLiteral("Отключить пользователя %1?").arg(grid->item(grid->currentRow(), 0)->text()),
                          QStringLiteral("Пользователи")))
        switchOff(id);
}

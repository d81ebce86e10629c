#include "TForm23.h"
#include "journal/OfflineUi.h"

#include "BuildStamp.h"
#include "VersionCheck.h"
#include "NewCodeDialog.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/TDataModule6.h"
#include "records/Users.h"
#include "journal/AuditUi.h"
#include "journal/TForm1.h"
#include "records/Actor.h"
#include "records/Roles.h"
#include "reports/TForm18.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QSysInfo>
#include <QTimer>
#include <QVBoxLayout>

TForm23::TForm23(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm23"));
    setWindowTitle(QStringLiteral("Авторизация"));

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setEchoMode(QLineEdit::Password);
    Edit1->setMinimumWidth(220);
    Button1 = new QPushButton(QStringLiteral("Вход"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    Button2 = Widgets::pushButton(this, "Button2", QStringLiteral("Отмена"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(5000);

    auto *lay = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("Пароль:"), this);
    lay->addWidget(label);
    lay->addWidget(Edit1);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(Button1);
    row->addWidget(Button2);
    lay->addLayout(row);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, &TForm23::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm23::Button2Click);
    connect(Timer1, &QTimer::timeout, this, &TForm23::Timer1Timer);
}

bool TForm23::event(QEvent *e)
{
    const bool r = QDialog::event(e);
    if (e->type() == QEvent::WindowActivate && !m_activatedOnce) {
        m_activatedOnce = true;
        FormActivate();
    }
    return r;
}

void TForm23::FormActivate()
{
    // the stamp first: a check that fails must not leave the title without it
    setWindowTitle(QStringLiteral("Авторизация (build: %1.%2)").arg(BuildStamp::date()).arg(BuildStamp::time()));
    // The window is as wide as its caption with the title bar's icon and
    // buttons beside it (the layout fixes the size from the field's width).
    Edit1->setMinimumWidth(qMax(220, fontMetrics().horizontalAdvance(windowTitle()) * 6 / 5 + 130));
    versionCheck(f);
}

void TForm23::Button2Click() { close(); }

void TForm23::Timer1Timer() { Dialogs::quitProgram(); }

bool TForm23::isAccessCode(const QString &x)
{
    return x == QLatin1String("63527140") || x == QLatin1String("7264");
}

bool TForm23::signIn(bool showJournal)
{
    const QString x = Edit1->text().trimmed();
    TForm1 *j = f.Form1;
    j->setShift(1);
    j->role = x;
    j->N11->setEnabled(false);

    // The database checks the code, slows down guessing (whichever program
    // asks) and ties this connection's server session to the user.
    const QString connection = f.DataModule6->connectionName();
    Users::User user;
    try {
        if (x.isEmpty())
            throw DbError(QStringLiteral("Введены неверные данные."));
        user = Users::signIn(connection, x, QSysInfo::machineHostName());
    } catch (const DbError &e) {
        Dialogs::error(e.text());
        // The next code is typed afresh, not appended to the wrong one.
        Edit1->clear();
        return false;
    }
    // A built-in code outside a demo: a personal one first, or no journal.
    if (user.mustChange) {
        NewCodeDialog d(connection, user.name, this);
        if (d.exec() != QDialog::Accepted) {
            Edit1->clear();
            return false;
        }
    }
    const bool admin = user.role == QLatin1String(Users::Administrator);
    // A built-in code keeps the role text it always had (the code itself for
    // the administrator); a personal code gives its user's role.
    j->role = admin ? (isAccessCode(x) ? x : user.role) : user.role;
    j->setRole(user.role);
    Actor::set({user.name, user.role, QSysInfo::machineHostName()});
    AuditUi::showSignedIn(f, user.name, user.role);
    OfflineUi::signedIn(f, user.id);
    applyRestrictions(user.role);
    if (showJournal)
        journalStep();
    return true;
}

void TForm23::applyRestrictions(const QString &role)
{
    using Roles::Action;
    TForm1 *j = f.Form1;
    TForm18 *r = f.Form18;
    // "off" for the rest of the run; what a role may do stays as designed
    auto allow = [&role](QObject *o, Action a) {
        if (Roles::may(role, a))
            return;
        if (auto *w = qobject_cast<QWidget *>(o))
            w->setEnabled(false);
        else if (auto *act = qobject_cast<QAction *>(o))
            act->setEnabled(false);
    };
    allow(j->Button1, Action::AddEntry);
    allow(j->Button2, Action::ChangeEntry);
    allow(j->Button3, Action::DeleteEntry);
    for (QObject *o : std::initializer_list<QObject *>{j->Button8, j->RadioButton1, j->RadioButton2, j->RadioButton3,
                                                       j->RadioButton4, j->CBox1, j->DateT, j->DBGrid2})
        allow(o, Action::BrowseDays);
    allow(j->N2, Action::Catalogues);
    // off at every attempt until a role that may is signed in
    j->N11->setEnabled(Roles::may(role, Action::Timesheets));
    allow(j->MonthOverviewItem, Action::MonthOverview);
    if (r) {
        for (QObject *o : std::initializer_list<QObject *>{r->Button1, r->Button2, r->Button4, r->Button6})
            allow(o, Action::WorkerReports);
        if (!Roles::may(role, Action::AnyProductKind)) {
            r->setProductKind(1);
            r->RadioGroup1->setEnabled(false);
        }
    }
}

void TForm23::journalStep()
{
    hide();
    f.Form1->exec();
    // The sign-in is hidden, so close() would not finish it; its finishing
    // is what ends the program.
    reject();
}

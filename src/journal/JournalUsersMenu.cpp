#include "JournalUsersMenu.h"

#include "JournalClosedMonths.h"
#include "TForm1.h"
#include "catalogues/UsersWindow.h"
#include "db/ReportConnection.h"
#include "db/TDataModule6.h"
#include "records/Users.h"
#include "reports/AuditReport.h"
#include "ui/Forms.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

namespace AuditUi {

void installUsersMenu(Forms &f)
{
    TForm1 *j = f.Form1;
    if (!j)
        return;
    auto *status = new QLabel(j);
    status->setObjectName(QStringLiteral("SignedInLabel"));
    auto *row = new QHBoxLayout;
    row->setObjectName(QStringLiteral("StatusRow"));
    row->addWidget(status);
    row->addSpacing(24);
    row->addStretch();
    if (auto *lay = qobject_cast<QVBoxLayout *>(j->layout()))
        lay->addLayout(row);

    QMenu *m = j->N11->menu();
    if (!m)
        return;
    m->addSeparator();
    QAction *close = m->addAction(QStringLiteral("Закрыть месяц…"));
    close->setObjectName(QStringLiteral("CloseMonthAction"));
    QObject::connect(close, &QAction::triggered, j, [&f]() { closeMonth(f); });
    QAction *reopen = m->addAction(QStringLiteral("Открыть месяц…"));
    reopen->setObjectName(QStringLiteral("ReopenMonthAction"));
    QObject::connect(reopen, &QAction::triggered, j, [&f]() { reopenMonth(f); });
    QAction *users = m->addAction(QStringLiteral("Пользователи"));
    users->setObjectName(QStringLiteral("UsersAction"));
    QObject::connect(users, &QAction::triggered, j, [&f, j]() {
        UsersWindow w(f.DataModule6->connectionName(), j);
        w.exec();
    });
    QAction *report = m->addAction(QStringLiteral("Журнал изменений"));
    report->setObjectName(QStringLiteral("AuditReportAction"));
    QObject::connect(report, &QAction::triggered, j, [j]() {
        AuditReport w(ReportConnection::name(), j);
        w.exec();
    });
}

void showSignedIn(Forms &f, const QString &name, const QString &role)
{
    if (!f.Form1)
        return;
    if (auto *l = f.Form1->findChild<QLabel *>(QStringLiteral("SignedInLabel")))
        l->setText(QStringLiteral("Пользователь: %1 (%2)").arg(name, Users::roleCaption(role)));
}

} // namespace AuditUi

#include "AuditUi.h"

#include "EntryHistory.h"
#include "TForm1.h"
#include "TForm25.h"
#include "catalogues/UsersWindow.h"
#include "db/ChangeListener.h"
#include "db/Dataset.h"
#include "db/DbError.h"
#include "db/ReportConnection.h"
#include "db/TDataModule6.h"
#include "records/Users.h"
#include "records/ClosedMonths.h"
#include "reports/AuditReport.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

#include <QAction>
#include <QDateEdit>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace AuditUi {
namespace {

// Disables a window's writing buttons while its date is in a closed month,
// and gives back exactly those it disabled when the month is open again (the
// role's restrictions stay). The state is read again with the window's own
// reads, on a new date, and when another workstation closes or reopens the
// month. A state that cannot be read (the connection down) leaves the window
// as it was and says nothing: the window's own read tells the user.
class ClosedMarker : public QObject {
public:
    ClosedMarker(QWidget *window, QDateEdit *date, QList<QPushButton *> buttons, QLabel *label, const QString &conn,
                 ChangeListener *changes)
        : QObject(window), m_window(window), m_date(date), m_buttons(std::move(buttons)), m_label(label), m_conn(conn)
    {
        setObjectName(QStringLiteral("ClosedMonthMarker"));
        window->installEventFilter(this);
        connect(date, &QDateEdit::dateChanged, this, [this]() {
            if (m_window->isVisible())
                refresh();
        });
        if (changes) {
            connect(changes, &ChangeListener::changed, this, [this](const ChangeNotice::Change &c) {
                const QDate d = m_date->date();
                if (c.table == ChangeNotice::Table::Months && ChangeNotice::touchesMonth(c, d.year(), d.month())
                    && m_window->isVisible())
                    refresh();
            });
            connect(changes, &ChangeListener::reconnected, this, [this]() {
                if (m_window->isVisible())
                    refresh();
            });
        }
    }

    // Never throws.
    void refresh()
    {
        const QDate d = m_date->date();
        bool closed = false;
        try {
            closed = ClosedMonths::isClosed(m_conn, d);
        } catch (const DbError &) {
            return;
        }
        m_label->setText(closed ? ClosedMonths::refusalText(d.year(), d.month()) : QString());
        m_label->setVisible(closed);
        for (QPushButton *b : m_buttons) {
            if (closed && b->isEnabled()) {
                b->setEnabled(false);
                m_disabled << b;
            } else if (!closed && m_disabled.contains(b)) {
                b->setEnabled(true);
                m_disabled.removeAll(b);
            }
        }
    }

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o == m_window && e->type() == QEvent::Show)
            refresh();
        return QObject::eventFilter(o, e);
    }

private:
    QWidget *m_window;
    QDateEdit *m_date;
    QList<QPushButton *> m_buttons;
    QList<QPushButton *> m_disabled;
    QLabel *m_label;
    QString m_conn;
};

QLabel *closedLabel(QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QStringLiteral("ClosedMonthLabel"));
    l->setStyleSheet(QStringLiteral("QLabel { color: rgb(255,0,0); font-weight: bold; }"));
    l->hide();
    return l;
}

ClosedMarker *marker(QWidget *w)
{
    if (!w)
        return nullptr;
    return dynamic_cast<ClosedMarker *>(w->findChild<QObject *>(QStringLiteral("ClosedMonthMarker"), Qt::FindDirectChildrenOnly));
}

} // namespace

void install(Forms &f)
{
    const QString conn = f.DataModule6->connectionName();
    TForm1 *j = f.Form1;
    if (j) {
        auto *status = new QLabel(j);
        status->setObjectName(QStringLiteral("SignedInLabel"));
        auto *closed = closedLabel(j);
        auto *history = new QPushButton(QStringLiteral("История"), j);
        history->setObjectName(QStringLiteral("HistoryButton"));
        history->setAutoDefault(false);
        QObject::connect(history, &QPushButton::clicked, j, [&f]() { showHistory(f); });
        auto *row = new QHBoxLayout;
        row->addWidget(status);
        row->addSpacing(24);
        row->addWidget(closed);
        row->addStretch();
        row->addWidget(history);
        if (auto *lay = qobject_cast<QVBoxLayout *>(j->layout()))
            lay->addLayout(row);
        auto *jm = new ClosedMarker(j, j->DateT, {j->Button1, j->Button2, j->Button3}, closed, conn, f.DataModule6->Changes);
        QObject::connect(j, &TForm1::journalRead, jm, &ClosedMarker::refresh);

        if (QMenu *m = j->N11->menu()) {
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
    }
    TForm25 *h = f.Form25;
    if (h) {
        auto *closed = closedLabel(h);
        if (auto *lay = qobject_cast<QBoxLayout *>(h->layout()))
            lay->addWidget(closed);
        auto *hm = new ClosedMarker(h, h->DTPcker1, {h->Button5, h->Button6, h->Button7}, closed, conn, f.DataModule6->Changes);
        QObject::connect(h, &TForm25::listRead, hm, &ClosedMarker::refresh);
    }
}

void showSignedIn(Forms &f, const QString &name, const QString &role)
{
    if (!f.Form1)
        return;
    if (auto *l = f.Form1->findChild<QLabel *>(QStringLiteral("SignedInLabel")))
        l->setText(QStringLiteral("Пользователь: %1 (%2)").arg(name, Users::roleCaption(role)));
}

void refreshClosedState(Forms &f)
{
    if (ClosedMarker *m = marker(f.Form1))
        m->refresh();
    if (ClosedMarker *m = marker(f.Form25))
        m->refresh();
}

static void changeMonth(Forms &f, bool close)
{
    const QDate d = f.Form1->date();
    const QString month = ClosedMonths::monthName(d.year(), d.month());
    const QString conn = f.DataModule6->connectionName();
    const bool closed = ClosedMonths::isClosed(conn, d);
    if (close && closed) {
        Dialogs::information(QStringLiteral("Месяц %1 уже закрыт.").arg(month), QStringLiteral("Закрытие месяца"));
        return;
    }
    if (!close && !closed) {
        Dialogs::information(QStringLiteral("Месяц %1 не закрыт.").arg(month), QStringLiteral("Открытие месяца"));
        return;
    }
    const QString q = close ? QStringLiteral("Закрыть месяц %1? После закрытия его записи и табель изменить нельзя.").arg(month)
                            : QStringLiteral("Открыть месяц %1 для изменений?").arg(month);
    if (!Dialogs::question(q, close ? QStringLiteral("Закрытие месяца") : QStringLiteral("Открытие месяца")))
        return;
    if (close)
        ClosedMonths::close(conn, d.year(), d.month());
    else
        ClosedMonths::reopen(conn, d.year(), d.month());
    refreshClosedState(f);
}

void closeMonth(Forms &f) { changeMonth(f, true); }
void reopenMonth(Forms &f) { changeMonth(f, false); }

void showHistory(Forms &f)
{
    Dataset *q = f.Form1->journal();
    if (q->isEmpty())
        return;
    EntryHistory w(f.Form1);
    w.load(f.DataModule6->connectionName(), QStringLiteral("smena"), q->asInt(QStringLiteral("id")));
    w.exec();
}

} // namespace AuditUi

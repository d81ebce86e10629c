#include "JournalClosedMonths.h"

#include "TForm1.h"
#include "TForm25.h"
#include "db/ChangeListener.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "records/ClosedMonths.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

#include <QBoxLayout>
#include <QDateEdit>
#include <QEvent>
#include <QLabel>
#include <QPushButton>

namespace AuditUi {
namespace {

// Disables a window's writing buttons while its date is in a closed month,
// and gives back exactly those it disabled when the month is open again (the
// role's restrictions stay). A state that cannot be read (the connection
// down) leaves the window as it was and says nothing: the window's own read
// tells the user.
class ClosedMarker : public QObject {
public:
    ClosedMarker(QWidget *window, QList<QPushButton *> buttons, QLabel *label)
        : QObject(window), m_buttons(std::move(buttons)), m_label(label)
    {
        setObjectName(QStringLiteral("ClosedMonthMarker"));
    }

    // `text`: the database's refusal text of the month, shown while closed.
    void show(bool closed, const QString &text)
    {
        m_label->setText(closed ? text : QString());
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

    // How the marker learns the state again (never throws).
    std::function<void()> refresh;

private:
    QList<QPushButton *> m_buttons;
    QList<QPushButton *> m_disabled;
    QLabel *m_label;
};

// The housekeeping list reads its month's state on its own: on its reads, on
// a new date, and when another workstation closes or reopens the month.
class ListWatch : public QObject {
public:
    ListWatch(TForm25 *list, ClosedMarker *marker, const QString &conn, ChangeListener *changes)
        : QObject(list), m_list(list), m_marker(marker), m_conn(conn)
    {
        list->installEventFilter(this);
        connect(list->DTPcker1, &QDateEdit::dateChanged, this, [this]() {
            if (m_list->isVisible())
                refresh();
        });
        if (changes) {
            connect(changes, &ChangeListener::changed, this, [this](const ChangeNotice::Change &c) {
                const QDate d = m_list->listDate();
                if (c.table == ChangeNotice::Table::Months && ChangeNotice::touchesMonth(c, d.year(), d.month())
                    && m_list->isVisible())
                    refresh();
            });
            connect(changes, &ChangeListener::reconnected, this, [this]() {
                if (m_list->isVisible())
                    refresh();
            });
        }
    }
    void refresh()
    {
        const QDate d = m_list->listDate();
        try {
            const ClosedMonths::State s = ClosedMonths::state(m_conn, d.year(), d.month());
            m_marker->show(s.closed, s.text);
        } catch (const DbError &) {
        }
    }

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o == m_list && e->type() == QEvent::Show)
            refresh();
        return QObject::eventFilter(o, e);
    }

private:
    TForm25 *m_list;
    ClosedMarker *m_marker;
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

void installClosedMarks(Forms &f)
{
    const QString conn = f.DataModule6->connectionName();
    if (TForm1 *j = f.Form1) {
        // the label goes into the status line the users' menu made, or below the grid
        QLabel *closed = closedLabel(j);
        if (auto *row = j->findChild<QHBoxLayout *>(QStringLiteral("StatusRow")))
            row->insertWidget(2, closed);
        else if (auto *lay = qobject_cast<QBoxLayout *>(j->layout()))
            lay->addWidget(closed);
        auto *m = new ClosedMarker(j, {j->Button1, j->Button2, j->Button3}, closed);
        // the state comes with every read of the day, in the same trip
        // read again as "Обновить" does: the rows stay where they were
        m->refresh = [j]() {
            try {
                j->Button8Click();
            } catch (const DbError &) {
            }
        };
        QObject::connect(j, &TForm1::journalRead, m, [j, m]() { m->show(j->monthClosed(), j->monthClosedText()); });
    }
    if (TForm25 *h = f.Form25) {
        QLabel *closed = closedLabel(h);
        if (auto *lay = qobject_cast<QBoxLayout *>(h->layout()))
            lay->addWidget(closed);
        auto *m = new ClosedMarker(h, {h->Button5, h->Button6, h->Button7}, closed);
        auto *watch = new ListWatch(h, m, conn, f.DataModule6->Changes);
        m->refresh = [watch]() { watch->refresh(); };
        QObject::connect(h, &TForm25::listRead, watch, &ListWatch::refresh);
    }
}

void refreshClosedState(Forms &f)
{
    for (QWidget *w : {static_cast<QWidget *>(f.Form1), static_cast<QWidget *>(f.Form25)})
        if (ClosedMarker *m = marker(w))
            if (m->refresh && w->isVisible())
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

} // namespace AuditUi

#include "OfflineUi.h"

#include "AuditUi.h"
#include "TForm1.h"
#include "QueuedRows.h"
#include "UnsentWindow.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/TDataModule6.h"
#include "records/OfflineQueue.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/LiveRefresh.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

namespace OfflineUi {
namespace {

struct State {
    Forms *f = nullptr;
    std::unique_ptr<OfflineQueue> queue;
    bool down = false;
    bool held = false; // the user declined the offer at the start: sent on "Обновить"
    bool sending = false;
    QPointer<QTimer> timer;
    QPointer<QLabel> label;
    QPointer<QPushButton> unsent;
    QPointer<QueuedRows> rows;
};
State g;

const char *const kStoredText = "Нет связи с сервером: позиции из базы не изменить и не удалить, пока связь не вернётся.";

QString connectionOf(Forms &f) { return f.DataModule6->connectionName(); }

void showRows()
{
    if (g.rows && g.f && g.f->Form1)
        g.rows->showFor(g.queue.get(), g.f->Form1->date(), g.f->Form1->shift);
}

void show()
{
    showRows();
    const QString text = statusText();
    if (g.label) {
        g.label->setText(text);
        g.label->setVisible(!text.isEmpty());
    }
    if (g.unsent) {
        const int refused = g.queue ? g.queue->refusedCount() : 0;
        g.unsent->setText(QStringLiteral("Не отправлено (%1)").arg(refused));
        g.unsent->setVisible(refused > 0);
    }
    if (g.f && g.f->Form1) {
        TForm1 *j = g.f->Form1;
        // Stored entries cannot be changed or deleted without a server; the buttons say why.
        for (QPushButton *b : {j->Button2, j->Button3}) {
            if (g.down) {
                b->setEnabled(false);
                b->setToolTip(QString::fromUtf8(kStoredText));
            } else if (b->toolTip() == QString::fromUtf8(kStoredText)) {
                b->setToolTip(QString());
                b->setEnabled(true);
            }
        }
    }
    if (g.timer) {
        const bool watch = g.down || (g.queue && !g.held && g.queue->waiting() > 0);
        if (watch && !g.timer->isActive())
            g.timer->start();
        else if (!watch)
            g.timer->stop();
    }
}

void wentDown()
{
    g.down = true;
    show();
}

// Sends what waits when a server answers now.
bool trySend(Forms &f, bool quietly)
{
    if (g.sending || DbSession::anyTransaction())
        return !g.down;
    const QString conn = connectionOf(f);
    if (!DbSession::probe(conn)) {
        wentDown();
        return false;
    }
    const bool wasDown = g.down;
    g.down = false;
    if (wasDown) {
        try {
            AuditUi::refreshClosedState(f); // the buttons as the shown month allows
        } catch (const DbError &) {
        }
    }
    if (!g.queue || g.queue->waiting() == 0 || (quietly && g.held)) {
        show();
        return true;
    }
    g.sending = true;
    const OfflineQueue::Sending s = g.queue->send(conn);
    g.sending = false;
    if (s.lost)
        g.down = true;
    show();
    if ((s.stored > 0 || s.refused > 0) && f.Form1 && f.Form1->live)
        f.Form1->live->request();
    return !s.lost;
}

} // namespace

void install(Forms &f)
{
    g.f = &f;
    TForm1 *j = f.Form1;
    if (!j)
        return;
    g.label = new QLabel(j);
    g.label->setObjectName(QStringLiteral("OfflineLabel"));
    g.label->setStyleSheet(QStringLiteral("QLabel { color: rgb(160,0,0); font-weight: bold; }"));
    g.label->hide();
    g.unsent = new QPushButton(j);
    g.unsent->setObjectName(QStringLiteral("UnsentButton"));
    g.unsent->setAutoDefault(false);
    g.unsent->hide();
    QObject::connect(g.unsent, &QPushButton::clicked, j, [&f]() {
        if (!g.queue)
            return;
        UnsentWindow w(*g.queue, connectionOf(f), f.mainWindow);
        w.exec();
        show();
        if (f.Form1 && f.Form1->live)
            f.Form1->live->request();
    });
    auto *row = new QHBoxLayout;
    row->addWidget(g.label);
    row->addStretch();
    row->addWidget(g.unsent);
    if (auto *lay = qobject_cast<QVBoxLayout *>(j->layout()))
        lay->addLayout(row);
    // the queued entries of the day under the journal's grid
    g.rows = new QueuedRows(j);
    if (auto *lay = qobject_cast<QVBoxLayout *>(j->layout()))
        lay->insertWidget(lay->indexOf(j->DBGrid2) + 1, g.rows);
    QObject::connect(g.rows.data(), &QueuedRows::changed, j, []() { show(); });
    QObject::connect(j, &TForm1::journalRead, g.rows.data(), []() { showRows(); });
    QObject::connect(j->DateT, &QDateEdit::dateChanged, g.rows.data(), []() { showRows(); });
    for (QRadioButton *r : {j->RadioButton1, j->RadioButton2, j->RadioButton3, j->RadioButton4})
        QObject::connect(r, &QRadioButton::toggled, g.rows.data(), [](bool on) {
            if (on)
                showRows();
        });
    // the queue's file is closed with the journal, before the application ends
    QObject::connect(j, &QObject::destroyed, []() {
        g.queue.reset();
        g.f = nullptr;
        g.down = false;
    });
    g.timer = new QTimer(j);
    g.timer->setObjectName(QStringLiteral("OfflineTimer"));
    g.timer->setInterval(5000);
    QObject::connect(g.timer, &QTimer::timeout, j, [&f]() { trySend(f, true); });
}

void signedIn(Forms &f, int userId)
{
    g.f = &f;
    g.down = false;
    g.held = false;
    g.queue = std::make_unique<OfflineQueue>(OfflineQueue::databaseOf(connectionOf(f)), userId);
    if (!g.queue->isOpen()) {
        Dialogs::error(g.queue->error());
        g.queue.reset();
        show();
        return;
    }
    const int waiting = g.queue->waiting();
    if (waiting > 0) {
        if (Dialogs::question(QStringLiteral("Отправить %1 записей?").arg(waiting), QStringLiteral("Записи без связи")))
            trySend(f, false);
        else
            g.held = true;
    }
    show();
}

void reset()
{
    g.queue.reset();
    g.down = false;
    g.held = false;
    show();
}

namespace {
// A save while a server answers; else, for a new entry, its place in the queue.
Outcome saveOrQueue(Forms &f, qint64 id, const std::function<Outcome()> &online, const std::function<Outcome()> &enqueue,
                    bool *queued)
{
    *queued = false;
    if (!g.down) {
        const Outcome o = online();
        if (o.ok() || o.kind != Outcome::Refused || DbSession::probe(connectionOf(f)))
            return o;
    }
    if (!g.queue)
        return Outcome::refused(Outcome::Refused,
                                QStringLiteral("Нет связи с сервером. Без связи записывает только пользователь, вошедший при связи."));
    if (id != 0) {
        wentDown();
        return Outcome::refused(Outcome::Refused, QString::fromUtf8(kStoredText));
    }
    const Outcome o = enqueue();
    if (o.ok())
        *queued = true;
    wentDown();
    return o;
}
} // namespace

Outcome saveEntry(Forms &f, const Entries::Entry &e, const QString &label, const QString &price,
                  const std::function<Outcome()> &online, bool *queued)
{
    return saveOrQueue(
        f, e.id, online,
        [&]() { return g.queue->add(e, label, price.startsWith(QStringLiteral("≈")) ? price.mid(2) : price); }, queued);
}

Outcome saveHousekeeping(Forms &f, const HousekeepingEntries::Entry &e, const QString &label,
                         const std::function<Outcome()> &online, bool *queued)
{
    return saveOrQueue(f, e.id, online, [&]() { return g.queue->add(e, label, QString()); }, queued);
}

bool sendNow(Forms &f)
{
    g.held = false;
    // nothing waits and no outage known: the day's own read tells whether a server answers
    if (!g.down && (!g.queue || g.queue->waiting() == 0))
        return true;
    return trySend(f, false);
}

OfflineQueue *queue() { return g.queue.get(); }
bool serverDown() { return g.down; }

QString statusText()
{
    const int waiting = g.queue ? g.queue->waiting() : 0;
    if (g.down)
        return QStringLiteral("Нет связи с сервером: %1 записей ждут отправки").arg(waiting);
    if (waiting > 0)
        return QStringLiteral("%1 записей ждут отправки").arg(waiting);
    return QString();
}

} // namespace OfflineUi

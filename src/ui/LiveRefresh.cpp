#include "LiveRefresh.h"

#include "db/Gateway.h"
#include "DatasetModel.h"
#include "Dialogs.h"
#include "Outage.h"
#include "db/ChangeListener.h"
#include "db/Dataset.h"
#include "db/DbError.h"
#include "db/DbSession.h"

#include <QApplication>
#include <QEvent>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QWidget>

LiveRefresh::LiveRefresh(QWidget *window, ChangeListener *listener, Touches touches, Reread reread)
    : QObject(window), m_window(window), m_touches(std::move(touches)), m_reread(std::move(reread)),
      m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &LiveRefresh::run);
    if (!listener)
        return;
    connect(listener, &ChangeListener::changed, this, [this](const ChangeNotice::Change &c) {
        if (m_touches(c))
            request();
    });
    connect(listener, &ChangeListener::reconnected, this, &LiveRefresh::request);
    window->installEventFilter(this);
}

LiveRefresh *LiveRefresh::forList(QWidget *window, ChangeListener *listener, QVector<ChangeNotice::Table> tables,
                                  QTableView *view, const QString &keyField)
{
    auto *live = new LiveRefresh(
        window, listener, [tables](const ChangeNotice::Change &c) { return tables.contains(c.table); },
        [view]() {
            auto *m = qobject_cast<DatasetModel *>(view->model());
            if (m && m->dataset() && m->dataset()->isOpen())
                m->dataset()->open(); // the filter stays
        });
    live->keepPlace(view, keyField);
    return live;
}

void LiveRefresh::keepPlace(QTableView *view, const QString &keyField) { m_places.push_back({view, keyField}); }

void LiveRefresh::request()
{
    m_pending = true;
    schedule();
}

void LiveRefresh::schedule()
{
    if (!m_pending || !m_window->isVisible() || m_timer->isActive())
        return; // a hidden window waits for its show event
    int wait = Delay;
    if (m_last.isValid())
        wait = qMax<qint64>(wait, MinInterval - m_last.elapsed());
    m_timer->start(wait);
}

bool LiveRefresh::eventFilter(QObject *o, QEvent *e)
{
    if (o == m_window && e->type() == QEvent::Show && m_pending)
        QTimer::singleShot(0, this, &LiveRefresh::schedule); // after the window's own show handling
    return QObject::eventFilter(o, e);
}

// Not under an editor or a message over the window, nor in the middle of
// another action (a transaction, or a long action running with a wait cursor).
bool LiveRefresh::blocked() const
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal != m_window)
        return true;
    if (QApplication::overrideCursor())
        return true;
    if (Gateway::anyBusy()) // a statement waits for its answer: this one would be refused
        return true;
    for (const Place &p : m_places)
        if (p.view) {
            auto *m = qobject_cast<DatasetModel *>(p.view->model());
            if (m && m->dataset() && DbSession::inTransaction(m->dataset()->connectionName()))
                return true;
        }
    return false;
}

void LiveRefresh::run()
{
    if (!m_pending || !m_window->isVisible())
        return;
    if (blocked()) {
        m_timer->start(200); // look again shortly
        return;
    }
    m_pending = false;
    m_last.start();

    try {
        ++m_rereads;
        keepingPlace(m_reread);
    } catch (const DbError &e) {
        if (Outage::isOutage(e))
            return; // no server: the status line says so, nobody asked for this read
        if (!m_errorShown) {
            m_errorShown = true;
            Dialogs::error(QStringLiteral("Не удалось перечитать данные, показаны прежние.\n") + e.text());
        }
        return;
    }
    m_errorShown = false;
    emit reread();
}

void LiveRefresh::keepingPlace(const std::function<void()> &reread)
{
    struct Saved {
        QVariant key;
        int row = 0;
        int v = 0, h = 0;
    };
    QVector<Saved> saved(m_places.size());
    for (int i = 0; i < m_places.size(); ++i) {
        const Place &p = m_places.at(i);
        auto *m = p.view ? qobject_cast<DatasetModel *>(p.view->model()) : nullptr;
        if (!m || !m->dataset())
            continue;
        saved[i] = {m->dataset()->value(p.key), m->dataset()->recNo(), p.view->verticalScrollBar()->value(),
                    p.view->horizontalScrollBar()->value()};
    }
    reread();
    for (int i = 0; i < m_places.size(); ++i) {
        const Place &p = m_places.at(i);
        auto *m = p.view ? qobject_cast<DatasetModel *>(p.view->model()) : nullptr;
        if (!m || !m->dataset() || !saved.at(i).row)
            continue;
        Dataset *ds = m->dataset();
        if (saved.at(i).key.isNull() || !ds->locate(p.key, saved.at(i).key))
            ds->setRecNo(saved.at(i).row); // gone: its neighbour
        p.view->verticalScrollBar()->setValue(saved.at(i).v);
        p.view->horizontalScrollBar()->setValue(saved.at(i).h);
        p.view->scrollTo(p.view->currentIndex()); // the kept row stays in sight
    }
}

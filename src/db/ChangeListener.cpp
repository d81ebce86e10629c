#include "ChangeListener.h"

#include "DbSession.h"

#include <QSqlDatabase>
#include <QTimer>

ChangeListener::ChangeListener(const QString &connection, QObject *parent)
    : QObject(parent), m_connection(connection), m_probe(new QTimer(this))
{
    m_probe->setInterval(3000);
    connect(m_probe, &QTimer::timeout, this, [this]() { probe(); });
    DbSession::setReopened(m_connection, [this]() { onReopened(); });
}

void ChangeListener::start()
{
    subscribe();
    m_probe->start();
}

ChangeListener::~ChangeListener()
{
    DbSession::setReopened(m_connection, {});
    QObject::disconnect(m_driverConn);
    QSqlDatabase db = DbSession::database(m_connection);
    if (db.isOpen() && db.driver())
        db.driver()->unsubscribeFromNotification(QString::fromLatin1(ChangeNotice::Channel));
}

void ChangeListener::setProbeInterval(int ms)
{
    const bool running = m_probe->isActive();
    m_probe->stop();
    if (ms > 0) {
        m_probe->setInterval(ms);
        if (running)
            m_probe->start();
    }
}

void ChangeListener::subscribe()
{
    QObject::disconnect(m_driverConn);
    m_listening = false;
    QSqlDatabase db = DbSession::database(m_connection);
    QSqlDriver *drv = db.driver();
    if (!db.isOpen() || !drv)
        return;
    const QString channel = QString::fromLatin1(ChangeNotice::Channel);
    // A reopened connection keeps its driver, which forgot the channel when it closed.
    if (drv->subscribedToNotifications().contains(channel))
        drv->unsubscribeFromNotification(channel);
    m_listening = drv->subscribeToNotification(channel);
    m_driverConn = connect(drv, &QSqlDriver::notification, this, &ChangeListener::onNotification);
}

void ChangeListener::onNotification(const QString &name, QSqlDriver::NotificationSource source, const QVariant &payload)
{
    if (source == QSqlDriver::SelfSource || name != QLatin1String(ChangeNotice::Channel))
        return;
    ChangeNotice::Change c;
    if (ChangeNotice::parse(payload.toString(), &c))
        emit changed(c);
}

void ChangeListener::onReopened()
{
    subscribe();
    // Whoever found the connection lost is in the middle of its own work:
    // the windows read again once it is done.
    QTimer::singleShot(0, this, [this]() { emit reconnected(); });
}

bool ChangeListener::probe()
{
    if (DbSession::inTransaction(m_connection))
        return true;
    const bool up = DbSession::probe(m_connection);
    if (up && !m_listening)
        subscribe();
    return up;
}

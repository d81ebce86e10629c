#include "ChangeListener.h"

#include "DbSession.h"
#include "Gateway.h"

#include <QPointer>
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
    Gateway::unlisten(m_connection, QString::fromLatin1(ChangeNotice::Channel));
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
    const QString channel = QString::fromLatin1(ChangeNotice::Channel);
    // A reopened connection listens from its opening on (the gateway sends
    // the LISTEN with the session's set-up).
    if (Gateway::listening(m_connection, channel)) {
        m_listening = true;
        return;
    }
    QPointer<ChangeListener> self(this);
    m_listening = Gateway::listen(m_connection, channel, [self](const QString &payload, bool fromSelf) {
        if (self)
            self->onNotification(payload, fromSelf);
    });
}

void ChangeListener::onNotification(const QString &payload, bool fromSelf)
{
    if (fromSelf)
        return;
    ChangeNotice::Change c;
    if (ChangeNotice::parse(payload, &c))
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
    // a statement of this connection waits for its answer: it is up
    if (DbSession::inTransaction(m_connection) || Gateway::busy(m_connection))
        return true;
    const bool up = DbSession::probe(m_connection);
    if (up && !m_listening)
        subscribe();
    return up;
}

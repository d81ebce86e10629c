#pragma once
#include "ChangeNotice.h"

#include <QObject>
#include <QString>
#include <QVariant>

class QTimer;

// Hears the change notices other workstations send on one connection. A
// notice this connection sent itself is ignored: the window that saved has
// read its rows again already. When the connection is found lost and opened
// again, it listens again and says so once (notices may have been missed
// meanwhile). An idle connection is probed now and then, so that a server
// restart is noticed before the user's next action, not after it.
class ChangeListener : public QObject {
    Q_OBJECT
public:
    explicit ChangeListener(const QString &connection, QObject *parent = nullptr);
    ~ChangeListener() override;
    // Listens from now on (the connection open), and starts the idle checks.
    void start();

    QString connectionName() const { return m_connection; }
    bool listening() const { return m_listening; }
    // How often an idle connection is checked (milliseconds; 0 switches it off).
    void setProbeInterval(int ms);
    // Checks the connection now, outside a transaction; a dropped one is
    // opened again quietly. False when it is still down.
    bool probe();

signals:
    void changed(const ChangeNotice::Change &change);
    void reconnected(); // read again whatever is shown

private:
    void subscribe();
    void onNotification(const QString &payload, bool fromSelf);
    void onReopened();
    QString m_connection;
    QTimer *m_probe;
    bool m_listening = false;
};

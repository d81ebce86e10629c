#pragma once
#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>

class DbError;

// The workstation's one view of a lost server: since when no connection
// could be opened again, and whether the user has been told. One message box
// per outage: the first action that meets it tells the user (libpq's words
// folded under "Подробности"); timers, the idle check and further actions
// only update the status line ("Нет связи с сервером с 10:14") until a
// connection is opened again.
class Outage : public QObject {
    Q_OBJECT
public:
    static Outage &instance();

    // From the connection plumbing: a lost connection opened again, or not.
    void connectionState(const QString &connection, bool up, const QString &details);

    bool down() const { return !m_down.isEmpty(); }
    QDateTime since() const { return m_since; }
    QString details() const { return m_details; }
    // "Нет связи с сервером с 10:14", or "" while connected
    QString statusText() const;

    // An error of this kind is about the outage (no server could be reached).
    static bool isOutage(const DbError &e);
    static bool isOutageText(const QString &text);

    // True once per outage: the box about it may be shown now (none is open
    // and none was shown since the outage began). The caller shows it, then
    // calls boxClosed().
    bool takeBox();
    void boxClosed() { m_boxOpen = false; }
    bool boxOpen() const { return m_boxOpen; }

    // For tests: forget everything.
    void reset();

signals:
    void changed(); // down, up, or since when

private:
    QSet<QString> m_down;
    QDateTime m_since;
    QString m_details;
    bool m_told = false;
    bool m_boxOpen = false;
};

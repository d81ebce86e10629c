#include "Outage.h"

#include "db/DbError.h"
#include "db/DbSession.h"

#include <QLocale>

Outage &Outage::instance()
{
    static Outage *o = [] {
        auto *made = new Outage;
        DbSession::setOutageWatcher(
            [made](const QString &connection, bool up, const QString &details) { made->connectionState(connection, up, details); });
        return made;
    }();
    return *o;
}

void Outage::connectionState(const QString &connection, bool up, const QString &details)
{
    const bool wasDown = down();
    if (up) {
        m_down.remove(connection);
        if (!down()) {
            m_told = false; // the next outage is a new one
            m_details.clear();
            m_since = QDateTime();
        }
    } else {
        m_down.insert(connection);
        if (!details.trimmed().isEmpty())
            m_details = details.trimmed();
        if (!wasDown)
            m_since = QDateTime::currentDateTime();
    }
    if (wasDown != down() || !up)
        emit changed();
}

QString Outage::statusText() const
{
    if (!down())
        return QString();
    return QStringLiteral("Нет связи с сервером с %1").arg(m_since.time().toString(QStringLiteral("HH:mm")));
}

bool Outage::isOutageText(const QString &text) { return text.contains(QString::fromUtf8(DbSession::OfflineText)); }

bool Outage::isOutage(const DbError &e) { return isOutageText(e.text()); }

bool Outage::takeBox()
{
    if (m_boxOpen || (down() && m_told))
        return false;
    m_told = down(); // with no outage seen by the plumbing, each message stands alone
    m_boxOpen = true;
    return true;
}

void Outage::reset()
{
    m_down.clear();
    m_since = QDateTime();
    m_details.clear();
    m_told = false;
    m_boxOpen = false;
    emit changed();
}

#include "ReportConnection.h"

#include "DbError.h"
#include "DbSession.h"
#include "Gateway.h"
#include "TDataModule6.h"


namespace ReportConnection {

namespace {
struct Settings {
    QString host;
    int port = 5432;
    QString database, user, password, options;
};
Settings g_settings;
bool g_opened = false;

void openWith(const Settings &s)
{
    // never a write by mistake when it landed on the primary; a report reads
    // a month's rows and may take the long limit
    TDataModule6::openPostgres(QString::fromLatin1(Name), s.host, s.port, s.database, s.user, s.password, s.options,
                               QStringLiteral("SET default_transaction_read_only TO on"), true);
}
} // namespace

void open(const QString &host, int port, const QString &database, const QString &user,
          const QString &password, const QString &options)
{
    g_settings = {host, port, database, user, password, options};
    openWith(g_settings);
    g_opened = true;
    DbSession::setReopen(QString::fromLatin1(Name), []() { openWith(g_settings); });
}

void close()
{
    if (!g_opened)
        return;
    g_opened = false;
    DbSession::forget(QString::fromLatin1(Name));
    Gateway::forget(QString::fromLatin1(Name));
}

bool isOpen() { return g_opened; }

QString name() { return g_opened ? QString::fromLatin1(Name) : QString::fromLatin1(TDataModule6::ConnectionName); }

QDateTime dataTime(int toleratedSeconds)
{
    if (!g_opened)
        return {};
    // All it received replayed: as current as the standby can know. Otherwise
    // its data stands at the last transaction it replayed.
    Rows q;
    try {
        q = DbSession::execBound(QString::fromLatin1(Name),
                                 QStringLiteral("select pg_last_xact_replay_timestamp() from (select 1) one "
                                                "where pg_is_in_recovery() "
                                                "and pg_last_wal_receive_lsn() is distinct from pg_last_wal_replay_lsn() "
                                                "and pg_last_xact_replay_timestamp() < now() - make_interval(secs => ?)"),
                                 {toleratedSeconds}, DbSession::Retry::Read);
    } catch (const DbError &) {
        return {}; // the report itself says what is wrong with the connection
    }
    if (!q.next() || q.value(0).isNull())
        return {};
    return q.value(0).toDateTime().toLocalTime();
}

QString lagText(int toleratedSeconds)
{
    const QDateTime t = dataTime(toleratedSeconds);
    return t.isValid() ? QStringLiteral("данные на ") + t.toString(QStringLiteral("HH:mm:ss")) : QString();
}

} // namespace ReportConnection

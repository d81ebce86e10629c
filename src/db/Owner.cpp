#include "Owner.h"

#include "DbError.h"
#include "DbSession.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>

namespace Owner {

const char *const Role = "tabel_owner";
const char *const Service = "tabel_owner";

namespace {
const char *const kConnection = "tabel_owner_maintenance";

// Whether the libpq service file defines the owner's service.
bool serviceDefined()
{
    QString path = qEnvironmentVariable("PGSERVICEFILE");
    if (path.isEmpty())
        path = QDir::homePath() + QStringLiteral("/.pg_service.conf");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QByteArray header = QByteArray("[") + Service + "]";
    while (!f.atEnd())
        if (f.readLine().trimmed() == header)
            return true;
    return false;
}
} // namespace

QString open(const QString &like)
{
    const QString name = QString::fromLatin1(kConnection);
    if (QSqlDatabase::contains(name) && QSqlDatabase::database(name, false).isOpen())
        return name;
    const QSqlDatabase base = DbSession::database(like);
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(base.hostName());
    db.setPort(base.port());
    db.setDatabaseName(base.databaseName());
    QString options = base.connectOptions();
    if (serviceDefined()) {
        options += (options.isEmpty() ? QString() : QStringLiteral(";")) + QStringLiteral("service=") + QLatin1String(Service);
        // the service names the role; a user set here would override it
        db.setUserName(QString());
    } else {
        db.setUserName(QString::fromLatin1(Role));
    }
    db.setConnectOptions(options);
    db.setPassword(QString());
    if (!db.open())
        throw DbError(QStringLiteral("Нет входа владельца базы (%1): %2\n"
                                     "Для обслуживания базы укажите его пароль в службе libpq «%3» "
                                     "(pg_service.conf) или в файле паролей (.pgpass).")
                          .arg(QLatin1String(Role), db.lastError().databaseText().trimmed(), QLatin1String(Service)));
    return name;
}

void close()
{
    const QString name = QString::fromLatin1(kConnection);
    if (!QSqlDatabase::contains(name))
        return;
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
}

} // namespace Owner

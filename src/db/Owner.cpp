#include "Owner.h"

#include "DbError.h"
#include "DbSession.h"
#include "Gateway.h"

#include <QDir>
#include <QFile>

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
    if (Gateway::owns(name) && Gateway::isOpen(name))
        return name;
    Gateway::Settings s = Gateway::settings(like);
    if (serviceDefined()) {
        s.options += (s.options.isEmpty() ? QString() : QStringLiteral(";")) + QStringLiteral("service=") + QLatin1String(Service);
        // the service names the role; a user set here would override it
        s.user.clear();
    } else {
        s.user = QString::fromLatin1(Role);
    }
    s.password.clear();
    try {
        // maintenance runs long statements (a structure upgrade)
        Gateway::open(name, s, QString(), true);
    } catch (const DbError &e) {
        Gateway::forget(name);
        throw DbError(QStringLiteral("Нет входа владельца базы (%1): %2\n"
                                     "Для обслуживания базы укажите его пароль в службе libpq «%3» "
                                     "(pg_service.conf) или в файле паролей (.pgpass).")
                          .arg(QLatin1String(Role), e.text(), QLatin1String(Service)));
    }
    return name;
}

void close()
{
    Gateway::forget(QString::fromLatin1(kConnection));
}

} // namespace Owner

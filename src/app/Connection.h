#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

// Connection settings taken from the command line.
namespace Connection {

constexpr const char *DefaultDatabase = "orvel_erp";
constexpr const char *DefaultServer = "localhost";

// The ODBC connection string for the given database and server arguments.
QString connectionString(const QStringList &positionalArgs);
// KEY=value pairs of a connection string; keys upper-cased.
QMap<QString, QString> parse(const QString &connectionString);

struct Settings {
    QString host;
    int port = 5432;
    QString database;
    QString user;
    QString password;
    QString options; // libpq options such as sslmode
};
Settings settingsFrom(const QString &connectionString);

// What the site provides through libpq's own means wins over the built-in
// values: a password file (PGPASSFILE, else ~/.pgpass) with a line for this
// server, database and user, or a service (PGSERVICE) leaves the password to
// libpq; PGSSLMODE replaces the built-in sslmode. `environment` and `home`
// stand for the process's environment and home folder.
Settings withSiteSettings(Settings s, const QMap<QString, QString> &environment, const QString &home);
Settings withSiteSettings(const Settings &s); // the process's own environment

} // namespace Connection

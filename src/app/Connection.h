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

} // namespace Connection

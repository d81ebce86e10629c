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
    // Further libpq keywords: the choice among several servers, or the
    // keywords of a server given as a libpq connection string. Placed after
    // `options`, so the site's own text wins.
    QString more;
    bool severalServers = false;
    // What the connection is opened with: options and more, ";"-separated.
    QString connectOptions() const;
};
// SERVER may be a host name, a socket folder, several of these separated by
// commas ("db1,db2": whichever accepts writes is used), or a libpq connection
// string of keyword=value pairs ("host=db1,db2 target_session_attrs=read-write",
// "service=tabel"), or a libpq URI ("postgres://db1:5432,db2:5432/erp?…", as
// pg_autoctl show uri prints it; its database and user are left out).
Settings settingsFrom(const QString &connectionString);

// The same server(s) for reading reports: a read-only connection that takes a
// standby when one answers and the primary otherwise.
Settings forReports(Settings s);
// The program's own connection when its reports read from a standby: a save
// returns once the standby shows it, so a report read right after it (a
// rebuild, then its timesheet) sees it.
Settings withReportsOnStandby(Settings s);

// keyword=value pairs of a libpq connection string (values may be quoted
// with ' and escape with \); empty when the text is not one.
QMap<QString, QString> libpqPairs(const QString &text);

// What the site provides through libpq's own means wins over the built-in
// values: a password file (PGPASSFILE, else ~/.pgpass) with a line for this
// server, database and user, or a service (PGSERVICE) leaves the password to
// libpq; PGSSLMODE replaces the built-in sslmode. `environment` and `home`
// stand for the process's environment and home folder.
Settings withSiteSettings(Settings s, const QMap<QString, QString> &environment, const QString &home);
Settings withSiteSettings(const Settings &s); // the process's own environment

} // namespace Connection

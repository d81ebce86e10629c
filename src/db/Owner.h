#pragma once
#include <QString>

// The database's owner role: the schema accounts_dep, its tables, triggers
// and functions belong to it. Workstations never use it; maintenance does
// ("Структура БД", the legacy import). Its password is not the program's:
// libpq finds it in the service "tabel_owner" (pg_service.conf, PGSERVICEFILE)
// or in the password file (.pgpass, PGPASSFILE).
namespace Owner {

extern const char *const Role;    // "tabel_owner"
extern const char *const Service; // "tabel_owner"

// Opens (once) a connection as the owner to the database and server of the
// program's connection `like`; returns its name. Throws DbError with what
// to set up when it cannot.
QString open(const QString &like);
void close();

} // namespace Owner

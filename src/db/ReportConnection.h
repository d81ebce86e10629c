#pragma once
#include <QDateTime>
#include <QString>

// The second, read-only connection the reports may read through: a standby
// when one answers, else the primary. Without it (the default) every report
// reads on the program's own connection, as everything else does.
namespace ReportConnection {

constexpr const char *Name = "REPORTS";

// Opens it with libpq settings that prefer a standby; opened again with the
// same settings when the server drops it. Throws DbError.
void open(const QString &host, int port, const QString &database, const QString &user,
          const QString &password, const QString &options);
void close();
bool isOpen();

// The connection the report windows read on: this one once opened, else the
// program's own.
QString name();

// When the reports' server is a standby whose data is more than
// `toleratedSeconds` behind its primary: the time (local) its data stands
// at. Null when it is a primary, caught up, or the connection is not open.
QDateTime dataTime(int toleratedSeconds = 5);
// "данные на HH:MM:SS" for dataTime(), or empty.
QString lagText(int toleratedSeconds = 5);

} // namespace ReportConnection

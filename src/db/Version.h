#pragma once
#include <QString>
class TDataModule6;

// Compares this build's stamp with the version row of accounts_dep.ver.
// The row is the owner's: "Структура БД" (and a new schema's installation)
// moves it, never a workstation, so the program's login cannot end every
// copy by writing a later stamp.
enum class VersionVerdict {
    Same,  // equal stamp, or no row yet
    Newer, // this build is newer than the database was upgraded for: it runs, stamping nothing
    Older, // the database was upgraded for a newer build: this copy ends
};

// Reads delim into the data module's decimal delimiter and compares. Writes
// nothing. Throws DbError.
VersionVerdict checkVersionRow(TDataModule6 &dm, int buildDate, int buildTime);

// Moves the version row to this build when it is newer (inserting the row
// into an empty table), on a connection of the schema's owner. Throws DbError.
void stampVersionRow(const QString &ownerConnection, int buildDate, int buildTime);

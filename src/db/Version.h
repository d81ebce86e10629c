#pragma once
class TDataModule6;

// Compares this build's stamp with the version row of accounts_dep.ver.
enum class VersionVerdict {
    Same,    // equal stamp: nothing written
    Stamped, // this build is newer (or the table was empty): the row now holds it
    Older,   // a newer build has run against this database
};

// Reads delim into the data module's decimal delimiter, stamps a newer build,
// inserts the first row into an empty table. Throws DbError.
VersionVerdict checkVersionRow(TDataModule6 &dm, int buildDate, int buildTime);

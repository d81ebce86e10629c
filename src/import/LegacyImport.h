#pragma once
#include <QString>
#include <functional>

// Copies the legacy desktop database (ODBC data source "Tabel", connection
// MSA) table by table into the accounts_dep tables, reached through the ODBC
// data source "Tabel_PgSQL" (connection PGSQL). Each destination is emptied
// (rows with id > 0) and refilled; every statement commits on its own, so a
// step that fails leaves the earlier steps complete.
//
// Unlike the old program it also
// - imports a legacy DATA that carries a time of day as its date, and
// - moves each destination's key counter past the highest id it holds after
//   its step, so entries keyed in afterwards do not collide with imported ids;
// - judges the legacy entries by the limits the database holds every entry
//   to (quantity, defects, hours, a worker's day, colour) before anything is
//   emptied, and does not start when one is out of them, naming each such
//   entry. Their prices are imported as they are: they are history.
class LegacyImport {
public:
    static constexpr const char *kLegacyConnection = "MSA";
    static constexpr const char *kPgConnection = "PGSQL";
    static constexpr const char *kLegacySource = "Tabel";
    static constexpr const char *kPgSource = "Tabel_PgSQL";

    struct Progress {
        int step = 0;        // 1-based
        int steps = 0;
        QString legacyTable; // e.g. "H_TABEL"
        QString destination; // e.g. "accounts_dep.h_tabel"
        int copied = 0;      // rows of this step written so far
        int total = 0;       // rows of the legacy table
    };
    using ProgressFn = std::function<void(const Progress &)>;

    // Opens MSA and PGSQL (reused when still open). Throws DbError.
    static void connect();
    // Runs the seven steps in order; `progress` is called when a step starts
    // and after every row. Throws DbError, with what was done said in it.
    static void run(const ProgressFn &progress);
    static int stepCount();
};

#pragma once
#include <QByteArrayList>

// A test that needs servers of its own (a standby pair, a pg_auto_failover
// formation, a cluster whose WAL is archived) starts again as the command of
// the script that makes them: scripts/<script> <options…> --create-db
// tabel_template <this program> <its arguments>. Returns only on failure.
[[noreturn]] void runUnder(const char *script, const QByteArrayList &options, int argc, char *argv[]);

#pragma once
#include "db/ChangeNotice.h"
#include "db/Transaction.h"

// A catalogue write and the notice that tells the other workstations about
// it, committed together: the notice goes out only with the change.
template <class Write> void writeAnnounced(const QString &connection, ChangeNotice::Table table, Write &&write)
{
    Transaction tx(connection);
    write();
    ChangeNotice::Change c;
    c.table = table;
    ChangeNotice::send(connection, c);
    tx.commit();
}

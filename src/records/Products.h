#pragma once
#include "Outcome.h"

#include <QString>

// Products (cmn_gds_and_srv.gds_and_srv) and what hangs on them.
namespace Products {

// What the user agreed to remove; every question is asked before this runs,
// so nothing is held locked while one is open.
struct Removal {
    qint64 product = 0;
    bool operations = false; // the product's operations
    bool entries = false;    // the product's journal entries, their hours taken out of the timesheet
    bool itself = false;     // the product's own row
};

// One call of the database's write function, one transaction. The months of
// the product's entries are locked whole (a product may span years of many
// workers, more worker locks than the server keeps), all in one call; an
// entry saved meanwhile in a month not yet locked makes the locking start
// over with that month included.
Outcome remove(const QString &connection, const Removal &r);

} // namespace Products

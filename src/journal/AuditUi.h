#pragma once
#include "JournalClosedMonths.h"
#include "JournalHistory.h"
#include "JournalUsersMenu.h"

struct Forms;

// What the journal and the housekeeping list gain from users, the audit trail
// and closed months, kept apart from the windows themselves: closed months
// (JournalClosedMonths), the users' status line and menu (JournalUsersMenu),
// an entry's history (JournalHistory).
namespace AuditUi {

// All of the above, once, after the windows are created.
void install(Forms &f);

} // namespace AuditUi

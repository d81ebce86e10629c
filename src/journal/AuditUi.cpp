#include "AuditUi.h"

namespace AuditUi {

void install(Forms &f)
{
    // the status line first: the history button and the closed-month label join it
    installUsersMenu(f);
    installHistory(f);
    installClosedMarks(f);
}

} // namespace AuditUi

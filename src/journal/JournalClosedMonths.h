#pragma once
#include <QString>

struct Forms;

// Closed months as the journal and the housekeeping list show them:
// "Добавить", "Изменить", "Удалить" off and the database's refusal text in
// red while the date shown is in a closed month; closing and reopening the
// journal's month (menu "Табель").
namespace AuditUi {

// Adds the markers to both windows; once, after they are created. The
// journal's marker follows the month's state the journal reads with its
// day; the housekeeping list's reads it with its list.
void installClosedMarks(Forms &f);

// Re-checks whether the shown dates are in a closed month (both windows).
void refreshClosedState(Forms &f);

// Closing / reopening the month of the journal's date: question first.
void closeMonth(Forms &f);
void reopenMonth(Forms &f);

} // namespace AuditUi

#pragma once
#include <QString>

struct Forms;

// What the journal and the housekeeping list gain from users, the audit trail
// and closed months: who is signed in (status line), "История" of an entry,
// closing and reopening a month and the users window (menu "Табель"), and
// "Добавить", "Изменить", "Удалить" disabled while the date shown is in a
// closed month. Kept apart from the windows themselves.
namespace AuditUi {

// Adds the controls to the journal and the housekeeping list; once, after
// they are created.
void install(Forms &f);

// The journal's status line: who is signed in.
void showSignedIn(Forms &f, const QString &name, const QString &role);

// Re-checks whether the shown dates are in a closed month (both windows).
void refreshClosedState(Forms &f);

// Closing / reopening the month of the journal's date: question first.
void closeMonth(Forms &f);
void reopenMonth(Forms &f);

// The history of the journal's selected entry.
void showHistory(Forms &f);

} // namespace AuditUi

#pragma once

struct Forms;

// "История" of the journal's selected entry.
namespace AuditUi {

// The button beside the journal's status line; once, after installUsersMenu.
void installHistory(Forms &f);

// The history of the journal's selected entry (nothing on an empty list).
void showHistory(Forms &f);

} // namespace AuditUi

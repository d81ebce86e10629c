#pragma once
#include <QString>

struct Forms;

// Users in the journal: who is signed in (status line), and the menu
// "Табель" items for the month's closing, the users window and the audit
// report.
namespace AuditUi {

// The status line and the menu items; once, after the journal is created.
void installUsersMenu(Forms &f);

// The journal's status line: who is signed in, and the role's name.
void showSignedIn(Forms &f, const QString &name, const QString &role);

} // namespace AuditUi

#pragma once
#include <QString>

// What each role may do, in one table. The database's write functions check
// the same rights (write_require) for the writes; here they decide which
// controls a role gets, so a user never meets a refusal the window could
// have spared.
namespace Roles {

enum class Role { Administrator, Masters, Econom, Sklad };

enum class Action {
    AddEntry,       // "Добавить" in the journal
    ChangeEntry,    // "Изменить"
    DeleteEntry,    // "Удалить"
    MarkEntry,      // the closing mark (double-click)
    BrowseDays,     // another day or shift, "Обновить", the journal's grid
    Catalogues,     // menu "Справочники"
    Timesheets,     // menu "Табель"
    WorkerReports,  // the summary reports by worker and product, and their export
    MonthOverview,  // "Обзор месяца"
    AnyProductKind, // the product kind of the reports may be chosen
};

// A role name as the database gives it ("administrator", "masters",
// "econom", "sklad"); anything else, the administrator's access code
// included, is the administrator: the sign-in lets nothing else through.
Role fromText(const QString &role);

bool may(Role role, Action action);
inline bool may(const QString &role, Action action) { return may(fromText(role), action); }

} // namespace Roles

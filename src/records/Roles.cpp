#include "Roles.h"

namespace Roles {

Role fromText(const QString &role)
{
    if (role == QLatin1String("masters"))
        return Role::Masters;
    if (role == QLatin1String("econom"))
        return Role::Econom;
    if (role == QLatin1String("sklad"))
        return Role::Sklad;
    return Role::Administrator;
}

bool may(Role role, Action action)
{
    // administrator, masters, econom, sklad
    struct Row {
        Action action;
        bool allowed[4];
    };
    static const Row table[] = {
        {Action::AddEntry, {true, true, false, false}},
        {Action::ChangeEntry, {true, false, false, false}},
        {Action::DeleteEntry, {true, false, false, false}},
        {Action::MarkEntry, {true, false, false, true}},
        {Action::BrowseDays, {true, true, false, true}},
        {Action::Catalogues, {true, false, false, false}},
        {Action::Timesheets, {true, false, false, false}},
        {Action::WorkerReports, {true, false, true, false}},
        {Action::MonthOverview, {true, false, true, false}},
        {Action::AnyProductKind, {true, true, true, false}},
    };
    for (const Row &r : table)
        if (r.action == action)
            return r.allowed[int(role)];
    return false;
}

} // namespace Roles

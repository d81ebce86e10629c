#pragma once
#include "db/Actor.h"
#include "db/Audit.h"
#include "support/TestDb.h"

// Who the database's catalogue writes see as signed in on the program's
// connection. Where the database does not yet tie a session to its user, a
// stand-in session_who() reads the settings the program gives its session.
namespace SignedIn {

inline void installStandIn()
{
    TestDb::exec(QStringLiteral(
        "DO $$ BEGIN IF to_regprocedure('accounts_dep.session_who()') IS NULL THEN "
        "CREATE FUNCTION accounts_dep.session_who() "
        "RETURNS TABLE (user_id integer, user_name text, user_role text, workstation text) LANGUAGE sql STABLE AS $f$ "
        "SELECT 0, current_setting('tabel.user', true), current_setting('tabel.role', true), "
        "current_setting('tabel.workstation', true) WHERE coalesce(current_setting('tabel.user', true), '') <> '' $f$; "
        "END IF; END $$"));
}

// Signs the connection in as a user of `role` ("administrator", "masters",
// ...) for the rest of its session; an empty role signs it out.
inline void as(const QString &connection, const QString &role)
{
    installStandIn();
    if (role.isEmpty())
        Actor::set({QString(), QString(), QString()});
    else
        Actor::set({role == QLatin1String("administrator") ? QStringLiteral("Администратор") : role, role,
                    QStringLiteral("тест")});
    Audit::setSessionActor(connection);
    if (role.isEmpty())
        Actor::clear();
}

} // namespace SignedIn

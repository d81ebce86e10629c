#pragma once
#include <QList>
#include <QString>

// The users who sign in: a name, a role and a personal code, of which the
// database keeps only a slow salted hash and a keyed index. The four codes
// the program always had are built-in users that the administrator may
// change or switch off.
//
// Signing in is the database's (SessionTie).
namespace Users {

extern const char *const Administrator; // the role of the administrator

struct User {
    int id = 0;
    QString name;
    QString role; // administrator, masters, econom, sklad
    bool active = true;
    bool builtin = false;
    bool defaultCode = false; // still the built-in code: to be changed
    bool mustChange = false;  // signed in with a built-in code that must be changed now (signIn only)
};

// Signs in on the connection with the typed code (see SessionTie, which
// also ties the connection's later server sessions). Throws DbError.
User signIn(const QString &connection, const QString &code, const QString &workstation);
// The signed-in user's own new code, when signIn said mustChange (DbError
// with the database's text when refused).
void setOwnCode(const QString &connection, const QString &code);

QList<User> all(const QString &connection);

// Each is one statement of its own; the database refuses them unless the
// connection is signed in as an administrator, and refuses a code shorter
// than kMinCodeLength or one that cannot be used (DbError).
int add(const QString &connection, const QString &name, const QString &role, const QString &code);
void setCode(const QString &connection, int id, const QString &code);
void setRole(const QString &connection, int id, const QString &role);
void setActive(const QString &connection, int id, bool active);

constexpr int kMinCodeLength = 6;
// Why a new personal code is refused before it is sent; empty when it may be.
QString codeProblem(const QString &code);

// The role's name as the users see it
QString roleCaption(const QString &role);

} // namespace Users

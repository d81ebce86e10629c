#pragma once
#include <QList>
#include <QString>

// The users who sign in: a name, a role and a personal code, of which the
// database keeps only a slow salted hash and a keyed index. The four codes
// the program always had are built-in users that the administrator may
// change or switch off.
//
// Signing in is the database's: it checks the code, slows down guessing per
// client address, and ties the connection's server session to the user, so
// that the audit records name who made each change. The program keeps only
// a token (in memory) to tie a new server session after a reconnect.
namespace Users {

extern const char *const Administrator; // the role of the administrator

struct User {
    int id = 0;
    QString name;
    QString role; // administrator, masters, econom, sklad
    bool active = true;
    bool builtin = false;
    bool defaultCode = false; // still the built-in code: to be changed
};

// Signs in on the connection with the typed code (compared exactly; the
// caller trims). A wrong code or a try while guessing is slowed down throws
// DbError with the database's Russian text.
User signIn(const QString &connection, const QString &code, const QString &workstation);
// Ties the connection's (new) server session to the user signed in on it
// before; does nothing when nobody was. Throws DbError.
void resume(const QString &connection);
// The user signed in on the connection, when any (kept in memory).
bool signedIn(const QString &connection);
// Ties another connection's server session (of any driver, e.g. the import's)
// to the user signed in on `signedInConnection`; nothing when nobody is.
void tieAlso(const QString &connection, const QString &signedInConnection);
void forget(const QString &connection);
// The generation of the connection (DbSession::generation) the tie was made
// on: a later one means a new server session that is not tied yet.
quint64 tiedGeneration(const QString &connection);

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

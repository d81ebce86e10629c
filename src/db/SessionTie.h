#pragma once
#include <QString>

// Who a connection's server session belongs to, as the database knows it.
// Signing in is the database's: it checks the code, slows down guessing per
// client address, and ties the server session to the user, so that the write
// functions check that user's role and the audit records name who made each
// change. The program keeps only a token (in memory) to tie a new server
// session after a reconnect.
namespace SessionTie {

struct Who {
    int id = 0;
    QString name;
    QString role; // administrator, masters, econom, sklad
    // signed in with a built-in code that must be changed first: the session
    // may do nothing else until setOwnCode() has succeeded
    bool mustChange = false;
};

// Signs in on the connection with the typed code (compared exactly; the
// caller trims). A wrong code or a try while guessing is slowed down throws
// DbError with the database's Russian text. Two statements, each its own
// transaction: the database tells whether the code was right only after the
// sign-in has committed (so the count of wrong codes is always kept).
Who signIn(const QString &connection, const QString &code, const QString &workstation);
// The new code of a user signed in with mustChange; the session is then
// signed in fully. Throws DbError (the code rules, a taken code).
void setOwnCode(const QString &connection, const QString &code);
// Ties the connection's (new) server session to the user signed in on it
// before; does nothing when nobody was. Throws DbError.
void resume(const QString &connection);
// Ties another connection's server session (of any driver, e.g. the import's)
// to the user signed in on `signedInConnection`; nothing when nobody is.
void tieAlso(const QString &connection, const QString &signedInConnection);
// Forgets the connection's token (its sessions are tied no more).
void forget(const QString &connection);

} // namespace SessionTie

#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <functional>

#include "DbError.h"
#include "Gateway.h"

// What every statement on a named connection goes through: a connection the
// server dropped (restart, terminated backend, network) is noticed and opened
// again with the program's settings. A read is then run once more; a write
// or anything inside a transaction is not (it may or may not have reached the
// server, and the transaction is gone), so its action fails with a message
// that tells the user to press again.
namespace DbSession {

// How to open a connection again with its settings; throws DbError.
using Reopen = std::function<void()>;
void setReopen(const QString &connection, Reopen reopen);
void forget(const QString &connection);
// Run after a lost connection was opened again (not at the first opening).
void setReopened(const QString &connection, std::function<void()> hook);
// A cheap statement on a connection outside a transaction (inside one it
// does nothing): a dropped connection is opened again without telling the
// user, since nothing of theirs was lost. False when it is still down.
bool probe(const QString &connection);

// Tells the user that the connection was lost and opened again (the
// application shows it in a message box; nothing is shown when unset).
void setNotifier(std::function<void(const QString &)> notify);
extern const char *const ReconnectedText; // the notice after a reopened connection
extern const char *const LostWriteText;   // the error of an action cut off by a lost connection
extern const char *const LostCommitText;  // the commit's reply never came: the outcome is unknown
extern const char *const LostCommitOfflineText; // the same, and no server answers yet (a standby taking over)
extern const char *const UnconfirmedText; // the commit's wait for the synchronous standby was cancelled: unknown
// A lost connection that could not be opened again (libpq's words in the error's details).
extern const char *const OfflineText;
// Told each time a lost connection is opened again (up) or could not be
// (down, with libpq's words): the program keeps one outage state from it.
void setOutageWatcher(std::function<void(const QString &connection, bool up, const QString &details)> watcher);

// An action cut off by a lost connection (the connection has been opened
// again). `unknownOutcome`: the commit was sent but its reply never came, so
// the server may have stored the changes.
class ConnectionLost : public DbError {
public:
    ConnectionLost(const QString &text, const QString &sql, bool unknownOutcome)
        : DbError(text, sql), m_unknown(unknownOutcome) {}
    bool unknownOutcome() const { return m_unknown; }

private:
    bool m_unknown;
};

using Retry = Gateway::Retry;

// Runs `text` ("?" placeholders, `values` in order) through the gateway on
// the connection. Throws DbError with the database's text, or a Russian text
// when the server gave none.
Rows exec(const QString &connection, const QString &text, Retry retry);
Rows execBound(const QString &connection, const QString &text, const QVariantList &values, Retry retry);

// For the gateway: the connection found lost is opened again (a transaction
// open on it stays open, broken); throws DbError when that fails.
void reopenLost(const QString &connection);
// For the gateway: tells the user a lost connection was opened again.
void tellReconnected();
// The open transaction's connection was lost: nothing more of it may run.
bool transactionBroken(const QString &connection);

// Opens a transaction on the connection (reopening a lost connection first:
// nothing has been sent yet, so that is safe). Nested calls are counted; only
// the outermost commit or rollback reaches the server.
//
// A transaction belongs to the connection it began on. When that connection
// is lost and opened again, the transaction stays open but broken: every
// further statement in it fails without being sent (it would otherwise run
// in autocommit on the new connection), and its commit fails with a message.
void begin(const QString &connection);
void commit(const QString &connection);
void rollback(const QString &connection) noexcept;
bool inTransaction(const QString &connection);
// True while any connection has a transaction open, or a statement waits for
// its answer (no dialog and no event processing then: another handler could
// run a statement inside it, or a user's question would hold its locks).
bool anyTransaction();
// Counts the openings of the connection: it changes each time it is opened again.
quint64 generation(const QString &connection);

// The connection's QSqlDatabase, for a connection Qt's driver serves (the
// legacy import's); the gateway's own connections have none (Gateway::isOpen).
QSqlDatabase database(const QString &connection);

} // namespace DbSession

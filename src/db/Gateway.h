#pragma once
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVector>
#include <functional>

#include "DbError.h"

// One statement's whole result, read at once: its columns (names and the
// types Qt's PostgreSQL driver gives them), its rows and the rows it
// changed. Read like a query: next() moves to the first row, then on.
class Rows {
public:
    bool next();               // false past the last row
    void first() { m_at = -1; } // before the first row again
    int size() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    int affected() const { return m_affected; } // rows an insert/update/delete changed

    // The current row's value (invalid when there is none)
    QVariant value(int column) const { return valueAt(m_at, column); }
    QVariant value(const QString &name) const { return value(columnIndex(name)); }
    QVariant valueAt(int row, int column) const;

    int columnCount() const { return int(m_names.size()); }
    QString columnName(int i) const { return m_names.value(i); }
    QMetaType columnType(int i) const { return m_types.value(i); }
    int columnIndex(const QString &name) const; // case-insensitive, -1 if missing

    // Taking the rows out (a dataset keeps them)
    QVector<QVector<QVariant>> takeRows() { return std::move(m_rows); }

private:
    friend struct RowsBuilder;
    QStringList m_names;
    QVector<QMetaType> m_types;
    QVector<QVector<QVariant>> m_rows;
    int m_affected = 0;
    int m_at = -1;
};

// Every statement of the program reaches the server here, on the libpq
// connection Qt's PostgreSQL driver opened for a named connection:
// - values go as protocol parameters, never into the statement's text;
// - each text is prepared once per server session under a name of its own,
//   and again on the new session after a reconnect;
// - statements sent together go in libpq's pipeline, one round trip for all;
// - a lost connection, a transaction it broke and a write whose reply never
//   came are told apart here and nowhere else (see DbSession).
// Placeholders are "?" (or "$1"...). Connections of other drivers (the
// legacy import's ODBC) are served through Qt, with the same errors.
namespace Gateway {

enum class Retry {
    Read,  // may run again on a reopened connection (it changes nothing)
    Never, // a write: its outcome is unknown when the reply is lost
    Commit, // ends a transaction: the same, and the transaction is over either way
    Probe,  // a check of an idle connection: a lost one is opened again without a word
    Opening // the settings of a connection being opened: outside any transaction, a loss is an error
};

struct Call {
    QString text;        // "?" placeholders, or "$n"
    QVariantList values; // in placeholder order
};

// Runs one statement; throws DbError (DbSession::ConnectionLost after a loss).
Rows run(const QString &connection, const QString &text, const QVariantList &values = {}, Retry retry = Retry::Read);
// Runs statements together in one round trip (in order; the first failure
// fails them all and is thrown).
QList<Rows> runTogether(const QString &connection, const QList<Call> &calls, Retry retry = Retry::Read);

// One statement's own outcome in runEach.
struct Each {
    bool ok = false; // ran and committed
    Rows rows;       // its answer when ok
    QString error;   // the server's text (as DbError gives it) when not
};
// Runs statements in one round trip, each its own transaction (a sync after
// each), so a failing one neither undoes nor stops the others. Outside a
// transaction only. A connection lost while the answers were awaited throws
// DbSession::ConnectionLost: what was committed before the loss stays, and
// the writes' save keys settle it on the next press.
QList<Each> runEach(const QString &connection, const QList<Call> &calls);

// Round trips to any server so far (each wait for the server's answer).
quint64 roundTrips();
// Statements prepared by name so far (a cached statement is not counted again).
quint64 prepares();

// "?" placeholders numbered "$1", "$2"... outside quoted literals, quoted
// names, dollar quotes and comments.
QString numbered(const QString &text, int *count = nullptr);
// The contents of the quoted literals of a statement ('...', E'...', $tag$...$tag$).
QStringList literals(const QString &text);
// The text a value travels as (null for a null value).
QByteArray parameterText(const QVariant &value);

// A watch for statements built from typed text: while it holds values, a
// statement whose quoted literals contain one of them is refused (DbError)
// and recorded. Tests type values and set them here.
void guardTyped(const QStringList &typedValues);
QStringList splicedStatements(); // the refused texts since the guard was set

// Forgets what was prepared on a connection (its session was replaced outside the gateway).
void forget(const QString &connection);

} // namespace Gateway

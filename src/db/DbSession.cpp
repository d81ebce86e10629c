#include "DbSession.h"

#include "Actor.h"
#include "DbError.h"

#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <libpq-fe.h>
#include <QSqlQuery>

namespace DbSession {

const char *const ReconnectedText =
    "Связь с базой данных была потеряна. Программа подключилась к базе данных заново.";
const char *const LostWriteText =
    "Связь с базой данных была потеряна во время записи, изменения не сохранены. "
    "Программа подключилась к базе данных заново: повторите действие.";
const char *const LostCommitText =
    "Связь с базой данных была потеряна в момент сохранения: неизвестно, сохранены ли изменения. "
    "Программа подключилась к базе данных заново. Повторите действие: уже сохранённое второй раз не запишется.";

const char *const LostCommitOfflineText =
    "Связь с базой данных была потеряна в момент сохранения: неизвестно, сохранены ли изменения. "
    "Подключиться к базе данных заново пока не удалось. Повторите действие через минуту: "
    "уже сохранённое второй раз не запишется.";

namespace {
// The connection was lost and could not be opened again.
class ReopenFailed : public DbError {
public:
    using DbError::DbError;
};

struct State {
    Reopen reopen;
    std::function<void()> reopened;
    int depth = 0;          // nested transactions
    bool doomed = false;    // an inner guard rolled back: the outer one must not commit
    bool broken = false;    // the transaction's connection was lost: nothing more of it may run
    quint64 generation = 0; // openings of the connection so far
    quint64 begunOn = 0;    // the generation the open transaction began on
};
QHash<QString, State> g_states;
int g_openTransactions = 0; // connections with a transaction open
std::function<void(const QString &)> g_notify;

QString errorText(const QSqlError &e)
{
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.text().trimmed();
    // A refusal raised by the database's own rules (a closed month, a taken
    // code) is meant for the user as it stands: without the severity word and
    // the trigger's call stack.
    if (e.nativeErrorCode() == QLatin1String("P0001")) {
        const int context = t.indexOf(QLatin1String("\nCONTEXT:"));
        if (context >= 0)
            t.truncate(context);
        // "ERROR:  " or, on a server speaking Russian, "ОШИБКА:  "
        const int severity = t.indexOf(QLatin1String(":  "));
        if (severity >= 0 && severity < 16)
            t = t.mid(severity + 3);
        t = t.trimmed();
    }
    return t;
}

// A failed statement with no word from the server still says what failed.
QString describe(const QSqlError &e, const QString &sql)
{
    const QString t = errorText(e);
    if (!t.isEmpty())
        return t;
    QString what = sql.simplified();
    if (what.size() > 160)
        what = what.left(160) + QStringLiteral("…");
    return QStringLiteral("База данных не выполнила запрос и не сообщила причину.\nЗапрос: ") + what;
}

// Classes 08 (connection exception) and 57P (the server shut the session down).
bool lostByCode(const QSqlError &e)
{
    const QString code = e.nativeErrorCode();
    return code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P"));
}

// The driver may not have noticed: a connection closed by the network or by
// a proxy gives no error code, but libpq knows it is gone.
bool broken(const QSqlDatabase &db)
{
    if (!db.isOpen())
        return true;
    const QSqlDriver *drv = db.driver();
    if (!drv)
        return false;
    const QVariant h = drv->handle();
    if (!h.isValid() || qstrcmp(h.typeName(), "PGconn*") != 0)
        return false;
    PGconn *conn = *static_cast<PGconn *const *>(h.constData());
    return !conn || PQstatus(conn) == CONNECTION_BAD;
}

bool lost(const QSqlDatabase &db, const QSqlError &e) { return broken(db) || lostByCode(e); }

void notify()
{
    if (g_notify)
        g_notify(QString::fromUtf8(ReconnectedText));
}

void setDepth(State &st, int depth)
{
    if ((st.depth > 0) != (depth > 0))
        g_openTransactions += depth > 0 ? 1 : -1;
    st.depth = depth;
}

// Opens the connection again. An open transaction is gone with the old
// connection: it stays open here, broken, until its guard ends it, so that
// nothing of it runs in autocommit on the new connection.
void reopen(const QString &connection)
{
    State &st = g_states[connection];
    ++st.generation;
    if (st.depth > 0)
        st.broken = true;
    if (!st.reopen)
        throw DbError(QStringLiteral("Связь с базой данных потеряна."));
    try {
        st.reopen();
    } catch (const DbError &e) {
        throw ReopenFailed(QStringLiteral("Связь с базой данных потеряна, подключиться заново не удалось. Повторите действие позже.\n")
                           + e.text());
    }
    if (const auto hook = g_states.value(connection).reopened)
        hook();
}

[[noreturn]] void throwLostWrite(const QString &text)
{
    throw ConnectionLost(QString::fromUtf8(LostWriteText), text, false);
}

// A new query on the (reopened) connection, read as the old one was.
void renew(QSqlQuery &q, const QString &connection)
{
    const bool forwardOnly = q.isForwardOnly();
    const QSql::NumericalPrecisionPolicy precision = q.numericalPrecisionPolicy();
    q = QSqlQuery(database(connection));
    q.setForwardOnly(forwardOnly);
    q.setNumericalPrecisionPolicy(precision);
}

// Runs the statement once: prepared with its values when `values` is given.
bool runOnce(QSqlQuery &q, const QString &text, const QVariantList *values)
{
    if (!values)
        return q.exec(text);
    if (!q.prepare(text))
        return false;
    for (const QVariant &v : *values)
        q.addBindValue(v);
    return q.exec();
}

void run(QSqlQuery &q, const QString &connection, const QString &text, const QVariantList *values, Retry retry)
{
    const bool inTx = inTransaction(connection);
    if (inTx && g_states[connection].broken)
        throwLostWrite(text); // the transaction is gone: nothing of it may run on the new connection
    QSqlDatabase db = database(connection);
    if (broken(db)) {
        // Lost earlier; nothing of this statement has been sent yet.
        reopen(connection);
        if (inTx)
            throwLostWrite(text);
        notify();
        renew(q, connection);
    }
    if (runOnce(q, text, values))
        return;
    const QSqlError err = q.lastError();
    db = database(connection);
    if (!lost(db, err))
        throw DbError(describe(err, text), text);

    reopen(connection);
    if (inTx || retry == Retry::Never)
        throwLostWrite(text);
    notify();
    renew(q, connection);
    if (!runOnce(q, text, values))
        throw DbError(describe(q.lastError(), text), text);
}
} // namespace

void setReopen(const QString &connection, Reopen r) { g_states[connection].reopen = std::move(r); }
void setReopened(const QString &connection, std::function<void()> hook) { g_states[connection].reopened = std::move(hook); }

bool probe(const QString &connection)
{
    if (inTransaction(connection))
        return true;
    QSqlDatabase db = database(connection);
    if (db.isOpen()) {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("select 1")))
            return true;
        // Outside a transaction nothing else makes "select 1" fail.
    }
    try {
        reopen(connection);
    } catch (const DbError &) {
        return false;
    }
    return database(connection).isOpen();
}

void forget(const QString &connection)
{
    auto it = g_states.find(connection);
    if (it == g_states.end())
        return;
    setDepth(*it, 0);
    g_states.erase(it);
}
void setNotifier(std::function<void(const QString &)> n) { g_notify = std::move(n); }

QSqlDatabase database(const QString &connection)
{
    return connection.isEmpty() ? QSqlDatabase::database() : QSqlDatabase::database(connection, false);
}

bool inTransaction(const QString &connection)
{
    auto it = g_states.constFind(connection);
    return it != g_states.constEnd() && it->depth > 0;
}

bool anyTransaction() { return g_openTransactions > 0; }

quint64 generation(const QString &connection) { return g_states.value(connection).generation; }

void exec(QSqlQuery &q, const QString &connection, const QString &text, Retry retry)
{
    run(q, connection, text, nullptr, retry);
}

void execBound(QSqlQuery &q, const QString &connection, const QString &text, const QVariantList &values, Retry retry)
{
    run(q, connection, text, &values, retry);
}

void execPrepared(QSqlQuery &q, const QString &connection, Retry retry)
{
    const QString text = q.lastQuery();
    const QVariantList values = q.boundValues();
    const bool inTx = inTransaction(connection);
    if (inTx && g_states[connection].broken)
        throwLostWrite(text);
    if (q.exec())
        return;
    const QSqlError err = q.lastError();
    QSqlDatabase db = database(connection);
    if (!lost(db, err))
        throw DbError(describe(err, text), text);
    reopen(connection);
    if (inTx || retry == Retry::Never)
        throwLostWrite(text);
    notify();
    renew(q, connection);
    if (!runOnce(q, text, &values))
        throw DbError(describe(q.lastError(), text), text);
}

void begin(const QString &connection)
{
    State &st = g_states[connection];
    if (st.depth > 0) {
        ++st.depth;
        return;
    }
    QSqlQuery q(database(connection));
    exec(q, connection, QStringLiteral("begin"), Retry::Read); // safe to repeat: nothing written yet
    State &now = g_states[connection];
    setDepth(now, 1);
    now.doomed = false;
    now.broken = false;
    now.begunOn = now.generation;
    try {
        Actor::apply(connection); // who works here, for the audit records
    } catch (...) {
        rollback(connection);
        throw;
    }
}

void commit(const QString &connection)
{
    State &st = g_states[connection];
    if (st.depth > 1) {
        --st.depth;
        return;
    }
    if (st.depth == 0)
        throw DbError(QStringLiteral("Сохранение без начатой транзакции: изменения не сохранены."));
    if (st.broken || st.generation != st.begunOn) {
        // The server rolled the transaction back with the old connection.
        setDepth(st, 0);
        st.broken = false;
        st.doomed = false;
        throw ConnectionLost(QString::fromUtf8(LostWriteText), QStringLiteral("commit"), false);
    }
    if (st.doomed) {
        rollback(connection);
        throw DbError(QStringLiteral("Действие прервано, изменения не сохранены."));
    }
    QSqlQuery q(database(connection));
    try {
        exec(q, connection, QStringLiteral("commit"), Retry::Never);
    } catch (const ConnectionLost &e) {
        State &now = g_states[connection];
        setDepth(now, 0);
        now.broken = false;
        // The commit was sent; whether the server stored it is unknown.
        throw ConnectionLost(QString::fromUtf8(LostCommitText), e.sql(), true);
    } catch (const ReopenFailed &e) {
        // The same while no server takes the connection yet (the primary died
        // and a standby is being promoted): the save key settles it later.
        State &now = g_states[connection];
        setDepth(now, 0);
        now.broken = false;
        throw ConnectionLost(QString::fromUtf8(LostCommitOfflineText), e.sql(), true);
    } catch (...) {
        setDepth(g_states[connection], 0);
        throw;
    }
    setDepth(g_states[connection], 0);
}

void rollback(const QString &connection) noexcept
{
    State &st = g_states[connection];
    if (st.depth > 1) {
        --st.depth;
        st.doomed = true;
        return;
    }
    if (st.depth == 0)
        return;
    setDepth(st, 0);
    st.doomed = false;
    const bool broken = st.broken;
    st.broken = false;
    if (broken)
        return; // the server ended it with the old connection
    QSqlDatabase db = database(connection);
    if (db.isOpen()) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("rollback"));
    }
}

} // namespace DbSession

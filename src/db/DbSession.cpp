#include "DbSession.h"

#include "DbError.h"

#include <QHash>

namespace DbSession {

const char *const ReconnectedText =
    "Связь с базой данных была потеряна. Программа подключилась к базе данных заново.";
const char *const LostWriteText =
    "Связь с базой данных была потеряна во время записи, изменения не сохранены. "
    "Программа подключилась к базе данных заново: повторите действие.";
const char *const LostCommitText =
    "Связь с базой данных была потеряна в момент сохранения: неизвестно, сохранены ли изменения. "
    "Программа подключилась к базе данных заново. Повторите действие: уже сохранённое второй раз не запишется.";

const char *const OfflineText =
    "Связь с базой данных потеряна, подключиться заново не удалось. Повторите действие позже.";

const char *const LostCommitOfflineText =
    "Связь с базой данных была потеряна в момент сохранения: неизвестно, сохранены ли изменения. "
    "Подключиться к базе данных заново пока не удалось. Повторите действие через минуту: "
    "уже сохранённое второй раз не запишется.";

const char *const UnconfirmedText =
    "Сервер сохранил изменения у себя, но не дождался резервного сервера: неизвестно, сохранены ли они надёжно. "
    "Нажмите «Запись» ещё раз: уже сохранённое второй раз не запишется.";

namespace {
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
std::function<void(const QString &, bool, const QString &)> g_outage;

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
        // The user reads Russian only; libpq's own words ("session is
        // read-only", "Connection refused") go to the details.
        const QString why = e.details().isEmpty() ? e.text() : e.details();
        if (g_outage)
            g_outage(connection, false, why);
        throw DbError(QString::fromUtf8(OfflineText), QString(), why);
    }
    if (g_outage)
        g_outage(connection, true, QString());
    if (const auto hook = g_states.value(connection).reopened)
        hook();
}

} // namespace

void setReopen(const QString &connection, Reopen r) { g_states[connection].reopen = std::move(r); }
void setReopened(const QString &connection, std::function<void()> hook) { g_states[connection].reopened = std::move(hook); }

bool probe(const QString &connection)
{
    if (inTransaction(connection))
        return true;
    try {
        Gateway::run(connection, QStringLiteral("select 1"), {}, Retry::Probe);
        return true;
    } catch (const ConnectionLost &) {
        return Gateway::isOpen(connection);
    } catch (const DbError &) {
        // Outside a transaction nothing else makes "select 1" fail: the
        // connection is down and could not be opened again.
        return false;
    }
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
void setOutageWatcher(std::function<void(const QString &, bool, const QString &)> w) { g_outage = std::move(w); }

QSqlDatabase database(const QString &connection)
{
    return connection.isEmpty() ? QSqlDatabase::database() : QSqlDatabase::database(connection, false);
}

bool inTransaction(const QString &connection)
{
    auto it = g_states.constFind(connection);
    return it != g_states.constEnd() && it->depth > 0;
}

// A statement waiting for its answer counts too: its wait lets timers run.
bool anyTransaction() { return g_openTransactions > 0 || Gateway::anyBusy(); }

quint64 generation(const QString &connection) { return g_states.value(connection).generation; }

Rows exec(const QString &connection, const QString &text, Retry retry)
{
    return Gateway::run(connection, text, {}, retry);
}

Rows execBound(const QString &connection, const QString &text, const QVariantList &values, Retry retry)
{
    return Gateway::run(connection, text, values, retry);
}

void reopenLost(const QString &connection) { reopen(connection); }
void tellReconnected() { notify(); }
bool transactionBroken(const QString &connection)
{
    auto it = g_states.constFind(connection);
    return it != g_states.constEnd() && it->depth > 0 && (it->broken || it->generation != it->begunOn);
}

void begin(const QString &connection)
{
    State &st = g_states[connection];
    if (st.depth > 0) {
        ++st.depth;
        return;
    }
    Gateway::run(connection, QStringLiteral("begin"), {}, Retry::Read); // safe to repeat: nothing written yet
    State &now = g_states[connection];
    setDepth(now, 1);
    now.doomed = false;
    now.broken = false;
    now.begunOn = now.generation;
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
    try {
        Gateway::run(connection, QStringLiteral("commit"), {}, Retry::Commit);
    } catch (...) {
        // lost (the outcome unknown, said by the gateway) or refused: over either way
        State &now = g_states[connection];
        setDepth(now, 0);
        now.broken = false;
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
    if (!Gateway::isOpen(connection))
        return;
    try {
        Gateway::run(connection, QStringLiteral("rollback"), {}, Retry::Commit);
    } catch (const DbError &) {
        // a lost connection ended it already
    }
}

} // namespace DbSession

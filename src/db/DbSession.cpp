#include "DbSession.h"

#include "Actor.h"
#include "DbError.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace DbSession {

const char *const ReconnectedText =
    "Связь с базой данных была потеряна. Программа подключилась к базе данных заново.";
const char *const LostWriteText =
    "Связь с базой данных была потеряна во время записи, изменения не сохранены. "
    "Программа подключилась к базе данных заново: повторите действие.";

namespace {
struct State {
    Reopen reopen;
    int depth = 0;       // nested transactions
    bool doomed = false; // an inner guard rolled back: the outer one must not commit
};
QHash<QString, State> g_states;
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

bool lost(const QSqlDatabase &db, const QSqlError &e) { return !db.isOpen() || lostByCode(e); }

void notify()
{
    if (g_notify)
        g_notify(QString::fromUtf8(ReconnectedText));
}

// Opens the connection again; the open transaction, if any, is gone with it.
void reopen(const QString &connection)
{
    State &st = g_states[connection];
    st.depth = 0;
    st.doomed = false;
    if (!st.reopen)
        throw DbError(QStringLiteral("Связь с базой данных потеряна."));
    try {
        st.reopen();
    } catch (const DbError &e) {
        throw DbError(QStringLiteral("Связь с базой данных потеряна, подключиться заново не удалось. Повторите действие позже.\n")
                      + e.text());
    }
}
} // namespace

void setReopen(const QString &connection, Reopen r) { g_states[connection].reopen = std::move(r); }
void forget(const QString &connection) { g_states.remove(connection); }
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

void exec(QSqlQuery &q, const QString &connection, const QString &text, Retry retry)
{
    const bool inTx = inTransaction(connection);
    QSqlDatabase db = database(connection);
    if (!db.isOpen()) {
        // Lost earlier; nothing of this statement has been sent yet.
        if (inTx) {
            reopen(connection);
            throw DbError(QString::fromUtf8(LostWriteText), text);
        }
        reopen(connection);
        notify();
        q = QSqlQuery(database(connection));
    }
    if (q.exec(text))
        return;
    const QSqlError err = q.lastError();
    db = database(connection);
    if (!lost(db, err))
        throw DbError(describe(err, text), text);

    reopen(connection);
    if (inTx || retry == Retry::Never)
        throw DbError(QString::fromUtf8(LostWriteText), text);
    notify();
    const bool forwardOnly = q.isForwardOnly();
    const QSql::NumericalPrecisionPolicy precision = q.numericalPrecisionPolicy();
    q = QSqlQuery(database(connection));
    q.setForwardOnly(forwardOnly);
    q.setNumericalPrecisionPolicy(precision);
    if (!q.exec(text))
        throw DbError(describe(q.lastError(), text), text);
}

void execPrepared(QSqlQuery &q, const QString &connection, Retry retry)
{
    const bool inTx = inTransaction(connection);
    const QString text = q.lastQuery();
    const QVariantList values = q.boundValues();
    if (q.exec())
        return;
    const QSqlError err = q.lastError();
    QSqlDatabase db = database(connection);
    if (!lost(db, err))
        throw DbError(describe(err, text), text);
    reopen(connection);
    if (inTx || retry == Retry::Never)
        throw DbError(QString::fromUtf8(LostWriteText), text);
    notify();
    const bool forwardOnly = q.isForwardOnly();
    const QSql::NumericalPrecisionPolicy precision = q.numericalPrecisionPolicy();
    q = QSqlQuery(database(connection));
    q.setForwardOnly(forwardOnly);
    q.setNumericalPrecisionPolicy(precision);
    if (!q.prepare(text))
        throw DbError(describe(q.lastError(), text), text);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
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
    now.depth = 1;
    now.doomed = false;
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
    if (st.doomed) {
        rollback(connection);
        throw DbError(QStringLiteral("Действие прервано, изменения не сохранены."));
    }
    QSqlQuery q(database(connection));
    try {
        exec(q, connection, QStringLiteral("commit"), Retry::Never);
    } catch (...) {
        g_states[connection].depth = 0;
        throw;
    }
    g_states[connection].depth = 0;
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
    st.depth = 0;
    st.doomed = false;
    QSqlDatabase db = database(connection);
    if (db.isOpen()) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("rollback"));
    }
}

} // namespace DbSession

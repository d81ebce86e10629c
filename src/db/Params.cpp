#include "Params.h"

#include "DbError.h"
#include "DbSession.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <libpq-fe.h>
#include <memory>
#include <vector>

namespace Params {

namespace {
PGconn *handleOf(const QString &connection)
{
    QSqlDatabase db = DbSession::database(connection);
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant h = db.driver()->handle();
    // the driver names the type after libpq's struct
    if (!h.isValid() || (qstrcmp(h.typeName(), "PGconn*") != 0 && qstrcmp(h.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(h.constData());
}
} // namespace

QList<QStringList> exec(const QString &connection, const QString &sql, const QStringList &values)
{
    // a connection the server dropped is opened again first (nothing sent yet)
    if (!DbSession::inTransaction(connection))
        DbSession::probe(connection);
    PGconn *conn = handleOf(connection);
    if (!conn || PQstatus(conn) != CONNECTION_OK)
        throw DbError(QStringLiteral("Нет связи с базой данных. Повторите действие позже."), sql);

    std::vector<QByteArray> utf8;
    utf8.reserve(size_t(values.size()));
    std::vector<const char *> ptrs;
    for (const QString &v : values) {
        utf8.push_back(v.toUtf8());
        ptrs.push_back(v.isNull() ? nullptr : utf8.back().constData());
    }
    std::unique_ptr<PGresult, void (*)(PGresult *)> res(
        PQexecParams(conn, sql.toUtf8().constData(), int(ptrs.size()), nullptr, ptrs.data(), nullptr, nullptr, 0),
        PQclear);
    const ExecStatusType st = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) {
        const char *primary = res ? PQresultErrorField(res.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        const QString text = primary ? QString::fromUtf8(primary)
                                     : QStringLiteral("Нет связи с базой данных. Повторите действие позже.");
        throw DbError(text, sql);
    }
    QList<QStringList> out;
    const int rows = PQntuples(res.get());
    const int cols = PQnfields(res.get());
    for (int r = 0; r < rows; ++r) {
        QStringList row;
        for (int c = 0; c < cols; ++c)
            row << (PQgetisnull(res.get(), r, c) ? QString() : QString::fromUtf8(PQgetvalue(res.get(), r, c)));
        out << row;
    }
    return out;
}

void script(const QString &connection, const QString &sql)
{
    PGconn *conn = handleOf(connection);
    if (!conn || PQstatus(conn) != CONNECTION_OK)
        throw DbError(QStringLiteral("Нет связи с базой данных. Повторите действие позже."), sql.left(200));
    // PQexec returns the last statement's result: the failing one, if any
    std::unique_ptr<PGresult, void (*)(PGresult *)> res(PQexec(conn, sql.toUtf8().constData()), PQclear);
    const ExecStatusType st = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK || st == PGRES_EMPTY_QUERY)
        return;
    const char *primary = res ? PQresultErrorField(res.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const QString text = primary ? QString::fromUtf8(primary) : QString::fromUtf8(PQerrorMessage(conn));
    // a failed script inside its own BEGIN leaves the session's transaction aborted
    if (PQtransactionStatus(conn) != PQTRANS_IDLE)
        PQclear(PQexec(conn, "ROLLBACK"));
    throw DbError(text, sql.left(200));
}

} // namespace Params

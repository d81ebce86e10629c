#include "Gateway.h"

#include "DbSession.h"

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <atomic>
#include <libpq-fe.h>
#include <poll.h>
#include <vector>

// ---- Rows ------------------------------------------------------------------

struct RowsBuilder {
    static Rows &&done(Rows &&r) { return std::move(r); }
    static QStringList &names(Rows &r) { return r.m_names; }
    static QVector<QMetaType> &types(Rows &r) { return r.m_types; }
    static QVector<QVector<QVariant>> &rows(Rows &r) { return r.m_rows; }
    static int &affected(Rows &r) { return r.m_affected; }
};

bool Rows::next()
{
    if (m_at + 1 >= m_rows.size()) {
        m_at = int(m_rows.size());
        return false;
    }
    ++m_at;
    return true;
}

QVariant Rows::valueAt(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_names.size())
        return QVariant();
    return m_rows.at(row).at(column);
}

int Rows::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_names.size(); ++i)
        if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

namespace Gateway {
namespace {

// ---- Server types as Qt's driver reads them -----------------------------------

enum : Oid {
    BoolOid = 16, ByteaOid = 17, Int8Oid = 20, Int2Oid = 21, Int4Oid = 23, RegprocOid = 24, XidOid = 28,
    CidOid = 29, Float4Oid = 700, Float8Oid = 701, AbstimeOid = 702, ReltimeOid = 703, DateOid = 1082,
    TimeOid = 1083, TimestampOid = 1114, TimestampTzOid = 1184, TimeTzOid = 1266, NumericOid = 1700,
    OidOid = 2278 // as Qt's driver has it
};

QMetaType typeOf(Oid oid)
{
    switch (oid) {
    case BoolOid: return QMetaType(QMetaType::Bool);
    case Int8Oid: return QMetaType(QMetaType::LongLong);
    case Int2Oid:
    case Int4Oid:
    case OidOid:
    case RegprocOid:
    case XidOid:
    case CidOid: return QMetaType(QMetaType::Int);
    case NumericOid:
    case Float4Oid:
    case Float8Oid: return QMetaType(QMetaType::Double);
    case AbstimeOid:
    case ReltimeOid:
    case DateOid: return QMetaType(QMetaType::QDate);
    case TimeOid:
    case TimeTzOid: return QMetaType(QMetaType::QTime);
    case TimestampOid:
    case TimestampTzOid: return QMetaType(QMetaType::QDateTime);
    case ByteaOid: return QMetaType(QMetaType::QByteArray);
    default: return QMetaType(QMetaType::QString);
    }
}

// A value as the program has always read it: exact decimals as their text,
// dates as dates, whole numbers as numbers.
QVariant valueOf(const char *val, int length, Oid oid, const QMetaType &type)
{
    switch (type.id()) {
    case QMetaType::Bool: return QVariant(val[0] == 't');
    case QMetaType::LongLong: // as Qt's driver: unsigned when not negative
        if (val[0] == '-')
            return QVariant(QByteArray::fromRawData(val, length).toLongLong());
        return QVariant(QByteArray::fromRawData(val, length).toULongLong());
    case QMetaType::Int: return QVariant(QByteArray::fromRawData(val, length).toInt());
    case QMetaType::Double: {
        if (oid == NumericOid)
            return QVariant(QString::fromLatin1(val, length));
        bool ok = false;
        const double d = QByteArray::fromRawData(val, length).toDouble(&ok);
        if (ok)
            return QVariant(d);
        if (qstricmp(val, "NaN") == 0)
            return QVariant(qQNaN());
        if (qstricmp(val, "Infinity") == 0)
            return QVariant(qInf());
        if (qstricmp(val, "-Infinity") == 0)
            return QVariant(-qInf());
        return QVariant();
    }
    case QMetaType::QDate: return QVariant(QDate::fromString(QString::fromLatin1(val, length), Qt::ISODate));
    case QMetaType::QTime: return QVariant(QTime::fromString(QString::fromLatin1(val, length), Qt::ISODate));
    case QMetaType::QDateTime: {
        QString s = QString::fromLatin1(val, length);
        // "+03" is not an ISO offset for Qt; "+03:00" is
        const int n = int(s.size());
        if (n > 3 && (s.at(n - 3) == QLatin1Char('+') || s.at(n - 3) == QLatin1Char('-')))
            s += QLatin1String(":00");
        return QVariant(QDateTime::fromString(s, Qt::ISODate).toLocalTime());
    }
    case QMetaType::QByteArray: {
        size_t len = 0;
        unsigned char *data = PQunescapeBytea(reinterpret_cast<const unsigned char *>(val), &len);
        const QByteArray ba(reinterpret_cast<const char *>(data), int(len));
        PQfreemem(data);
        return QVariant(ba);
    }
    default: return QVariant(QString::fromUtf8(val, length));
    }
}

Rows rowsOf(PGresult *r)
{
    Rows out;
    const int cols = PQnfields(r);
    QVector<Oid> oids(cols);
    for (int c = 0; c < cols; ++c) {
        RowsBuilder::names(out) << QString::fromUtf8(PQfname(r, c));
        oids[c] = PQftype(r, c);
        RowsBuilder::types(out) << typeOf(oids[c]);
    }
    const int n = PQntuples(r);
    auto &rows = RowsBuilder::rows(out);
    rows.reserve(n);
    for (int i = 0; i < n; ++i) {
        QVector<QVariant> row(cols);
        for (int c = 0; c < cols; ++c) {
            const QMetaType t = RowsBuilder::types(out).at(c);
            row[c] = PQgetisnull(r, i, c) ? QVariant(t, nullptr) : valueOf(PQgetvalue(r, i, c), PQgetlength(r, i, c), oids[c], t);
        }
        rows.push_back(std::move(row));
    }
    RowsBuilder::affected(out) = QByteArray(PQcmdTuples(r)).toInt();
    return out;
}

// ---- Texts -------------------------------------------------------------------

bool isIdentChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

// The end of a dollar quote's opening tag at i ("$$" or "$tag$"), or -1.
int dollarTag(const QString &s, int i)
{
    if (i > 0 && (isIdentChar(s.at(i - 1)) || s.at(i - 1) == QLatin1Char('$')))
        return -1; // part of a name, or "$1" already
    int j = i + 1;
    if (j < s.size() && s.at(j).isDigit())
        return -1; // a numbered parameter
    while (j < s.size() && isIdentChar(s.at(j)))
        ++j;
    if (j < s.size() && s.at(j) == QLatin1Char('$'))
        return j;
    return -1;
}

// Walks the statement's text outside literals, names and comments; calls
// onCode(i) for each character of code, onLiteral(text) for each literal.
template <class Code, class Literal> void walk(const QString &s, Code onCode, Literal onLiteral)
{
    const int n = int(s.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('\'')) {
            // E'...' takes backslash escapes; a plain literal only doubled quotes
            const bool escapes = i > 0 && (s.at(i - 1) == QLatin1Char('E') || s.at(i - 1) == QLatin1Char('e'))
                                 && (i < 2 || !isIdentChar(s.at(i - 2)));
            QString text;
            ++i;
            while (i < n) {
                const QChar d = s.at(i);
                if (escapes && d == QLatin1Char('\\') && i + 1 < n) {
                    text += s.at(i + 1);
                    i += 2;
                    continue;
                }
                if (d == QLatin1Char('\'')) {
                    if (i + 1 < n && s.at(i + 1) == QLatin1Char('\'')) {
                        text += d;
                        i += 2;
                        continue;
                    }
                    break;
                }
                text += d;
                ++i;
            }
            onLiteral(text);
            continue;
        }
        if (c == QLatin1Char('"')) {
            ++i;
            while (i < n && !(s.at(i) == QLatin1Char('"') && !(i + 1 < n && s.at(i + 1) == QLatin1Char('"'))))
                i += s.at(i) == QLatin1Char('"') ? 2 : 1;
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && s.at(i + 1) == QLatin1Char('-')) {
            while (i < n && s.at(i) != QLatin1Char('\n'))
                ++i;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && s.at(i + 1) == QLatin1Char('*')) {
            const int end = int(s.indexOf(QLatin1String("*/"), i + 2));
            i = end < 0 ? n : end + 1;
            continue;
        }
        if (c == QLatin1Char('$')) {
            const int tagEnd = dollarTag(s, i);
            if (tagEnd > 0) {
                const QString tag = s.mid(i, tagEnd - i + 1);
                const int close = int(s.indexOf(tag, tagEnd + 1));
                const int end = close < 0 ? n : close;
                onLiteral(s.mid(tagEnd + 1, end - tagEnd - 1));
                i = close < 0 ? n : close + int(tag.size()) - 1;
                continue;
            }
        }
        onCode(i);
    }
}

// More than one statement in the text (a ";" followed by more code)
bool severalStatements(const QString &s)
{
    bool semicolon = false, after = false;
    walk(
        s,
        [&](int i) {
            const QChar c = s.at(i);
            if (c == QLatin1Char(';'))
                semicolon = true;
            else if (semicolon && !c.isSpace())
                after = true;
        },
        [&](const QString &) {
            if (semicolon)
                after = true;
        });
    return after;
}

// "commit" or "rollback"
bool ending(const QString &text)
{
    const QString t = text.trimmed().toLower();
    return t == QLatin1String("commit") || t == QLatin1String("rollback");
}

// ---- Sessions ------------------------------------------------------------------

struct Session {
    PGconn *conn = nullptr;
    int pid = 0;
    QHash<QString, QByteArray> prepared; // statement text -> its name on the server
};
QHash<QString, Session> g_sessions;
std::atomic<quint64> g_roundTrips{0};
std::atomic<quint64> g_prepares{0};
quint64 g_names = 0;
QStringList g_typed;
QStringList g_spliced;
QHash<QString, QHash<QString, QSqlQuery>> g_qtPrepared; // other drivers' statements by connection

PGconn *pgconn(const QSqlDatabase &db)
{
    const QSqlDriver *drv = db.driver();
    if (!drv)
        return nullptr;
    const QVariant h = drv->handle();
    // the driver names the type by libpq's struct (pg_conn*) or by its typedef
    if (!h.isValid() || (qstrcmp(h.typeName(), "PGconn*") != 0 && qstrcmp(h.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(h.constData());
}

bool isPostgres(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

Session &sessionFor(const QString &connection, PGconn *conn)
{
    Session &s = g_sessions[connection];
    const int pid = PQbackendPID(conn);
    if (s.conn != conn || s.pid != pid) {
        // a new server session: nothing of the old one is prepared there
        s.conn = conn;
        s.pid = pid;
        s.prepared.clear();
    }
    return s;
}

// What came back from one attempt at sending the statements.
struct Attempt {
    enum Kind { Ok, Failed, Lost } kind = Ok;
    QString error;    // the server's text
    QString sqlstate;
    QString text;     // the statement that failed
    QList<Rows> rows;
};

// A refusal raised by the database's own rules (a closed month, a taken
// code, a wrong code at sign-in, a role's limits) is meant for the user as
// it stands: without the severity word and the function's call stack.
QString errorText(const QString &raw, const QString &sqlstate)
{
    QString t = raw.trimmed();
    if (sqlstate == QLatin1String("P0001") || sqlstate.startsWith(QLatin1String("28")) || sqlstate.startsWith(QLatin1String("TB"))) {
        const int context = int(t.indexOf(QLatin1String("\nCONTEXT:")));
        if (context >= 0)
            t.truncate(context);
        // "ERROR:  " or, on a server speaking Russian, "ОШИБКА:  "
        const int severity = int(t.indexOf(QLatin1String(":  ")));
        if (severity >= 0 && severity < 16)
            t = t.mid(severity + 3);
        t = t.trimmed();
    }
    return t;
}

// Classes 08 (connection exception) and 57P (the server shut the session down).
bool lostCode(const QString &sqlstate)
{
    return sqlstate.startsWith(QLatin1String("08")) || sqlstate.startsWith(QLatin1String("57P"));
}

void failWith(Attempt &a, PGresult *r, PGconn *conn, const QString &text)
{
    if (a.kind != Attempt::Ok)
        return; // the first failure is the one that counts
    a.sqlstate = r ? QString::fromLatin1(PQresultErrorField(r, PG_DIAG_SQLSTATE)) : QString();
    a.error = QString::fromUtf8(r ? PQresultErrorMessage(r) : PQerrorMessage(conn));
    a.text = text;
    a.kind = PQstatus(conn) == CONNECTION_BAD || lostCode(a.sqlstate) ? Attempt::Lost : Attempt::Failed;
}

// Notices read off the socket with our results would wait in libpq until the
// socket is readable again: hand them to the driver's listeners now.
void deliverNotices(const QSqlDatabase &db, PGconn *conn)
{
    QSqlDriver *drv = db.driver();
    if (!drv)
        return;
    PQconsumeInput(conn);
    const QStringList subscribed = drv->subscribedToNotifications();
    const int self = PQbackendPID(conn);
    while (PGnotify *n = PQnotifies(conn)) {
        const QString name = QString::fromUtf8(n->relname);
        const QSqlDriver::NotificationSource source =
            n->be_pid == self ? QSqlDriver::SelfSource : QSqlDriver::OtherSource;
        const QString payload = QString::fromUtf8(n->extra);
        PQfreemem(n);
        if (!subscribed.contains(name))
            continue;
        QPointer<QSqlDriver> guard(drv);
        QMetaObject::invokeMethod(
            drv,
            [guard, name, source, payload]() {
                if (guard)
                    emit guard->notification(name, source, QVariant(payload));
            },
            Qt::QueuedConnection);
    }
}

struct Params {
    std::vector<QByteArray> texts;
    std::vector<const char *> values;
    explicit Params(const QVariantList &list)
    {
        texts.reserve(size_t(list.size()));
        for (const QVariant &v : list)
            texts.push_back(parameterText(v));
        for (const QByteArray &t : texts)
            values.push_back(t.isNull() ? nullptr : t.constData());
    }
};

// Several statements in one text are sent as they stand (no values).
Attempt sendSimple(PGconn *conn, const Call &c)
{
    Attempt a;
    ++g_roundTrips;
    PGresult *r = PQexec(conn, c.text.toUtf8().constData());
    const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK)
        a.rows << rowsOf(r);
    else
        failWith(a, r, conn, c.text);
    PQclear(r);
    return a;
}

// The statements in one pipeline: each one not yet prepared on this session
// is prepared in the same trip, just before it runs.
Attempt sendPipeline(Session &session, PGconn *conn, const QList<Call> &calls, const QStringList &texts)
{
    Attempt a;
    // Whatever Qt left unread would be taken for our results
    while (PGresult *r = PQgetResult(conn))
        PQclear(r);
    if (!PQenterPipelineMode(conn)) {
        failWith(a, nullptr, conn, texts.value(0));
        return a;
    }
    struct Sent {
        QByteArray name;
        bool preparing = false;
    };
    std::vector<Sent> sent;
    std::vector<Params> params;
    params.reserve(size_t(calls.size()));
    bool ok = true;
    for (int i = 0; i < calls.size() && ok; ++i) {
        Sent s;
        s.name = session.prepared.value(texts.at(i));
        if (s.name.isEmpty()) {
            s.name = "tabel_" + QByteArray::number(++g_names);
            s.preparing = true;
            ok = PQsendPrepare(conn, s.name.constData(), texts.at(i).toUtf8().constData(), 0, nullptr) == 1;
        }
        params.emplace_back(calls.at(i).values);
        const Params &p = params.back();
        ok = ok && PQsendQueryPrepared(conn, s.name.constData(), int(p.values.size()), p.values.data(), nullptr, nullptr, 0) == 1;
        sent.push_back(s);
    }
    ok = ok && PQpipelineSync(conn) == 1;
    ++g_roundTrips;
    if (!ok) {
        failWith(a, nullptr, conn, texts.value(int(sent.size()) - 1));
        if (PQstatus(conn) != CONNECTION_BAD)
            PQexitPipelineMode(conn);
        return a;
    }
    // One result (and its end) per message sent, then the sync.
    auto take = [&](const QString &text, bool isPrepare, Rows *into) {
        PGresult *r = PQgetResult(conn);
        if (!r) {
            failWith(a, nullptr, conn, text);
            return false;
        }
        const ExecStatusType st = PQresultStatus(r);
        bool good = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
        if (good && into)
            *into = rowsOf(r);
        else if (st == PGRES_FATAL_ERROR)
            failWith(a, r, conn, text);
        else if (st == PGRES_PIPELINE_ABORTED)
            good = false;
        PQclear(r);
        while (PGresult *more = PQgetResult(conn)) // the end of this message's results
            PQclear(more);
        if (PQstatus(conn) == CONNECTION_BAD) {
            failWith(a, nullptr, conn, text);
            return false;
        }
        (void)isPrepare;
        return good;
    };
    for (size_t i = 0; i < sent.size(); ++i) {
        const QString &text = texts.at(int(i));
        if (sent[i].preparing) {
            if (take(text, true, nullptr)) {
                session.prepared.insert(text, sent[i].name);
                ++g_prepares;
            } else if (a.kind == Attempt::Lost) {
                return a;
            }
        }
        Rows rows;
        take(text, false, &rows);
        if (a.kind == Attempt::Lost)
            return a;
        a.rows << rows;
    }
    for (int gaps = 0;;) {
        PGresult *r = PQgetResult(conn);
        if (!r) {
            if (PQstatus(conn) == CONNECTION_BAD || ++gaps > 2) {
                failWith(a, nullptr, conn, texts.value(0));
                a.kind = Attempt::Lost;
                return a;
            }
            continue;
        }
        const ExecStatusType st = PQresultStatus(r);
        PQclear(r);
        if (st == PGRES_PIPELINE_SYNC)
            break;
    }
    PQexitPipelineMode(conn);
    return a;
}

// A connection of another driver (the legacy import's ODBC source)
Attempt sendThroughQt(const QSqlDatabase &db, const QList<Call> &calls)
{
    Attempt a;
    for (const Call &c : calls) {
        ++g_roundTrips;
        bool ok;
        QSqlQuery plain(db);
        QSqlQuery *query = &plain;
        if (c.values.isEmpty()) {
            plain.setForwardOnly(true);
            plain.setNumericalPrecisionPolicy(QSql::HighPrecision);
            ok = plain.exec(c.text);
        } else {
            // prepared once per connection, as on the program's own
            auto &cache = g_qtPrepared[db.connectionName()];
            auto it = cache.find(c.text);
            if (it == cache.end() || it->driver() != db.driver()) {
                QSqlQuery q(db);
                q.setForwardOnly(true);
                q.setNumericalPrecisionPolicy(QSql::HighPrecision);
                if (!q.prepare(c.text)) {
                    const QSqlError e = q.lastError();
                    a.sqlstate = e.nativeErrorCode();
                    a.error = e.databaseText().trimmed().isEmpty() ? e.text() : e.databaseText();
                    a.text = c.text;
                    a.kind = !db.isOpen() || lostCode(a.sqlstate) ? Attempt::Lost : Attempt::Failed;
                    return a;
                }
                ++g_prepares;
                it = cache.insert(c.text, q);
            }
            query = &it.value();
            for (int i = 0; i < c.values.size(); ++i)
                query->bindValue(i, c.values.at(i));
            ok = query->exec();
        }
        QSqlQuery &q = *query;
        if (!ok) {
            const QSqlError e = q.lastError();
            a.sqlstate = e.nativeErrorCode();
            a.error = e.databaseText().trimmed().isEmpty() ? e.text() : e.databaseText();
            a.text = c.text;
            a.kind = !db.isOpen() || lostCode(a.sqlstate) ? Attempt::Lost : Attempt::Failed;
            return a;
        }
        Rows rows;
        const QSqlRecord rec = q.record();
        for (int i = 0; i < rec.count(); ++i) {
            RowsBuilder::names(rows) << rec.fieldName(i);
            RowsBuilder::types(rows) << rec.field(i).metaType();
        }
        while (q.next()) {
            QVector<QVariant> row(rec.count());
            for (int i = 0; i < rec.count(); ++i)
                row[i] = q.value(i);
            RowsBuilder::rows(rows).push_back(std::move(row));
        }
        RowsBuilder::affected(rows) = q.numRowsAffected();
        if (q.lastError().isValid()) {
            a.error = q.lastError().databaseText().trimmed().isEmpty() ? q.lastError().text() : q.lastError().databaseText();
            a.sqlstate = q.lastError().nativeErrorCode();
            a.text = c.text;
            a.kind = Attempt::Failed;
            return a;
        }
        if (!c.values.isEmpty())
            q.finish();
        a.rows << rows;
    }
    return a;
}

void refuseSpliced(const QList<Call> &calls)
{
    if (g_typed.isEmpty())
        return;
    for (const Call &c : calls)
        for (const QString &lit : literals(c.text))
            for (const QString &typed : std::as_const(g_typed))
                if (!typed.isEmpty() && lit.contains(typed)) {
                    g_spliced << c.text;
                    throw DbError(QStringLiteral("Запрос собран из введённого текста: «%1».").arg(typed), c.text);
                }
}

Attempt attempt(const QString &connection, const QList<Call> &calls, const QStringList &texts, bool inTx)
{
    QSqlDatabase db = DbSession::database(connection);
    if (!isPostgres(db))
        return sendThroughQt(db, calls);
    PGconn *conn = pgconn(db);
    if (!conn) {
        Attempt a;
        a.kind = Attempt::Lost;
        return a;
    }
    Session &session = sessionFor(connection, conn);
    Attempt a;
    // Several statements in one text cannot be prepared; the end of a
    // transaction goes as plain text too, so that a proxy watching for it
    // (and a server log) sees the word.
    if (calls.size() == 1 && calls.first().values.isEmpty()
        && ((inTx && ending(calls.first().text)) || severalStatements(calls.first().text)))
        a = sendSimple(conn, calls.first());
    else
        a = sendPipeline(session, conn, calls, texts);
    // A plan cached before a change of the tables it reads ("cached plan must
    // not change result type"), or a statement the session no longer has:
    // outside a transaction nothing was done, so prepare everything again.
    if (a.kind == Attempt::Failed && !inTx
        && (a.sqlstate == QLatin1String("0A000") || a.sqlstate == QLatin1String("26000"))) {
        session.prepared.clear();
        a = sendPipeline(session, conn, calls, texts);
    }
    if (a.kind != Attempt::Lost)
        deliverNotices(db, conn);
    return a;
}

bool connectionDown(const QString &connection)
{
    const QSqlDatabase db = DbSession::database(connection);
    if (!db.isOpen())
        return true;
    if (!isPostgres(db))
        return false;
    PGconn *conn = pgconn(db);
    if (!conn)
        return true;
    // A session the server ended while it stood idle has left its goodbye on
    // the socket: read it before sending, so that a write is not sent into a
    // dead connection, where its outcome would be unknown. (No round trip.)
    // The end is seen on a second read, after the server's last message.
    for (int i = 0; i < 4 && PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) != PQTRANS_ACTIVE; ++i) {
        pollfd p{PQsocket(conn), POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            break;
        deliverNotices(db, conn); // reads what arrived: notices, or the end
    }
    return PQstatus(conn) == CONNECTION_BAD;
}

[[noreturn]] void throwFailed(const Attempt &a)
{
    QString t = errorText(a.error, a.sqlstate);
    if (t.isEmpty()) {
        QString what = a.text.simplified();
        if (what.size() > 160)
            what = what.left(160) + QStringLiteral("…");
        t = QStringLiteral("База данных не выполнила запрос и не сообщила причину.\nЗапрос: ") + what;
    }
    throw DbError(t, a.text);
}

// Sent outside a transaction, a write or a commit may have been stored
// before the reply was lost; inside one, the server rolled it back.
bool outcomeUnknown(Retry retry, bool inTx) { return retry == Retry::Commit || (!inTx && retry == Retry::Never); }

// The connection of a sent statement whose reply was lost is opened again,
// then the loss is thrown. When no server takes it yet (the primary died and
// a standby is still being promoted), a write whose outcome is unknown stays
// one: its save key settles it on whichever server takes the next attempt.
[[noreturn]] void reopenAndThrowLost(const QString &connection, const QString &text, Retry retry, bool inTx)
{
    const bool unknown = outcomeUnknown(retry, inTx);
    try {
        DbSession::reopenLost(connection);
    } catch (const DbError &) {
        if (!unknown)
            throw;
        throw DbSession::ConnectionLost(QString::fromUtf8(DbSession::LostCommitOfflineText), text, true);
    }
    throw DbSession::ConnectionLost(QString::fromUtf8(unknown ? DbSession::LostCommitText : DbSession::LostWriteText),
                                    text, unknown);
}


// runEach's trip: each statement (at the indices `which`) followed by a sync
// of its own, so that each is an implicit transaction of its own.
bool sendEach(Session &session, PGconn *conn, const QList<Call> &calls, const QStringList &texts, const QVector<int> &which,
              QList<Each> &out, QVector<QString> &states, Attempt &lost)
{
    auto gone = [&](const QString &text) {
        failWith(lost, nullptr, conn, text);
        lost.kind = Attempt::Lost;
        return false;
    };
    while (PGresult *r = PQgetResult(conn))
        PQclear(r);
    if (!PQenterPipelineMode(conn))
        return gone(texts.value(which.value(0)));
    std::vector<Params> params;
    params.reserve(size_t(which.size()));
    std::vector<QByteArray> names;
    std::vector<bool> preparing;
    bool ok = true;
    for (int i : which) {
        QByteArray name = session.prepared.value(texts.at(i));
        const bool prep = name.isEmpty();
        if (prep) {
            name = "tabel_" + QByteArray::number(++g_names);
            ok = ok && PQsendPrepare(conn, name.constData(), texts.at(i).toUtf8().constData(), 0, nullptr) == 1;
        }
        params.emplace_back(calls.at(i).values);
        const Params &p = params.back();
        ok = ok && PQsendQueryPrepared(conn, name.constData(), int(p.values.size()), p.values.data(), nullptr, nullptr, 0) == 1;
        ok = ok && PQpipelineSync(conn) == 1;
        names.push_back(name);
        preparing.push_back(prep);
    }
    ++g_roundTrips;
    if (!ok) {
        gone(texts.value(which.value(0)));
        if (PQstatus(conn) != CONNECTION_BAD)
            PQexitPipelineMode(conn);
        return false;
    }
    // The next result; the empty reads between results are skipped, and
    // only empty reads mean the connection is gone.
    auto next = [&]() -> PGresult * {
        for (int gaps = 0; gaps < 3; ++gaps) {
            if (PGresult *r = PQgetResult(conn))
                return r;
            if (PQstatus(conn) == CONNECTION_BAD)
                break;
        }
        return nullptr;
    };
    for (size_t k = 0; k < size_t(which.size()); ++k) {
        const int i = which.at(int(k));
        Each &e = out[i];
        e = Each();
        states[i].clear();
        bool awaitingPrepare = preparing[k];
        for (;;) {
            PGresult *r = next();
            if (!r)
                return gone(texts.at(i));
            const ExecStatusType st = PQresultStatus(r);
            if (st == PGRES_PIPELINE_SYNC) {
                PQclear(r);
                break;
            }
            const bool isPrepare = awaitingPrepare;
            awaitingPrepare = false;
            if (st == PGRES_FATAL_ERROR) {
                Attempt one;
                failWith(one, r, conn, texts.at(i));
                PQclear(r);
                if (one.kind == Attempt::Lost) {
                    lost = one;
                    return false;
                }
                if (e.error.isEmpty()) {
                    e.error = errorText(one.error, one.sqlstate);
                    states[i] = one.sqlstate;
                }
                continue;
            }
            if (isPrepare) {
                if (st == PGRES_COMMAND_OK) {
                    session.prepared.insert(texts.at(i), names[k]);
                    ++g_prepares;
                }
            } else if (st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK) {
                e.rows = rowsOf(r);
                e.ok = true;
            }
            PQclear(r);
        }
        if (!e.ok && e.error.isEmpty())
            e.error = QStringLiteral("База данных не выполнила запрос и не сообщила причину.");
    }
    PQexitPipelineMode(conn);
    return true;
}

} // namespace

QList<Rows> runTogether(const QString &connection, const QList<Call> &calls, Retry retry)
{
    if (calls.isEmpty())
        return {};
    refuseSpliced(calls);
    QStringList texts;
    for (const Call &c : calls)
        texts << numbered(c.text);
    if (retry == Retry::Opening) {
        const Attempt a = attempt(connection, calls, texts, false);
        if (a.kind != Attempt::Ok)
            throwFailed(a);
        return a.rows;
    }
    const bool inTx = DbSession::inTransaction(connection) && retry != Retry::Commit;
    const bool ending = retry == Retry::Commit;
    if ((inTx || ending) && DbSession::transactionBroken(connection))
        throw DbSession::ConnectionLost(QString::fromUtf8(DbSession::LostWriteText), texts.first(), false);
    const bool quiet = retry == Retry::Probe;
    if (connectionDown(connection)) {
        // Lost earlier; nothing of these statements has been sent yet.
        DbSession::reopenLost(connection);
        if (inTx || ending)
            throw DbSession::ConnectionLost(QString::fromUtf8(DbSession::LostWriteText), texts.first(), false);
        if (!quiet)
            DbSession::tellReconnected();
    }
    Attempt a = attempt(connection, calls, texts, inTx || ending);
    if (a.kind == Attempt::Ok)
        return a.rows;
    if (a.kind == Attempt::Failed)
        throwFailed(a);
    if (inTx || ending || retry != Retry::Read)
        reopenAndThrowLost(connection, a.text.isEmpty() ? texts.first() : a.text, retry, inTx);
    DbSession::reopenLost(connection);
    DbSession::tellReconnected();
    a = attempt(connection, calls, texts, false);
    if (a.kind != Attempt::Ok)
        throwFailed(a);
    return a.rows;
}

QList<Each> runEach(const QString &connection, const QList<Call> &calls)
{
    if (calls.isEmpty())
        return {};
    if (DbSession::inTransaction(connection))
        throw DbError(QStringLiteral("Запросы по одному нельзя послать внутри транзакции."), calls.first().text);
    refuseSpliced(calls);
    QStringList texts;
    for (const Call &c : calls)
        texts << numbered(c.text);
    if (connectionDown(connection)) {
        // Lost earlier; nothing of these statements has been sent yet.
        DbSession::reopenLost(connection);
        DbSession::tellReconnected();
    }
    QList<Each> out;
    for (int i = 0; i < calls.size(); ++i)
        out << Each();
    QSqlDatabase db = DbSession::database(connection);
    if (!isPostgres(db)) {
        for (int i = 0; i < calls.size(); ++i) {
            const Attempt a = sendThroughQt(db, {calls.at(i)});
            if (a.kind == Attempt::Lost)
                reopenAndThrowLost(connection, a.text, Retry::Never, false);
            out[i].ok = a.kind == Attempt::Ok;
            out[i].rows = a.rows.value(0);
            if (!out[i].ok)
                out[i].error = errorText(a.error, a.sqlstate);
        }
        return out;
    }
    PGconn *conn = pgconn(db);
    if (!conn)
        reopenAndThrowLost(connection, texts.first(), Retry::Never, false);
    Session &session = sessionFor(connection, conn);
    QVector<QString> states(calls.size());
    QVector<int> which;
    for (int i = 0; i < calls.size(); ++i)
        which << i;
    Attempt lost;
    if (!sendEach(session, conn, calls, texts, which, out, states, lost))
        reopenAndThrowLost(connection, lost.text.isEmpty() ? texts.first() : lost.text, Retry::Never, false);
    // A plan cached before a change of the tables it reads, or a statement
    // the session no longer has: that statement did nothing, so it alone
    // goes again, prepared afresh.
    which.clear();
    for (int i = 0; i < calls.size(); ++i)
        if (states[i] == QLatin1String("0A000") || states[i] == QLatin1String("26000")) {
            session.prepared.remove(texts.at(i));
            which << i;
        }
    if (!which.isEmpty() && !sendEach(session, conn, calls, texts, which, out, states, lost))
        reopenAndThrowLost(connection, lost.text.isEmpty() ? texts.first() : lost.text, Retry::Never, false);
    deliverNotices(db, conn);
    return out;
}

Rows run(const QString &connection, const QString &text, const QVariantList &values, Retry retry)
{
    return runTogether(connection, {Call{text, values}}, retry).value(0);
}

quint64 roundTrips() { return g_roundTrips.load(); }
quint64 prepares() { return g_prepares.load(); }

QString numbered(const QString &text, int *count)
{
    QString out;
    out.reserve(text.size() + 8);
    int n = 0, last = 0;
    walk(
        text,
        [&](int i) {
            if (text.at(i) != QLatin1Char('?'))
                return;
            out += QStringView(text).mid(last, i - last);
            out += QLatin1Char('$') + QString::number(++n);
            last = i + 1;
        },
        [](const QString &) {});
    out += QStringView(text).mid(last);
    if (count)
        *count = n;
    return out;
}

QStringList literals(const QString &text)
{
    QStringList out;
    walk(text, [](int) {}, [&](const QString &lit) { out << lit; });
    return out;
}

QByteArray parameterText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QByteArray();
    switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong: return QByteArray::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong: return QByteArray::number(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (qIsNaN(d))
            return QByteArrayLiteral("NaN");
        if (qIsInf(d))
            return d > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
        return QByteArray::number(d, 'g', QLocale::FloatingPointShortest);
    }
    case QMetaType::QDate: return value.toDate().toString(Qt::ISODate).toLatin1();
    case QMetaType::QTime: return value.toTime().toString(Qt::ISODateWithMs).toLatin1();
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.toOffsetFromUtc(dt.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1();
    }
    case QMetaType::QByteArray: return QByteArrayLiteral("\\x") + value.toByteArray().toHex();
    case QMetaType::QUuid: return value.toUuid().toString(QUuid::WithoutBraces).toLatin1();
    default: {
        QString s = value.toString();
        s.remove(QChar(0)); // text cannot hold NUL
        return s.toUtf8();
    }
    }
}

void guardTyped(const QStringList &typedValues)
{
    g_typed = typedValues;
    g_spliced.clear();
}

QStringList splicedStatements() { return g_spliced; }

void forget(const QString &connection)
{
    g_sessions.remove(connection);
    g_qtPrepared.remove(connection);
}

} // namespace Gateway

#include "Gateway.h"
#include "LockTimeout.h"

#include "DbSession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QSocketNotifier>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <algorithm>
#include <atomic>
#include <libpq-fe.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
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

struct Prepared {
    QByteArray name;
    quint64 used = 0; // when last sent (the session's counter)
};

// One named connection the gateway opened: its libpq connection, what is
// prepared there, its limits and its channels.
struct Session {
    Settings settings;
    QString setup;
    bool longByDefault = false;
    PGconn *conn = nullptr;
    int pid = 0;
    QHash<QString, Prepared> prepared;   // statement text -> its name on the server
    QList<QByteArray> toDeallocate;      // evicted names the server may still hold
    bool deallocateAll = false;          // the cache was forgotten: the server's copies go too
    quint64 uses = 0;
    int statementMs = 15000, lockMs = 5000, longMs = 300000;
    int currentMs = -1;                  // the statement limit in force on the server session (-1: unknown)
    bool busy = false;
    bool closing = false;                // closed while it waited: dropped once the wait is over
    bool syncRepCancelled = false;       // a commit's wait for the standby was cancelled
    QHash<QString, Notification> listeners; // channel -> handler
    std::unique_ptr<QSocketNotifier> notifier;

    ~Session() { drop(); }
    void drop()
    {
        notifier.reset();
        if (conn)
            PQfinish(conn);
        conn = nullptr;
        pid = 0;
        prepared.clear();
        toDeallocate.clear();
        deallocateAll = false;
        currentMs = -1;
    }
};
using SessionPtr = std::shared_ptr<Session>;

QHash<QString, SessionPtr> g_sessions;
std::atomic<quint64> g_roundTrips{0};
std::atomic<quint64> g_prepares{0};
quint64 g_names = 0;
int g_long = 0; // LongStatements alive
WaitHook g_waitHook;
QStringList g_typed;
QStringList g_spliced;
QHash<QString, QHash<QString, QSqlQuery>> g_qtPrepared; // other drivers' statements by connection

const char *const BusyText =
    "Сервер ещё выполняет предыдущий запрос этого рабочего места. Дождитесь его ответа и повторите действие.";

SessionPtr sessionOf(const QString &connection)
{
    const SessionPtr s = g_sessions.value(connection);
    return s && s->conn ? s : SessionPtr();
}

// "15s", "500ms", "2min", "1h", "15" (milliseconds, as the server reads a bare number); -1 when unreadable.
int millisecondsOf(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d+)\\s*(ms|s|min|h)?\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return -1;
    const qint64 n = m.captured(1).toLongLong();
    const QString unit = m.captured(2);
    const qint64 ms = unit == QLatin1String("s") ? n * 1000
        : unit == QLatin1String("min")           ? n * 60000
        : unit == QLatin1String("h")             ? n * 3600000
                                                 : n;
    return int(qMin<qint64>(ms, 24LL * 3600000));
}

int limitFromEnvironment(const char *name)
{
    const QString v = qEnvironmentVariable(name);
    const int ms = v.isEmpty() ? -1 : millisecondsOf(v);
    if (!v.isEmpty() && ms <= 0)
        qWarning("tabel: %s=%s is not a time (e.g. 15s, 500ms, 2min); ignored", name, qPrintable(v));
    return ms > 0 ? ms : -1;
}

int wantedLimit(const Session &s) { return g_long > 0 || s.longByDefault ? s.longMs : s.statementMs; }

// A commit's wait for its synchronous standby, cancelled (by the user, the
// statement's limit or a shutdown), ends in success with a warning: the
// transaction is committed here but perhaps on no standby. Heard here,
// since the answer itself says nothing.
void onNotice(void *arg, const PGresult *r)
{
    auto *s = static_cast<Session *>(arg);
    const char *severity = PQresultErrorField(r, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (!severity || qstrcmp(severity, "WARNING") != 0)
        return;
    const QString text = QString::fromUtf8(PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY)) + QLatin1Char(' ')
        + QString::fromUtf8(PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL));
    if (text.contains(QLatin1String("synchronous replication"), Qt::CaseInsensitive)
        || text.contains(QLatin1String("committed locally"), Qt::CaseInsensitive)
        || text.contains(QStringLiteral("синхронной репликации"), Qt::CaseInsensitive))
        s->syncRepCancelled = true;
}

// The notices read with a statement's answer (queued: the statement's caller
// is still at work) or off an idle socket (at once).
void dispatchNotifications(const SessionPtr &s, bool queued)
{
    if (!s->conn)
        return;
    while (PGnotify *n = PQnotifies(s->conn)) {
        const QString channel = QString::fromUtf8(n->relname);
        const QString payload = QString::fromUtf8(n->extra);
        const bool self = n->be_pid == s->pid;
        PQfreemem(n);
        const Notification handler = s->listeners.value(channel);
        if (!handler)
            continue;
        if (queued && QCoreApplication::instance())
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [handler, payload, self]() { handler(payload, self); },
                Qt::QueuedConnection);
        else
            handler(payload, self);
    }
}

void readIdleSocket(const std::weak_ptr<Session> &weak)
{
    const SessionPtr s = weak.lock();
    if (!s || !s->conn || s->busy)
        return;
    if (!PQconsumeInput(s->conn) || PQstatus(s->conn) == CONNECTION_BAD) {
        // the server ended the session: the next statement (or the idle probe) finds it
        if (s->notifier)
            s->notifier->setEnabled(false);
        return;
    }
    dispatchNotifications(s, false);
}

void watchIdleSocket(const SessionPtr &s)
{
    s->notifier.reset();
    if (!s->conn || !QCoreApplication::instance() || PQsocket(s->conn) < 0)
        return;
    s->notifier = std::make_unique<QSocketNotifier>(PQsocket(s->conn), QSocketNotifier::Read);
    const std::weak_ptr<Session> weak = s;
    QObject::connect(s->notifier.get(), &QSocketNotifier::activated, [weak]() { readIdleSocket(weak); });
}

// ---- Waiting -------------------------------------------------------------------

// One wait for the server: the windows repaint meanwhile and take no input
// (held until the answer came); after BusyAfterMs a box offers to cancel,
// and only the box takes input. When the statement's limit has passed and
// the server still says nothing (its own limit does not cover a commit's
// wait for a standby), the server is asked to cancel; when even that brings
// no answer, the connection counts as lost.
struct Wait {
    QElapsedTimer clock;
    qint64 cancelAt;      // ms since the start
    qint64 lostAt = -1;   // set once a cancel was sent
    bool userCancelled = false;
    bool timedOut = false;
    PGconn *conn = nullptr; // whose statement may be cancelled (none while connecting)
    QPointer<QObject> box;

    Wait(PGconn *c, qint64 limitMs) : cancelAt(limitMs + 1000), conn(c) { clock.start(); }
    ~Wait() { delete box.data(); }
    Wait(const Wait &) = delete;
    Wait &operator=(const Wait &) = delete;

    void cancel(bool byUser)
    {
        if (lostAt >= 0)
            return;
        (byUser ? userCancelled : timedOut) = true;
        if (!conn) {
            lostAt = clock.elapsed(); // a connection being opened is simply abandoned
            return;
        }
        lostAt = clock.elapsed() + 5000;
        // Sent from a thread of its own: reaching a server behind a dead
        // network may take minutes, and the wait must end at lostAt anyway.
        if (PGcancel *c = PQgetCancel(conn))
            std::thread([c]() {
                char err[256];
                PQcancel(c, err, sizeof err);
                PQfreeCancel(c);
            }).detach();
    }

    // Until fd is ready for `events` (POLLIN, POLLOUT); false when the wait ended without it.
    bool until(int fd, short events)
    {
        if (fd < 0)
            return false;
        pollfd p{fd, events, 0};
        QCoreApplication *app = QCoreApplication::instance();
        const bool loop = app && QThread::currentThread() == app->thread();
        for (;;) {
            const qint64 now = clock.elapsed();
            if (lostAt >= 0 && now >= lostAt)
                return false;
            if (lostAt < 0 && now >= cancelAt)
                cancel(false);
            // Most answers come within a few milliseconds: no event handling for them.
            if (!loop || now < 40) {
                if (::poll(&p, 1, loop ? int(40 - now) : 50) > 0)
                    return true;
                continue;
            }
            if (!box && g_waitHook && now >= BusyAfterMs)
                box = g_waitHook([this]() { cancel(true); });
            // The windows repaint every few milliseconds; input waits for the
            // answer unless the box (modal) is up to take it.
            QCoreApplication::processEvents(box ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
            if (::poll(&p, 1, 10) > 0)
                return true;
        }
    }
};

// Connects in a thread of its own, so that libpq's own timeouts (each of
// several hosts tried in turn) run as they do, while the windows repaint and
// the busy box can give up.
PGconn *connectWaiting(const QByteArray &conninfo)
{
    struct State {
        std::mutex m;
        PGconn *conn = nullptr;
        bool done = false, abandoned = false;
        int fds[2] = {-1, -1};
    };
    auto st = std::make_shared<State>();
    if (::pipe(st->fds) != 0)
        return PQconnectdb(conninfo.constData());
    std::thread([st, conninfo]() {
        PGconn *c = PQconnectdb(conninfo.constData());
        std::lock_guard<std::mutex> lock(st->m);
        if (st->abandoned) {
            PQfinish(c);
            ::close(st->fds[0]);
            ::close(st->fds[1]);
            return;
        }
        st->conn = c;
        st->done = true;
        const char x = 1;
        (void)!::write(st->fds[1], &x, 1);
    }).detach();
    Wait w(nullptr, 24LL * 3600000);
    w.until(st->fds[0], POLLIN);
    std::lock_guard<std::mutex> lock(st->m);
    if (!st->done) {
        st->abandoned = true;
        throw DbError(QStringLiteral("Подключение к базе данных отменено."));
    }
    ::close(st->fds[0]);
    ::close(st->fds[1]);
    return st->conn;
}

QByteArray conninfoOf(const Settings &s)
{
    auto quoted = [](QString v) {
        v.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        v.replace(QLatin1Char('\''), QLatin1String("\\'"));
        return QLatin1Char('\'') + v + QLatin1Char('\'');
    };
    // the program reads and writes UTF-8 whatever the site's defaults
    QString c = QStringLiteral("client_encoding=UTF8");
    if (!s.host.isEmpty())
        c += QStringLiteral(" host=") + quoted(s.host);
    if (!s.database.isEmpty())
        c += QStringLiteral(" dbname=") + quoted(s.database);
    if (!s.user.isEmpty())
        c += QStringLiteral(" user=") + quoted(s.user);
    if (!s.password.isEmpty())
        c += QStringLiteral(" password=") + quoted(s.password);
    if (s.port != -1)
        c += QStringLiteral(" port=") + QString::number(s.port);
    if (!s.options.isEmpty()) {
        QString o = s.options;
        o.replace(QLatin1Char(';'), QLatin1Char(' '));
        c += QLatin1Char(' ') + o;
    }
    return c.toUtf8();
}

// What came back from one attempt at sending the statements.
struct Attempt {
    enum Kind { Ok, Failed, Lost } kind = Ok;
    QString error;    // the server's text
    QString sqlstate;
    QString text;     // the statement that failed
    QList<Rows> rows;
    bool cancelled = false; // by the user, from the busy box
    bool timedOut = false;  // the client's limit passed
    bool unconfirmed = false; // a commit's wait for the standby was cancelled
    int limitMs = 0;
    QList<Each> each;         // runEach: each statement's own outcome
    QStringList eachState;    // and its SQLSTATE when it failed
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

void lostBy(Attempt &a, Session &s, const Wait &w, const QString &text)
{
    if (a.kind == Attempt::Lost)
        return;
    a = Attempt{};
    a.kind = Attempt::Lost;
    a.text = text;
    a.cancelled = w.userCancelled;
    a.timedOut = w.timedOut;
    a.error = QStringLiteral("Сервер не ответил.");
    // nothing more can be read from it in order: the session is given up
    s.drop();
}

// ---- Values ----------------------------------------------------------------------

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

// ---- Sending ----------------------------------------------------------------------

// Everything sent leaves the client (the server's answers read meanwhile).
bool flushed(Session &s, Wait &w)
{
    for (;;) {
        const int f = PQflush(s.conn);
        if (f == 0)
            return true;
        if (f < 0 || !w.until(PQsocket(s.conn), POLLIN | POLLOUT))
            return false;
        if (!PQconsumeInput(s.conn))
            return false;
    }
}

// The next result, waited for; null at the end of a statement's results, or
// when the connection failed or the wait ended (*ended then).
PGresult *nextResult(Session &s, Wait &w, bool *ended)
{
    while (PQisBusy(s.conn)) {
        if (!w.until(PQsocket(s.conn), POLLIN) || !PQconsumeInput(s.conn)) {
            *ended = true;
            return nullptr;
        }
    }
    return PQgetResult(s.conn);
}

// A text sent as it stands (several statements, the end of a transaction,
// a session's set-up): the last statement's rows.
Attempt sendSimple(Session &s, Wait &w, const QString &text)
{
    Attempt a;
    ++g_roundTrips;
    PGconn *conn = s.conn;
    if (!PQsendQuery(conn, text.toUtf8().constData()) || !flushed(s, w)) {
        if (w.userCancelled || w.timedOut)
            lostBy(a, s, w, text);
        else
            failWith(a, nullptr, conn, text);
        return a;
    }
    for (;;) {
        bool ended = false;
        PGresult *r = nextResult(s, w, &ended);
        if (ended) {
            lostBy(a, s, w, text);
            return a;
        }
        if (!r)
            break;
        const ExecStatusType st = PQresultStatus(r);
        if (st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK) {
            if (a.kind == Attempt::Ok) {
                a.rows.clear();
                a.rows << rowsOf(r);
            }
        } else {
            failWith(a, r, conn, text);
        }
        PQclear(r);
    }
    if (PQstatus(conn) == CONNECTION_BAD)
        failWith(a, nullptr, conn, text);
    return a;
}

// The statements in one pipeline: each one not yet prepared on this session
// is prepared in the same trip, just before it runs; the session's limit, and
// the statements evicted from its cache, ride along.
Attempt sendPipeline(Session &session, Wait &w, const QList<Call> &calls, const QStringList &texts, bool eachOwn = false)
{
    Attempt a;
    if (eachOwn) {
        for (int i = 0; i < calls.size(); ++i) {
            a.each << Each();
            a.eachState << QString();
        }
    }
    PGconn *conn = session.conn;
    if (!PQenterPipelineMode(conn)) {
        failWith(a, nullptr, conn, texts.value(0));
        return a;
    }
    enum Kind { Limit, Deallocate, Prepare, Execute, Sync };
    struct Sent {
        Kind kind;
        int call = -1;
        QByteArray name;
    };
    std::vector<Sent> sent;
    bool ok = true;

    const int want = wantedLimit(session);
    QByteArray wantText;
    if (session.currentMs != want) {
        wantText = QByteArray::number(want) + "ms";
        const char *v[] = {wantText.constData()};
        ok = PQsendQueryParams(conn, "select set_config('statement_timeout', $1, false)", 1, nullptr, v, nullptr,
                               nullptr, 0) == 1;
        sent.push_back({Limit, -1, {}});
    }

    // The names this batch uses, and those it must make.
    QHash<QString, QByteArray> names;
    QSet<QString> fresh;
    for (const QString &t : texts) {
        auto it = session.prepared.find(t);
        if (it != session.prepared.end()) {
            it->used = ++session.uses;
            names.insert(t, it->name);
        } else if (!names.contains(t)) {
            names.insert(t, "tabel_" + QByteArray::number(++g_names));
            fresh.insert(t);
        }
    }
    // Beyond the cap the least recently used go (never one this batch uses).
    QList<QByteArray> drop = session.toDeallocate;
    session.toDeallocate.clear();
    int excess = int(session.prepared.size() + fresh.size()) - PreparedCap;
    if (excess > 0 && !session.deallocateAll) {
        QVector<QPair<quint64, QString>> byUse;
        for (auto it = session.prepared.cbegin(); it != session.prepared.cend(); ++it)
            if (!names.contains(it.key()))
                byUse.append({it->used, it.key()});
        std::sort(byUse.begin(), byUse.end());
        for (int i = 0; i < byUse.size() && excess > 0; ++i, --excess)
            drop << session.prepared.take(byUse.at(i).second).name;
    }
    if (session.deallocateAll) {
        ok = ok && PQsendQueryParams(conn, "DEALLOCATE ALL", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        sent.push_back({Deallocate, -1, {}});
        drop.clear();
    }
    for (const QByteArray &name : std::as_const(drop)) {
        ok = ok && PQsendQueryParams(conn, ("DEALLOCATE " + name).constData(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        sent.push_back({Deallocate, -1, name});
    }

    std::vector<Params> params;
    params.reserve(size_t(calls.size()));
    for (int i = 0; i < calls.size() && ok; ++i) {
        const QString &t = texts.at(i);
        const QByteArray name = names.value(t);
        if (fresh.remove(t)) {
            ok = PQsendPrepare(conn, name.constData(), t.toUtf8().constData(), 0, nullptr) == 1;
            sent.push_back({Prepare, i, name});
        }
        params.emplace_back(calls.at(i).values);
        const Params &p = params.back();
        ok = ok && PQsendQueryPrepared(conn, name.constData(), int(p.values.size()), p.values.data(), nullptr, nullptr, 0) == 1;
        sent.push_back({Execute, i, name});
        if (eachOwn && i + 1 < calls.size()) {
            // a sync of its own: the statement is a transaction of its own
            ok = ok && PQpipelineSync(conn) == 1;
            sent.push_back({Sync, i, {}});
        }
    }
    ok = ok && PQpipelineSync(conn) == 1;
    ++g_roundTrips;
    if (!ok || !flushed(session, w)) {
        session.toDeallocate << drop;
        if (w.userCancelled || w.timedOut)
            lostBy(a, session, w, texts.value(0));
        else
            failWith(a, nullptr, conn, texts.value(0));
        if (session.conn && PQstatus(conn) != CONNECTION_BAD)
            PQexitPipelineMode(conn);
        return a;
    }

    // One result (and its end) per message sent, then the sync.
    auto take = [&](const QString &text, int call, Rows *into, bool *ended) {
        PGresult *r = nextResult(session, w, ended);
        if (*ended)
            return false;
        if (!r) {
            failWith(a, nullptr, conn, text);
            return false;
        }
        const ExecStatusType st = PQresultStatus(r);
        const bool good = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
        if (good && into)
            *into = rowsOf(r);
        else if (st == PGRES_FATAL_ERROR) {
            const QString state = QString::fromLatin1(PQresultErrorField(r, PG_DIAG_SQLSTATE));
            if (eachOwn && call >= 0 && PQstatus(conn) != CONNECTION_BAD && !lostCode(state)) {
                // this statement's own failure: the others go on
                a.each[call].error = errorText(QString::fromUtf8(PQresultErrorMessage(r)), state);
                if (a.each[call].error.isEmpty())
                    a.each[call].error = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
                a.eachState[call] = state;
            } else {
                failWith(a, r, conn, text);
            }
        }
        PQclear(r);
        for (;;) { // the end of this message's results
            PGresult *more = nextResult(session, w, ended);
            if (*ended || !more)
                break;
            PQclear(more);
        }
        if (*ended)
            return false;
        if (PQstatus(conn) == CONNECTION_BAD) {
            failWith(a, nullptr, conn, text);
            return false;
        }
        return good;
    };
    // Up to and including the next sync's own result; false when the connection went.
    auto awaitSync = [&](const QString &text) {
        for (int gaps = 0;;) {
            bool ended = false;
            PGresult *r = nextResult(session, w, &ended);
            if (ended) {
                lostBy(a, session, w, text);
                return false;
            }
            if (!r) {
                if (PQstatus(conn) == CONNECTION_BAD || ++gaps > 2) {
                    failWith(a, nullptr, conn, text);
                    a.kind = Attempt::Lost;
                    return false;
                }
                continue;
            }
            const ExecStatusType st = PQresultStatus(r);
            PQclear(r);
            if (st == PGRES_PIPELINE_SYNC)
                return true;
        }
    };
    for (const Sent &s : sent) {
        const QString text = s.call >= 0 ? texts.at(s.call) : QString();
        if (s.kind == Sync) {
            if (!awaitSync(text))
                return a;
            continue;
        }
        bool ended = false;
        Rows rows;
        const bool good = take(text, eachOwn ? s.call : -1, s.kind == Execute ? &rows : nullptr, &ended);
        if (ended) {
            lostBy(a, session, w, texts.value(qMax(0, s.call)));
            return a;
        }
        if (a.kind == Attempt::Lost)
            return a;
        switch (s.kind) {
        case Limit:
            session.currentMs = good ? want : -1;
            break;
        case Deallocate:
            if (good)
                session.deallocateAll = s.name.isEmpty() ? false : session.deallocateAll;
            else if (!s.name.isEmpty())
                session.toDeallocate << s.name;
            break;
        case Prepare:
            if (good) {
                session.prepared.insert(text, Prepared{s.name, ++session.uses});
                ++g_prepares;
            }
            break;
        case Execute:
            a.rows << rows;
            if (eachOwn && good) {
                a.each[s.call].ok = true;
                a.each[s.call].rows = rows;
            } else if (eachOwn && a.each[s.call].error.isEmpty()) {
                // skipped after its own prepare failed
                a.each[s.call].error = QStringLiteral("База данных не выполнила запрос.");
            }
            break;
        case Sync:
            break;
        }
    }
    if (!awaitSync(texts.value(0)))
        return a;
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

// The limit a wait on the session ends at: the one the batch runs under.
int limitFor(const Session &s) { return qMax(wantedLimit(s), s.currentMs); }

Attempt attemptOn(const SessionPtr &sp, const QList<Call> &calls, const QStringList &texts, bool inTx, int waitMs = 0,
                  bool asText = false, bool eachOwn = false)
{
    Session &session = *sp;
    Attempt a;
    if (!session.conn) {
        a.kind = Attempt::Lost;
        return a;
    }
    session.busy = true;
    session.syncRepCancelled = false;
    if (session.notifier)
        session.notifier->setEnabled(false);
    const int limit = waitMs > 0 ? waitMs : limitFor(session);
    {
        Wait w(session.conn, limit);
        // Several statements in one text cannot be prepared; the end of a
        // transaction goes as plain text too, so that a proxy watching for it
        // (and a server log) sees the word.
        const bool simple = !eachOwn && (asText
            || (calls.size() == 1 && calls.first().values.isEmpty()
                && ((inTx && ending(calls.first().text)) || severalStatements(calls.first().text))));
        if (simple) {
            a = sendSimple(session, w, calls.first().text);
            // a rollback takes back the limit a failed transaction set
            if (calls.first().text.trimmed().compare(QLatin1String("rollback"), Qt::CaseInsensitive) == 0)
                session.currentMs = -1;
        } else {
            a = sendPipeline(session, w, calls, texts, eachOwn);
        }
        // A plan cached before a change of the tables it reads ("cached plan must
        // not change result type"), or a statement the session no longer has:
        // outside a transaction nothing was done, so prepare everything again.
        if (a.kind == Attempt::Failed && !inTx && !simple
            && (a.sqlstate == QLatin1String("0A000") || a.sqlstate == QLatin1String("26000"))) {
            session.prepared.clear();
            session.deallocateAll = true;
            a = sendPipeline(session, w, calls, texts);
        }
        if (a.kind == Attempt::Failed && inTx)
            session.currentMs = -1; // a limit set inside the failed transaction goes with it
        a.cancelled = a.cancelled || w.userCancelled;
        a.timedOut = a.timedOut || w.timedOut;
        a.limitMs = limit;
    }
    a.unconfirmed = session.syncRepCancelled;
    session.busy = false;
    if (session.closing) {
        session.closing = false;
        session.drop();
    }
    if (session.conn) {
        dispatchNotifications(sp, true);
        if (session.notifier)
            session.notifier->setEnabled(true);
    }
    return a;
}

Attempt attempt(const QString &connection, const QList<Call> &calls, const QStringList &texts, bool inTx)
{
    const SessionPtr s = g_sessions.value(connection);
    if (s)
        return attemptOn(s, calls, texts, inTx);
    QSqlDatabase db = DbSession::database(connection);
    if (db.isValid() && db.isOpen())
        return sendThroughQt(db, calls);
    Attempt a;
    a.kind = Attempt::Lost;
    return a;
}

bool connectionDown(const QString &connection)
{
    const SessionPtr s = g_sessions.value(connection);
    if (!s) {
        const QSqlDatabase db = DbSession::database(connection);
        return !db.isOpen();
    }
    PGconn *conn = s->conn;
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
        if (!PQconsumeInput(conn))
            break;
        dispatchNotifications(s, true);
    }
    return PQstatus(conn) == CONNECTION_BAD;
}

// Sent outside a transaction, a write or a commit may have been stored
// before the reply was lost; inside one, the server rolled it back.
bool outcomeUnknown(Retry retry, bool inTx) { return retry == Retry::Commit || (!inTx && retry == Retry::Never); }

QString seconds(int ms) { return QString::number((ms + 999) / 1000); }

[[noreturn]] void throwFailed(const Attempt &a, Retry retry = Retry::Read, bool inTx = false)
{
    const bool write = inTx || retry == Retry::Never || retry == Retry::Commit;
    // A statement ended by its limit or by the user: the server undid it.
    if (a.sqlstate == QLatin1String("57014") || a.sqlstate == QLatin1String("55P03")) {
        QString t;
        if (a.cancelled)
            t = QStringLiteral("Ожидание ответа сервера отменено");
        else if (a.sqlstate == QLatin1String("55P03"))
            t = QStringLiteral("Данные заняты на другом рабочем месте, сервер не дождался их");
        else
            t = QStringLiteral("Сервер не выполнил запрос за %1 с").arg(seconds(a.limitMs));
        t += write ? QStringLiteral(": изменения не сохранены. Повторите действие (нажмите «Запись» ещё раз).")
                   : QStringLiteral(". Повторите действие.");
        if (a.sqlstate == QLatin1String("55P03") && !a.cancelled)
            throw LockTimeout(t, a.text);
        throw DbError(t, a.text);
    }
    QString t = errorText(a.error, a.sqlstate);
    if (t.isEmpty()) {
        QString what = a.text.simplified();
        if (what.size() > 160)
            what = what.left(160) + QStringLiteral("…");
        t = QStringLiteral("База данных не выполнила запрос и не сообщила причину.\nЗапрос: ") + what;
    }
    throw DbError(t, a.text);
}

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


} // namespace

QList<Rows> runTogether(const QString &connection, const QList<Call> &calls, Retry retry)
{
    if (calls.isEmpty())
        return {};
    refuseSpliced(calls);
    if (busy(connection))
        throw DbError(QString::fromUtf8(BusyText), calls.first().text);
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
    // The commit (its own, or a write's in autocommit) stood waiting for the
    // synchronous standby and was cancelled: stored here, perhaps nowhere else.
    if (a.unconfirmed && outcomeUnknown(retry, inTx))
        throw DbSession::ConnectionLost(QString::fromUtf8(DbSession::UnconfirmedText), a.text.isEmpty() ? texts.first() : a.text,
                                        true);
    if (a.kind == Attempt::Ok)
        return a.rows;
    if (a.kind == Attempt::Failed)
        throwFailed(a, retry, inTx || ending);
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
    if (busy(connection))
        throw DbError(QString::fromUtf8(BusyText), calls.first().text);
    QStringList texts;
    for (const Call &c : calls)
        texts << numbered(c.text);
    if (connectionDown(connection)) {
        // Lost earlier; nothing of these statements has been sent yet.
        DbSession::reopenLost(connection);
        DbSession::tellReconnected();
    }
    const SessionPtr s = g_sessions.value(connection);
    if (!s) {
        // another driver's connection: one statement after another
        QList<Each> out;
        for (const Call &c : calls) {
            Each e;
            try {
                e.rows = runTogether(connection, {c}, Retry::Never).value(0);
                e.ok = true;
            } catch (const DbSession::ConnectionLost &) {
                throw;
            } catch (const DbError &err) {
                e.error = err.text();
            }
            out << e;
        }
        return out;
    }
    Attempt a = attemptOn(s, calls, texts, false, 0, false, true);
    for (int round = 0;; ++round) {
        if (a.unconfirmed)
            throw DbSession::ConnectionLost(QString::fromUtf8(DbSession::UnconfirmedText), texts.first(), true);
        if (a.kind == Attempt::Failed)
            throwFailed(a, Retry::Never, false);
        if (a.kind == Attempt::Lost)
            reopenAndThrowLost(connection, a.text.isEmpty() ? texts.first() : a.text, Retry::Never, false);
        if (round > 0)
            break;
        // A plan cached before a change of the tables it reads, or a statement
        // the session no longer has: that statement did nothing, so it alone
        // goes again, prepared afresh.
        QList<int> again;
        QList<Call> againCalls;
        QStringList againTexts;
        for (int i = 0; i < calls.size(); ++i) {
            const QString &st = a.eachState.at(i);
            if (st == QLatin1String("0A000") || st == QLatin1String("26000")) {
                again << i;
                againCalls << calls.at(i);
                againTexts << texts.at(i);
                if (s->prepared.contains(texts.at(i)))
                    s->toDeallocate << s->prepared.take(texts.at(i)).name;
            }
        }
        if (again.isEmpty())
            break;
        Attempt b = attemptOn(s, againCalls, againTexts, false, 0, false, true);
        for (int k = 0; k < again.size() && b.kind == Attempt::Ok; ++k) {
            a.each[again.at(k)] = b.each.at(k);
            a.eachState[again.at(k)] = b.eachState.at(k);
        }
        b.each = a.each;
        b.eachState = a.eachState;
        a = b;
    }
    for (int i = 0; i < calls.size(); ++i)
        if (a.eachState.at(i) == QLatin1String("55P03"))
            a.each[i].lockTimeout = true;
    return a.each;
}

Rows run(const QString &connection, const QString &text, const QVariantList &values, Retry retry)
{
    return runTogether(connection, {Call{text, values}}, retry).value(0);
}

quint64 roundTrips() { return g_roundTrips.load(); }
quint64 prepares() { return g_prepares.load(); }

// ---- Connections the gateway owns ---------------------------------------------------

void open(const QString &connection, const Settings &settings, const QString &setup, bool longStatements)
{
    SessionPtr &slot = g_sessions[connection];
    if (!slot)
        slot = std::make_shared<Session>();
    const SessionPtr s = slot;
    if (s->busy)
        throw DbError(QString::fromUtf8(BusyText));
    s->drop();
    s->settings = settings;
    s->setup = setup;
    s->longByDefault = longStatements;
    g_qtPrepared.remove(connection);
    // nothing else may use (or open again) the connection while it is opened
    s->busy = true;
    PGconn *c = nullptr;
    try {
        c = connectWaiting(conninfoOf(settings));
    } catch (...) {
        s->busy = false;
        throw;
    }
    s->busy = false;
    if (!c)
        throw DbError(QStringLiteral("Нет памяти для подключения к базе данных."));
    if (PQstatus(c) != CONNECTION_OK) {
        const QString e = QString::fromUtf8(PQerrorMessage(c)).trimmed();
        PQfinish(c);
        throw DbError(e.isEmpty() ? QStringLiteral("Нет подключения к базе данных.") : e);
    }
    PQsetnonblocking(c, 1);
    PQsetNoticeReceiver(c, onNotice, s.get());
    s->conn = c;
    s->pid = PQbackendPID(c);

    // The session's set-up, its limits and its channels in one trip. The
    // site's limits: the environment's, else what the connection's options
    // set on the server, else the defaults.
    const Limits defaults;
    const int envStatement = limitFromEnvironment("TABEL_STATEMENT_TIMEOUT");
    const int envLock = limitFromEnvironment("TABEL_LOCK_TIMEOUT");
    const int envLong = limitFromEnvironment("TABEL_LONG_STATEMENT_TIMEOUT");
    auto setting = [](const char *name, int env, int fallback) {
        if (env > 0)
            return QStringLiteral("'%1ms'").arg(env);
        return QStringLiteral("coalesce(nullif(current_setting('%1'), '0'), '%2ms')").arg(QLatin1String(name)).arg(fallback);
    };
    QString text = setup.trimmed();
    if (!text.isEmpty() && !text.endsWith(QLatin1Char(';')))
        text += QLatin1Char(';');
    for (auto it = s->listeners.cbegin(); it != s->listeners.cend(); ++it)
        text += QStringLiteral(" LISTEN \"%1\";").arg(QString(it.key()).replace(QLatin1Char('"'), QLatin1String("\"\"")));
    text += QStringLiteral(" select set_config('statement_timeout', %1, false), set_config('lock_timeout', %2, false)")
                .arg(setting("statement_timeout", envStatement, defaults.statementMs),
                     setting("lock_timeout", envLock, defaults.lockMs));
    const SessionPtr keep = s;
    s->currentMs = -1;
    Attempt a = attemptOn(keep, {Call{text, {}}}, {text}, false, 30000, true);
    if (a.kind != Attempt::Ok) {
        s->drop();
        throwFailed(a);
    }
    const Rows &r = a.rows.value(0);
    s->statementMs = qMax(1, millisecondsOf(r.valueAt(0, 0).toString()));
    s->lockMs = qMax(1, millisecondsOf(r.valueAt(0, 1).toString()));
    s->longMs = qMax(envLong > 0 ? envLong : defaults.longStatementMs, s->statementMs);
    s->currentMs = s->statementMs;
    watchIdleSocket(s);
}

void close(const QString &connection)
{
    const SessionPtr s = g_sessions.value(connection);
    if (!s)
        return;
    if (s->busy) {
        s->closing = true;
        return;
    }
    s->drop();
}

bool isOpen(const QString &connection)
{
    const SessionPtr s = g_sessions.value(connection);
    if (s)
        return s->conn && PQstatus(s->conn) == CONNECTION_OK;
    const QSqlDatabase db = DbSession::database(connection);
    return db.isValid() && db.isOpen();
}

bool owns(const QString &connection) { return g_sessions.contains(connection); }

Settings settings(const QString &connection)
{
    const SessionPtr s = g_sessions.value(connection);
    return s ? s->settings : Settings{};
}

int backendPid(const QString &connection)
{
    const SessionPtr s = sessionOf(connection);
    return s ? s->pid : 0;
}

bool anyBusy()
{
    for (const SessionPtr &s : std::as_const(g_sessions))
        if (s->busy)
            return true;
    return false;
}

bool busy(const QString &connection)
{
    const SessionPtr s = g_sessions.value(connection);
    return s && s->busy;
}

bool listen(const QString &connection, const QString &channel, Notification handler)
{
    SessionPtr &slot = g_sessions[connection];
    if (!slot)
        slot = std::make_shared<Session>();
    slot->listeners.insert(channel, std::move(handler));
    if (!slot->conn)
        return false; // listened at the opening
    try {
        run(connection, QStringLiteral("LISTEN \"%1\"").arg(QString(channel).replace(QLatin1Char('"'), QLatin1String("\"\""))),
            {}, Retry::Probe);
        return true;
    } catch (const DbError &) {
        return false;
    }
}

void unlisten(const QString &connection, const QString &channel)
{
    const SessionPtr s = g_sessions.value(connection);
    if (!s)
        return;
    s->listeners.remove(channel);
    // the server forgets it with the session; an open one is told now
    if (s->conn && !s->busy && !DbSession::inTransaction(connection) && PQstatus(s->conn) == CONNECTION_OK) {
        try {
            run(connection, QStringLiteral("UNLISTEN \"%1\"").arg(QString(channel).replace(QLatin1Char('"'), QLatin1String("\"\""))),
                {}, Retry::Probe);
        } catch (const DbError &) {
        }
    }
}

bool listening(const QString &connection, const QString &channel)
{
    const SessionPtr s = sessionOf(connection);
    return s && s->listeners.contains(channel) && PQstatus(s->conn) == CONNECTION_OK;
}

Limits limits(const QString &connection)
{
    const SessionPtr s = g_sessions.value(connection);
    Limits l;
    if (s) {
        l.statementMs = s->statementMs;
        l.lockMs = s->lockMs;
        l.longStatementMs = s->longMs;
    }
    return l;
}

LongStatements::LongStatements() { ++g_long; }
LongStatements::~LongStatements() { --g_long; }

void setWaitHook(WaitHook hook) { g_waitHook = std::move(hook); }


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

// The one place a value becomes the text the server reads: dates as ISO
// dates (whatever the session's DateStyle), booleans as true/false, null as
// null; an exact decimal travels as its text (Decimal::toString()).
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
    const SessionPtr s = g_sessions.value(connection);
    if (s && s->busy) {
        s->closing = true;
        s->listeners.clear();
    } else {
        g_sessions.remove(connection);
    }
    g_qtPrepared.remove(connection);
}

} // namespace Gateway

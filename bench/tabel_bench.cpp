// Drives the program's own code in-process against a benchmark database and
// prints one line per action: the program's time (min and median of the
// repeats), the limit measured in the same run, and their ratio.
//
// The limit of an action is, unless it says otherwise, the very statements the
// program sent, sent again through bare libpq: the bench exports libpq's entry
// points itself, so every statement of the program passes through it and is
// counted and kept while an action runs. To add an action, add an entry to
// the table in main(): a name, an optional setup, the step to time and, when
// the limit is not the replay, a limit of its own.

#include "app/Application.h"
#include "app/Connection.h"
#include "app/Startup.h"
#include "app/TForm23.h"
#include "catalogues/TForm4.h"
#include "db/Dataset.h"
#include "db/DayColumns.h"
#include "db/DbSession.h"
#include "db/Gateway.h"
#include "db/TDataModule6.h"
#include "records/OfflineQueue.h"
#include "records/Users.h"
#include "db/Transaction.h"
#include "journal/TForm1.h"
#include "journal/OperationChoice.h"
#include "journal/TForm11.h"
#include "journal/TeamShift.h"
#include "printing/Painting.h"
#include "records/Actor.h"
#include "records/Entries.h"
#include "records/MonthRebuild.h"
#include "records/Write.h"
#include "reports/AuditReport.h"
#include "reports/MonthOverview.h"
#include "reports/TForm18.h"
#include "timesheets/TForm27.h"
#include "ui/Dialogs.h"
#include "ui/DigitEdit.h"
#include "ui/Forms.h"
#include "ui/LiveRefresh.h"

#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTableWidget>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <libpq-fe.h>
#include <stdexcept>
#include <vector>

namespace {

// ---- What the program sends -------------------------------------------------

struct Capture {
    bool on = false;
    int count = 0;
    QStringList texts; // statements with a text of their own (not prepared ones)
};
Capture capture;

// libpq's PQexec sends through PQsendQuery, which passes the hook again:
// a statement is noted once, at the outer call.
thread_local int g_hookDepth = 0;
struct HookCall {
    HookCall() { ++g_hookDepth; }
    ~HookCall() { --g_hookDepth; }
};

QHash<QByteArray, QString> g_preparedTexts; // statement name -> its text

void note(const char *query)
{
    if (!capture.on || g_hookDepth > 1)
        return;
    ++capture.count;
    if (query)
        capture.texts << QString::fromUtf8(query);
}

template <class F> F next(const char *name)
{
    void *f = dlsym(RTLD_NEXT, name);
    if (!f)
        std::abort();
    return reinterpret_cast<F>(f);
}

} // namespace

extern "C" {
PGresult *PQexec(PGconn *conn, const char *query)
{
    static auto real = next<PGresult *(*)(PGconn *, const char *)>("PQexec");
    HookCall depth;
    note(query);
    return real(conn, query);
}
int PQsendQuery(PGconn *conn, const char *query)
{
    static auto real = next<int (*)(PGconn *, const char *)>("PQsendQuery");
    HookCall depth;
    note(query);
    return real(conn, query);
}
PGresult *PQexecParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                       const char *const *paramValues, const int *paramLengths, const int *paramFormats,
                       int resultFormat)
{
    static auto real = next<decltype(&PQexecParams)>("PQexecParams");
    HookCall depth;
    note(nParams == 0 ? command : nullptr);
    return real(conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats, resultFormat);
}
int PQsendQueryParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                      const char *const *paramValues, const int *paramLengths, const int *paramFormats,
                      int resultFormat)
{
    static auto real = next<decltype(&PQsendQueryParams)>("PQsendQueryParams");
    HookCall depth;
    note(nParams == 0 ? command : nullptr);
    return real(conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats, resultFormat);
}
PGresult *PQexecPrepared(PGconn *conn, const char *stmtName, int nParams, const char *const *paramValues,
                         const int *paramLengths, const int *paramFormats, int resultFormat)
{
    static auto real = next<decltype(&PQexecPrepared)>("PQexecPrepared");
    HookCall depth;
    note(nullptr);
    return real(conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat);
}
// The program's gateway prepares each statement once by name and then sends
// only its name and values: the text is kept from the preparing, and the
// statement noted with its values written in, to be sent again as it stands.
int PQsendPrepare(PGconn *conn, const char *stmtName, const char *query, int nParams, const Oid *paramTypes)
{
    static auto real = next<decltype(&PQsendPrepare)>("PQsendPrepare");
    g_preparedTexts.insert(QByteArray(stmtName), QString::fromUtf8(query));
    return real(conn, stmtName, query, nParams, paramTypes);
}
int PQsendQueryPrepared(PGconn *conn, const char *stmtName, int nParams, const char *const *paramValues,
                        const int *paramLengths, const int *paramFormats, int resultFormat)
{
    static auto real = next<decltype(&PQsendQueryPrepared)>("PQsendQueryPrepared");
    HookCall depth;
    if (capture.on && g_hookDepth == 1) {
        QString text = g_preparedTexts.value(QByteArray(stmtName));
        for (int i = nParams; i >= 1; --i) {
            const char *v = paramValues ? paramValues[i - 1] : nullptr;
            const QString literal = v ? QLatin1Char('\'') + QString::fromUtf8(v).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'')
                                      : QStringLiteral("NULL");
            text.replace(QLatin1Char('$') + QString::number(i), literal);
        }
        note(text.toUtf8().constData());
    } else {
        note(nullptr);
    }
    return real(conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat);
}
}

namespace {

// ---- Bare libpq --------------------------------------------------------------

class Pq {
public:
    Pq(const QString &database, const QString &server, const char *user = "sys")
    {
        const QByteArray ci = QStringLiteral("dbname='%1' host='%2' port=5432 user=%3 password=vomtuxa sslmode=prefer")
                                  .arg(database, server, QLatin1String(user)).toUtf8();
        m_conn = PQconnectdb(ci.constData());
        if (PQstatus(m_conn) != CONNECTION_OK)
            throw std::runtime_error(PQerrorMessage(m_conn));
        // as the program's connection is set up
        exec("SET DateStyle TO 'ISO, DMY'");
        exec("SET standard_conforming_strings TO on");
        exec("SET jit = off");
    }
    ~Pq() { PQfinish(m_conn); }
    Pq(const Pq &) = delete;
    Pq &operator=(const Pq &) = delete;

    // Runs a statement and fetches its whole result; returns the result's rows.
    QList<QStringList> exec(const QString &sql)
    {
        PGresult *r = PQexec(m_conn, sql.toUtf8().constData());
        const ExecStatusType st = PQresultStatus(r);
        if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) {
            const std::string e = PQresultErrorMessage(r);
            PQclear(r);
            throw std::runtime_error(e + " in: " + sql.left(200).toStdString());
        }
        QList<QStringList> rows;
        for (int i = 0; i < PQntuples(r); ++i) {
            QStringList row;
            for (int c = 0; c < PQnfields(r); ++c)
                row << QString::fromUtf8(PQgetvalue(r, i, c));
            rows << row;
        }
        PQclear(r);
        return rows;
    }
    QString scalar(const QString &sql) { return exec(sql).value(0).value(0); }
    PGconn *raw() const { return m_conn; }

private:
    PGconn *m_conn = nullptr;
};

// ---- The entry save as it was before the write functions --------------------

// A new entry written by separate statements in a client-side transaction:
// the save key, the month locks, the duplicate check, the insert, the day
// cell (count, sum, update or insert) and the notice. Kept to compare with
// the one call of the write function.
qint64 saveByStatements(const QString &conn, const Entries::Entry &e)
{
    Transaction tx(conn);
    Rows k = Write::run(conn, QStringLiteral("select id from accounts_dep.smena where save_key=?::uuid"), {Write::keyValue(e.key)});
    if (k.next())
        return k.value(0).toLongLong();
    const int month = e.date.year() * 100 + e.date.month();
    Write::run(conn, QStringLiteral("select pg_advisory_xact_lock_shared(?::bigint)"), {month});
    Write::run(conn, QStringLiteral("select pg_advisory_xact_lock(?::int, ?::int)"), {month, e.worker});
    const QString date = e.date.toString(QStringLiteral("dd.MM.yyyy"));
    Rows dup = Write::run(conn,
                               QStringLiteral("select count(id) as cnt from accounts_dep.SMENA where w_id=? and o_id=? and i_id=? "
                                              "and data=to_date(?, 'DD.MM.YYYY') and smena=? and id<>? and color=?"),
                               {e.worker, e.operation, e.item, date, e.shift, 0, e.colour});
    if (dup.next() && dup.value(0).toLongLong() > 0)
        return 0;
    Rows ins = Write::run(
        conn,
        QStringLiteral("insert into accounts_dep.SMENA(w_id, i_id, o_id, cena, kol_vo, brak, data, smena, color, time, vvod,ok, "
                       "prize, id_doc, id_doc_item, f_gds_qty_use, id_gds_use, id_cons_use, save_key) values(?, ?, ?, ?::numeric,?, ?, "
                       "to_date(?, 'DD.MM.YYYY HH24:MI:SS'), ?, ?, ?, ?, 'no', 0, 0, 0, 0, 0, 0, ?::uuid) returning id"),
        {e.worker, e.item, e.operation, QStringLiteral("12.5"), e.quantity, e.defects, date, e.shift, e.colour, e.hours,
         QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")), Write::keyValue(e.key)});
    const qint64 id = ins.next() ? ins.value(0).toLongLong() : 0;
    const QString line = QStringLiteral(" where smena=? and w_id=? and month=? and year=?");
    const QVariantList lineValues{e.shift, e.worker, e.date.month(), e.date.year()};
    Rows cnt = Write::run(conn, QStringLiteral("select count(w_id) as cnt from accounts_dep.h_tabel") + line, lineValues);
    const bool exists = cnt.next() && cnt.value(0).toLongLong() > 0;
    Rows sum = Write::run(conn,
                               QStringLiteral("select sum(time) as tim from accounts_dep.smena where w_id=? and smena=? and "
                                              "data=to_date(?, 'DD.MM.YYYY') group by w_id, smena, data"),
                               {e.worker, e.shift, date});
    const int hours = sum.next() ? sum.value(0).toInt() : 0;
    const QString day = QStringLiteral("d%1").arg(e.date.day());
    if (exists)
        Write::run(conn, QStringLiteral("update accounts_dep.h_tabel set ") + day + QStringLiteral("=?") + line,
                   QVariantList{hours} + lineValues);
    else
        Write::run(conn, QStringLiteral("insert into accounts_dep.h_tabel(smena, w_id, month, year, ") + day
                             + QStringLiteral(") values(?, ?, ?, ?, ?)"),
                   lineValues + QVariantList{hours});
    Write::run(conn, QStringLiteral("select pg_notify(?, ?)"),
               {QStringLiteral("tabel_changes"),
                QStringLiteral("{\"d\":\"%1\",\"m\":%2,\"s\":%3,\"t\":\"entries\",\"w\":%4,\"y\":%5}")
                    .arg(e.date.toString(Qt::ISODate)).arg(e.date.month()).arg(e.shift).arg(e.worker).arg(e.date.year())});
    tx.commit();
    return id;
}

// ---- Measuring ---------------------------------------------------------------

struct Figures {
    double min = 0, median = 0;
};

Figures figures(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    Figures f;
    if (ms.empty())
        return f;
    f.min = ms.front();
    const size_t n = ms.size();
    f.median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    return f;
}

double msSince(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

bool transactionControl(const QString &s)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(begin|commit|end|rollback|start\\s+transaction)\\b"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(s).hasMatch();
}

// The statements again through bare libpq, in one transaction that is rolled
// back so that writes leave nothing behind (BEGIN and ROLLBACK not timed).
// Statements with bound values come as the driver's PREPARE, EXECUTE and
// DEALLOCATE; prepared statements outlive a rollback, so every replay starts
// with none, and a DEALLOCATE of one prepared before the action is left out.
double replay(Pq &pq, const QStringList &statements)
{
    static const QRegularExpression prepare(QStringLiteral("^\\s*PREPARE\\s+(\\S+)"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression deallocate(QStringLiteral("^\\s*DEALLOCATE\\s+(\\S+)"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression uuid(QStringLiteral("'[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}'"));
    pq.exec(QStringLiteral("DEALLOCATE ALL"));
    QSet<QString> prepared;
    pq.exec(QStringLiteral("BEGIN"));
    QElapsedTimer t;
    t.start();
    for (const QString &s : statements) {
        if (transactionControl(s))
            continue;
        if (const auto m = prepare.match(s); m.hasMatch())
            prepared.insert(m.captured(1));
        if (const auto m = deallocate.match(s); m.hasMatch() && !prepared.contains(m.captured(1)))
            continue;
        // a save key is unique, and the program's row holds it already: the
        // replay stores a key of its own
        QString text = s;
        text.replace(uuid, QLatin1Char('\'') + QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('\''));
        pq.exec(text);
    }
    const double ms = msSince(t);
    pq.exec(QStringLiteral("ROLLBACK"));
    return ms;
}

// TABEL_BENCH_EXPLAIN=1: the plan of each statement an action sent, with its
// timing, on stderr (writes rolled back)
void explain(Pq &pq, const QStringList &statements)
{
    pq.exec(QStringLiteral("DEALLOCATE ALL"));
    pq.exec(QStringLiteral("BEGIN"));
    // a statement with bound values is explained as its EXECUTE
    static const QRegularExpression dml(QStringLiteral("^\\s*(select|with|insert|update|delete|execute)\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression prepare(QStringLiteral("^\\s*prepare\\b"), QRegularExpression::CaseInsensitiveOption);
    for (const QString &s : statements) {
        if (prepare.match(s).hasMatch()) {
            pq.exec(s);
            continue;
        }
        if (!dml.match(s).hasMatch())
            continue;
        std::fprintf(stderr, "---- %s\n", qPrintable(s.simplified().left(300)));
        for (const QStringList &row : pq.exec(QStringLiteral("EXPLAIN (ANALYZE, BUFFERS) ") + s))
            std::fprintf(stderr, "%s\n", qPrintable(row.value(0)));
    }
    pq.exec(QStringLiteral("ROLLBACK"));
}

struct Action {
    QString name;
    std::function<void()> setup;        // once, not timed
    std::function<void(int)> run;       // one repeat (its number), timed
    std::function<double(int)> limit;   // one repeat of the limit in ms; empty: replay
    QString limitName = QStringLiteral("libpq");
    double target = 0;                  // ms; printed when set
};

void printLine(const QString &name, const Figures &program, const QString &limitName, const Figures &limit,
               int statements, double target)
{
    QString line = QStringLiteral("%1  program min %2 ms median %3 ms")
                       .arg(name, -40)
                       .arg(program.min, 8, 'f', 1)
                       .arg(program.median, 8, 'f', 1);
    if (limit.median > 0)
        line += QStringLiteral(" | limit (%1) min %2 ms median %3 ms | ratio %4")
                    .arg(limitName)
                    .arg(limit.min, 8, 'f', 1)
                    .arg(limit.median, 8, 'f', 1)
                    .arg(program.median / limit.median, 0, 'f', 2);
    if (statements >= 0)
        line += QStringLiteral(" | statements %1").arg(statements);
    if (target > 0)
        line += QStringLiteral(" | target %1 ms").arg(target);
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void runAction(const Action &a, int repeats, Pq &pq)
{
    if (a.setup)
        a.setup();
    a.run(-1); // warm-up, not counted
    std::vector<double> program, limit;
    QStringList statements;
    int count = 0;
    for (int i = 0; i < repeats; ++i) {
        capture = Capture{};
        capture.on = true;
        QElapsedTimer t;
        t.start();
        a.run(i);
        program.push_back(msSince(t));
        capture.on = false;
        statements = capture.texts;
        count = capture.count;
    }
    for (int i = 0; i < repeats; ++i)
        limit.push_back(a.limit ? a.limit(i) : replay(pq, statements));
    printLine(a.name, figures(program), a.limitName, figures(limit), count, a.target);
    if (!qEnvironmentVariableIsEmpty("TABEL_BENCH_EXPLAIN"))
        explain(pq, statements);
}

double residentMegabytes()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QString s = QString::fromLatin1(f.readAll());
    const auto m = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB")).match(s);
    return m.hasMatch() ? m.captured(1).toDouble() / 1024 : 0;
}

// Messages are written out; files are not opened; questions are answered No.
struct BenchDialogs : Dialogs::Handler {
    bool show(Dialogs::Kind kind, const QString &caption, const QString &text) override
    {
        std::fprintf(stderr, "message: %s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
        return kind != Dialogs::Kind::Question;
    }
    bool openFile(const QString &) override { return true; }
    void quit() override {}
    void preview(const Printing::Document &doc) override { previewed = doc; }
    Printing::Document previewed; // the last report previewed
};

// The floor of a month rebuild: the month's lines of one kind deleted and
// made again by one DELETE and one INSERT ... SELECT, in a transaction that
// is rolled back (BEGIN and ROLLBACK not timed).
double setBasedRebuild(Pq &pq, const QString &ownLines, const QString &insertSelect)
{
    pq.exec(QStringLiteral("BEGIN"));
    QElapsedTimer t;
    t.start();
    pq.exec(QStringLiteral("delete from accounts_dep.h_tabel where ") + ownLines);
    pq.exec(insertSelect);
    const double ms = msSince(t);
    pq.exec(QStringLiteral("ROLLBACK"));
    return ms;
}

// ", sum(<value>) filter (where extract(day from <date>)=1), ..." for days 1..31,
// and the matching ", d1, ..., d31"
QString daySums(const QString &value, const QString &date)
{
    return QStringLiteral(", ")
           + DayColumns::list(QStringLiteral("sum(") + value + QStringLiteral(") filter (where extract(day from ") + date
                            + QStringLiteral(")=%2)"));
}
QString dayColumns() { return QStringLiteral(", ") + DayColumns::list(QStringLiteral("%1")); }

// Signs a program's connection in as the administrator, as the sign-in
// window does: the database writes only for a signed-in session.
void signInAsAdministrator(const QString &connection)
{
    Users::signIn(connection, QStringLiteral("63527140"), QStringLiteral("bench"));
}

void waitFor(const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 10000)
            throw std::runtime_error("timed out waiting for a window");
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

// The offscreen platform's notes about what it cannot do are noise here
void quietOffscreen(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg || text.startsWith(QLatin1String("This plugin does not support")))
        return;
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

// ---- Workstations: N processes keying in entries at once ----------------------

// The month they key into, and the shift: the plant dataset's month.
const QDate kStationMonth(2024, 3, 1);
const int kStationShift = 2;
const int kSharedWorkers = 20;

// One workstation: `saves` entries through the write layer for the shared
// workers (each save one transaction: locks, duplicate check, insert, day
// cell, notice), timed one by one; prints "saved duplicate ms ms ms ...".
int workstation(const QString &database, const QString &server, int index, int saves)
{
    const QString conn = QStringLiteral("station");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), conn);
    db.setHostName(server);
    db.setDatabaseName(database);
    db.setUserName(QStringLiteral("sys"));
    db.setPassword(QStringLiteral("vomtuxa"));
    if (!db.open())
        return 3;
    QSqlQuery setup(db);
    setup.exec(QStringLiteral("SET DateStyle TO 'ISO, DMY'"));
    setup.exec(QStringLiteral("SET jit = off"));
    signInAsAdministrator(conn);
    QList<int> workers;
    setup.exec(QStringLiteral("select id from accounts_dep.person order by id limit %1").arg(kSharedWorkers));
    while (setup.next())
        workers << setup.value(0).toInt();
    QList<QPair<int, int>> operations; // (operation, product)
    setup.exec(QStringLiteral("select id, i_id from accounts_dep.oper where id not in (7777, 7778) order by id"));
    while (setup.next())
        operations << qMakePair(setup.value(0).toInt(), setup.value(1).toInt());
    if (workers.isEmpty() || operations.isEmpty())
        return 4;
    setup.exec(QStringLiteral("select pg_advisory_lock_shared(4747)")); // the start gate
    setup.exec(QStringLiteral("select pg_advisory_unlock_shared(4747)"));

    int saved = 0, duplicates = 0;
    QStringList times;
    QElapsedTimer t;
    for (int i = 0; i < saves; ++i) {
        Entries::Entry e;
        e.worker = workers.at((i + index * 7) % workers.size());
        const auto &op = operations.at((index * saves + i) % operations.size());
        e.operation = op.first;
        e.item = op.second;
        e.quantity = 10;
        e.hours = 0; // thousands over a month of few workers: a day holds 24 hours at most
        e.shift = kStationShift;
        e.date = kStationMonth.addDays((i * 5 + index) % kStationMonth.daysInMonth());
        e.key = QUuid::createUuid();
        t.start();
        const Outcome o = Entries::save(conn, e);
        times << QString::number(double(t.nsecsElapsed()) / 1e6, 'f', 3);
        if (o.ok())
            ++saved;
        else if (o.kind == Outcome::Duplicate)
            ++duplicates;
        else {
            std::fprintf(stderr, "station %d: %s\n", index, qPrintable(o.text));
            return 5;
        }
    }
    std::printf("%d %d %s\n", saved, duplicates, qPrintable(times.join(QLatin1Char(' '))));
    return 0;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// The parent: starts the workstations together, collects their times and
// checks the result in the database.
int workstations(const QString &database, const QString &server, int stations, int saves)
{
    Pq pq(database, server);
    pq.exec(QStringLiteral("select pg_advisory_lock(4747)"));
    std::vector<QProcess *> procs;
    for (int i = 0; i < stations; ++i) {
        auto *p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TABEL_BENCH_STATION"), QString::number(i));
        env.insert(QStringLiteral("TABEL_BENCH_SAVES"), QString::number(saves));
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(), {database, server});
        procs.push_back(p);
    }
    // every workstation at the gate, then all released at once
    for (int tries = 0; tries < 600; ++tries) {
        if (pq.scalar(QStringLiteral("select count(*) from pg_locks where locktype='advisory' and objid=4747 and not granted")).toInt()
            == stations)
            break;
        QThread::msleep(50);
    }
    QElapsedTimer wall;
    wall.start();
    pq.exec(QStringLiteral("select pg_advisory_unlock(4747)"));
    std::vector<double> times;
    int saved = 0, duplicates = 0, failed = 0;
    for (QProcess *p : procs) {
        p->waitForFinished(-1);
        if (p->exitStatus() != QProcess::NormalExit || p->exitCode() != 0)
            ++failed;
        const QStringList parts = QString::fromUtf8(p->readAllStandardOutput()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() >= 2) {
            saved += parts.at(0).toInt();
            duplicates += parts.at(1).toInt();
            for (int i = 2; i < parts.size(); ++i)
                times.push_back(parts.at(i).toDouble());
        }
        delete p;
    }
    const double seconds = double(wall.nsecsElapsed()) / 1e9;

    // Every cell the workstations touched equals its entries' sum, and no
    // entry of theirs is stored twice.
    const QString month = QStringLiteral("s.data >= '%1' and s.data < '%2'")
                              .arg(kStationMonth.toString(Qt::ISODate), kStationMonth.addMonths(1).toString(Qt::ISODate));
    const int mismatches = pq.scalar(QStringLiteral(
        "select count(*) from (select s.w_id, s.smena, s.data, sum(s.time) as t from accounts_dep.smena s where %1 "
        "group by s.w_id, s.smena, s.data having count(s.save_key) > 0) x "
        "left join accounts_dep.h_tabel h on h.w_id = x.w_id and h.smena = x.smena and h.month = %2 and h.year = %3 "
        "where coalesce((to_jsonb(h) ->> ('d' || extract(day from x.data)))::bigint, -1) <> x.t").arg(month)
        .arg(kStationMonth.month()).arg(kStationMonth.year())).toInt();
    const int doubled = pq.scalar(QStringLiteral(
        "select count(*) from (select 1 from accounts_dep.smena s where %1 group by s.w_id, s.o_id, s.i_id, s.data, s.smena, s.color "
        "having count(*) > 1 and count(s.save_key) > 0) d").arg(month)).toInt();

    std::printf("workstations: %d processes x %d saves, %d shared workers, shift %d of %s\n", stations, saves, kSharedWorkers,
                kStationShift, qPrintable(kStationMonth.toString(QStringLiteral("MM.yyyy"))));
    std::printf("  saved %d, refused as duplicates %d, failed processes %d\n", saved, duplicates, failed);
    std::printf("  save latency p50 %.1f ms, p99 %.1f ms, max %.1f ms | target p99 <= 50 ms\n", percentile(times, 0.5),
                percentile(times, 0.99), times.empty() ? 0.0 : *std::max_element(times.begin(), times.end()));
    std::printf("  throughput %.0f saves/s (%.2f s)\n", double(times.size()) / seconds, seconds);
    std::printf("  check: %d day-cell mismatches, %d duplicate rows\n", mismatches, doubled);
    return failed == 0 && mismatches == 0 && doubled == 0 ? 0 : 1;
}


// Microseconds of the wall clock, which both workstations of one machine share.
qint64 wallMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Workstation B of the live benchmark: one save through the write layer for
// every line on its input; answers "<id> <commit time>" after each commit.
int liveStation(const QString &database, const QString &server)
{
    const QString conn = QStringLiteral("station");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), conn);
    db.setHostName(server);
    db.setDatabaseName(database);
    db.setUserName(QStringLiteral("sys"));
    db.setPassword(QStringLiteral("vomtuxa"));
    if (!db.open())
        return 3;
    QSqlQuery setup(db);
    setup.exec(QStringLiteral("SET DateStyle TO 'ISO, DMY'"));
    setup.exec(QStringLiteral("SET jit = off"));
    signInAsAdministrator(conn);
    setup.exec(QStringLiteral("select id from accounts_dep.person order by id limit 1"));
    const int worker = setup.next() ? setup.value(0).toInt() : 0;
    setup.exec(QStringLiteral("select id, i_id from accounts_dep.oper where id not in (7777, 7778) order by id limit 1"));
    if (!setup.next() || !worker)
        return 4;
    const int oper = setup.value(0).toInt(), item = setup.value(1).toInt();
    QTextStream in(stdin);
    QString line;
    int colour = 1000; // each save an entry of its own
    while (in.readLineInto(&line)) {
        const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (w.size() < 2)
            break;
        Entries::Entry e;
        e.worker = worker;
        e.operation = oper;
        e.item = item;
        e.quantity = 10;
        e.hours = 0; // many on one worker's day: a day holds 24 hours at most
        e.colour = ++colour;
        e.date = QDate::fromString(w.at(0), Qt::ISODate);
        e.shift = w.at(1).toInt();
        e.key = QUuid::createUuid();
        const Outcome o = Entries::save(conn, e);
        const qint64 committed = wallMicros();
        if (!o.ok()) {
            std::fprintf(stderr, "live station: %s\n", qPrintable(o.text));
            return 5;
        }
        std::printf("%lld %lld\n", o.id, committed);
        std::fflush(stdout);
    }
    return 0;
}

// Workstation A has its journal open on the busiest day; B saves there one
// entry at a time. Timed: from B's commit to A's journal query holding the row.
int live(const QString &database, const QString &server, int saves)
{
    BenchDialogs dialogs;
    Dialogs::setHandler(&dialogs);
    Pq pq(database, server);
    const QDate day = QDate::fromString(
        pq.scalar("select data from accounts_dep.smena group by data order by count(*) desc, data limit 1"), Qt::ISODate);
    StartOptions opt;
    opt.showSignIn = false;
    auto ctx = startUp({QStringLiteral("tabel"), database, server}, opt);
    if (!ctx->connected)
        return 3;
    TForm1 *journal = ctx->forms.Form1;
    for (int s = 1; s <= 4; ++s)
        ctx->forms.DataModule6->smena(s)->setParam(QStringLiteral("ok"), QStringLiteral("ta"));
    journal->show();
    journal->chooseDay(day);
    Dataset *shown = journal->journal();
    const int rows = shown->recordCount();

    // When each row was first seen in A's journal
    QHash<qint64, qint64> seen;
    QObject::connect(shown, &Dataset::reset, [&]() {
        const qint64 now = wallMicros();
        for (int i = 0; i < shown->recordCount(); ++i)
            seen.insert(shown->valueAt(i, QStringLiteral("id")).toLongLong(), now);
    });
    for (int i = 0; i < shown->recordCount(); ++i)
        seen.insert(shown->valueAt(i, QStringLiteral("id")).toLongLong(), 0);

    QProcess b;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TABEL_BENCH_LIVE_B"), QStringLiteral("1"));
    b.setProcessEnvironment(env);
    b.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    b.start(QCoreApplication::applicationFilePath(), {database, server});
    if (!b.waitForStarted())
        return 3;
    std::vector<double> ms;
    for (int i = 0; i < saves; ++i) {
        b.write(QStringLiteral("%1 %2\n").arg(day.toString(Qt::ISODate)).arg(journal->shift).toUtf8());
        while (!b.canReadLine()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (b.state() != QProcess::Running)
                return 5;
            b.waitForReadyRead(5);
        }
        const QStringList answer = QString::fromUtf8(b.readLine()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const qint64 id = answer.value(0).toLongLong(), committed = answer.value(1).toLongLong();
        QElapsedTimer wait;
        wait.start();
        while (!seen.contains(id) && wait.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (!seen.contains(id)) {
            std::fprintf(stderr, "tabel_bench: save %d never reached the journal\n", i);
            return 1;
        }
        ms.push_back(double(seen.value(id) - committed) / 1000.0);
        // A foreman keys in an entry every few seconds; the next save is not
        // folded into this re-read.
        waitFor([&]() { return wait.elapsed() > LiveRefresh::MinInterval + 50; });
    }
    b.closeWriteChannel();
    b.waitForFinished(10000);
    std::printf("live: %d saves by workstation B on %s shift %d (%d rows), seen by workstation A's journal\n", saves,
                qPrintable(day.toString(QStringLiteral("dd.MM.yyyy"))), journal->shift, rows);
    std::printf("  commit to A's journal holding the row: median %.1f ms, p95 %.1f ms, max %.1f ms | target 1000 ms\n",
                percentile(ms, 0.5), percentile(ms, 0.95), *std::max_element(ms.begin(), ms.end()));
    ctx.reset();
    Dialogs::setHandler(nullptr);
    return 0;
}

// ---- Latency: the program across a slow network -------------------------------

// A pass-through proxy between the program and the server's socket that holds
// every chunk for `oneWayMs` in each direction, so a round trip takes twice that.
class DelayProxy {
public:
    DelayProxy(const QString &serverFolder, double oneWayMs)
        : m_server(serverFolder + QStringLiteral("/.s.PGSQL.5432")), m_delay(std::chrono::microseconds(qint64(oneWayMs * 1000)))
    {
        char tmpl[] = "/tmp/tabel-delay-XXXXXX";
        if (!mkdtemp(tmpl))
            throw std::runtime_error("proxy: no folder");
        m_folder = QString::fromLocal8Bit(tmpl);
        m_listen = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un a = address(m_folder + QStringLiteral("/.s.PGSQL.5432"));
        if (::bind(m_listen, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0 || ::listen(m_listen, 16) != 0)
            throw std::runtime_error("proxy: cannot listen");
        m_threads.emplace_back([this] { acceptLoop(); });
    }
    ~DelayProxy()
    {
        m_stop = true;
        ::shutdown(m_listen, SHUT_RDWR);
        ::close(m_listen);
        for (auto &t : m_threads)
            t.join();
        QDir(m_folder).removeRecursively();
    }
    QString folder() const { return m_folder; }

private:
    static sockaddr_un address(const QString &path)
    {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray p = path.toLocal8Bit();
        std::memcpy(a.sun_path, p.constData(), std::min(size_t(p.size()), sizeof(a.sun_path) - 1));
        return a;
    }
    void acceptLoop()
    {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int client = ::accept(m_listen, nullptr, nullptr);
            if (client < 0)
                continue;
            const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const sockaddr_un a = address(m_server);
            if (::connect(server, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
                ::close(client);
                ::close(server);
                continue;
            }
            auto closed = std::make_shared<std::atomic<int>>(0);
            m_threads.emplace_back([this, client, server, closed] { pump(client, server, closed); });
            m_threads.emplace_back([this, client, server, closed] { pump(server, client, closed); });
        }
    }
    // One direction: chunks read are written out once their delay is over.
    void pump(int from, int to, std::shared_ptr<std::atomic<int>> closed)
    {
        using Clock = std::chrono::steady_clock;
        std::mutex m;
        std::condition_variable cv;
        std::deque<std::pair<Clock::time_point, QByteArray>> queue;
        bool eof = false;
        std::thread writer([&] {
            for (;;) {
                std::unique_lock<std::mutex> lock(m);
                cv.wait(lock, [&] { return eof || !queue.empty(); });
                if (queue.empty())
                    return;
                auto [due, data] = queue.front();
                queue.pop_front();
                lock.unlock();
                std::this_thread::sleep_until(due);
                const char *p = data.constData();
                qsizetype n = data.size();
                while (n > 0) {
                    const ssize_t w = ::send(to, p, size_t(n), MSG_NOSIGNAL);
                    if (w <= 0)
                        return;
                    p += w;
                    n -= w;
                }
            }
        });
        char buf[65536];
        while (!m_stop && closed->load() == 0) {
            pollfd p{from, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = ::recv(from, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            std::lock_guard<std::mutex> lock(m);
            queue.emplace_back(Clock::now() + m_delay, QByteArray(buf, int(n)));
            cv.notify_one();
        }
        {
            std::lock_guard<std::mutex> lock(m);
            eof = true;
            cv.notify_one();
        }
        writer.join();
        if (closed->fetch_add(1) == 1) {
            ::close(from);
            ::close(to);
        } else {
            ::shutdown(to, SHUT_WR);
        }
    }

    QString m_server, m_folder;
    std::chrono::microseconds m_delay;
    int m_listen = -1;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

// The same statements as one pipeline through bare libpq (one Sync, one
// round trip), inside a transaction rolled back in the same trip so that
// writes leave nothing behind. Save keys are replaced by fresh ones.
double pipelined(PGconn *conn, const QStringList &statements)
{
    static const QRegularExpression uuid(QStringLiteral("'[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}'"));
    QList<QByteArray> texts{QByteArrayLiteral("BEGIN")};
    for (const QString &s : statements) {
        if (transactionControl(s))
            continue;
        QString text = s;
        text.replace(uuid, QLatin1Char('\'') + QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('\''));
        texts << text.toUtf8();
    }
    texts << QByteArrayLiteral("ROLLBACK");
    QElapsedTimer t;
    t.start();
    if (!PQenterPipelineMode(conn))
        throw std::runtime_error("pipeline mode refused");
    for (const QByteArray &q : texts)
        if (!PQsendQueryParams(conn, q.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0))
            throw std::runtime_error(PQerrorMessage(conn));
    PQpipelineSync(conn);
    for (;;) {
        PGresult *r = PQgetResult(conn);
        if (!r)
            continue;
        const ExecStatusType st = PQresultStatus(r);
        PQclear(r);
        if (st == PGRES_PIPELINE_SYNC)
            break;
    }
    const double ms = msSince(t);
    PQexitPipelineMode(conn);
    return ms;
}

// The program's actions with the server 0, 1, 5 and 20 ms of round trip
// away: round trips (the gateway's counter), the median time, and the same
// statements sent together by bare libpq through the same delay, as a ratio.
int latency(const QString &database, const QString &server, int repeats)
{
    BenchDialogs dialogs;
    Dialogs::setHandler(&dialogs);
    Pq pq(database, server);
    const QDate day = QDate::fromString(
        pq.scalar("select data from accounts_dep.smena group by data order by count(*) desc, data limit 1"), Qt::ISODate);
    const QStringList op = pq.exec(QStringLiteral(
        "select p.id, o.id, o.i_id from accounts_dep.person p, accounts_dep.oper o "
        "where o.id not in (7777, 7778) and exists (select 1 from accounts_dep.norm n where n.o_id = o.id) "
        "order by p.id, o.id limit 1")).value(0);
    // workers for the editor's saves and the team (each save a worker of its own)
    QList<QPair<int, QString>> workers;
    for (const QStringList &r : pq.exec(QStringLiteral("select id, fio from accounts_dep.person order by id limit 400")))
        workers << qMakePair(r.value(0).toInt(), r.value(1));
    std::printf("latency: median of %d, the journal's day %s; libpq = the same statements sent together\n", repeats,
                qPrintable(day.toString(QStringLiteral("dd.MM.yyyy"))));
    int colour = 5000;  // each save an entry of its own
    int nextWorker = 0; // the editor's saves
    int teamDay = 0;    // each team on a day of its own
    for (const double rtt : {0.0, 1.0, 5.0, 20.0}) {
        DelayProxy proxy(server, rtt / 2);
        StartOptions opt;
        opt.showSignIn = false;
        auto ctx = startUp({QStringLiteral("tabel"), database, proxy.folder()}, opt);
        if (!ctx->connected)
            throw std::runtime_error("no connection through the proxy");
        Forms &f = ctx->forms;
        const QString conn = f.DataModule6->connectionName();
        signInAsAdministrator(conn);
        Pq bare(database, proxy.folder());
        bare.exec(QStringLiteral("select * from accounts_dep.sign_in('63527140', 'bench')"));
        f.Form1->DateT->setDate(day);
        f.Form1->readJournals();
        f.Form1->setShift(4);
        // the operation as the operations list hands it over
        f.DataModule6->Oper.close();
        f.DataModule6->Oper.open();
        f.DataModule6->Oper.locate(QStringLiteral("id"), op.value(1).toInt());
        const OperationChoice choice = OperationChoice::fromOper(f.DataModule6->Oper);
        std::printf("%7.0f ms round trip\n", rtt);
        std::printf("  %-30s | %5s | %10s | %14s | %5s\n", "action", "trips", "program", "libpq together", "ratio");
        auto measure = [&](const char *name, const std::function<void()> &setup, const std::function<void()> &step) {
            std::vector<double> ms, limit;
            quint64 trips = 0;
            for (int i = 0; i <= repeats; ++i) { // the first one warms up
                if (setup)
                    setup();
                capture = Capture{};
                capture.on = i > 0;
                const quint64 before = Gateway::roundTrips();
                QElapsedTimer t;
                t.start();
                step();
                const double took = msSince(t);
                capture.on = false;
                trips = Gateway::roundTrips() - before;
                if (i > 0) {
                    ms.push_back(took);
                    limit.push_back(pipelined(bare.raw(), capture.texts));
                }
            }
            const double program = figures(ms).median, bareMs = figures(limit).median;
            std::printf("  %-30s | %5llu | %7.1f ms | %11.1f ms | %5.2f\n", name, static_cast<unsigned long long>(trips), program,
                        bareMs, bareMs > 0 ? program / bareMs : 0.0);
            std::fflush(stdout);
        };
        measure("entry save (entry_save)", {}, [&] {
            Entries::Entry e;
            e.worker = op.value(0).toInt();
            e.operation = op.value(1).toInt();
            e.item = op.value(2).toInt();
            e.quantity = 10;
            e.hours = 0; // many on one worker's day: a day holds 24 hours at most
            e.colour = ++colour;
            e.shift = 4;
            e.date = day;
            e.key = QUuid::createUuid();
            const Outcome o = Entries::save(conn, e);
            if (!o.ok())
                throw std::runtime_error(o.text.toStdString());
        });
        TForm11 *ed = f.Form11;
        measure("\"Запись\" (editor, re-read)",
                [&] {
                    const auto &w = workers.at(nextWorker++ % workers.size());
                    ed->prepareAdd();
                    ed->setWorker(w.second, w.first);
                    ed->setOperation(choice);
                    ed->Edit3->setText(QStringLiteral("7"));
                    ed->Edit6->setText(QStringLiteral("1"));
                    ed->Edit5->setText(QString::number(++colour));
                    ed->recomputeDisplays();
                },
                [&] {
                    if (!ed->save())
                        throw std::runtime_error("the editor's save was refused");
                });
        measure("editor opening (a change)", [&] { f.DataModule6->smena(4)->first(); },
                [&] {
                    if (!ed->prepareEdit())
                        throw std::runtime_error("nothing to change");
                });
        measure("journal's day (date chosen)", {}, [&] { f.Form1->chooseDay(day); });
        measure("journal's day (\"Обновить\")", {}, [&] { f.Form1->Button8Click(); });
        measure("piecework timesheet", {}, [&] { f.Form27->prepare(9, day); });
        TeamShift *team = f.Form1->team();
        measure("\"Бригада\", 30 workers",
                [&] {
                    team->prepare(day.addDays(-(++teamDay)), 4, false);
                    team->setOperation(choice);
                    for (int r = 0; r < 30; ++r) {
                        const auto &w = workers.at(r);
                        team->addWorker(w.first, w.second);
                        team->Grid->item(r, TeamShift::Quantity)->setText(QStringLiteral("5"));
                        team->Grid->item(r, TeamShift::Hours)->setText(QStringLiteral("1"));
                        if (team->painting())
                            team->Grid->item(r, TeamShift::Colour)->setText(QStringLiteral("1"));
                    }
                },
                [&] {
                    if (team->save() != 30)
                        throw std::runtime_error("the team was not saved whole");
                });
        ctx.reset();
    }
    std::printf("targets at 20 ms: \"Запись\" <= 35 ms, the day <= 45 ms, the timesheet <= 80 ms, \"Бригада\" 30 <= 60 ms; "
                "program / libpq <= 1.1\n");
    Dialogs::setHandler(nullptr);
    return 0;
}

// ---- Offline: keying into the workstation's queue, and its draining ---------

// The time to key one entry into the queue, and the queue's drain rate
// (entries per second, sent pipelined) at 0 and 20 ms round trip.
int offline(const QString &database, const QString &server, int entries)
{
    BenchDialogs dialogs;
    Dialogs::setHandler(&dialogs);
    QTemporaryDir folder;
    Pq pq(database, server);
    const QStringList op = pq.exec(QStringLiteral(
        "select p.id, o.id, o.i_id from accounts_dep.person p, accounts_dep.oper o "
        "where o.id not in (7777, 7778) and exists (select 1 from accounts_dep.norm n where n.o_id = o.id and n.price > 0) "
        "order by p.id, o.id limit 1")).value(0);
    const QList<QStringList> workers = pq.exec(QStringLiteral("select id from accounts_dep.person order by id limit 50"));
    std::printf("offline: %d entries per drain\n", entries);
    int colour = 7000; // each entry one of its own
    for (const double rtt : {0.0, 20.0}) {
        DelayProxy proxy(server, rtt / 2);
        StartOptions opt;
        opt.showSignIn = false;
        auto ctx = startUp({QStringLiteral("tabel"), database, proxy.folder()}, opt);
        if (!ctx->connected)
            throw std::runtime_error("no connection through the proxy");
        const QString conn = ctx->forms.DataModule6->connectionName();
        const int user = Users::signIn(conn, QStringLiteral("63527140"), QStringLiteral("bench")).id;
        OfflineQueue queue(OfflineQueue::databaseOf(conn) + QStringLiteral("#%1").arg(rtt), user, folder.path());
        std::vector<double> keying;
        for (int i = 0; i < entries; ++i) {
            Entries::Entry e;
            e.worker = workers.value(i % std::max<int>(1, int(workers.size()))).value(0).toInt();
            e.operation = op.value(1).toInt();
            e.item = op.value(2).toInt();
            e.quantity = 1;
            e.hours = 0;
            e.colour = ++colour;
            e.shift = 4;
            e.date = QDate(2024, 3, 1 + i % 28);
            QElapsedTimer t;
            t.start();
            const Outcome o = queue.add(e, QStringLiteral("bench"));
            keying.push_back(msSince(t));
            if (!o.ok())
                throw std::runtime_error(o.text.toStdString());
        }
        QElapsedTimer t;
        t.start();
        const OfflineQueue::Sending s = queue.send(conn);
        const double ms = msSince(t);
        if (s.stored != entries)
            throw std::runtime_error(QStringLiteral("stored %1 of %2: %3 %4")
                                         .arg(s.stored).arg(entries).arg(s.text, queue.items().value(0).refusal)
                                         .toStdString());
        std::printf("%4.0f ms round trip | keying one entry p50 %.2f ms, max %.2f ms | drain %d in %.0f ms, %d trips: %.0f entries/s\n",
                    rtt, percentile(keying, 0.5), percentile(keying, 1.0), entries, ms, s.roundTrips,
                    entries / (ms / 1000.0));
        std::fflush(stdout);
        ctx.reset();
    }
    std::printf("targets: keying one entry <= 20 ms; drain >= 200 entries/s at 20 ms\n");
    Dialogs::setHandler(nullptr);
    return 0;
}

// ---- Failover: the primary dies, the standby takes over ----------------------

// The program's own connection to the pair (both servers on its command
// line), as a workstation opens it.
bool connectToPair(TDataModule6 &dm, const QString &database, const QString &servers)
{
    const Connection::Settings s =
        Connection::settingsFrom(Connection::connectionString({database, servers}));
    try {
        dm.connectDb(s.host, s.port, s.database, s.user, s.password, s.connectOptions());
        signInAsAdministrator(dm.connectionName());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "failover: %s\n", e.what());
        return false;
    }
    return true;
}

// An entry of its own (its colour) for the first workers and operation.
struct FailoverEntries {
    QList<int> workers;
    int operation = 0, item = 0;
    int next = 5000;
    bool read(const QString &connection)
    {
        Rows q = DbSession::exec(connection, QStringLiteral("select id from accounts_dep.person order by id limit 10"),
                                 DbSession::Retry::Read);
        while (q.next())
            workers << q.value(0).toInt();
        Rows o = DbSession::exec(connection,
                                 QStringLiteral("select id, i_id from accounts_dep.oper where id not in (7777, 7778) order by id limit 1"),
                                 DbSession::Retry::Read);
        if (!o.next() || workers.isEmpty())
            return false;
        operation = o.value(0).toInt();
        item = o.value(1).toInt();
        return true;
    }
    Entries::Entry make()
    {
        Entries::Entry e;
        const int n = next++;
        e.worker = workers.at(n % workers.size());
        e.operation = operation;
        e.item = item;
        e.quantity = 1;
        e.hours = 0; // many on one worker's day: a day holds 24 hours at most
        e.colour = n;
        e.shift = 3;
        e.date = kStationMonth.addDays(n % 28);
        e.key = QUuid::createUuid();
        return e;
    }
};

// The keying workstation of the failover: saves one entry after another,
// each pressed again (same key) until it is saved; prints the wall time of
// every save. Ends when its input closes.
int failoverStation(const QString &database, const QString &servers)
{
    TDataModule6 dm;
    if (!connectToPair(dm, database, servers))
        return 3;
    FailoverEntries entries;
    if (!entries.read(dm.connectionName()))
        return 4;
    entries.next = 100000; // past the entries of the timed saves, which are stored already
    std::atomic<bool> stop{false};
    std::thread watch([&] {
        char c;
        while (std::fread(&c, 1, 1, stdin) == 1) {
        }
        stop = true;
    });
    while (!stop) {
        const Entries::Entry e = entries.make();
        const qint64 pressed = wallMicros();
        qint64 id = 0;
        for (;;) {
            const Outcome o = Entries::save(dm.connectionName(), e);
            if (o.ok()) {
                id = o.id;
                break;
            }
            if (o.kind != Outcome::Refused || stop) {
                std::fprintf(stderr, "failover station: %s\n", qPrintable(o.text));
                watch.detach();
                return 5;
            }
            QThread::msleep(50);
        }
        // saved at, pressed at, the save key, the row
        std::printf("%lld %lld %s %lld\n", wallMicros(), pressed, qPrintable(e.key.toString(QUuid::WithoutBraces)), id);
        std::fflush(stdout);
    }
    watch.join();
    return 0;
}

// A node of the formation started, killed (its keeper and its postgres,
// SIGKILL) or waited for: scripts/with-standby --node.
bool nodeCtl(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(qEnvironmentVariable("TABEL_SOURCE_ROOT") + QStringLiteral("/scripts/with-standby"),
            QStringList{QStringLiteral("--node")} + args);
    return p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// scripts/bench failover: entry saves with the secondary confirming each
// commit and without (same run, same connection); then, while a second
// process keys in, the primary and then the secondary are killed, RUNS times
// each, and nothing but the pg_auto_failover monitor promotes or changes
// anything; each killed node is started again and rejoins as the secondary.
int failover(const QString &database, const QString &servers, int saves, int runs)
{
    if (qEnvironmentVariableIsEmpty("TABEL_FORMATION")) {
        std::fprintf(stderr, "failover: run through scripts/bench failover (a pg_auto_failover formation)\n");
        return 2;
    }
    {
        TDataModule6 dm;
        if (!connectToPair(dm, database, servers))
            return 3;
        FailoverEntries entries;
        if (!entries.read(dm.connectionName()))
            return 4;
        auto timeSaves = [&](const char *commit) {
            DbSession::exec(dm.connectionName(), QStringLiteral("SET synchronous_commit TO ") + QLatin1String(commit),
                            DbSession::Retry::Read);
            std::vector<double> ms;
            for (int i = 0; i < saves; ++i) {
                const Entries::Entry e = entries.make();
                QElapsedTimer t;
                t.start();
                if (!Entries::save(dm.connectionName(), e).ok())
                    throw std::runtime_error("a save failed");
                ms.push_back(msSince(t));
            }
            return ms;
        };
        timeSaves("local"); // warm up
        // alternated, so a busy moment of the machine weighs on both alike
        std::vector<double> sync, local;
        for (int round = 0; round < 4; ++round) {
            for (double v : timeSaves("on"))
                sync.push_back(v);
            for (double v : timeSaves("local"))
                local.push_back(v);
        }
        std::printf("failover: entry save, %d saves each\n", int(sync.size()));
        std::printf("  synchronous secondary (synchronous_commit on): median %.2f ms, p95 %.2f ms\n",
                    percentile(sync, 0.5), percentile(sync, 0.95));
        std::printf("  primary alone (synchronous_commit local):      median %.2f ms, p95 %.2f ms\n",
                    percentile(local, 0.5), percentile(local, 0.95));
        std::fflush(stdout);
    }

    QProcess station;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TABEL_BENCH_FAILOVER_STATION"), QStringLiteral("1"));
    station.setProcessEnvironment(env);
    station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    station.start(QCoreApplication::applicationFilePath(), {database, servers});
    if (!station.waitForStarted())
        return 3;
    struct Save {
        qint64 at, pressed;
        QString key;
        qint64 id;
    };
    QList<Save> done;
    auto read = [&] {
        station.waitForReadyRead(50);
        while (station.canReadLine()) {
            const QStringList w = QString::fromUtf8(station.readLine()).trimmed().split(QLatin1Char(' '));
            if (w.size() == 4)
                done << Save{w[0].toLongLong(), w[1].toLongLong(), w[2], w[3].toLongLong()};
        }
    };
    auto savesAfter = [&](qint64 t) {
        int n = 0;
        for (const Save &x : done)
            n += x.at > t;
        return n;
    };
    // until n saves after t; false after ms
    auto waitSaves = [&](qint64 t, int n, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (savesAfter(t) < n && timer.elapsed() < ms && station.state() == QProcess::Running)
            read();
        return savesAfter(t) >= n;
    };
    if (!waitSaves(0, 20, 60000))
        return 5;

    std::vector<double> primaryDeath, secondaryDeath;
    QString primary = QStringLiteral("a"), secondary = QStringLiteral("b");
    for (int run = 0; run < runs; ++run) {
        // The primary killed: the first save after it is gone is on the promoted secondary.
        const qint64 death = wallMicros();
        if (!nodeCtl({QStringLiteral("kill"), primary}))
            return 6;
        const qint64 gone = wallMicros();
        if (!waitSaves(gone, 1, 120000)) {
            std::fprintf(stderr, "failover: no save on the new primary\n");
            return 1;
        }
        qint64 first = 0;
        for (const Save &x : done)
            if (x.at > gone && (first == 0 || x.at < first))
                first = x.at;
        primaryDeath.push_back(double(first - death) / 1e6);
        std::swap(primary, secondary);
        std::printf("  run %d: primary killed, first save on the new primary after %.2f s\n", run + 1,
                    primaryDeath.back());
        std::fflush(stdout);
        // the old primary back as the secondary
        if (!nodeCtl({QStringLiteral("start"), secondary}) || !nodeCtl({QStringLiteral("wait"), secondary, QStringLiteral("secondary"), QStringLiteral("180")})
            || !nodeCtl({QStringLiteral("wait"), primary, QStringLiteral("primary"), QStringLiteral("60")}))
            return 7;
        waitSaves(wallMicros(), 5, 30000);

        // The secondary killed: commits wait for it until the monitor drops
        // synchronous replication; timed to the end of the longest wait.
        const qint64 secondaryKilled = wallMicros();
        if (!nodeCtl({QStringLiteral("kill"), secondary}))
            return 6;
        if (!waitSaves(secondaryKilled, 10, 120000))
            return 8;
        qint64 freed = secondaryKilled;
        qint64 longest = 0;
        for (const Save &x : done)
            if (x.at > secondaryKilled) {
                const qint64 held = x.at - std::max(x.pressed, secondaryKilled);
                if (held > longest) {
                    longest = held;
                    freed = x.at;
                }
            }
        secondaryDeath.push_back(double(freed - secondaryKilled) / 1e6);
        std::printf("  run %d: secondary killed, saves held until %.2f s after\n", run + 1, secondaryDeath.back());
        std::fflush(stdout);
        if (!nodeCtl({QStringLiteral("start"), secondary}) || !nodeCtl({QStringLiteral("wait"), secondary, QStringLiteral("secondary"), QStringLiteral("180")})
            || !nodeCtl({QStringLiteral("wait"), primary, QStringLiteral("primary"), QStringLiteral("60")}))
            return 7;
        waitSaves(wallMicros(), 5, 30000);
    }
    station.closeWriteChannel();
    station.waitForFinished(60000);
    read();
    while (station.canReadLine())
        read();

    // Every save reported is stored once, under the row it was told.
    TDataModule6 dm;
    if (!connectToPair(dm, database, servers))
        return 3;
    QHash<QString, qint64> reported;
    for (const Save &x : done)
        reported.insert(x.key, x.id);
    Rows q = DbSession::exec(dm.connectionName(),
                             QStringLiteral("select save_key::text, count(*), min(id) from accounts_dep.smena "
                                            "where color >= 100000 group by save_key"),
                             DbSession::Retry::Read);
    int doubled = 0, stored = 0, wrongRow = 0;
    QSet<QString> storedKeys;
    while (q.next()) {
        ++stored;
        storedKeys << q.value(0).toString();
        if (q.value(1).toInt() != 1)
            ++doubled;
        else if (reported.value(q.value(0).toString()) != q.value(2).toLongLong())
            ++wrongRow;
    }
    int lost = 0;
    for (auto it = reported.cbegin(); it != reported.cend(); ++it)
        lost += !storedKeys.contains(it.key());
    std::printf("failover: pg_auto_failover, %d runs, nothing promoted by hand; medians:\n", runs);
    std::printf("  primary killed -> first save on the new primary: %.2f s | target 30 s\n", median(primaryDeath));
    std::printf("  secondary killed -> saves no longer held:        %.2f s | target 10 s\n", median(secondaryDeath));
    std::printf("  %d saves reported, %d stored: %d lost, %d doubled, %d under another row | target 0\n",
                int(reported.size()), stored, lost, doubled, wrongRow);
    return lost || doubled || wrongRow ? 1 : 0;
}
} // namespace

// The audit report on November 2023, which bench/audit-month.sql fills with
// 50 000 records among 150 000: the first page as the window shows it, and
// the whole month laid out in time order and written to PDF. The server's
// temporary files before and after say whether anything was sorted on disk.
void auditReportActions(Pq &pq, const QString &connection, int repeats, const QString &pdf)
{
    std::printf("audit trail: %s records, %s of them in 11.2023\n",
                qPrintable(pq.scalar("select count(*) from accounts_dep.audit")),
                qPrintable(pq.scalar("select count(*) from accounts_dep.audit where at >= '2023-11-01' and at < '2023-12-01'")));
    AuditReport w(connection);
    w.FromDate->setDate(QDate(2023, 11, 1));
    w.ToDate->setDate(QDate(2023, 11, 30));
    w.ByTime->setChecked(true);
    const auto tempBytes = [&] {
        QThread::msleep(1500); // the server publishes a backend's figures at most once a second
        pq.exec(QStringLiteral("select pg_stat_clear_snapshot()"));
        return pq.scalar(QStringLiteral("select temp_bytes from pg_stat_database where datname = current_database()")).toLongLong();
    };
    const qint64 before = tempBytes();
    runAction({QStringLiteral("audit report 11.2023, first page"), {},
               [&](int) {
                   w.showFirstPage();
                   if (w.Grid->rowCount() != AuditReport::PageSize)
                       throw std::runtime_error("audit report: short first page");
               },
               {}, QStringLiteral("libpq"), 1000},
              repeats, pq);
    int pages = 0;
    runAction({QStringLiteral("audit report 11.2023 to PDF"), {},
               [&](int) {
                   const Printing::Document doc = w.document();
                   pages = int(doc.pages.size());
                   if (!Printing::writePdf(doc, pdf))
                       throw std::runtime_error("audit report not written");
               },
               {}, QStringLiteral("libpq"), 0},
              std::min(repeats, 3), pq);
    std::printf("%s  %d pages, %lld bytes; server temporary files during both: %lld bytes\n",
                qPrintable(QStringLiteral("  (the audit report)").leftJustified(40)), pages, QFileInfo(pdf).size(),
                tempBytes() - before);
}

// Sign-in with 200 users: the database finds the one candidate by the keyed
// index of the code and confirms it with the slow hash once; a wrong code is
// refused without trying every hash. Users are added as the schema's owner.
int signInBench(const QString &database, const QString &server, int repeats)
{
    const int users = 200;
    auto connect = [&](const char *user) {
        const QByteArray ci = QStringLiteral("dbname='%1' host='%2' port=5432 user=%3").arg(database, server, QLatin1String(user)).toUtf8();
        PGconn *c = PQconnectdb(ci.constData());
        if (PQstatus(c) != CONNECTION_OK)
            throw std::runtime_error(PQerrorMessage(c));
        return c;
    };
    auto run = [](PGconn *c, const char *sql, std::vector<const char *> values, bool mayFail = false) {
        PGresult *r = PQexecParams(c, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
        const ExecStatusType st = PQresultStatus(r);
        const bool ok = st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK;
        if (!ok && !mayFail)
            throw std::runtime_error(PQresultErrorMessage(r));
        PQclear(r);
        return ok;
    };
    PGconn *owner = connect("tabel_owner");
    PGconn *sys = connect("sys");
    QElapsedTimer made;
    made.start();
    run(owner, "insert into accounts_dep.users (name, role, code_hash, code_index) "
               "select 'Пользователь ' || i, 'masters', accounts_dep.code_hash('личный-код-' || i), "
               "accounts_dep.code_index('личный-код-' || i) from generate_series(1, $1::int) i",
        {QByteArray::number(users).constData()});
    std::printf("sign-in: %d users added in %.1f s\n", users, msSince(made) / 1000.0);
    const QByteArray last = "личный-код-" + QByteArray::number(users);
    std::vector<double> right, wrong;
    for (int i = 0; i < std::max(repeats, 3); ++i) {
        QElapsedTimer t;
        t.start();
        // as the program signs in: the sign-in, then its outcome once committed
        run(sys, "select * from accounts_dep.sign_in($1, 'bench')", {last.constData()});
        run(sys, "select * from accounts_dep.sign_in_outcome()", {});
        right.push_back(msSince(t));
        t.restart();
        run(sys, "select * from accounts_dep.sign_in($1, 'bench')", {"не-тот-код"});
        run(sys, "select * from accounts_dep.sign_in_outcome()", {}, true);
        wrong.push_back(msSince(t));
        run(owner, "select accounts_dep.sign_in_forgive(accounts_dep.sign_in_address())", {});
    }
    const Figures ok = figures(right), refused = figures(wrong);
    std::printf("sign-in with %d users: right code %.1f ms (min %.1f), wrong code %.1f ms (min %.1f); limit 300 ms, "
                "the two within 20 %%: %s\n",
                users, ok.median, ok.min, refused.median, refused.min,
                std::abs(ok.median - refused.median) <= 0.2 * std::max(ok.median, refused.median) ? "yes" : "NO");
    run(owner, "delete from accounts_dep.session_tokens where workstation = 'bench'", {});
    run(owner, "delete from accounts_dep.users where name like 'Пользователь %'", {});
    PQfinish(sys);
    PQfinish(owner);
    return 0;
}

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietOffscreen);
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir documents;
    qputenv("TABEL_DOCUMENTS_DIR", documents.path().toUtf8());
    Application app(argc, argv);
    // the program's own start up to here; the bench's queries below are not part of it
    const double applicationReady = msSince(sinceStart);

    QStringList args = QCoreApplication::arguments();
    int repeats = 7;
    const int r = args.indexOf(QStringLiteral("--repeats"));
    if (r > 0 && r + 1 < args.size()) {
        repeats = std::max(1, args.at(r + 1).toInt());
        args.remove(r, 2);
    }
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: tabel_bench DATABASE SERVER [--repeats N]\n");
        return 2;
    }
    const QString database = args.at(1), server = args.at(2);
    // the stations write as the administrator signed in
    Actor::set({QStringLiteral("Администратор"), QStringLiteral("administrator"), QStringLiteral("bench")});
    if (qEnvironmentVariableIsSet("TABEL_BENCH_STATION"))
        return workstation(database, server, qEnvironmentVariableIntValue("TABEL_BENCH_STATION"),
                           qEnvironmentVariableIntValue("TABEL_BENCH_SAVES"));
    if (qEnvironmentVariableIsSet("TABEL_BENCH_LIVE_B"))
        return liveStation(database, server);
    // tabel_bench DATABASE SERVER signin
    if (args.contains(QStringLiteral("signin")))
        return signInBench(database, server, repeats);
    if (qEnvironmentVariableIsSet("TABEL_BENCH_FAILOVER_STATION"))
        return failoverStation(database, server);
    // tabel_bench DATABASE SERVERS failover [--saves M] (inside scripts/with-standby)
    if (args.contains(QStringLiteral("failover"))) {
        const int i = args.indexOf(QStringLiteral("--saves"));
        try {
            const int r = args.indexOf(QStringLiteral("--runs"));
            return failover(database, server, i > 0 && i + 1 < args.size() ? std::max(1, args.at(i + 1).toInt()) : 50,
                            r > 0 && r + 1 < args.size() ? std::max(1, args.at(r + 1).toInt()) : 3);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "failover: %s\n", e.what());
            return 1;
        }
    }
    // tabel_bench DATABASE SERVER live [--saves M]
    if (args.contains(QStringLiteral("live"))) {
        const int i = args.indexOf(QStringLiteral("--saves"));
        return live(database, server, i > 0 && i + 1 < args.size() ? std::max(1, args.at(i + 1).toInt()) : 50);
    }
    // tabel_bench DATABASE SERVER offline [--entries N]
    if (args.contains(QStringLiteral("offline"))) {
        const int i = args.indexOf(QStringLiteral("--entries"));
        try {
            return offline(database, server, i > 0 && i + 1 < args.size() ? std::max(1, args.at(i + 1).toInt()) : 500);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "tabel_bench: %s\n", e.what());
            return 1;
        }
    }
    // tabel_bench DATABASE SERVER latency [--repeats N]
    if (args.contains(QStringLiteral("latency"))) {
        try {
            return latency(database, server, repeats);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "tabel_bench: %s\n", e.what());
            return 1;
        }
    }
    // tabel_bench DATABASE SERVER workstations [--stations N] [--saves M]
    if (args.contains(QStringLiteral("workstations"))) {
        auto option = [&](const char *name, int fallback) {
            const int i = args.indexOf(QString::fromLatin1(name));
            return i > 0 && i + 1 < args.size() ? std::max(1, args.at(i + 1).toInt()) : fallback;
        };
        return workstations(database, server, option("--stations", 10), option("--saves", 200));
    }
    BenchDialogs dialogs;
    Dialogs::setHandler(&dialogs);

    try {
        // the replays of the old statements write directly, as only the
        // schema's owner may now (the triggers record them as outside the program)
        Pq pq(database, server, "tabel_owner");
        // and signed in, for the replays of the program's calls of the write functions
        pq.exec(QStringLiteral("select * from accounts_dep.sign_in('63527140', 'bench')"));
        std::printf("dataset: %s entries, %s workers, %s ERP persons, %s operations, %s timesheet lines\n",
                    qPrintable(pq.scalar("select count(*) from accounts_dep.smena")),
                    qPrintable(pq.scalar("select count(*) from accounts_dep.person")),
                    qPrintable(pq.scalar("select count(*) from cmn_contractor.person")),
                    qPrintable(pq.scalar("select count(*) from accounts_dep.oper")),
                    qPrintable(pq.scalar("select count(*) from accounts_dep.h_tabel")));
        const QDate busiest = QDate::fromString(
            pq.scalar("select data from accounts_dep.smena group by data order by count(*) desc, data limit 1"),
            Qt::ISODate);

        // Start to the sign-in window: the first time from the process start,
        // then again in the same process
        const QStringList programArgs{QStringLiteral("tabel"), database, server};
        auto startToSignIn = [&] {
            auto ctx = startUp(programArgs);
            if (!ctx->connected)
                throw std::runtime_error("no connection");
            TForm23 *signIn = ctx->forms.Form23;
            waitFor([&] { return signIn->isVisible() && signIn->windowTitle().contains(QLatin1String("build")); });
            return ctx;
        };
        QElapsedTimer firstStart;
        firstStart.start();
        std::unique_ptr<AppContext> ctx = startToSignIn();
        const double cold = applicationReady + msSince(firstStart);
        std::printf("%s  first start %.1f ms (process start to sign-in window)\n",
                    qPrintable(QStringLiteral("start to sign-in window").leftJustified(40)), cold);
        Pq *pqp = &pq;
        std::vector<Action> actions;
        // no limit of its own: the windows are most of it
        actions.push_back({QStringLiteral("start to sign-in window (again)"), {},
                           [&](int) { ctx.reset(); ctx = startToSignIn(); }, [](int) { return 0.0; },
                           QString(), 500});
        runAction(actions.back(), repeats, pq);

        // Signed in as the administrator, on the busiest day of the journal
        Forms &f = ctx->forms;
        f.Form23->Edit1->setText(QStringLiteral("7264"));
        if (!f.Form23->signIn(false))
            throw std::runtime_error("sign-in refused");
        f.Form23->hide();
        f.Form1->DateT->setDate(busiest);
        f.Form1->setShift(1);

        actions.clear();
        actions.push_back({QStringLiteral("day journal, four shifts of ") + busiest.toString(Qt::ISODate), {},
                           [&](int) { f.Form1->readJournals(); }, {}, QStringLiteral("libpq"), 30});

        QList<QStringList> pairs;
        // Entry save: each repeat a worker who has no entry of the chosen
        // operation that day, so the duplicate check lets it through. Run
        // once with the audit and closed-month triggers off, to show their cost.
        const auto prepareSaves = [&](bool triggers) {
            const QString how = triggers ? QStringLiteral("enable") : QStringLiteral("disable");
            pqp->exec(QStringLiteral("alter table accounts_dep.smena %1 trigger smena_guard; "
                                     "alter table accounts_dep.h_tabel %1 trigger h_tabel_guard")
                          .arg(how));
            pairs = pqp->exec(QStringLiteral(
                                  "select p.id, p.fio, o.id from accounts_dep.person p "
                                  "cross join lateral (select o.id from accounts_dep.oper o where o.id not in (7777, 7778) "
                                  "and not exists (select 1 from accounts_dep.smena s where s.w_id = p.id and s.o_id = o.id "
                                  "and s.data = '%1' and s.smena = 1) order by o.id limit 1) o order by p.id limit %2")
                                  .arg(busiest.toString(Qt::ISODate))
                                  .arg(repeats + 1));
            f.DataModule6->Oper.close();
            f.DataModule6->Oper.open();
        };
        const auto saveOne = [&](int i) {
            const QStringList p = pairs.value(i + 1);
            TForm11 *ed = f.Form11;
            ed->prepareAdd();
            ed->setWorker(p.value(1), p.value(0).toInt());
            if (!f.DataModule6->Oper.locate(QStringLiteral("id"), p.value(2).toInt()))
                throw std::runtime_error("operation not in the list");
            ed->setOperation(OperationChoice::fromOper(f.DataModule6->Oper));
            ed->updateColourField();
            ed->Edit3->setText(QStringLiteral("50"));
            ed->Edit4->setText(QStringLiteral("0"));
            ed->Edit5->setText(QStringLiteral("3"));
            ed->Edit6->setText(QStringLiteral("2"));
            ed->recomputeDisplays();
            if (!ed->save())
                throw std::runtime_error("entry not saved");
        };
        actions.push_back({QStringLiteral("entry save, audit triggers off"), [&] { prepareSaves(false); }, saveOne, {},
                           QStringLiteral("libpq"), 0});
        actions.push_back({QStringLiteral("entry save (editor, day cell)"), [&] { prepareSaves(true); }, saveOne, {},
                           QStringLiteral("libpq"), 0});

        // The write itself, without the editor: one call of the write
        // function against the statements it replaced, each in its own
        // transaction, on new entries of one worker and day.
        int directItem = 0;
        const auto prepareDirect = [&] {
            prepareSaves(true);
            directItem = pqp->scalar(QStringLiteral("select i_id from accounts_dep.oper where id=%1").arg(pairs.value(0).value(2)))
                             .toInt();
        };
        const auto directEntry = [&](int i, int colourBase) {
            const QStringList p = pairs.value(0);
            Entries::Entry e;
            e.worker = p.value(0).toInt();
            e.operation = p.value(2).toInt();
            e.item = directItem;
            e.quantity = 10;
            e.hours = 0; // many on one worker's day: a day holds 24 hours at most
            e.colour = colourBase + i + 1; // each save an entry of its own
            e.date = busiest;
            e.key = QUuid::createUuid();
            return e;
        };
        const QString saveConn = f.DataModule6->connectionName();
        actions.push_back({QStringLiteral("entry save, one function call"), prepareDirect,
                           [&](int i) {
                               const Outcome o = Entries::save(saveConn, directEntry(i, 100000));
                               if (!o.ok())
                                   throw std::runtime_error(o.text.toStdString());
                           },
                           [](int) { return 0.0; }, QString(), 0});
        // The save before the write functions wrote the tables directly, as
        // only the schema's owner may now: on a connection of the owner's,
        // opened as the program's is.
        const QString oldConn = QStringLiteral("bench_owner");
        {
            QSqlDatabase program = QSqlDatabase::database(saveConn, false);
            QSqlDatabase owner = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), oldConn);
            owner.setHostName(program.hostName());
            owner.setPort(program.port());
            owner.setDatabaseName(program.databaseName());
            owner.setUserName(QStringLiteral("tabel_owner"));
            owner.setConnectOptions(program.connectOptions());
            if (!owner.open())
                throw std::runtime_error("no connection as the schema's owner");
            Gateway::run(oldConn, QStringLiteral("SET DateStyle TO 'ISO, DMY'; SET jit = off"), {}, Gateway::Retry::Opening);
        }
        actions.push_back({QStringLiteral("entry save, statements in a transaction"), prepareDirect,
                           [&](int i) {
                               if (!saveByStatements(oldConn, directEntry(i, 200000)))
                                   throw std::runtime_error("entry not saved");
                           },
                           [](int) { return 0.0; }, QString(), 0});

        actions.push_back({QStringLiteral("operations list .xlsx export"), {},
                           [&](int) { f.Form4->exportToExcel(); }, {}, QStringLiteral("libpq"), 0});

        // The month of the busiest day stands for "a month" below
        const QDate first(busiest.year(), busiest.month(), 1), next = first.addMonths(1);
        const int month = first.month(), year = first.year();
        const QString monthText = first.toString(QStringLiteral("MM.yyyy"));
        const QString connection = f.DataModule6->connectionName();
        const QString inMonth = QStringLiteral(" and month=%1 and year=%2").arg(month).arg(year);
        const QString from = first.toString(Qt::ISODate), to = next.toString(Qt::ISODate);

        // A rebuild against the same lines made by one INSERT ... SELECT
        auto rebuildAction = [&](const QString &name, int (*rebuild)(const QString &, int, int, const MonthRebuild::Progress &),
                                 const QString &ownLines, const QString &insertSelect) {
            const QString sql = insertSelect.arg(dayColumns()).arg(month).arg(year);
            return Action{name + monthText, {}, [=](int) { rebuild(connection, month, year, {}); },
                          [=](int) { return setBasedRebuild(*pqp, ownLines + inMonth, sql); },
                          QStringLiteral("set-based"), 0};
        };
        actions.push_back(rebuildAction(
            QStringLiteral("month rebuild by shifts "), MonthRebuild::shiftLines, QStringLiteral("smena>0"),
            QStringLiteral("insert into accounts_dep.h_tabel(smena, w_id, month, year%1) "
                           "select smena, w_id, %2, %3") + daySums(QStringLiteral("time"), QStringLiteral("data"))
                + QStringLiteral(" from accounts_dep.smena where data>='%1' and data<'%2' and smena>0 and w_id is not null "
                                 "group by smena, w_id").arg(from, to)));
        actions.push_back(rebuildAction(
            QStringLiteral("housekeeping rebuild "), MonthRebuild::housekeepingLines, QStringLiteral("smena=0"),
            QStringLiteral("insert into accounts_dep.h_tabel(i_type, w_id, i_night, month, year%1) "
                           "select id_o, id_p, coalesce(i_night,0), %2, %3") + daySums(QStringLiteral("cnt"), QStringLiteral("d_date"))
                + QStringLiteral(" from accounts_dep.fatigue where d_date>='%1' and d_date<'%2' and id_p is not null "
                                 "and id_o is not null group by id_o, id_p, coalesce(i_night,0)").arg(from, to)));

        // The timesheets window opened on the month (its query, the totals and the year list)
        TForm27 *sheets = f.Form27;
        const QDate inTheMonth = first.addDays(14);
        actions.push_back({QStringLiteral("piecework timesheet ") + monthText, {},
                           [&](int) { sheets->prepare(9, inTheMonth); }, {}, QStringLiteral("libpq"), 300});
        actions.push_back({QStringLiteral("general timesheet ") + monthText, {},
                           [&](int) { sheets->prepare(17, inTheMonth); }, {}, QStringLiteral("libpq"), 300});
        actions.push_back({QStringLiteral("piecework timesheet .xlsx export"),
                           [&] { sheets->prepare(9, inTheMonth); },
                           [&](int) { sheets->Button2Click(); },
                           // it writes the rows already read: no statement to measure against
                           [](int) { return 0.0; }, QString(), 1000});

        // The report by workers of the month as the summary reports window
        // prepares it, then written to PDF as the preview's "save" does
        TForm18 *reports = f.Form18;
        const QString pdf = documents.filePath(QStringLiteral("report.pdf"));
        actions.push_back({QStringLiteral("report by workers ") + monthText + QStringLiteral(" to PDF"),
                           [&] {
                               reports->DTPicker1->setDate(first);
                               reports->DTPicker2->setDate(next);
                           },
                           [&](int) {
                               dialogs.previewed = Printing::Document{};
                               reports->Button4Click();
                               if (dialogs.previewed.pages.isEmpty() || !Printing::writePdf(dialogs.previewed, pdf))
                                   throw std::runtime_error("report not written");
                           },
                           {}, QStringLiteral("libpq"), 2000});

        // The month overview opened on the month: its statements and the four charts
        MonthOverview *overview = f.Overview;
        actions.push_back({QStringLiteral("month overview ") + monthText, {},
                           [&](int) { overview->prepare(inTheMonth); }, {}, QStringLiteral("libpq"), 300});

        for (const Action &a : actions)
            runAction(a, repeats, pq);
        std::printf("%s  %d pages, %lld bytes\n", qPrintable(QStringLiteral("  (the report)").leftJustified(40)),
                    int(dialogs.previewed.pages.size()), QFileInfo(pdf).size());

        // With the general timesheet window open and shown on the month, the
        // year list holding every year of the timesheet
        sheets->prepare(17, inTheMonth);
        sheets->show();
        QCoreApplication::processEvents();
        std::printf("%s  %.1f MB | target 120 MB\n",
                    qPrintable(QStringLiteral("resident memory, timesheet open").leftJustified(40)), residentMegabytes());
        sheets->hide();

        // last: the month of 50 000 records in memory would count in the figure above
        auditReportActions(pq, f.DataModule6->connectionName(), repeats, documents.filePath(QStringLiteral("audit.pdf")));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "tabel_bench: %s\n", e.what());
        return 1;
    }
    Dialogs::setHandler(nullptr);
    return 0;
}

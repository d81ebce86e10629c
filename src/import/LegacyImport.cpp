#include "records/Audit.h"
#include "records/ClosedMonths.h"
#include "LegacyImport.h"

#include "db/DayColumns.h"
#include "db/DbError.h"
#include "db/Gateway.h"
#include "db/Owner.h"
#include "db/Sql.h"
#include "db/TDataModule6.h"
#include "db/SessionTie.h"
#include "records/Users.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QVector>
#include <algorithm>
#include <optional>
#include <vector>

namespace {

// How a legacy value is read and written.
enum class Kind {
    Integer,    // a number; empty becomes 0
    Float,      // a number; empty becomes 0
    Text,       // text cut to the column's width; empty stays empty
    Date,       // the date of a date-time; empty stays empty
    DateTime,   // empty stays empty
    OptInteger, // hours: a number, but empty stays empty
};

struct Column {
    const char *name; // the same in the legacy table (any case) and the destination
    Kind kind;
    int width = 0;    // Text only
};

struct Step {
    const char *legacy;
    const char *destination;
    // The legacy rows are written in id order, keeping their ids; a table
    // without an id keeps the legacy order and gets its ids from the database.
    bool hasId;
    std::vector<Column> columns;
};

std::vector<Column> timesheetColumns()
{
    std::vector<Column> c{{"id", Kind::Integer}, {"w_id", Kind::Integer}, {"month", Kind::Integer},
                          {"year", Kind::Integer}, {"smena", Kind::Integer}};
    static const QList<QByteArray> days = [] {
        QList<QByteArray> n;
        for (const QString &d : DayColumns::names())
            n << d.toLatin1();
        return n;
    }();
    for (const QByteArray &d : days)
        c.push_back({d.constData(), Kind::Integer});
    return c;
}

const std::vector<Step> &plan()
{
    static const std::vector<Step> steps{
        {"H_TABEL", "accounts_dep.h_tabel", true, timesheetColumns()},
        {"IZDEL", "accounts_dep.izdel", true,
         {{"id", Kind::Integer}, {"marka", Kind::Text, 512}, {"nom", Kind::Text, 512}, {"massa", Kind::Float}}},
        {"NOMENKL", "accounts_dep.nomenkl", false, {{"marka", Kind::Text, 128}, {"nom", Kind::Text, 512}}},
        {"OPER", "accounts_dep.oper", true,
         {{"id", Kind::Integer}, {"vid", Kind::Integer}, {"naimen", Kind::Integer}, {"cena", Kind::Float}, {"i_id", Kind::Integer}}},
        {"VID_OPER", "accounts_dep.vid_oper", true, {{"id", Kind::Integer}, {"vid", Kind::Text, 128}}},
        {"WORKERS", "accounts_dep.workers", true,
         {{"id", Kind::Integer}, {"fio", Kind::Text, 128}, {"addr", Kind::Text, 128}}},
        {"smena", "accounts_dep.smena", true,
         {{"id", Kind::Integer}, {"w_id", Kind::Integer}, {"i_id", Kind::Integer}, {"o_id", Kind::Integer},
          {"kol_vo", Kind::Integer}, {"brak", Kind::Integer}, {"smena", Kind::Integer}, {"cena", Kind::Float},
          {"color", Kind::Integer}, {"ok", Kind::Text, 2}, {"data", Kind::Date}, {"time", Kind::OptInteger},
          {"vvod", Kind::DateTime}}},
    };
    return steps;
}

QString errorText(const QSqlError &e)
{
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.text().trimmed();
    return t;
}

// A value the legacy row holds that cannot become what its column needs.
struct BadValue {
    QString text;
};

bool isEmpty(const QVariant &v)
{
    return v.isNull() || (v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty());
}

qlonglong toInteger(const QVariant &v, const char *column)
{
    bool ok = false;
    qlonglong n = v.toLongLong(&ok);
    if (!ok) {
        const double d = v.toString().trimmed().toDouble(&ok);
        if (ok)
            n = qRound64(d);
    }
    if (!ok)
        throw BadValue{QStringLiteral("%1 «%2» — не число").arg(QLatin1String(column), v.toString())};
    return n;
}

QVariant integerValue(qlonglong n)
{
    if (n >= INT_MIN && n <= INT_MAX)
        return QVariant(int(n));
    return QVariant(n);
}

// Legacy dates come as date-times from a proper driver, or as text from a
// driver that reports them as strings.
QDateTime toDateTime(const QVariant &v, const char *column)
{
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    if (v.typeId() == QMetaType::QDate)
        return QDateTime(v.toDate(), QTime(0, 0));
    const QString s = v.toString().trimmed();
    static const char *formats[] = {
        "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd",
        "dd.MM.yyyy H:mm:ss", "dd.MM.yyyy H:mm", "dd.MM.yyyy", "MM/dd/yyyy H:mm:ss", "MM/dd/yyyy",
        "MM/dd/yy H:mm:ss", "MM/dd/yy",
    };
    for (const char *f : formats) {
        QDateTime dt = QDateTime::fromString(s, QLatin1String(f));
        if (dt.isValid()) {
            // Qt reads a two-digit year as 19yy; the plant's data is this century's
            if (!QLatin1String(f).contains(QLatin1String("yyyy")))
                dt = dt.addYears(100);
            return dt;
        }
    }
    throw BadValue{QStringLiteral("%1 «%2» — не дата").arg(QLatin1String(column), s)};
}

QVariant convert(const QVariant &v, const Column &c)
{
    switch (c.kind) {
    case Kind::Integer:
        return isEmpty(v) ? QVariant(0) : integerValue(toInteger(v, c.name));
    case Kind::OptInteger:
        return isEmpty(v) ? QVariant(QMetaType(QMetaType::Int)) : integerValue(toInteger(v, c.name));
    case Kind::Float: {
        if (isEmpty(v))
            return QVariant(0.0);
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok)
            throw BadValue{QStringLiteral("%1 «%2» — не число").arg(QLatin1String(c.name), v.toString())};
        return d;
    }
    case Kind::Text:
        return v.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(v.toString().left(c.width));
    case Kind::Date:
        return isEmpty(v) ? QVariant(QMetaType(QMetaType::QDate)) : QVariant(toDateTime(v, c.name).date());
    case Kind::DateTime:
        return isEmpty(v) ? QVariant(QMetaType(QMetaType::QDateTime)) : QVariant(toDateTime(v, c.name));
    }
    return v;
}

QSqlDatabase openOdbc(const char *connection, const QString &source, const QString &user, const QString &password)
{
    QSqlDatabase db = QSqlDatabase::contains(QLatin1String(connection))
        ? QSqlDatabase::database(QLatin1String(connection), false)
        : QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QLatin1String(connection));
    if (!db.isValid())
        throw DbError(QStringLiteral("Драйвер ODBC для Qt (QODBC) не установлен: импорт невозможен."));
    if (db.isOpen())
        return db;
    db.setDatabaseName(source);
    db.setUserName(user);
    db.setPassword(password);
    if (!db.open())
        throw DbError(QStringLiteral("Нет соединения с источником данных ODBC «%1»:\n%2").arg(source, errorText(db.lastError())));
    return db;
}

QString stepTitle(int n, const Step &s)
{
    return QStringLiteral("шаг %1 из %2 (%3 → %4)").arg(n).arg(plan().size()).arg(QLatin1String(s.legacy), QLatin1String(s.destination));
}

[[noreturn]] void stop(int n, const Step &s, const QString &where, const QString &why)
{
    throw DbError(QStringLiteral("Импорт остановлен: %1%2.\n%3").arg(stepTitle(n, s), where, why));
}

// The legacy rows of a step: the plan's columns only, in id order where the
// plan says so (sorted here, as the old program's client-side cursor did, so
// that drivers without ORDER BY work too).
QVector<QVector<QVariant>> readLegacy(int n, const Step &s)
{
    Rows q;
    try {
        q = Gateway::run(QLatin1String(LegacyImport::kLegacyConnection), QStringLiteral("select * from ") + QLatin1String(s.legacy));
    } catch (const DbError &e) {
        stop(n, s, QString(), QStringLiteral("Таблица старой базы не читается:\n") + e.text());
    }
    QVector<int> at;
    for (const Column &c : s.columns) {
        const int found = q.columnIndex(QLatin1String(c.name));
        if (found < 0)
            stop(n, s, QString(), QStringLiteral("В таблице старой базы нет столбца %1.").arg(QLatin1String(c.name)));
        at << found;
    }
    QVector<QVector<QVariant>> rows;
    while (q.next()) {
        QVector<QVariant> r(at.size());
        for (int i = 0; i < at.size(); ++i)
            r[i] = q.value(at[i]);
        rows.push_back(std::move(r));
    }
    if (s.hasId) // id is the plan's first column
        std::stable_sort(rows.begin(), rows.end(), [](const QVector<QVariant> &a, const QVector<QVariant> &b) {
            return a[0].toLongLong() < b[0].toLongLong();
        });
    return rows;
}

const QString kPg = QLatin1String(LegacyImport::kPgConnection);

bool isView(const Step &s)
{
    const QString name = QString::fromLatin1(s.destination).section(QLatin1Char('.'), 1);
    try {
        Rows q = Gateway::run(kPg, QStringLiteral("select c.relkind from pg_class c join pg_namespace n on n.oid = c.relnamespace "
                                                  "where n.nspname = 'accounts_dep' and c.relname = ?"),
                              {name});
        return q.next() && q.value(0).toString() == QLatin1String("v");
    } catch (const DbError &) {
        return false;
    }
}

// Moves the destination's key counter past its highest id (never back).
void moveKeyCounter(int n, const Step &s)
{
    // the table's name is the plan's own, never typed
    const QString table = QLatin1String(s.destination);
    QString seq;
    try {
        Rows q = Gateway::run(kPg, QStringLiteral("select pg_get_serial_sequence(?, 'id')"), {table});
        seq = q.next() ? q.value(0).toString() : QString();
    } catch (const DbError &e) {
        stop(n, s, QString(), QStringLiteral("Не найден счётчик ключей:\n") + e.text());
    }
    if (seq.isEmpty())
        return; // no generated key there
    try {
        Gateway::run(kPg, QStringLiteral("select setval(?::regclass, x.m) from (select max(id)::bigint as m from %1) x, %2 s "
                                         "where x.m >= s.last_value + case when s.is_called then 1 else 0 end")
                              .arg(table, seq),
                     {seq}, Gateway::Retry::Never);
    } catch (const DbError &e) {
        stop(n, s, QString(), QStringLiteral("Счётчик ключей не передвинут:\n") + e.text());
    }
}

// The legacy entries judged by the database's own limits of an entry
// (quantity and defects 0 to 100 000, hours 0 to 24 and a worker's day at
// most 24, colour not negative) before anything is emptied: an entry out of
// them is refused, and the import does not start, naming every such entry
// so it can be put right in the legacy database. Their prices stay as the
// legacy database has them: they are history. A value that is no number or
// no date is left to its step, which stops at its row as before.
void refuseEntriesOutOfRange(int n, const Step &s, const QVector<QVector<QVariant>> &rows)
{
    auto at = [&s](const char *name) {
        for (size_t i = 0; i < s.columns.size(); ++i)
            if (qstrcmp(s.columns[i].name, name) == 0)
                return int(i);
        return -1;
    };
    const int id = at("id"), worker = at("w_id"), date = at("data"), quantity = at("kol_vo"), defects = at("brak"),
              hours = at("time"), colour = at("color");
    QStringList ids, workers, dates, quantities, defectList, hourList, colours;
    const auto text = [](const QVariant &v) { return v.isNull() ? QString() : v.toString(); };
    for (const QVector<QVariant> &r : rows) {
        QVariant conv[7];
        try {
            const int cols[7] = {id, worker, date, quantity, defects, hours, colour};
            for (int i = 0; i < 7; ++i)
                conv[i] = convert(r[cols[i]], s.columns[size_t(cols[i])]);
        } catch (const BadValue &) {
            continue; // its step stops at it
        }
        ids << text(conv[0]);
        workers << text(conv[1]);
        dates << (conv[2].isNull() ? QString() : conv[2].toDate().toString(Qt::ISODate));
        quantities << text(conv[3]);
        defectList << text(conv[4]);
        hourList << text(conv[5]);
        colours << text(conv[6]);
    }
    if (ids.isEmpty())
        return;
    const QString join = QStringLiteral(",");
    QStringList refused;
    int count = 0;
    try {
        Rows q = Gateway::run(kPg,
                              QStringLiteral("select id, message from accounts_dep.entries_refusals("
                                             "string_to_array(?, ',', '')::bigint[], string_to_array(?, ',', '')::bigint[], "
                                             "string_to_array(?, ',', '')::date[], string_to_array(?, ',', '')::bigint[], "
                                             "string_to_array(?, ',', '')::bigint[], string_to_array(?, ',', '')::bigint[], "
                                             "string_to_array(?, ',', '')::bigint[])"),
                              {ids.join(join), workers.join(join), dates.join(join), quantities.join(join), defectList.join(join),
                               hourList.join(join), colours.join(join)});
        while (q.next()) {
            if (++count <= 20)
                refused << QStringLiteral("позиция id=%1: %2").arg(q.value(0).toString(), q.value(1).toString());
        }
    } catch (const DbError &e) {
        stop(n, s, QString(), QStringLiteral("Позиции старой базы не проверены:\n") + e.text());
    }
    if (count == 0)
        return;
    if (count > refused.size())
        refused << QStringLiteral("… и ещё %1").arg(count - refused.size());
    throw DbError(QStringLiteral("Импорт не начат: в старой базе (таблица %1) есть позиции, которые программа не принимает. "
                                 "Ничего не изменено. Исправьте их в старой базе и запустите импорт снова.\n%2")
                      .arg(QLatin1String(s.legacy), refused.join(QLatin1Char('\n'))));
}

} // namespace

int LegacyImport::stepCount() { return int(plan().size()); }

void LegacyImport::connect()
{
    openOdbc(kLegacyConnection, QLatin1String(kLegacySource), QString(), QStringLiteral("plodkawes"));
    // As the owner of the schema (the program's login may not empty its
    // tables); the data source supplies the password, if the server asks for one.
    openOdbc(kPgConnection, QLatin1String(kPgSource), QString::fromLatin1(Owner::Role), QString());
}

void LegacyImport::run(const ProgressFn &progress)
{
    connect();
    ClosedMonths::refuseIfAnyWithRows(QLatin1String(kPgConnection), QStringLiteral("Импорт"));
    // its records name the user signed in to the program
    SessionTie::tieAlso(QLatin1String(kPgConnection), QString::fromLatin1(TDataModule6::ConnectionName));
    Audit::action(QLatin1String(kPgConnection), QStringLiteral("импорт"), QString());
    // The entries first: read once, judged before any table is emptied
    const int entriesStep = stepCount();
    std::optional<QVector<QVector<QVariant>>> entries;
    try {
        entries = readLegacy(entriesStep, plan().back());
    } catch (const DbError &) {
        // an unreadable table stops the import at its step, as any other
    }
    if (entries)
        refuseEntriesOutOfRange(entriesStep, plan().back(), *entries);

    Progress p;
    p.steps = stepCount();
    for (int n = 1; n <= p.steps; ++n) {
        const Step &s = plan()[size_t(n - 1)];
        const QVector<QVector<QVariant>> rows = n == entriesStep && entries ? *entries : readLegacy(n, s);
        p.step = n;
        p.legacyTable = QLatin1String(s.legacy);
        p.destination = QLatin1String(s.destination);
        p.copied = 0;
        p.total = rows.size();
        if (progress)
            progress(p);

        try {
            Gateway::run(kPg, QStringLiteral("delete from %1 where id>0").arg(p.destination), {}, Gateway::Retry::Never);
        } catch (const DbError &e) {
            const QString db = e.text();
            if (isView(s))
                stop(n, s, QString(),
                     QStringLiteral("В этой базе %1 — представление над товарами ERP, а не таблица: "
                                    "изделия старой базы в него перенести нельзя. "
                                    "Предыдущие шаги выполнены полностью, следующие не выполнялись.\n"
                                    "Ответ базы данных: %2")
                         .arg(p.destination, db));
            stop(n, s, QString(), db);
        }

        QStringList names, marks;
        for (const Column &c : s.columns) {
            names << QLatin1String(c.name);
            marks << QStringLiteral("?");
        }
        const QString insert = QStringLiteral("insert into %1 (%2) values (%3)")
                                   .arg(p.destination, names.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
        for (const QVector<QVariant> &r : rows) {
            const QString where = s.hasId ? QStringLiteral(", строка id=%1").arg(r[0].toString())
                                             : QStringLiteral(", строка %1").arg(p.copied + 1);
            QVariantList values;
            try {
                for (int i = 0; i < r.size(); ++i)
                    values << convert(r[i], s.columns[size_t(i)]);
            } catch (const BadValue &bad) {
                stop(n, s, where, bad.text);
            }
            try {
                Gateway::run(kPg, insert, values, Gateway::Retry::Never);
            } catch (const DbError &e) {
                stop(n, s, where, e.text());
            }
            ++p.copied;
            if (progress)
                progress(p);
        }
        moveKeyCounter(n, s);
    }
}

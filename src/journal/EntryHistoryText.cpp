#include "EntryHistoryText.h"

#include "db/DbSession.h"
#include "records/Users.h"
#include "records/ClosedMonths.h"

#include <QDate>
#include <QDateTime>
#include <QJsonValue>
#include <QRegularExpression>

namespace HistoryText {
namespace {

enum class Kind { Plain, Date, Shift, Worker, Product, Operation, Group, WorkKind, Money, Mark, Colour, Flag, Role, Hidden };

struct Field {
    const char *key;
    const char *caption;
    Kind kind;
    bool whole; // listed for an insertion or a deletion
};

// In the order the windows show them.
const Field kEntries[] = {
    {"data", "Дата", Kind::Date, true},
    {"smena", "Смена", Kind::Shift, true},
    {"w_id", "Фамилия И.О.", Kind::Worker, true},
    {"i_id", "Марка изделия", Kind::Product, true},
    {"o_id", "Операция", Kind::Operation, true},
    {"kol_vo", "Кол-во", Kind::Plain, true},
    {"brak", "Брак", Kind::Plain, true},
    {"cena", "Цена", Kind::Money, true},
    {"time", "Часы", Kind::Plain, true},
    {"color", "Цвет", Kind::Colour, true},
    {"ok", "Закрыто", Kind::Mark, true},
    {"prize", "Премия (%)", Kind::Plain, false},
    {"id_doc", "Документ ERP", Kind::Plain, false},
    {"id_doc_item", "Строка документа ERP", Kind::Plain, false},
    {"id_gds_use", "Товар ERP", Kind::Plain, false},
    {"id_cons_use", "Расход ERP", Kind::Plain, false},
    {"f_gds_qty_use", "Количество ERP", Kind::Plain, false},
    // rewritten by every save of the editor; the record's own time says when
    {"vvod", "", Kind::Hidden, false},
    {"id", "", Kind::Hidden, false},
    {"save_key", "", Kind::Hidden, false},
};

const Field kHousekeeping[] = {
    {"d_date", "Дата", Kind::Date, true},
    {"i_smena", "Смена", Kind::Shift, false},
    {"id_p", "ФИО", Kind::Worker, true},
    {"id_nom", "Номенклатура", Kind::Group, true},
    {"id_o", "Работа", Kind::WorkKind, true},
    {"cnt", "Кол-во", Kind::Plain, true},
    {"price", "Цена", Kind::Money, true},
    {"i_holiday", "Выходной", Kind::Flag, true},
    {"i_night", "Ночные", Kind::Flag, true},
    // follow the date
    {"i_mnth", "", Kind::Hidden, false},
    {"i_year", "", Kind::Hidden, false},
    {"id", "", Kind::Hidden, false},
    {"save_key", "", Kind::Hidden, false},
};

const Field kUsers[] = {
    {"name", "Имя", Kind::Plain, true},
    {"role", "Роль", Kind::Role, true},
    {"active", "Вход разрешён", Kind::Flag, true},
    {"builtin", "", Kind::Hidden, false},
    {"id", "", Kind::Hidden, false},
    {"code_hash", "", Kind::Hidden, false},
};

// Fields of the recorded actions (closing a month, a rebuild)
const Field kActions[] = {
    {"year", "Год", Kind::Plain, true},
    {"month", "Месяц", Kind::Plain, true},
    {"shift", "Смена", Kind::Shift, true},
};

struct F {
    QString key, caption;
    Kind kind;
    bool whole;
};

template <size_t N>
QVector<F> list(const Field (&a)[N])
{
    QVector<F> out;
    for (const Field &f : a)
        out.push_back({QString::fromLatin1(f.key), QString::fromUtf8(f.caption), f.kind, f.whole});
    return out;
}

QVector<F> fieldsOf(const QString &table)
{
    if (table == QLatin1String("smena"))
        return list(kEntries);
    if (table == QLatin1String("fatigue"))
        return list(kHousekeeping);
    if (table == QLatin1String("users"))
        return list(kUsers);
    return list(kActions);
}

qint64 idOf(const QJsonValue &v)
{
    if (v.isDouble())
        return qint64(v.toDouble());
    if (v.isString())
        return v.toString().trimmed().toLongLong();
    return 0;
}

QString number(const QJsonValue &v)
{
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (d == double(qint64(d)))
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    return v.toString().trimmed();
}

// Up to four places, at least two: 1.5 → "1.50", 1.2345 → "1.2345".
QString money(const QJsonValue &v)
{
    bool ok = true;
    const double d = v.isDouble() ? v.toDouble() : v.toString().toDouble(&ok);
    if (!ok)
        return v.toString();
    QString t = QString::number(d, 'f', 4);
    while (t.endsWith(QLatin1Char('0')) && t.indexOf(QLatin1Char('.')) < t.size() - 3)
        t.chop(1);
    return t;
}

QString named(const QHash<qint64, QString> &names, const QJsonValue &v)
{
    const qint64 id = idOf(v);
    if (!id)
        return QStringLiteral("—");
    const QString n = names.value(id);
    return n.isEmpty() ? QStringLiteral("№ %1 (нет в справочнике)").arg(id) : n;
}

QString shown(Kind kind, const QJsonValue &v, const Names &names)
{
    if (v.isNull() || v.isUndefined())
        return kind == Kind::Mark ? QStringLiteral("нет") : QStringLiteral("—");
    switch (kind) {
    case Kind::Date: {
        const QDate d = QDate::fromString(v.toString().left(10), Qt::ISODate);
        return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : v.toString();
    }
    case Kind::Shift: {
        const qint64 s = idOf(v);
        return s == 4 ? QStringLiteral("Переработка") : QString::number(s);
    }
    case Kind::Worker: return named(names.workers, v);
    case Kind::Product: return named(names.products, v);
    case Kind::Operation: return named(names.operations, v);
    case Kind::Group: return named(names.groups, v);
    case Kind::WorkKind: return named(names.kinds, v);
    case Kind::Money: return money(v);
    case Kind::Mark: {
        const QString m = v.toString().trimmed();
        if (m == QLatin1String("ok") || m == QStringLiteral("да"))
            return QStringLiteral("да");
        if (m.isEmpty() || m == QLatin1String("no"))
            return QStringLiteral("нет");
        if (m == QLatin1String("ta"))
            return QStringLiteral("скрыта");
        return m;
    }
    case Kind::Colour: {
        const qint64 c = idOf(v);
        return c == 0 ? QStringLiteral("нет") : c == 1 ? QStringLiteral("грунт") : QString::number(c);
    }
    case Kind::Flag:
        if (v.isBool())
            return v.toBool() ? QStringLiteral("да") : QStringLiteral("нет");
        return idOf(v) ? QStringLiteral("да") : QStringLiteral("нет");
    case Kind::Role: return Users::roleCaption(v.toString());
    case Kind::Plain:
    case Kind::Hidden: break;
    }
    if (v.isBool())
        return v.toBool() ? QStringLiteral("да") : QStringLiteral("нет");
    return number(v);
}


} // namespace

void Wanted::add(const QString &table, const QJsonObject &row)
{
    for (const F &f : fieldsOf(table)) {
        const qint64 id = idOf(row.value(f.key));
        if (!id)
            continue;
        switch (f.kind) {
        case Kind::Worker: workers << id; break;
        case Kind::Product: products << id; break;
        case Kind::Operation: operations << id; break;
        case Kind::Group: groups << id; break;
        case Kind::WorkKind: kinds << id; break;
        default: break;
        }
    }
}

bool Wanted::isEmpty() const
{
    return workers.isEmpty() && products.isEmpty() && operations.isEmpty() && groups.isEmpty() && kinds.isEmpty();
}

static QString idList(const QSet<qint64> &ids)
{
    QStringList out;
    out.reserve(ids.size());
    for (qint64 id : ids)
        out << QString::number(id);
    return out.join(QLatin1Char(','));
}

Names readNames(const QString &connection, const Wanted &w)
{
    Names n;
    if (w.isEmpty())
        return n;
    Rows q = DbSession::execBound(
        connection,
        QStringLiteral(
            "select 'w', p.id::bigint, p.s_caption from cmn_contractor.person p"
            " where p.id = any(string_to_array(?, ',')::numeric[]) "
            "union all select 'i', z.id::bigint, z.marka from accounts_dep.izdel z"
            " where z.id = any(string_to_array(?, ',')::numeric[]) "
            "union all select 'o', o.id::bigint, v.vid from accounts_dep.oper o join accounts_dep.vid_oper v on v.id = o.vid"
            " where o.id = any(string_to_array(?, ',')::integer[]) "
            "union all select 'g', i.id::bigint, i.s_caption from cmn_classifier.item i"
            " where i.id = any(string_to_array(?, ',')::numeric[]) "
            "union all select 'k', v.id::bigint, v.vid from accounts_dep.vid_oper v"
            " where v.id = any(string_to_array(?, ',')::integer[])"),
        {idList(w.workers), idList(w.products), idList(w.operations), idList(w.groups), idList(w.kinds)},
        DbSession::Retry::Read);
    while (q.next()) {
        const QString kind = q.value(0).toString();
        const qint64 id = q.value(1).toLongLong();
        const QString name = q.value(2).toString().trimmed();
        QHash<qint64, QString> *into = kind == QLatin1String("w")   ? &n.workers
                                       : kind == QLatin1String("i") ? &n.products
                                       : kind == QLatin1String("o") ? &n.operations
                                       : kind == QLatin1String("g") ? &n.groups
                                                                    : &n.kinds;
        into->insert(id, name);
    }
    return n;
}

QStringList changes(const QString &table, const QJsonObject &before, const QJsonObject &after, const Names &names)
{
    QVector<F> fields = fieldsOf(table);
    QStringList extra;
    for (const QJsonObject *o : {&before, &after})
        for (auto it = o->begin(); it != o->end(); ++it) {
            bool known = false;
            for (const F &f : fields)
                known = known || it.key() == f.key;
            if (!known && !extra.contains(it.key()))
                extra << it.key();
        }
    extra.sort();
    // A column this version does not know is shown under its own name
    // rather than hidden: the trail must not keep a change from its reader.
    for (const QString &k : extra)
        fields.push_back({k, k, Kind::Plain, true});

    const bool change = !before.isEmpty() && !after.isEmpty();
    const QJsonObject &row = before.isEmpty() ? after : before;
    QStringList parts;
    for (const F &f : fields) {
        if (f.kind == Kind::Hidden)
            continue;
        const QString &key = f.key;
        const QString &caption = f.caption;
        if (change) {
            if (!before.contains(key) && !after.contains(key))
                continue;
            const QString was = shown(f.kind, before.value(key), names), now = shown(f.kind, after.value(key), names);
            if (was == now)
                continue; // unchanged, or changed only in how it is stored ("ok" / "да")
            parts << QStringLiteral("%1: %2 → %3").arg(caption, was, now);
        } else {
            if (!row.contains(key))
                continue;
            const QJsonValue v = row.value(key);
            if (!f.whole && (v.isNull() || idOf(v) == 0))
                continue;
            parts << QStringLiteral("%1: %2").arg(caption, shown(f.kind, v, names));
        }
    }
    return parts;
}

QString entry(const QString &table, const QString &key, const QJsonObject &row, const Names &names)
{
    const auto v = [&](const char *k, Kind kind) { return shown(kind, row.value(QLatin1String(k)), names); };
    if (table == QLatin1String("smena")) {
        if (row.isEmpty())
            return QStringLiteral("журнал, запись удалена");
        const qint64 shift = idOf(row.value(QLatin1String("smena")));
        return QStringLiteral("журнал, %1, %2, %3, %4, %5")
            .arg(v("data", Kind::Date), shift == 4 ? QStringLiteral("переработка") : QStringLiteral("смена %1").arg(shift),
                 v("w_id", Kind::Worker), v("i_id", Kind::Product), v("o_id", Kind::Operation));
    }
    if (table == QLatin1String("fatigue")) {
        if (row.isEmpty())
            return QStringLiteral("хоз. работы, запись удалена");
        return QStringLiteral("хоз. работы, %1, %2, %3, %4")
            .arg(v("d_date", Kind::Date), v("id_p", Kind::Worker), v("id_nom", Kind::Group), v("id_o", Kind::WorkKind));
    }
    if (table == QLatin1String("users"))
        return QStringLiteral("пользователь %1").arg(row.value(QLatin1String("name")).toString());
    static const QRegularExpression month(QStringLiteral("^(\\d{4})-(\\d{2})$"));
    const QRegularExpressionMatch m = month.match(key);
    if (m.hasMatch())
        return ClosedMonths::monthName(m.captured(1).toInt(), m.captured(2).toInt());
    return key;
}

QString who(const QString &user, const QString &role, const QString &workstation)
{
    const QString r = Users::roleCaption(role);
    if (workstation.isEmpty())
        return QStringLiteral("%1 (%2)").arg(user, r);
    return QStringLiteral("%1 (%2, %3)").arg(user, r, workstation);
}

} // namespace HistoryText

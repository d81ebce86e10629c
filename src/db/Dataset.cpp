#include "Dataset.h"

#include "DbError.h"
#include "DbSession.h"
#include "Sql.h"


QString Statement::boundText() const { return Sql::bind(text(), m_params); }

Gateway::Call Statement::call() const
{
    Gateway::Call c;
    c.text = Sql::positional(text(), m_params, &c.values);
    return c;
}

Rows Statement::run(DbSession::Retry retry) const
{
    const Gateway::Call c = call();
    return Gateway::run(m_connection, c.text, c.values, retry);
}

void Command::exec() { run(DbSession::Retry::Never); }

Dataset::Dataset(const QString &connection, QObject *parent)
    : QObject(parent), Statement(connection)
{
}

void Dataset::open() { take(run(DbSession::Retry::Read)); }

void Dataset::openTogether(const QList<Dataset *> &datasets)
{
    if (datasets.isEmpty())
        return;
    QList<Gateway::Call> calls;
    for (const Dataset *d : datasets)
        calls << d->call();
    QList<Rows> results = Gateway::runTogether(datasets.first()->connectionName(), calls, DbSession::Retry::Read);
    for (int i = 0; i < datasets.size(); ++i)
        datasets.at(i)->take(std::move(results[i]));
}

void Dataset::take(Rows &&rows)
{
    m_fields.clear();
    m_types.clear();
    for (int i = 0; i < rows.columnCount(); ++i) {
        m_fields << rows.columnName(i);
        m_types << rows.columnType(i);
    }
    m_rows = rows.takeRows();
    m_open = true;
    applyFilter();
}

void Dataset::close()
{
    if (!m_open && m_rows.isEmpty())
        return;
    m_open = false;
    m_rows.clear();
    m_visible.clear();
    m_current = -1;
    emit reset();
}

void Dataset::refresh()
{
    const int rec = recNo();
    close();
    open();
    setRecNo(rec);
}

int Dataset::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void Dataset::setRecNo(int recNo)
{
    int idx = recNo - 1;
    if (m_visible.isEmpty())
        idx = -1;
    else
        idx = qBound(0, idx, int(m_visible.size()) - 1);
    if (idx == m_current)
        return;
    m_current = idx;
    emit currentChanged(m_current + 1);
}

bool Dataset::locate(const QString &field, const QVariant &value)
{
    const int col = fieldIndex(field);
    if (col < 0)
        return false;
    for (int i = 0; i < m_visible.size(); ++i) {
        const QVariant &v = m_rows.at(m_visible.at(i)).at(col);
        bool same;
        if (value.typeId() == QMetaType::QString)
            same = v.toString().trimmed().compare(value.toString().trimmed(), Qt::CaseInsensitive) == 0;
        else if (v.isNull() || value.isNull())
            same = v.isNull() && value.isNull();
        else
            same = v.toString() == value.toString() || v.toDouble() == value.toDouble();
        if (same) {
            setRecNo(i + 1);
            return true;
        }
    }
    return false;
}

QVariant Dataset::value(const QString &field) const
{
    if (m_current < 0)
        return QVariant();
    return valueAt(m_current, field);
}

QString Dataset::asString(const QString &field) const { return value(field).toString(); }
int Dataset::asInt(const QString &field) const
{
    // numeric columns arrive as exact decimal text ("12.0000")
    const QVariant v = value(field);
    bool ok = false;
    const int i = v.toInt(&ok);
    return ok ? i : int(qRound64(v.toDouble()));
}
double Dataset::asDouble(const QString &field) const { return value(field).toDouble(); }

QVariant Dataset::valueAt(int row, const QString &field) const
{
    return valueAt(row, fieldIndex(field));
}

QVariant Dataset::valueAt(int row, int column) const
{
    if (row < 0 || row >= m_visible.size() || column < 0 || column >= m_fields.size())
        return QVariant();
    return m_rows.at(m_visible.at(row)).at(column);
}

QVariant Dataset::rawValue(int rawRow, const QString &field) const
{
    const int col = fieldIndex(field);
    if (rawRow < 0 || rawRow >= m_rows.size() || col < 0)
        return QVariant();
    return m_rows.at(rawRow).at(col);
}

void Dataset::setFilter(Filter f)
{
    m_filter = std::move(f);
    if (m_open)
        applyFilter();
}

void Dataset::applyFilter()
{
    m_visible.clear();
    m_visible.reserve(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i)
        if (!m_filter || m_filter(*this, i))
            m_visible.push_back(i);
    m_current = m_visible.isEmpty() ? -1 : 0;
    emit reset();
    emit currentChanged(m_current + 1);
}

Dataset::Filter Dataset::textFilter(const QString &field, const QString &text, bool prefix)
{
    if (text.isEmpty())
        return Filter();
    return [field, text, prefix](const Dataset &ds, int raw) {
        const QString v = ds.rawValue(raw, field).toString();
        return prefix ? v.startsWith(text, Qt::CaseInsensitive) : v.contains(text, Qt::CaseInsensitive);
    };
}

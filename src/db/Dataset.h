#pragma once
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>

#include "DbSession.h"

// SQL text kept as lines and named parameters that keep their values between
// runs. Shared by Dataset (a query) and Command (a statement run once).
class Statement {
public:
    explicit Statement(const QString &connection = QString()) : m_connection(connection) {}
    virtual ~Statement() = default;

    QStringList sql;                 // the statement, line by line
    void setSql(const QString &text) { sql = QStringList{text}; }
    QString text() const { return sql.join(QLatin1Char('\n')); }

    // Parameters are bound by name, without regard to case.
    void setParam(const QString &name, const QVariant &value) { m_params[name.toLower()] = value; }
    QVariant param(const QString &name) const { return m_params.value(name.toLower()); }
    QString boundText() const;

    QString connectionName() const { return m_connection; }
    void setConnectionName(const QString &c) { m_connection = c; }

protected:
    // The statement as the gateway takes it: "?" placeholders and their values.
    Gateway::Call call() const;
    Rows run(DbSession::Retry retry) const; // throws DbError
    QString m_connection;
    QMap<QString, QVariant> m_params;
};

// A statement that returns nothing to the program. Throws DbError on failure.
class Command : public Statement {
public:
    using Statement::Statement;
    void exec();
    // Convenience: replace the text and run it.
    void exec(const QString &text) { setSql(text); exec(); }
};

// A client-side snapshot of a query's whole result, with a current record
// and an optional client-side filter over the rows already read.
class Dataset : public QObject, public Statement {
    Q_OBJECT
public:
    explicit Dataset(const QString &connection = QString(), QObject *parent = nullptr);

    // Runs the statement and fetches every row; throws DbError. A connection
    // found lost is reopened and, outside a transaction, the statement run
    // once more: a statement that writes (delete ... returning) belongs
    // inside a Transaction.
    void open();
    void close();
    bool isOpen() const { return m_open; }
    void refresh(); // close, open, back to the same record number
    // Opens several datasets with one trip to the server (all on the same
    // connection); when one fails, none is opened and the error is thrown.
    static void openTogether(const QList<Dataset *> &datasets);
    // The read as the gateway takes it, for sending it beside other
    // statements; takeRows() then opens the dataset on its answer.
    Gateway::Call readCall() const { return call(); }
    void takeRows(Rows &&rows) { take(std::move(rows)); }

    // Fields of the result, in statement order
    int fieldCount() const { return m_fields.size(); }
    QString fieldName(int i) const { return m_fields.value(i); }
    int fieldIndex(const QString &name) const; // case-insensitive, -1 if missing
    // The type the query declares for a column (numeric columns are Double
    // although their values arrive as exact decimal text); invalid if unknown.
    QMetaType fieldType(int i) const { return m_types.value(i); }
    QMetaType fieldType(const QString &name) const { return fieldType(fieldIndex(name)); }
    bool hasField(const QString &name) const { return fieldIndex(name) >= 0; }

    // Visible rows (after the filter)
    int recordCount() const { return m_visible.size(); }
    bool isEmpty() const { return m_visible.isEmpty(); }
    int recNo() const { return m_current + 1; } // 1-based; 0 when empty
    void setRecNo(int recNo);                   // clamps to the rows present
    void first() { setRecNo(1); }
    bool locate(const QString &field, const QVariant &value); // exact, case-insensitive for text

    // Reading the current record (empty/invalid QVariant when no row)
    QVariant value(const QString &field) const;
    QString asString(const QString &field) const;
    int asInt(const QString &field) const;
    double asDouble(const QString &field) const;
    // Reading any visible row (0-based)
    QVariant valueAt(int row, const QString &field) const;
    QVariant valueAt(int row, int column) const;

    // Client-side filter; an empty std::function switches it off.
    using Filter = std::function<bool(const Dataset &, int rawRow)>;
    void setFilter(Filter f);
    bool filtered() const { return bool(m_filter); }
    QVariant rawValue(int rawRow, const QString &field) const;
    // Search-box filters: rows whose field starts with / contains the text,
    // ignoring letter case (Cyrillic too). An empty text gives no filter.
    static Filter textFilter(const QString &field, const QString &text, bool prefix);

signals:
    void reset();                   // opened, closed or refiltered
    void currentChanged(int recNo); // cursor moved

private:
    void take(Rows &&rows);
    void applyFilter();
    QStringList m_fields;
    QVector<QMetaType> m_types;
    QVector<QVector<QVariant>> m_rows;
    QVector<int> m_visible;
    int m_current = -1;
    bool m_open = false;
    Filter m_filter;
};

#pragma once
#include <QString>
#include <stdexcept>

// A statement the database refused. Carries the database's own text so the
// user sees what the server said; the action that ran it stops there.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString &text, const QString &sql = QString())
        : std::runtime_error(text.toStdString()), m_text(text), m_sql(sql) {}
    QString text() const { return m_text; }
    QString sql() const { return m_sql; }

private:
    QString m_text;
    QString m_sql;
};

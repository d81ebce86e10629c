#pragma once
#include <QString>
#include <stdexcept>

// A statement the database refused. Carries the database's own text so the
// user sees what the server said; the action that ran it stops there.
// `details` holds words meant for whoever looks after the server (libpq's
// English, say), shown folded away under the message.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString &text, const QString &sql = QString(), const QString &details = QString())
        : std::runtime_error(text.toStdString()), m_text(text), m_sql(sql), m_details(details) {}
    QString text() const { return m_text; }
    QString sql() const { return m_sql; }
    QString details() const { return m_details; }

private:
    QString m_text;
    QString m_sql;
    QString m_details;
};

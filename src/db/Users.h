#pragma once
#include <QList>
#include <QString>
#include <optional>

// The users who sign in: a name, a role and a personal code, of which the
// database keeps only a salted bcrypt hash. The four codes the program always
// had are built-in users that the administrator may change or switch off.
namespace Users {

extern const char *const Administrator; // the role of the administrator

struct User {
    int id = 0;
    QString name;
    QString role; // administrator, masters, econom, sklad
    bool active = true;
    bool builtin = false;
};

// The active user with this code (compared exactly; the caller trims).
std::optional<User> byCode(const QString &connection, const QString &code); // throws DbError
QList<User> all(const QString &connection);

// Each runs in a transaction of its own; a code that another active user
// has is refused with the database's message (DbError).
int add(const QString &connection, const QString &name, const QString &role, const QString &code);
void setCode(const QString &connection, int id, const QString &code);
void setRole(const QString &connection, int id, const QString &role);
void setActive(const QString &connection, int id, bool active);

// The role's name as the users see it
QString roleCaption(const QString &role);

} // namespace Users

#pragma once
#include <QString>

// Who works at this workstation, told to the database at the start of every
// transaction (transaction-local settings), so the audit triggers can record
// it. Without a signed-in user the triggers record the change as made from
// outside the program.
namespace Actor {

struct Who {
    QString name;        // the user's name
    QString role;        // administrator, masters, econom, sklad
    QString workstation; // the computer's host name
};

void set(const Who &who);
void clear();
const Who &current();
bool isSet();

// Settings read by the database triggers (transaction-local).
extern const char *const UserSetting;        // "tabel.user"
extern const char *const RoleSetting;        // "tabel.role"
extern const char *const WorkstationSetting; // "tabel.workstation"

// Sends the settings on the connection; called right after BEGIN. Throws DbError.
void apply(const QString &connection);

} // namespace Actor

#pragma once
#include <QString>

// Who works at this workstation, as the program shows it (the status line).
// The database knows it on its own: signing in ties the server session to
// the user (see Users::signIn), and the audit records take it from there.
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

} // namespace Actor

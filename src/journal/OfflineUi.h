#pragma once
#include "records/Entries.h"
#include "records/HousekeepingEntries.h"
#include "records/Outcome.h"

#include <QString>
#include <functional>

struct Forms;
class OfflineQueue;

// Keying while no server answers: the editors' saves go into the signed-in
// user's queue on this workstation (records/OfflineQueue), the journal's
// status line counts what waits, and the queue goes in by itself once a
// server answers again (checked every few seconds while anything waits, and
// on "Обновить"). Kept apart from the windows: each has a hook of a line or two.
namespace OfflineUi {

// The status line and the "Не отправлено" button of the journal, and the
// checks while no server answers; once, after the windows are created.
void install(Forms &f);
// After a sign-in a server answered: that user's queue of this database;
// what waits from an earlier run is offered for sending.
void signedIn(Forms &f, int userId);
// The user signs out or the program ends: the queue stays in its file.
void reset();

// The editors' save: `online` while a server answers; while none does (or
// when the save failed and no server answers now), the new entry waits in
// the queue and `*queued` is set. A change of a stored entry is refused then.
Outcome saveEntry(Forms &f, const Entries::Entry &e, const QString &label, const QString &price,
                  const std::function<Outcome()> &online, bool *queued);
Outcome saveHousekeeping(Forms &f, const HousekeepingEntries::Entry &e, const QString &label,
                         const std::function<Outcome()> &online, bool *queued);

// Sends what waits when a server answers ("Обновить"); false when none does.
bool sendNow(Forms &f);

OfflineQueue *queue(); // the signed-in user's, or null
bool serverDown();     // no server answered the last check
QString statusText();  // the status line ("" with nothing to say)

} // namespace OfflineUi

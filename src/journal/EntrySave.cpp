#include "EntrySave.h"

#include "db/DbError.h"
#include "ui/Dialogs.h"

namespace EntrySave {

bool finish(const Outcome &outcome, const std::function<void()> &reread, const QString &notReread)
{
    if (!outcome.ok()) {
        Dialogs::error(outcome.text);
        return false;
    }
    try {
        reread();
    } catch (const DbError &e) {
        Dialogs::error(notReread + e.text());
    }
    return true;
}

} // namespace EntrySave

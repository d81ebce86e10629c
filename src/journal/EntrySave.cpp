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

double priceForWrite(const Decimal &price)
{
    // The shortest decimal text reads back as the nearest double, which the
    // server prints as the same decimal again.
    return price.toString().toDouble();
}

} // namespace EntrySave

#pragma once
#include "records/Outcome.h"

#include <QString>
#include <functional>

// How both entry editors (shift entries and housekeeping entries) end a press
// of their save button: the write layer has run its transaction and ended it;
// only now is anything shown. A refusal is told and the window keeps what was
// typed, with the same save key, so that a press after an unknown outcome
// finds the stored row instead of writing a second one. After a save the list
// is read again; a failing read is told, but the entry stays saved.
namespace EntrySave {

bool finish(const Outcome &outcome, const std::function<void()> &reread, const QString &notReread);

} // namespace EntrySave

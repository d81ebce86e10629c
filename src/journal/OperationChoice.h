#pragma once
#include "db/Decimal.h"

#include <QString>
#include <optional>

class Dataset;
struct Forms;

// An operation as the operations list hands it to an editor: a value, so the
// editor keeps it without holding on to the list's query.
struct OperationChoice {
    int id = 0;   // the operation
    int item = 0; // its product
    int kind = 0; // its operation kind
    QString text; // "brand; kind; Готовая продукция" (or "Заготовки")
    std::optional<Decimal> listPrice; // the smallest of its norm prices
    bool painting = false;            // its kind takes a colour code

    // The operation's text as the editors show it
    static QString describe(const QString &marka, const QString &kind, int naimen);
    // The row of the operations query that is current
    static OperationChoice fromOper(const Dataset &oper);
    // Chooses in the operations list, which starts on `startId` (its first row
    // when < 0); empty when the list was left without a choice.
    static std::optional<OperationChoice> pick(Forms &forms, int startId);
};

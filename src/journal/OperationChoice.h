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
    std::optional<Decimal> listPrice;  // the smallest of its norm prices ("Цена база")
    std::optional<Decimal> finalPrice; // the price the database stores for the day and shift the list was opened for
    bool painting = false;            // its kind takes a colour code

    // The operation's text as the editors show it
    static QString describe(const QString &marka, const QString &kind, int naimen);
    // The current row of the operations list's query
    static OperationChoice fromOper(const Dataset &oper);
    // Chooses in the operations list, which starts on `startId` (its first row
    // when < 0) and prices each operation for `shift` and `dayOff`; empty when
    // the list was left without a choice.
    static std::optional<OperationChoice> pick(Forms &forms, int startId, int shift, bool dayOff);
};

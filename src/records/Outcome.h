#pragma once
#include <QString>

// What a write ended with. Windows show it only after the transaction has
// ended: nothing is held locked while the user reads a message.
struct Outcome {
    enum Kind {
        Saved,            // written and committed (or found stored by its key after an unknown outcome)
        Duplicate,        // refused: the same entry is stored already
        ChangedElsewhere, // refused: another workstation changed or deleted the row meanwhile
        Refused,          // refused by a check or by the database; `text` says why
    };
    Kind kind = Saved;
    QString text;  // the message for the user (Russian), with the database's text where there is one
    qint64 id = 0; // the row written, where there is one

    bool ok() const { return kind == Saved; }
    static Outcome saved(qint64 id = 0) { return {Saved, QString(), id}; }
    static Outcome refused(Kind k, const QString &text) { return {k, text, 0}; }
};

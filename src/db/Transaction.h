#pragma once
#include <QString>

// Writes that belong together: begun on construction, committed by commit(),
// rolled back when the guard goes out of scope without a commit (an error, a
// refusal, an early return). Inside another transaction on the same
// connection it only joins it.
class Transaction {
public:
    explicit Transaction(const QString &connection); // throws DbError
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit(); // throws DbError; afterwards the destructor does nothing

private:
    QString m_connection;
    bool m_done = false;
};

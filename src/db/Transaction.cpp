#include "Transaction.h"

#include "DbSession.h"

Transaction::Transaction(const QString &connection) : m_connection(connection)
{
    DbSession::begin(m_connection);
}

Transaction::~Transaction()
{
    if (!m_done)
        DbSession::rollback(m_connection);
}

void Transaction::commit()
{
    m_done = true;
    DbSession::commit(m_connection);
}

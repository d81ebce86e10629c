#pragma once
#include "DbError.h"

// The server gave up waiting for a lock another session held (SQLSTATE
// 55P03, lock_not_available): the write functions wait a few seconds at most.
class LockTimeout : public DbError {
public:
    using DbError::DbError;
};

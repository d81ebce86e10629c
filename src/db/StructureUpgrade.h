#pragma once
class TDataModule6;

// Brings an older database to the current structure, signed in to the
// database as its owner (Owner::open). Each single command runs on its own;
// one that fails (already done) is skipped silently. The users, audit and
// rights files run whole; their failure, and a missing owner's login, throw
// DbError.
void runStructureUpgrade(TDataModule6 &dm);

#pragma once
class TDataModule6;

// Brings an older database to the current structure, signed in to the
// database as its owner (Owner::open). Each single command runs on its own;
// one that fails (already done) is skipped silently. The users, audit and
// rights files run whole; their failure, and a missing owner's login, throw
// DbError. Then the version row takes the build's stamp (buildDate
// YYYYMMDD, buildTime seconds; none when buildDate is 0), if it is newer.
void runStructureUpgrade(TDataModule6 &dm, int buildDate = 0, int buildTime = 0);

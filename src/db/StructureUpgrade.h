#pragma once
class TDataModule6;

// Brings an older database to the current structure. Each command runs on its
// own; one that fails (already done) is skipped silently.
void runStructureUpgrade(TDataModule6 &dm);

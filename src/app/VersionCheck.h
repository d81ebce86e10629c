#pragma once
struct Forms;

// The version check: stores this build's stamp in the main window, compares it
// with the database's version row, and ends an older build (the message closes
// by itself after 5 seconds). A database error propagates to the caller.
void versionCheck(Forms &forms);

#pragma once
#include "ui/Forms.h"

#include <QStringList>
#include <memory>
#include <vector>

class QWidget;

struct StartOptions {
    bool showSignIn = true; // tests drive the windows without the sign-in on screen
};

// Owns the data module and every window for the whole run.
class AppContext {
public:
    AppContext() = default;
    ~AppContext();
    AppContext(const AppContext &) = delete;
    AppContext &operator=(const AppContext &) = delete;

    Forms forms;
    bool connected = false; // false: start-up failed and the program ends
    std::unique_ptr<TDataModule6> dataModule;
    std::vector<QWidget *> windows; // in creation order; deleted in reverse
};

// The program's locale is Russian whatever the workstation's: Qt's own
// dialogs (files, printing) then write their dates and texts as the rest of
// the program does. Called once, before the application object.
void useRussianLocale();

// Does what start-up does: settings from the arguments, connection, data
// module, sign-in window, then every other window in their fixed order.
std::unique_ptr<AppContext> startUp(const QStringList &arguments, const StartOptions &options = {});

// Runs the event loop for as long as the program lives: until the sign-in
// window finishes (its "Отмена", its close box, or the journal closing) or the
// program is told to end. Other windows left open neither keep the program
// alive nor end it. Returns the loop's result.
int runProgram(AppContext &ctx);

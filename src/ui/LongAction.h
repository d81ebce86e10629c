#pragma once
#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>

#include "db/Gateway.h"

class QAbstractButton;
class QAction;
class QProgressBar;

// The wait cursor for as long as the guard lives, whichever way the scope ends.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// One long action inside a button press (a rebuild, an export, the import):
// the starting button is disabled so a second press cannot start a second
// run, the wait cursor is shown, and every step lets pending events through
// so the window repaints. Everything is restored when the guard goes away,
// also when the action ends with an exception.
class LongAction {
public:
    // `button` and `bar` may be null. A hidden bar is shown for the action
    // and hidden again when it ends.
    explicit LongAction(QAbstractButton *button, QProgressBar *bar = nullptr);
    ~LongAction();
    LongAction(const LongAction &) = delete;
    LongAction &operator=(const LongAction &) = delete;

    // Progress on the bar (range 0..total).
    void setRange(int total);
    void setRange(int minimum, int maximum);
    void setValue(int value);
    // Progress in the button's caption, e.g. "Excel (12 из 300)".
    void setCaption(const QString &caption);
    // Lets pending events through (repaint); no user input reaches the
    // disabled button meanwhile. Never while a transaction is open (asserted
    // in a debug build; only repaint() then).
    void step();
    // Repaints the bar and the button at once, without letting any event
    // through: the progress of a step inside a transaction.
    void repaint();
    // Menu items that start this or a conflicting action: disabled for the
    // duration, restored afterwards.
    void disable(QAction *action);

    // True while some long action runs anywhere in the program.
    static bool running();

private:
    QPointer<QAbstractButton> button_;
    QPointer<QProgressBar> bar_;
    bool wasEnabled_ = true;
    QList<QPair<QPointer<QAction>, bool>> actions_;
    bool barWasHidden_ = false;
    WaitCursor cursor_;
    Gateway::LongStatements longStatements_; // its statements may take the long limit
};

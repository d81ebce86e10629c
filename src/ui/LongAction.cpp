#include "LongAction.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QProgressBar>

#include "db/DbSession.h"

namespace {
int g_running = 0;
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

LongAction::LongAction(QAbstractButton *button, QProgressBar *bar)
    : button_(button), bar_(bar)
{
    ++g_running;
    if (button_) {
        wasEnabled_ = button_->isEnabled();
        button_->setEnabled(false);
    }
    if (bar_ && bar_->isHidden()) {
        barWasHidden_ = true;
        bar_->show();
    }
    step();
}

LongAction::~LongAction()
{
    if (bar_ && barWasHidden_)
        bar_->hide();
    if (button_)
        button_->setEnabled(wasEnabled_);
    for (const auto &a : actions_)
        if (a.first)
            a.first->setEnabled(a.second);
    --g_running;
}

void LongAction::setRange(int total)
{
    if (bar_) {
        bar_->setRange(0, total);
        bar_->setValue(0);
    }
}

void LongAction::setRange(int minimum, int maximum)
{
    if (bar_) {
        bar_->setRange(minimum, maximum);
        bar_->setValue(minimum);
    }
}

void LongAction::setValue(int value)
{
    if (bar_)
        bar_->setValue(value);
}

void LongAction::setCaption(const QString &caption)
{
    if (button_)
        button_->setText(caption);
}

void LongAction::step()
{
    // Inside a transaction no event may run: a timer's query would join it,
    // a question would hold its locks. Progress is only repainted then.
    Q_ASSERT_X(!DbSession::anyTransaction(), "LongAction::step", "events processed while a transaction is open");
    if (DbSession::anyTransaction()) {
        repaint();
        return;
    }
    // Input is excluded so that a click cannot start a second action meanwhile
    // (the disabled button alone does not stop other buttons of the window).
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void LongAction::repaint()
{
    if (bar_)
        bar_->repaint();
    if (button_)
        button_->repaint();
}

void LongAction::disable(QAction *action)
{
    if (!action)
        return;
    actions_.append({action, action->isEnabled()});
    action->setEnabled(false);
}

bool LongAction::running() { return g_running > 0; }

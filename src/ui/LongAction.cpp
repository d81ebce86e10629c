#include "LongAction.h"

#include <QAbstractButton>
#include <QApplication>
#include <QProgressBar>

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
    step();
}

LongAction::~LongAction()
{
    if (button_)
        button_->setEnabled(wasEnabled_);
    --g_running;
}

void LongAction::setRange(int total)
{
    if (bar_) {
        bar_->setRange(0, total);
        bar_->setValue(0);
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
    // Input is excluded so that a click cannot start a second action meanwhile
    // (the disabled button alone does not stop other buttons of the window).
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool LongAction::running() { return g_running > 0; }

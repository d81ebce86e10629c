#pragma once
#include "printing/Report.h"
#include "ui/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// Stands in for every message box: records what would have been shown and
// answers questions from a script (Yes when the script is empty).
class ScriptedDialogs : public Dialogs::Handler {
public:
    ScriptedDialogs() { Dialogs::setHandler(this); }
    ~ScriptedDialogs() override { Dialogs::setHandler(nullptr); }

    struct Shown {
        Dialogs::Kind kind;
        QString caption;
        QString text;
    };
    QList<Shown> shown;
    QList<bool> answers;  // consumed by questions, front first
    QStringList opened;   // files the program asked to open
    int quits = 0;
    QList<Printing::Document> previews; // reports the program showed, laid out

    bool show(Dialogs::Kind kind, const QString &caption, const QString &text) override
    {
        shown << Shown{kind, caption, text};
        if (kind != Dialogs::Kind::Question)
            return true;
        return answers.isEmpty() ? true : answers.takeFirst();
    }
    bool openFile(const QString &path) override
    {
        opened << path;
        return true;
    }
    void quit() override { ++quits; }
    void preview(const Printing::Document &doc) override { previews << doc; }

    QStringList texts() const
    {
        QStringList t;
        for (const auto &s : shown)
            t << s.text;
        return t;
    }
    void clear()
    {
        shown.clear();
        answers.clear();
        opened.clear();
        quits = 0;
        previews.clear();
    }
};

// Drives modal windows: the action runs inside the next modal window once it
// is on screen, and the window is closed afterwards if it is still open.
namespace DialogDriver {

// Schedules `act` for the next modal window that opens (checked every 10 ms,
// up to 5 s). If `act` leaves it open, it is rejected. A window that never
// opens fails the test: when the wait ends, or at verifyNoWindowLeftOpen().
void onNextModal(std::function<void(QWidget *)> act);
// The same for the modal window named `name` once it is the active one, so a
// window that closes and hands over to the next is never mistaken for it.
void onModal(const QString &name, std::function<void(QWidget *)> act);
// Fails the current test if a modal or top-level dialog is still visible, or
// if a window the test waited for never opened.
void verifyNoWindowLeftOpen();
// Processes events for a moment so queued actions run.
void settle(int ms = 0);
// Saves a picture of a window when TABEL_SHOTS names a folder (for looking at it).
void shot(QWidget *w, const QString &name);

} // namespace DialogDriver

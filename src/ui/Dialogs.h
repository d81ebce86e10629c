#pragma once
#include <QString>
#include <functional>

class QWidget;
namespace Printing {
struct Document;
}

// The one seam through which every message box, question, file opening and
// program end goes. The default shows real message boxes; tests install a
// scripted handler instead.
namespace Dialogs {

enum class Kind { Error, Question, Information };

struct Handler {
    virtual ~Handler() = default;
    // Returns true for Yes/OK.
    virtual bool show(Kind kind, const QString &caption, const QString &text) = 0;
    // The same with words for whoever looks after the server folded away
    // under "Подробности" (libpq's English, say).
    virtual bool showDetailed(Kind kind, const QString &caption, const QString &text, const QString &details)
    {
        Q_UNUSED(details);
        return show(kind, caption, text);
    }
    // Opens a file with the desktop's default application.
    virtual bool openFile(const QString &path) = 0;
    // Tells the program to end.
    virtual void quit() = 0;
    // Shows a laid-out report in its preview window (print, zoom, pages,
    // save as PDF) and returns when the window is closed.
    virtual void preview(const Printing::Document &doc) = 0;
};

// Caption "Ошибка", error icon, OK. A lost server that could not be
// reached again is told once per outage (the status line says the rest).
void error(const QString &text, const QString &caption = QStringLiteral("Ошибка"));
// Caption "Удаление" by default, question icon, Yes/No; true for Yes.
bool question(const QString &text, const QString &caption = QStringLiteral("Удаление"));
void information(const QString &text, const QString &caption);
bool openFile(const QString &path);
void quitProgram();
void preview(const Printing::Document &doc);

// Installs a handler (nullptr restores the real one). Not owned.
void setHandler(Handler *h);
Handler *handler();

// Parent for message boxes: the active modal window if any.
QWidget *messageParent();

} // namespace Dialogs

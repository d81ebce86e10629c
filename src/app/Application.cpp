#include "Application.h"

#include "db/DbError.h"
#include "ui/Dialogs.h"

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

void reportException(const std::exception &e)
{
    QString text;
    if (auto *db = dynamic_cast<const DbError *>(&e))
        text = db->text().trimmed();
    else
        text = QString::fromUtf8(e.what()).trimmed();
    // Never an empty box: at least say that the action did not complete.
    if (text.isEmpty())
        text = QStringLiteral("Действие не выполнено: ошибка без описания.");
    Dialogs::error(text);
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        reportException(e);
    }
    return false;
}

#include "Application.h"

#include "db/DbError.h"
#include "ui/Dialogs.h"

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

void reportException(const std::exception &e)
{
    if (auto *db = dynamic_cast<const DbError *>(&e))
        Dialogs::error(db->text());
    else
        Dialogs::error(QString::fromUtf8(e.what()));
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

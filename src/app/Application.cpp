#include "Application.h"

#include "db/DbError.h"
#include "ui/Dialogs.h"
#include "ui/ServerBusyBox.h"
#include "ui/Outage.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    // Every window without an icon of its own shows the program's
    QIcon icon;
    for (const char *size : {"16x16", "32x32", "48x48", "256x256"})
        icon.addFile(QStringLiteral(":/icons/%1/tabel.png").arg(QLatin1String(size)));
    setWindowIcon(icon);

    // Qt's own dialogs (files, printing, OK and Cancel) speak the program's
    // language. Without the translations installed they stay in English.
    auto *qt = new QTranslator(this);
    if (qt->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qt);
    else
        delete qt;

    // A statement the server is slow to answer shows a box that can cancel it.
    ServerBusyBox::install();
}

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
    const QEvent::Type type = event->type();
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        // A timer's statement that met a lost server tells nobody: nobody
        // asked, and the status line says since when the server is away.
        auto *db = dynamic_cast<const DbError *>(&e);
        if (!(type == QEvent::Timer && db && Outage::isOutage(*db)))
            reportException(e);
    }
    return false;
}

#include "Application.h"
#include "Startup.h"
#include "TForm23.h"

#include <QDialog>

int main(int argc, char **argv)
{
    Application app(argc, argv);
    int rc = 0;
    try {
        auto ctx = startUp(QCoreApplication::arguments());
        if (!ctx->connected)
            return 1;
        // The program lives as long as the sign-in window.
        QObject::connect(ctx->forms.Form23, &QDialog::finished, &app, &QCoreApplication::quit);
        rc = app.exec();
    } catch (const std::exception &e) {
        reportException(e);
        return 1;
    }
    return rc;
}

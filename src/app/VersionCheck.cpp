#include "VersionCheck.h"

#include "BuildStamp.h"
#include "TForm23.h"
#include "db/DbSession.h"
#include "db/TDataModule6.h"
#include "db/Version.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

#include <QTimer>

void versionCheck(Forms &forms)
{
    // Never inside another action's open transaction.
    if (DbSession::anyTransaction())
        return;
    const int D = BuildStamp::date();
    const int T = BuildStamp::time();
    if (checkVersionRow(*forms.DataModule6, D, T) != VersionVerdict::Older)
        return;
    forms.Form23->Timer1->start();
    Dialogs::error(QStringLiteral("Версия программы не соответсвует БД! Запустите программу через 5 мин."));
    Dialogs::quitProgram();
}

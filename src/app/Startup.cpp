#include "Startup.h"
#include "journal/OfflineUi.h"

#include "CommandLine.h"
#include "Connection.h"
#include "ReportLag.h"
#include "TForm23.h"
#include "db/DbError.h"
#include "db/DbSession.h"
#include "db/ReportConnection.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "reports/TForm16.h"
#include "reports/TForm17.h"
#include "reports/TForm18.h"
#include "reports/TForm20.h"
#include "reports/TForm21.h"
// catalogue windows (workers, products, kinds)
#include "catalogues/TForm2.h"
#include "catalogues/TForm26.h"
#include "catalogues/TForm3.h"
#include "catalogues/TForm5.h"
#include "catalogues/TForm7.h"
#include "catalogues/TForm8.h"
#include "catalogues/TForm9.h"
// operations, norms
#include "catalogues/TForm10.h"
#include "catalogues/TForm22.h"
#include "catalogues/TForm4.h"
// entry editor
#include "journal/TForm11.h"
// housekeeping entries
#include "journal/TForm24.h"
#include "journal/TForm25.h"
#include "journal/AuditUi.h"
// timesheets
#include "timesheets/TForm15.h"
#include "timesheets/TForm19.h"
#include "timesheets/TForm27.h"
#include "reports/MonthOverview.h"
#include "ui/Dialogs.h"
#include "ui/Outage.h"

#include <QApplication>
#include <QLocale>
#include <QWidget>
#include <exception>

AppContext::~AppContext()
{
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        delete *it;
    windows.clear();
    ReportLag::uninstall();
    ReportConnection::close();
}

namespace {
// Reports read through a connection that prefers a standby when the command
// line or the environment asks for it.
bool reportsFromStandby(const CommandLine::Parsed &commandLine)
{
    return commandLine.reportsFromStandby || qEnvironmentVariable("TABEL_REPORTS_FROM_STANDBY") == QLatin1String("1");
}

// The report connection; when it cannot be opened the reports read on the
// program's own connection, as without the setting.
void openReportConnection(TDataModule6 &dm, const Connection::Settings &own)
{
    const Connection::Settings r = Connection::forReports(own);
    try {
        ReportConnection::open(r.host, r.port, r.database, r.user, r.password, r.connectOptions());
    } catch (const DbError &e) {
        qWarning("reports read from the primary: %s", qPrintable(e.text()));
        return;
    }
    // the timesheet by shifts reads the data module's own queries
    for (Dataset *q : {&dm.H_Tabel_1, &dm.H_Tabel_2, &dm.H_Tabel_3})
        q->setConnectionName(ReportConnection::name());
    ReportLag::install();
}

template <class T> T *create(AppContext &ctx)
{
    T *w = new T(ctx.forms);
    ctx.windows.push_back(w);
    return w;
}
} // namespace

void useRussianLocale()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // The file dialog writes its dates in the system's locale, which Qt reads
    // from the environment: Russian dates unless the user set LC_ALL.
    if (qEnvironmentVariableIsEmpty("LC_ALL"))
        qputenv("LC_TIME", "ru_RU.UTF-8");
}

std::unique_ptr<AppContext> startUp(const QStringList &arguments, const StartOptions &options)
{
    auto ctx = std::make_unique<AppContext>();
    Forms &f = ctx->forms;
    const CommandLine::Parsed commandLine = CommandLine::parse(arguments);
    f.maintenance = commandLine.maintenance;

    ctx->dataModule = std::make_unique<TDataModule6>();
    f.DataModule6 = ctx->dataModule.get();
    DbSession::setNotifier([](const QString &text) { Dialogs::information(text, QStringLiteral("Связь с базой данных")); });
    Outage::instance(); // watches the connections from the first statement on

    f.Form1 = create<TForm1>(*ctx);
    f.mainWindow = f.Form1;
    try {
        const QString cs = Connection::connectionString(commandLine.positional);
        const Connection::Settings s = Connection::withSiteSettings(Connection::settingsFrom(cs));
        const bool standbyReports = reportsFromStandby(commandLine);
        const Connection::Settings own = standbyReports ? Connection::withReportsOnStandby(s) : s;
        f.DataModule6->connectDb(own.host, own.port, own.database, own.user, own.password, own.connectOptions());
        if (standbyReports)
            openReportConnection(*f.DataModule6, s);
        f.Form23 = create<TForm23>(*ctx);
        if (options.showSignIn) {
            f.Form23->show();
            f.Form23->raise();
            f.Form23->activateWindow();
        }
    } catch (const std::exception &e) {
        qWarning("tabel: %s", e.what()); // the server's own words, for whoever looks after it
        if (f.Form23)
            f.Form23->hide();
        Dialogs::error(QStringLiteral("Подключение к БД отсутсвует!!!"), QStringLiteral("Ошибка!"));
        ctx->connected = false;
        return ctx;
    }
    ctx->connected = true;

    // The remaining windows, in their fixed order
    f.Form2 = create<TForm2>(*ctx);
    f.Form3 = create<TForm3>(*ctx);
    f.Form4 = create<TForm4>(*ctx);
    f.Form5 = create<TForm5>(*ctx);
    f.Form7 = create<TForm7>(*ctx);
    f.Form8 = create<TForm8>(*ctx);
    f.Form9 = create<TForm9>(*ctx);
    f.Form10 = create<TForm10>(*ctx);
    f.Form11 = create<TForm11>(*ctx);
    f.Form18 = create<TForm18>(*ctx);
    f.Form19 = create<TForm19>(*ctx);
    f.Form21 = create<TForm21>(*ctx);
    f.Form15 = create<TForm15>(*ctx);
    f.Form16 = create<TForm16>(*ctx);
    f.Form17 = create<TForm17>(*ctx);
    f.Form20 = create<TForm20>(*ctx);
    f.Form22 = create<TForm22>(*ctx);
    f.Form24 = create<TForm24>(*ctx);
    f.Form25 = create<TForm25>(*ctx);
    f.Form26 = create<TForm26>(*ctx);
    f.Form27 = create<TForm27>(*ctx);
    f.Overview = create<MonthOverview>(*ctx);

    f.Form1->updateMenuAvailability();
    AuditUi::install(f);
    OfflineUi::install(f);
    return ctx;
}

int runProgram(AppContext &ctx)
{
    // Not "the last visible window closed": a preview left open must not keep
    // the program alive, nor may the journal hiding for a moment end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // exit(), not quit(): quit() first asks every window to close, and one
    // that declines would keep the program running.
    const QMetaObject::Connection ends =
        QObject::connect(ctx.forms.Form23, &QDialog::finished, qApp, []() { QCoreApplication::exit(0); });
    const int rc = QApplication::exec();
    QObject::disconnect(ends);
    return rc;
}

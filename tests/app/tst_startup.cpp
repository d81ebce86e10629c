#include "app/BuildStamp.h"
#include <QTemporaryDir>
#include <QFile>
#include "app/CommandLine.h"
#include "app/Connection.h"
#include "app/Startup.h"
#include "app/TForm23.h"
#include "app/VersionCheck.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "db/StructureUpgrade.h"
#include "db/Version.h"
#include "journal/TForm1.h"
#include "support/DialogDriver.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QProcess>
#include <QPushButton>
#include <QTreeView>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

static const QString kOptions =
    ";PORT=5432;UID=sys;PWD=vomtuxa;SSLmode=prefer;"
    "ReadOnly=0;Protocol=7.4;FakeOidIndex=0;ShowOidColumn=0;RowVersioning=0;ShowSystemTables=0;Fetch=100;UnknownSizes=0;MaxVarcharSize=255;MaxLongVarcharSize=8190;"
    "Debug=0;CommLog=0;UseDeclareFetch=0;TextAsLongVarchar=1;UnknownsAsLongVarchar=0;BoolsAsChar=1;Parse=0;ExtraSysTablePrefixes=;LFConversion=1;UpdatableCursors=1;"
    "TrueIsMinus1=0;BI=0;ByteaAsLongVarBinary=1;UseServerSidePrepare=1;LowerCaseIdentifier=0;D6=-101;OptionalErrors=0;XaOpt=1";

class TestStartup : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TDataModule6 *dm = nullptr;

    void setVer(int d, int t, const QString &delim = QString("."))
    {
        TestDb::exec("delete from accounts_dep.ver");
        TestDb::exec(QString("insert into accounts_dep.ver (d, t, delim) values (%1, %2, '%3')").arg(d).arg(t).arg(delim));
    }
    QVariantList ver() { return TestDb::rows("select d, t, xmin::text from accounts_dep.ver").value(0); }

    static void checkProgramAnswers(const QStringList &args, const CommandLine::Parsed &parsed)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(var);
        p.setProcessEnvironment(env);
        p.start(TABEL_BINARY, args);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        switch (parsed.action) {
        case CommandLine::Action::Help:
            QCOMPARE(p.exitCode(), 0);
            QCOMPARE(out, CommandLine::usage());
            QVERIFY(out.contains("Использование: tabel [БАЗА СЕРВЕР] [--maintenance]"));
            QVERIFY(out.contains("Usage: tabel [DATABASE SERVER] [--maintenance]"));
            break;
        case CommandLine::Action::Version:
            QCOMPARE(p.exitCode(), 0);
            QVERIFY2(QRegularExpression("^tabel \\S+ \\(build: \\d{8}\\.\\d+\\)\n$").match(out).hasMatch(), qPrintable(out));
            break;
        default:
            QCOMPARE(p.exitCode(), 2);
            QVERIFY(out.isEmpty());
            QVERIFY(args.contains(parsed.unknown));
            QVERIFY2(err.startsWith("tabel: неизвестный параметр / unknown option: " + parsed.unknown + "\n"), qPrintable(err));
            QVERIFY(err.endsWith(CommandLine::usage()));
        }
    }

private slots:
    // The site's password file, service and SSL mode win over the built-in values.
    void siteConnectionSettings_data()
    {
        QTest::addColumn<QString>("passLines");
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("sslmode");
        QTest::addColumn<bool>("builtinPassword");
        QTest::addColumn<QString>("options");
        QTest::newRow("nothing provided") << "" << "" << "" << true << "sslmode=prefer";
        QTest::newRow("password file for this database") << "db1:5432:tabel:sys:secret" << "" << "" << false << "sslmode=prefer";
        QTest::newRow("password file with wildcards") << "# site\n*:*:*:sys:secret" << "" << "" << false << "sslmode=prefer";
        QTest::newRow("password file for another user") << "*:*:*:postgres:secret" << "" << "" << true << "sslmode=prefer";
        QTest::newRow("password file for another server") << "db2:5432:tabel:sys:secret" << "" << "" << true << "sslmode=prefer";
        QTest::newRow("service") << "" << "tabel" << "" << false << "sslmode=prefer";
        QTest::newRow("ssl required") << "" << "" << "require" << true << "sslmode=require";
        QTest::newRow("ssl verified") << "" << "" << "verify-full" << true << "sslmode=verify-full";
    }
    void siteConnectionSettings()
    {
        QFETCH(QString, passLines);
        QFETCH(QString, service);
        QFETCH(QString, sslmode);
        QFETCH(bool, builtinPassword);
        QFETCH(QString, options);
        QTemporaryDir home;
        QMap<QString, QString> env;
        if (!passLines.isEmpty()) {
            QFile f(home.path() + "/site.pgpass");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(passLines.toUtf8() + "\n");
            env["PGPASSFILE"] = f.fileName();
        }
        if (!service.isEmpty())
            env["PGSERVICE"] = service;
        if (!sslmode.isEmpty())
            env["PGSSLMODE"] = sslmode;
        const Connection::Settings s = Connection::withSiteSettings(
            Connection::settingsFrom(Connection::connectionString({"tabel", "db1"})), env, home.path());
        QCOMPARE(s.password, builtinPassword ? QString("vomtuxa") : QString());
        QCOMPARE(s.options, options);
    }
    // The command line: what it asks for, and the connection it gives. A line
    // that does not start the program is also put to the real executable,
    // with no display at all, for its output and exit code.
    // The server argument naming several servers, or a libpq connection
    // string: what the connection is opened with.
    void severalServers_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("several");
        QTest::addColumn<QString>("options");
        const QString death = "connect_timeout=10;keepalives_idle=10;keepalives_interval=5;keepalives_count=3";
        QTest::newRow("one server") << "db1" << "db1" << 5432 << false << "sslmode=prefer";
        QTest::newRow("socket folder") << "/tmp/sock" << "/tmp/sock" << 5432 << false << "sslmode=prefer";
        QTest::newRow("two servers")
            << "db1,db2" << "db1,db2" << 5432 << true << "sslmode=prefer;" + death + ";target_session_attrs=read-write";
        QTest::newRow("connection string, several hosts")
            << "host=db1,db2 port=5433" << "" << -1 << true
            << "sslmode=prefer;" + death + ";target_session_attrs=read-write;host=db1,db2 port=5433";
        QTest::newRow("connection string keeps its own choice")
            << "host=db1,db2 target_session_attrs=any" << "" << -1 << true
            << "sslmode=prefer;" + death + ";host=db1,db2 target_session_attrs=any";
        QTest::newRow("service") << "service=tabel" << "" << -1 << false << "sslmode=prefer;service=tabel";
        QTest::newRow("quoted value") << "host='db 1' sslmode=require" << "" << -1 << false
                                      << "sslmode=prefer;host='db 1' sslmode=require";
        QTest::newRow("a word with an equals sign is a host")
            << "db1 x=1" << "db1 x=1" << 5432 << false << "sslmode=prefer";
        QTest::newRow("unclosed quote is a host") << "host='db1" << "host='db1" << 5432 << false << "sslmode=prefer";
    }
    void severalServers()
    {
        QFETCH(QString, server);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, several);
        QFETCH(QString, options);
        const Connection::Settings s = Connection::settingsFrom(Connection::connectionString({"plant", server}));
        QCOMPARE(s.host, host);
        QCOMPARE(s.port, port);
        QCOMPARE(s.severalServers, several);
        QCOMPARE(s.connectOptions(), options);
        QCOMPARE(s.options, QString("sslmode=prefer"));
        // The reports' connection: the same servers, a standby first; libpq
        // takes the last of a repeated keyword.
        const QString reports = Connection::forReports(s).connectOptions();
        QVERIFY(reports.startsWith(options));
        QVERIFY(reports.endsWith(";target_session_attrs=prefer-standby"));
        // The site's sslmode replaces the built-in one and nothing else.
        const Connection::Settings site = Connection::withSiteSettings(s, {{"PGSSLMODE", "require"}}, "/nonexistent");
        QCOMPARE(site.connectOptions(), QString(options).replace("sslmode=prefer", "sslmode=require"));
    }
    void libpqPairs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pairs"); // key:value|... or empty
        QTest::newRow("plain") << "host=db1 dbname=x" << "dbname:x|host:db1";
        QTest::newRow("spaces around =") << "host = db1" << "host:db1";
        QTest::newRow("quoted with escapes") << R"(password='it\'s a b' host=h)" << "host:h|password:it's a b";
        QTest::newRow("keys case-insensitive") << "HOST=h" << "host:h";
        QTest::newRow("host name") << "db1" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("missing value at end") << "host=" << "host:";
    }
    void libpqPairs()
    {
        QFETCH(QString, text);
        QFETCH(QString, pairs);
        QStringList got;
        const auto m = Connection::libpqPairs(text);
        for (auto it = m.begin(); it != m.end(); ++it)
            got << it.key() + ":" + it.value();
        QCOMPARE(got.join("|"), pairs);
    }
    void arguments_data()
    {
        using A = CommandLine::Action;
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("server");
        QTest::newRow("none") << QStringList{"tabel"} << int(A::Run) << "orvel_erp" << "localhost";
        QTest::newRow("database only") << QStringList{"tabel", "plant"} << int(A::Run) << "orvel_erp" << "localhost";
        QTest::newRow("both") << QStringList{"tabel", "plant", "db.host"} << int(A::Run) << "plant" << "db.host";
        QTest::newRow("empty first") << QStringList{"tabel", "", "db.host"} << int(A::Run) << "" << "db.host";
        QTest::newRow("switch not positional") << QStringList{"tabel", "--maintenance", "plant", "db.host", "extra"} << int(A::Run) << "plant" << "db.host";
        QTest::newRow("Qt's own options left to Qt")
            << QStringList{"tabel", "-platform", "offscreen", "plant", "--style=fusion", "db.host", "-reverse"} << int(A::Run) << "plant" << "db.host";
        QTest::newRow("help") << QStringList{"tabel", "--help"} << int(A::Help) << "" << "";
        QTest::newRow("help short, after a database") << QStringList{"tabel", "plant", "-h"} << int(A::Help) << "" << "";
        QTest::newRow("help wins over an unknown option") << QStringList{"tabel", "--bogus", "--help"} << int(A::Help) << "" << "";
        QTest::newRow("version") << QStringList{"tabel", "--version"} << int(A::Version) << "" << "";
        QTest::newRow("unknown option") << QStringList{"tabel", "--databse=plant", "db.host"} << int(A::Refuse) << "" << "";
        QTest::newRow("unknown short option") << QStringList{"tabel", "plant", "db.host", "-m"} << int(A::Refuse) << "" << "";
        QTest::newRow("version with an unknown option") << QStringList{"tabel", "--version", "--maintenance=1"} << int(A::Refuse) << "" << "";
    }
    void arguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, action);
        QFETCH(QString, database);
        QFETCH(QString, server);
        const CommandLine::Parsed parsed = CommandLine::parse(args);
        QCOMPARE(int(parsed.action), action);
        if (parsed.action != CommandLine::Action::Run) {
            checkProgramAnswers(args.mid(1), parsed);
            return;
        }
        QCOMPARE(parsed.maintenance, args.contains("--maintenance"));
        const QString cs = Connection::connectionString(parsed.positional);
        QCOMPARE(cs, "DRIVER={PostgreSQL UNICODE};DATABASE=" + database + ";SERVER=" + server + kOptions);
        const Connection::Settings s = Connection::settingsFrom(cs);
        QCOMPARE(s.database, database);
        QCOMPARE(s.host, server);
        QCOMPARE(s.port, 5432);
        QCOMPARE(s.user, QString("sys"));
        QCOMPARE(s.password, QString("vomtuxa"));
        QCOMPARE(s.options, QString("sslmode=prefer"));
    }

    // Runs first: a second data module cannot share the connection name.
    void connectionFailure()
    {
        TestDb::ensureDatabase();
        ScriptedDialogs dialogs;
        auto ctx = startUp({"tabel", "no_such_database", TestDb::host()});
        QVERIFY(!ctx->connected);
        QCOMPARE(dialogs.texts(), QStringList{"Подключение к БД отсутсвует!!!"});
        QCOMPARE(dialogs.shown.first().caption, QString("Ошибка!"));
        QVERIFY(!ctx->forms.Form23 || !ctx->forms.Form23->isVisible());
    }

    // The version row is the owner's: starting a newer build writes nothing.
    void startsWithoutStampingOnActivation()
    {
        TestDb::ensureDatabase();
        TestDb::exec("delete from accounts_dep.ver");
        ScriptedDialogs dialogs;
        app = startUp({"tabel", TestDb::databaseName(), TestDb::host()});
        QVERIFY(app->connected);
        dm = app->forms.DataModule6;
        TForm23 *signIn = app->forms.Form23;
        QVERIFY(signIn->isVisible());
        QTRY_COMPARE(signIn->windowTitle(), QString("Авторизация (build: %1.%2)").arg(BuildStamp::date()).arg(BuildStamp::time()));
        QVERIFY(ver().isEmpty());
        QVERIFY(app->forms.Form1->Timer1->isActive());
        QCOMPARE(app->forms.Form1->Timer1->interval(), 30000);
        QVERIFY(dialogs.shown.isEmpty());
        signIn->hide();
    }

    void versionRow_data()
    {
        QTest::addColumn<int>("rowDate");
        QTest::addColumn<int>("rowTime");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<int>("expectDate");
        QTest::addColumn<int>("expectTime");
        const int D = 20240220, T = 82246;
        QTest::newRow("same stamp") << D << T << int(VersionVerdict::Same) << D << T;
        QTest::newRow("earlier time, same day") << D << T - 1 << int(VersionVerdict::Newer) << D << T - 1;
        QTest::newRow("later time, same day") << D << T + 1 << int(VersionVerdict::Older) << D << T + 1;
        QTest::newRow("a day later, early time") << D + 1 << 0 << int(VersionVerdict::Older) << D + 1 << 0;
        QTest::newRow("a day earlier, late time") << D - 1 << 86399 << int(VersionVerdict::Newer) << D - 1 << 86399;
    }
    void versionRow()
    {
        QFETCH(int, rowDate);
        QFETCH(int, rowTime);
        QFETCH(int, verdict);
        QFETCH(int, expectDate);
        QFETCH(int, expectTime);
        setVer(rowDate, rowTime, ",");
        const QString xminBefore = ver().value(2).toString();
        QCOMPARE(int(checkVersionRow(*dm, 20240220, 82246)), verdict);
        const QVariantList after = ver();
        QCOMPARE(after.mid(0, 2), (QVariantList{expectDate, expectTime}));
        QCOMPARE(after.value(2).toString(), xminBefore); // nothing written
    }

    void buildWithTimeZeroBeatsDayBefore()
    {
        setVer(20240219, 86300);
        QCOMPARE(checkVersionRow(*dm, 20240220, 0), VersionVerdict::Newer);
        QCOMPARE(ver().mid(0, 2), (QVariantList{20240219, 86300}));
    }

    // An empty table (a database nobody has upgraded yet) lets every build run.
    void emptyTableStaysEmpty()
    {
        TestDb::exec("delete from accounts_dep.ver");
        QCOMPARE(checkVersionRow(*dm, 20240220, 5), VersionVerdict::Same);
        QVERIFY(ver().isEmpty());
    }

    // "Структура БД" (the owner) moves the row, forward only; the program's
    // login may not, and older copies end at their next check.
    void upgradeStampsTheRow()
    {
        setVer(20240219, 86300);
        runStructureUpgrade(*dm, 20240220, 5);
        QCOMPARE(ver().mid(0, 2), (QVariantList{20240220, 5}));
        runStructureUpgrade(*dm, 20240101, 0);
        QCOMPARE(ver().mid(0, 2), (QVariantList{20240220, 5}));
        QCOMPARE(checkVersionRow(*dm, 20240219, 86300), VersionVerdict::Older);
        TestDb::exec("delete from accounts_dep.ver");
        runStructureUpgrade(*dm, 20240220, 6);
        QCOMPARE(ver().mid(0, 2), (QVariantList{20240220, 6}));
        QVERIFY(TestDb::sysExec("update accounts_dep.ver set d = 99991231").contains("permission denied"));
    }

    void olderBuildEnds()
    {
        setVer(BuildStamp::date() + 1, 0);
        ScriptedDialogs dialogs;
        TForm23 *signIn = app->forms.Form23;
        versionCheck(app->forms);
        QCOMPARE(dialogs.texts(), QStringList{"Версия программы не соответсвует БД! Запустите программу через 5 мин."});
        QCOMPARE(dialogs.shown.first().caption, QString("Ошибка"));
        QVERIFY(signIn->Timer1->isActive());
        QCOMPARE(signIn->Timer1->interval(), 5000);
        QCOMPARE(dialogs.quits, 1);
        // the 5-second timer ends the program by itself
        signIn->Timer1->setInterval(10);
        signIn->Timer1->start();
        QTest::qWait(100);
        signIn->Timer1->stop();
        signIn->Timer1->setInterval(5000);
        QVERIFY(dialogs.quits >= 2);
        QCOMPARE(ver().mid(0, 2), (QVariantList{BuildStamp::date() + 1, 0}));
    }

    // A database error in the periodic check is shown; the next tick tries again.
    void periodicCheckRetriesAfterError()
    {
        setVer(BuildStamp::date() - 1, 0);
        ScriptedDialogs dialogs;
        QTimer *timer = app->forms.Form1->Timer1;
        TestDb::exec("alter table accounts_dep.ver rename to ver_away");
        timer->setInterval(20);
        QTRY_VERIFY(!dialogs.shown.isEmpty());
        QCOMPARE(dialogs.shown.first().caption, QString("Ошибка"));
        QVERIFY(dialogs.shown.first().text.contains("ver"));
        TestDb::exec("alter table accounts_dep.ver_away rename to ver");
        const int shown = int(dialogs.shown.size());
        QTest::qWait(200); // the next ticks pass without a word
        QCOMPARE(int(dialogs.shown.size()), shown);
        timer->setInterval(30000);
        QCOMPARE(dialogs.quits, 0);
    }

    // The first check failing on the database still leaves the stamp in the title.
    void titleStampedWhenTheFirstCheckFails()
    {
        ScriptedDialogs dialogs;
        TestDb::exec("alter table accounts_dep.ver rename to ver_away");
        auto ctx = startUp({"tabel", TestDb::databaseName(), TestDb::host()});
        QVERIFY(ctx->connected);
        TForm23 *signIn = ctx->forms.Form23;
        QTRY_VERIFY(!dialogs.shown.isEmpty());
        TestDb::exec("alter table accounts_dep.ver_away rename to ver");
        QCOMPARE(signIn->windowTitle(), QString("Авторизация (build: %1.%2)").arg(BuildStamp::date()).arg(BuildStamp::time()));
        signIn->hide();
    }

    // The sign-in window is as wide as its caption with the build stamp
    void signInWideEnoughForItsCaption()
    {
        ScriptedDialogs dialogs;
        TForm23 *w = app->forms.Form23;
        try {
            w->FormActivate(); // the stamp is in the title before the version check reads
        } catch (const DbError &) {
            // this process's connection was handed to another start-up by the test before
        }
        QVERIFY(w->windowTitle().contains("build:"));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY2(w->width() >= w->fontMetrics().horizontalAdvance(w->windowTitle()) + 100,
                 qPrintable(QString("%1 px for \"%2\"").arg(w->width()).arg(w->windowTitle())));
        DialogDriver::shot(w, "signin");
        w->hide();
    }

    // Qt's own file dialog (the one "Сохранить в PDF" opens) speaks Russian
    // with the program's locale: its buttons, its column titles, its dates.
    void fileDialogInRussian()
    {
        const QLocale before;
        useRussianLocale();
        QTemporaryDir dir;
        QFile f(dir.filePath("Табель.pdf"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QFileDialog d(nullptr, "Сохранить в PDF", dir.filePath("Обзор.pdf"), "PDF (*.pdf)");
        d.setOption(QFileDialog::DontUseNativeDialog);
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setViewMode(QFileDialog::Detail);
        d.resize(800, 500);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto *view = d.findChild<QTreeView *>("treeView");
        QVERIFY(view);
        QTRY_VERIFY(view->model()->rowCount(view->rootIndex()) > 0);
        QTest::qWait(200);
        const QString type = view->model()->index(0, 2, view->rootIndex()).data().toString();
        const QString date = view->model()->index(0, 3, view->rootIndex()).data().toString();
        const QString header = view->model()->headerData(3, Qt::Horizontal).toString();
        DialogDriver::shot(&d, "file-dialog");
        d.reject();
        QLocale::setDefault(before);
        auto *buttons = d.findChild<QDialogButtonBox *>();
        QVERIFY(buttons);
        QVERIFY2(buttons->button(QDialogButtonBox::Save)->text().contains("Сохранить"),
                 qPrintable(buttons->button(QDialogButtonBox::Save)->text()));
        QVERIFY2(!header.contains(QRegularExpression("[A-Za-z]")), qPrintable(header));
        QVERIFY2(!QString(type).remove("PDF").contains(QRegularExpression("[A-Za-z]")), qPrintable(type));
        // the dates follow the system locale, read from LC_ALL/LC_TIME when the program starts
        if (qEnvironmentVariableIsEmpty("LC_ALL") && qgetenv("LC_TIME").startsWith("ru"))
            QVERIFY2(!date.contains(QRegularExpression("[A-Za-z]")), qPrintable(date));
    }

    void cleanupTestCase() { app.reset(); }
};

TABEL_TEST_MAIN(TestStartup)
#include "tst_startup.moc"

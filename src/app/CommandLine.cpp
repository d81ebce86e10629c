#include "CommandLine.h"

#include "BuildStamp.h"
#include "Connection.h"

#include <cstdio>

#ifndef TABEL_VERSION
#define TABEL_VERSION "0"
#endif

namespace CommandLine {

namespace {

// QGuiApplication's and QApplication's own options: the ones followed by a value...
const QStringList kQtWithValue = {
    QStringLiteral("-platform"), QStringLiteral("-platformpluginpath"), QStringLiteral("-platformtheme"),
    QStringLiteral("-plugin"), QStringLiteral("-qwindowgeometry"), QStringLiteral("-qwindowicon"),
    QStringLiteral("-qwindowtitle"), QStringLiteral("-session"), QStringLiteral("-display"),
    QStringLiteral("-geometry"), QStringLiteral("-title"), QStringLiteral("-name"), QStringLiteral("-visual"),
    QStringLiteral("-style"), QStringLiteral("-stylesheet"), QStringLiteral("-qmljsdebugger")};
// ...and the ones that stand alone
const QStringList kQtFlags = {
    QStringLiteral("-reverse"), QStringLiteral("-nograb"), QStringLiteral("-dograb"), QStringLiteral("-sync"),
    QStringLiteral("-widgetcount"), QStringLiteral("-testability")};

void print(FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

} // namespace

Parsed parse(const QStringList &arguments)
{
    Parsed p;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            p.action = Action::Help;
            return p; // help wins over anything else on the line
        }
        if (a == QLatin1String("--version") || a == QLatin1String("-v")) {
            if (p.action == Action::Run)
                p.action = Action::Version;
            continue;
        }
        if (a == QLatin1String("--maintenance")) {
            p.maintenance = true;
            continue;
        }
        if (a == QLatin1String("--reports-from-standby")) {
            p.reportsFromStandby = true;
            continue;
        }
        if (a.size() < 2 || !a.startsWith(QLatin1Char('-'))) {
            p.positional << a; // "" and "-" are values, not options
            continue;
        }
        // Qt reads its options with one dash or two, the value after "=" or in the next word
        QString qt = a.startsWith(QLatin1String("--")) ? a.mid(1) : a;
        const int eq = qt.indexOf(QLatin1Char('='));
        const bool inlineValue = eq > 0;
        if (inlineValue)
            qt.truncate(eq);
        if (kQtWithValue.contains(qt)) {
            if (!inlineValue)
                ++i;
            continue;
        }
        if (kQtFlags.contains(qt) && !inlineValue)
            continue;
        if (p.action == Action::Run || p.action == Action::Version) {
            p.action = Action::Refuse;
            p.unknown = a;
        }
    }
    return p;
}

QString usage()
{
    return QStringLiteral(
               "Использование: tabel [БАЗА СЕРВЕР] [--maintenance] [--reports-from-standby]\n"
               "  БАЗА СЕРВЕР     имя базы данных и адрес сервера PostgreSQL; без сервера —\n"
               "                  база %1 на %2. Сервер, начинающийся с «/», —\n"
               "                  папка сокета. Порт 5432, пользователь sys. Несколько\n"
               "                  серверов через запятую («db1,db2»): запись идёт на тот,\n"
               "                  что её принимает. Можно дать строку подключения libpq\n"
               "                  («host=db1,db2 target_session_attrs=read-write», «service=tabel»).\n"
               "  --maintenance   показать пункты меню «Импорт» и «Структура БД»\n"
               "  --reports-from-standby\n"
               "                  табели и отчёты читать с резервного сервера, если он\n"
               "                  доступен (то же: TABEL_REPORTS_FROM_STANDBY=1)\n"
               "  --help, -h      эта справка\n"
               "  --version, -v   версия и метка сборки\n"
               "\n"
               "Usage: tabel [DATABASE SERVER] [--maintenance] [--reports-from-standby]\n"
               "  DATABASE SERVER the database name and the PostgreSQL server address; without\n"
               "                  a server, database %1 on %2. A server that starts\n"
               "                  with \"/\" is a socket folder. Port 5432, user sys. Several\n"
               "                  servers separated by commas (\"db1,db2\"): writes go to the\n"
               "                  one that accepts them. A libpq connection string works too\n"
               "                  (\"host=db1,db2 target_session_attrs=read-write\", \"service=tabel\").\n"
               "  --maintenance   show the menu items \"Импорт\" (legacy import) and\n"
               "                  \"Структура БД\" (structure upgrade)\n"
               "  --reports-from-standby\n"
               "                  timesheets and reports read from a standby when one answers\n"
               "                  (the same: TABEL_REPORTS_FROM_STANDBY=1)\n"
               "  --help, -h      this text\n"
               "  --version, -v   version and build stamp\n")
        .arg(QString::fromLatin1(Connection::DefaultDatabase), QString::fromLatin1(Connection::DefaultServer));
}

QString versionText()
{
    return QStringLiteral("tabel %1 (build: %2.%3)\n")
        .arg(QString::fromLatin1(TABEL_VERSION))
        .arg(BuildStamp::date())
        .arg(BuildStamp::time());
}

int answer(const Parsed &parsed)
{
    switch (parsed.action) {
    case Action::Help:
        print(stdout, usage());
        return 0;
    case Action::Version:
        print(stdout, versionText());
        return 0;
    case Action::Refuse:
        print(stderr, QStringLiteral("tabel: неизвестный параметр / unknown option: %1\n\n").arg(parsed.unknown) + usage());
        return 2;
    case Action::Run:
        break;
    }
    return -1;
}

} // namespace CommandLine

#include "Connection.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

namespace Connection {

QString connectionString(const QStringList &args)
{
    const QString server = args.value(1);
    const bool useDefault = server.isEmpty();
    const QString database = useDefault ? QString::fromLatin1(DefaultDatabase) : args.value(0);
    const QString host = useDefault ? QString::fromLatin1(DefaultServer) : server;
    return QStringLiteral("DRIVER={PostgreSQL UNICODE};DATABASE=") + database
        + QStringLiteral(";SERVER=") + host
        + QStringLiteral(";PORT=5432;UID=sys;PWD=vomtuxa;SSLmode=prefer;")
        + QStringLiteral("ReadOnly=0;Protocol=7.4;FakeOidIndex=0;ShowOidColumn=0;RowVersioning=0;ShowSystemTables=0;Fetch=100;UnknownSizes=0;MaxVarcharSize=255;MaxLongVarcharSize=8190;")
        + QStringLiteral("Debug=0;CommLog=0;UseDeclareFetch=0;TextAsLongVarchar=1;UnknownsAsLongVarchar=0;BoolsAsChar=1;Parse=0;ExtraSysTablePrefixes=;LFConversion=1;UpdatableCursors=1;")
        + QStringLiteral("TrueIsMinus1=0;BI=0;ByteaAsLongVarBinary=1;UseServerSidePrepare=1;LowerCaseIdentifier=0;D6=-101;OptionalErrors=0;XaOpt=1");
}

QMap<QString, QString> parse(const QString &cs)
{
    QMap<QString, QString> out;
    for (const QString &part : cs.split(QLatin1Char(';'))) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        out.insert(part.left(eq).trimmed().toUpper(), part.mid(eq + 1));
    }
    return out;
}

Settings settingsFrom(const QString &cs)
{
    const auto m = parse(cs);
    Settings s;
    s.host = m.value(QStringLiteral("SERVER"));
    s.port = m.value(QStringLiteral("PORT"), QStringLiteral("5432")).toInt();
    s.database = m.value(QStringLiteral("DATABASE"));
    s.user = m.value(QStringLiteral("UID"));
    s.password = m.value(QStringLiteral("PWD"));
    s.options = QStringLiteral("sslmode=") + m.value(QStringLiteral("SSLMODE"), QStringLiteral("prefer"));
    return s;
}

namespace {
// A password file line "host:port:database:user:password" ("*" matches
// anything, a backslash escapes the next character) that covers these settings.
bool passFileCovers(const QString &path, const Settings &s)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QString host = s.host.isEmpty() || s.host.startsWith(QLatin1Char('/')) ? QStringLiteral("localhost") : s.host;
    const QStringList want{host, QString::number(s.port), s.database, s.user};
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList fields;
        QString cur;
        for (int i = 0; i < line.size(); ++i) {
            if (line[i] == QLatin1Char('\\') && i + 1 < line.size()) {
                cur += line[++i];
            } else if (line[i] == QLatin1Char(':') && fields.size() < 4) {
                fields << cur;
                cur.clear();
            } else {
                cur += line[i];
            }
        }
        fields << cur;
        if (fields.size() != 5)
            continue;
        bool match = true;
        for (int k = 0; k < 4 && match; ++k)
            match = fields[k] == QLatin1String("*") || fields[k] == want[k];
        if (match)
            return true;
    }
    return false;
}
} // namespace

Settings withSiteSettings(Settings s, const QMap<QString, QString> &env, const QString &home)
{
    const QString passFile = env.value(QStringLiteral("PGPASSFILE"), home + QStringLiteral("/.pgpass"));
    if (!env.value(QStringLiteral("PGSERVICE")).isEmpty() || passFileCovers(passFile, s))
        s.password.clear();
    const QString ssl = env.value(QStringLiteral("PGSSLMODE"));
    if (!ssl.isEmpty())
        s.options = QStringLiteral("sslmode=") + ssl;
    return s;
}

Settings withSiteSettings(const Settings &s)
{
    QMap<QString, QString> env;
    const QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    for (const char *k : {"PGPASSFILE", "PGSERVICE", "PGSSLMODE"})
        if (pe.contains(QLatin1String(k)))
            env.insert(QLatin1String(k), pe.value(QLatin1String(k)));
    return withSiteSettings(s, env, QDir::homePath());
}

} // namespace Connection

#include "Connection.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QUrl>

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

QMap<QString, QString> libpqPairs(const QString &text)
{
    QMap<QString, QString> out;
    int i = 0;
    const int n = text.size();
    auto skipSpace = [&] {
        while (i < n && text[i].isSpace())
            ++i;
    };
    skipSpace();
    while (i < n) {
        const int start = i;
        while (i < n && text[i] != QLatin1Char('=') && !text[i].isSpace())
            ++i;
        const QString key = text.mid(start, i - start);
        skipSpace();
        if (key.isEmpty() || i >= n || text[i] != QLatin1Char('='))
            return {}; // a bare word: a host name, not a connection string
        ++i;
        skipSpace();
        QString value;
        if (i < n && text[i] == QLatin1Char('\'')) {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == QLatin1Char('\\') && i + 1 < n) {
                    value += text[i + 1];
                    i += 2;
                } else if (text[i] == QLatin1Char('\'')) {
                    ++i;
                    closed = true;
                    break;
                } else {
                    value += text[i++];
                }
            }
            if (!closed)
                return {};
        } else {
            while (i < n && !text[i].isSpace()) {
                if (text[i] == QLatin1Char('\\') && i + 1 < n)
                    ++i;
                value += text[i++];
            }
        }
        out.insert(key.toLower(), value);
        skipSpace();
    }
    return out;
}

namespace {
const char *kSeveralServers = "target_session_attrs=read-write";
// A host that is switched off (not refusing) would otherwise hold the
// connection until the network gives up, minutes later, before the next
// server is tried; a server that vanished while the program waits for its
// reply is noticed the same way.
const char *kServerDeath = "connect_timeout=10;keepalives_idle=10;keepalives_interval=5;keepalives_count=3";

// A libpq URI, as a high-availability engine prints it
// ("postgres://db1:5432,db2:5432/orvel_erp?target_session_attrs=read-write"),
// as keyword=value text. Its database and user are the program's own.
QString fromUri(const QString &uri)
{
    static const QRegularExpression scheme(QStringLiteral("^postgres(ql)?://"), QRegularExpression::CaseInsensitiveOption);
    QString rest = uri.trimmed();
    rest.remove(scheme);
    const int q = rest.indexOf(QLatin1Char('?'));
    const QString query = q >= 0 ? rest.mid(q + 1) : QString();
    QString authority = (q >= 0 ? rest.left(q) : rest).section(QLatin1Char('/'), 0, 0);
    authority = authority.mid(authority.lastIndexOf(QLatin1Char('@')) + 1);
    auto quoted = [](QString v) {
        v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
        return QLatin1Char('\'') + v + QLatin1Char('\'');
    };
    QStringList hosts, ports;
    for (const QString &hp : authority.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int close = hp.startsWith(QLatin1Char('[')) ? hp.indexOf(QLatin1Char(']')) : -1;
        const int colon = hp.indexOf(QLatin1Char(':'), close + 1);
        hosts << QUrl::fromPercentEncoding(hp.left(colon >= 0 ? colon : hp.size()).remove(QLatin1Char('[')).remove(QLatin1Char(']')).toUtf8());
        ports << (colon >= 0 ? hp.mid(colon + 1) : QStringLiteral("5432"));
    }
    QStringList out;
    if (!hosts.isEmpty())
        out << QStringLiteral("host=") + quoted(hosts.join(QLatin1Char(','))) << QStringLiteral("port=") + quoted(ports.join(QLatin1Char(',')));
    for (const QString &kv : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const QString key = QUrl::fromPercentEncoding(kv.section(QLatin1Char('='), 0, 0).toUtf8());
        if (key == QLatin1String("dbname") || key == QLatin1String("user") || key == QLatin1String("password"))
            continue;
        out << key + QLatin1Char('=') + quoted(QUrl::fromPercentEncoding(kv.section(QLatin1Char('='), 1).toUtf8()));
    }
    return out.join(QLatin1Char(' '));
}

// The server text: one host, a comma list of hosts, a libpq URI, or a libpq connection string.
Settings withServers(Settings s)
{
    if (s.host.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)
        || s.host.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive))
        s.host = fromUri(s.host);
    const QMap<QString, QString> pairs = libpqPairs(s.host);
    if (!pairs.isEmpty()) {
        // The text says which servers; what it leaves out is libpq's default
        // (a service's own values among them).
        s.more = s.host;
        s.host.clear();
        s.port = -1;
        s.severalServers = pairs.value(QStringLiteral("host")).contains(QLatin1Char(','))
            || pairs.value(QStringLiteral("hostaddr")).contains(QLatin1Char(','));
        if (s.severalServers) {
            const QString site = s.more;
            s.more = QString::fromLatin1(kServerDeath);
            if (!pairs.contains(QStringLiteral("target_session_attrs")))
                s.more += QLatin1Char(';') + QString::fromLatin1(kSeveralServers);
            s.more += QLatin1Char(';') + site;
        }
        return s;
    }
    s.severalServers = s.host.contains(QLatin1Char(','));
    if (s.severalServers)
        s.more = QString::fromLatin1(kServerDeath) + QLatin1Char(';') + QString::fromLatin1(kSeveralServers);
    return s;
}
} // namespace

QString Settings::connectOptions() const
{
    if (more.isEmpty())
        return options;
    return options + QLatin1Char(';') + more;
}

Settings forReports(Settings s)
{
    // libpq takes the last of a repeated keyword
    s.more += QStringLiteral(";target_session_attrs=prefer-standby");
    if (s.more.startsWith(QLatin1Char(';')))
        s.more.remove(0, 1);
    return s;
}

Settings withReportsOnStandby(Settings s)
{
    s.more += QStringLiteral(";options='-c synchronous_commit=remote_apply'");
    if (s.more.startsWith(QLatin1Char(';')))
        s.more.remove(0, 1);
    return s;
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
    return withServers(s);
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

#include "Connection.h"

namespace Connection {

QString connectionString(const QStringList &args)
{
    const QString server = args.value(1);
    const bool useDefault = server.isEmpty();
    const QString database = useDefault ? QString::fromLatin1(DefaultDatabase) : args.value(0);
    const QString host = useDefault ? QString::fromLatin1(DefaultServer) : server;
    return QStringLiteral("DRIVER={PostgreSQL UNICODE};DATABASE=") + database
        + QStringLiteral(";SERVER=") + host
        + QStringLiteral(";PORT=5432;UID=sys;PWD=vomtuxa;SSLmode=allow;")
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
    s.options = QStringLiteral("sslmode=") + m.value(QStringLiteral("SSLMODE"), QStringLiteral("allow"));
    return s;
}

} // namespace Connection

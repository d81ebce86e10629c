#include "Version.h"

#include "Gateway.h"
#include "TDataModule6.h"

VersionVerdict checkVersionRow(TDataModule6 &dm, int D, int T)
{
    Dataset ver(dm.connectionName());
    ver.setSql(QStringLiteral("select d, t from accounts_dep.ver limit 1"));
    ver.open();
    if (ver.isEmpty())
        return VersionVerdict::Same;
    const int vd = ver.asInt(QStringLiteral("d"));
    const int vt = ver.asInt(QStringLiteral("t"));
    ver.close();
    if (vd > D || (vd == D && vt > T))
        return VersionVerdict::Older;
    if (vd < D || (vd == D && vt < T))
        return VersionVerdict::Newer;
    return VersionVerdict::Same;
}

void stampVersionRow(const QString &owner, int D, int T)
{
    // one statement: the row is moved only forward, and made when missing
    Gateway::run(owner,
                 QStringLiteral("with moved as (update accounts_dep.ver set d = $1::int, t = $2::int "
                                "where ctid = (select ctid from accounts_dep.ver limit 1) "
                                "and (coalesce(d, 0), coalesce(t, 0)) < ($1::int, $2::int) returning 1) "
                                "insert into accounts_dep.ver (d, t, delim) select $1::int, $2::int, '' "
                                "where not exists (select 1 from accounts_dep.ver)"),
                 {D, T}, Gateway::Retry::Never);
}

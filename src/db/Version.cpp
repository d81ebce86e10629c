#include "Version.h"

#include "TDataModule6.h"

VersionVerdict checkVersionRow(TDataModule6 &dm, int D, int T)
{
    Dataset ver(dm.connectionName());
    ver.setSql(QStringLiteral("select d, t, delim from accounts_dep.ver limit 1"));
    ver.open();
    Command cmd(dm.connectionName());
    VersionVerdict verdict = VersionVerdict::Same;
    int vd = 0, vt = 0;
    if (ver.isEmpty()) {
        cmd.setSql(QStringLiteral("insert into accounts_dep.ver (d, t, delim) values (:d, :t, '')"));
        cmd.setParam(QStringLiteral("d"), D);
        cmd.setParam(QStringLiteral("t"), T);
        cmd.exec();
        return VersionVerdict::Stamped;
    }
    vd = ver.asInt(QStringLiteral("d"));
    vt = ver.asInt(QStringLiteral("t"));
    ver.close();
    if (vd < D || (vd == D && vt < T)) {
        cmd.setSql(QStringLiteral("update accounts_dep.ver set d=:d, t=:t "
                                  "where ctid = (select ctid from accounts_dep.ver limit 1)"));
        cmd.setParam(QStringLiteral("d"), D);
        cmd.setParam(QStringLiteral("t"), T);
        cmd.exec();
        vd = D;
        vt = T;
        verdict = VersionVerdict::Stamped;
    }
    if (vd > D || (vd == D && vt > T))
        verdict = VersionVerdict::Older;
    return verdict;
}

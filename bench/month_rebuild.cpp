// Times the shift-line rebuild of one month against the floor it is held to:
// one DELETE and one INSERT ... SELECT of the same lines in one transaction.
// Usage: bench_month_rebuild <database> <socket folder or host> <month> <year> [runs]
#include "db/MonthRebuild.h"
#include "db/TDataModule6.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 5) {
        std::fprintf(stderr, "usage: %s database host month year [runs]\n", argv[0]);
        return 2;
    }
    TDataModule6 dm;
    dm.connectDb(a[2], 5432, a[1], QStringLiteral("sys"), QStringLiteral("vomtuxa"), QString());
    const int month = a[3].toInt(), year = a[4].toInt(), runs = a.size() > 5 ? a[5].toInt() : 5;
    QSqlDatabase db = QSqlDatabase::database(dm.connectionName());
    QString days;
    for (int d = 1; d <= 31; ++d)
        days += QStringLiteral(", sum(time) filter (where extract(day from data)=%1)").arg(d);
    QString cols;
    for (int d = 1; d <= 31; ++d)
        cols += QStringLiteral(", d%1").arg(d);
    const QDate first(year, month, 1);
    const QString floorSql = QStringLiteral("insert into accounts_dep.h_tabel(smena, w_id, month, year%1) select smena, w_id, %2, %3%4 "
                                            "from accounts_dep.smena where data>='%5' and data<'%6' and smena>0 group by smena, w_id")
                                 .arg(cols).arg(month).arg(year).arg(days, first.toString("dd.MM.yyyy"), first.addMonths(1).toString("dd.MM.yyyy"));
    std::vector<qint64> floorMs, rebuildMs;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        db.transaction();
        QSqlQuery q(db);
        q.exec(QStringLiteral("delete from accounts_dep.h_tabel where smena>0 and month=%1 and year=%2").arg(month).arg(year));
        if (!q.exec(floorSql))
            return 1;
        db.commit();
        floorMs.push_back(t.elapsed());
        t.restart();
        MonthRebuild::shiftLines(dm.connectionName(), month, year);
        rebuildMs.push_back(t.elapsed());
    }
    std::sort(floorMs.begin(), floorMs.end());
    std::sort(rebuildMs.begin(), rebuildMs.end());
    std::printf("median of %d: DELETE + INSERT ... SELECT %lld ms, rebuild %lld ms\n", runs,
                floorMs[floorMs.size() / 2], rebuildMs[rebuildMs.size() / 2]);
    return 0;
}

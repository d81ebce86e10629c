#include "Seed.h"

#include "TestDb.h"
#include "db/Sql.h"

namespace Seed {

namespace {
// A literal for the seeding statements (the test's own, never typed text).
QString quoted(const QString &v) { return QLatin1Char('\'') + QString(v).replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\''); }
} // namespace

int worker(const QString &fio, const QString &position)
{
    return TestDb::scalar(QStringLiteral("insert into accounts_dep.person (fio, s_staffpos_hl) values (%1, %2) returning id")
                              .arg(quoted(fio), quoted(position.isNull() ? QStringLiteral("") : position)))
        .toInt();
}

int group(const QString &name)
{
    return TestDb::scalar(QStringLiteral("insert into cmn_classifier.item (id_classifier, id_level, s_code, s_caption) values (1, 2, 'g', %1) returning id")
                              .arg(quoted(name)))
        .toInt();
}

int product(const QString &marka, int groupId, double massa)
{
    return TestDb::scalar(QStringLiteral("insert into cmn_gds_and_srv.gds_and_srv (s_caption, s_description, id_msm_bs, massa, id_class_item) values (%1, '', 6, %2, %3) returning id")
                              .arg(quoted(marka), Sql::num(massa))
                              .arg(groupId))
        .toInt();
}

int kind(const QString &vid)
{
    return TestDb::scalar(QStringLiteral("insert into accounts_dep.vid_oper (vid) values (%1) returning id").arg(quoted(vid))).toInt();
}

int operation(int productId, int kindId, int naimen, const QList<double> &prices)
{
    const int id = TestDb::scalar(QStringLiteral("insert into accounts_dep.oper (vid, i_id, naimen, cena_new) values (%1, %2, %3, 0) returning id")
                                      .arg(kindId).arg(productId).arg(naimen))
                       .toInt();
    int norma = 10;
    for (double p : prices)
        TestDb::exec(QStringLiteral("insert into accounts_dep.norm (o_id, norma, price, prize) values (%1, %2, %3, 0)")
                         .arg(id).arg(norma++).arg(Sql::num(p)));
    return id;
}

int entry(const Entry &e)
{
    return TestDb::scalar(
               QStringLiteral("insert into accounts_dep.smena (data, smena, w_id, i_id, o_id, kol_vo, brak, cena, time, color, ok, vvod, prize, "
                              "id_doc, id_doc_item, id_gds_use, id_cons_use, f_gds_qty_use) values "
                              "(%1, %2, %3, %4, %5, %6, %7, %8, %9, %10, %11, %1, 0, 0, 0, 0, 0, 0) returning id")
                   .arg(quoted(e.data.toString(Qt::ISODate)))
                   .arg(e.shift)
                   .arg(e.worker)
                   .arg(e.product)
                   .arg(e.operation)
                   .arg(e.kolVo)
                   .arg(e.brak)
                   .arg(Sql::num(e.cena))
                   .arg(e.time)
                   .arg(e.color)
                   .arg(e.ok.isNull() ? QStringLiteral("NULL") : quoted(e.ok)))
        .toInt();
}

int shiftLine(int worker, int shift, int month, int year, const QList<QPair<int, int>> &days)
{
    QString cols, vals;
    for (const auto &d : days) {
        cols += QStringLiteral(", d%1").arg(d.first);
        vals += QStringLiteral(", %1").arg(d.second);
    }
    return TestDb::scalar(QStringLiteral("insert into accounts_dep.h_tabel (w_id, smena, month, year%1) values (%2, %3, %4, %5%6) returning id")
                              .arg(cols)
                              .arg(worker)
                              .arg(shift)
                              .arg(month)
                              .arg(year)
                              .arg(vals))
        .toInt();
}

} // namespace Seed

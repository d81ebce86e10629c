#include "Products.h"

#include "Write.h"
#include "db/Audit.h"
#include "db/ChangeNotice.h"
#include "db/DayCells.h"

#include <QDate>
#include <QVector>
#include <algorithm>

namespace Products {
namespace {

QList<QDate> entryMonths(const QString &connection, qint64 product)
{
    Rows q = Write::run(connection,
                             QStringLiteral("select distinct date_trunc('month', data)::date as m from accounts_dep.smena where "
                                            "i_id=? and data is not null"),
                             {product});
    QList<QDate> months;
    while (q.next())
        months << q.value(0).toDate();
    return months;
}

} // namespace

Outcome remove(const QString &connection, const Removal &r)
{
    // The months are read, locked in one call and read again; an entry saved
    // meanwhile in a month not locked (seen by the second read or by the
    // delete itself) makes the deletion start over with that month, so that
    // every lock of the transaction is still taken by one call.
    QList<QDate> months;
    for (int attempt = 0; attempt < 5; ++attempt) {
        bool again = false;
        const Outcome o = Write::inTransaction(connection, [&]() -> Outcome {
            Audit::action(connection, QStringLiteral("удаление изделия"), QString::number(r.product),
                          {{"операции", r.operations}, {"записи", r.entries}, {"изделие", r.product_}});
            if (r.entries) {
                if (months.isEmpty())
                    months = entryMonths(connection, r.product);
                DayCells::lockMonths(connection, months);
                const QList<QDate> now = entryMonths(connection, r.product);
                for (const QDate &m : now)
                    if (!months.contains(m)) {
                        months << m;
                        again = true;
                    }
                if (again)
                    return Outcome::refused(Outcome::ChangedElsewhere, QString());
            }
            if (r.operations)
                Write::run(connection, QStringLiteral("delete from accounts_dep.oper o where o.i_id =?"), {r.product});
            if (r.entries) {
                Rows gone = Write::run(connection,
                                            QStringLiteral("delete from accounts_dep.smena s where s.i_id =? returning s.w_id, "
                                                           "s.smena, s.data"),
                                            {r.product});
                QVector<DayCells::ShiftCell> cells;
                while (gone.next()) {
                    const QDate d = gone.value(2).toDate();
                    if (!d.isValid())
                        continue;
                    if (!months.contains(QDate(d.year(), d.month(), 1))) {
                        months << QDate(d.year(), d.month(), 1);
                        again = true;
                    }
                    cells.append({gone.value(0).toInt(), gone.value(1).toInt(), d});
                }
                if (again)
                    return Outcome::refused(Outcome::ChangedElsewhere, QString());
                DayCells::refreshShiftCellsOfExistingLines(connection, cells);
            }
            if (r.product_)
                Write::run(connection, QStringLiteral("delete from cmn_gds_and_srv.gds_and_srv  where id=?"), {r.product});
            ChangeNotice::Change p;
            p.table = ChangeNotice::Table::Products;
            ChangeNotice::send(connection, p);
            if (r.entries) {
                ChangeNotice::Change e;
                e.table = ChangeNotice::Table::Entries;
                ChangeNotice::send(connection, e);
            }
            return Outcome::saved(r.product);
        });
        if (!again)
            return o;
    }
    return Outcome::refused(Outcome::ChangedElsewhere,
                            QStringLiteral("Изделие не удалено: по нему всё время заводятся новые позиции. Повторите удаление."));
}

} // namespace Products

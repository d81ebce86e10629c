#include "CatalogueWrite.h"

#include "db/DbError.h"
#include "records/Write.h"
#include "ui/Dialogs.h"

namespace CatalogueWrite {

bool call(const QString &connection, const QString &statement, const QVariantList &values, QVariantList *row)
{
    try {
        // the catalogue functions check the role of the user signed in on
        // this server session
        Rows q = Write::run(connection, statement, values);
        if (row) {
            row->clear();
            if (q.next())
                for (int i = 0; i < q.columnCount(); ++i)
                    *row << q.value(i);
        }
    } catch (const DbError &e) {
        // the statement ran on its own: it has ended by now, written or not
        Dialogs::error(e.text());
        return false;
    }
    return true;
}

} // namespace CatalogueWrite

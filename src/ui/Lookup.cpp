#include "Lookup.h"

#include "db/Dataset.h"

#include <QComboBox>

qint64 idValue(const QVariant &v)
{
    bool ok = false;
    const qint64 id = v.toLongLong(&ok);
    return ok ? id : qRound64(v.toDouble());
}

void fillLookup(QComboBox *box, const Dataset &ds, const QVariant &keep, const QString &textField, const QString &idField)
{
    box->clear();
    int idx = -1;
    const bool keeping = keep.isValid() && !keep.isNull();
    for (int r = 0; r < ds.recordCount(); ++r) {
        const QVariant id = ds.valueAt(r, idField);
        box->addItem(ds.valueAt(r, textField).toString(), id);
        if (keeping && idValue(id) == idValue(keep))
            idx = r;
    }
    box->setCurrentIndex(idx);
}

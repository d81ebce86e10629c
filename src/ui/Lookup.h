#pragma once
#include <QString>
#include <QVariant>

class Dataset;
class QComboBox;

// A key as the database hands it over (integer, numeric(15) or its text) as
// one whole number; 0 when empty.
qint64 idValue(const QVariant &v);

// Fills a drop-down from a lookup dataset (shown `textField`, key `idField`)
// and selects the item whose key is `keep`; none when it is not there.
void fillLookup(QComboBox *box, const Dataset &ds, const QVariant &keep,
                const QString &textField = QStringLiteral("s_caption"), const QString &idField = QStringLiteral("id"));

#include "OperationChoice.h"

#include "catalogues/TForm4.h"
#include "db/Dataset.h"
#include "db/TDataModule6.h"
#include "records/Pricing.h"
#include "ui/Forms.h"

QString OperationChoice::describe(const QString &marka, const QString &kind, int naimen)
{
    return marka.trimmed() + QStringLiteral("; ") + kind.trimmed() + QStringLiteral("; ")
           + (naimen == 0 ? QStringLiteral("Готовая продукция") : QStringLiteral("Заготовки"));
}

OperationChoice OperationChoice::fromOper(const Dataset &oper)
{
    OperationChoice c;
    if (!oper.isOpen() || oper.isEmpty())
        return c;
    c.id = oper.asInt(QStringLiteral("id"));
    c.item = oper.asInt(QStringLiteral("i_id"));
    c.kind = oper.asInt(QStringLiteral("oper_vid"));
    const QString kind = oper.asString(QStringLiteral("VID"));
    c.text = describe(oper.asString(QStringLiteral("MARKA")), kind, oper.asInt(QStringLiteral("NAIMEN")));
    Decimal price;
    if (Decimal::fromVariant(oper.value(QStringLiteral("cena")), &price))
        c.listPrice = price;
    c.painting = Pricing::isPaintingKind(kind);
    return c;
}

std::optional<OperationChoice> OperationChoice::pick(Forms &forms, int startId)
{
    // The list leaves its query on the chosen row; the value is taken from it
    // at once, before anything else may move it.
    if (!forms.Form4 || !forms.Form4->pick(1, startId))
        return std::nullopt;
    const OperationChoice c = fromOper(forms.DataModule6->Oper);
    if (c.id == 0)
        return std::nullopt;
    return c;
}

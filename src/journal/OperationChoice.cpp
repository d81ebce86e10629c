#include "OperationChoice.h"

#include "catalogues/TForm4.h"
#include "db/Dataset.h"
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
    if (Decimal::fromVariant(oper.value(QStringLiteral("cena_itog")), &price))
        c.finalPrice = price;
    c.painting = Pricing::isPaintingKind(kind);
    return c;
}

std::optional<OperationChoice> OperationChoice::pick(Forms &forms, int startId, int shift, bool dayOff)
{
    if (!forms.Form4 || !forms.Form4->pick(1, startId, shift, dayOff))
        return std::nullopt;
    return forms.Form4->choice();
}

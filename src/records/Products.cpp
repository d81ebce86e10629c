#include "Products.h"

#include "Write.h"
#include "db/Gateway.h"

namespace Products {

Outcome remove(const QString &connection, const Removal &r)
{
    const auto flag = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
    // a product with years of entries takes a while
    const Gateway::LongStatements longer;
    return Write::call(connection,
                       QStringLiteral("select status, id, message from accounts_dep.product_delete(?::bigint, ?::boolean, "
                                      "?::boolean, ?::boolean)"),
                       {r.product, flag(r.operations), flag(r.entries), flag(r.itself)});
}

} // namespace Products

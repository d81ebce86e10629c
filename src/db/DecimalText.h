#pragma once
#include <QString>

namespace DecimalText {

// Rounds decimal text as the server prints it ("-12.345", "147.6000", "12")
// to `places` decimals, half away from zero, with "." as the point; with
// `places` < 0 it gives the shortest form ("147.6", "200"). Working on the
// digits keeps exact decimals exact: 1.005 rounds to 1.01, which a binary
// double would not. Empty when the text is no plain decimal.
QString round(const QString &text, int places);

} // namespace DecimalText

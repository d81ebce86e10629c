#pragma once
#include <QString>

// What a column can hold, checked before a value is sent: the user reads
// which field and what its limit is, in Russian, instead of the server's
// English, and nothing is stored half.
namespace Limits {

// Empty when the decimal `text` (point or comma) fits numeric(precision,
// scale) once rounded to `scale` places as the server rounds (half away from
// zero); else "<field>: не больше 99 999 999 999,9999." Text that is no
// number at all is left to the caller's own check.
QString numericProblem(const QString &field, const QString &text, int precision, int scale);

// Empty when `text` has at most `maxChars` characters (a varchar(n) counts
// characters, not bytes); else "<field>: не длиннее 128 знаков."
QString lengthProblem(const QString &field, const QString &text, int maxChars);

// The largest value of numeric(precision, scale) as the user reads it: "99 999 999 999,9999".
QString largest(int precision, int scale);

} // namespace Limits

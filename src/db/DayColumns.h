#pragma once
#include <QString>
#include <QStringList>

// The 31 day columns of a timesheet line (accounts_dep.h_tabel d1 ... d31),
// described once: every statement, model and layout that lists them builds
// its list here.
namespace DayColumns {

constexpr int Count = 31;

// "d1" ... "d31"
QString name(int day);
// The column of `day` with a prefix, e.g. sumName(5) = "sd5" (a sum's alias).
inline QString name(int day, const QString &prefix) { return prefix + name(day); }
QStringList names();

// Each day through `pattern` (%1 = the column "dN", %2 = the day number N),
// joined by `separator`; `breakAfter` days get a line break after their
// separator (long statements stay readable in logs).
QString list(const QString &pattern, const QString &separator = QStringLiteral(", "),
             const QList<int> &breakAfter = {});

} // namespace DayColumns

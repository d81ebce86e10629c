#pragma once
#include <QString>

class QWidget;

// While the reports read from a standby, each report window shows, at its
// top, the time its data stands at when the standby is more than a few
// seconds behind ("данные на HH:MM:SS"); nothing otherwise.
namespace ReportLag {

constexpr const char *LabelName = "DataTimeLabel";

void install();   // watches the report windows from now on
void uninstall();
// Reads the standby's state now and shows it on `window` (a report window).
void update(QWidget *window);

} // namespace ReportLag

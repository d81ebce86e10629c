#pragma once
#include "db/Dataset.h"
#include "printing/Report.h"

#include <QWidget>

// A report form: one banded report QuickRep1 over the form's own query. The
// summary reports window sets the query's period and filter, opens it, puts
// the title into QRLabel1, and previews what prepare() lays out.
class ReportForm : public QWidget {
    Q_OBJECT
public:
    ReportForm(const char *objectName, const QString &caption, QWidget *parent = nullptr);

    Printing::Layout QuickRep1;
    virtual Dataset &query() = 0;
    // The report laid out over the query as it stands.
    Printing::Document prepare();

    // The query's product filter: 0 none, 1 finished products (naimen=0),
    // 2 blanks (naimen=1). Shared by every query of the summary reports.
    static void applyProductFilter(Dataset &q, int kind);

protected:
    // Every report of a period alike: A4 portrait, the bold title QRLabel1
    // once at the top, page numbers at the right of every page.
    void frame();
    // Column headings over the right-hand columns, repeated on every page.
    void headings(const QVector<Printing::Element> &labels);
    static Printing::Band band(double height, bool bold = false);
};

namespace ReportColumns {
// The two detail expressions the layouts share
extern const char *const Kind;   // "Готовая продукция" / "Заготовки"
extern const char *const Colour; // " (грунт)" / " (RAL: N)" / " "
} // namespace ReportColumns

#pragma once
#include "Expression.h"

#include <QLineF>
#include <QMap>
#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <QVector>

class Dataset;

// The banded report engine. A report is described as data (Layout: bands of
// labels and expressions at fixed positions), laid out over a dataset into
// pages of positioned texts and lines (Document), and only then painted on a
// printer, a PDF file or a preview. Every length is in millimetres.
namespace Printing {

struct Element {
    enum Kind { Label, Expr };
    Kind kind = Label;
    QString name;  // labels a report window changes (QRLabel1, QRLabel33)
    QString text;  // the label's text or the expression
    double x = 0, width = 0;
    Qt::Alignment align = Qt::AlignLeft;
    bool bold = false;
    QString mask;  // "#0.00" ...
    bool frameLeft = false, frameRight = false;
};

Element label(double x, double width, const QString &text, Qt::Alignment align = Qt::AlignLeft, bool bold = false);
Element field(double x, double width, const QString &expression, const QString &mask = QString(),
              Qt::Alignment align = Qt::AlignRight, bool bold = false);

struct Band {
    double height = 0; // 0: the band prints nothing
    bool lineAbove = false, lineBelow = false, framed = false;
    bool bold = false; // every element of the band
    QVector<Element> elements;
};

// Printed when the value of `expression` changes (outer groups first); the
// footer's sums cover the rows since the header and restart with it.
struct Group {
    QString expression;
    Band header, footer;
    // The header is printed again under the column headings of a page where
    // the group goes on, so that a reader sees whose rows these are.
    bool repeatHeader = false;
};

struct Layout {
    QString title; // the preview window's caption and the PDF's title
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double margin = 10;
    double fontSize = 9; // points
    Band titleBand;      // once, first
    Band reportHeader;   // once, after the title
    Band child;          // once, under the report header
    Band columnHeader;   // at the start and again at the top of every page
    QVector<Group> groups;
    Band detail;         // once per row
    Band reportFooter;   // once at the end, sums over the whole report
    Band pageFooter;     // at the foot of every page (PAGENUMBER)
    // Fields read as numbers or texts whatever their columns declare (by
    // name, without regard to case); every other field follows its column's type.
    QMap<QString, Value::Kind> kinds;

    // The label called `name` (nullptr if none).
    Element *element(const QString &name);
    void setText(const QString &name, const QString &text);
    QString text(const QString &name);
};

struct TextItem {
    QRectF rect;   // mm from the page's top left corner
    QString text;  // already shortened to fit (ends with "…" then)
    Qt::Alignment align = Qt::AlignLeft;
    bool bold = false;
};

struct Page {
    QVector<TextItem> texts;
    QVector<QLineF> lines;
    // The page's texts in reading order, one line per band row, tab-separated.
    QString plainText() const;
};

struct Document {
    QString title;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QSizeF size;    // mm
    double fontSize = 9;
    QVector<Page> pages;
};

// Lays the report out over the dataset's visible rows. A report with no rows
// is still one page with its headings and zero totals.
Document layOut(const Layout &layout, const Dataset &data);

// Width of `text` in mm in the report font (bold or not) at `points`.
double textWidth(const QString &text, double points, bool bold);

} // namespace Printing

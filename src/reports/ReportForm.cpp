#include "ReportForm.h"

namespace ReportColumns {
const char *const Kind = "IF(naimen=0,'Готовая продукция','Заготовки')";
const char *const Colour = "if(color>0,if(color=1,' (грунт)',' (RAL: '+STR(color)+')'),' ')";
} // namespace ReportColumns

using namespace Printing;

ReportForm::ReportForm(const char *objectName, const QString &caption, QWidget *parent) : QWidget(parent)
{
    setObjectName(QString::fromLatin1(objectName));
    QuickRep1.title = caption;
    setWindowTitle(caption);
}

Document ReportForm::prepare() { return layOut(QuickRep1, query()); }

void ReportForm::applyProductFilter(Dataset &q, int kind)
{
    if (kind != 1 && kind != 2) {
        q.setFilter(Dataset::Filter());
        return;
    }
    const int naimen = kind - 1;
    q.setFilter([naimen](const Dataset &d, int row) {
        const QVariant v = d.rawValue(row, QStringLiteral("naimen"));
        return !v.isNull() && v.toInt() == naimen;
    });
}

Band ReportForm::band(double height, bool bold)
{
    Band b;
    b.height = height;
    b.bold = bold;
    return b;
}

void ReportForm::frame()
{
    QuickRep1.orientation = QPageLayout::Portrait;
    QuickRep1.fontSize = 8;
    QuickRep1.reportHeader = band(9);
    Element title = label(0, 190, QStringLiteral("Отчет"), Qt::AlignLeft, true);
    title.name = QStringLiteral("QRLabel1");
    QuickRep1.reportHeader.elements << title;
    QuickRep1.pageFooter = band(6);
    QuickRep1.pageFooter.elements << field(150, 40, QStringLiteral("PAGENUMBER"));
}

void ReportForm::headings(const QVector<Element> &labels)
{
    QuickRep1.columnHeader = band(5.5, true);
    QuickRep1.columnHeader.lineBelow = true;
    QuickRep1.columnHeader.elements = labels;
}

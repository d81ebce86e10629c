#include "TForm15.h"

#include "db/ReportConnection.h"
#include "db/DayColumns.h"
#include "db/TDataModule6.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

TForm15::TForm15(Forms &forms, QWidget *parent)
    : QWidget(parent), H_Tabel(ReportConnection::name()), f(forms)
{
    setObjectName(QStringLiteral("TForm15"));
    H_Tabel.sql = QStringList{
        QStringLiteral("select person.s_caption fio,"),
        DayColumns::list(QStringLiteral("sum(%1) as sd%2"), QStringLiteral(","), {4, 9, 13, 17, 21, 25, 29}),
        QStringLiteral(" from accounts_dep.h_tabel, cmn_contractor.person person where"),
        QStringLiteral("h_tabel.w_id=person.s_code::t_integer and month=:mnth and"),
        QStringLiteral("year=:yea group by fio order by fio"),
    };

    using namespace Printing;
    QuickRep1.title = QStringLiteral("Табель");
    QuickRep1.orientation = QPageLayout::Landscape;
    QuickRep1.fontSize = 8;
    // 277 mm across: the name, 31 day columns, the total
    const double nameW = 58, dayW = 6.6, totalX = nameW + DayColumns::Count * dayW, totalW = 277 - totalX;
    Band &head = QuickRep1.columnHeader;
    head.height = 6;
    head.lineAbove = head.lineBelow = true;
    Element heading = label(0, nameW, QStringLiteral("Данные за:"), Qt::AlignLeft, true);
    heading.name = QStringLiteral("QRLabel33");
    head.elements << heading;
    Band &detail = QuickRep1.detail;
    detail.height = 5;
    detail.lineAbove = detail.lineBelow = true;
    detail.elements << field(0, nameW, QStringLiteral("fio"), QString(), Qt::AlignLeft);
    QStringList days;
    for (int d = 1; d <= DayColumns::Count; ++d) {
        Element day = label(nameW + (d - 1) * dayW, dayW, QString::number(d), Qt::AlignHCenter, true);
        day.frameLeft = day.frameRight = true;
        head.elements << day;
        Element hours = field(day.x, dayW, DayColumns::name(d, QStringLiteral("s")), QString(), Qt::AlignHCenter);
        hours.frameLeft = hours.frameRight = true; // a grid, so a day is read in its own column
        detail.elements << hours;
        days << DayColumns::name(d, QStringLiteral("s"));
    }
    head.elements << label(totalX, totalW, QStringLiteral("Итого"), Qt::AlignHCenter, true);
    detail.elements << field(totalX, totalW, days.join(QLatin1Char('+')), QString(), Qt::AlignHCenter, true);
    QuickRep1.pageFooter.height = 6;
    QuickRep1.pageFooter.elements << field(277 - 40, 40, QStringLiteral("PAGENUMBER"));
}

Printing::Document TForm15::prepare() { return Printing::layOut(QuickRep1, H_Tabel); }

void TForm15::printMonth(int month, int year, const QString &heading)
{
    H_Tabel.setParam(QStringLiteral("mnth"), month);
    H_Tabel.setParam(QStringLiteral("yea"), year);
    H_Tabel.open();
    struct Closer {
        Dataset &q;
        ~Closer() { q.close(); }
    } closer{H_Tabel};
    QuickRep1.setText(QStringLiteral("QRLabel33"), heading);
    QuickRep1.title = QStringLiteral("Табель: ") + heading;
    Dialogs::preview(prepare());
}

#include "TForm15.h"

#include "db/TDataModule6.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

TForm15::TForm15(Forms &forms, QWidget *parent)
    : QWidget(parent), H_Tabel(TDataModule6::ConnectionName), f(forms)
{
    setObjectName(QStringLiteral("TForm15"));
    H_Tabel.sql = QStringList{
        QStringLiteral("select person.s_caption fio,sum(d1) as sd1,sum(d2) as sd2,sum(d3) as sd3,sum(d4) as sd4,"),
        QStringLiteral("sum(d5) as sd5,sum(d6) as sd6,sum(d7) as sd7,sum(d8) as sd8,sum(d9) as sd9,"),
        QStringLiteral("sum(d10) as sd10,sum(d11) as sd11,sum(d12) as sd12,sum(d13) as sd13,"),
        QStringLiteral("sum(d14) as sd14,sum(d15) as sd15,sum(d16) as sd16,sum(d17) as sd17,"),
        QStringLiteral("sum(d18) as sd18,sum(d19) as sd19,sum(d20) as sd20,sum(d21) as sd21,"),
        QStringLiteral("sum(d22) as sd22,sum(d23) as sd23,sum(d24) as sd24,sum(d25) as sd25,"),
        QStringLiteral("sum(d26) as sd26,sum(d27) as sd27,sum(d28) as sd28,sum(d29) as sd29,"),
        QStringLiteral("sum(d30) as sd30,sum(d31) as sd31 from accounts_dep.h_tabel, cmn_contractor.person person where"),
        QStringLiteral("h_tabel.w_id=person.s_code::t_integer and month=:mnth and"),
        QStringLiteral("year=:yea group by fio order by fio"),
    };

    using namespace Printing;
    QuickRep1.title = QStringLiteral("Табель");
    QuickRep1.orientation = QPageLayout::Landscape;
    QuickRep1.fontSize = 8;
    // 277 mm across: the name, 31 day columns, the total
    const double nameW = 58, dayW = 6.6, totalX = nameW + 31 * dayW, totalW = 277 - totalX;
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
    for (int d = 1; d <= 31; ++d) {
        Element day = label(nameW + (d - 1) * dayW, dayW, QString::number(d), Qt::AlignHCenter, true);
        day.frameLeft = day.frameRight = true;
        head.elements << day;
        Element hours = field(day.x, dayW, QStringLiteral("sd%1").arg(d), QString(), Qt::AlignHCenter);
        hours.frameLeft = hours.frameRight = true; // a grid, so a day is read in its own column
        detail.elements << hours;
        days << QStringLiteral("sd%1").arg(d);
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

#include "TForm17.h"

#include "db/ReportConnection.h"
#include "db/TDataModule6.h"

using namespace Printing;

TForm17::TForm17(Forms &, QWidget *parent)
    : ReportForm("TForm17", QStringLiteral("Отчет по продукции"), parent), t_Report(ReportConnection::name())
{
    t_Report.sql = QStringList{
        QStringLiteral("select sum(smena.kol_vo-smena.brak)::numeric as kolvo, vid_oper.vid,"),
        QStringLiteral("izdel.nom, oper.naimen, color,  round((izdel.massa*sum(smena.kol_vo-smena.brak))::numeric,2) as mass"),
        QStringLiteral("from accounts_dep.smena,accounts_dep.izdel,accounts_dep.vid_oper, accounts_dep.oper where izdel.id=smena.i_id and vid_oper.id=oper.vid"),
        QStringLiteral("and oper.id=smena.o_id and smena.data<:data2 and smena.data>=:data1 "),
        QStringLiteral("group by izdel.nom,color, oper.naimen, vid_oper.vid, izdel.massa order by izdel.nom"),
    };

    frame();

    headings({label(136, 27, QStringLiteral("Коробки"), Qt::AlignRight), label(163, 27, QStringLiteral("Количество"), Qt::AlignRight)});
    Group nom;
    nom.expression = QStringLiteral("nom");
    nom.header = band(5, true);
    nom.header.elements << field(0, 190, QStringLiteral("nom"), QString(), Qt::AlignLeft);
    nom.footer = band(5.5, true);
    nom.footer.elements << field(136, 27, QStringLiteral("sum(mass)")) << field(163, 27, QStringLiteral("sum(kolvo)"));
    QuickRep1.groups = {nom};
    QuickRep1.detail = band(4.5);
    QuickRep1.detail.elements << field(4, 34, QString::fromUtf8(ReportColumns::Kind), QString(), Qt::AlignLeft)
                              << field(38, 66, QStringLiteral("vid"), QString(), Qt::AlignLeft)
                              << field(104, 32, QString::fromUtf8(ReportColumns::Colour), QString(), Qt::AlignLeft)
                              << field(136, 27, QStringLiteral("mass"))
                              << field(163, 27, QStringLiteral("kolvo"));
    QuickRep1.reportFooter = band(7, true);
    QuickRep1.reportFooter.framed = true;
    QuickRep1.reportFooter.elements << label(0, 40, QStringLiteral("Итого:"))
                                    << field(136, 27, QStringLiteral("sum(mass)"), QStringLiteral("#0"))
                                    << field(163, 27, QStringLiteral("sum(kolvo)"));
}

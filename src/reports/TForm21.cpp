#include "TForm21.h"

#include "db/ReportConnection.h"
#include "db/TDataModule6.h"

using namespace Printing;

TForm21::TForm21(Forms &, QWidget *parent)
    : ReportForm("TForm21", QStringLiteral("Детальный отчет по продукции"), parent), i_Report(ReportConnection::name())
{
    i_Report.sql = QStringList{
        QStringLiteral("select izdel.marka, vid_oper.vid vid, oper.naimen, izdel.nom,"),
        QStringLiteral("sum(smena.kol_vo)::numeric as kolvo, sum(smena.brak) as brk, "),
        QStringLiteral("sum((kol_vo-brak)*smena.cena::numeric) as summa, color, round((izdel.massa*sum(smena.kol_vo))::numeric,2) as mass "),
        QStringLiteral("from accounts_dep.izdel,accounts_dep.oper,accounts_dep.smena,accounts_dep.vid_oper where smena.o_id=oper.id and smena.i_id=izdel.id "),
        QStringLiteral("and smena.o_id=oper.id and oper.vid=vid_oper.id and smena.data<:data2 and "),
        QStringLiteral("smena.data>=:data1 group by izdel.nom, marka, vid_oper.vid, oper.naimen, color,massa "),
        QStringLiteral("order by izdel.nom,marka, vid_oper.vid, oper.naimen"),
    };

    frame();

    headings({label(110, 16, QStringLiteral("Брак"), Qt::AlignRight), label(126, 22, QStringLiteral("Коробки"), Qt::AlignRight),
              label(148, 18, QStringLiteral("Кол-во"), Qt::AlignRight), label(166, 24, QStringLiteral("Сумма"), Qt::AlignRight)});
    Group nom;
    nom.expression = QStringLiteral("nom");
    nom.header = band(5.5, true);
    nom.header.elements << field(0, 190, QStringLiteral("nom"), QString(), Qt::AlignLeft);
    nom.footer = band(5.5, true);
    nom.footer.elements << field(110, 16, QStringLiteral("sum(brk)")) << field(126, 22, QStringLiteral("sum(mass)"), QStringLiteral("#0.00"))
                        << field(148, 18, QStringLiteral("sum(kolvo)")) << field(166, 24, QStringLiteral("sum(summa)"), QStringLiteral("#0.00"));
    QuickRep1.groups = {nom};
    QuickRep1.detail = band(4.5);
    QuickRep1.detail.elements << field(3, 33, QStringLiteral("marka"), QString(), Qt::AlignLeft)
                              << field(36, 30, QStringLiteral("vid"), QString(), Qt::AlignLeft)
                              << field(66, 8, QStringLiteral("color"))
                              << field(74, 36, QString::fromUtf8(ReportColumns::Kind), QString(), Qt::AlignLeft)
                              << field(110, 16, QStringLiteral("brk"))
                              << field(126, 22, QStringLiteral("mass"))
                              << field(148, 18, QStringLiteral("kolvo"))
                              << field(166, 24, QStringLiteral("summa"), QStringLiteral("#0.000"));
    QuickRep1.reportFooter = band(7, true);
    QuickRep1.reportFooter.framed = true;
    QuickRep1.reportFooter.elements << label(0, 40, QStringLiteral("Итого:")) << field(110, 16, QStringLiteral("sum(brk)"))
                                    << field(126, 22, QStringLiteral("sum(mass)")) << field(148, 18, QStringLiteral("sum(kolvo)"))
                                    << field(166, 24, QStringLiteral("sum(summa)"), QStringLiteral("#0.00"));
}

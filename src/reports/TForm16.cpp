#include "TForm16.h"

#include "db/ReportConnection.h"
#include "db/TDataModule6.h"

using namespace Printing;

TForm16::TForm16(Forms &, QWidget *parent)
    : ReportForm("TForm16", QStringLiteral("Отчет по рабочим"), parent), t_Report(ReportConnection::name())
{
    t_Report.sql = QStringList{
        QStringLiteral("select person.s_caption fio, sum(smena.kol_vo-smena.brak)::numeric as kolvo, "),
        QStringLiteral("sum((kol_vo-brak)*smena.cena::numeric) as summa,vid_oper.vid,"),
        QStringLiteral("izdel.nom, oper.naimen, color from cmn_contractor.person person,accounts_dep.smena,accounts_dep.izdel,accounts_dep.vid_oper,"),
        QStringLiteral("accounts_dep.oper where w_id=s_code::integer and izdel.id=smena.i_id and vid_oper.id=oper.vid"),
        QStringLiteral("and oper.id=smena.o_id and smena.data<:data2 and smena.data>=:data1 "),
        QStringLiteral("group by fio, izdel.nom, oper.naimen, vid_oper.vid, color order by fio, izdel.nom"),
    };

    frame();

    // the regional coefficient ("Р/К") applied to the earnings
    const QString rk = QStringLiteral("1.2");
    Group worker;
    worker.expression = QStringLiteral("t_Report.fio");
    worker.header = band(6, true);
    worker.header.elements << field(0, 160, QStringLiteral("fio"), QString(), Qt::AlignLeft)
                           << label(163, 27, QStringLiteral("Сумма с Р/К"), Qt::AlignRight);
    worker.footer = band(6, true);
    worker.footer.lineBelow = true;
    worker.footer.elements << field(138, 25, QStringLiteral("sum(summa)"), QStringLiteral("#0.00"))
                           << field(163, 27, QStringLiteral("sum(summa)*") + rk, QStringLiteral("#0.00"));
    Group nom;
    nom.expression = QStringLiteral("t_Report.nom");
    nom.header = band(5, true);
    nom.header.elements << field(3, 187, QStringLiteral("nom"), QString(), Qt::AlignLeft);
    nom.footer = band(5, true);
    nom.footer.elements << field(116, 22, QStringLiteral("sum(kolvo)"))
                        << field(138, 25, QStringLiteral("sum(summa)"), QStringLiteral("#0.000"))
                        << field(163, 27, QStringLiteral("sum(summa)*") + rk, QStringLiteral("#0.000"));
    QuickRep1.groups = {worker, nom};
    QuickRep1.detail = band(4.5);
    QuickRep1.detail.elements << field(6, 34, QString::fromUtf8(ReportColumns::Kind), QString(), Qt::AlignLeft)
                              << field(40, 46, QStringLiteral("vid"), QString(), Qt::AlignLeft)
                              << field(86, 30, QString::fromUtf8(ReportColumns::Colour), QString(), Qt::AlignLeft)
                              << field(116, 22, QStringLiteral("kolvo"))
                              << field(138, 25, QStringLiteral("summa"), QStringLiteral("#0.000"));
    QuickRep1.reportFooter = band(7, true);
    QuickRep1.reportFooter.framed = true;
    QuickRep1.reportFooter.elements << label(0, 40, QStringLiteral("Итого:"))
                                    << field(138, 25, QStringLiteral("sum(summa)"), QStringLiteral("#0.00"))
                                    << field(163, 27, QStringLiteral("sum(summa*") + rk + QStringLiteral(")"), QStringLiteral("#0.00"));
}

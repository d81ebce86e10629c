#include "TForm20.h"

#include "db/ReportConnection.h"
#include "db/TDataModule6.h"

using namespace Printing;

TForm20::TForm20(Forms &, QWidget *parent)
    : ReportForm("TForm20", QStringLiteral("Детальный отчет по рабочим"), parent), w_Report(ReportConnection::name())
{
    w_Report.sql = QStringList{
        QStringLiteral("select s_caption fio, izdel.marka, vid_oper.vid, oper.naimen, "),
        QStringLiteral("sum(smena.kol_vo)::numeric as kolvo, sum(smena.brak) as brk, sum((kol_vo-brak)*"),
        // cena qualified: accounts_dep.oper has a cena column of its own, and
        // the bare name makes the server refuse the whole statement
        QStringLiteral("smena.cena::numeric) as summa, color, sum(prize::numeric*(kol_vo-brak)*smena.cena::numeric/100) as s_prize "),
        QStringLiteral("from cmn_contractor.person person,accounts_dep.izdel,accounts_dep.oper,accounts_dep.smena,accounts_dep.vid_oper where "),
        QStringLiteral("smena.o_id=oper.id and smena.w_id=s_code::integer and smena.i_id=izdel.id "),
        QStringLiteral("and smena.o_id=oper.id and w_id=s_code::integer and oper.vid=vid_oper.id "),
        QStringLiteral("and smena.data<:data2 and smena.data>=:data1 group by fio, marka, "),
        QStringLiteral("vid_oper.vid, oper.naimen, color order by fio, marka, vid_oper.vid, oper.naimen"),
    };

    frame();

    headings({label(124, 18, QStringLiteral("Брак"), Qt::AlignRight), label(142, 22, QStringLiteral("Количество"), Qt::AlignRight),
              label(164, 26, QStringLiteral("Сумма"), Qt::AlignRight)});
    Group worker;
    worker.expression = QStringLiteral("fio");
    worker.header = band(5.5, true);
    worker.header.elements << field(0, 190, QStringLiteral("fio"), QString(), Qt::AlignLeft);
    worker.footer = band(5.5, true);
    worker.footer.elements << field(124, 18, QStringLiteral("sum(brk)")) << field(142, 22, QStringLiteral("sum(kolvo)"))
                           << field(164, 26, QStringLiteral("sum(summa)"), QStringLiteral("#0.00"));
    QuickRep1.groups = {worker};
    QuickRep1.detail = band(4.5);
    QuickRep1.detail.elements << field(3, 40, QStringLiteral("marka"), QString(), Qt::AlignLeft)
                              << field(43, 37, QStringLiteral("vid"), QString(), Qt::AlignLeft)
                              << field(80, 9, QStringLiteral("color"))
                              << field(89, 35, QString::fromUtf8(ReportColumns::Kind), QString(), Qt::AlignLeft)
                              << field(124, 18, QStringLiteral("brk"))
                              << field(142, 22, QStringLiteral("kolvo"))
                              << field(164, 26, QStringLiteral("summa"), QStringLiteral("#0.00"));
    QuickRep1.reportFooter = band(7, true);
    QuickRep1.reportFooter.framed = true;
    QuickRep1.reportFooter.elements << label(0, 40, QStringLiteral("Итого:")) << field(124, 18, QStringLiteral("sum(brk)"))
                                    << field(142, 22, QStringLiteral("sum(kolvo)"))
                                    << field(164, 26, QStringLiteral("sum(summa)"), QStringLiteral("#0.00"));
}

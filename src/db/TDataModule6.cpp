#include "TDataModule6.h"

#include "ChangeListener.h"
#include "DayColumns.h"
#include "DbError.h"
#include "DbSession.h"
#include "Gateway.h"
#include "SessionTie.h"


namespace {
const char *const kConn = TDataModule6::ConnectionName;

QString sumDays()
{
    // coalesce(d1,0)+...+coalesce(d31,0), line breaks after d10 and d20
    return DayColumns::list(QStringLiteral("coalesce(%1,0)"), QStringLiteral("+"), {10, 20});
}
} // namespace

TDataModule6::TDataModule6(QObject *parent)
    : QObject(parent),
      Smena1(kConn), Smena2(kConn), Smena3(kConn), Smena4(kConn),
      Workers(kConn), Izdel(kConn), Vid_oper(kConn), Oper(kConn),
      H_Tabel_1(kConn), H_Tabel_2(kConn), H_Tabel_3(kConn), Control(kConn)
{
    Workers.setSql(QStringLiteral("select * from accounts_dep.person order by fio"));
    Izdel.setSql(QStringLiteral("select *  from accounts_dep.IZDEL order by marka"));
    Vid_oper.setSql(QStringLiteral("select * from accounts_dep.VID_OPER order by vid"));
    Oper.sql = operStatement();
    H_Tabel_1.sql = hTabelStatement(1);
    H_Tabel_2.sql = hTabelStatement(2);
    H_Tabel_3.sql = hTabelStatement(3);
    Changes = new ChangeListener(kConn, this);
}

TDataModule6::~TDataModule6()
{
    delete Changes;
    Changes = nullptr;
    DbSession::forget(kConn);
    Gateway::forget(kConn);
}

QStringList TDataModule6::operStatement()
{
    return {
        QStringLiteral("select izdel.MARKA, vid_oper.VID, oper.NAIMEN, (SELECT (CASE naimen WHEN 0 THEN 'Готовая продукция' ELSE 'Заготовки' END)) as nmn,"),
        QStringLiteral("count(o_id) norma, min(price)::numeric cena,"),
        QStringLiteral("oper.id, oper.i_id, oper.VID as oper_vid from accounts_dep.norm,accounts_dep.OPER,accounts_dep.IZDEL,accounts_dep.VID_OPER where OPER.i_id=IZDEL.id and norm.o_id=oper.id"),
        QStringLiteral("and oper.vid=vid_oper.id group by izdel.MARKA, vid_oper.VID, oper.NAIMEN, oper.id, oper.i_id, oper.VID order by izdel.marka, vid_oper.vid, oper.naimen"),
    };
}

QStringList TDataModule6::hTabelStatement(int shift)
{
    const QString sumd = sumDays();
    // The SUMD text spans lines itself; the statement is sent joined by line breaks.
    const QString text =
        QStringLiteral("select person.s_caption fio, \n")
        + QStringLiteral("(") + sumd + QStringLiteral(") as summ, \n")
        + QStringLiteral("round(case when (") + sumd + QStringLiteral(")=0 then 0 else\n")
        + QStringLiteral("(sum(s.cena::numeric*(kol_vo-brak))/(") + sumd
        + QStringLiteral(")) end, 2) as average_price, round(sum(s.cena::numeric*(kol_vo-brak)),2) as cena_all,\n")
        + QStringLiteral("h_tabel.* \n")
        + QStringLiteral("from accounts_dep.h_tabel, cmn_contractor.person, accounts_dep.smena s where \n")
        + QStringLiteral("h_tabel.w_id=person.s_code::integer and h_tabel.smena=%1 and month=:mnth and s.w_id = h_tabel.w_id and\n").arg(shift)
        + QStringLiteral("h_tabel.year=:yea and s.data >=:date1 and s.data <:date2\n")
        + QStringLiteral("group by person.s_caption,h_tabel.w_id,h_tabel.month,h_tabel.year,h_tabel.smena,h_tabel.id \n")
        + QStringLiteral("order by fio");
    return text.split(QLatin1Char('\n'));
}

void TDataModule6::connectDb(const QString &host, int port, const QString &database,
                             const QString &user, const QString &password, const QString &options)
{
    m_settings = {host, port, database, user, password, options};
    openConnection();
    DbSession::setReopen(kConn, [this]() { openConnection(); });
    Changes->start();
}

void TDataModule6::openConnection()
{
    openPostgres(kConn, m_settings.host, m_settings.port, m_settings.database, m_settings.user, m_settings.password,
                 m_settings.options);
}

void TDataModule6::openPostgres(const QString &connection, const QString &host, int port, const QString &database,
                                const QString &user, const QString &password, const QString &options,
                                const QString &moreSettings, bool longStatements)
{
    // Statements give dates as DD.MM.YYYY text. Values travel as parameters,
    // so quoting no longer depends on standard_conforming_strings; it stays
    // on for the literals the statements themselves hold. The monthly
    // timesheets' statements are short index lookups repeated per worker:
    // compiling them (JIT) costs more than it saves. One trip for all, with
    // the session's time limits; a new session has nothing prepared yet.
    QString set = QStringLiteral("SET DateStyle TO 'ISO, DMY'; SET standard_conforming_strings TO on; SET jit = off");
    if (!moreSettings.isEmpty())
        set += QStringLiteral("; ") + moreSettings;
    Gateway::Settings s;
    s.host = host;
    s.port = port;
    s.database = database;
    s.user = user;
    s.password = password;
    s.options = options;
    Gateway::open(connection, s, set, longStatements);
    // A new server session of a signed-in workstation is tied to its user
    // before anything else runs on it (a report connection is never tied).
    SessionTie::resume(connection);
}

bool TDataModule6::connected() const
{
    return Gateway::isOpen(kConn);
}

Dataset *TDataModule6::smena(int shift)
{
    switch (shift) {
    case 2: return &Smena2;
    case 3: return &Smena3;
    case 4: return &Smena4;
    default: return &Smena1;
    }
}

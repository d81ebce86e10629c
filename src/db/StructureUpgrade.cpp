#include "StructureUpgrade.h"

#include "DbError.h"
#include "Owner.h"
#include "Gateway.h"
#include "TDataModule6.h"
#include "Version.h"

#include <QFile>

void runStructureUpgrade(TDataModule6 &dm, int buildDate, int buildTime)
{
    const QString cmds[] = {
        QStringLiteral("drop view accounts_dep.izdel;\nCREATE OR REPLACE VIEW accounts_dep.izdel AS SELECT gds.s_caption AS marka,\t"
                       "gds.id_class_item, gds.id, gds.massa, gds.id_class_item AS id_nom,i.s_caption AS nom FROM cmn_gds_and_srv.gds_and_srv gds, cmn_classifier.item i WHERE gds.id_class_item::numeric = i.id::numeric;"),
        QStringLiteral("ALTER TABLE accounts_dep.fatigue add i_holiday int DEFAULT 0 NULL;"),
        QStringLiteral("ALTER TABLE accounts_dep.fatigue ADD i_night int DEFAULT 0 NULL;"),
        QStringLiteral("ALTER TABLE accounts_dep.h_tabel ADD i_night int DEFAULT 0 NULL;"),
        // Monthly timesheets
        QStringLiteral("CREATE INDEX IF NOT EXISTS h_tabel_month_smena ON accounts_dep.h_tabel (year, month, smena)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS smena_w_id_num_data ON accounts_dep.smena ((w_id::numeric), data)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS fatigue_id_p_date ON accounts_dep.fatigue (id_p, d_date)"),
        QStringLiteral("ALTER TABLE accounts_dep.h_tabel SET (parallel_workers = 0)"),
        // Key counters past the fixed rows 7777/7778 (and past any id already stored)
        QStringLiteral("SELECT setval(pg_get_serial_sequence('accounts_dep.vid_oper', 'id'), greatest((SELECT max(id) FROM accounts_dep.vid_oper), 7778));"),
        QStringLiteral("SELECT setval(pg_get_serial_sequence('accounts_dep.oper', 'id'), greatest((SELECT max(id) FROM accounts_dep.oper), 7778));"),
        // journal: the person match by the number in s_code (refused where the
        // role does not own the ERP's persons; the site's administrator adds it)
        QStringLiteral("CREATE INDEX IF NOT EXISTS person_s_code_t_id ON cmn_contractor.person ((s_code::t_id));"),
        // Housekeeping entries: a month's entries and their workers for the average-piecework recalculation
        QStringLiteral("CREATE INDEX fatigue_month ON accounts_dep.fatigue (i_year, i_mnth);"),
        QStringLiteral("CREATE INDEX person_id_numeric ON accounts_dep.person ((id::numeric));"),
        // Save keys: a save pressed again after an unknown outcome finds its
        // row instead of storing a second one (rows kept; older ones have none)
        QStringLiteral("ALTER TABLE accounts_dep.smena ADD COLUMN IF NOT EXISTS save_key uuid CONSTRAINT smena_save_key UNIQUE"),
        QStringLiteral("ALTER TABLE accounts_dep.fatigue ADD COLUMN IF NOT EXISTS save_key uuid CONSTRAINT fatigue_save_key UNIQUE"),
        // An empty night flag counts as day
        QStringLiteral("ALTER TABLE accounts_dep.fatigue ALTER COLUMN i_night SET DEFAULT 0"),
    };
    // Run as the owner of the schema: the program's login may not alter it.
    const QString owner = Owner::open(dm.connectionName());
    for (const QString &c : cmds) {
        try {
            Gateway::run(owner, c, {}, Gateway::Retry::Never);
        } catch (const DbError &) {
            // already upgraded: nothing to do for this step
        }
    }
    // Users, sign-in, the audit trail and closed months, what the program's
    // login may do, then the write functions and the catalogue writes, and
    // the bounded waits of them all: whole files, each one command, so an
    // older database gets all of a file or, on a failure, none of it (every
    // file may run again without harm).
    const char *const files[] = {":/sql/audit.sql", ":/sql/security.sql", ":/sql/writes.sql", ":/sql/catalogues.sql",
                                 ":/sql/offline.sql", ":/sql/waits.sql"};
    for (const char *path : files) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly))
            throw DbError(QStringLiteral("Нет файла %1 в программе.").arg(QLatin1String(path)));
        try {
            Gateway::run(owner, QStringLiteral("BEGIN;\n") + QString::fromUtf8(file.readAll()) + QStringLiteral("\nCOMMIT;"), {},
                         Gateway::Retry::Never);
        } catch (const DbError &e) {
            // the failed file's transaction is still open on the session
            try {
                Gateway::run(owner, QStringLiteral("ROLLBACK"), {}, Gateway::Retry::Never);
            } catch (const DbError &) {
            }
            throw DbError(QStringLiteral("Структура БД не обновлена (%1): %2").arg(QLatin1String(path).mid(6), e.text()));
        }
    }
    // The database now has this build's structure: older copies end at
    // their next version check.
    if (buildDate > 0)
        stampVersionRow(owner, buildDate, buildTime);
}

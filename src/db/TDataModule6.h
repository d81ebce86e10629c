#pragma once
#include "Dataset.h"

#include <QObject>
#include <QString>

class ChangeListener;

// The one non-visual container: the shared connection and the queries
// several windows share. The journal's queries are members here, but their
// statements and reads are the journal's (src/journal/JournalQueries).
class TDataModule6 : public QObject {
    Q_OBJECT
public:
    static constexpr const char *ConnectionName = "ADO_DB";

    explicit TDataModule6(QObject *parent = nullptr);
    ~TDataModule6() override;

    // libpq settings of the shared connection; throws DbError when it fails.
    void connectDb(const QString &host, int port, const QString &database,
                   const QString &user, const QString &password, const QString &options);
    bool connected() const;
    // Opens the connection again with the settings of connectDb (after the
    // server dropped it); throws DbError.
    void openConnection();
    // Opens (again) a named connection of the gateway and sets its session up
    // as every connection of the program reads; `moreSettings`: further SET
    // statements for this one; `longStatements`: each statement may run as
    // long as a long action's (the reports'). Throws DbError.
    static void openPostgres(const QString &connection, const QString &host, int port, const QString &database,
                             const QString &user, const QString &password, const QString &options,
                             const QString &moreSettings = QString(), bool longStatements = false);
    QString connectionName() const { return ConnectionName; }
    // The other workstations' change notices on the shared connection
    // (listening once connected).
    ChangeListener *Changes = nullptr;

    // Journal queries of shifts 1..4 (anything else gives shift 1); the
    // journal sets their statements
    Dataset Smena1, Smena2, Smena3, Smena4;
    Dataset *smena(int shift);
    Dataset Workers, Izdel, Vid_oper, Oper;
    Dataset H_Tabel_1, H_Tabel_2, H_Tabel_3;
    Dataset Control; // scratch query

    // The statement of H_Tabel_1..3 for a shift.
    static QStringList hTabelStatement(int shift);
    static QStringList operStatement();

private:
    struct Settings {
        QString host;
        int port = 5432;
        QString database, user, password, options;
    } m_settings;
};

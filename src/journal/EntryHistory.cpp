#include "EntryHistory.h"

#include "db/DbSession.h"
#include "EntryHistoryText.h"

#include <QDateTime>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

EntryHistory::EntryHistory(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("EntryHistoryWindow"));
    setWindowTitle(QStringLiteral("История"));
    grid = new QTableWidget(0, 4, this);
    grid->setObjectName(QStringLiteral("HistoryGrid"));
    grid->setHorizontalHeaderLabels({QStringLiteral("Когда"), QStringLiteral("Кто"), QStringLiteral("Действие"),
                                     QStringLiteral("Изменения")});
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    grid->setWordWrap(true); // long names and changes wrap; each cell's tooltip has it whole
    grid->setTextElideMode(Qt::ElideNone);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    title = new QLabel(this);
    title->setObjectName(QStringLiteral("HistoryEntry"));
    title->setWordWrap(true);
    title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *close = new QPushButton(QStringLiteral("Закрыть"), this);
    close->setObjectName(QStringLiteral("HistoryClose"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(title);
    lay->addWidget(grid);
    lay->addWidget(close, 0, Qt::AlignRight);
    resize(900, 400);
}

void EntryHistory::load(const QString &connection, const QString &table, int id)
{
    struct Rec {
        QString at, who, action;
        QJsonObject before, after;
    };
    QList<Rec> recs;
    HistoryText::Wanted wanted;
    {
        Rows q = DbSession::execBound(connection,
                                      QStringLiteral("select at, user_name, user_role, workstation, action, before::text, after::text "
                                                     "from accounts_dep.audit where tbl = ? and row_key = ? order by id desc"),
                                      {table, QString::number(id)}, DbSession::Retry::Read);
        while (q.next()) {
            Rec r{q.value(0).toDateTime().toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                  HistoryText::who(q.value(1).toString(), q.value(2).toString(), q.value(3).toString()),
                  q.value(4).toString(), QJsonDocument::fromJson(q.value(5).toString().toUtf8()).object(),
                  QJsonDocument::fromJson(q.value(6).toString().toUtf8()).object()};
            wanted.add(table, r.before);
            wanted.add(table, r.after);
            recs << r;
        }
    }
    // The entry as it stands now; once deleted, as it was last recorded whole.
    QJsonObject row;
    {
        const QString sql = table == QLatin1String("fatigue")
                                ? QStringLiteral("select to_jsonb(r)::text from accounts_dep.fatigue r where id = ?")
                                : QStringLiteral("select to_jsonb(r)::text from accounts_dep.smena r where id = ?");
        Rows q = DbSession::execBound(connection, sql, {id}, DbSession::Retry::Read);
        if (q.next())
            row = QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object();
    }
    for (int i = 0; row.isEmpty() && i < recs.size(); ++i)
        if (recs[i].before.contains(QLatin1String("id")))
            row = recs[i].before;
        else if (recs[i].after.contains(QLatin1String("id")))
            row = recs[i].after;
    wanted.add(table, row);
    const HistoryText::Names names = HistoryText::readNames(connection, wanted);

    title->setText(HistoryText::entry(table, QString::number(id), row, names));
    grid->setRowCount(0);
    for (const Rec &r : recs) {
        const int n = grid->rowCount();
        grid->insertRow(n);
        const QStringList cells{r.at, r.who, r.action,
                                HistoryText::changes(table, r.before, r.after, names).join(QLatin1Char('\n'))};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setToolTip(cells[c]);
            grid->setItem(n, c, item);
        }
    }
    grid->resizeColumnToContents(0);
    grid->resizeColumnToContents(2);
    grid->resizeColumnToContents(1);
    grid->setColumnWidth(1, qMin(grid->columnWidth(1), 260));
    grid->resizeRowsToContents();
}

#include "EntryHistory.h"

#include "db/DbSession.h"
#include "db/Users.h"

#include <QDateTime>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

EntryHistory::EntryHistory(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("EntryHistoryWindow"));
    setWindowTitle(QStringLiteral("История"));
    grid = new QTableWidget(0, 4, this);
    grid->setObjectName(QStringLiteral("HistoryGrid"));
    grid->setHorizontalHeaderLabels({QStringLiteral("Когда"), QStringLiteral("Кто"), QStringLiteral("Что"),
                                     QStringLiteral("Изменения")});
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    grid->setWordWrap(true);
    auto *close = new QPushButton(QStringLiteral("Закрыть"), this);
    close->setObjectName(QStringLiteral("HistoryClose"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(grid);
    lay->addWidget(close, 0, Qt::AlignRight);
    resize(820, 320);
}

static QString shown(const QJsonValue &v)
{
    if (v.isNull() || v.isUndefined())
        return QStringLiteral("—");
    if (v.isDouble()) {
        const double d = v.toDouble();
        return QString::number(d, 'g', 15);
    }
    if (v.isBool())
        return v.toBool() ? QStringLiteral("да") : QStringLiteral("нет");
    return v.toString().trimmed();
}

QString EntryHistory::changes(const QByteArray &before, const QByteArray &after)
{
    const QJsonObject o = QJsonDocument::fromJson(before).object();
    const QJsonObject n = QJsonDocument::fromJson(after).object();
    QStringList keys = o.keys();
    for (const QString &k : n.keys())
        if (!keys.contains(k))
            keys << k;
    QStringList parts;
    for (const QString &k : keys) {
        if (k == QLatin1String("id"))
            continue;
        const QJsonValue a = o.value(k), b = n.value(k);
        if (!o.isEmpty() && !n.isEmpty()) {
            if (a == b)
                continue;
            parts << QStringLiteral("%1: %2 → %3").arg(k, shown(a), shown(b));
        } else {
            parts << QStringLiteral("%1: %2").arg(k, shown(o.isEmpty() ? b : a));
        }
    }
    return parts.join(QStringLiteral("; "));
}

void EntryHistory::load(const QString &connection, const QString &table, int id)
{
    Rows q = DbSession::execBound(connection,
                                  QStringLiteral("select at, user_name, user_role, workstation, action, before::text, after::text "
                                                 "from accounts_dep.audit where tbl = ? and row_key = ? order by id desc"),
                                  {table, QString::number(id)}, DbSession::Retry::Read);
    grid->setRowCount(0);
    while (q.next()) {
        const int r = grid->rowCount();
        grid->insertRow(r);
        const QString who = QStringLiteral("%1 (%2, %3)")
                                .arg(q.value(1).toString(), Users::roleCaption(q.value(2).toString()), q.value(3).toString());
        const QStringList cells{q.value(0).toDateTime().toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")), who,
                                q.value(4).toString(),
                                changes(q.value(5).toString().toUtf8(), q.value(6).toString().toUtf8())};
        for (int c = 0; c < cells.size(); ++c)
            grid->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    grid->resizeColumnsToContents();
    grid->resizeRowsToContents();
}

#include "UnsentWindow.h"

#include "records/OfflineQueue.h"
#include "ui/Dialogs.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
enum Column { Date, Shift, What, Quantity, Defects, Hours, Message, Columns };

QTableWidgetItem *fixed(const QString &text)
{
    auto *it = new QTableWidgetItem(text);
    it->setFlags(it->flags() & ~Qt::ItemIsEditable);
    return it;
}
} // namespace

UnsentWindow::UnsentWindow(OfflineQueue &queue, const QString &connection, QWidget *parent)
    : QDialog(parent), m_queue(queue), m_connection(connection)
{
    setObjectName(QStringLiteral("UnsentWindow"));
    setWindowTitle(QStringLiteral("Не отправлено"));
    UnsentNote = new QLabel(QStringLiteral("Эти записи база данных не приняла. Исправьте дату, количество, брак или часы "
                                           "и отправьте снова, или удалите их."),
                            this);
    UnsentNote->setObjectName(QStringLiteral("UnsentNote"));
    UnsentNote->setWordWrap(true);
    UnsentTable = new QTableWidget(0, Columns, this);
    UnsentTable->setObjectName(QStringLiteral("UnsentTable"));
    UnsentTable->setHorizontalHeaderLabels({QStringLiteral("Дата"), QStringLiteral("Смена"), QStringLiteral("Запись"),
                                            QStringLiteral("Кол-во"), QStringLiteral("Брак"), QStringLiteral("Часы"),
                                            QStringLiteral("Причина")});
    UnsentTable->horizontalHeader()->setStretchLastSection(true);
    UnsentTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    UnsentTable->setColumnWidth(What, 260);
    SendAgainButton = new QPushButton(QStringLiteral("Отправить снова"), this);
    SendAgainButton->setObjectName(QStringLiteral("SendAgainButton"));
    DeleteUnsentButton = new QPushButton(QStringLiteral("Удалить"), this);
    DeleteUnsentButton->setObjectName(QStringLiteral("DeleteUnsentButton"));
    CloseButton = new QPushButton(QStringLiteral("Закрыть"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    for (QPushButton *b : {SendAgainButton, DeleteUnsentButton, CloseButton})
        b->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(SendAgainButton);
    buttons->addWidget(DeleteUnsentButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(UnsentNote);
    lay->addWidget(UnsentTable, 1);
    lay->addLayout(buttons);
    resize(980, 360);
    connect(SendAgainButton, &QPushButton::clicked, this, &UnsentWindow::sendAgain);
    connect(DeleteUnsentButton, &QPushButton::clicked, this, &UnsentWindow::deleteChosen);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    reload();
}

void UnsentWindow::reload()
{
    UnsentTable->setRowCount(0);
    for (const OfflineQueue::Item &it : m_queue.items()) {
        if (it.refusal.isEmpty())
            continue;
        const int r = UnsentTable->rowCount();
        UnsentTable->insertRow(r);
        const bool entry = it.kind == OfflineQueue::EntryKind;
        auto *date = new QTableWidgetItem(it.date().toString(QStringLiteral("dd.MM.yyyy")));
        date->setData(Qt::UserRole, it.slot);
        UnsentTable->setItem(r, Date, date);
        UnsentTable->setItem(r, Shift, fixed(QString::number(it.shift())));
        UnsentTable->setItem(r, What, fixed(it.label.isEmpty() ? (entry ? QStringLiteral("позиция") : QStringLiteral("хоз. работы"))
                                                               : it.label));
        UnsentTable->setItem(r, Quantity, entry ? new QTableWidgetItem(QString::number(it.entry.quantity)) : fixed(QString()));
        UnsentTable->setItem(r, Defects, entry ? new QTableWidgetItem(QString::number(it.entry.defects)) : fixed(QString()));
        UnsentTable->setItem(r, Hours, new QTableWidgetItem(QString::number(entry ? it.entry.hours : it.housekeeping.hours)));
        UnsentTable->setItem(r, Message, fixed(it.refusal));
    }
    UnsentTable->resizeRowsToContents();
}

void UnsentWindow::sendAgain()
{
    QString problems;
    QList<int> rows;
    for (const QModelIndex &i : UnsentTable->selectionModel()->selectedRows())
        rows << i.row();
    if (rows.isEmpty())
        for (int r = 0; r < UnsentTable->rowCount(); ++r)
            rows << r;
    for (int r : rows) {
        const qint64 slot = UnsentTable->item(r, Date)->data(Qt::UserRole).toLongLong();
        OfflineQueue::Item it = m_queue.item(slot);
        if (it.slot == 0)
            continue;
        const QDate day = QDate::fromString(UnsentTable->item(r, Date)->text().trimmed(), QStringLiteral("dd.MM.yyyy"));
        bool okHours = false, okQuantity = true, okDefects = true;
        const int hours = UnsentTable->item(r, Hours)->text().trimmed().toInt(&okHours);
        Outcome o;
        if (it.kind == OfflineQueue::EntryKind) {
            Entries::Entry e = it.entry;
            e.quantity = UnsentTable->item(r, Quantity)->text().trimmed().toInt(&okQuantity);
            e.defects = UnsentTable->item(r, Defects)->text().trimmed().toInt(&okDefects);
            e.hours = hours;
            e.date = day;
            if (!day.isValid() || !okHours || !okQuantity || !okDefects) {
                problems += QStringLiteral("Строка %1: дата или число введены неверно.\n").arg(r + 1);
                continue;
            }
            o = m_queue.change(slot, e, it.label, it.price);
        } else {
            HousekeepingEntries::Entry h = it.housekeeping;
            h.hours = hours;
            h.date = day;
            if (!day.isValid() || !okHours) {
                problems += QStringLiteral("Строка %1: дата или число введены неверно.\n").arg(r + 1);
                continue;
            }
            o = m_queue.change(slot, h, it.label, it.price);
        }
        if (!o.ok())
            problems += o.text + QLatin1Char('\n');
    }
    const OfflineQueue::Sending s = m_queue.send(m_connection);
    reload();
    if (s.lost)
        problems += s.text;
    if (!problems.isEmpty())
        Dialogs::error(problems.trimmed());
}

void UnsentWindow::deleteChosen()
{
    QList<qint64> chosen;
    for (const QModelIndex &i : UnsentTable->selectionModel()->selectedRows())
        chosen << UnsentTable->item(i.row(), Date)->data(Qt::UserRole).toLongLong();
    if (chosen.isEmpty())
        return;
    if (!Dialogs::question(QStringLiteral("Удалить %1 неотправленных записей? Они не попадут в базу.").arg(chosen.size())))
        return;
    for (qint64 slot : chosen) {
        const Outcome o = m_queue.remove(slot);
        if (!o.ok())
            Dialogs::error(o.text);
    }
    reload();
}

#include "QueuedRows.h"

#include "records/OfflineQueue.h"
#include "ui/Dialogs.h"

#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
enum Column { What, Hours, Quantity, Defects, Price, Mark, Columns };
const QColor kGrey(128, 128, 128);
} // namespace

QueuedRows::QueuedRows(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("QueuedRows"));
    QueuedGrid = new QTableWidget(0, Columns, this);
    QueuedGrid->setObjectName(QStringLiteral("QueuedGrid"));
    QueuedGrid->setHorizontalHeaderLabels({QStringLiteral("Запись"), QStringLiteral("Часы"), QStringLiteral("Кол-во"),
                                           QStringLiteral("Брак"), QStringLiteral("Цена"), QStringLiteral("OK")});
    QueuedGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    QueuedGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    QueuedGrid->verticalHeader()->hide();
    QueuedGrid->horizontalHeader()->setStretchLastSection(true);
    QueuedGrid->setColumnWidth(What, 520);
    QueuedGrid->setWordWrap(false);
    QueuedGrid->verticalHeader()->setDefaultSectionSize(QueuedGrid->fontMetrics().height() + 6);
    QueuedGrid->setMaximumHeight(180);
    QueuedDeleteButton = new QPushButton(QStringLiteral("Удалить из очереди"), this);
    QueuedDeleteButton->setObjectName(QStringLiteral("QueuedDeleteButton"));
    QueuedDeleteButton->setAutoDefault(false);
    auto *caption = new QLabel(QStringLiteral("Записи без связи с сервером (ждут отправки):"), this);
    caption->setObjectName(QStringLiteral("QueuedCaption"));
    auto *top = new QHBoxLayout;
    top->addWidget(caption);
    top->addStretch();
    top->addWidget(QueuedDeleteButton);
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addLayout(top);
    lay->addWidget(QueuedGrid);
    connect(QueuedGrid, &QTableWidget::cellChanged, this, &QueuedRows::cellEdited);
    connect(QueuedDeleteButton, &QPushButton::clicked, this, &QueuedRows::deleteCurrent);
    hide();
}

void QueuedRows::showFor(OfflineQueue *queue, const QDate &day, int shift)
{
    m_queue = queue;
    m_filling = true;
    QueuedGrid->setRowCount(0);
    if (queue)
        for (const OfflineQueue::Item &it : queue->itemsOn(day)) {
            if (it.kind != OfflineQueue::EntryKind || it.shift() != shift)
                continue;
            const int r = QueuedGrid->rowCount();
            QueuedGrid->insertRow(r);
            const auto cell = [&](int column, const QString &text, bool editable) {
                auto *c = new QTableWidgetItem(text);
                c->setForeground(kGrey);
                if (!editable)
                    c->setFlags(c->flags() & ~Qt::ItemIsEditable);
                c->setData(Qt::UserRole, it.slot);
                QueuedGrid->setItem(r, column, c);
            };
            const bool open = !it.interrupted;
            cell(What, it.label, false);
            cell(Hours, QString::number(it.entry.hours), open);
            cell(Quantity, QString::number(it.entry.quantity), open);
            cell(Defects, QString::number(it.entry.defects), open);
            cell(Price, it.price.isEmpty() ? QString() : QStringLiteral("≈ ") + it.price, false);
            cell(Mark, it.refusal.isEmpty() ? QStringLiteral("ожидает отправки") : QStringLiteral("не принята: ") + it.refusal,
                 false);
        }
    m_filling = false;
    setVisible(QueuedGrid->rowCount() > 0);
}

void QueuedRows::cellEdited(int row, int column)
{
    if (m_filling || !m_queue)
        return;
    QTableWidgetItem *c = QueuedGrid->item(row, column);
    const qint64 slot = c->data(Qt::UserRole).toLongLong();
    OfflineQueue::Item it = m_queue->item(slot);
    if (it.slot == 0)
        return;
    bool ok = false;
    const int value = c->text().trimmed().toInt(&ok);
    Entries::Entry e = it.entry;
    (column == Hours ? e.hours : column == Quantity ? e.quantity : e.defects) = value;
    const Outcome o = ok && value >= 0 ? m_queue->change(slot, e, it.label, it.price)
                                       : Outcome::refused(Outcome::Refused, QStringLiteral("Введите целое число."));
    if (!o.ok())
        Dialogs::error(o.text);
    emit changed();
}

void QueuedRows::deleteCurrent()
{
    if (!m_queue || QueuedGrid->currentRow() < 0)
        return;
    const qint64 slot = QueuedGrid->item(QueuedGrid->currentRow(), What)->data(Qt::UserRole).toLongLong();
    if (!Dialogs::question(QStringLiteral("Удалить позицию из очереди? Она не попадёт в базу.")))
        return;
    const Outcome o = m_queue->remove(slot);
    if (!o.ok())
        Dialogs::error(o.text);
    emit changed();
}

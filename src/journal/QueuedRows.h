#pragma once
#include <QWidget>

class OfflineQueue;
class QPushButton;
class QTableWidget;

// The journal's queued entries of the day and shift shown, under its grid:
// in grey, "ожидает отправки" where the closing mark stands. Quantity,
// defects and hours are changed in place (the queue is changed); "Удалить из
// очереди" removes one. Hidden while nothing of the day waits.
class QueuedRows : public QWidget {
    Q_OBJECT
public:
    explicit QueuedRows(QWidget *parent = nullptr);
    // The queue's entries of `day` and `shift` (a null queue shows nothing).
    void showFor(OfflineQueue *queue, const QDate &day, int shift);

    QTableWidget *QueuedGrid;
    QPushButton *QueuedDeleteButton;

signals:
    void changed(); // the queue was changed here

private:
    void cellEdited(int row, int column);
    void deleteCurrent();
    OfflineQueue *m_queue = nullptr;
    bool m_filling = false;
};

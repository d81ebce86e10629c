#pragma once
#include <QDialog>
#include <QString>

class OfflineQueue;
class QLabel;
class QPushButton;
class QTableWidget;

// "Не отправлено": the queued entries the database refused, each with the
// database's message. The foreman corrects the date, quantity, defects or
// hours in the list and sends them again, or deletes them; nothing leaves
// the queue any other way.
class UnsentWindow : public QDialog {
    Q_OBJECT
public:
    UnsentWindow(OfflineQueue &queue, const QString &connection, QWidget *parent = nullptr);

    QTableWidget *UnsentTable;
    QPushButton *SendAgainButton, *DeleteUnsentButton, *CloseButton;
    QLabel *UnsentNote;

    void reload();
    void sendAgain();   // the changed rows saved into the queue, the selected ones sent again
    void deleteChosen(); // after a question

private:
    OfflineQueue &m_queue;
    QString m_connection;
};

#pragma once
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

// The small box shown while the server is slow to answer a statement: the
// windows behind it repaint but take no input, and "Отменить" asks the
// server to stop the statement.
class ServerBusyBox : public QWidget {
    Q_OBJECT
public:
    explicit ServerBusyBox(std::function<void()> cancel, QWidget *parent = nullptr);

    // Makes the gateway show this box for every long wait of the program.
    static void install();

    QLabel *Label = nullptr;
    QPushButton *cancelButton = nullptr;

private:
    std::function<void()> m_cancel;
};
